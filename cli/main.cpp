// stepwright-cli: global options, the command and its arguments.

#include <sys/prctl.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "cli/Cli.h"
#include "link/Sio.h"
#include "sim/SimOptions.h"

namespace cli {

namespace {

using Command = int (*)(Context&, const Args&);

struct CommandEntry {
    const char* name;
    Command run;
};

const CommandEntry kCommandTable[] = {
    {"list", CmdList},     {"assemble", CmdAssemble}, {"detect", CmdDetect}, {"download", CmdDownload},
    {"verify", CmdVerify}, {"run", CmdRun},           {"stop", CmdStop},     {"step", CmdStep},
    {"reset", CmdReset},   {"status", CmdStatus},     {"exec", CmdExec},     {"monitor", CmdMonitor},
    {"export", CmdExport}, {"import", CmdImport},
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
};

// Global options may stand anywhere; the first other word is the command and
// the words after it are its arguments.  "--name=value" is taken as two words.
Invocation Parse(int argc, char** argv) {
    Invocation inv;
    GlobalOptions& g = inv.options;
    DefaultPortMap(g.device);
    Args words;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const size_t eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            words.push_back(a.substr(0, eq));
            words.push_back(a.substr(eq + 1));
        } else {
            words.push_back(a);
        }
    }
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& a = words[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= words.size()) throw UsageError{a + " needs a value"};
            return words[++i];
        };
        if (a == "--port") {
            const std::string& v = value();
            std::string error;
            if (v.find('=') != std::string::npos) {
                if (!ParsePortOption(v, g.device, error)) throw UsageError{error};
                g.port = v.substr(0, v.find('='));
            } else if (!v.empty() && v[0] == '/') {
                g.port = v;
            } else if (IsComName(v)) {
                g.port = v;
            } else {
                throw UsageError{"--port " + v + ": use COM1 to COM6, a device path or COMn=/dev/DEVICE"};
            }
            g.portGiven = true;
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
        } else if (a == "--help" || a == "-h") {
            inv.help = true;
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

void PrintUsageError(const std::string& command, const std::string& text) {
    std::fprintf(stderr, "stepwright-cli: %s\n", VisibleText(text).c_str());
    const bool known = !command.empty() && (command == "help" || FindCommand(command));
    if (known && command != "help") {
        std::fprintf(stderr, "%s\nTry 'stepwright-cli %s --help'.\n", CommandUsage(command).c_str(), command.c_str());
    } else {
        std::fprintf(stderr, "Try 'stepwright-cli --help'.\n");
    }
}

}  // namespace

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

    if (inv.command.empty()) {
        if (inv.help) {
            std::fputs(ToolHelp(), stdout);
            return kExitOk;
        }
        PrintUsageError("", "missing command");
        return kExitUsage;
    }
    if (inv.command == "help") {
        if (inv.args.empty()) {
            std::fputs(ToolHelp(), stdout);
            return kExitOk;
        }
        const char* text = inv.args.size() == 1 ? CommandHelp(inv.args[0]) : "";
        if (*text == '\0') {
            PrintUsageError("help", inv.args.size() == 1 ? "unknown command " + inv.args[0] : "help takes one command");
            return kExitUsage;
        }
        std::fputs(text, stdout);
        return kExitOk;
    }
    Command run = FindCommand(inv.command);
    if (!run) {
        PrintUsageError("", "unknown command " + inv.command);
        return kExitUsage;
    }
    if (inv.help) {
        std::fputs(CommandHelp(inv.command), stdout);
        return kExitOk;
    }

    CliPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    ui.attach(s.get());
    // The window's start-up state: the end marker, the master selected.
    StartTimerTimer(*s);
    s->com.visible = false;
    Context context{*s, ui, inv.options};
    int result;
    try {
        result = run(context, inv.args);
    } catch (const UsageError& e) {
        PrintUsageError(inv.command, e.text);
        result = kExitUsage;
    }
    std::fflush(stdout);
    return result;
}

}  // namespace cli

int main(int argc, char** argv) { return cli::Main(argc, argv); }
