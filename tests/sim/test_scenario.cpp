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

// machine.sws: KEY at address 36 (listing line 7), LAMP at 9 (line 4); DONE
// (line 19) at 183 and COUNTED (line 18) at 174.
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
     "expect-stopped at 0.100 s: the program is running at address 36 (listing line 7, label KEY), "
     "expected stopped by StopProgram within 100 ms"},
    {"a breakpoint and the line", "- break: DONE\n- run: ESTOP\n- set-input: {module: 3, input: e-stop, level: high}\n"
                                  "- expect-stopped: {reason: breakpoint, within: 100ms}\n- expect-line: DONE", 0, ""},
    {"another line", "- break: DONE\n- run: ESTOP\n- set-input: {module: 3, input: e-stop, level: high}\n"
                     "- expect-stopped: {reason: breakpoint, within: 100ms}\n- expect-line: COUNTED", 8,
     "expect-line at 0.007 s: the program stands at address 183 (listing line 19, label DONE), "
     "expected COUNTED (address 174)"},
    {"a counter", "- run:\n- expect-counter: {counter: 2, value: 7, within: 10ms}", 0, ""},
    {"another count", "- run:\n- expect-counter: {counter: 2, value: 6, within: 10ms}", 5,
     "expect-counter at 0.010 s: counter 2 is 7, expected 6 within 10 ms"},
    {"stop", "- run:\n- stop:\n- expect-stopped: {reason: host}\n- expect-line: LAMP", 0, ""},
    {"no stop", "- run:\n- expect-stopped: {reason: host}", 5,
     "expect-stopped at 0.000 s: the program is running at address 9 (listing line 4, label LAMP), "
     "expected stopped by the host"},
    {"a master cut off by a change of baud rate", "- run: BAUD\n- wait: 5ms\n- stop:", 6,
     "stop at 0.005 s: the master did not answer; "
     "the master no longer answers the host (did the program change the baud rate?)"},
    {"step", "- step:\n- expect-stopped: {reason: step}\n- expect-line: LAMP\n- step\n"
             "- expect-output: {module: 2, bit: 1, level: high}", 0, ""},
    {"two steps", "- step:\n- step:\n- expect-line: LAMP", 6,
     "expect-line at 0.000 s: the program stands at address 20 (listing line 5), expected LAMP (address 9)"},
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

TEST(Scenario, CommandLineTestPrintsOneLinePerScenarioWithReportAndTrace) {
    const std::string failing = WriteFile("failing.yaml", MachineScenario("- run:\n- expect-print: {text: Steady}"));
    const std::string junit = TempDir() + "/report.xml";
    const std::string trace = TempDir() + "/trace.csv";
    CliResult r = RunCli({"--simulator", "test", kData + "/machine.yaml", failing, "--junit", junit, "--trace", trace});
    EXPECT_EQ(r.code, 9) << r.err;
    EXPECT_EQ(r.out, "PASS " + kData + "/machine.yaml (15 steps, 1.990 s simulated)\n" + "FAIL " + failing +
                         ":5: expect-print at 0.000 s: \"Steady\" not printed; printed nothing\n"
                         "2 scenario(s): 1 passed, 1 failed\n");
    const std::string xml = ReadFile(junit);
    EXPECT_NE(xml.find("<testsuites tests=\"2\" failures=\"1\" errors=\"0\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<testcase classname=\"" + failing + "\" name=\"failing\""), std::string::npos);
    EXPECT_NE(xml.find("type=\"expect-print\">" + failing + ":5: expect-print at 0.000 s"), std::string::npos);
    // One trace per scenario, named after it; one row per simulated millisecond.
    const std::string csv = ReadFile(TempDir() + "/trace-machine.csv");
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "time_ms,address,running,status_a,printed,position_1,position_3,inputs_2,inputs_3,outputs_2");
    EXPECT_NE(csv.find("\n3,36,1,0x01,Ready\\r\\n,0,0,0x000,0x000,0x001\n"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 1991);
    EXPECT_EQ(ReadFile(TempDir() + "/trace-failing.csv").substr(0, 9), "time_ms,a");

    // All pass: 0.  A malformed scenario: 2, and nothing runs.
    r = RunCli({"--simulator", "test", kData + "/machine.yaml", kData + "/feeder.yaml"});
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string bad = WriteFile("refused.yaml", "program: " + kMachine + "\nsteps:\n  - wiat: 1ms\n");
    r = RunCli({"--simulator", "test", kData + "/machine.yaml", bad, "--junit", TempDir() + "/none.xml"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(bad + ":3: steps: unknown step \"wiat\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no scenario was run"), std::string::npos);
    EXPECT_EQ(ReadFile(TempDir() + "/none.xml"), "");
    // Usage.
    EXPECT_EQ(RunCli({"--simulator", "test"}).code, 1);
    EXPECT_EQ(RunCli({"--port", "/dev/null", "test", kData + "/machine.yaml"}).code, 1);
}

const std::string kExamples = STEPWRIGHT_EXAMPLES;

TEST(Scenario, EveryExampleHasAScenarioBesideItAndAllPass) {
    std::set<std::string> programs, scenarios;
    std::vector<std::string> yamls;
    for (const auto& entry : std::filesystem::directory_iterator(kExamples)) {
        const auto& path = entry.path();
        if (path.extension() == ".stw" || path.extension() == ".sws") programs.insert(path.stem());
        if (path.extension() == ".yaml") {
            scenarios.insert(path.stem());
            yamls.push_back(path);
        }
    }
    ASSERT_GE(programs.size(), 7u);
    EXPECT_EQ(scenarios, programs) << "one scenario per example, named after it";
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
    std::vector<std::string> args{"test"};
    args.insert(args.end(), yamls.begin(), yamls.end());
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
