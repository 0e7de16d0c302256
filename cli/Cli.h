#pragma once
// The command-line front end: every job of the window from a shell, built on
// the same core routines over one MainState.
//
// Errors in the command line: a command returns its exit code (ExitCode);
// wrong usage is thrown as UsageError, which main turns into kExitUsage with
// its text; the core's messages are printed as the window would show them.

#include <signal.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Platform.h"
#include "cli/Json.h"
#include "link/SerialLink.h"

struct MainState;
class SimMaster;
class LinkLog;

namespace cli {

// Exit codes of stepwright-cli.
enum Exit {
    kExitOk = 0,
    kExitUsage = 1,
    kExitFile = 2,           // program file refused or assembly failed
    kExitPort = 3,           // port cannot be opened
    kExitNotResponding = 4,  // master not responding
    kExitMismatch = 5,       // verify found a difference
    kExitRefused = 6,        // refused by the master or by a module-list mismatch
    kExitOutput = 7,         // standard output could not be written
    kExitCheckFailed = 8,    // check: a finding at warning level or above
    kExitScenarioFailed = 9, // test: a scenario failed
    kExitViolation = 10,     // prove: the machine description is broken on a path
};

// Not an exit code: the command checked its arguments and files and stopped
// before opening the port (the first pass over several ports).
constexpr int kPrepared = -1;

// A usage error: the message is printed with the command's usage line.
struct UsageError {
    std::string text;
};

// Text for one line of a terminal: control bytes (other than tab) are written
// as \r, \n or \xHH, so that a line stays one line and no byte can drive the
// terminal.  Other bytes, Latin-1 included, are kept as they are.
std::string VisibleText(const std::string& bytes);

// ---------------------------------------------------------------------------
// The terminal as the core's desktop.

class CliPlatform : public Platform {
public:
    void attach(MainState* s) { state_ = s; }

    // Messages: one line each on standard error.
    void message(const std::string& text) override;
    // Questions take their default button.
    Answer askYesNo(const std::string& text) override;
    Answer askYesNoCancel(const std::string& text) override;
    // Waits are real.
    void wait(int ms) override;
    void setBusyCursor(bool) override {}
    void repaint() override { ++repaints; }
    // There are no dialogs and no document viewer.
    bool saveDialog(std::string&) override { return false; }
    bool openDialog(std::string&) override { return false; }
    bool openDocument(const std::string&) override { return false; }
    void closeMainWindow() override {}
    // A status window is printed to standard output.
    void showStatusWindow(StatusWindow which) override;

    // A line of the front end's own on standard error, not kept.
    void note(const std::string& text);

    // Progress of a block transfer on standard error, while it is a terminal.
    void progress(const char* what, int done, int total);
    // Ends a progress line that is still open.
    void endProgress();

    std::vector<std::string> messages;   // every message shown, in order
    int repaints = 0;                    // the progress window was drawn
    int statusWindowsShown = 0;

    // Put before every line on standard error (the port, when several are
    // served at once; the lines of all ports then never interleave).  No
    // progress bar is drawn with a prefix.
    std::string prefix;
    // The port of a run that serves one, once it is being opened: put before
    // every message (not before the front end's notes).  The messages kept
    // do not carry it, so that a port's one-line outcome never names it twice.
    std::string port;
    // false: results are not printed on standard output (--json, several
    // ports); status windows are then only kept in statusWindows.
    bool printResults = true;
    // Every status window shown: {"address", "caption", "values": {label:
    // value}}, the address being statusAddress; and the last one as one line.
    json::Value statusWindows = json::Value::array();
    int statusAddress = 0;
    std::string statusLine;

private:
    void printLine(const std::string& text);

    MainState* state_ = nullptr;
    bool progressOpen_ = false;
    int progressShown_ = -1;             // last percentage drawn
    int stderrIsTerminal_ = -1;          // -1 until asked
};

// ---------------------------------------------------------------------------
// The port as the core sees it, watched from the front end: before every read
// it hands what the terminal window collected to a drain (so that printed
// characters reach standard output in order and none is lost to the window's
// twelve-line memory), and it remembers how the last read ended, which tells
// a master that refused (0xCC) from one that fell silent.

class TapLink : public SerialLink {
public:
    explicit TapLink(std::unique_ptr<SerialLink> inner) : inner_(std::move(inner)) {}

    bool write(const uint8_t* data, int count) override;
    int read(uint8_t* buffer, int count) override;
    int waiting() override;
    bool discardInput() override { return inner_->discardInput(); }
    PortProblem problem() const override { return inner_->problem(); }

    std::function<void()> drain;         // empty: nobody collects the terminal
    bool lastReadComplete = false;
    uint8_t lastByte = 0;

private:
    std::unique_ptr<SerialLink> inner_;
};

// ---------------------------------------------------------------------------
// Global options and the connection to the master.

struct GlobalOptions {
    std::string device[6];               // COM1 .. COM6 → device ("" = none)
    std::string port = "COM1";           // COMn or a device path: the port of this run
    std::vector<std::string> ports;      // every --port given, in order
    bool portGiven = false;
    bool json = false;                   // --json: one JSON document on standard output
    bool simulator = false;
    std::vector<int> simModules{0, 0, 2, 3};  // --sim-modules: servo,servo,io,step
    bool simModulesGiven = false;
    int simPace = 19200;
    bool simPaceGiven = false;
    std::string logFile;                 // --log: the link log is written there ("" = none)
};

struct Context;

class Connection {
public:
    explicit Connection(Context& c);
    ~Connection();

    // Opens the port (starting the simulated master first when asked).
    // kExitOk, or kExitPort after saying why; kPrepared in a first pass,
    // without opening anything.
    int open();

    // Takes the link on line with a Stop, as the settings dialog probes the
    // master.  Stops a running program.
    int probeStop();
    // Takes the link on line with one status poll: a running program goes on.
    int probePoll();
    // Takes the link on line as the window does after its probe: detection
    // of the master and its modules (2 s).
    int detect();

    // After an exchange failed (the link went off line): kExitRefused when the
    // master answered 0xCC, else kExitNotResponding.
    int failure();

    TapLink* tap() { return tap_; }

private:
    Context& c_;
    MainState& s_;
    CliPlatform& ui_;
    const GlobalOptions& options_;
    std::unique_ptr<SimMaster> sim_;
    TapLink* tap_ = nullptr;             // owned by s_.port
};

// The module types the user gave: --modules LIST (as --sim-modules names them)
// or the module list of --program FILE; kExitFile when that file is refused.
int ModulesFromOptions(Context& c, bool modulesGiven, const std::string& modules, const std::string& program,
                       std::vector<int>& given);

// Learns the module types after a poll without stopping the program.  While
// it is stopped they are asked for (and checked against a list given); while
// it may run they come only from the list given (a type reply could then be
// the program's own reply on a master that shares its reply area), and
// without one the command is refused, naming the options that give one
// (the command's own: upload takes only --modules).
int LearnModules(Context& c, Connection& conn, const std::vector<int>& given, bool listGiven,
                 const char* listOptions = "--modules LIST or --program FILE.stw");

// ---------------------------------------------------------------------------
// Commands.  Each takes its own arguments (after the command name) and
// returns an exit code; a UsageError is thrown for malformed arguments.

using Args = std::vector<std::string>;

// What a command found, for --json and for the one line of each port when
// several are served.
struct Report {
    json::Value facts = json::Value::object();
    std::string summary;                 // one line: the outcome in words
};

struct Context {
    MainState& s;
    CliPlatform& ui;
    const GlobalOptions& options;
    Report& report;
    // The first pass over several ports: arguments and program file are
    // checked, then the command stops before the port (kPrepared).
    bool prepareOnly = false;
    // Several ports: the image the first pass assembled; every port's own
    // assembly must give the same bytes.  Null otherwise.
    const std::vector<uint8_t>* image = nullptr;
};

// Results on standard output, unless they are not printed (--json, several
// ports).
void Print(Context& c, const std::string& text);
// Writes bytes to standard output, remembering the first failure.
void WriteOut(const std::string& bytes);
// Flushes and closes standard output: 0, or the errno of its first failure.
int CloseOut();

int CmdList(Context& c, const Args& args);
int CmdAssemble(Context& c, const Args& args);
int CmdDetect(Context& c, const Args& args);
int CmdDownload(Context& c, const Args& args);
int CmdVerify(Context& c, const Args& args);
int CmdCompare(Context& c, const Args& args);
int CmdRun(Context& c, const Args& args);
int CmdStop(Context& c, const Args& args);
int CmdStep(Context& c, const Args& args);
int CmdReset(Context& c, const Args& args);
int CmdStatus(Context& c, const Args& args);
int CmdExec(Context& c, const Args& args);
int CmdMonitor(Context& c, const Args& args);
int CmdExport(Context& c, const Args& args);
int CmdImport(Context& c, const Args& args);
int CmdWatch(Context& c, const Args& args);
int CmdTest(Context& c, const Args& args);
int CmdCheck(Context& c, const Args& args);
int CmdUpload(Context& c, const Args& args);
int CmdDecode(Context& c, const Args& args);
int CmdProve(Context& c, const Args& args);

// --log (cli/DecodeCommand.cpp): the commands that write a link log, the
// file of this run's port, and the writing of it (kExitOk, or kExitFile
// after saying why).
bool WritesLinkLog(const std::string& command);
std::string LinkLogPath(const GlobalOptions& options);
int SaveLinkLog(MainState& s, const LinkLog& log, const GlobalOptions& options);

// While one lives, Ctrl+C (and SIGTERM, SIGHUP) ends a command's loop
// instead of the process: Interrupted() turns true.  A guard that stops the
// command (stopsCommand) makes the port throw Interruption at its next
// operation instead, unless a loop's guard lives too: a command with a link
// log is so ended with its log written (RunCommand).
class InterruptGuard {
public:
    explicit InterruptGuard(bool stopsCommand = false);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    bool stopsCommand_;
    struct sigaction old_[3];
};
bool Interrupted();
// Thrown by the port when an interrupt stops the command.
struct Interruption {};
// Throws Interruption when an interrupt is to stop the command now.
void StopIfInterrupted();
// Ends the process by the signal that interrupted it (after a command that
// Interruption stopped has written what it must).
[[noreturn]] void EndByInterrupt();

// Opens a program file as Open does; a program text (.sws) is read and
// parsed first, and refused after every error of the file is printed, one per
// line.  False when refused.
bool OpenProgram(Context& c, const std::string& path);

using Command = int (*)(Context&, const Args&);

// A usage error on standard error, with the command's usage line.
void PrintUsageError(const std::string& command, const std::string& text);

// One run of a command over a main state of its own, started as the window
// starts (the end marker, the master selected).  A usage error is printed
// and ends it with kExitUsage.
struct CommandRun {
    CliPlatform ui;
    Report report;
    int code = kExitOk;
    std::vector<uint8_t> image;          // the program's image, when one was assembled
    bool interrupted = false;            // Ctrl+C stopped it (Interruption)
};
void RunCommand(CommandRun& r, const std::string& command, Command run, const Args& args,
                const GlobalOptions& options, bool prepareOnly, const std::vector<uint8_t>* image);

// The JSON document of one run: the command, the port, the exit code, the
// command's facts and every message shown.
json::Value Document(const std::string& command, const std::string& port, const CommandRun& r);

// The commands that talk to the master, those that take --json, and those
// that take several ports.
bool UsesPort(const std::string& command);
bool TakesJson(const std::string& command);
bool TakesManyPorts(const std::string& command);
// Serves every port of options.ports at once, each from a thread with a main
// state of its own; one failing never stops the others.  Prints one line per
// port (or one JSON document) and returns the highest exit code.
int RunOnPorts(const std::string& command, Command run, const Args& args, const GlobalOptions& options);

// Help texts.
const char* ToolHelp();
// "" for an unknown command.
const char* CommandHelp(const std::string& command);
// The first line of a command's help (its usage line).
std::string CommandUsage(const std::string& command);

// The name a port is shown by in messages: COM1 .. COM6 in upper case without
// a colon, a device path as given.
std::string PortLabel(const std::string& port);

// A 16-bit image address: decimal, or hexadecimal with 0x.  false when the
// text is not one.
bool ParseAddress(const std::string& text, uint16_t& value);
// Instruction bytes from hexadecimal arguments ("AA 01 13", "AA0113",
// "0xAA"); false with the reason in error.
bool ParseHexBytes(const Args& args, std::vector<uint8_t>& bytes, std::string& error);

// The whole tool: parses argv and runs one command.
int Main(int argc, char** argv);

}  // namespace cli
