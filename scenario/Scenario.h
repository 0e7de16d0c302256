#pragma once
// Scenarios: a machine program tested like code.  A scenario file (YAML)
// names a program, the modules it runs with, a time limit and the steps a
// person would take at the machine, each with what must be seen.  It runs on
// the simulated master in virtual time (sim/VirtualMaster.h): as fast as the
// computer can compute it, and the same run on every machine.
//
// Errors: LoadScenario refuses a malformed file (an unknown key, a bad value,
// a label the program lacks) before anything runs, with one line per error
// naming the file, the line and the key; RunScenario reports the first step
// that failed with its line, the simulated time and what was seen.  Nothing
// throws.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace machine {
struct Machine;
}

namespace scenario {

enum class StepKind {
    Run,            // run: LABEL (empty: the start)
    Continue,       // continue: from where the program stands
    Stop,           // stop:
    Step,           // step: [LABEL]
    Reset,          // reset:
    Break,          // break: LABEL (empty: no breakpoint)
    Wait,           // wait: 500ms
    Key,            // key: "a"
    SetInput,       // set-input: {module, bit | input, level}
    ExpectPrint,    // expect-print: {text, within}
    ExpectOutput,   // expect-output: {module, bit, level, within}
    ExpectPosition, // expect-position: {module, value, tolerance, within}
    ExpectStatus,   // expect-status: {module, bit, level, within}
    ExpectStopped,  // expect-stopped: {reason, within}
    ExpectLine,     // expect-line: LABEL
    ExpectCounter,  // expect-counter: {counter, value, within}
};

// Why the program stopped, as expect-stopped names it.
enum class StopKind { Any, StopProgram, Breakpoint, Error, Host, End, Step };

// Where a bit of expect-status lies.
enum class StatusByte { Status, Inputs };

struct Step {
    StepKind kind = StepKind::Stop;
    std::string key;          // as written: "expect-print"
    int line = 0;             // 1-based line of the step in the scenario file
    std::string label;        // run, step, break, expect-line ("" = none)
    uint16_t address = 0;     // the label's image address
    std::string text;         // expect-print (Latin-1 bytes); key: its byte
    std::string bitName;      // set-input, expect-status: the bit as written
    int module = 0;
    uint16_t mask = 0;        // set-input, expect-output, expect-status
    StatusByte statusByte = StatusByte::Status;
    bool level = true;        // high
    int64_t value = 0;        // expect-position, expect-counter
    int64_t tolerance = 0;
    int counter = 0;          // 1 to 4
    StopKind reason = StopKind::Any;
    int64_t ms = 0;           // wait: how long; expect-*: within
};

// A label of the program and its image address.
struct Label {
    std::string name;
    uint16_t address;
};

// A program line's image address and where it stands in the listing.
struct LineAt {
    uint16_t address;
    int listingLine;          // 1-based
    std::string label;
    int fileLine = 0;         // 1-based, in the program file; 0 when not known
};

struct Scenario {
    std::string file;         // the scenario file as given
    std::string name;         // name: (UTF-8), else (or when empty) the file's name without .yaml
    std::string program;      // the program file, relative to the scenario's folder
    std::vector<int> moduleTypes;   // addresses 1, 2, ... (0 servo, 2 I/O, 3 stepper)
    int64_t timeLimitMs = 60000;
    std::vector<Step> steps;
    std::vector<uint8_t> image;     // the assembled program image
    std::vector<Label> labels;
    std::vector<LineAt> lines;      // instruction lines in address order
    // machine: a description checked throughout the run; a violation fails
    // the scenario with its rule, line and time.
    std::string machineFile;
    std::shared_ptr<const machine::Machine> machine;
};

// The most bytes a scenario file may hold; a larger one is refused unread.
constexpr size_t kMaxScenarioBytes = size_t(1) << 20;

// Reads, checks and assembles a scenario and its program.  False with one
// line per error ("FILE:LINE: KEY: what is wrong") in errors; nothing has run.
bool LoadScenario(const std::string& path, Scenario& out, std::vector<std::string>& errors);

// One millisecond of a run, as the trace records it.
struct TraceRow {
    int64_t ms = 0;
    uint16_t address = 0;
    bool running = false;
    uint8_t statusA = 0;
    std::string printed;              // received from the master in this millisecond
    std::vector<int32_t> positions;   // one per servo and stepper, in address order
    std::vector<uint16_t> inputs;     // one per stepper (input byte) and I/O module (pin levels)
    std::vector<uint16_t> outputs;    // one per I/O module (the outputs driving high)
    bool operator==(const TraceRow&) const = default;
};

struct Result {
    bool passed = false;
    int failedStep = -1;      // index into steps
    int line = 0;             // the failed step's line
    std::string message;      // "expect-print at 1.250 s: ..."
    int64_t simulatedMs = 0;  // simulated time at the end
    int stepsRun = 0;
    std::string printed;      // everything the program printed
};

// Runs the scenario from power-up; rows (when given) receives one row per
// simulated millisecond, time 0 included.
Result RunScenario(const Scenario& scenario, const std::function<void(const TraceRow&)>& rows = {});

// The trace as CSV: a header naming the columns (positions, inputs and
// outputs by module address), then the rows.
std::string TraceCsvHeader(const Scenario& scenario);
std::string TraceCsvRow(const TraceRow& row);

// One scenario of a run, for the JUnit report.
enum class Outcome {
    Passed,
    Failed,
    Refused,   // the file or its program was refused (errors holds why)
    NotRun,    // left out because another scenario was refused
};
struct ReportEntry {
    std::string file;                 // the scenario file as given (file-system bytes)
    std::string name;                 // its name (UTF-8)
    Outcome outcome = Outcome::NotRun;
    Result result;                    // Passed and Failed
    std::string failedKey;            // Failed: the key of the step that failed ("" before the first)
    std::vector<std::string> errors;  // Refused: the lines printed, "FILE:LINE: ..."
    std::string trace;                // the trace file written for it, "" for none
    double wallSeconds = 0;
};
// Where and when the report was made, as its readers want them.
struct ReportHeader {
    std::string timestamp;            // local time, 2024-05-01T13:45:00
    std::string hostname;
};
// A JUnit XML document of the run, in the form Apache Ant writes and
// continuous-integration servers read (tests/data/junit.xsd): one testsuite,
// one testcase per scenario (a failure, an error for a refused scenario,
// skipped for one not run), the trace files as properties and what the
// programs printed as the suite's output.
std::string JunitXml(const std::vector<ReportEntry>& entries, const ReportHeader& header);

// Text made printable on one line: control bytes as \r, \n or \xHH.
std::string Visible(const std::string& bytes);
// Seconds with three decimals: "1.250 s".
std::string Seconds(int64_t ms);

}  // namespace scenario
