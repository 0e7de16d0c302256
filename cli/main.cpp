// stepwright-cli: global options, the command and its arguments.

#include <sys/prctl.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "cli/Cli.h"
#include "link/Sio.h"
#include "program/SafeFile.h"
#include "sim/SimOptions.h"

namespace cli {

namespace {

struct CommandEntry {
    const char* name;
    Command run;
};

const CommandEntry kCommandTable[] = {
    {"list", CmdList},     {"assemble", CmdAssemble}, {"detect", CmdDetect}, {"download", CmdDownload},
    {"verify", CmdVerify}, {"run", CmdRun},           {"stop", CmdStop},     {"step", CmdStep},
    {"reset", CmdReset},   {"status", CmdStatus},     {"exec", CmdExec},     {"monitor", CmdMonitor},
    {"export", CmdExport}, {"import", CmdImport},
    {"watch", CmdWatch},   {"test", CmdTest},     {"check", CmdCheck}, {"upload", CmdUpload},
    {"decode", CmdDecode}, {"compare", CmdCompare}, {"prove", CmdProve},
};

Command FindCommand(const std::string& name) {
    for (const auto& c : kCommandTable)
        if (name == c.name) return c.run;
    return nullptr;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsComName(const std::string& name) {
    std::string n = name;
    if (!n.empty() && n.back() == ':') n.pop_back();
    return n.size() == 4 && std::toupper(uint8_t(n[0])) == 'C' && std::toupper(uint8_t(n[1])) == 'O' &&
           std::toupper(uint8_t(n[2])) == 'M' && n[3] >= '1' && n[3] <= '6';
}

// A decimal number from 0 to max; false when the text is not one.
bool ParseCount(const std::string& text, long max, long& value) {
    if (text.empty() || text.size() > 9) return false;
    long v = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + (ch - '0');
    }
    if (v > max) return false;
    value = v;
    return true;
}

struct Invocation {
    GlobalOptions options;
    std::string command;
    Args args;
    bool help = false;
    bool version = false;
};

// Global options may stand anywhere; the first other word is the command and
// the words after it are its arguments.  "--name=value" is taken as two words.
// "--" ends the options: the words after it are the command (when none came
// yet) and its arguments, and "--" is handed on so that the command does not
// take them for its own options either.
Invocation Parse(int argc, char** argv) {
    Invocation inv;
    GlobalOptions& g = inv.options;
    DefaultPortMap(g.device);
    Args words;
    size_t optionsEnd = size_t(-1);
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const size_t eq = a.find('=');
        if (optionsEnd == size_t(-1) && a == "--") {
            optionsEnd = words.size();
        } else if (optionsEnd == size_t(-1) && a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            words.push_back(a.substr(0, eq));
            words.push_back(a.substr(eq + 1));
        } else {
            words.push_back(a);
        }
    }
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& a = words[i];
        if (i >= optionsEnd) {
            if (inv.command.empty()) {
                inv.command = a;
                inv.args.push_back("--");
            } else {
                if (i == optionsEnd) inv.args.push_back("--");
                inv.args.push_back(a);
            }
            continue;
        }
        auto value = [&]() -> const std::string& {
            if (i + 1 >= words.size()) throw UsageError{a + " needs a value"};
            return words[++i];
        };
        if (a == "--port") {
            const std::string& v = value();
            std::string error, port;
            if (v.find('=') != std::string::npos) {
                if (!ParsePortOption(v, g.device, error)) throw UsageError{error};
                port = v.substr(0, v.find('='));
            } else if ((!v.empty() && v[0] == '/') || IsComName(v)) {
                port = v;
            } else {
                throw UsageError{"--port " + v + ": use COM1 to COM6, a device path or COMn=/dev/DEVICE"};
            }
            for (const auto& p : g.ports)
                if (p == port) throw UsageError{"--port " + port + " given twice"};
            g.ports.push_back(port);
            g.port = port;
            g.portGiven = true;
        } else if (a == "--json") {
            g.json = true;
        } else if (a == "--simulator") {
            g.simulator = true;
        } else if (a == "--sim-modules") {
            std::string error;
            if (!ParseSimModules(value(), g.simModules, error)) throw UsageError{"--sim-modules: " + error};
            g.simModulesGiven = true;
        } else if (a == "--sim-pace") {
            long pace = 0;
            const std::string& v = value();
            if (!ParseCount(v, 10000000, pace)) throw UsageError{"--sim-pace " + v + ": give a baud rate, or 0"};
            g.simPace = int(pace);
            g.simPaceGiven = true;
        } else if (a == "--log") {
            g.logFile = value();
            if (g.logFile.empty()) throw UsageError{"--log needs a file"};
        } else if (a == "--help" || a == "-h") {
            inv.help = true;
        } else if (a == "--version") {
            inv.version = true;
        } else if (inv.command.empty()) {
            if (a.size() > 1 && a[0] == '-') throw UsageError{"unknown option " + a};
            inv.command = a;
        } else {
            inv.args.push_back(a);
        }
    }
    if (g.simulator && g.portGiven) throw UsageError{"--port and --simulator exclude each other"};
    if (!g.simulator && (g.simModulesGiven || g.simPaceGiven))
        throw UsageError{"--sim-modules and --sim-pace need --simulator"};
    return inv;
}

}  // namespace

void PrintUsageError(const std::string& command, const std::string& text) {
    std::fprintf(stderr, "stepwright-cli: %s\n", VisibleText(text).c_str());
    const bool known = !command.empty() && (command == "help" || FindCommand(command));
    if (known && command != "help") {
        std::fprintf(stderr, "%s\nTry 'stepwright-cli %s --help'.\n", CommandUsage(command).c_str(), command.c_str());
    } else {
        std::fprintf(stderr, "Try 'stepwright-cli --help'.\n");
    }
}

bool ParseAddress(const std::string& text, uint16_t& value) {
    unsigned long v = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (text.size() > 6) return false;
        for (size_t i = 2; i < text.size(); ++i) {
            int d = HexDigit(text[i]);
            if (d < 0) return false;
            v = v * 16 + unsigned(d);
        }
    } else {
        long d = 0;
        if (!ParseCount(text, 0xFFFF, d)) return false;
        v = unsigned(d);
    }
    if (v > 0xFFFF) return false;
    value = uint16_t(v);
    return true;
}

bool ParseHexBytes(const Args& args, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    for (const std::string& arg : args) {
        std::string digits = arg;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
        if (digits.empty() || digits.size() % 2 != 0) {
            error = "\"" + arg + "\": give each byte as two hexadecimal digits";
            return false;
        }
        for (size_t i = 0; i < digits.size(); i += 2) {
            int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
            if (hi < 0 || lo < 0) {
                error = "\"" + arg + "\" is not hexadecimal";
                return false;
            }
            if (bytes.size() >= 256) {
                error = "too many bytes";
                return false;
            }
            bytes.push_back(uint8_t(hi * 16 + lo));
        }
    }
    if (bytes.empty()) {
        error = "missing instruction bytes";
        return false;
    }
    return true;
}

namespace {

// Ends the run: standard output is flushed and closed, and a failure to
// write it is an error of its own (unless the command failed already).
int Finish(int code) {
    if (int err = CloseOut(); err != 0) {
        std::fprintf(stderr, "stepwright-cli: cannot write standard output: %s\n", std::strerror(err));
        if (code == kExitOk) return kExitOutput;
    }
    return code;
}

}  // namespace

int Main(int argc, char** argv) {
    // Waits and the simulated master's thread keep their times to the
    // microsecond rather than the scheduler's default slack.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    Invocation inv;
    try {
        inv = Parse(argc, argv);
    } catch (const UsageError& e) {
        PrintUsageError("", e.text);
        return kExitUsage;
    }

    if (inv.version) {
        WriteOut(std::string("stepwright-cli ") + STEPWRIGHT_VERSION + "\n");
        return Finish(kExitOk);
    }
    if (inv.command.empty()) {
        if (inv.help) {
            WriteOut(ToolHelp());
            return Finish(kExitOk);
        }
        PrintUsageError("", "missing command");
        return kExitUsage;
    }
    if (inv.command == "help") {
        Args topics;
        for (const auto& a : inv.args)
            if (a != "--") topics.push_back(a);
        if (topics.empty()) {
            WriteOut(ToolHelp());
            return Finish(kExitOk);
        }
        const char* text = topics.size() == 1 ? CommandHelp(topics[0]) : "";
        if (*text == '\0') {
            PrintUsageError("help", topics.size() == 1 ? "unknown command " + topics[0] : "help takes one command");
            return kExitUsage;
        }
        WriteOut(text);
        return Finish(kExitOk);
    }
    Command run = FindCommand(inv.command);
    if (!run) {
        PrintUsageError("", "unknown command " + inv.command);
        return kExitUsage;
    }
    if (inv.help) {
        WriteOut(CommandHelp(inv.command));
        return Finish(kExitOk);
    }
    const GlobalOptions& options = inv.options;
    if (options.json && !TakesJson(inv.command)) {
        PrintUsageError(inv.command, "--json is not available for " + inv.command);
        return kExitUsage;
    }
    if (!options.logFile.empty() && !WritesLinkLog(inv.command)) {
        PrintUsageError(inv.command, "--log is not available for " + inv.command + " (it opens no port)");
        return kExitUsage;
    }
    // The log never replaces a file the command reads.
    for (const std::string& a : inv.args)
        if (!options.logFile.empty() && SameFile(options.logFile, a)) {
            PrintUsageError(inv.command, "--log " + options.logFile + " is a file the command reads");
            return kExitUsage;
        }
    if (options.ports.size() > 1) {
        if (!TakesManyPorts(inv.command)) {
            PrintUsageError(inv.command, inv.command + " takes one --port");
            return kExitUsage;
        }
        return Finish(RunOnPorts(inv.command, run, inv.args, options));
    }

    CommandRun r;
    r.ui.printResults = !options.json;
    RunCommand(r, inv.command, run, inv.args, options, false, nullptr);
    if (r.interrupted) EndByInterrupt();
    // watch and decode write their JSON rows as they go; check writes its own document.
    if (options.json && inv.command != "watch" && inv.command != "decode" && inv.command != "check") {
        const std::string port = !UsesPort(inv.command) ? "" : options.simulator ? "simulator" : options.port;
        WriteOut(Document(inv.command, port, r).write());
    }
    return Finish(r.code);
}

}  // namespace cli
