// stepwright-cli watch: the modules' state row by row, from the sampler
// behind the Watch window.

#include <algorithm>
#include <cstdio>

#include "app/MainState.h"
#include "cli/Cli.h"
#include "isa/Vocabulary.h"
#include "app/ModuleDetection.h"
#include "modules/ModuleList.h"
#include "app/ModuleListBox.h"
#include "modules/Sampler.h"
#include "app/Files.h"
#include "app/WatchLoop.h"
#include "program/ProgramFile.h"
#include "sim/SimOptions.h"

namespace cli {

namespace {

enum class RowFormat { Text, Csv, Json };

struct WatchOptions {
    std::vector<int> addresses;
    long intervalMs = 100;
    long count = 0;   // 0: until Ctrl+C
    bool csv = false;
    bool onlyStopped = false;
    bool modulesGiven = false;
    std::string modules;   // --modules LIST
    std::string program;   // --program FILE.stw
};

// A whole number from min to max; a usage error otherwise.
long NumberArgument(const std::string& option, const std::string& text, long min, long max) {
    long v = 0;
    bool ok = !text.empty() && text.size() <= 9;
    for (char ch : text) ok = ok && ch >= '0' && ch <= '9';
    if (ok) v = std::stol(text);
    if (!ok || v < min || v > max) throw UsageError{Format("%s %s: give a whole number from %ld to %ld", option.c_str(), text.c_str(), min, max)};
    return v;
}

WatchOptions ParseWatchOptions(const Args& args) {
    WatchOptions o;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (a == "--interval" || a == "--count" || a == "--modules" || a == "--program")) {
            if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
            const std::string& value = args[++i];
            if (a == "--interval") {
                o.intervalMs = NumberArgument(a, value, 0, 3600000);
            } else if (a == "--count") {
                o.count = NumberArgument(a, value, 1, 999999999);
            } else if (a == "--modules") {
                o.modules = value;
                o.modulesGiven = true;
            } else {
                o.program = value;
            }
        } else if (!optionsEnded && a == "--csv") {
            o.csv = true;
        } else if (!optionsEnded && a == "--only-stopped") {
            o.onlyStopped = true;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            uint16_t v = 0;
            if (!ParseAddress(a, v) || v > kMaxModules)
                throw UsageError{"module address " + a + ": use 0 (the master) to 31"};
            o.addresses.push_back(v);
        }
    }
    if (o.addresses.empty()) throw UsageError{"missing module address"};
    if (o.modulesGiven && !o.program.empty()) throw UsageError{"--modules and --program exclude each other"};
    return o;
}

// "ZEL-SERVO", "ZEL-I/O", "ZEL-STEP" or "UNKNOWN".
std::string TypeName(int type) { return ModuleListLine(1, type).substr(3); }

}  // namespace

// Learns the module types.  While the program is stopped they are asked for
// (the type request of detection, without its Stop); while it may run they
// come only from the module list the user gave: on a master whose program
// collects its replies where the host reads them, a type reply asked for
// then may be the program's reply to a status request of its own.
int LearnModules(Context& c, Connection& conn, const std::vector<int>& given, bool listGiven,
                 const char* listOptions) {
    MainState& s = c.s;
    const int found = std::min<int>(s.status.moduleCount, kMaxModules);
    if (Sampler::ProgramMayRun(s)) {
        if (!listGiven) {
            c.ui.message(std::string("stepwright-cli: a program is running, and its own status requests could answer "
                                     "for the modules' types; name the modules with ") +
                         listOptions + ", or stop the program first");
            return kExitRefused;
        }
        const int n = std::min(found, int(given.size()));
        s.moduleTypes[0] = kTypeMaster;
        // The module list as a detection fills it, so that a module can be
        // selected for its status window.
        auto& items = s.form.ModuleListBox.items;
        items.assign(1, ModuleListLine(0, kTypeMaster));
        for (int a = 1; a <= n; ++a) {
            s.moduleTypes[a] = IsKnownSlave(given[size_t(a - 1)]) ? given[size_t(a - 1)] : kTypeUnknown;
            items.push_back(ModuleListLine(a, s.moduleTypes[a]));
        }
        s.moduleListCount = uint8_t(n);
        s.moduleListDefined = true;
        return kExitOk;
    }
    int damagedAt = 0;
    if (const int r = LookUpModules(s, &damagedAt); r != 0) {
        if (r != kDamagedReply) return conn.failure();
        // The link is on line, but the type of one module is not known: no
        // status is shown for a module taken for another kind.
        c.ui.message(Format("stepwright-cli: the type reply of module %d was damaged on the line; the modules' "
                            "types are not known",
                            damagedAt));
        return kExitNotResponding;
    }
    if (!listGiven) return kExitOk;
    for (int a = 1; a <= found && a <= int(given.size()); ++a) {
        const int listed = IsKnownSlave(given[size_t(a - 1)]) ? given[size_t(a - 1)] : kTypeUnknown;
        if (listed != s.moduleTypes[a]) {
            c.ui.message(Format("stepwright-cli: the module list does not match the modules found: module %d is %s, "
                                "the list says %s",
                                a, TypeName(s.moduleTypes[a]).c_str(), TypeName(listed).c_str()));
            return kExitRefused;
        }
    }
    s.moduleListCount = uint8_t(std::min(found, int(given.size())));
    return kExitOk;
}

int ModulesFromOptions(Context& c, bool modulesGiven, const std::string& modules, const std::string& program,
                       std::vector<int>& given) {
    if (modulesGiven) {
        std::string error;
        if (!ParseSimModules(modules, given, error)) throw UsageError{error};
    }
    if (!program.empty()) {
        if (!OpenProgram(c, program)) return kExitFile;
        for (int a = 1; a <= c.s.moduleListCount; ++a) given.push_back(c.s.moduleTypes[a]);
    }
    return kExitOk;
}

int CmdWatch(Context& c, const Args& args) {
    const WatchOptions o = ParseWatchOptions(args);
    if (o.csv && c.options.json) throw UsageError{"--csv and --json exclude each other"};
    const RowFormat format = o.csv ? RowFormat::Csv : c.options.json ? RowFormat::Json : RowFormat::Text;

    // The module list the user gave: types of addresses 1, 2, ...
    std::vector<int> given;
    if (int r = ModulesFromOptions(c, o.modulesGiven, o.modules, o.program, given); r != kExitOk) return r;

    // Watching must not disturb what it watches: no detection (its Stop would
    // halt a running program).
    Connection conn(c);
    if (int r = conn.open(); r != kExitOk) return r;
    if (int r = conn.probePoll(); r != kExitOk) return r;
    if (int r = LearnModules(c, conn, given, o.modulesGiven || !o.program.empty()); r != kExitOk) return r;
    for (int a : o.addresses) {
        SampleKind kind;
        if (a > c.s.moduleListCount) {
            c.ui.message(Format("stepwright-cli: no module at address %d (%d module(s) found)", a,
                                int(c.s.moduleListCount)));
            return kExitRefused;
        }
        if (!SampleKindOf(c.s.moduleTypes[a], kind)) {
            c.ui.message(Format("stepwright-cli: module %d is of an unknown type (%d) and has no status", a,
                                int(c.s.moduleTypes[a])));
            return kExitRefused;
        }
    }

    // Rows are printed as they come: the ring only bridges one row.
    Sampler sampler(1024);
    sampler.setWatched(o.addresses);
    sampler.setIntervalMs(int(o.intervalMs));
    sampler.setOnlyStopped(o.onlyStopped);
    // The columns: every module named, whether or not a row has its sample.
    TableModules table;
    for (int a : sampler.watched()) {
        SampleKind kind = SampleKind::Servo;
        SampleKindOf(c.s.moduleTypes[a], kind);
        table.emplace_back(a, kind);
    }
    InterruptGuard interrupts;
    long rows = 0;
    bool headerDone = false;
    bool waiting = false;
    sampler.start(Sampler::Clock::now());
    RunWatchLoop(
        c.s, sampler,
        [&] {
            if (sampler.waitingForStop() != waiting) {
                waiting = sampler.waitingForStop();
                if (waiting) c.ui.note("stepwright-cli: the program is running; the rows wait until it stops");
            }
            return Interrupted() || (o.count > 0 && rows >= o.count);
        },
        [&](const std::vector<ModuleSample>& row) {
            std::string line;
            switch (format) {
                case RowFormat::Text: line = TextRow(row); break;
                case RowFormat::Json: line = JsonRow(row); break;
                case RowFormat::Csv:
                    if (!headerDone) line = CsvHeader(table) + "\n";
                    headerDone = true;
                    line += CsvRow(row, table);
                    break;
            }
            WriteOut(line + "\n");
            std::fflush(stdout);
            ++rows;
        });
    // Samples left out are said, never silently missing.
    const unsigned long long dropped = sampler.badReplies();
    c.report.summary = Format("%ld row(s)", rows);
    if (dropped > 0) c.report.summary += Format(", %llu sample(s) dropped for a bad reply", dropped);
    if (format == RowFormat::Json) {
        WriteOut(Format("{\"summary\":{\"rows\":%ld,\"dropped\":%llu}}\n", rows, dropped));
        std::fflush(stdout);
    } else if (dropped > 0) {
        c.ui.note("stepwright-cli: " + c.report.summary);
    }
    if (sampler.stoppedByNoise()) {
        c.ui.message("stepwright-cli: the line did not come quiet after a bad reply");
        return kExitNotResponding;
    }
    if (!c.s.online) return conn.failure();
    return kExitOk;
}

}  // namespace cli
