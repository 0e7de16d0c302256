// What a run leaves behind: its trace as CSV, and a JUnit XML report.

#include <cstdio>

#include "scenario/Scenario.h"
#include "scenario/Xml.h"
#include "sim/Modules.h"

namespace scenario {

namespace {

// A CSV field, quoted when it holds a comma, a quote or a blank at either end.
std::string CsvField(const std::string& text) {
    bool quote = text.find_first_of(",\"") != std::string::npos ||
                 (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// What a program printed, as the report quotes it: the last kPrintedKept
// bytes of a longer text.
constexpr size_t kPrintedKept = size_t(64) << 10;

std::string WallSeconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

}  // namespace

std::string TraceCsvHeader(const Scenario& sc) {
    std::string positions, inputs, outputs;
    for (size_t i = 0; i < sc.moduleTypes.size(); ++i) {
        const std::string a = std::to_string(i + 1);
        switch (sc.moduleTypes[i]) {
            case sim::kServoType: positions += ",position_" + a; break;
            case sim::kStepperType:
                positions += ",position_" + a;
                inputs += ",inputs_" + a;
                break;
            case sim::kIoType:
                inputs += ",inputs_" + a;
                outputs += ",outputs_" + a;
                break;
            default: break;
        }
    }
    return "time_ms,address,running,status_a,printed" + positions + inputs + outputs + "\n";
}

std::string TraceCsvRow(const TraceRow& row) {
    std::string line = std::to_string(row.ms) + "," + std::to_string(row.address) + "," + (row.running ? "1" : "0") +
                       "," + Hex(row.statusA, 2) + "," + CsvField(Visible(row.printed));
    for (int32_t p : row.positions) line += "," + std::to_string(p);
    // Bits in hexadecimal: a stepper's input byte, an I/O module's twelve pins.
    for (uint16_t v : row.inputs) line += "," + Hex(v, 3);
    for (uint16_t v : row.outputs) line += "," + Hex(v, 3);
    return line + "\n";
}

std::string JunitXml(const std::vector<ReportEntry>& entries, const ReportHeader& header) {
    int failures = 0, errors = 0, skipped = 0;
    double total = 0;
    for (const ReportEntry& e : entries) {
        failures += e.outcome == Outcome::Failed;
        errors += e.outcome == Outcome::Refused;
        skipped += e.outcome == Outcome::NotRun;
        total += e.wallSeconds;
    }
    XmlWriter x;
    x.open("testsuites");
    x.open("testsuite", {{"name", "stepwright scenarios"},
                         {"package", "stepwright"},
                         {"id", "0"},
                         {"timestamp", header.timestamp},
                         {"hostname", header.hostname.empty() ? "localhost" : header.hostname},
                         {"tests", std::to_string(entries.size())},
                         {"failures", std::to_string(failures)},
                         {"errors", std::to_string(errors)},
                         {"skipped", std::to_string(skipped)},
                         {"time", WallSeconds(total)}});
    // Which trace file holds which scenario's run.
    x.open("properties");
    for (const ReportEntry& e : entries)
        if (!e.trace.empty()) x.element("property", {{"name", "trace " + e.file}, {"value", e.trace}});
    x.close();
    for (const ReportEntry& e : entries) {
        const XmlWriter::Attributes attributes{
            {"name", e.name}, {"classname", e.file}, {"time", WallSeconds(e.wallSeconds)}};
        // The messages are those the console prints: "FILE:LINE: " and what went wrong.
        switch (e.outcome) {
            case Outcome::Passed: x.element("testcase", attributes); break;
            case Outcome::Failed: {
                const std::string message = Latin1ToUtf8(e.result.message);
                x.open("testcase", attributes);
                x.element("failure",
                          {{"message", message}, {"type", e.failedKey.empty() ? "download" : e.failedKey}},
                          e.file + ":" + std::to_string(e.result.line) + ": " + message);
                x.close();
                break;
            }
            case Outcome::Refused: {
                std::string all;
                for (const std::string& line : e.errors) all += (all.empty() ? "" : "\n") + line;
                x.open("testcase", attributes);
                x.element("error", {{"message", e.errors.empty() ? "refused" : e.errors.front()}, {"type", "refused"}},
                          all);
                x.close();
                break;
            }
            case Outcome::NotRun:
                x.open("testcase", attributes);
                x.element("skipped", {{"message", "not run: a scenario was refused"}});
                x.close();
                break;
        }
    }
    // What each program printed, under its scenario's file.
    std::string out;
    for (const ReportEntry& e : entries) {
        if (e.outcome != Outcome::Passed && e.outcome != Outcome::Failed) continue;
        const std::string& printed = e.result.printed;
        out += e.file + ": simulated " + Seconds(e.result.simulatedMs) + ", printed " +
               std::to_string(printed.size()) + " byte(s)";
        if (printed.size() > kPrintedKept)
            out += Latin1ToUtf8(", the last " + std::to_string(kPrintedKept) + ":\n" +
                                printed.substr(printed.size() - kPrintedKept));
        else if (!printed.empty())
            out += ":\n" + Latin1ToUtf8(printed);
        out += "\n";
    }
    x.element("system-out", {}, out);
    x.element("system-err", {});
    x.close();
    x.close();
    return x.document();
}

}  // namespace scenario
