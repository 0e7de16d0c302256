// The explorer of paths: programs whose violation of the machine description
// only one combination of inputs reaches are found with their rule and line,
// and the counterexample written for each fails as a scenario with the same
// rule, line and time; the close safe variants are explored without a
// finding; loops end by merging; a bound that cuts is reported.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "machine/Machine.h"
#include "prove/Explore.h"
#include "scenario/Scenario.h"
#include "sim/SimCore.h"
#include "sim/VirtualMaster.h"
#ifdef STEPWRIGHT_CLI
#include "CliRunner.h"
#endif

namespace {

// Servo 1, servo 2, I/O module 3, stepper 4: the body starts at text line 7.
const char kHeader[] =
    ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-SERVO\n.module 3 ZEL-I/O\n"
    ".module 4 ZEL-STEP\n";
constexpr int kBodyLine = 6;

const char kMachine[] =
    "machine: Test cell\n"
    "modules:\n"
    "  1: {name: X axis, type: servo, travel: [-100, 50000], max-velocity: 6000, max-acceleration: 200}\n"
    "  3:\n"
    "    inputs: {5: start, 6: door-closed}\n"
    "    outputs: {1: lamp, 3: clamp, 4: blow-off}\n"
    "interlocks:\n"
    "  - move: 1\n"
    "    requires: {input: door-closed, level: high}\n"
    "  - never-together: [{output: clamp}, {output: blow-off}]\n";

std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + "prove_" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct Proved {
    prove::ProgramImage program;
    machine::Machine machine;
    prove::ProveResult result;
    std::string programPath, machinePath;
};

Proved Prove(const std::string& name, const std::string& body, prove::Bounds bounds = {},
             const std::string& description = kMachine) {
    Proved p;
    p.programPath = WriteTemp(name + ".sws", kHeader + body);
    p.machinePath = WriteTemp(name + ".machine.yaml", description);
    EXPECT_EQ(prove::ReadProgramImage(p.programPath, p.program), "");
    std::vector<std::string> errors;
    EXPECT_TRUE(machine::LoadMachine(p.machinePath, p.machine, errors)) << (errors.empty() ? "" : errors[0]);
    p.result = prove::Explore(p.program, p.machine, bounds);
    return p;
}

int LineOf(const Proved& p, uint16_t address) {
    const int i = p.program.lineAt(address);
    return i < 0 ? -1 : p.program.shownLine[size_t(i)] - kBodyLine;
}

// Door closed, then the move: the interlock holds on every path.
const char kDoorFirst[] =
    "          3 GetStatus\n"
    "          3 If-GoTo bit-6 clear -> END\n";

const struct ViolationCase {
    const char* name;
    const char* body;        // the program after the header
    const char* rule;        // "" : no violation
    int line;                // body line (1-based) of the instruction that caused it
} kCases[] = {
    // A branch on an input: only with the start button low does X leave its travel.
    {"branch",
     "          3 GetStatus\n"
     "          3 If-GoTo bit-6 clear -> END\n"
     "          3 If-GoTo bit-5 set -> NEAR\n"
     "          1 Move position=60000 velocity=5000 acceleration=100 pwm=0\n"
     "          1 WaitFor timeout=2000 move-done -> END\n"
     "          0 GoTo -> END\n"
     "NEAR:     1 Move position=4000 velocity=5000 acceleration=100 pwm=0\n"
     "          1 WaitFor timeout=2000 move-done -> END\n"
     "END:      0 StopProgram\n",
     "travel", 4},
    {"branch-safe",
     "          3 GetStatus\n"
     "          3 If-GoTo bit-6 clear -> END\n"
     "          3 If-GoTo bit-5 set -> NEAR\n"
     "          1 Move position=50000 velocity=5000 acceleration=100 pwm=0\n"
     "          1 WaitFor timeout=2000 move-done -> END\n"
     "          0 GoTo -> END\n"
     "NEAR:     1 Move position=4000 velocity=5000 acceleration=100 pwm=0\n"
     "          1 WaitFor timeout=2000 move-done -> END\n"
     "END:      0 StopProgram\n",
     "", 0},
    // A CountDown loop of relative moves, six times with the button held: 60000.
    {"countdown",
     "          0 SetCounter counter=1 initial-value=5\n"
     "          3 GetStatus\n"
     "          3 If-GoTo bit-5 clear -> LOOP\n"
     "          0 SetCounter counter=1 initial-value=6\n"
     "LOOP:     3 GetStatus\n"
     "          3 If-GoTo bit-6 clear -> END\n"
     "          1 Move position=10000 velocity=5000 acceleration=100 pwm=0 move-relative\n"
     "          1 WaitFor timeout=1000 move-done -> END\n"
     "          0 CountDown counter=1 -> LOOP\n"
     "END:      0 StopProgram\n",
     "travel", 7},
    {"countdown-safe",
     "          0 SetCounter counter=1 initial-value=4\n"
     "          3 GetStatus\n"
     "          3 If-GoTo bit-5 clear -> LOOP\n"
     "          0 SetCounter counter=1 initial-value=5\n"
     "LOOP:     3 GetStatus\n"
     "          3 If-GoTo bit-6 clear -> END\n"
     "          1 Move position=10000 velocity=5000 acceleration=100 pwm=0 move-relative\n"
     "          1 WaitFor timeout=1000 move-done -> END\n"
     "          0 CountDown counter=1 -> LOOP\n"
     "END:      0 StopProgram\n",
     "", 0},
    // Clamp and blow-off together, on the branch where the button is held.
    {"outputs",
     "          3 MakeOutputs bit-1 bit-2 bit-3 bit-4\n"
     "          3 GetStatus\n"
     "          3 If-GoTo bit-5 clear -> SKIP\n"
     "          3 SetOutputs bit-3 set\n"
     "SKIP:     3 SetOutputs bit-4 set\n"
     "          0 StopProgram\n",
     "never-together", 5},
    {"outputs-safe",
     "          3 MakeOutputs bit-1 bit-2 bit-3 bit-4\n"
     "          3 GetStatus\n"
     "          3 If-GoTo bit-5 clear -> SKIP\n"
     "          3 SetOutputs bit-3 set\n"
     "SKIP:     3 SetOutputs bit-3 clear\n"
     "          3 SetOutputs bit-4 set\n"
     "          0 StopProgram\n",
     "", 0},
    // The Move is commanded before the door is read.
    {"interlock",
     "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
     "          3 WaitFor timeout=500 bit-6 set -> END\n"
     "          1 WaitFor timeout=500 move-done -> END\n"
     "END:      0 StopProgram\n",
     "interlock", 1},
    // A WaitFor on the door before the Move: at once, later or never, it holds at the Move.
    {"interlock-safe",
     "          3 WaitFor timeout=500 bit-6 set -> END\n"
     "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
     "          1 WaitFor timeout=500 move-done -> END\n"
     "END:      0 StopProgram\n",
     "", 0},
    // A Delay between the door's test and the Move: the door may open meanwhile.
    {"interlock-after-wait",
     "          3 GetStatus\n"
     "          3 If-GoTo bit-6 clear -> END\n"
     "          0 Delay time=10\n"
     "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
     "END:      0 StopProgram\n",
     "interlock", 4},
    // Only a key typed at the terminal leads to the Move, which comes before the door is read.
    {"key",
     "          0 WaitFor timeout=100 key=q -> END\n"
     "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
     "END:      0 StopProgram\n",
     "interlock", 2},
    {"key-menu",
     "          0 ClearKey\n"
     "          0 WaitFor timeout=100 any-key -> END\n"
     "          0 If-GoTo key=m -> MOVE\n"
     "          0 StopProgram\n"
     "MOVE:     1 Move position=1000 velocity=7000 acceleration=100 pwm=0\n"
     "END:      0 StopProgram\n",
     "velocity-limit", 5},
    // Too fast only on the path where the button is held.
    {"velocity",
     "          3 GetStatus\n"
     "          3 If-GoTo bit-6 clear -> END\n"
     "          3 If-GoTo bit-5 set -> FAST\n"
     "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
     "          0 GoTo -> END\n"
     "FAST:     1 Move position=1000 velocity=7000 acceleration=100 pwm=0\n"
     "END:      0 StopProgram\n",
     "velocity-limit", 6},
    {"velocity-safe",
     "          3 GetStatus\n"
     "          3 If-GoTo bit-6 clear -> END\n"
     "          3 If-GoTo bit-5 set -> FAST\n"
     "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
     "          0 GoTo -> END\n"
     "FAST:     1 Move position=1000 velocity=6000 acceleration=100 pwm=0\n"
     "END:      0 StopProgram\n",
     "", 0},
};

TEST(Prove, FindsEachViolationOnItsPathAndItsCounterexampleFailsAsAScenario) {
    for (const ViolationCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const Proved p = Prove(c.name, c.body);
        const prove::ProveResult& r = p.result;
        if (!*c.rule) {
            EXPECT_FALSE(r.violated) << r.violation.rule << " at line " << LineOf(p, r.violation.address) << ": "
                                     << r.violation.message;
            EXPECT_FALSE(r.cut());
            EXPECT_GT(r.paths, 1);
            continue;
        }
        ASSERT_TRUE(r.violated);
        EXPECT_EQ(r.violation.rule, c.rule) << r.violation.message;
        EXPECT_EQ(LineOf(p, r.violation.address), c.line) << r.violation.message;

        // The written path, run as a scenario, fails with the same rule, line and time.
        const std::string yaml = prove::CounterexampleScenario(r, c.name, p.programPath, p.machinePath);
        const std::string path = WriteTemp(std::string(c.name) + ".cx.yaml", yaml);
        scenario::Scenario sc;
        std::vector<std::string> errors;
        ASSERT_TRUE(scenario::LoadScenario(path, sc, errors)) << (errors.empty() ? "" : errors[0]) << "\n" << yaml;
        const scenario::Result run = scenario::RunScenario(sc);
        EXPECT_FALSE(run.passed) << yaml;
        const std::string expected = std::string(c.rule) + " at " +
                                     scenario::Seconds(prove::ReportedMs(r.violation.micros)) + ": line " +
                                     std::to_string(c.line + kBodyLine);
        EXPECT_NE(run.message.find(expected), std::string::npos) << run.message << "\nexpected " << expected << "\n"
                                                                  << yaml;
    }
}

TEST(Prove, AScenarioWithAMachineKeyChecksItThroughoutTheRun) {
    const std::string program = WriteTemp("sc.sws", std::string(kHeader) + kCases[0].body);
    const std::string description = WriteTemp("sc.machine.yaml", kMachine);
    auto load = [&](const std::string& name, const std::string& text, std::vector<std::string>& errors) {
        scenario::Scenario sc;
        scenario::LoadScenario(WriteTemp(name, text), sc, errors);
        return sc;
    };
    // The door closed and the button held: the near move, inside the travel.
    std::vector<std::string> errors;
    scenario::Scenario sc = load("sc-pass.yaml",
                                 "program: " + program + "\nmachine: " + description +
                                     "\nsteps:\n  - set-input: {module: 3, bit: 6, level: high}\n"
                                     "  - set-input: {module: 3, bit: 5, level: high}\n  - run\n"
                                     "  - expect-stopped: {reason: stop-program, within: 5s}\n",
                                 errors);
    ASSERT_TRUE(errors.empty()) << errors[0];
    ASSERT_TRUE(sc.machine);
    const scenario::Result pass = scenario::RunScenario(sc);
    EXPECT_TRUE(pass.passed) << pass.message;

    // The button released: the far move leaves the travel while expect-stopped waits.
    sc = load("sc-fail.yaml",
              "program: " + program + "\nmachine: " + description +
                  "\nsteps:\n  - set-input: {module: 3, bit: 6, level: high}\n  - run\n"
                  "  - expect-stopped: {reason: stop-program, within: 30s}\n",
              errors);
    ASSERT_TRUE(errors.empty()) << errors[0];
    const scenario::Result fail = scenario::RunScenario(sc);
    EXPECT_FALSE(fail.passed);
    EXPECT_EQ(fail.line, 6);
    EXPECT_NE(fail.message.find("the machine description is broken: travel at 10.2"), std::string::npos)
        << fail.message;
    EXPECT_NE(fail.message.find("line 10 (the program stood at line 11)"), std::string::npos) << fail.message;

    // A description that cannot be read, or does not fit the modules, is refused before anything runs.
    load("sc-missing.yaml", "program: " + program + "\nmachine: nowhere.yaml\nsteps:\n  - run\n", errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("sc-missing.yaml:2: machine: "), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("nowhere.yaml: cannot be read"), std::string::npos) << errors[0];
    errors.clear();
    load("sc-misfit.yaml",
         "program: " + program + "\nmachine: " + WriteTemp("sc-misfit.machine.yaml", "modules:\n  3: {type: servo}\n") +
             "\nsteps:\n  - run\n",
         errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("module 3 is described as a ZEL-SERVO but is a ZEL-I/O"), std::string::npos)
        << errors[0];
}

TEST(Prove, AViolationOnEveryPathNeedsNoInputs) {
    // An absolute Move before homing, and the description asks for homing first.
    const Proved p = Prove("home",
                           "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
                           "          0 StopProgram\n",
                           {},
                           "modules:\n  1: {travel: [0, 50000], home-before-absolute: true}\n");
    ASSERT_TRUE(p.result.violated);
    EXPECT_EQ(p.result.violation.rule, "move-before-home");
    EXPECT_EQ(LineOf(p, p.result.violation.address), 1);
    EXPECT_TRUE(p.result.inputs.empty());
    const Proved homed = Prove("homed",
                               "          1 StartHoming\n"
                               "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
                               "          0 StopProgram\n",
                               {}, "modules:\n  1: {travel: [0, 50000], home-before-absolute: true}\n");
    EXPECT_FALSE(homed.result.violated) << homed.result.violation.message;
}

TEST(Prove, AStepperInputIsFreeAsAnIoPin) {
    // Servo 1 may move only while the stepper's Input 1 (its bit 2) is high.
    const char* description =
        "modules:\n  4: {inputs: {2: guard}}\ninterlocks:\n  - move: 1\n    requires: {input: guard}\n";
    const Proved p = Prove("stepper-input",
                           "          4 GetStatus\n"
                           "          4 If-GoTo input2-hi -> MOVE\n"
                           "          0 StopProgram\n"
                           "MOVE:     1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
                           "          0 StopProgram\n",
                           {}, description);
    ASSERT_TRUE(p.result.violated);
    EXPECT_EQ(p.result.violation.rule, "interlock");
    EXPECT_EQ(LineOf(p, p.result.violation.address), 4);
    ASSERT_EQ(p.result.inputs.size(), 2u);
    EXPECT_EQ(p.result.inputs[0].mask, 0x04);   // Input 2, as the If-GoTo read it
    EXPECT_EQ(p.result.inputs[1].mask, 0x02);   // Input 1, left low at the Move
    EXPECT_FALSE(p.result.inputs[1].high);
    const Proved safe = Prove("stepper-input-safe",
                              "          4 WaitFor timeout=100 input1-hi -> END\n"
                              "          1 Move position=1000 velocity=5000 acceleration=100 pwm=0\n"
                              "END:      0 StopProgram\n",
                              {}, description);
    EXPECT_FALSE(safe.result.violated) << safe.result.violation.message;
    EXPECT_EQ(safe.result.paths, 3);
    EXPECT_EQ(safe.result.decisions, 1);
}

TEST(Prove, ATravelLeftDuringAMoveNamesTheMoveAndWhereTheProgramStood) {
    // Velocity mode: no target, the axis runs out of its travel while the program waits.
    const Proved p = Prove("velmode",
                           kDoorFirst + std::string("          1 Move position=0 velocity=5000 acceleration=100 "
                                                    "pwm=0 vel-mode\n"
                                                    "          0 Delay time=2000\n"
                                                    "END:      0 StopProgram\n"));
    ASSERT_TRUE(p.result.violated);
    EXPECT_EQ(p.result.violation.rule, "travel");
    EXPECT_EQ(LineOf(p, p.result.violation.address), 3);
    EXPECT_EQ(LineOf(p, p.result.violation.standing), 4);
    EXPECT_EQ(p.result.violation.module, 1);
    EXPECT_GT(p.result.violation.value, 50000);
    // 50000 counts at 5000 counts/s, after the ramp: just over 10 s.
    EXPECT_GT(p.result.violation.micros, 10000000);
    EXPECT_LT(p.result.violation.micros, 10300000);
}

TEST(Prove, LoopsOnInputsEndByMergingStatesMetBefore) {
    const Proved p = Prove("loop",
                           "          3 MakeOutputs bit-1\n"
                           "LOOP:     3 GetStatus\n"
                           "          3 If-GoTo bit-5 set -> ON\n"
                           "          3 SetOutputs bit-1 clear\n"
                           "          0 Delay time=10\n"
                           "          0 GoTo -> LOOP\n"
                           "ON:       3 SetOutputs bit-1 set\n"
                           "          0 Delay time=10\n"
                           "          0 GoTo -> LOOP\n");
    EXPECT_FALSE(p.result.violated);
    EXPECT_FALSE(p.result.cut());
    EXPECT_GT(p.result.merged, 0);
    EXPECT_EQ(p.result.ended, 0);
    EXPECT_EQ(p.result.coveredLines, p.result.instructionLines);
    // Far less simulated time than a path run to the bound.
    EXPECT_LT(p.result.simulatedMs, 1000);
}

TEST(Prove, ABoundThatCutsIsReported) {
    // Creeping forward forever: no state comes back, --max-time ends it.
    const char* creep =
        "LOOP:     1 Move position=10 velocity=5000 acceleration=100 pwm=0 move-relative\n"
        "          0 Delay time=1\n"
        "          0 GoTo -> LOOP\n";
    prove::Bounds b;
    b.maxTimeMs = 2000;
    const Proved p = Prove("creep", creep, b, "modules:\n  1: {travel: [-100000, 100000]}\n");
    EXPECT_FALSE(p.result.violated);
    EXPECT_EQ(p.result.cutByTime, 1);
    EXPECT_TRUE(p.result.cut());

    // Three inputs read at once: eight paths, of which --max-paths 3 explores three.
    b = prove::Bounds();
    b.maxPaths = 3;
    const Proved q = Prove("many",
                           "          3 GetStatus\n"
                           "          3 If-GoTo bit-5 set -> A\n"
                           "A:        3 If-GoTo bit-6 set -> B\n"
                           "B:        3 If-GoTo bit-7 set -> C\n"
                           "C:        0 StopProgram\n",
                           b);
    EXPECT_FALSE(q.result.violated);
    EXPECT_EQ(q.result.paths, 3);
    EXPECT_EQ(q.result.cutByPaths, 4);   // one outcome at each fork met once the bound was reached
    EXPECT_TRUE(q.result.cut());
    const Proved all = Prove("all", "          3 GetStatus\n"
                                    "          3 If-GoTo bit-5 set -> A\n"
                                    "A:        3 If-GoTo bit-6 set -> B\n"
                                    "B:        3 If-GoTo bit-7 set -> C\n"
                                    "C:        0 StopProgram\n");
    EXPECT_EQ(all.result.paths, 8);
    EXPECT_EQ(all.result.decisions, 7);
    EXPECT_EQ(all.result.ended, 8);
    EXPECT_FALSE(all.result.cut());
}

TEST(Prove, CycleTimeOverThePathsAndOnePassOfALoop) {
    // Waiting for the button: at once, at the WaitFor's next test, or 1 s on to its timeout.
    const Proved p = Prove("cycle",
                           "          3 WaitFor timeout=100 bit-5 set -> LATE\n"
                           "          0 Delay time=5\n"
                           "LATE:     0 StopProgram\n");
    ASSERT_TRUE(p.result.cycle.any);
    EXPECT_EQ(p.result.ended, 3);
    EXPECT_LT(p.result.cycle.shortestMicros, 60000);     // the Delay, and no wait
    EXPECT_GE(p.result.cycle.longestMicros, 1000000);    // the whole timeout
    EXPECT_LT(p.result.cycle.longestMicros, 1010000);
    ASSERT_EQ(p.result.cycle.longestInputs.size(), 1u);
    EXPECT_FALSE(p.result.cycle.longestInputs[0].high);
    EXPECT_EQ(p.result.cycle.longestInputs[0].mask, 1 << 4);

    prove::Bounds b;
    b.cycle = true;
    const Proved loop = Prove("pass",
                              "LOOP:     0 Delay time=20\n"
                              "          3 GetStatus\n"
                              "          3 If-GoTo bit-5 clear -> LOOP\n"
                              "          0 Delay time=30\n"
                              "          0 GoTo -> LOOP\n");
    b.cycleAddress = loop.program.labelAddress("LOOP");
    const prove::ProveResult r = prove::Explore(loop.program, loop.machine, b);
    ASSERT_TRUE(r.pass.any);
    EXPECT_GE(r.pass.shortestMicros, 200000);
    EXPECT_LT(r.pass.shortestMicros, 210000);
    EXPECT_GE(r.pass.longestMicros, 500000);
    EXPECT_LT(r.pass.longestMicros, 510000);
    EXPECT_FALSE(r.cycle.any);
}

// The simulated master copied mid-run goes on exactly as the original.
TEST(Prove, ACopiedMasterRunsOnAsTheOriginal) {
    prove::ProgramImage program;
    const std::string path = WriteTemp("copy.sws", std::string(kHeader) +
                                                       "LOOP:     1 Move position=3000 velocity=5000 acceleration=100 pwm=0\n"
                                                       "          1 WaitFor timeout=500 move-done -> LOOP\n"
                                                       "          4 Move position=500 speed=40 acceleration=10\n"
                                                       "          0 Print print-chars=x\n"
                                                       "          0 Delay time=3\n"
                                                       "          1 Move position=0 velocity=5000 acceleration=100 pwm=0\n"
                                                       "          0 GoTo -> LOOP\n");
    ASSERT_EQ(prove::ReadProgramImage(path, program), "");
    SimOptions o;
    o.paceBaud = 0;
    sim::VirtualMaster a(o);
    ASSERT_TRUE(a.download(program.image.data(), int(program.image.size())));
    ASSERT_TRUE(a.run(2));
    for (int i = 0; i < 700; ++i) a.tick();
    sim::VirtualMaster b(a);
    std::string sa, sb;
    a.core().appendState(sa);
    b.core().appendState(sb);
    EXPECT_EQ(sa, sb);
    for (int i = 0; i < 1500; ++i) {
        a.tick();
        b.tick();
    }
    std::string pa, pb;
    a.poll(pa);
    b.poll(pb);
    EXPECT_EQ(pa, pb);
    EXPECT_EQ(a.core().servo(1)->position(), b.core().servo(1)->position());
    EXPECT_EQ(a.core().stepper(4)->position(), b.core().stepper(4)->position());
    sa.clear();
    sb.clear();
    a.core().appendState(sa);
    b.core().appendState(sb);
    EXPECT_EQ(sa, sb);
    // The copy owns its modules: moving one leaves the other.
    b.core().servo(1)->setPhysicalPosition(123456);
    EXPECT_NE(a.core().servo(1)->position(), b.core().servo(1)->position());
}

#ifdef STEPWRIGHT_CLI
// Every example keeps to the machine described beside it, and the demo on a
// shorter axis breaks it, with a counterexample that fails as a scenario.
TEST(ProveCli, TheExamplesKeepToTheirMachines) {
    const std::string dir = STEPWRIGHT_EXAMPLES;
    const char* examples[] = {"demo", "every-command", "io_wait", "key_menu", "servo_moves", "stepper_limits",
                              "subroutines"};
    for (const char* e : examples) {
        const std::string name = dir + "/" + e;
        const CliResult r = RunCli({"prove", name + ".sws", "--machine", name + ".machine.yaml"});
        EXPECT_EQ(r.code, 0) << e << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find(": no violation within bounds\n"), std::string::npos) << r.out;
        EXPECT_EQ(RunCli({"check", name + ".sws", "--machine", name + ".machine.yaml"}).code, 0) << e;
    }
    const std::string cx = testing::TempDir() + "prove_demo_cx.yaml";
    std::remove(cx.c_str());
    const CliResult r = RunCli({"prove", dir + "/demo.sws", "--machine", dir + "/demo.short-travel.machine.yaml",
                                "--counterexample", cx});
    EXPECT_EQ(r.code, 10) << r.err;
    EXPECT_NE(r.out.find("demo.sws:13: violation [travel] at 1.295 s: module 1 (X axis) at 3002, outside its travel "
                         "0 to 3000\n"),
              std::string::npos)
        << r.out;
    const CliResult t = RunCli({"test", cx});
    EXPECT_EQ(t.code, 9) << t.out << t.err;
    EXPECT_NE(t.out.find("travel at 1.295 s: line 13 (LOOP)"), std::string::npos) << t.out;

    // The descriptions lie among the scenarios: test leaves them out, saying so.
    const CliResult both = RunCli({"test", dir + "/demo.yaml", dir + "/demo.machine.yaml", "--list"});
    EXPECT_EQ(both.code, 0) << both.err;
    EXPECT_EQ(both.err, "stepwright-cli: " + dir + "/demo.machine.yaml: a machine description, not a scenario: left out\n");
    EXPECT_EQ(RunCli({"test", dir + "/demo.machine.yaml"}).code, 1);
}

// The command line: exit codes, the report's words, --json, and the written
// counterexample run by test.
TEST(ProveCli, ReportsTheViolationAndWritesACounterexampleThatTestFails) {
    const std::string program = WriteTemp("cli.sws", std::string(kHeader) + kCases[0].body);
    const std::string description = WriteTemp("cli.machine.yaml", kMachine);
    const std::string cx = testing::TempDir() + "prove_cli_cx.yaml";
    std::remove(cx.c_str());
    CliResult r = RunCli({"prove", program, "--machine", description, "--counterexample", cx});
    EXPECT_EQ(r.code, 10) << r.err;
    EXPECT_NE(r.out.find(program + ":10: violation [travel] at "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("inputs: before the run module 3 bit 6 (door-closed) high; before the run module 3 bit 5 (start) low"),
              std::string::npos)
        << r.out;
    CliResult t = RunCli({"test", cx});
    EXPECT_EQ(t.code, 9) << t.out << t.err;
    EXPECT_NE(t.out.find("travel at "), std::string::npos) << t.out;
    EXPECT_NE(t.out.find(": line 10 (the program stood at line 11): module 1 (X axis) at "), std::string::npos) << t.out;

    r = RunCli({"--json", "prove", program, "--machine", description});
    EXPECT_EQ(r.code, 10);
    EXPECT_NE(r.out.find("\"result\": \"violation\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"rule\": \"travel\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"line\": 10"), std::string::npos) << r.out;
}

TEST(ProveCli, SaysWhichBoundCutAndRefusesWhatDoesNotFit) {
    const std::string program = WriteTemp("cli-loop.sws", std::string(kHeader) +
                                                              "LOOP:     1 Move position=10 velocity=5000 acceleration=100 "
                                                              "pwm=0 move-relative\n"
                                                              "          0 Delay time=1\n"
                                                              "          0 GoTo -> LOOP\n");
    const std::string description = WriteTemp("cli-loop.machine.yaml", "modules:\n  1: {travel: [-100000, 100000]}\n");
    CliResult r = RunCli({"prove", program, "--machine", description, "--max-time", "500ms"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("no violation within bounds"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bounds: --max-time 0.500 s cut 1 path(s) still running: not every path was explored"),
              std::string::npos)
        << r.out;

    const std::string safe = WriteTemp("cli-safe.sws", std::string(kHeader) + kCases[1].body);
    r = RunCli({"prove", safe, "--machine", WriteTemp("cli-safe.machine.yaml", kMachine)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("bounds: none cut the exploration"), std::string::npos) << r.out;

    // A description of an I/O module at a servo's address; a description refused.
    r = RunCli({"prove", safe, "--machine", WriteTemp("cli-bad.yaml", "modules:\n  1: {type: io}\n")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("module 1 is described as a ZEL-I/O but is a ZEL-SERVO"), std::string::npos) << r.err;
    r = RunCli({"prove", safe, "--machine", WriteTemp("cli-worse.yaml", "modules:\n  1: {speed: 3}\n")});
    EXPECT_EQ(r.code, 2);
    r = RunCli({"prove", safe});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("missing --machine FILE"), std::string::npos) << r.err;
}
#endif

}  // namespace
