// The subcommands.  Each drives the window's own handlers over one MainState
// and turns what they leave behind (link state, loaded state, messages) into
// output and an exit code.

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/MainState.h"
#include "app/PollTimer.h"
#include "app/Terminal.h"
#include "cli/Cli.h"
#include "app/panels/Instruction.h"
#include "isa/Vocabulary.h"
#include "link/Download.h"
#include "link/Polling.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "app/ModuleListBox.h"
#include "app/StatusForms.h"
#include "modules/ModuleList.h"
#include "modules/StatusWindows.h"
#include "program/Assembly.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "program/SafeFile.h"

#include "app/MasterProgram.h"
#include "program/Compare.h"

namespace cli {

namespace {

constexpr const char* kLoadedText = "  Loaded  ";
constexpr uint16_t kFirstInstruction = 2;
constexpr int kPollIntervalMs = 250;

bool IsOption(const std::string& a) { return a.size() > 1 && a[0] == '-'; }

// "--" ends the options: every word after it is an argument.
constexpr const char* kEndOfOptions = "--";

const std::string& Value(const Args& args, size_t& i) {
    if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
    return args[++i];
}

uint16_t AddressValue(const Args& args, size_t& i) {
    const std::string& option = args[i];
    const std::string& text = Value(args, i);
    uint16_t value = 0;
    if (!ParseAddress(text, value))
        throw UsageError{option + " " + text + ": not an address (0 to 65535, or 0x0 to 0xFFFF)"};
    return value;
}

[[noreturn]] void UnknownOption(const std::string& a) { throw UsageError{"unknown option " + a}; }

// The positional arguments of a command whose options are all flags: each
// flag given sets its bool, any other option is refused.
Args ParseFlags(const Args& args, std::initializer_list<std::pair<const char*, bool*>> flags = {}) {
    Args positional;
    bool optionsEnded = false;
    for (const auto& a : args) {
        if (optionsEnded) {
            positional.push_back(a);
            continue;
        }
        if (a == kEndOfOptions) {
            optionsEnded = true;
            continue;
        }
        bool known = false;
        for (const auto& [name, value] : flags) {
            if (a != name) continue;
            *value = true;
            known = true;
        }
        if (known) continue;
        if (IsOption(a)) UnknownOption(a);
        positional.push_back(a);
    }
    return positional;
}

// Exactly `count` positional arguments named by `what`.
void ExpectPositional(const Args& positional, size_t count, const char* what) {
    if (positional.size() < count) throw UsageError{std::string("missing ") + what};
    if (positional.size() > count) throw UsageError{"unexpected argument " + positional[count]};
}

// A command that takes no arguments at all.
void ExpectNoArguments(const Args& args) { ExpectPositional(ParseFlags(args), 0, ""); }

// ---------------------------------------------------------------------------
// Program files

// Opens a program file as Open does; false after its message.
bool LoadProgram(Context& c, const std::string& path) {
    if (OpenProgram(c, path)) return true;
    if (::access(path.c_str(), R_OK) != 0)
        c.ui.message("stepwright-cli: " + path + ": " + std::strerror(errno));
    return false;
}

// The listing line i as the window shows it, made printable.
std::string LineText(const MainState& s, int i) {
    if (i < 0 || i >= s.lineCount || i >= s.listing.count()) return std::string();
    return VisibleText(s.listing.text(i));
}

// Assembles the program; after a failure names the line it stopped at.
bool Assemble(Context& c) {
    const size_t before = c.ui.messages.size();
    if (AssembleProgram(c.s) == 0) return true;
    if (c.ui.messages.size() > before) {
        const std::string& last = c.ui.messages.back();
        int line = -1;
        if (last == "Redundant label found") line = c.s.currentLine;
        else if (last.compare(0, 7, "Label '") == 0) line = c.s.listing.focus();
        if (line >= 0 && line < c.s.lineCount)
            c.ui.message(Format("  line %d: ", line + 1) + LineText(c.s, line));
    }
    return false;
}

// Opens and assembles a program file; false after the message.
bool LoadAndAssemble(Context& c, const std::string& path) { return LoadProgram(c, path) && Assemble(c); }

// "address N" with what follows it (a state), and the listing line at N
// when a program was given.
std::string AddressLine(MainState& s, uint16_t address, const char* state = "") {
    std::string text = Format("address %u%s", unsigned(address), state);
    if (s.lineCount > 0) {
        // The window's own rule: the line at that address, else the end marker.
        ShowLineAtAddress(s, address);
        if (s.currentLine < s.lineCount) text += Format("  line %d: ", s.currentLine + 1) + LineText(s, s.currentLine);
        else text += "  end of program";
    }
    return text;
}

bool Loaded(const MainState& s) { return s.form.LoadLabel.caption == kLoadedText; }

// ---------------------------------------------------------------------------
// Module lists

// After a detection against a program's module list: the list and the
// detected modules must agree, in their number as well as in their types.
int CheckModuleList(Context& c, int fileModules) {
    if (c.s.moduleMismatch) return kExitRefused;  // detection has said so
    const int found = c.s.status.moduleCount > kMaxModules ? kMaxModules : c.s.status.moduleCount;
    if (found != fileModules) {
        c.ui.message(Format("stepwright-cli: the program's module list holds %d module(s); the master found %d",
                            fileModules, found));
        c.s.moduleMismatch = true;
        return kExitRefused;
    }
    return kExitOk;
}

// Detects the modules and, when a program was given, checks its module list.
int DetectFor(Context& c, Connection& conn, bool haveProgram, int fileModules) {
    if (int r = conn.detect(); r != kExitOk) return r;
    return haveProgram ? CheckModuleList(c, fileModules) : kExitOk;
}

// Opens the connection and detects the modules, checking the module list of
// the program when one was given.  A detection that failed or was refused
// ends the command here, before anything that runs, steps or moves is sent;
// a module-list mismatch is left in moduleMismatch for the command to act on.
int OpenAndDetect(Context& c, Connection& conn, bool haveProgram) {
    const int fileModules = c.s.moduleListCount;
    if (int r = conn.open(); r != kExitOk) return r;
    if (int r = conn.detect(); r != kExitOk) return r;
    if (haveProgram) CheckModuleList(c, fileModules);
    return kExitOk;
}

// Refuses a module address beyond the detected modules.
int NoModuleAt(Context& c, int address) {
    c.ui.message(Format("stepwright-cli: no module at address %d (%d module(s) found)", address,
                        int(c.s.moduleListCount)));
    return kExitRefused;
}

// Opens the connection for the program just assembled and takes the link on
// line: by detection, its module list checked, when asked; else by probe.
int OpenForProgram(Context& c, Connection& conn, bool checkModules, int (Connection::*probe)()) {
    const int fileModules = c.s.moduleListCount;
    if (int r = conn.open(); r != kExitOk) return r;
    return checkModules ? DetectFor(c, conn, true, fileModules) : (conn.*probe)();
}

// Runs a window handler that reports its blocks to the progress hook, the
// progress shown as `what`.
void WithProgress(Context& c, const char* what, void (*handler)(MainState&)) {
    c.s.progressHook = [&c, what](int done, int total) { c.ui.progress(what, done, total); };
    handler(c.s);
    c.s.progressHook = nullptr;
    c.ui.endProgress();
}

// ---------------------------------------------------------------------------
// The terminal's characters on standard output

// Moves what the terminal window collected to standard output.  The window
// is emptied to one empty line before every read of the port, so that each
// later line it holds stands for one line feed followed by its characters
// after the ">" prompt.
class TerminalDrain {
public:
    explicit TerminalDrain(MainState& s) : s_(s) { s_.terminal.lines.assign(1, std::string()); }

    void operator()() {
        auto& lines = s_.terminal.lines;
        if (lines.empty() || (lines.size() == 1 && lines[0].empty())) {
            lines.assign(1, std::string());
            return;
        }
        std::string out = VisibleText(lines[0]);
        for (size_t i = 1; i < lines.size(); ++i) out += "\n" + VisibleText(lines[i].substr(1));
        lines.assign(1, std::string());
        WriteOut(out);
        std::fflush(stdout);
        atLineStart_ = out.back() == '\n';
    }

    // Ends a line of printed characters before other output follows.
    void endLine() {
        (*this)();
        if (!atLineStart_) WriteOut("\n");
        atLineStart_ = true;
    }

private:
    MainState& s_;
    bool atLineStart_ = true;
};

// Standard input as a key source: characters as typed, without echo or line
// editing, Enter as carriage return; Ctrl+C still interrupts.
class RawKeys {
public:
    RawKeys() {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        struct termios t = saved_;
        t.c_lflag &= ~tcflag_t(ICANON | ECHO | IEXTEN);
        t.c_iflag &= ~tcflag_t(ICRNL | INLCR | IGNCR | IXON);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        active_ = tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0;
    }
    ~RawKeys() {
        if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    bool active() const { return active_ && open_; }

    // Waits at most ms for keys; returns those typed (possibly none).
    std::string wait(int ms) {
        struct pollfd p = {active() ? STDIN_FILENO : -1, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0 || !(p.revents & (POLLIN | POLLHUP))) return std::string();
        char buf[64];
        ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            if (n == 0 || (errno != EINTR && errno != EAGAIN)) open_ = false;  // end of input
            return std::string();
        }
        return std::string(buf, size_t(n));
    }

private:
    struct termios saved_ {};
    bool active_ = false;
    bool open_ = true;
};

}  // namespace

// ---------------------------------------------------------------------------

void Print(Context& c, const std::string& text) {
    if (c.ui.printResults) WriteOut(text);
}

int CmdList(Context& c, const Args& args) {
    const Args positional = ParseFlags(args);
    ExpectPositional(positional, 1, "program file");
    c.report.facts["file"] = positional[0];
    if (!LoadProgram(c, positional[0])) return kExitFile;
    if (!c.options.json) {
        // The listing alone, written in one piece.
        std::string out;
        for (int i = 0; i < c.s.lineCount; ++i) {
            out += LineText(c.s, i);
            out += '\n';
        }
        Print(c, out);
        return kExitOk;
    }
    json::Value& lines = c.report.facts["lines"] = json::Value::array();
    for (int i = 0; i < c.s.lineCount; ++i) {
        Print(c, LineText(c.s, i) + "\n");
        json::Value line = json::Value::object();
        line["text"] = i < c.s.listing.count() ? c.s.listing.text(i) : std::string();
        line["comment"] = c.s.lines[i].isComment();
        lines.push(std::move(line));
    }
    return kExitOk;
}

int CmdAssemble(Context& c, const Args& args) {
    Args positional;
    std::string output;
    bool hex = false, optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded) positional.push_back(a);
        else if (a == kEndOfOptions) optionsEnded = true;
        else if (a == "-o" || a == "--output") output = Value(args, i);
        else if (a == "--hex") hex = true;
        else if (IsOption(a)) UnknownOption(a);
        else positional.push_back(a);
    }
    ExpectPositional(positional, 1, "program file");
    if (output == "-" && c.options.json) throw UsageError{"-o - and --json both use standard output"};
    const std::string& program = positional[0];
    c.report.facts["file"] = program;
    if (!output.empty() && output != "-" && SameFile(output, program)) {
        c.ui.message("stepwright-cli: " + output + " is the program file itself; it is not overwritten");
        return kExitFile;
    }
    if (!LoadAndAssemble(c, program)) return kExitFile;

    const MainState& s = c.s;
    c.report.facts["bytes"] = int(s.imageLength);
    if (output == "-") {
        WriteOut(std::string(reinterpret_cast<const char*>(s.programImage), s.imageLength));
    } else if (!output.empty()) {
        // Written as Save writes: the earlier image stays whole until the new one is complete.
        int error = 0;
        const std::string failure =
            WriteFileData(output, std::string(reinterpret_cast<const char*>(s.programImage), s.imageLength), &error);
        if (!failure.empty()) {
            // "cannot write IMAGE: " and the cause, as the system names it.
            static const std::string kWriteFailure = "Could not write file: ";
            std::string why = failure;
            if (why.compare(0, kWriteFailure.size(), kWriteFailure) == 0) why.erase(0, kWriteFailure.size());
            else if (error) why = std::strerror(error);
            c.ui.message("stepwright-cli: cannot write " + output + ": " + why);
            return kExitFile;
        }
        c.report.facts["output"] = output;
    }
    if (hex) {
        std::string all;
        for (int offset = 0; offset < s.imageLength; offset += 16) {
            std::string line = Format("%04X:", unsigned(offset));
            for (int i = offset; i < offset + 16 && i < s.imageLength; ++i) {
                line += Format(" %02X", s.programImage[i]);
                all += Format("%02X", s.programImage[i]);
            }
            Print(c, line + "\n");
        }
        c.report.facts["image"] = all;
    }
    if (output.empty() && !hex) Print(c, Format("%d bytes\n", int(s.imageLength)));
    return kExitOk;
}

int CmdDetect(Context& c, const Args& args) {
    ExpectNoArguments(args);
    Connection conn(c);
    if (int r = conn.open(); r != kExitOk) return r;
    if (int r = conn.detect(); r != kExitOk) return r;
    const auto& items = c.s.form.ModuleListBox.items;
    json::Value& modules = c.report.facts["modules"] = json::Value::array();
    std::string found;
    for (size_t i = 0; i < items.size() && i <= size_t(kMaxModules); ++i) {
        Print(c, VisibleText(items[i]) + "\n");
        // " 1 ZEL-SERVO": the address in two columns, a blank, the name.
        json::Value m = json::Value::object();
        m["address"] = int(i);
        m["type"] = int(c.s.moduleTypes[i]);
        m["name"] = items[i].size() > 3 ? items[i].substr(3) : items[i];
        modules.push(std::move(m));
        if (i > 0) found += (i > 1 ? ", " : ": ") + Format("%d ", int(i)) + (items[i].size() > 3 ? items[i].substr(3) : "");
    }
    c.report.summary = Format("%d module(s) found", items.empty() ? 0 : int(items.size()) - 1) + found;
    return kExitOk;
}

namespace {

// Runs a verify and tells how it ended.
int VerifyProgram(Context& c, Connection& conn) {
    // Not known to be loaded until the master's memory has been compared.
    c.s.form.LoadLabel.caption = "Not Loaded";
    const int drawn = c.ui.repaints;
    WithProgress(c, "Verifying", VerifyButtonClick);
    if (!c.s.online) return conn.failure();
    if (c.ui.repaints == drawn) return kExitFile;  // the assembly refused it
    if (Loaded(c.s)) return kExitOk;
    // After the message: where the first difference lies.
    const int at = c.s.verifyDifferenceAt;
    if (at >= 0) {
        const int line = LineAtImageAddress(c.s, at);
        std::string where = Format("First difference at address %d: ", at);
        if (line < 0) {
            where += "the image's length";
        } else {
            const std::string label = c.s.lines[line].labelText();
            where += Format("listing line %d, ", line + 1) + (label.empty() ? "no label" : "label " + label);
            c.report.facts["first_difference"] = json::Value::object();
            c.report.facts["first_difference"]["line"] = line + 1;
            c.report.facts["first_difference"]["label"] = label;
        }
        c.report.facts["first_difference_address"] = at;
        c.ui.message(where);
    }
    return kExitMismatch;
}

// The program file and its image, for --json.
void ReportProgram(Context& c, const std::string& file) {
    c.report.facts["file"] = file;
    c.report.facts["bytes"] = int(c.s.imageLength);
    c.report.facts["blocks"] = (int(c.s.imageLength) + 15) / 16;
}

}  // namespace

int CmdDownload(Context& c, const Args& args) {
    bool verify = false, noVerify = false, run = false, checkModules = false;
    const Args positional = ParseFlags(
        args, {{"--verify", &verify}, {"--no-verify", &noVerify}, {"--run", &run}, {"--check-modules", &checkModules}});
    ExpectPositional(positional, 1, "program file");
    if (verify && noVerify) throw UsageError{"--verify and --no-verify exclude each other"};
    // A program that cannot be loaded is refused before the master is touched.
    c.report.facts["file"] = positional[0];
    if (!LoadAndAssemble(c, positional[0])) return kExitFile;
    ReportProgram(c, positional[0]);
    json::Value& facts = c.report.facts;
    facts["downloaded"] = false;
    // The master's acknowledge and result bytes carry no checksum: only
    // reading the program back shows that it arrived as sent.
    facts["verified"] = noVerify ? json::Value() : json::Value(false);

    Connection conn(c);
    int r = OpenForProgram(c, conn, checkModules, &Connection::probeStop);
    if (r != kExitOk) return r;

    WithProgress(c, "Downloading", DownloadButtonClick);
    if (!c.s.online) return conn.failure();
    if (!Loaded(c.s)) return kExitFile;
    facts["downloaded"] = true;
    c.report.summary = Format("Download complete (%d bytes)", int(c.s.imageLength));

    if (!noVerify) {
        r = VerifyProgram(c, conn);
        facts["verified"] = r == kExitOk;
        if (r != kExitOk) return r;
        c.report.summary += ", verified";
    } else {
        c.report.summary += ", not verified";
    }

    if (run) {
        if (c.s.programHasBaudChange) {
            c.ui.message("stepwright-cli: not started: the program changes the baud rate");
            return kExitRefused;
        }
        RunButtonClick(c.s);
        if (!c.s.online) return conn.failure();
        Print(c, "started at " + AddressLine(c.s, kFirstInstruction) + "\n");
        json::Value& started = facts["started"] = json::Value::object();
        started["address"] = int(kFirstInstruction);
        if (c.s.currentLine < c.s.lineCount) {
            started["line"] = c.s.currentLine + 1;
            started["text"] = c.s.listing.text(c.s.currentLine);
        }
        c.report.summary += ", started at address 2";
    }
    return kExitOk;
}

// verify and compare: the program file read and assembled, then the link
// taken on line by a poll (without --check-modules), so that a running
// program is not disturbed by the comparison.
int OpenToCompare(Context& c, const Args& args, Connection& conn) {
    bool checkModules = false;
    const Args positional = ParseFlags(args, {{"--check-modules", &checkModules}});
    ExpectPositional(positional, 1, "program file");
    c.report.facts["file"] = positional[0];
    if (!LoadAndAssemble(c, positional[0])) return kExitFile;
    ReportProgram(c, positional[0]);
    c.report.facts["matches"] = json::Value();
    return OpenForProgram(c, conn, checkModules, &Connection::probePoll);
}

int CmdVerify(Context& c, const Args& args) {
    Connection conn(c);
    if (int r = OpenToCompare(c, args, conn); r != kExitOk) return r;
    const int r = VerifyProgram(c, conn);
    if (r == kExitOk || r == kExitMismatch) c.report.facts["matches"] = r == kExitOk;
    if (r == kExitOk) c.report.summary = "Loaded program matches program listing.";
    return r;
}

int CmdCompare(Context& c, const Args& args) {
    Connection conn(c);
    if (int r = OpenToCompare(c, args, conn); r != kExitOk) return r;
    ProgramComparison d;
    c.s.progressHook = [&c](int done, int total) { c.ui.progress("Reading", done, total); };
    const CompareOutcome outcome = CompareProgramWithMaster(c.s, d);
    c.s.progressHook = nullptr;
    c.ui.endProgress();
    switch (outcome) {
        case CompareOutcome::NoReply: return conn.failure();
        case CompareOutcome::Unreliable: return kExitNotResponding;
        case CompareOutcome::NotAssembled: return kExitFile;   // LoadAndAssemble has refused it already
        case CompareOutcome::Empty:
            c.report.facts["matches"] = false;
            c.report.summary = "Master holds no program";
            c.ui.message(c.report.summary);
            return kExitMismatch;
        case CompareOutcome::Same:
            c.report.facts["matches"] = true;
            c.report.summary = "Master holds this program";
            if (!c.options.json && c.options.ports.size() <= 1) c.ui.note(c.report.summary);
            return kExitOk;
        case CompareOutcome::Different: break;
    }
    c.report.facts["matches"] = false;
    json::Value& lines = c.report.facts["differences"] = json::Value::array();
    for (const DiffLine& l : d.lines) {
        if (l.kind == ' ') continue;
        json::Value v = json::Value::object();
        v["in"] = std::string(l.kind == '-' ? "program" : "master");
        v["line"] = l.line + 1;
        v["address"] = l.address;
        v["label"] = l.label;
        v["text"] = l.text;
        lines.push(std::move(v));
    }
    c.report.summary = Format("%d line(s) differ", d.differing);
    Print(c, FormatUnifiedDiff(d, c.report.facts["file"].text(), "master (" + c.options.port + ")"));
    return kExitMismatch;
}

namespace {

// Options shared by run, step, stop, exec and monitor.
struct ExecOptions {
    std::string program;
    bool fromGiven = false;
    uint16_t from = kFirstInstruction;
    bool resume = false;
    bool untilStop = false;
    Args positional;
};

ExecOptions ParseExecOptions(const Args& args, bool from, bool resume, bool untilStop) {
    ExecOptions o;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded) {
            o.positional.push_back(a);
        } else if (a == kEndOfOptions) {
            optionsEnded = true;
        } else if (a == "--program") {
            o.program = Value(args, i);
        } else if (from && a == "--from") {
            o.from = AddressValue(args, i);
            o.fromGiven = true;
        } else if (resume && a == "--resume") {
            o.resume = true;
        } else if (untilStop && a == "--until-stop") {
            o.untilStop = true;
        } else if (IsOption(a)) {
            UnknownOption(a);
        } else {
            o.positional.push_back(a);
        }
    }
    if (o.fromGiven && o.resume) throw UsageError{"--from and --resume exclude each other"};
    return o;
}

// Opens and assembles the program that --program names (its listing names
// the executing line; its module list is checked where the module list counts).
int LoadExecProgram(Context& c, const ExecOptions& o) {
    if (o.program.empty()) return kExitOk;
    return LoadAndAssemble(c, o.program) ? kExitOk : kExitFile;
}

}  // namespace

int CmdRun(Context& c, const Args& args) {
    ExecOptions o = ParseExecOptions(args, true, true, false);
    ExpectPositional(o.positional, 0, "");
    if (int r = LoadExecProgram(c, o); r != kExitOk) return r;
    const bool haveProgram = !o.program.empty();
    if (haveProgram && c.s.programHasBaudChange) {
        c.ui.message("Program contains a baud rate change - cannot run interactively");
        return kExitRefused;
    }

    Connection conn(c);
    if (int r = OpenAndDetect(c, conn, haveProgram); r != kExitOk) return r;

    // Where Run starts: the first instruction, the address the master stands
    // at (--resume, as after a Stop in the window), or the one given.
    c.s.resumeFlag = o.resume || o.fromGiven;
    if (o.fromGiven) c.s.status.programAddress = o.from;
    const uint16_t start = c.s.resumeFlag ? c.s.status.programAddress : kFirstInstruction;
    const bool refused = c.s.moduleMismatch;
    RunButtonClick(c.s);
    if (refused) return kExitRefused;
    if (!c.s.online) return conn.failure();
    Print(c, "started at " + AddressLine(c.s, start) + "\n");
    return kExitOk;
}

int CmdStop(Context& c, const Args& args) {
    ExecOptions o = ParseExecOptions(args, false, false, false);
    ExpectPositional(o.positional, 0, "");
    if (int r = LoadExecProgram(c, o); r != kExitOk) return r;
    Connection conn(c);
    if (int r = conn.open(); r != kExitOk) return r;
    // The probe is the Stop command itself.
    if (int r = conn.probeStop(); r != kExitOk) return r;
    Print(c, "stopped at " + AddressLine(c.s, c.s.status.programAddress) + "\n");
    return kExitOk;
}

namespace {

// The length of the instruction that starts at `at`: a master instruction
// (0xBB, data count, code, data) is its data count and 3 bytes long, a module
// frame (0xAA, module, command byte whose high nibble counts the data, data,
// checksum, trailer) its data count and 5; 0 for a byte that starts neither.
int InstructionLength(const uint8_t* at) {
    if (at[0] == kMasterMarker) return at[1] + 3;
    if (at[0] == kFrameHeader) return (at[2] >> 4) + 5;
    return 0;
}

// The program image a step is placed in: the assembled image of --program,
// or the image in the master, read back block by block as far as needed
// into the image buffer (where the Delay look of Step finds it).
class StepImage {
public:
    StepImage(MainState& s, bool assembled) : s_(s), known_(assembled ? kImageSize : 0) {}

    // Makes the bytes below `end` known; false after the link failed.
    bool know(int end) {
        if (end > kImageSize) end = kImageSize;
        while (known_ < end) {
            uint8_t reply[17];
            if (HostReadBlock(s_, uint16_t(known_), reply) != 0) return false;
            std::memcpy(s_.programImage + known_, reply, kBlockBytes);
            known_ += kBlockBytes;
        }
        return true;
    }
    // The image's length from its header, where the end marker stands; a
    // header that cannot be one counts as an empty program.
    bool length(int& end) {
        if (!know(2)) return false;
        end = s_.programImage[0] | (s_.programImage[1] << 8);
        if (end < kFirstInstruction || end > kImageSize) end = kFirstInstruction;
        return true;
    }
    // Where the line holding `address` starts, walking the instructions from
    // the first; -1 when the walk cannot reach it.  false after the link failed.
    bool lineStart(int address, int end, int& start) {
        start = -1;
        for (int a = kFirstInstruction; a < end;) {
            if (!know(a + 3)) return false;
            const int length = InstructionLength(s_.programImage + a);
            if (length == 0) return true;
            if (address < a + length) {
                start = a;
                return true;
            }
            a += length;
        }
        return true;
    }

private:
    static constexpr int kBlockBytes = 16;
    MainState& s_;
    int known_;
};

// Decides where a step starts, by the window's rule: at the first instruction
// when the master is at start or at the end of the program, else where it
// stands.  After power-up or a reset the master stands before the second line
// without standing at the start of one; a program it paused (Stop, a
// breakpoint, a step) stands at the start of a line.  Any other address, and
// an address given with --from that is not the start of a line, is refused.
// kExitOk with the address in start, kExitRefused, or kLinkFailed.
constexpr int kLinkFailed = -2;
int StepAddress(Context& c, StepImage& image, bool fromGiven, uint16_t address, uint16_t& start) {
    int end = 0, line = -1, first = -1;
    if (!image.length(end) || !image.lineStart(address, end, line) ||
        !image.lineStart(kFirstInstruction, end, first))
        return kLinkFailed;
    start = address;
    if (line == address && address < end) return kExitOk;
    if (!fromGiven) {
        const int firstEnd = first == kFirstInstruction ? kFirstInstruction + InstructionLength(c.s.programImage + first)
                                                        : kFirstInstruction;
        if (address < kFirstInstruction || address >= end || address < firstEnd) {
            start = kFirstInstruction;
            if (address != start)
                c.ui.note(Format("the master stands at address %u: stepping at the first instruction, address 2",
                                 unsigned(address)));
            return kExitOk;
        }
    }
    c.ui.message(Format("stepwright-cli: address %u is not the start of a line of the program: not stepped",
                        unsigned(address)));
    return kExitRefused;
}

}  // namespace

int CmdStep(Context& c, const Args& args) {
    ExecOptions o = ParseExecOptions(args, true, false, false);
    ExpectPositional(o.positional, 0, "");
    if (int r = LoadExecProgram(c, o); r != kExitOk) return r;
    const bool haveProgram = !o.program.empty();
    StepImage image(c.s, haveProgram);
    uint16_t start = kFirstInstruction;
    // With the program given, a --from that is not the start of a line is
    // refused before the master is touched.
    if (haveProgram && o.fromGiven) {
        if (int r = StepAddress(c, image, true, o.from, start); r != kExitOk) return r;
    }

    Connection conn(c);
    if (int r = OpenAndDetect(c, conn, haveProgram); r != kExitOk) return r;
    TerminalDrain drain(c.s);
    if (!c.s.moduleMismatch) {
        const uint16_t address = o.fromGiven ? o.from : c.s.status.programAddress;
        if (int r = StepAddress(c, image, o.fromGiven, address, start); r != kExitOk)
            return r == kLinkFailed ? conn.failure() : r;
        // The Delays the step skips are looked at in the image.
        for (int a = start; a + 3 <= kImageSize && image.know(a + 3) && c.s.programImage[a + 2] == MasterCmd::kDelay;)
            a += kDelayLength;
        if (!c.s.online) return conn.failure();
        conn.tap()->drain = [&drain] { drain(); };
    }
    c.s.resumeFlag = true;
    c.s.status.programAddress = start;
    const bool refused = c.s.moduleMismatch;
    StepButtonClick(c.s);
    if (refused) return kExitRefused;
    if (!c.s.online) return conn.failure();
    // One poll shows where the step ended (and collects what it printed).
    PollTimerTimer(c.s);
    drain.endLine();
    conn.tap()->drain = nullptr;
    if (!c.s.online) return conn.failure();
    Print(c, AddressLine(c.s, c.s.status.programAddress) + "\n");
    return kExitOk;
}

int CmdReset(Context& c, const Args& args) {
    ExpectNoArguments(args);
    Connection conn(c);
    if (int r = conn.open(); r != kExitOk) return r;
    // The master does not answer a Reset: a Stop first finds out that it listens.
    if (int r = conn.probeStop(); r != kExitOk) return r;
    ResetButtonClick(c.s);
    c.report.summary = "reset";
    return kExitOk;
}

int CmdStatus(Context& c, const Args& args) {
    std::vector<int> addresses;
    bool modulesGiven = false;
    std::string modules, program;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && (a == "--modules" || a == "--program")) {
            if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
            (a == "--modules" ? modules : program) = args[++i];
            modulesGiven = modulesGiven || a == "--modules";
            continue;
        }
        if (!optionsEnded && a.size() > 1 && a[0] == '-') throw UsageError{"unknown option " + a};
        uint16_t v = 0;
        if (!ParseAddress(a, v) || v > kMaxModules)
            throw UsageError{"module address " + a + ": use 0 (the master) to 31"};
        addresses.push_back(v);
    }
    if (addresses.empty()) throw UsageError{"missing module address"};
    if (modulesGiven && !program.empty()) throw UsageError{"--modules and --program exclude each other"};
    std::vector<int> given;
    if (int r = ModulesFromOptions(c, modulesGiven, modules, program, given); r != kExitOk) return r;

    // A status is read without stopping a running program: no detection.
    Connection conn(c);
    if (int r = conn.open(); r != kExitOk) return r;
    if (int r = conn.probePoll(); r != kExitOk) return r;
    if (int r = LearnModules(c, conn, given, modulesGiven || !program.empty()); r != kExitOk) return r;
    c.report.facts["modules"] = json::Value::array();
    bool first = true;
    for (int a : addresses) {
        if (a > c.s.moduleListCount) return NoModuleAt(c, a);
        if (!first) Print(c, "\n");
        first = false;
        SelectModule(c.s, a);
        const int shown = c.ui.statusWindowsShown;
        c.ui.statusAddress = a;
        ModuleListBoxDblClick(c.s);
        if (c.ui.statusWindowsShown != shown) {
            c.report.facts["modules"] = c.ui.statusWindows;
            c.report.summary += (c.report.summary.empty() ? "" : "; ") + c.ui.statusLine;
            continue;
        }
        if (!c.s.online) return conn.failure();
        const int type = c.s.moduleTypes[a];
        if (!HasFamily(type)) {
            c.ui.message(Format("stepwright-cli: module %d is of an unknown type (%d) and has no status", a, type));
            return kExitRefused;
        }
        // Still on line: the reply came whole but its checksum was wrong.
        c.ui.message(Format("reply checksum mismatch: the status of module %d was not read", a));
        return kExitNotResponding;
    }
    return kExitOk;
}

int CmdExec(Context& c, const Args& args) {
    ExecOptions o = ParseExecOptions(args, false, false, false);
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ParseHexBytes(o.positional, bytes, error)) throw UsageError{error};

    // The instruction is checked as Execute Now would send it, before the
    // master is touched.
    const int n = int(bytes.size());
    if (n < 3) throw UsageError{"an instruction has at least 3 bytes"};
    if (n > kMaxInstrBytes) throw UsageError{Format("an instruction has at most %d bytes", kMaxInstrBytes)};
    ProgramLine line;
    std::memset(&line, 0, sizeof line);
    std::memcpy(line.bytes, bytes.data(), size_t(n));
    line.length = uint8_t(n);
    int module = 0;
    if (bytes[0] == kFrameHeader) {
        const int data = bytes[2] >> 4;
        if (n != data + 5)
            throw UsageError{Format("a module frame with %d data bytes is %d bytes long, not %d", data, data + 5, n)};
        const uint8_t sum = FrameChecksum(line.bytes, data);
        if (bytes[size_t(3 + data)] != sum)
            throw UsageError{Format("the frame's checksum byte is %02X; its bytes add up to %02X", bytes[size_t(3 + data)], sum)};
        module = bytes[1];
    } else if (bytes[0] == kMasterMarker) {
        if (bytes[2] != MasterCmd::kSetOutputs) {
            c.ui.message("Immediate execution of this instruction is not possible.");
            return kExitUsage;
        }
        if (n != bytes[1] + 3)
            throw UsageError{Format("SetOutputs with %d data bytes is %d bytes long, not %d", bytes[1], bytes[1] + 3, n)};
        if (n < 8) throw UsageError{"SetOutputs names its module in byte 7"};
        module = bytes[7];
    } else {
        throw UsageError{"byte 0 must be AA (a module frame) or BB (a master instruction)"};
    }
    const int count = ExecuteNowLength(line);

    if (int r = LoadExecProgram(c, o); r != kExitOk) return r;
    Connection conn(c);
    if (int r = OpenAndDetect(c, conn, !o.program.empty()); r != kExitOk) return r;
    if (c.s.moduleMismatch) {
        c.ui.message("Module list does not match detected modules.");
        return kExitRefused;
    }
    if (module < 1 || module > c.s.moduleListCount) return NoModuleAt(c, module);
    if (HostExecute(c.s, line.bytes, count) != 0) return conn.failure();
    return kExitOk;
}

int CmdMonitor(Context& c, const Args& args) {
    ExecOptions o = ParseExecOptions(args, false, false, true);
    ExpectPositional(o.positional, 0, "");
    if (int r = LoadExecProgram(c, o); r != kExitOk) return r;

    Connection conn(c);
    if (int r = conn.open(); r != kExitOk) return r;
    TerminalDrain drain(c.s);
    conn.tap()->drain = [&drain] { drain(); };
    InterruptGuard interrupts;
    RawKeys keys;

    // The first poll takes the link on line; a running program goes on.
    if (int r = conn.probePoll(); r != kExitOk) return r;
    bool reported = false, wasRunning = false;
    uint16_t lastAddress = 0;
    using Clock = std::chrono::steady_clock;
    for (;;) {
        drain();
        const bool running = c.s.status.statusB & kStatusBRunning;
        const uint16_t address = c.s.status.programAddress;
        if (!reported || address != lastAddress || running != wasRunning) {
            c.ui.note(AddressLine(c.s, address, running ? " (running)" : " (stopped)"));
            reported = true;
            lastAddress = address;
            wasRunning = running;
        }
        if (o.untilStop && !running) break;

        // Keys typed until the next poll is due go to the master at once.
        const auto due = Clock::now() + std::chrono::milliseconds(kPollIntervalMs);
        while (!Interrupted()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
            if (left <= 0) break;
            for (char key : keys.wait(int(left))) {
                TerminalMemoKeyPress(c.s, uint8_t(key));
                drain();
            }
        }
        if (Interrupted()) break;
        PollTimerTimer(c.s);
        if (!c.s.online) {
            drain.endLine();
            return conn.failure();
        }
    }
    drain.endLine();
    conn.tap()->drain = nullptr;
    return kExitOk;
}

// Ctrl+C and friends end the monitor and the watch.
namespace {
volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_signal = SIGINT;
void OnInterrupt(int signal) {
    g_signal = signal;
    g_interrupted = 1;
}
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
// Guards alive of each kind (several ports run a command each at once).
std::atomic<int> g_loopGuards{0};
std::atomic<int> g_stopGuards{0};
}  // namespace

InterruptGuard::InterruptGuard(bool stopsCommand) : stopsCommand_(stopsCommand) {
    (stopsCommand ? g_stopGuards : g_loopGuards)++;
    // A stopping guard of another port's run may already have seen Ctrl+C.
    if (!stopsCommand) g_interrupted = 0;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: a wait ends at once
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &old_[i]);
}

InterruptGuard::~InterruptGuard() {
    (stopsCommand_ ? g_stopGuards : g_loopGuards)--;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &old_[i], nullptr);
}

bool Interrupted() { return g_interrupted != 0; }

void StopIfInterrupted() {
    if (g_interrupted && g_stopGuards > 0 && g_loopGuards == 0) throw Interruption{};
}

void EndByInterrupt() {
    const int signal = g_signal;
    std::fflush(stdout);
    std::fflush(stderr);
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(signal, &sa, nullptr);
    ::raise(signal);
    std::_Exit(128 + signal);
}

}  // namespace cli
