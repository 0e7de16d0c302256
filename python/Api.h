#pragma once
// The Python module's calls as plain C++ over the core: programs (open, text,
// lines, edit, assemble, check), the instruction codec, a master on a port
// (the command line's connection and the window's handlers), the simulated
// master and scenarios.  python/Module.cpp only converts between these and
// Python objects.
//
// Errors: every call throws ApiError, whose kind names the Python exception
// and whose message is the one the window or the command line shows.  A
// wrong argument of the call itself (an index, an address, a type name) is a
// Value or Index error; what the builder refuses in a line is a Program error.
// Text is bytes, one per character, as the records hold it.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "program/Check.h"
#include "program/ProgramFile.h"
#include "app/Files.h"
#include "machine/Machine.h"
#include "prove/Explore.h"

struct MainState;
class SimMaster;

namespace pyapi {

enum class ErrorKind { Program, NotResponding, Refused, Port, Mismatch, Value, Index };

struct ApiError : std::exception {
    ApiError(ErrorKind k, std::string m, std::string f = {}) : kind(k), message(std::move(m)), field(std::move(f)) {}
    const char* what() const noexcept override { return message.c_str(); }
    ErrorKind kind;
    std::string message;
    std::string field;   // ProgramError: the refused field's id ("" when none)
};

// Thrown out of a block transfer when the interrupt check asked to stop; the
// link is left between two blocks, on line.
struct Interrupted : std::exception {
    const char* what() const noexcept override { return "interrupted"; }
};

// A field's value: a number, a check box, or a text (a text edit, a jump
// target, or the id of the chosen item of a choice or condition).
using FieldValue = std::variant<bool, long long, std::string>;
using Fields = std::vector<std::pair<std::string, FieldValue>>;

struct Line {
    bool comment = false;
    std::string text;        // a comment's text (";" first)
    std::string label, gotoLabel;
    int module = 0;
    std::string command;     // "" for a comment or bytes no command builds
    Fields fields;
    std::string bytes;
};

// "master", "servo", "step", "io" (as --sim-modules names them) to the type
// code and back ("unknown" for any other code); an unknown name is refused as
// a Value error naming `argument`.
int ModuleType(const std::string& name, const std::string& argument = "module_type");
std::string ModuleTypeName(int type);
// The name the module list shows: "[Master]", "ZEL-SERVO", ..., "UNKNOWN".
std::string ModuleDisplayName(int type);

struct ProveOutcome;

class Program {
public:
    static Program open(const std::string& path);
    static Program fromText(const std::string& text);
    // A program over the given module types (address 1 on); no lines.
    static Program empty(const std::vector<int>& moduleTypes);

    std::string text() const;
    void save(const std::string& path) const;
    // Address -> type code, 0 (the master) first.
    std::map<int, int> modules() const;
    std::vector<Line> lines() const;
    // The listing lines as the window shows them.
    std::vector<std::string> listing() const;
    int size() const { return int(data.lines.size()); }

    // Builds a line through the instruction set's encoder and puts it before
    // index (size() appends).
    void insert(int index, int module, const std::string& command, const std::string& label,
                const std::string& gotoLabel, const Fields& fields);
    void insertComment(int index, const std::string& text);
    void remove(int index);

    std::string assemble() const;
    std::vector<check::Finding> check() const;
    // The check with the machine description's rules as well (check
    // --machine); a malformed description is a Program error, one line per
    // error.
    std::vector<check::Finding> check(const std::string& machinePath) const;
    // The program explored on the simulated master against the description
    // at machinePath, as stepwright-cli prove does.  maxTimeMs and maxPaths
    // bound the exploration; cycle names the label whose passes are timed
    // ("" for none).  A description that is malformed or does not fit the
    // module list, or a program that does not assemble, is a Program error;
    // a bound out of range or a cycle label the program lacks a Value error.
    ProveOutcome prove(const std::string& machinePath, long long maxTimeMs, long long maxPaths,
                       const std::string& cycle) const;

    // Puts the program into a main state as Open does (module list, lines,
    // listing).
    void into(MainState& s) const;

    ProgramFileData data;
};

std::string Encode(const std::string& moduleType, const std::string& command, int module, const Fields& fields);
std::pair<std::string, Fields> Decode(const std::string& bytes, const std::string& moduleType);

// A line in which a program and the master's differ (Master::compare).
struct DifferingLine {
    std::string in;        // "program" or "master"
    int line = 0;          // the program's listing line, or the master's line, from 1
    int address = 0;
    std::string label, text;
};

struct ModuleFound {
    int address;
    int type;   // the type code
};

// A status value as a number, a bit (High/On true) or a text.
using StatusValue = std::variant<bool, long long, std::string>;
using Status = std::vector<std::pair<std::string, StatusValue>>;

// One pass over the watched modules: each module's status, and whether the
// program may have run while they were read (its last status said so, or it
// was started since), as the command line's watch marks its rows.
struct Row {
    bool programMayRun = false;
    std::vector<std::pair<int, Status>> modules;
};

// A master on a port, held open from open() to close().
class Master {
public:
    // logPath: every byte through the port is logged and written there at
    // close ("" = no log).
    explicit Master(const std::string& port, const std::string& logPath = {});
    ~Master();
    void open();
    void close();
    std::vector<ModuleFound> detect();
    void download(const Program& program, bool verify);
    bool verify(const Program& program);
    // The lines in which the master's program differs from program; empty
    // when the master holds it exactly.
    std::vector<DifferingLine> compare(const Program& program);
    Program upload();
    void run(const std::string& label);
    void stop();
    void step();
    void reset();
    Status status(int address);
    Row sampleRow(const std::vector<int>& addresses);
    std::string printed();
    void sendKey(uint8_t key);
    const std::string& port() const { return port_; }

    // Asked after every block of a download, verify or upload: true stops the
    // transfer there (Interrupted is thrown), the link on line.
    std::function<bool()> interrupted;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string port_;
};

class Simulator {
public:
    // faults: --fault values of stepwright-sim ("cc", "silent-from=0x85", ...).
    Simulator(const std::vector<std::string>& modules, int pace, const std::vector<std::string>& faults);
    ~Simulator();
    std::string port() const;
    void stop();

    // What a person at the machine does and sees, as the Simulator window
    // offers it.  I/O module pin bit (1 to 12) held high or low.
    void setInput(int module, int bit, bool level);
    // A stepper's input held: "limit-1", "limit-2", "home-switch", "e-stop",
    // "1", "2".
    void hold(int module, const std::string& input, bool level);
    // An I/O pin as an output driving high (false: low or not an output).
    bool output(int module, int bit);
    // A servo's or stepper's position.
    long long position(int module);

private:
    std::unique_ptr<SimMaster> sim_;
};

// A line of the program as a result names it: the index into the lines
// (-1: none, such as the end of the program), the listing line from 1 and
// the line in the file read (0 when the lines changed since).
struct ProgramLineRef {
    int index = -1, listingLine = 0, fileLine = 0;
};

struct ProveInput {
    long long ms = -1;        // -1: before the run
    int module = 0;           // 0: a key typed at the terminal
    std::string input;        // "module 3 bit 5 (door-closed)"
    bool high = false;
    int key = -1;
};

struct ProveOutcome {
    prove::ProveResult result;
    ProgramLineRef line, standing;            // of the violation
    long long timeMs = 0;                     // of the violation, as the scenario reports it
    bool hasValue = false;                    // travel, velocity or acceleration
    std::vector<ProveInput> inputs;           // the path to the violation
    std::vector<ProveInput> longestCycleInputs;
    std::vector<std::string> boundsCut;       // in words, as prove prints them
    ProgramFileData program;                  // as proven, for the counterexample
    std::string machinePath;
    // Writes the program to programPath and the scenario that leads to the
    // violation to scenarioPath (stepwright-cli prove --counterexample); a
    // Value error when there is no violation.
    void writeCounterexample(const std::string& scenarioPath, const std::string& programPath) const;
};

struct ScenarioResult {
    bool passed = false;
    std::string name, message, printed;
    int failedStep = -1, line = 0, stepsRun = 0;
    long long simulatedMs = 0;
};
ScenarioResult RunScenarioFile(const std::string& path);

}  // namespace pyapi
