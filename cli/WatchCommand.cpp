// stepwright-cli watch: the modules' state row by row, from the sampler
// behind the Watch window.

#include <cstdio>

#include "app/MainState.h"
#include "cli/Cli.h"
#include "modules/Sampler.h"

namespace cli {

namespace {

enum class RowFormat { Text, Csv, Json };

struct WatchOptions {
    std::vector<int> addresses;
    long intervalMs = 100;
    long count = 0;   // 0: until Ctrl+C
    bool csv = false;
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
        } else if (!optionsEnded && (a == "--interval" || a == "--count")) {
            if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
            if (a == "--interval")
                o.intervalMs = NumberArgument(a, args[++i], 0, 3600000);
            else
                o.count = NumberArgument(a, args[++i], 1, 999999999);
        } else if (!optionsEnded && a == "--csv") {
            o.csv = true;
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
    return o;
}

}  // namespace

int CmdWatch(Context& c, const Args& args) {
    const WatchOptions o = ParseWatchOptions(args);
    if (o.csv && c.options.json) throw UsageError{"--csv and --json exclude each other"};
    const RowFormat format = o.csv ? RowFormat::Csv : c.options.json ? RowFormat::Json : RowFormat::Text;

    // Watching must not disturb what it watches: no detection (its Stop would
    // halt a running program).
    Connection conn(c);
    if (int r = conn.open(); r != kExitOk) return r;
    if (int r = conn.lookUp(); r != kExitOk) return r;
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
    InterruptGuard interrupts;
    long rows = 0;
    bool headerDone = false;
    sampler.start(Sampler::Clock::now());
    RunWatchLoop(
        c.s, sampler, [&] { return Interrupted() || (o.count > 0 && rows >= o.count); },
        [&](const std::vector<ModuleSample>& row) {
            std::string line;
            switch (format) {
                case RowFormat::Text: line = TextRow(row); break;
                case RowFormat::Json: line = JsonRow(row); break;
                case RowFormat::Csv:
                    if (!headerDone) line = CsvHeader(ModulesOfRow(row)) + "\n";
                    headerDone = true;
                    line += CsvRow(row, ModulesOfRow(row));
                    break;
            }
            WriteOut(line + "\n");
            std::fflush(stdout);
            ++rows;
        });
    c.report.summary = Format("%ld row(s)", rows);
    if (!c.s.online) return conn.failure();
    return kExitOk;
}

}  // namespace cli
