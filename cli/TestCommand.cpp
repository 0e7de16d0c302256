// stepwright-cli test: scenarios run on the simulated master in virtual time,
// one line per scenario, a JUnit report and the trace of each run.

#include <fnmatch.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>

#include "app/MainState.h"
#include "cli/Cli.h"
#include "program/SafeFile.h"
#include "scenario/Scenario.h"

namespace cli {

namespace {

// A trace is held in memory until its run ends, then written as every file
// is; a longer one (about an hour of simulated time) is not written.
constexpr size_t kMaxTraceBytes = size_t(256) << 20;
// The part of a scenario's name a trace file name takes, at most.
constexpr size_t kTraceNameBytes = 64;

struct TestOptions {
    std::vector<std::string> files;
    std::vector<std::string> descriptions;   // NAME.machine.yaml given among them: left out
    std::vector<std::string> filters;
    std::string junit;
    std::string trace;
    bool list = false;
};

// A machine description lies beside its program as NAME.machine.yaml, so a
// folder's *.yaml holds them among the scenarios: they are left out.
bool IsMachineDescription(const std::string& file) {
    static const std::string kEnd = ".machine.yaml";
    return file.size() > kEnd.size() && file.compare(file.size() - kEnd.size(), kEnd.size(), kEnd) == 0;
}

TestOptions ParseTestOptions(const Args& args) {
    TestOptions o;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (a == "--junit" || a == "--trace")) {
            if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{a + " needs a file"};
            (a == "--junit" ? o.junit : o.trace) = args[++i];
        } else if (!optionsEnded && a == "--filter") {
            if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{"--filter needs a pattern"};
            o.filters.push_back(args[++i]);
        } else if (!optionsEnded && a == "--list") {
            o.list = true;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else if (IsMachineDescription(a)) {
            o.descriptions.push_back(a);
        } else {
            o.files.push_back(a);
        }
    }
    if (o.files.empty())
        throw UsageError{o.descriptions.empty() ? "missing scenario file"
                                                : "missing scenario file (machine descriptions are not scenarios)"};
    if (o.list && (!o.junit.empty() || !o.trace.empty()))
        throw UsageError{"--list runs nothing: --junit and --trace are not used"};
    return o;
}

// A pattern with *, ? or [ ] matches a whole name or file as the shell
// matches names ('*' also across '/'); any other matches a part of it.
bool Matches(const std::string& pattern, const std::string& text) {
    if (pattern.find_first_of("*?[") == std::string::npos) return text.find(pattern) != std::string::npos;
    return ::fnmatch(pattern.c_str(), text.c_str(), 0) == 0;
}

// A scenario's name as a part of a file name: letters, digits, '-', '_' and
// '.' are kept, every other run of bytes (a '/', a blank, a character beyond
// ASCII) becomes one '_'; cut to kTraceNameBytes.
std::string FileNamePart(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || c == '.';
        if (kept) out += char(c);
        else if (out.empty() || out.back() != '_') out += '_';
        if (out.size() >= kTraceNameBytes) break;
    }
    return out;
}

// The trace file of one scenario among several: the name before the extension
// ("trace.csv" and "door" give "trace-door.csv").
std::string TracePath(const std::string& path, const std::string& name) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + "-" + name;
    return path.substr(0, dot) + "-" + name + path.substr(dot);
}

std::string LocalTimestamp() {
    const time_t now = ::time(nullptr);
    struct tm t {};
    char text[32] = "1970-01-01T00:00:00";
    if (::localtime_r(&now, &t)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &t);
    return text;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
    return name;
}

struct Selected {
    scenario::Scenario scenario;
    std::vector<std::string> errors;   // refused when not empty
    std::string trace;                 // its trace file, "" for none
};

// Writes bytes to path as every file is written (program/SafeFile.h): "" or
// the message.
std::string WriteReport(const std::string& path, const std::string& bytes) {
    const std::string failure = WriteFileData(path, bytes);
    return failure.empty() ? std::string() : "stepwright-cli: " + path + ": " + failure;
}

}  // namespace

int CmdTest(Context& c, const Args& args) {
    const TestOptions o = ParseTestOptions(args);
    if (c.options.portGiven) throw UsageError{"test runs on a simulated master of its own: --port is not used"};
    if (c.options.simModulesGiven || c.options.simPaceGiven)
        throw UsageError{"test takes the modules from each scenario: --sim-modules and --sim-pace are not used"};
    const std::string timestamp = LocalTimestamp();
    for (const std::string& d : o.descriptions)
        c.ui.note("stepwright-cli: " + d + ": a machine description, not a scenario: left out");

    // Every scenario is read and checked before any runs; the filter picks by
    // name or file among them.
    std::vector<Selected> selected;
    std::vector<std::string> inputs;   // every file read: scenarios and programs
    for (const std::string& file : o.files) {
        Selected s;
        scenario::LoadScenario(file, s.scenario, s.errors);
        inputs.push_back(file);
        if (!s.scenario.program.empty()) inputs.push_back(s.scenario.program);
        bool wanted = o.filters.empty();
        for (const std::string& f : o.filters)
            wanted = wanted || Matches(f, file) || Matches(f, s.scenario.name);
        if (wanted) selected.push_back(std::move(s));
    }
    if (selected.empty()) throw UsageError{"--filter matches no scenario"};
    int refused = 0;
    for (const Selected& s : selected) refused += !s.errors.empty();

    if (o.list) {
        for (const Selected& s : selected) {
            if (!s.errors.empty()) {
                for (const std::string& e : s.errors) c.ui.message(e);
                continue;
            }
            Print(c, s.scenario.file + ": " + s.scenario.name + " (" + std::to_string(s.scenario.steps.size()) +
                         " steps)\n");
        }
        return refused ? kExitFile : kExitOk;
    }

    // The trace files: one per scenario, told apart by its name.
    if (!o.trace.empty()) {
        std::set<std::string> names;
        for (Selected& s : selected) {
            if (selected.size() == 1) {
                s.trace = o.trace;
                break;
            }
            std::string base = FileNamePart(s.scenario.name);
            if (base.empty()) base = "scenario";
            std::string name = base;
            for (int k = 2; !names.insert(name).second; ++k) name = base + "-" + std::to_string(k);
            s.trace = TracePath(o.trace, name);
        }
    }
    // No report replaces a file the run reads, nor another report.
    std::vector<std::string> outputs;
    if (!o.junit.empty()) outputs.push_back(o.junit);
    for (const Selected& s : selected)
        if (!s.trace.empty()) outputs.push_back(s.trace);
    for (size_t i = 0; i < outputs.size(); ++i) {
        for (const std::string& in : inputs) {
            if (!SameFile(outputs[i], in)) continue;
            c.ui.message("stepwright-cli: " + outputs[i] + " is " +
                         (outputs[i] == in ? std::string("a file the run reads") : "the file " + in + ", which the run reads") +
                         "; it is not overwritten");
            return kExitFile;
        }
        for (size_t k = 0; k < i; ++k)
            if (outputs[k] == outputs[i] || SameFile(outputs[k], outputs[i]))
                throw UsageError{outputs[i] + " is given for two reports"};
    }

    std::vector<scenario::ReportEntry> report;
    std::vector<std::string> fileErrors;
    int failed = 0;
    if (refused) {
        // Nothing runs; the report says which scenario was refused and why.
        int lines = 0;
        for (const Selected& s : selected) {
            scenario::ReportEntry e;
            e.file = s.scenario.file;
            e.name = s.scenario.name;
            e.outcome = s.errors.empty() ? scenario::Outcome::NotRun : scenario::Outcome::Refused;
            e.errors = s.errors;
            report.push_back(std::move(e));
            for (const std::string& line : s.errors) c.ui.message(line);
            lines += int(s.errors.size());
        }
        // The counts the report gives: errors for the refused, skipped for the others.
        c.ui.message(Format("stepwright-cli: %d error(s) in %d of %d scenario(s): no scenario was run", lines, refused,
                            int(selected.size())));
    } else {
        for (const Selected& s : selected) {
            const scenario::Scenario& sc = s.scenario;
            std::string trace;
            bool traceCut = false;
            if (!s.trace.empty()) trace = scenario::TraceCsvHeader(sc);
            const auto start = std::chrono::steady_clock::now();
            scenario::Result r = s.trace.empty() ? scenario::RunScenario(sc)
                                                 : scenario::RunScenario(sc, [&](const scenario::TraceRow& row) {
                                                       if (traceCut) return;
                                                       trace += scenario::TraceCsvRow(row);
                                                       traceCut = trace.size() > kMaxTraceBytes;
                                                   });
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            scenario::ReportEntry e;
            if (r.passed) {
                Print(c, Format("PASS %s (%d steps, %s simulated)\n", sc.file.c_str(), r.stepsRun,
                                scenario::Seconds(r.simulatedMs).c_str()));
            } else {
                ++failed;
                Print(c, Format("FAIL %s:%d: ", sc.file.c_str(), r.line) + VisibleText(r.message) + "\n");
                if (r.failedStep >= 0) e.failedKey = sc.steps[size_t(r.failedStep)].key;
            }
            if (!s.trace.empty()) {
                std::string why;
                if (traceCut)
                    why = Format("stepwright-cli: %s: the trace passes %d MiB; it is not written", s.trace.c_str(),
                                 int(kMaxTraceBytes >> 20));
                else
                    why = WriteReport(s.trace, trace);
                if (why.empty()) {
                    Print(c, "  trace " + s.trace + "\n");
                    e.trace = s.trace;
                } else {
                    fileErrors.push_back(why);
                }
            }
            e.file = sc.file;
            e.name = sc.name;
            e.outcome = r.passed ? scenario::Outcome::Passed : scenario::Outcome::Failed;
            e.result = std::move(r);
            e.wallSeconds = wall;
            report.push_back(std::move(e));
        }
        Print(c, Format("%d scenario(s): %d passed, %d failed\n", int(selected.size()), int(selected.size()) - failed,
                        failed));
    }

    if (!o.junit.empty()) {
        const std::string why = WriteReport(o.junit, scenario::JunitXml(report, {timestamp, HostName()}));
        if (!why.empty()) fileErrors.push_back(why);
    }
    for (const std::string& why : fileErrors) c.ui.message(why);
    if (refused) return kExitFile;
    if (failed) return kExitScenarioFailed;
    return fileErrors.empty() ? kExitOk : kExitFile;
}

}  // namespace cli
