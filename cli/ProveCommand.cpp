// stepwright-cli prove: a program explored along every path its inputs allow
// on the simulated master in virtual time, held against a machine
// description; the first violation with the inputs that lead to it, or what
// was explored and which bounds cut it.

#include <string>
#include <vector>

#include "cli/Cli.h"
#include "isa/Format.h"
#include "program/ProgramFile.h"
#include "program/SafeFile.h"
#include "prove/Explore.h"

namespace cli {

namespace {

struct ProveOptions {
    std::string program;
    std::string machine;
    std::string counterexample;
    std::string cycle;
    prove::Bounds bounds;
};

// "60s", "500ms", "2min" or a plain number of seconds; 1 ms to 24 h.
bool ParseSpan(const std::string& text, int64_t& ms) {
    size_t i = 0;
    int64_t v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i < 9) v = v * 10 + (text[i++] - '0');
    if (i == 0) return false;
    const std::string unit = text.substr(i);
    const int64_t scale = unit == "ms" ? 1 : (unit.empty() || unit == "s") ? 1000 : unit == "min" ? 60000 : 0;
    if (scale == 0) return false;
    ms = v * scale;
    return ms >= 1 && ms <= 24LL * 3600 * 1000;
}

ProveOptions ParseProveOptions(const Args& args) {
    ProveOptions o;
    bool optionsEnded = false;
    std::vector<std::string> files;
    auto value = [&](size_t& i, const std::string& name) -> const std::string& {
        if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{name + " needs a value"};
        return args[++i];
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a == "--machine") {
            o.machine = value(i, a);
        } else if (!optionsEnded && a == "--counterexample") {
            o.counterexample = value(i, a);
        } else if (!optionsEnded && a == "--cycle") {
            o.cycle = value(i, a);
        } else if (!optionsEnded && a == "--max-time") {
            if (!ParseSpan(value(i, a), o.bounds.maxTimeMs))
                throw UsageError{"--max-time: give a time such as 60s or 500ms (1 ms to 24 h)"};
        } else if (!optionsEnded && a == "--max-paths") {
            const std::string& n = value(i, a);
            int64_t v = 0;
            bool ok = n.size() <= 9;
            for (char ch : n) ok = ok && ch >= '0' && ch <= '9', v = v * 10 + (ch - '0');
            if (!ok || v < 1) throw UsageError{"--max-paths: give a number from 1 to 999999999"};
            o.bounds.maxPaths = v;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) throw UsageError{"missing program file"};
    if (files.size() > 1) throw UsageError{"prove takes one program file"};
    if (o.machine.empty()) throw UsageError{"missing --machine FILE"};
    o.program = files[0];
    return o;
}

std::string Secs(int64_t micros) { return Format("%.3f s", double(micros) / 1e6); }

// "line 12 (label L1)" of a program line.
std::string LineName(const prove::ProgramImage& p, uint16_t address) {
    const int i = p.lineAt(address);
    if (i < 0) return address + 0u == p.image.size() ? "the end of the program" : "address " + std::to_string(address);
    std::string out = "line " + std::to_string(p.shownLine[size_t(i)]);
    if (!p.lineLabel[size_t(i)].empty()) out += " (" + p.lineLabel[size_t(i)] + ")";
    return out;
}

int ShownLine(const prove::ProgramImage& p, uint16_t address) {
    const int i = p.lineAt(address);
    return i < 0 ? 0 : p.shownLine[size_t(i)];
}

std::string InputsText(const std::vector<prove::InputChange>& inputs, const machine::Machine& m) {
    if (inputs.empty()) return "none set";
    std::string out;
    for (const prove::InputChange& c : inputs)
        out += (out.empty() ? "" : "; ") + std::string(c.ms < 0 ? "before the run " : "at " + Secs(c.ms * 1000) + " ") +
               prove::DescribeInput(c, m);
    return out;
}

json::Value InputsJson(const std::vector<prove::InputChange>& inputs, const machine::Machine& m) {
    json::Value a = json::Value::array();
    for (const prove::InputChange& c : inputs) {
        json::Value v = json::Value::object();
        v["time_ms"] = c.ms < 0 ? json::Value() : json::Value(c.ms);
        if (c.module == 0) {
            v["key"] = std::string(1, char(c.key));
            a.push(std::move(v));
            continue;
        }
        v["module"] = c.module;
        std::string name = prove::DescribeInput(c, m);
        name.erase(name.rfind(' '));   // the level is a member of its own
        v["input"] = name;
        v["level"] = c.high ? "high" : "low";
        a.push(std::move(v));
    }
    return a;
}

json::Value TimingJson(const prove::Timing& t, const machine::Machine& m) {
    if (!t.any) return json::Value();
    json::Value v = json::Value::object();
    v["shortest_us"] = t.shortestMicros;
    v["longest_us"] = t.longestMicros;
    v["longest_inputs"] = InputsJson(t.longestInputs, m);
    return v;
}

}  // namespace

int CmdProve(Context& c, const Args& args) {
    const ProveOptions o = ParseProveOptions(args);
    if (c.options.portGiven || c.options.simulator)
        throw UsageError{"prove runs on a simulated master of its own: --port and --simulator are not used"};

    prove::ProgramImage program;
    std::string why = prove::ReadProgramImage(o.program, program);
    if (!why.empty()) {
        c.ui.message(o.program + ": " + why);
        return kExitFile;
    }
    machine::Machine m;
    std::vector<std::string> errors;
    if (!machine::LoadMachine(o.machine, m, errors)) {
        for (const std::string& e : errors) c.ui.message(e);
        return kExitFile;
    }
    const std::vector<std::string> mismatch = machine::MismatchWith(m, program.moduleTypes);
    if (!mismatch.empty()) {
        for (const std::string& e : mismatch) c.ui.message(o.machine + ": " + e);
        return kExitFile;
    }
    prove::Bounds bounds = o.bounds;
    if (!o.cycle.empty()) {
        bounds.cycle = true;
        bounds.cycleAddress = program.labelAddress(o.cycle);
        if (bounds.cycleAddress == 0xFFFF) throw UsageError{"--cycle: the program has no label " + o.cycle};
    }

    const prove::ProveResult r = prove::Explore(program, m, bounds);

    json::Value& f = c.report.facts;
    f["program"] = o.program;
    f["machine"] = o.machine;
    json::Value& explored = f["explored"] = json::Value::object();
    explored["paths"] = r.paths;
    explored["decisions"] = r.decisions;
    explored["merged"] = r.merged;
    explored["ended"] = r.ended;
    explored["ended_on_error"] = r.endedOnError;
    explored["simulated_ms"] = r.simulatedMs;
    explored["lines_covered"] = r.coveredLines;
    explored["instruction_lines"] = r.instructionLines;
    json::Value& notRun = explored["lines_not_run"] = json::Value::array();
    std::string notRunText;
    int notRunCount = 0;
    for (size_t i = 0; i < r.covered.size(); ++i)
        if (program.lineAddress[i] != 0xFFFF && !r.covered[i]) {
            notRun.push(program.shownLine[i]);
            if (++notRunCount <= 20)
                notRunText += (notRunText.empty() ? "" : ", ") + std::to_string(program.shownLine[i]);
        }
    if (notRunCount > 20) notRunText += ", ...";
    json::Value& b = f["bounds"] = json::Value::object();
    b["max_time_ms"] = bounds.maxTimeMs;
    b["max_paths"] = bounds.maxPaths;
    b["paths_cut_by_max_time"] = r.cutByTime;
    b["outcomes_cut_by_max_paths"] = r.cutByPaths;

    if (r.violated) {
        const prove::Violation& v = r.violation;
        const int64_t ms = prove::ReportedMs(v.micros);
        json::Value& jv = f["violation"] = json::Value::object();
        jv["rule"] = v.rule;
        jv["line"] = ShownLine(program, v.address);
        if (v.standing != v.address) jv["standing_line"] = ShownLine(program, v.standing);
        jv["time_ms"] = ms;
        jv["module"] = v.module;
        if (v.rule == "travel" || v.rule == "velocity-limit" || v.rule == "acceleration-limit") jv["value"] = v.value;
        jv["message"] = v.message;
        jv["inputs"] = InputsJson(r.inputs, m);
        f["result"] = "violation";
        Print(c, Format("%s:%d: violation [%s] at %s: ", o.program.c_str(), ShownLine(program, v.address),
                        v.rule.c_str(), Secs(ms * 1000).c_str()) +
                     VisibleText(v.message) + "\n");
        Print(c, "  caused by " + LineName(program, v.address) +
                     (v.standing != v.address ? "; the program stood at " + LineName(program, v.standing) : "") + "\n");
        Print(c, "  inputs: " + InputsText(r.inputs, m) + "\n");
        if (!o.counterexample.empty()) {
            std::string name = o.counterexample;
            const size_t slash = name.rfind('/');
            if (slash != std::string::npos) name = name.substr(slash + 1);
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".yaml") == 0) name.resize(name.size() - 5);
            const std::string yaml = prove::CounterexampleScenario(r, name, FullPath(o.program), FullPath(o.machine));
            const std::string failed = WriteFileData(o.counterexample, yaml);
            if (!failed.empty()) {
                c.ui.message(o.counterexample + ": " + failed);
                return kExitFile;
            }
            f["counterexample"] = o.counterexample;
            Print(c, "  counterexample: " + o.counterexample + "\n");
        }
    } else {
        f["result"] = "no violation within bounds";
        Print(c, o.program + ": no violation within bounds\n");
    }
    Print(c, Format("  explored: %lld paths, %lld decisions, %lld merged into states met before, %lld ended, %s "
                    "simulated\n",
                    (long long)r.paths, (long long)r.decisions, (long long)r.merged, (long long)r.ended,
                    Secs(r.simulatedMs * 1000).c_str()));
    Print(c, Format("  lines covered: %d of %d", r.coveredLines, r.instructionLines) +
                 (notRunText.empty() ? std::string() : " (not run: " + notRunText + ")") + "\n");
    if (!r.violated) {
        std::string cut;
        if (r.cutByTime)
            cut += Format("--max-time %s cut %lld path(s) still running", Secs(bounds.maxTimeMs * 1000).c_str(),
                          (long long)r.cutByTime);
        if (r.cutByPaths)
            cut += (cut.empty() ? "" : "; ") + Format("--max-paths %lld left %lld outcome(s) unexplored",
                                                        (long long)bounds.maxPaths, (long long)r.cutByPaths);
        Print(c, "  bounds: " +
                     (cut.empty() ? std::string("none cut the exploration: every path ran to its end or to a state "
                                                "met before")
                                  : cut + ": not every path was explored") +
                     "\n");
        if (r.endedOnError)
            Print(c, Format("  %lld path(s) stopped on an error of the master\n", (long long)r.endedOnError));
    }
    f["cycle"] = TimingJson(r.cycle, m);
    if (r.cycle.any)
        Print(c, "  cycle (Run to StopProgram or the end): shortest " + Secs(r.cycle.shortestMicros) + ", longest " +
                     Secs(r.cycle.longestMicros) + " with inputs: " + InputsText(r.cycle.longestInputs, m) + "\n");
    if (bounds.cycle) {
        f["pass"] = TimingJson(r.pass, m);
        f["pass_label"] = o.cycle;
        if (r.pass.any)
            Print(c, "  one pass from " + o.cycle + " back to it: shortest " + Secs(r.pass.shortestMicros) +
                         ", longest " + Secs(r.pass.longestMicros) + " with inputs: " +
                         InputsText(r.pass.longestInputs, m) + "\n");
        else
            Print(c, "  one pass from " + o.cycle + " back to it: no path came back to " + o.cycle + "\n");
    }
    return r.violated ? kExitViolation : kExitOk;
}

}  // namespace cli
