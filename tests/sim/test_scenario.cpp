// Scenarios on the simulated master in virtual time: every step kind passing
// and failing with its line and what was seen, malformed files refused before
// anything runs, the same trace on every run, stepwright-cli test, and the
// scenario beside every example catching a one-bit change of its program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "CliRunner.h"
#include "scenario/Scenario.h"
#include "scenario/Xml.h"

#include <sys/stat.h>

#include <map>

#ifdef STEPWRIGHT_TEST_QT_XML
#include <QXmlStreamReader>
#endif

namespace {

const std::string kData = STEPWRIGHT_SCENARIOS;
const std::string kMachine = kData + "/machine.sws";

std::string TempDir() {
    static const std::string dir = [] {
        std::string d = ::testing::TempDir() + "scenario-XXXXXX";
        return std::string(mkdtemp(d.data()));
    }();
    return dir;
}

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Three header lines, then the steps from line 4 on, each given on a line of its own.
std::string MachineScenario(const std::string& steps) {
    std::string text = "program: " + kMachine + "\ntime-limit: 20s\nsteps:\n";
    std::istringstream lines(steps);
    for (std::string line; std::getline(lines, line);) text += "  " + line + "\n";
    return text;
}

struct StepCase {
    const char* what;
    const char* steps;
    int line;              // 0: the scenario passes
    const char* failure;   // the message of the step that failed
};

// machine.sws: KEY at address 36 (listing line 7, text line 13), LAMP at 9
// (line 4, text line 10); DONE (line 19, text line 25) at 183 and COUNTED
// (line 18) at 174.
const StepCase kStepCases[] = {
    {"run from the start", "- run:\n- expect-print: {text: Ready, within: 100ms}", 0, ""},
    {"run, another text expected", "- run:\n- expect-print: {text: Steady, within: 100ms}", 5,
     "expect-print at 0.100 s: \"Steady\" not printed within 100 ms; printed \"Ready\\r\\n\""},
    {"text printed once is matched once",
     "- run:\n- expect-print: {text: Ready, within: 100ms}\n- expect-print: {text: Ready, within: 100ms}", 6,
     "expect-print at 0.103 s: \"Ready\" not printed within 100 ms; printed \"\\r\\n\" since the last match"},
    {"run from a label", "- run: MOVE\n- expect-print: {text: At 4000, within: 3s}", 0, ""},
    {"run from the wrong label", "- run: NOKEY\n- expect-print: {text: Ready, within: 100ms}", 5,
     "expect-print at 0.100 s: \"Ready\" not printed within 100 ms; printed \"No key\\r\\n\""},
    {"key", "- run:\n- key: g\n- expect-print: {text: At 4000, within: 3s}", 0, ""},
    {"the wrong key", "- run:\n- key: h\n- expect-print: {text: At 4000, within: 3s}", 6,
     "expect-print at 3.000 s: \"At 4000\" not printed within 3 s; printed \"Ready\\r\\n\""},
    {"wait", "- run:\n- wait: 500ms\n- expect-print: {text: Ready}", 0, ""},
    {"wait past the time limit", "- wait: 25s", 4, "wait at 20.000 s: the time limit of 20 s ran out"},
    {"an I/O input", "- run: BUTTON\n- set-input: {module: 2, bit: 5, level: high}\n"
                     "- expect-print: {text: Pressed, within: 100ms}", 0, ""},
    {"another I/O input", "- run: BUTTON\n- set-input: {module: 2, bit: 6, level: high}\n"
                          "- expect-print: {text: Pressed, within: 100ms}", 6,
     "expect-print at 0.100 s: \"Pressed\" not printed within 100 ms; printed nothing"},
    {"the stepper's E-Stop", "- run: ESTOP\n- set-input: {module: 3, input: e-stop, level: high}\n"
                             "- expect-print: {text: Done, within: 100ms}", 0, ""},
    {"the stepper's input 1", "- run: ESTOP\n- set-input: {module: 3, input: 1, level: high}\n"
                              "- expect-print: {text: Done, within: 100ms}", 6,
     "expect-print at 0.100 s: \"Done\" not printed within 100 ms; printed nothing"},
    {"an output", "- run:\n- expect-output: {module: 2, bit: 1, level: high, within: 10ms}", 0, ""},
    {"an output that stays low", "- run:\n- expect-output: {module: 2, bit: 3, level: high, within: 10ms}", 5,
     "expect-output at 0.010 s: module 2 bit 3 is low, expected an output high within 10 ms"},
    {"an input is no output", "- run:\n- wait: 5ms\n- expect-output: {module: 2, bit: 5, level: low}", 6,
     "expect-output at 0.005 s: module 2 bit 5 is an input, expected an output low"},
    {"a position", "- run: MOVE\n- expect-position: {module: 1, value: 4000, within: 3s}", 0, ""},
    {"another position", "- run: MOVE\n- wait: 3s\n- expect-position: {module: 1, value: 4100, tolerance: 5}", 6,
     "expect-position at 3.000 s: module 1 is at 4000, expected 4100 +/- 5"},
    // The closest value seen in the window, not the last, and when it was seen.
    {"a position passed on the way", "- run: MOVE\n- expect-position: {module: 1, value: -100, within: 1s}", 5,
     "expect-position at 1.000 s: module 1 came closest at 0 (at 0.000 s), now at 2002, expected -100 within 1 s"},
    {"a position not reached", "- run: MOVE\n- expect-position: {module: 1, value: 4100, tolerance: 5, within: 3s}", 5,
     "expect-position at 3.000 s: module 1 came closest at 4000 (at 1.965 s), expected 4100 +/- 5 within 3 s"},
    {"a status bit", "- run: MOVE\n- expect-status: {module: 1, bit: move-done, level: low, within: 10ms}\n"
                     "- expect-status: {module: 1, bit: move-done, level: high, within: 3s}", 0, ""},
    {"a status bit that is high", "- run:\n- expect-status: {module: 1, bit: power, level: low}", 5,
     "expect-status at 0.000 s: module 1 power is high, expected low"},
    {"a stepper's limit switch held", "- set-input: {module: 3, input: limit-1, level: high}\n"
                                      "- expect-status: {module: 3, bit: limit-1, level: high}", 0, ""},
    {"a stepper's limit switch let go", "- set-input: {module: 3, input: limit-2, level: high}\n"
                                        "- set-input: {module: 3, input: limit-2, level: low}\n"
                                        "- expect-status: {module: 3, bit: limit-2, level: high, within: 5ms}", 6,
     "expect-status at 0.005 s: module 3 limit-2 is low, expected high within 5 ms"},
    {"stopped by StopProgram", "- run: ESTOP\n- set-input: {module: 3, input: e-stop, level: high}\n"
                               "- expect-stopped: {reason: stop-program, within: 100ms}", 0, ""},
    {"still running", "- run:\n- expect-stopped: {reason: stop-program, within: 100ms}", 5,
     "expect-stopped at 0.100 s: the program is running at address 36 (listing line 7, machine.sws:13, label KEY), "
     "expected stopped by StopProgram within 100 ms"},
    {"a breakpoint and the line", "- break: DONE\n- run: ESTOP\n- set-input: {module: 3, input: e-stop, level: high}\n"
                                  "- expect-stopped: {reason: breakpoint, within: 100ms}\n- expect-line: DONE", 0, ""},
    {"another line", "- break: DONE\n- run: ESTOP\n- set-input: {module: 3, input: e-stop, level: high}\n"
                     "- expect-stopped: {reason: breakpoint, within: 100ms}\n- expect-line: COUNTED", 8,
     "expect-line at 0.007 s: the program stands at address 183 (listing line 19, machine.sws:25, label DONE), "
     "expected COUNTED (address 174)"},
    {"a counter", "- run:\n- expect-counter: {counter: 2, value: 7, within: 10ms}", 0, ""},
    {"another count", "- run:\n- expect-counter: {counter: 2, value: 6, within: 10ms}", 5,
     "expect-counter at 0.010 s: counter 2 is 7, expected 6 within 10 ms"},
    {"stop", "- run:\n- stop:\n- expect-stopped: {reason: host}\n- expect-line: LAMP", 0, ""},
    {"no stop", "- run:\n- expect-stopped: {reason: host}", 5,
     "expect-stopped at 0.000 s: the program is running at address 9 (listing line 4, machine.sws:10, label LAMP), "
     "expected stopped by the host"},
    {"a master cut off by a change of baud rate", "- run: BAUD\n- wait: 5ms\n- stop:", 6,
     "stop at 0.005 s: the master did not answer; "
     "the master no longer answers the host (did the program change the baud rate?)"},
    {"step", "- step:\n- expect-stopped: {reason: step}\n- expect-line: LAMP\n- step\n"
             "- expect-output: {module: 2, bit: 1, level: high}", 0, ""},
    {"two steps", "- step:\n- step:\n- expect-line: LAMP", 6,
     "expect-line at 0.000 s: the program stands at address 20 (listing line 5, machine.sws:11), expected LAMP (address 9)"},
    {"reset", "- run:\n- wait: 10ms\n- reset:\n- expect-stopped:\n- expect-print: {text: \"#\"}\n- run:\n"
              "- expect-print: {text: Ready, within: 100ms}", 0, ""},
    {"reset makes the outputs inputs", "- run:\n- wait: 10ms\n- reset:\n- expect-output: {module: 2, bit: 1, level: low}",
     7, "expect-output at 0.010 s: module 2 bit 1 is an input, expected an output low"},
    {"continue from a breakpoint", "- break: MOVE\n- run:\n- key: g\n- expect-stopped: {reason: breakpoint, within: 100ms}\n"
                                   "- expect-line: MOVE\n- break:\n- continue:\n- expect-print: {text: At 4000, within: 3s}",
     0, ""},
    {"no continue", "- break: MOVE\n- run:\n- key: g\n- expect-stopped: {reason: breakpoint, within: 100ms}\n"
                    "- expect-print: {text: At 4000, within: 3s}", 8,
     "expect-print at 3.004 s: \"At 4000\" not printed within 3 s; printed \"Ready\\r\\n\""},
};

TEST(Scenario, EveryStepKindPassesAndFailsWithItsLineAndWhatWasSeen) {
    int n = 0;
    for (const StepCase& c : kStepCases) {
        SCOPED_TRACE(c.what);
        const std::string path = WriteFile("step" + std::to_string(n++) + ".yaml", MachineScenario(c.steps));
        scenario::Scenario sc;
        std::vector<std::string> errors;
        ASSERT_TRUE(scenario::LoadScenario(path, sc, errors)) << errors.front();
        const scenario::Result r = scenario::RunScenario(sc);
        EXPECT_EQ(r.passed, c.line == 0);
        EXPECT_EQ(r.line, c.line);
        EXPECT_EQ(r.message, c.failure);
        if (c.line) {
            EXPECT_EQ(sc.steps[size_t(r.failedStep)].line, c.line);
        }
    }
}

// The step keys the loader knows, as its refusal of an unknown one lists them.
std::vector<std::string> StepKeys() {
    const std::string path = WriteFile("keys.yaml", MachineScenario("- no-such-step:"));
    scenario::Scenario sc;
    std::vector<std::string> errors;
    EXPECT_FALSE(scenario::LoadScenario(path, sc, errors));
    std::vector<std::string> keys;
    if (errors.empty()) return keys;
    const std::string& e = errors.front();
    const size_t open = e.find('('), close = e.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return keys;
    std::istringstream list(e.substr(open + 1, close - open - 1));
    for (std::string key; std::getline(list, key, ',');) keys.push_back(key.substr(key.find_first_not_of(' ')));
    return keys;
}

// The step keys a case's steps use ("- key: ..." or "- key").
std::set<std::string> KeysOf(const StepCase& c) {
    std::set<std::string> out;
    std::istringstream lines(c.steps);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("- ", 0) == 0) out.insert(line.substr(2, line.find(':') == std::string::npos
                                                                   ? std::string::npos : line.find(':') - 2));
    return out;
}

// A step kind cannot be added, nor its cases or its guide entry dropped,
// without this test naming it: every step key is in the guide's chapter on
// scenarios as "`key:", and has a case where it passes; a step that expects
// also has a case where it is the step that fails.
TEST(Scenario, EveryStepKindHasAGuideEntryAndCases) {
    const std::vector<std::string> keys = StepKeys();
    ASSERT_GE(keys.size(), 16u);
    const std::string guide = ReadFile(std::string(STEPWRIGHT_SOURCE_DIR) + "/docs/manual.md");
    const size_t from = guide.find("\n# Testing programs without the machine\n");
    ASSERT_NE(from, std::string::npos);
    const std::string chapter = guide.substr(from, guide.find("\n# ", from + 1) - from);
    for (const std::string& key : keys) {
        EXPECT_NE(chapter.find("`" + key + ":"), std::string::npos)
            << "step " << key << " has no entry \"`" << key << ":\" in the guide's chapter on scenarios";
        bool passes = false, failsItself = false;
        for (const StepCase& c : kStepCases) {
            if (!KeysOf(c).count(key)) continue;
            if (c.line == 0) passes = true;
            else if (std::string(c.failure).rfind(key + " at ", 0) == 0) failsItself = true;
        }
        EXPECT_TRUE(passes) << "step " << key << " has no passing case in kStepCases";

        if (key.rfind("expect-", 0) == 0) {
            EXPECT_TRUE(failsItself) << "step " << key << " has no case in kStepCases where it fails";
        }
    }
    // Each key is read as a kind of its own.
    std::map<std::string, int> kindOf;
    int n = 0;
    for (const StepCase& c : kStepCases) {
        const std::string path = WriteFile("kinds" + std::to_string(n++) + ".yaml", MachineScenario(c.steps));
        scenario::Scenario sc;
        std::vector<std::string> errors;
        ASSERT_TRUE(scenario::LoadScenario(path, sc, errors)) << c.what;
        for (const scenario::Step& st : sc.steps) kindOf[st.key] = int(st.kind);
    }
    std::set<int> kinds;
    for (const auto& [key, kind] : kindOf) kinds.insert(kind);
    EXPECT_EQ(kinds.size(), keys.size()) << "two step keys are read as one kind";
}

struct RefusalCase {
    const char* what;
    const char* text;      // PROGRAM stands for machine.sws
    std::vector<std::string> errors;   // after "FILE:"
};

const RefusalCase kRefusals[] = {
    {"a misspelt key", "progam: PROGRAM\nsteps: []\n",
     {"1: unknown key \"progam\" (description, machine, modules, name, program, steps, time-limit)", "1: missing program"}},
    {"an unknown step", "program: PROGRAM\nsteps:\n  - run:\n  - wiat: 5ms\n",
     {"4: steps: unknown step \"wiat\" (run, continue, stop, step, reset, break, wait, key, set-input, expect-print, "
      "expect-output, expect-position, expect-status, expect-stopped, expect-line, expect-counter)"}},
    {"an unknown argument", "program: PROGRAM\nsteps:\n  - expect-output: {module: 2, bit: 2, lvel: high}\n",
     {"3: expect-output: unknown key \"lvel\" (bit, level, module, within)", "3: expect-output: missing level"}},
    {"a time without unit", "program: PROGRAM\nsteps:\n  - wait: 5\n",
     {"3: wait: \"5\": give a time such as 500ms or 2s (whole milliseconds, at most 24 h)"}},
    {"a fraction of a millisecond", "program: PROGRAM\ntime-limit: 1.0005s\nsteps: []\n",
     {"2: time-limit: \"1.0005s\": give a time such as 500ms or 2s (whole milliseconds, at most 24 h)"}},
    {"a level", "program: PROGRAM\nsteps:\n  - set-input: {module: 2, bit: 5, level: up}\n",
     {"3: set-input: level \"up\": give high or low"}},
    {"a module not on the network", "program: PROGRAM\nsteps:\n  - expect-position: {module: 4, value: 0}\n",
     {"3: expect-position: \"4\": give a whole number from 1 to 3"}},
    {"a module of the wrong kind", "program: PROGRAM\nsteps:\n  - expect-position: {module: 2, value: 0}\n",
     {"3: expect-position: module 2 is a ZEL-I/O: only a servo or stepper has a position"}},
    {"a servo has no inputs", "program: PROGRAM\nsteps:\n\n  - set-input: {module: 1, bit: 1, level: high}\n",
     {"4: set-input: module 1 is a ZEL-SERVO: it has no inputs to set"}},
    {"a stepper input by bit", "program: PROGRAM\nsteps:\n  - set-input: {module: 3, bit: 1, level: high}\n",
     {"3: set-input: a stepper's input is named: give input: 1, 2, e-stop, home-switch, limit-1 or limit-2",
      "3: set-input: missing input"}},
    {"a status bit of another module", "program: PROGRAM\nsteps:\n  - expect-status: {module: 1, bit: moving, level: high}\n",
     {"3: expect-status: bit \"moving\": a ZEL-SERVO has move-done, overcurrent, power, position-error, limit-1, "
      "limit-2 or homing"}},
    {"a label the program lacks", "program: PROGRAM\nsteps:\n  - run: NOWHERE\n  - expect-line: \n",
     {"3: run: the program has no label \"NOWHERE\"", "4: expect-line: missing label"}},
    {"a key of two characters", "program: PROGRAM\nsteps:\n  - key: ab\n",
     {"3: key: a key is one character from 0x01 to 0x7F (bytes from 0x80 on are commands to the master)"}},
    {"a key given twice", "program: PROGRAM\nsteps:\n  - expect-print: {text: a, text: b}\n",
     {"3: expect-print: \"text\" given twice"}},
    {"a counter", "program: PROGRAM\nsteps:\n  - expect-counter: {counter: 5, value: 1}\n",
     {"3: expect-counter: \"5\": give a whole number from 1 to 4"}},
    {"a reason", "program: PROGRAM\nsteps:\n  - expect-stopped: {reason: done}\n",
     {"3: expect-stopped: reason \"done\": give stop-program, breakpoint, error, host, end or step"}},
    {"a step with two keys", "program: PROGRAM\nsteps:\n  - {run: , stop: }\n",
     {"3: steps: each step is one key with its value, such as \"- wait: 500ms\""}},
    {"modules", "program: PROGRAM\nmodules: [servo, drill]\nsteps: []\n",
     {"2: modules: unknown module \"drill\" (servo, io, step, or a type code 0 to 255)"}},
    {"a program that is not there", "program: missing.sws\nsteps: []\n",
     {"1: program: DIR/missing.sws: Could not open file"}},
    {"YAML that does not parse", "program: PROGRAM\nsteps: [\n", {"3: end of sequence flow not found"}},
};

TEST(Scenario, MalformedFilesAreRefusedNamingFileLineAndKey) {
    int n = 0;
    for (const RefusalCase& c : kRefusals) {
        SCOPED_TRACE(c.what);
        std::string text = c.text;
        if (size_t at = text.find("PROGRAM"); at != std::string::npos) text.replace(at, 7, kMachine);
        const std::string path = WriteFile("bad" + std::to_string(n++) + ".yaml", text);
        scenario::Scenario sc;
        std::vector<std::string> errors;
        EXPECT_FALSE(scenario::LoadScenario(path, sc, errors));
        std::vector<std::string> expected;
        for (std::string e : c.errors) {
            if (size_t at = e.find("DIR"); at != std::string::npos) e.replace(at, 3, TempDir());
            expected.push_back(path + ":" + e);
        }
        EXPECT_EQ(errors, expected);
    }
}

std::vector<scenario::TraceRow> Trace(const scenario::Scenario& sc, scenario::Result* result = nullptr) {
    std::vector<scenario::TraceRow> rows;
    scenario::Result r = scenario::RunScenario(sc, [&rows](const scenario::TraceRow& row) { rows.push_back(row); });
    if (result) *result = r;
    return rows;
}

TEST(Scenario, TheSameScenarioGivesTheSameTraceEveryMillisecond) {
    scenario::Scenario sc;
    std::vector<std::string> errors;
    ASSERT_TRUE(scenario::LoadScenario(kData + "/machine.yaml", sc, errors));
    scenario::Result r;
    const auto first = Trace(sc, &r);
    ASSERT_TRUE(r.passed) << r.message;
    ASSERT_EQ(first.size(), size_t(r.simulatedMs + 1));
    for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].ms, int64_t(i));
    // The run moved, printed and lit something: the trace is worth comparing.
    EXPECT_EQ(first.back().positions, (std::vector<int32_t>{4000, 0}));
    EXPECT_NE(first[first.size() / 2].positions[0], 0);
    std::string printed;
    for (const auto& row : first) printed += row.printed;
    EXPECT_EQ(printed, "Ready\r\nAt 4000\r\nPressed\r\nDone\r\n");
    EXPECT_EQ(printed, r.printed);
    EXPECT_EQ(Trace(sc), first);
}

TEST(Scenario, EveryScenarioOfTheTestDataPassesAndAOneBitChangeFailsAtItsStep) {
    for (const char* name : {"machine.yaml", "feeder.yaml"}) {
        SCOPED_TRACE(name);
        scenario::Scenario sc;
        std::vector<std::string> errors;
        ASSERT_TRUE(scenario::LoadScenario(kData + "/" + name, sc, errors)) << errors.front();
        const scenario::Result r = scenario::RunScenario(sc);
        EXPECT_TRUE(r.passed) << r.message;
        EXPECT_EQ(r.stepsRun, int(sc.steps.size()));
    }
    // "Ready" printed as "Seady": the first expect-print fails, on its line.
    scenario::Scenario sc;
    std::vector<std::string> errors;
    ASSERT_TRUE(scenario::LoadScenario(kData + "/machine.yaml", sc, errors));
    const std::string image(sc.image.begin(), sc.image.end());
    const size_t at = image.find("Ready");
    ASSERT_NE(at, std::string::npos);
    sc.image[at] ^= 0x01;
    const scenario::Result r = scenario::RunScenario(sc);
    EXPECT_FALSE(r.passed);
    EXPECT_EQ(r.failedStep, 1);
    EXPECT_EQ(r.line, 7);
    EXPECT_EQ(r.message, "expect-print at 0.100 s: \"Ready\" not printed within 100 ms; printed \"Seady\\r\\n\"");
}

// The JUnit report as a CI server's reader takes it.
struct JunitCase {
    std::string classname, name, kind, message, text;   // kind: "", failure, error or skipped
};
struct Junit {
    std::map<std::string, std::string> suite;            // the testsuite's attributes
    std::vector<std::pair<std::string, std::string>> properties;
    std::vector<JunitCase> cases;
    std::string systemOut;
};

#ifdef STEPWRIGHT_TEST_QT_XML
Junit ReadJunit(const std::string& xml) {
    Junit j;
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        const std::string name = r.name().toString().toStdString();
        auto attribute = [&](const char* key) { return r.attributes().value(key).toString().toStdString(); };
        if (name == "testsuite") {
            for (const QXmlStreamAttribute& a : r.attributes())
                j.suite[a.name().toString().toStdString()] = a.value().toString().toStdString();
        } else if (name == "property") {
            j.properties.emplace_back(attribute("name"), attribute("value"));
        } else if (name == "testcase") {
            j.cases.push_back({attribute("classname"), attribute("name"), "", "", ""});
        } else if (name == "failure" || name == "error" || name == "skipped") {
            j.cases.back().kind = name;
            j.cases.back().message = attribute("message");
            j.cases.back().text = r.readElementText().toStdString();
        } else if (name == "system-out") {
            j.systemOut = r.readElementText().toStdString();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return j;
}
#endif

// The report is valid against the JUnit schema CI servers read.
void ExpectValidJunit(const std::string& file) {
    const std::string xmllint = STEPWRIGHT_XMLLINT;
    if (!std::filesystem::exists(xmllint)) {
        ADD_FAILURE() << "xmllint is missing (scripts/deps.sh installs libxml2-utils)";
        return;
    }
    const CliResult r = RunProgram(xmllint, {"--noout", "--nonet", "--schema", STEPWRIGHT_JUNIT_XSD, file});
    EXPECT_EQ(r.code, 0) << file << ": " << r.err << ReadFile(file);
}

TEST(Scenario, TheSchemaCheckRefusesTheFormerReport) {
    // As the report was written before: a file attribute and the output inside
    // the test case, no timestamp, hostname, id or package, no properties.
    const std::string old = WriteFile("old.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"1\" failures=\"0\" errors=\"0\" time=\"0\">\n"
        "<testsuite name=\"s\" tests=\"1\" failures=\"0\" errors=\"0\" time=\"0\">\n"
        "<testcase classname=\"a.yaml\" name=\"a\" file=\"a.yaml\" time=\"0\"><system-out>x</system-out></testcase>\n"
        "</testsuite>\n</testsuites>\n");
    const CliResult r = RunProgram(STEPWRIGHT_XMLLINT, {"--noout", "--nonet", "--schema", STEPWRIGHT_JUNIT_XSD, old});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("fails to validate"), std::string::npos) << r.err;
}

TEST(Scenario, CommandLineTestPrintsOneLinePerScenarioWithReportAndTrace) {
    const std::string failing = WriteFile("failing.yaml", MachineScenario("- run:\n- expect-print: {text: Steady}"));
    const std::string junit = TempDir() + "/report.xml";
    const std::string trace = TempDir() + "/trace.csv";
    CliResult r = RunCli({"--simulator", "test", kData + "/machine.yaml", failing, "--junit", junit, "--trace", trace});
    EXPECT_EQ(r.code, 9) << r.err;
    EXPECT_EQ(r.out, "PASS " + kData + "/machine.yaml (15 steps, 1.990 s simulated)\n" + "  trace " + TempDir() +
                         "/trace-machine.csv\n" + "FAIL " + failing +
                         ":5: expect-print at 0.000 s: \"Steady\" not printed; printed nothing\n" + "  trace " +
                         TempDir() + "/trace-failing.csv\n" + "2 scenario(s): 1 passed, 1 failed\n");
    const std::string xml = ReadFile(junit);
    ExpectValidJunit(junit);
    EXPECT_NE(xml.find("tests=\"2\" failures=\"1\" errors=\"0\" skipped=\"0\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<testcase name=\"failing\" classname=\"" + failing + "\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("type=\"expect-print\">" + failing + ":5: expect-print at 0.000 s"), std::string::npos);
    // Which trace is which scenario's.
    EXPECT_NE(xml.find("<property name=\"trace " + failing + "\" value=\"" + TempDir() + "/trace-failing.csv\"/>"),
              std::string::npos) << xml;
    // One trace per scenario, named after it; one row per simulated millisecond.
    const std::string csv = ReadFile(TempDir() + "/trace-machine.csv");
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "time_ms,address,running,status_a,printed,position_1,position_3,inputs_2,inputs_3,outputs_2");
    EXPECT_NE(csv.find("\n3,36,1,0x01,Ready\\r\\n,0,0,0x000,0x000,0x001\n"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 1991);
    EXPECT_EQ(ReadFile(TempDir() + "/trace-failing.csv").substr(0, 9), "time_ms,a");

    // All pass: 0.
    r = RunCli({"--simulator", "test", kData + "/machine.yaml", kData + "/feeder.yaml"});
    EXPECT_EQ(r.code, 0) << r.err;
    // A malformed scenario: 2, and nothing runs; the report says so.
    const std::string bad = WriteFile("refused.yaml", "program: " + kMachine + "\nsteps:\n  - wiat: 1ms\n  - wait: 5\n");
    const std::string none = TempDir() + "/none.xml";
    r = RunCli({"--simulator", "test", kData + "/machine.yaml", bad, "--junit", none});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    const std::string wiat = bad + ":3: steps: unknown step \"wiat\"", five = bad + ":4: wait: \"5\": give a time";
    EXPECT_NE(r.err.find(wiat), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("stepwright-cli: 2 error(s) in 1 of 2 scenario(s): no scenario was run"), std::string::npos);
    ExpectValidJunit(none);
    const std::string report = ReadFile(none);
    EXPECT_NE(report.find("tests=\"2\" failures=\"0\" errors=\"1\" skipped=\"1\""), std::string::npos) << report;
    using scenario::XmlWriter;
    EXPECT_NE(report.find("<error message=\"" + XmlWriter::Escaped(wiat, true)), std::string::npos) << report;
    EXPECT_NE(report.find("type=\"refused\">" + XmlWriter::Escaped(wiat, false)), std::string::npos) << report;
    EXPECT_NE(report.find(XmlWriter::Escaped(five, false)), std::string::npos) << report;
    EXPECT_NE(report.find("<skipped message=\"not run: a scenario was refused\"/>"), std::string::npos) << report;
    // Usage.
    EXPECT_EQ(RunCli({"--simulator", "test"}).code, 1);
    EXPECT_EQ(RunCli({"--port", "/dev/null", "test", kData + "/machine.yaml"}).code, 1);
    EXPECT_EQ(RunCli({"test", kData + "/machine.yaml", "--junit", junit, "--trace", junit}).code, 1);
    EXPECT_EQ(RunCli({"test", kData + "/machine.yaml", "--list", "--junit", junit}).code, 1);
}

TEST(Scenario, TheJunitReportSaysWhatTheConsoleSaysInUtf8) {
    // Names beyond ASCII, markup characters and control bytes in what is
    // reported, a file name that is not UTF-8.
    const std::string dir = TempDir() + "/utf8";
    std::filesystem::create_directories(dir);
    const std::string accented = dir + "/pr\xC3\xBC" "fung.yaml", latin1 = dir + "/caf\xE9.yaml";
    std::ofstream(accented) << "name: \"Pr\xC3\xBC" "fung <1> & 'zwei' \\u65E5\"\n" << MachineScenario(
        "- run:\n- expect-print: {text: \"<caf\xC3\xA9 & \\\"x\\\">\", within: 10ms}");
    std::ofstream(latin1) << MachineScenario("- run:\n- expect-print: {text: Ready, within: 100ms}");
    const std::string tab = WriteFile("tab.yaml", "name: \"a\\tb\\x01c\"\n" + MachineScenario(
        "- run: MOVE\n- expect-position: {module: 1, value: 3, within: 2ms}"));
    const std::string junit = TempDir() + "/utf8.xml";
    const CliResult r = RunCli({"test", accented, latin1, tab, kData + "/feeder.yaml", "--junit", junit});
    EXPECT_EQ(r.code, 9) << r.err;
    ExpectValidJunit(junit);
    const std::string xml = ReadFile(junit);
    EXPECT_NE(xml.find("<testcase name=\"Pr\xC3\xBC" "fung &lt;1&gt; &amp; &apos;zwei&apos; \xE6\x97\xA5\" classname=\"" +
                       dir + "/pr\xC3\xBC" "fung.yaml\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("&quot;&lt;caf\xC3\xA9 &amp; &quot;x&quot;&gt;&quot; not printed"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<testcase name=\"caf\xEF\xBF\xBD\" classname=\"" + dir + "/caf\xEF\xBF\xBD.yaml\""),
              std::string::npos) << xml;
    EXPECT_NE(xml.find("<testcase name=\"a&#9;b\\x01c\""), std::string::npos) << xml;
    EXPECT_EQ(xml.find("\xC3\x83"), std::string::npos) << "nothing encoded twice";
#ifdef STEPWRIGHT_TEST_QT_XML
    // The reader's counts and messages are the console's.
    const Junit j = ReadJunit(xml);
    std::vector<std::string> lines;
    std::istringstream out(r.out);
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines.back(), "4 scenario(s): " + std::to_string(4 - std::stoi(j.suite.at("failures"))) + " passed, " +
                                j.suite.at("failures") + " failed");
    EXPECT_EQ(j.suite.at("tests"), "4");
    EXPECT_EQ(j.suite.at("errors"), "0");
    ASSERT_EQ(j.cases.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const JunitCase& c = j.cases[i];
        SCOPED_TRACE(lines[i]);
        if (c.kind.empty()) {
            EXPECT_EQ(lines[i].substr(0, 5), "PASS ");
            continue;
        }
        EXPECT_EQ(c.kind, "failure");
        // The console prints the master's Latin-1 bytes as they are; the report as UTF-8.
        ASSERT_EQ(lines[i].rfind("FAIL " + c.classname + ":", 0), 0u);
        const std::string tail = scenario::Latin1ToUtf8(lines[i].substr(5 + c.classname.size()));
        EXPECT_EQ(c.classname + tail, c.text);
        EXPECT_EQ(tail.substr(tail.size() - c.message.size()), c.message);
    }
    EXPECT_EQ(j.cases[0].name, "Pr\xC3\xBC" "fung <1> & 'zwei' \xE6\x97\xA5");
    EXPECT_EQ(j.cases[2].name, "a\tb\\x01c");
    EXPECT_NE(j.systemOut.find(kData + "/feeder.yaml: simulated "), std::string::npos) << j.systemOut;
#endif
}

TEST(Scenario, TraceFilesAreNamedSafelyAfterTheirScenarios) {
    const std::string dir = TempDir() + "/traces";
    std::filesystem::create_directories(dir);
    const std::string steps = MachineScenario("- run:\n- wait: 2ms");
    const std::string slash = WriteFile("slash.yaml", "name: left/right feeder\n" + steps);
    const std::string again = WriteFile("again.yaml", "name: left?right feeder\n" + steps);
    const std::string dots = WriteFile("dots.yaml", "name: ../..\n" + steps);
    const std::string empty = WriteFile("empty.yaml", "name: \"\"\n" + steps);
    const std::string junit = dir + "/r.xml";
    const CliResult r = RunCli({"test", slash, again, dots, empty, "--trace", dir + "/t.csv", "--junit", junit});
    EXPECT_EQ(r.code, 0) << r.err << r.out;
    std::set<std::string> written;
    for (const auto& e : std::filesystem::directory_iterator(dir)) written.insert(e.path().filename());
    EXPECT_EQ(written, (std::set<std::string>{"r.xml", "t-left_right_feeder.csv", "t-left_right_feeder-2.csv",
                                              "t-.._...csv", "t-empty.csv"}));
    EXPECT_NE(r.out.find(slash + " (2 steps, 0.002 s simulated)\n  trace " + dir + "/t-left_right_feeder.csv\n"),
              std::string::npos) << r.out;
    const std::string xml = ReadFile(junit);
    EXPECT_NE(xml.find("<property name=\"trace " + again + "\" value=\"" + dir + "/t-left_right_feeder-2.csv\"/>"),
              std::string::npos) << xml;
    ExpectValidJunit(junit);
}

TEST(Scenario, FilterAndListPickWhatRuns) {
    const std::string machine = kData + "/machine.yaml", feeder = kData + "/feeder.yaml";
    const std::string bad = WriteFile("filtered-out.yaml", "steps: 3\n");
    const struct {
        Strings args;
        int code;
        std::string out;
    } cases[] = {
        {{"--list"}, 2, machine + ": machine (15 steps)\n" + feeder + ": feeder feeds on start (12 steps)\n"},
        {{"--list", "--filter", "feeder"}, 0, feeder + ": feeder feeds on start (12 steps)\n"},
        {{"--list", "--filter", "mach*"}, 0, machine + ": machine (15 steps)\n"},
        {{"--list", "--filter", "*.yaml", "--filter", "?achine"}, 2,
         machine + ": machine (15 steps)\n" + feeder + ": feeder feeds on start (12 steps)\n"},
        {{"--list", "--filter", "*/scenarios/*"}, 0,
         machine + ": machine (15 steps)\n" + feeder + ": feeder feeds on start (12 steps)\n"},
        {{"--filter", "start"}, 0, "PASS " + feeder + " (12 steps, 1.787 s simulated)\n1 scenario(s): 1 passed, 0 failed\n"},
        {{"--filter", "nothing"}, 1, ""},
    };
    for (const auto& c : cases) {
        Strings args{"test", machine, feeder, bad};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = RunCli(args);
        SCOPED_TRACE(r.err);
        EXPECT_EQ(r.code, c.code) << args.back();
        EXPECT_EQ(r.out, c.out) << args.back();
        EXPECT_EQ(r.err.find(bad) != std::string::npos, c.code == 2);
    }
}

TEST(Scenario, ReportsNeverReplaceTheirInputsNorWaitOnAPipe) {
    const std::string dir = TempDir() + "/safe";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(kMachine, dir + "/m.sws", std::filesystem::copy_options::overwrite_existing);
    const std::string yaml = dir + "/m.yaml";
    std::ofstream(yaml) << "program: m.sws\nsteps:\n  - run:\n";
    std::filesystem::create_symlink("m.yaml", dir + "/alias.xml");
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    const std::string program = ReadFile(dir + "/m.sws"), scenario = ReadFile(yaml);
    const struct {
        Strings args;
        std::string message;
    } cases[] = {
        {{"--junit", yaml}, yaml + " is a file the run reads; it is not overwritten"},
        {{"--junit", dir + "/alias.xml"}, dir + "/alias.xml is the file " + yaml + ", which the run reads; it is not"},
        {{"--trace", dir + "/m.sws"}, dir + "/m.sws is a file the run reads; it is not overwritten"},
        // A pipe is never opened, so nothing waits for a reader.
        {{"--junit", dir + "/fifo"}, dir + "/fifo: Could not open file"},
        {{"--trace", dir + "/fifo"}, dir + "/fifo: Could not open file"},
    };
    for (const auto& c : cases) {
        Strings args{"test", yaml};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunOptions quick;
        quick.timeoutSeconds = 20;   // a report that waited on the pipe would hold the run
        const CliResult r = RunCli(args, quick);
        EXPECT_EQ(r.code, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile(dir + "/m.sws"), program);
    EXPECT_EQ(ReadFile(yaml), scenario);
    EXPECT_TRUE(std::filesystem::is_fifo(dir + "/fifo"));
    // A link planted in a shared sticky folder by another user is not followed.
    if (geteuid() == 0) {
        const std::string shared = dir + "/shared", victim = dir + "/victim.txt";
        std::ofstream(victim) << "keep";
        ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
        for (const char* option : {"--junit", "--trace"}) {
            const std::string link = shared + "/planted" + option;
            ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
            ASSERT_EQ(lchown(link.c_str(), 4321, 4321), 0);
            const CliResult r = RunCli({"test", yaml, option, link});
            EXPECT_EQ(r.code, 2) << option;
            EXPECT_NE(r.err.find(link + ": Could not open file"), std::string::npos) << r.err;
        }
        EXPECT_EQ(ReadFile(victim), "keep");
    }
    // A disk that fills up mid-write (here a limit on the size of files the
    // tool writes) leaves the earlier trace whole; the short report still fits.
    {
        const std::string longer = dir + "/longer.yaml";
        std::ofstream(longer) << "program: m.sws\nsteps:\n  - run:\n  - wait: 200ms\n";
        const std::string earlier(800, 'e');
        std::ofstream(dir + "/t.csv") << earlier;
        std::ofstream(dir + "/j.xml") << earlier;
        const CliResult r = RunProgram("/bin/sh", {"-c", "trap '' XFSZ; ulimit -f 2; exec \"$0\" \"$@\"", STEPWRIGHT_CLI,
                                                   "test", longer, "--trace", dir + "/t.csv", "--junit", dir + "/j.xml"});
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(dir + "/t.csv: Could not write file: File too large"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(dir + "/t.csv"), earlier);
        ExpectValidJunit(dir + "/j.xml");
    }
    // A report written again replaces the earlier one whole.
    EXPECT_EQ(RunCli({"test", yaml, "--junit", dir + "/r.xml"}).code, 0);
    EXPECT_EQ(RunCli({"test", yaml, "--junit", dir + "/r.xml"}).code, 0);
    ExpectValidJunit(dir + "/r.xml");
}

TEST(Scenario, ScenarioFilesAreReadBoundedAndWithoutWaiting) {
    const std::string dir = TempDir() + "/bounded";
    std::filesystem::create_directories(dir);
    ASSERT_EQ(mkfifo((dir + "/fifo.yaml").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir + "/zero.yaml");
    // One byte over the bound, as steps; and a huge value quoted by its start.
    std::string big = "program: " + kMachine + "\nsteps:\n";
    while (big.size() <= scenario::kMaxScenarioBytes) big += "  - wait: 1ms\n";
    big.resize(scenario::kMaxScenarioBytes + 1, '\n');
    const std::string huge = WriteFile("huge.yaml", big);
    const std::string value = WriteFile("value.yaml", "program: " + kMachine + "\nsteps:\n  - wait: " +
                                                          std::string(900000, '7') + "x\n");
    const std::string program = WriteFile("program.yaml", "program: " + std::string(600000, 'p') + "\nsteps: []\n");
    const struct {
        std::string path;
        std::vector<std::string> errors;
    } cases[] = {
        {dir + "/fifo.yaml", {dir + "/fifo.yaml: cannot be read: not a regular file"}},
        {dir + "/zero.yaml", {dir + "/zero.yaml: cannot be read: not a regular file"}},
        {dir + "/none.yaml", {dir + "/none.yaml: cannot be read: No such file or directory"}},
        {huge, {huge + ": larger than 1 MiB, the most a scenario file holds"}},
        {value, {value + ":3: wait: \"" + std::string(40, '7') +
                 "...\" (900001 bytes): give a time such as 500ms or 2s (whole milliseconds, at most 24 h)"}},
        {program, {program + ":1: program: \"" + (TempDir() + "/" + std::string(40, 'p')).substr(0, 40) +
                   "...\" (" + std::to_string(TempDir().size() + 1 + 600000) + " bytes): Could not open file"}},
    };
    for (const auto& c : cases) {
        scenario::Scenario sc;
        std::vector<std::string> errors;
        EXPECT_FALSE(scenario::LoadScenario(c.path, sc, errors));
        EXPECT_EQ(errors, c.errors);
    }
    // Just under the bound is read.
    big.resize(scenario::kMaxScenarioBytes - 200);
    big.resize(big.rfind('\n') + 1);
    scenario::Scenario sc;
    std::vector<std::string> errors;
    EXPECT_TRUE(scenario::LoadScenario(WriteFile("under.yaml", big), sc, errors));
    EXPECT_GT(sc.steps.size(), 70000u);
}

TEST(Scenario, XmlWriterEscapesEveryValue) {
    const struct {
        std::string in;
        std::string text, attribute;
    } cases[] = {
        {"plain", "plain", "plain"},
        {"<a & 'b' \"c\">", "&lt;a &amp; &apos;b&apos; &quot;c&quot;&gt;", "&lt;a &amp; &apos;b&apos; &quot;c&quot;&gt;"},
        {"a\tb\nc\rd", "a\tb\nc&#13;d", "a&#9;b&#10;c&#13;d"},
        {std::string("\x00\x01\x1F\x7F", 4), "\\x00\\x01\\x1F\x7F", "\\x00\\x01\\x1F\x7F"},
        {"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
         "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"},
        // Not UTF-8: a Latin-1 byte, a cut sequence, an overlong '/', a surrogate, U+FFFE.
        {"caf\xE9", "caf\xEF\xBF\xBD", "caf\xEF\xBF\xBD"},
        {"\xE6\x97", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xEF\xBF\xBE", "\\uFFFE", "\\uFFFE"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scenario::XmlWriter::Escaped(c.in, false), c.text) << c.in;
        EXPECT_EQ(scenario::XmlWriter::Escaped(c.in, true), c.attribute) << c.in;
    }
    EXPECT_EQ(scenario::Latin1ToUtf8("caf\xE9 \xFF<"), "caf\xC3\xA9 \xC3\xBF<");
    scenario::XmlWriter x;
    x.open("a", {{"k", "v&"}});
    x.element("b", {}, "t<");
    x.element("c", {{"x", "1"}, {"y", "\""}});
    x.close();
    EXPECT_EQ(x.document(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a k=\"v&amp;\">\n  <b>t&lt;</b>\n"
                            "  <c x=\"1\" y=\"&quot;\"/>\n</a>\n");
}

const std::string kExamples = STEPWRIGHT_EXAMPLES;

TEST(Scenario, EveryExampleHasAScenarioBesideItAndAllPass) {
    std::set<std::string> programs, scenarios, machines;
    std::vector<std::string> yamls, descriptions;
    const std::string kMachineEnd = ".machine.yaml";
    for (const auto& entry : std::filesystem::directory_iterator(kExamples)) {
        const auto& path = entry.path();
        const std::string name = path.filename();
        if (path.extension() == ".stw" || path.extension() == ".sws") programs.insert(path.stem());
        if (name.size() > kMachineEnd.size() && name.ends_with(kMachineEnd)) {
            // NAME.machine.yaml: the machine the example keeps to, no scenario.
            machines.insert(name.substr(0, name.find('.')));
            descriptions.push_back(path);
        } else if (path.extension() == ".yaml") {
            scenarios.insert(path.stem());
            yamls.push_back(path);
        }
    }
    ASSERT_GE(programs.size(), 7u);
    EXPECT_EQ(scenarios, programs) << "one scenario per example, named after it";
    EXPECT_EQ(machines, programs) << "one machine description per example, named after it";
    std::sort(yamls.begin(), yamls.end());
    for (const std::string& path : yamls) {
        SCOPED_TRACE(path);
        scenario::Scenario sc;
        std::vector<std::string> errors;
        ASSERT_TRUE(scenario::LoadScenario(path, sc, errors)) << errors.front();
        EXPECT_EQ(std::filesystem::path(sc.program).filename(), std::filesystem::path(path).stem().string() + ".sws")
            << "each runs its program text";
        const scenario::Result r = scenario::RunScenario(sc);
        EXPECT_TRUE(r.passed) << r.message;
        EXPECT_EQ(r.stepsRun, int(sc.steps.size()));
    }
    // As the README gives it: all at once, with a report for a build server.
    const std::string junit = TempDir() + "/examples.xml";
    // (examples/*.yaml holds the machine descriptions too: test leaves them out.)
    std::vector<std::string> args{"test"};
    args.insert(args.end(), yamls.begin(), yamls.end());
    args.insert(args.end(), descriptions.begin(), descriptions.end());
    args.insert(args.end(), {"--junit", junit});
    const CliResult cli = RunCli(args);
    EXPECT_EQ(cli.code, 0) << cli.out << cli.err;
    EXPECT_NE(ReadFile(junit).find("tests=\"" + std::to_string(yamls.size()) + "\" failures=\"0\" errors=\"0\""),
              std::string::npos);
}

// One bit of each example's program changed, in a copy beside a copy of its
// scenario: the scenario fails at the step that watches what the bit does.
struct Mutation {
    const char* example;
    const char* from;      // in the program text, once
    const char* to;
    int line;              // the scenario's step that fails
    const char* step;
};

const Mutation kMutations[] = {
    // Homing no longer stops on the index pulse: the motor creeps on past zero.
    {"servo_moves", "index stop-on-home stop-abruptly", "index stop-abruptly", 12, "expect-position"},
    {"servo_moves", "print-chars=Homed", "print-chars=Homee", 10, "expect-print"},
    // The seek at 1x instead of 4x.
    {"stepper_limits", "speed-4x", "speed-1x", 15, "expect-position"},
    // Waiting on the other limit switch: the one held is never seen.
    {"stepper_limits", "limit1-hi", "limit2-hi", 19, "expect-print"},
    // Waiting for the button let go, not pressed: it does not wait.
    {"io_wait", "bit-5 set", "bit-5 clear", 14, "expect-output"},
    {"key_menu", "key=1", "key=0", 10, "expect-print"},
    // The last pass told on the first.
    {"subroutines", "counter-1=1", "counter-1=3", 13, "expect-print"},
    // 4000 with bit 10 cleared.
    {"demo", "LOOP:     1 Move position=4000", "LOOP:     1 Move position=2976", 10, "expect-position"},
    {"every-command", "bit-1 bit-3 set", "bit-1 set", 27, "expect-output"},
};

TEST(Scenario, AOneBitChangeInAnExampleFailsItsScenarioAtTheRightStep) {
    std::set<std::string> covered;
    for (const Mutation& m : kMutations) {
        SCOPED_TRACE(std::string(m.example) + ": " + m.from + " -> " + m.to);
        covered.insert(m.example);
        const std::string name = m.example;
        std::string text = ReadFile(kExamples + "/" + name + ".sws");
        const size_t at = text.find(m.from);
        ASSERT_NE(at, std::string::npos);
        ASSERT_EQ(text.find(m.from, at + 1), std::string::npos) << "the change is made in one place";
        text.replace(at, std::string(m.from).size(), m.to);
        const std::string dir = TempDir() + "/" + name;
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(kExamples + "/" + name + ".yaml", dir + "/" + name + ".yaml",
                                   std::filesystem::copy_options::overwrite_existing);
        std::ofstream(dir + "/" + name + ".sws", std::ios::binary) << text;

        scenario::Scenario original, changed;
        std::vector<std::string> errors;
        ASSERT_TRUE(scenario::LoadScenario(kExamples + "/" + name + ".yaml", original, errors));
        ASSERT_TRUE(scenario::LoadScenario(dir + "/" + name + ".yaml", changed, errors)) << errors.front();
        // The change stays inside one instruction (a module frame's checksum
        // follows the field changed).
        ASSERT_EQ(changed.image.size(), original.image.size());
        std::vector<size_t> differ;
        for (size_t i = 0; i < original.image.size(); ++i)
            if (original.image[i] != changed.image[i]) differ.push_back(i);
        ASSERT_FALSE(differ.empty());
        auto next = std::upper_bound(original.lines.begin(), original.lines.end(), differ.front(),
                                     [](size_t a, const scenario::LineAt& l) { return a < l.address; });
        const size_t end = next == original.lines.end() ? original.image.size() : next->address;
        EXPECT_LT(differ.back(), end) << "one instruction";

        const scenario::Result r = scenario::RunScenario(changed);
        EXPECT_FALSE(r.passed);
        EXPECT_EQ(r.line, m.line) << r.message;
        EXPECT_EQ(r.message.substr(0, r.message.find(' ')), m.step) << r.message;
    }
    EXPECT_EQ(covered.size(), 7u) << "every example";
}

}  // namespace
