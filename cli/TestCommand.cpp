// stepwright-cli test: scenarios run on the simulated master in virtual time,
// one line per scenario, a JUnit report and the trace of each run.

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "app/MainState.h"
#include "cli/Cli.h"
#include "scenario/Scenario.h"

namespace cli {

namespace {

struct TestOptions {
    std::vector<std::string> files;
    std::string junit;
    std::string trace;
};

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
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            o.files.push_back(a);
        }
    }
    if (o.files.empty()) throw UsageError{"missing scenario file"};
    return o;
}

// The trace file of one scenario among several: NAME before the extension
// ("trace.csv" and "door" give "trace-door.csv").
std::string TracePath(const std::string& path, const std::string& name) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + "-" + name;
    return path.substr(0, dot) + "-" + name + path.substr(dot);
}

// A file written as it goes; the first failure is kept.
class OutFile {
public:
    explicit OutFile(const std::string& path) : path_(path), f_(std::fopen(path.c_str(), "wb")) {
        if (!f_) error_ = errno;
    }
    ~OutFile() { close(); }
    void write(const std::string& bytes) {
        if (f_ && !error_ && std::fwrite(bytes.data(), 1, bytes.size(), f_) != bytes.size()) error_ = errno ? errno : EIO;
    }
    // "" when every byte was written, else why not.
    std::string close() {
        if (f_) {
            if (std::fclose(f_) != 0 && !error_) error_ = errno ? errno : EIO;
            f_ = nullptr;
        }
        return error_ ? path_ + ": " + std::strerror(error_) : std::string();
    }

private:
    std::string path_;
    std::FILE* f_;
    int error_ = 0;
};

}  // namespace

int CmdTest(Context& c, const Args& args) {
    const TestOptions o = ParseTestOptions(args);
    if (c.options.portGiven) throw UsageError{"test runs on a simulated master of its own: --port is not used"};
    if (c.options.simModulesGiven || c.options.simPaceGiven)
        throw UsageError{"test takes the modules from each scenario: --sim-modules and --sim-pace are not used"};

    // Every scenario is read and checked before any runs.
    std::vector<scenario::Scenario> scenarios(o.files.size());
    std::vector<std::string> errors;
    for (size_t i = 0; i < o.files.size(); ++i) scenario::LoadScenario(o.files[i], scenarios[i], errors);
    if (!errors.empty()) {
        for (const std::string& e : errors) c.ui.message(e);
        c.ui.message(Format("stepwright-cli: %d error(s): no scenario was run", int(errors.size())));
        return kExitFile;
    }

    std::set<std::string> traceNames;
    std::vector<scenario::ReportEntry> report;
    std::string fileError;
    int failed = 0;
    for (const scenario::Scenario& sc : scenarios) {
        std::unique_ptr<OutFile> trace;
        if (!o.trace.empty()) {
            std::string name = sc.name;
            for (int k = 2; !traceNames.insert(name).second; ++k) name = sc.name + "-" + std::to_string(k);
            trace = std::make_unique<OutFile>(scenarios.size() == 1 ? o.trace : TracePath(o.trace, name));
            trace->write(scenario::TraceCsvHeader(sc));
        }
        const auto start = std::chrono::steady_clock::now();
        scenario::Result r = trace ? scenario::RunScenario(sc, [&](const scenario::TraceRow& row) {
            trace->write(scenario::TraceCsvRow(row));
        })
                                   : scenario::RunScenario(sc);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (trace) {
            const std::string why = trace->close();
            if (!why.empty() && fileError.empty()) fileError = why;
        }
        if (r.passed) {
            Print(c, Format("PASS %s (%d steps, %s simulated)\n", sc.file.c_str(), r.stepsRun,
                            scenario::Seconds(r.simulatedMs).c_str()));
        } else {
            ++failed;
            Print(c, Format("FAIL %s:%d: ", sc.file.c_str(), r.line) + VisibleText(r.message) + "\n");
        }
        report.push_back({&sc, std::move(r), wall});
    }
    Print(c, Format("%d scenario(s): %d passed, %d failed\n", int(scenarios.size()), int(scenarios.size()) - failed,
                    failed));

    if (!o.junit.empty()) {
        OutFile junit(o.junit);
        junit.write(scenario::JunitXml(report));
        const std::string why = junit.close();
        if (!why.empty() && fileError.empty()) fileError = why;
    }
    if (!fileError.empty()) c.ui.message("stepwright-cli: " + fileError);
    if (failed) return kExitScenarioFailed;
    return fileError.empty() ? kExitOk : kExitFile;
}

}  // namespace cli
