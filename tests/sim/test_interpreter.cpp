// The simulated master running downloaded programs: every instruction,
// written byte by byte into memory through the protocol, then run and watched
// through polls, Stop replies and the status area.

#include <gtest/gtest.h>

#include "SimHarness.h"

namespace {

constexpr uint8_t kRunning = 0x01;

Bytes LE32(int32_t v) {
    uint32_t u = uint32_t(v);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

Bytes ServoMove(uint8_t module, uint8_t control, int32_t pos, int32_t vel, int32_t acc, uint8_t pwm = 0) {
    return Frame(module, 0xE4, Cat({{control}, LE32(pos), LE32(vel), LE32(acc), {pwm}}), 1);
}

// Loads the program, runs it from address 2 and lets ms milliseconds pass.
std::string RunFor(Harness& h, const ProgramBuilder& p, int ms, Status* status = nullptr) {
    EXPECT_TRUE(h.load(p.build()));
    EXPECT_TRUE(h.runAt(2));
    h.run(ms);
    return h.poll(status);
}

TEST(SimInterpreter, LoopPrintsWhileRunningAndReportsItsAddress) {
    Harness h;
    ProgramBuilder p;
    p.label("L").add(Print("X")).add(Delay(1)).add(GoTo(), 3, "L");
    Status s{};
    std::string out = RunFor(h, p, 100, &s);
    EXPECT_GE(out.size(), 5u);
    EXPECT_EQ(out, std::string(out.size(), 'X'));
    EXPECT_EQ(s.b & kRunning, kRunning);
    EXPECT_EQ(s.a, sim::kRunning);
    // It stands in the Delay nearly all the time.
    EXPECT_EQ(s.address, 6);
}

TEST(SimInterpreter, StopProgramStopsAfterItself) {
    Harness h;
    ProgramBuilder p;
    p.add(Print("ok")).add(StopProgram()).add(Print("never"));
    Status s{};
    EXPECT_EQ(RunFor(h, p, 5, &s), "ok");
    EXPECT_EQ(s.b & kRunning, 0);
    EXPECT_EQ(s.a, sim::kStoppedByProgram);
    EXPECT_EQ(s.address, 2 + 5 + 3);
}

TEST(SimInterpreter, RunningOffTheEndStopsAtTheImageLength) {
    Harness h;
    ProgramBuilder p;
    p.add(Print("a")).add(Print("b"));
    Status s{};
    EXPECT_EQ(RunFor(h, p, 5, &s), "ab");
    EXPECT_EQ(s.a, sim::kEndOfProgram);
    EXPECT_EQ(s.address, p.here());
    EXPECT_EQ(s.b & kRunning, 0);
}

TEST(SimInterpreter, CallAndReturnUseTheStack) {
    Harness h;
    ProgramBuilder p;
    p.add(Call(), 3, "SUB").add(Print("2")).add(Call(), 3, "SUB").add(StopProgram());
    p.label("SUB").add(Print("s")).add(Return());
    Status s{};
    EXPECT_EQ(RunFor(h, p, 5, &s), "s2s");
    EXPECT_EQ(s.a, sim::kStoppedByProgram);
    EXPECT_EQ(h.core->callDepth(), 0);
}

TEST(SimInterpreter, StackFaultsStopWithAnError) {
    {
        Harness h;
        ProgramBuilder p;
        p.label("R").add(Call(), 3, "R");
        Status s{};
        RunFor(h, p, 5, &s);
        EXPECT_EQ(s.a, sim::kStackOverflow);
        EXPECT_EQ(s.b, sim::kErrorBit);
        EXPECT_EQ(h.core->callDepth(), sim::kCallDepth);
    }
    {
        Harness h;
        ProgramBuilder p;
        p.add(Print("x")).add(Return());
        Status s{};
        RunFor(h, p, 5, &s);
        EXPECT_EQ(s.a, sim::kStackEmpty);
        EXPECT_EQ(s.address, 6) << "stops at the faulty Return";
    }
}

TEST(SimInterpreter, IfGoToTestsTheMastersOwnStatusAfterGetStatus) {
    struct Case {
        uint8_t selector, value, mask;
        int key;              // typed before the run, -1 none
        const char* expected; // "J" jumped, "F" fell through
    } cases[] = {
        {3, 'k', 0xFF, 'k', "J"},   // "Key = " k
        {3, 'k', 0xFF, 'j', "F"},
        {3, 'k', 0xFF, -1, "F"},
        {3, 0, 0x80, 'x', "J"},     // "Any key"
        {3, 0, 0x80, -1, "F"},
        {0, 4, 0xFF, -1, "J"},      // "# Mod. = " 4
        {0, 3, 0xFF, -1, "F"},
        {2, 0x10, 0x10, -1, "F"},   // "Timeout" with no timer set
    };
    for (const Case& c : cases) {
        Harness h;
        if (c.key >= 0) h.send({uint8_t(c.key)});
        ProgramBuilder p;
        p.add(GetStatus()).add(IfGoTo(c.selector, c.value, c.mask), 3, "J").add(Print("F")).add(StopProgram());
        p.label("J").add(Print("J")).add(StopProgram());
        EXPECT_EQ(RunFor(h, p, 5), c.expected) << int(c.selector) << " " << int(c.value) << " key " << c.key;
    }
}

TEST(SimInterpreter, CountersCountDownAndAreTestedBySelectors24To30) {
    Harness h;
    ProgramBuilder p;
    p.add(SetCounter(1, 3)).label("L").add(Print(".")).add(CountDown(1), 3, "L");
    p.add(SetCounter(2, 7)).add(SetCounter(3, 0x1234)).add(SetCounter(4, 60000));
    p.add(IfGoTo(26, 7, 0xFF), 3, "C2").add(Print("no")).add(StopProgram());
    p.label("C2").add(IfGoTo(30, 0x60, 0xFF), 3, "C4").add(Print("no4")).add(StopProgram());
    p.label("C4").add(Print("yes")).add(StopProgram());
    EXPECT_EQ(RunFor(h, p, 5), "...yes");
    EXPECT_EQ(h.core->counter(0), 0);
    EXPECT_EQ(h.core->counter(3), 60000);
    // Read reply shows the counters at bytes 24 to 31, low byte first.
    Bytes r = h.readReply(32);
    ASSERT_EQ(r.size(), 32u);
    EXPECT_EQ(Bytes(r.begin() + 24, r.end()), (Bytes{0, 0, 7, 0, 0x34, 0x12, 0x60, 0xEA}));
}

TEST(SimInterpreter, CountDownOfACounterAtZeroFallsThrough) {
    Harness h;
    ProgramBuilder p;
    p.add(SetCounter(2, 0)).label("L").add(Print("x")).add(CountDown(2), 3, "L").add(StopProgram());
    EXPECT_EQ(RunFor(h, p, 5), "x");
    EXPECT_EQ(h.core->counter(1), 0);
}

TEST(SimInterpreter, BadCounterIndexIsABadInstruction) {
    Harness h;
    ProgramBuilder p;
    p.add(Master(12, {1, 0, 3}));
    Status s{};
    RunFor(h, p, 5, &s);
    EXPECT_EQ(s.a, sim::kBadInstruction);
    EXPECT_EQ(s.address, 2);
}

TEST(SimInterpreter, TimerFlagIsSetWhenSetTimerRunsOut) {
    Harness h;
    ProgramBuilder p;
    p.add(SetTimer(5)).label("L").add(GetStatus()).add(IfGoTo(2, 0x10, 0x10), 3, "T").add(GoTo(), 3, "L");
    p.label("T").add(Print("T")).add(StopProgram());
    Status s{};
    EXPECT_EQ(RunFor(h, p, 40, &s), "");
    EXPECT_EQ(s.b & sim::kTimerBit, 0);
    h.run(20);
    EXPECT_EQ(h.poll(&s), "T");
    EXPECT_EQ(s.b & sim::kTimerBit, sim::kTimerBit);
}

TEST(SimInterpreter, DelayWaitsRealHundredthsAndReportsItsOwnAddress) {
    Harness h;
    ProgramBuilder p;
    p.add(Print("a")).add(Delay(10)).add(Print("b"));
    Status s{};
    EXPECT_EQ(RunFor(h, p, 90, &s), "a");
    EXPECT_EQ(s.address, 6);
    EXPECT_EQ(s.b & kRunning, kRunning);
    h.run(15);
    EXPECT_EQ(h.poll(&s), "b");
    EXPECT_EQ(s.a, sim::kEndOfProgram);
}

TEST(SimInterpreter, WaitForAKeyContinuesOnTheKeyAndJumpsOnTimeout) {
    for (bool typed : {false, true}) {
        Harness h;
        ProgramBuilder p;
        p.add(WaitFor(MasterSlot(), 3, 0, 0x80, 100), 14, "TO").add(Print("K")).add(StopProgram());
        p.label("TO").add(Print("T")).add(StopProgram());
        ASSERT_TRUE(h.load(p.build()));
        ASSERT_TRUE(h.runAt(2));
        h.run(300);
        Status s{};
        EXPECT_EQ(h.poll(&s), "");
        EXPECT_EQ(s.address, 2);
        if (typed) h.send({'q'});
        h.run(300);
        EXPECT_EQ(h.poll(), typed ? "K" : "") << typed;
        h.run(500);
        EXPECT_EQ(h.poll(), typed ? "" : "T") << typed;
    }
}

TEST(SimInterpreter, WaitForWithKeyCompare) {
    Harness h;
    ProgramBuilder p;
    p.add(WaitFor(MasterSlot(), 3, 'y', 0xFF, 1000), 14, "TO").add(Print("Y")).add(StopProgram());
    p.label("TO").add(Print("T")).add(StopProgram());
    ASSERT_TRUE(h.load(p.build()));
    ASSERT_TRUE(h.runAt(2));
    h.send({'n'});
    h.run(100);
    EXPECT_EQ(h.poll(), "");
    h.send({'y'});
    h.run(20);
    EXPECT_EQ(h.poll(), "Y");
}

TEST(SimInterpreter, WaitForServoMoveDoneFollowsTheMotor) {
    Harness h;
    ProgramBuilder p;
    p.add(ServoMove(1, 0x9F, 1000, 5000, 100));
    p.add(WaitFor(Frame(1, 0x13, {0x00}, 1), 0, 0x01, 0x01, 1000), 14, "TO");
    p.add(Print("done")).add(StopProgram());
    p.label("TO").add(Print("timeout")).add(StopProgram());
    EXPECT_EQ(RunFor(h, p, 300), "");
    EXPECT_GT(h.core->servo(1)->position(), 0);
    EXPECT_LT(h.core->servo(1)->position(), 1000);
    h.run(700);
    EXPECT_EQ(h.poll(), "done");
    EXPECT_EQ(h.core->servo(1)->position(), 1000);
}

TEST(SimInterpreter, ClearKeyForgetsTheKey) {
    Harness h;
    h.send({'a'});
    ProgramBuilder p;
    p.add(ClearKey()).add(GetStatus()).add(IfGoTo(3, 0, 0x80), 3, "K").add(Print("none")).add(StopProgram());
    p.label("K").add(Print("key")).add(StopProgram());
    EXPECT_EQ(RunFor(h, p, 5), "none");
    EXPECT_EQ(h.core->key(), -1);
}

TEST(SimInterpreter, ModuleStatusConditionsUseTheLastReply) {
    SimOptions o;
    o.moduleTypes = {0, 2, 3};
    Harness h(o);
    h.core->io(2)->setExternalLevels(0x0104);   // Bit 3 and Bit 9 high
    h.core->stepper(3)->setExternalInputs(sim::StepperModule::Input2);
    ProgramBuilder p;
    p.add(Frame(2, 0x13, {0x01}, 3));
    p.add(IfGoTo(1, 0xFF, 0x04), 3, "B3").add(Print("-")).label("B3").add(Print("3"));
    p.add(IfGoTo(2, 0x00, 0x01), 3, "B9").add(Print("9")).label("B9");
    p.add(Frame(3, 0x13, {0x08}, 2));
    p.add(IfGoTo(1, 0x04, 0x04), 3, "IN2").add(Print("-")).label("IN2").add(Print("i"));
    p.add(Frame(1, 0x13, {0x00}, 1));
    p.add(IfGoTo(0, 0x08, 0x08), 3, "PWR").add(Print("-")).label("PWR").add(Print("p"));
    p.add(StopProgram());
    EXPECT_EQ(RunFor(h, p, 20), "39ip");
}

TEST(SimInterpreter, HostAndProgramRepliesNeverReplaceEachOther) {
    // While the program keeps asking servo 1 for its status byte alone (a
    // WaitFor every 5 ms), the host's own request must still read back as its
    // own 9 collected bytes; and the host's request between the program's
    // GetStatus of the I/O module and its If-GoTo must not change the test.
    SimOptions o;
    o.moduleTypes = {0, 2};
    Harness h(o);
    h.core->io(2)->setExternalLevels(0x0004);   // Bit 3 high
    ProgramBuilder p;
    p.add(ServoMove(1, 0x9F, 100000, 20000, 500));
    p.add(Frame(2, 0x13, {0x01}, 3)).add(Delay(10));
    p.add(IfGoTo(1, 0xFF, 0x04), 3, "B3").add(Print("-")).label("B3").add(Print("3"));
    p.add(WaitFor(Frame(1, 0x13, {0x00}, 1), 0, 0x01, 0x01, 5000), 14, "TO");
    p.label("TO").add(StopProgram());
    ASSERT_TRUE(h.load(p.build()));
    ASSERT_TRUE(h.runAt(2));
    h.run(2);
    ASSERT_EQ(h.execute(Frame(1, 0x13, {0x11}, 9)), 0x00);   // during the Delay
    h.run(200);
    ASSERT_EQ(h.execute(Frame(1, 0x13, {0x11}, 9)), 0x00);   // during the WaitFor
    const int32_t position = h.core->servo(1)->position();
    ASSERT_GT(position, 0);
    h.run(20);
    const Bytes r = h.readReply(10);
    ASSERT_EQ(r.size(), 10u);
    EXPECT_EQ(int32_t(r[1] | (r[2] << 8) | (r[3] << 16) | (uint32_t(r[4]) << 24)), position);
    EXPECT_EQ(r[0] & 0x08, 0x08) << "power on";
    EXPECT_EQ(h.poll(), "3");
}

TEST(SimInterpreter, BreakpointStopsBeforeItsInstructionAndRunLeavesIt) {
    Harness h;
    ProgramBuilder p;
    p.label("L").add(Print("a")).label("B").add(Print("b")).add(GoTo(), 3, "L");
    ASSERT_TRUE(h.load(p.build()));
    const uint16_t b = p.address("B");
    ASSERT_TRUE(h.breakAt(b));
    ASSERT_TRUE(h.runAt(2));
    h.run(5);
    Status s{};
    EXPECT_EQ(h.poll(&s), "a");
    EXPECT_EQ(s.a, sim::kAtBreakpoint);
    EXPECT_EQ(s.address, b);
    EXPECT_EQ(s.b & kRunning, 0);
    // Run from the breakpoint executes it and stops there on the next pass.
    ASSERT_TRUE(h.runAt(b));
    h.run(5);
    EXPECT_EQ(h.poll(&s), "ba");
    EXPECT_EQ(s.address, b);
    // Cleared, the loop runs on.
    ASSERT_TRUE(h.breakAt(0xFFFF));
    ASSERT_TRUE(h.runAt(b));
    h.run(5);
    EXPECT_GT(h.poll(&s).size(), 4u);
    EXPECT_EQ(s.b & kRunning, kRunning);
}

TEST(SimInterpreter, StepExecutesOneInstruction) {
    Harness h;
    ProgramBuilder p;
    p.add(Print("1")).add(GoTo(), 3, "X").add(Print("skipped")).label("X").add(Print("2")).add(StopProgram());
    ASSERT_TRUE(h.load(p.build()));
    ASSERT_TRUE(h.breakAt(6));   // steps do not stop at the breakpoint
    Status s{};
    ASSERT_TRUE(h.stepAt(2));
    h.run(1);
    EXPECT_EQ(h.poll(&s), "1");
    EXPECT_EQ(s.a, sim::kStepDone);
    EXPECT_EQ(s.b & kRunning, 0);
    EXPECT_EQ(s.address, 6);
    ASSERT_TRUE(h.stepAt(s.address));
    h.run(1);
    EXPECT_EQ(h.poll(&s), "");
    EXPECT_EQ(s.address, p.address("X"));
    ASSERT_TRUE(h.stepAt(s.address));
    h.run(1);
    EXPECT_EQ(h.poll(&s), "2");
    ASSERT_TRUE(h.stepAt(s.address));
    h.run(1);
    h.poll(&s);
    EXPECT_EQ(s.a, sim::kStoppedByProgram);
}

TEST(SimInterpreter, StepThroughADelayTakesTheDelay) {
    Harness h;
    ProgramBuilder p;
    p.add(Delay(5)).add(StopProgram());
    ASSERT_TRUE(h.load(p.build()));
    ASSERT_TRUE(h.stepAt(2));
    h.run(20);
    Status s{};
    h.poll(&s);
    EXPECT_EQ(s.b & kRunning, kRunning);
    h.run(40);
    h.poll(&s);
    EXPECT_EQ(s.b & kRunning, 0);
    EXPECT_EQ(s.address, 7);
}

TEST(SimInterpreter, HostStopAndResumeKeepTheSubroutine) {
    Harness h;
    ProgramBuilder p;
    p.add(Call(), 3, "S").add(Print("back")).add(StopProgram());
    p.label("S").add(Print("s")).label("W").add(Delay(10)).add(Return());
    ASSERT_TRUE(h.load(p.build()));
    ASSERT_TRUE(h.runAt(2));
    h.run(50);
    Status s = h.stop();
    EXPECT_EQ(s.a, sim::kStoppedByHost);
    EXPECT_EQ(s.b & kRunning, 0);
    EXPECT_EQ(s.address, p.address("W"));
    EXPECT_EQ(h.core->callDepth(), 1);
    // Run where it stopped: the Return finds its caller.
    ASSERT_TRUE(h.runAt(s.address));
    h.run(150);
    EXPECT_EQ(h.poll(), "sback");

    // A start anywhere else begins without subroutines.
    ASSERT_TRUE(h.runAt(2));
    h.run(50);
    EXPECT_EQ(h.stop().address, p.address("W"));
    ASSERT_TRUE(h.runAt(p.address("S")));
    h.run(150);
    Status after{};
    EXPECT_EQ(h.poll(&after), "ss");
    EXPECT_EQ(after.a, sim::kStackEmpty);
}

TEST(SimInterpreter, TavoInitAndModuleCount) {
    SimOptions o;
    o.moduleTypes = {0, 3};
    Harness h(o);
    ProgramBuilder p;
    p.add(TavoInit()).add(GetStatus()).add(IfGoTo(0, 2, 0xFF), 3, "Y").add(Print("n")).add(StopProgram());
    p.label("Y").add(Print("y")).add(StopProgram());
    Status s{};
    EXPECT_EQ(RunFor(h, p, 50, &s), "y");
    EXPECT_EQ(s.count, 2);
}

TEST(SimInterpreter, ResetInstructionRestartsTheMaster) {
    Harness h;
    ProgramBuilder p;
    p.add(SetCounter(1, 9)).add(ResetInstr()).add(Print("never"));
    ASSERT_TRUE(h.load(p.build()));
    ASSERT_TRUE(h.runAt(2));
    EXPECT_EQ(h.run(5), Bytes{'#'});
    Status s{};
    EXPECT_EQ(h.poll(&s), "");
    EXPECT_EQ(s.a, sim::kIdle);
    EXPECT_EQ(s.address, 2);
    EXPECT_EQ(h.core->counter(0), 0);
}

TEST(SimInterpreter, SetOutputsDrivesAnIoModulesOutputs) {
    SimOptions o;
    o.moduleTypes = {2};
    Harness h(o);
    ProgramBuilder p;
    p.add(Frame(1, 0x20, {0xF0, 0xF7}, 1));              // Bits 1-4 and 12 are outputs
    p.add(SetOutputs(1, true, 0x05, 0x08));               // set Bits 1, 3, 12
    p.add(SetOutputs(1, false, 0xFE, 0xFF));              // clear Bit 1
    p.add(Frame(1, 0x13, {0x01}, 3)).add(StopProgram());
    RunFor(h, p, 10);
    EXPECT_EQ(h.core->io(1)->outputLatch(), 0x0804);
    ASSERT_EQ(h.execute(Frame(1, 0x13, {0x01}, 3)), 0x00);
    Bytes r = h.readReply(4);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[1], 0x04);
    EXPECT_EQ(r[2], 0x08);
    // The host's Execute Now sends SetOutputs as its 11 bytes.
    EXPECT_EQ(h.execute(SetOutputs(1, true, 0x01, 0x00)), 0x00);
    EXPECT_EQ(h.core->io(1)->outputLatch(), 0x0805);
}

TEST(SimInterpreter, SetOutputsForAMissingOrOtherModuleStops) {
    SimOptions o;
    o.moduleTypes = {0};
    for (uint8_t module : {1, 5}) {
        Harness h(o);
        ProgramBuilder p;
        p.add(SetOutputs(module, true, 1, 0));
        Status s{};
        RunFor(h, p, 5, &s);
        EXPECT_EQ(s.a, module == 1 ? sim::kWrongModule : sim::kNoModule);
    }
}

TEST(SimInterpreter, MonitorSubroutineRunsOnceWhenTheTimerRunsOut) {
    Harness h;
    ProgramBuilder p;
    p.add(MonitorSub(), 3, "M").add(SetTimer(2)).label("L").add(Delay(1)).add(GoTo(), 3, "L");
    p.label("M").add(Print("M")).add(Return());
    Status s{};
    EXPECT_EQ(RunFor(h, p, 10, &s), "");
    h.run(30);
    EXPECT_EQ(h.poll(&s), "M");
    h.run(100);
    EXPECT_EQ(h.poll(&s), "");
    EXPECT_EQ(s.b & kRunning, kRunning);
    EXPECT_EQ(h.core->callDepth(), 0);
}

TEST(SimInterpreter, PrintWaitsForTheHostWhenItsBufferIsFull) {
    Harness h;
    ProgramBuilder p;
    p.label("L").add(Print("0123456789")).add(GoTo(), 3, "L");
    ASSERT_TRUE(h.load(p.build()));
    ASSERT_TRUE(h.runAt(2));
    h.run(200);
    EXPECT_LE(h.core->pendingPrint(), size_t(sim::kPrintBufferSize));
    std::string first = h.poll();
    EXPECT_GE(first.size(), size_t(sim::kPrintBufferSize) - 10);
    EXPECT_EQ(first.substr(0, 20), "01234567890123456789");
    h.run(200);
    std::string second = h.poll();
    EXPECT_GE(second.size(), size_t(sim::kPrintBufferSize) - 10);
    EXPECT_EQ((first.size() + second.size()) % 10, 0u) << "no characters lost";
}

TEST(SimInterpreter, ChangeBaudToAnotherRateCutsTheHostOff) {
    {
        Harness h;
        ProgramBuilder p;
        p.add(ChangeBaud(0x0F)).add(StopProgram());
        Status s{};
        RunFor(h, p, 5, &s);
        EXPECT_EQ(s.a, sim::kStoppedByProgram);
    }
    {
        Harness h;
        ProgramBuilder p;
        p.add(ChangeBaud(0x20)).add(StopProgram());
        ASSERT_TRUE(h.load(p.build()));
        ASSERT_TRUE(h.runAt(2));
        h.run(5);
        EXPECT_EQ(h.core->masterBaud(), 9600);
        EXPECT_EQ(h.send({0x80}), Bytes{});
        EXPECT_EQ(h.send({0x8F}), Bytes{});
    }
    {
        Harness h;
        ProgramBuilder p;
        p.add(ChangeBaud(0x33));
        Status s{};
        RunFor(h, p, 5, &s);
        EXPECT_EQ(s.a, sim::kBadInstruction);
    }
}

TEST(SimInterpreter, MalformedProgramsStopWithAReason) {
    struct Case {
        Bytes program;
        uint8_t reason;
        uint16_t address;
        const char* what;
    } cases[] = {
        {Bytes{0x12, 0x00, 0x04}, sim::kBadInstruction, 2, "neither form"},
        {Bytes{0xBB, 0x00, 0x11}, sim::kBadInstruction, 2, "unused code 17"},
        {Bytes{0xBB, 0x01, 0x00, 0x05}, sim::kBadInstruction, 2, "GoTo without its address"},
        {Bytes{0xBB, 0x09, 0x05, 'a'}, sim::kBadInstruction, 2, "Print longer than the program"},
        {Cat({Master(0, LE16(0x3000))}), sim::kBadAddress, 0x3000, "jump past the program"},
        {Cat({Master(0, LE16(1))}), sim::kBadAddress, 1, "jump into the length header"},
        {Bytes{0xAA, 0x01, 0x13, 0x00, 0x99, 0x01}, sim::kFrameChecksum, 2, "frame checksum"},
        {Frame(9, 0x13, {0x00}, 1), sim::kNoModule, 2, "no module 9"},
        {Cat({IfGoTo(40, 0, 0)}), sim::kBadInstruction, 2, "selector outside the status area"},
    };
    for (const Case& c : cases) {
        Harness h;
        ASSERT_TRUE(h.load(c.program)) << c.what;
        ASSERT_TRUE(h.runAt(2));
        h.run(5);
        Status s{};
        h.poll(&s);
        EXPECT_EQ(s.a, c.reason) << c.what;
        EXPECT_EQ(s.address, c.address) << c.what;
        EXPECT_EQ(s.b, sim::kErrorBit) << c.what;
    }
}

TEST(SimInterpreter, RunWithoutAProgramEndsAtOnce) {
    Harness h;
    ASSERT_TRUE(h.runAt(2));
    h.run(1);
    Status s{};
    h.poll(&s);
    EXPECT_EQ(s.a, sim::kEndOfProgram);
    EXPECT_EQ(s.address, 2);
}

}  // namespace
