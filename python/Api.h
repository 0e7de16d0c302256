#pragma once
// The Python module's calls as plain C++ over the core: programs (open, text,
// lines, edit, assemble, check), the instruction codec, a master on a port
// (the command line's connection and the window's handlers), the simulated
// master and scenarios.  python/Module.cpp only converts between these and
// Python objects.
//
// Errors: every call throws ApiError, whose kind names the Python exception
// and whose message is the one the window or the command line shows.

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

struct MainState;
class SimMaster;

namespace pyapi {

enum class ErrorKind { Program, NotResponding, Refused, Port, Mismatch };

struct ApiError : std::exception {
    ApiError(ErrorKind k, std::string m, std::string f = {}) : kind(k), message(std::move(m)), field(std::move(f)) {}
    const char* what() const noexcept override { return message.c_str(); }
    ErrorKind kind;
    std::string message;
    std::string field;   // ProgramError: the refused field's id ("" when none)
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
// code and back; an unknown name is refused as a ProgramError.
int ModuleType(const std::string& name);
std::string ModuleTypeName(int type);

class Program {
public:
    static Program open(const std::string& path);
    static Program fromText(const std::string& text);
    // A program over the given module types (address 1 on); no lines.
    static Program empty(const std::vector<int>& moduleTypes);

    std::string text() const;
    void save(const std::string& path) const;
    std::map<int, std::string> modules() const;
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
    std::string name;
};

// A master on a port, held open from open() to close().
class Master {
public:
    explicit Master(const std::string& port);
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
    std::vector<std::pair<std::string, std::string>> status(int address);
    std::string printed();
    void sendKey(char key);
    const std::string& port() const { return port_; }

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

private:
    std::unique_ptr<SimMaster> sim_;
};

struct ScenarioResult {
    bool passed = false;
    std::string name, message, printed;
    int failedStep = -1, line = 0, stepsRun = 0;
    long long simulatedMs = 0;
};
ScenarioResult RunScenarioFile(const std::string& path);

}  // namespace pyapi
