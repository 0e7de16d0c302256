// What a run leaves behind: its trace as CSV, and a JUnit XML report.

#include <cstdio>

#include "scenario/Scenario.h"
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

// Latin-1 bytes as UTF-8 XML character data: markup characters escaped, and
// control characters (which XML 1.0 cannot carry) written as \xHH.
std::string XmlText(const std::string& latin1) {
    std::string out;
    for (char ch : latin1) {
        const uint8_t c = uint8_t(ch);
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            case '\t': out += "&#9;"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else if (c >= 0x80) {
                    out += char(0xC0 | (c >> 6));
                    out += char(0x80 | (c & 0x3F));
                } else {
                    out += ch;
                }
        }
    }
    return out;
}

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

std::string JunitXml(const std::vector<ReportEntry>& entries) {
    int failures = 0;
    double total = 0;
    for (const ReportEntry& e : entries) {
        failures += e.result.passed ? 0 : 1;
        total += e.wallSeconds;
    }
    const std::string counts = "tests=\"" + std::to_string(entries.size()) + "\" failures=\"" +
                               std::to_string(failures) + "\" errors=\"0\" time=\"" + WallSeconds(total) + "\"";
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    x += "<testsuites " + counts + ">\n";
    x += "  <testsuite name=\"stepwright scenarios\" " + counts + ">\n";
    for (const ReportEntry& e : entries) {
        const Scenario& sc = *e.scenario;
        x += "    <testcase classname=\"" + XmlText(sc.file) + "\" name=\"" + XmlText(sc.name) + "\" file=\"" +
             XmlText(sc.file) + "\" time=\"" + WallSeconds(e.wallSeconds) + "\">\n";
        if (!e.result.passed) {
            const std::string where = sc.file + ":" + std::to_string(e.result.line);
            x += "      <failure message=\"" + XmlText(e.result.message) + "\" type=\"" +
                 XmlText(e.result.failedStep >= 0 ? sc.steps[size_t(e.result.failedStep)].key : "download") + "\">" +
                 XmlText(where + ": " + e.result.message) + "</failure>\n";
        }
        x += "      <system-out>" + XmlText("simulated " + Seconds(e.result.simulatedMs) + "; printed: ") +
             XmlText(e.result.printed) + "</system-out>\n";
        x += "    </testcase>\n";
    }
    x += "  </testsuite>\n</testsuites>\n";
    return x;
}

}  // namespace scenario
