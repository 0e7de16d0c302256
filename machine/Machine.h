#pragma once
// The machine a program moves: a description in YAML of its modules (names,
// travel, velocity and acceleration limits, whether an axis must be homed
// before an absolute move, the names of I/O bits) and its interlocks (an axis
// may move only while an input holds; outputs that must never be on
// together).  One record, read once and shared by every user of it: the
// check, scenarios and, later, the window's views of modules and bits.
//
// Errors: LoadMachine refuses a malformed file (an unknown key, a bad value,
// a name used twice, an interlock on a module or bit not described) before
// anything uses it, with one line per error, "FILE:LINE: KEY: what is wrong".
// Nothing throws.  Qt-free; yaml-cpp is used only in the .cpp.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace machine {

constexpr int kMaxAddress = 31;          // slave modules are at 1 .. 31
constexpr int kMaxBit = 16;              // I/O bits are numbered from 1
constexpr size_t kMaxDescriptionBytes = size_t(1) << 20;   // 1 MiB: far above any real machine

// A bit of an I/O module (or a stepper's inputs) and its name.
struct NamedBit {
    int bit = 0;              // 1-based
    std::string name;
};

struct Module {
    int address = 0;          // 1 .. 31; 0: not described
    int line = 0;             // where it is described
    std::string name;         // "" when none is given
    std::optional<int> type;  // type code when `type:` is given (0 servo, 2 I/O, 3 stepper)
    bool hasTravel = false;
    int64_t travelLow = 0, travelHigh = 0;
    std::optional<int64_t> maxVelocity;
    std::optional<int64_t> maxAcceleration;
    bool homeBeforeAbsolute = false;
    std::vector<NamedBit> inputs;
    std::vector<NamedBit> outputs;
};

// One level of one bit of one module: an input the program reads, or an
// output it drives.
struct Signal {
    enum class Kind : unsigned char { Input, Output };
    int module = 0;
    Kind kind = Kind::Input;
    int bit = 0;              // 1-based
    bool high = true;
    int line = 0;
};

struct Interlock {
    enum class Kind : unsigned char { MoveRequires, NeverTogether };
    Kind kind = Kind::MoveRequires;
    int line = 0;
    int moveModule = 0;               // MoveRequires: the axis
    std::vector<Signal> signals;      // MoveRequires: the one requirement; NeverTogether: two or more
};

struct Machine {
    std::string file;         // as given
    std::string name;         // machine:, "" when none
    std::vector<Module> modules;      // in address order, only those described
    std::vector<Interlock> interlocks;

    const Module* module(int address) const;
    // The name of a module ("X axis"), or "" when it has none.
    std::string moduleName(int address) const;
    // The name of an input or output bit ("door-closed"), or "".
    std::string bitName(int address, Signal::Kind kind, int bit) const;
    // "module 3 input 5 (door-closed) high": a signal in words.
    std::string describe(const Signal& s) const;
};

// Reads and checks a description; false with one line per error.  The file
// is read as every file the tool opens: a regular file only, never waiting
// on a pipe, at most kMaxDescriptionBytes.
bool LoadMachine(const std::string& path, Machine& out, std::vector<std::string>& errors);
// The same over text already read; file names the text in the errors.
bool ParseMachine(const std::string& text, const std::string& file, Machine& out, std::vector<std::string>& errors);

// Where a description does not fit a module list (moduleTypes[a] is the type
// code at address a; an address past the end is not on the network): one
// line per mismatch ("module 3 has outputs but is a ZEL-SERVO"), nothing
// when it fits.
std::vector<std::string> MismatchWith(const Machine& m, const std::vector<int>& moduleTypes);

}  // namespace machine
