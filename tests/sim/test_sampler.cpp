// The sampler behind the Watch window: against the simulated master on a
// pseudo-terminal, and against a scripted master that records the order of
// every exchange.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "ScriptedMaster.h"
#include "SimSession.h"
#include "TestPlatform.h"
#include "app/ComSettings.h"
#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/PollTimer.h"
#include "app/Terminal.h"
#include "app/panels/Servo.h"
#include "link/Download.h"
#include "link/Polling.h"
#include "app/Files.h"
#include "app/ModuleListBox.h"
#include "app/WatchLoop.h"
#include "modules/ModuleList.h"
#include "modules/Sampler.h"
#include "program/ProgramFile.h"
#include "sim/SimCore.h"
#include "sim/SimMaster.h"

namespace {

using Clock = Sampler::Clock;

class HookPlatform : public TestPlatform {
public:
    std::function<void()> onWait;
    void wait(int ms) override {
        TestPlatform::wait(ms);
        if (onWait) onWait();
    }
};

class SamplerSim : public ::testing::Test {
protected:
    HookPlatform ui;
    std::unique_ptr<MainState> s;
    std::unique_ptr<SimMaster> sim;
    Sampler sampler;

    // The simulated master's settings (the default: separate reply areas).
    virtual SimOptions Options() const { return {}; }

    void SetUp() override {
        sim = std::make_unique<SimMaster>(Options());
        std::string error;
        ASSERT_TRUE(sim->start(error)) << error;
        s = std::make_unique<MainState>(ui);
        ConnectToSim(*s, *sim);
        ASSERT_TRUE(s->port != nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PollTimerTimer(*s);
        ASSERT_TRUE(s->online);
        ui.messages.clear();
    }

    // Samples until done() says the rows suffice (at most 600 rows).
    std::vector<std::vector<ModuleSample>> Watch(std::vector<int> addresses,
                                                 const std::function<bool(const std::vector<ModuleSample>&)>& done) {
        std::vector<std::vector<ModuleSample>> rows;
        sampler.setWatched(std::move(addresses));
        sampler.start(Clock::now());
        bool finished = false;
        RunWatchLoop(*s, sampler, [&] { return finished || rows.size() >= 600; },
                     [&](const std::vector<ModuleSample>& row) {
                         rows.push_back(row);
                         finished = done(row);
                     });
        return rows;
    }
};

TEST_F(SamplerSim, ServoMoveRisesMonotonicallyToItsTarget) {
    SelectModule(*s, 1);
    s->form.ServoCBox.index = 0;
    ServoCBoxClick(*s);
    s->form.servo.ServoEdit[1].text = "5000";
    s->form.servo.ServoEdit[2].text = "10000";
    s->form.servo.ServoEdit[3].text = "200";
    ExeNowButtonClick(*s);
    ASSERT_TRUE(ui.messages.empty());

    const auto rows = Watch({1}, [](const std::vector<ModuleSample>& row) { return row[0].a == 5000; });
    ASSERT_GE(rows.size(), 3u);
    int inBetween = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 1u);
        EXPECT_EQ(rows[i][0].kind(), SampleKind::Servo);
        EXPECT_TRUE(rows[i][0].rowStart());
        if (i > 0) {
            EXPECT_GE(rows[i][0].a, rows[i - 1][0].a) << "row " << i;
            EXPECT_GE(rows[i][0].timeMs, rows[i - 1][0].timeMs);
        }
        if (rows[i][0].a > 0 && rows[i][0].a < 5000) ++inBetween;
    }
    EXPECT_EQ(rows.back()[0].a, 5000);
    EXPECT_GE(inBetween, 2) << "the trace shows the motion, not only its ends";
    EXPECT_EQ(ChannelText(rows.back()[0], 4), "On");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SamplerSim, ProgramWaitingOnTheWatchedServoLeavesItsSamplesWhole) {
    // The demo moves servo 1 between 0 and 4000 and waits on its status byte
    // all the while: no sample may show the program's reply in place of the
    // watch's (position and home read as 0 in the middle of a move).
    ASSERT_TRUE(OpenProgramFile(*s, std::string(STEPWRIGHT_EXAMPLES) + "/demo.stw"));
    DownloadButtonClick(*s);
    ASSERT_EQ(ui.messages, std::vector<std::string>{"Download complete"});
    ui.messages.clear();
    RunButtonClick(*s);
    int rowCount = 0;
    const auto rows = Watch({1}, [&](const std::vector<ModuleSample>&) { return ++rowCount == 80; });
    ASSERT_EQ(rows.size(), 80u);
    int moving = 0;
    for (size_t i = 1; i + 1 < rows.size(); ++i) {
        const int32_t before = rows[i - 1][0].a, here = rows[i][0].a, after = rows[i + 1][0].a;
        if (before > 400 && after > 400) {
            ++moving;
            EXPECT_GT(here, 200) << "row " << i << " between " << before << " and " << after;
        }
    }
    EXPECT_GE(moving, 20) << "the servo moved while it was watched";
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SamplerSim, IoInputAppearsInTheNextSample) {
    // Modules 1 and 2 are servos, 3 the I/O module, 4 the stepper.
    int changedAt = -1;
    int rowCount = 0;
    const auto rows = Watch({0, 3, 4}, [&](const std::vector<ModuleSample>&) {
        if (++rowCount == 3) {
            sim->withCore([](sim::SimCore& c) {
                c.io(3)->setExternalLevels(0x0801);
                c.stepper(4)->setExternalInputs(sim::StepperModule::Input1);
            });
            changedAt = rowCount;
        }
        return rowCount == 4;
    });
    ASSERT_EQ(rows.size(), 4u);
    ASSERT_EQ(changedAt, 3);
    const std::vector<ModuleSample>& before = rows[2];
    const std::vector<ModuleSample>& after = rows[3];
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(before[1].a, 0);
    EXPECT_EQ(after[0].kind(), SampleKind::Master);
    EXPECT_EQ(after[1].kind(), SampleKind::Io);
    EXPECT_EQ(after[1].a, 0x0801);
    EXPECT_EQ(ChannelText(after[1], 0), "High");
    EXPECT_EQ(ChannelText(after[1], 1), "Low");
    EXPECT_EQ(ChannelText(after[1], 11), "High");
    EXPECT_EQ(ChannelText(after[2], 6), "High");   // stepper Input 1
    EXPECT_EQ(ChannelText(after[2], 5), "Low");    // E-Stop
}

TEST_F(SamplerSim, ACorruptedCountCostsOneSampleAndNothingAfterIt) {
    // The count byte of the third Read reply reaches the master as 106: it
    // answers 107 bytes, of which the sample reads 11.  The other 96 must not
    // be read as the replies of the samples that follow (zeros pass the
    // checksum and read as a servo with its power off).
    sim->withCore([](sim::SimCore& c) { c.faults().badCountAt = c.readReplies() + 3; });
    int rowCount = 0;
    const auto rows = Watch({1, 3}, [&](const std::vector<ModuleSample>&) { return ++rowCount == 8; });
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(sampler.badReplies(), 1u);
    std::string power;   // servo 1's Power, sample by sample
    for (const auto& row : rows)
        for (const ModuleSample& m : row) power += m.kind() == SampleKind::Servo ? ChannelText(m, 4) + " " : "";
    EXPECT_EQ(power, "On On On On On On On ") << "one servo sample dropped, none misread";
    EXPECT_TRUE(s->online && ui.messages.empty());
}

// A master whose program and host replies share one area.
class SamplerSharedArea : public SamplerSim {
protected:
    SimOptions Options() const override {
        SimOptions o;
        o.sharedReplyArea = true;
        return o;
    }
};

TEST_F(SamplerSharedArea, SamplesSayTheProgramRanAndOnlyStoppedWaitsForItsStop) {
    ASSERT_TRUE(OpenProgramFile(*s, std::string(STEPWRIGHT_EXAMPLES) + "/demo.stw"));
    DownloadButtonClick(*s);
    ui.messages.clear();
    RunButtonClick(*s);
    // Every sample taken while the demo runs says so.
    int rowCount = 0;
    auto rows = Watch({1, 3}, [&](const std::vector<ModuleSample>&) { return ++rowCount == 10; });
    ASSERT_EQ(rows.size(), 10u);
    for (const auto& row : rows)
        for (const ModuleSample& m : row) EXPECT_TRUE(m.programRan()) << "at " << m.timeMs << " ms";

    // Only while stopped: nothing is fetched while the demo runs...
    sampler.setOnlyStopped(true);
    const uint64_t before = sampler.rows();
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(600);
    RunWatchLoop(*s, sampler, [&] { return Clock::now() >= until; }, nullptr);
    EXPECT_EQ(sampler.rows(), before);
    EXPECT_TRUE(sampler.waitingForStop());
    // ...and once it is stopped, the rows are whole: the I/O module's own
    // bits, never the reply of the program's requests to servo 1.
    StopButtonClick(*s);
    sim->withCore([](sim::SimCore& c) { c.io(3)->setExternalLevels(0x0005); });
    rowCount = 0;
    rows = Watch({1, 3}, [&](const std::vector<ModuleSample>&) { return ++rowCount == 30; });
    ASSERT_EQ(rows.size(), 30u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 2u);
        EXPECT_FALSE(RowProgramRan(row));
        EXPECT_EQ(row[1].a, 0x0005);
    }
}

// ---------------------------------------------------------------------------

class SamplerScripted : public ::testing::Test {
protected:
    HookPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    ScriptedMaster m{*s};
    Sampler sampler;

    void SetUp() override {
        StartTimerTimer(*s);
        m.setModules({0, 3, 2});
        s->online = true;
        s->pollTimerOn = true;
        s->moduleListCount = 3;
        s->moduleTypes[1] = 0;
        s->moduleTypes[2] = 3;
        s->moduleTypes[3] = 2;
        s->lineCount = 0;
    }
    Sampler::Step StepNow() { return sampler.step(*s, Clock::now(), -1); }
};

TEST_F(SamplerScripted, BytesOnTheLineMatchTheBudget) {
    struct Case {
        int address;
        int type;
        int toMaster, fromMaster;
        double ms;   // at 19200 baud
    };
    const Case cases[] = {
        {1, 0, 11, 14, 13.02},    // servo
        {2, 3, 11, 14, 13.02},    // stepper
        {3, 2, 11, 8, 9.90},      // I/O
        {0, 127, 2, 34, 18.75},   // master
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const SampleBytes b = StatusSampleBytes(c.type);
        EXPECT_EQ(b.toMaster, c.toMaster);
        EXPECT_EQ(b.fromMaster, c.fromMaster);
        EXPECT_NEAR(StatusSampleMs(c.type), c.ms, 0.01);
        // The sampler's exchange writes exactly what the budget counts.
        const size_t sentBefore = m.sent().size();
        sampler.setWatched({c.address});
        sampler.start(Clock::now());
        ASSERT_EQ(StepNow(), Sampler::Step::Sampled);
        EXPECT_EQ(int(m.sent().size() - sentBefore), c.toMaster);
        EXPECT_TRUE(m.port->rx.empty()) << "the reply was read to its last byte";
    }
    EXPECT_NEAR(BudgetRowPeriodMs({0}), 26.04, 0.01);
    EXPECT_NEAR(BudgetRowPeriodMs({0, 0, 2, 3}), 2 * (3 * 13.02 + 9.90), 0.05);
}

TEST_F(SamplerScripted, RequestsAreTheStatusWindowsFrames) {
    m.replyData = {0x28, 0x10, 0x27, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x05};
    sampler.setWatched({1, 2, 3});
    sampler.start(Clock::now());
    for (int i = 0; i < 3; ++i) ASSERT_EQ(StepNow(), Sampler::Step::Sampled);
    const std::vector<std::vector<uint8_t>> frames = {
        {0xAA, 0x01, 0x13, 0x11, 0x25, 0x09},
        {0xAA, 0x02, 0x13, 0x19, 0x2E, 0x0A},
        {0xAA, 0x03, 0x13, 0x01, 0x17, 0x03},
    };
    EXPECT_EQ(m.executed(), frames);
    const std::vector<uint8_t> expected = {0x85, 0x87, 0x85, 0x87, 0x85, 0x87};
    EXPECT_EQ(m.commands(), expected);
    const auto& row = sampler.lastRow();
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[0].a, 10000);
    EXPECT_EQ(row[0].b, -1);
    EXPECT_EQ(ChannelText(row[0], 2), "High");     // 0x20 limit 1
    EXPECT_EQ(ChannelText(row[0], 3), "Low");
    EXPECT_EQ(ChannelText(row[0], 4), "On");       // 0x08 power
    EXPECT_EQ(row[1].inputs, 0xFF);                // stepper input byte is byte 5
    EXPECT_EQ(row[2].a, 0x0710);                   // I/O bits 1-8 from byte 1, 9-12 from byte 2
}

TEST_F(SamplerScripted, NoSampleFallsBetweenACommandAndItsReply) {
    sampler.setWatched({1});
    sampler.start(Clock::now());
    std::vector<Sampler::Step> duringWaits;
    ui.onWait = [&] { duringWaits.push_back(StepNow()); };
    // Step and a terminal key hold the poll timer off around their exchange
    // and the pause that follows it.
    s->form.ProgExeGroup.enabled = true;
    s->form.StepButton.enabled = true;
    StepButtonClick(*s);
    TerminalMemoKeyPress(*s, 'k');
    ASSERT_EQ(duringWaits.size(), 2u);
    for (Sampler::Step step : duringWaits) EXPECT_EQ(step, Sampler::Step::Idle);
    // The Step command and the key come one after the other, nothing between.
    const std::vector<uint8_t> commands = m.commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), 0x86);
    EXPECT_EQ(m.keys, std::vector<uint8_t>{'k'});
    // Afterwards the link is free again.
    EXPECT_EQ(StepNow(), Sampler::Step::Sampled);
    struct Hold {
        const char* what;
        std::function<void(MainState&)> set;
    };
    const Hold holds[] = {
        {"off line", [](MainState& st) { st.online = false; }},
        {"poll timer held off", [](MainState& st) { st.pollTimerOn = false; }},
        {"module list mismatch", [](MainState& st) { st.moduleMismatch = true; }},
        {"no port", [](MainState& st) { st.port.reset(); }},
    };
    for (const Hold& h : holds) {
        SCOPED_TRACE(h.what);
        auto fresh = std::make_unique<MainState>(ui);
        fresh->online = true;
        fresh->pollTimerOn = true;
        fresh->port = std::make_unique<FakeSerial>();
        EXPECT_TRUE(Sampler::LinkFree(*fresh));
        h.set(*fresh);
        EXPECT_FALSE(Sampler::LinkFree(*fresh));
    }
}

TEST_F(SamplerScripted, SilentMasterGivesOneMessageAndStopsSampling) {
    sampler.setWatched({1, 2});
    sampler.start(Clock::now());
    ASSERT_EQ(StepNow(), Sampler::Step::Sampled);
    m.silent = true;
    EXPECT_EQ(StepNow(), Sampler::Step::Failed);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Stepwright not responding"});
    EXPECT_FALSE(s->online);
    EXPECT_FALSE(sampler.running());
    EXPECT_TRUE(sampler.stoppedByLink());
    const size_t sent = m.sent().size();
    // Back on line, the sampler stays stopped until it is started again.
    s->online = true;
    EXPECT_EQ(StepNow(), Sampler::Step::Idle);
    EXPECT_EQ(m.sent().size(), sent);
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(SamplerScripted, ChecksumMismatchLeavesTheSampleOut) {
    m.corruptChecksum = true;
    sampler.setWatched({1});
    sampler.start(Clock::now());
    EXPECT_EQ(StepNow(), Sampler::Step::Sampled);
    EXPECT_EQ(sampler.samples().size(), 0u);
    EXPECT_EQ(sampler.badReplies(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(s->online);
}

TEST_F(SamplerScripted, ASampleReadsOnlyItsOwnReply) {
    struct Case {
        const char* what;
        std::vector<uint8_t> before, tail;   // bytes waiting before the exchange; after the reply
        size_t samples;
        uint64_t badReplies;
        std::string terminal;
        bool detection;   // an announcement waits for the next tick
    } const cases[] = {
        {"printed characters waiting", {'H', 'i'}, {}, 1, 0, "Hi", false},
        {"an announcement waiting", {'#'}, {}, 0, 0, "#", true},
        {"zeros beyond the count (they pass the checksum)", {}, std::vector<uint8_t>(96, 0), 0, 1, "", false},
        {"a lone announcement after a whole reply", {}, {'#'}, 1, 0, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto state = std::make_unique<MainState>(ui);
        MainState& fresh = *state;
        ScriptedMaster sm(fresh);
        sm.replyData.assign(10, c.tail.size() > 1 ? 0 : 8);
        sm.replyTail = c.tail;
        sm.send(c.before);
        fresh.online = fresh.pollTimerOn = true;
        fresh.moduleListCount = 1;
        fresh.moduleTypes[1] = 0;
        Sampler fs;
        fs.setWatched({1});
        fs.start(Clock::now());
        fs.step(fresh, Clock::now(), -1);
        EXPECT_EQ(fs.samples().size(), c.samples);
        EXPECT_EQ(fs.badReplies(), c.badReplies);
        EXPECT_TRUE(sm.port->rx.empty()) << "nothing is left to be read as the next reply";
        std::string terminal;
        for (const std::string& line : fresh.terminal.lines) terminal += line;
        EXPECT_EQ(terminal, c.terminal);
        EXPECT_EQ(fresh.forceDetection, c.detection);
    }
}

TEST_F(SamplerScripted, SamplesMarkTheRunningProgramAndGaps) {
    sampler.setWatched({1});
    sampler.setIntervalMs(100);
    Clock::time_point fake{};
    sampler.clock = [&fake] { return fake; };
    sampler.start(fake);
    constexpr uint8_t kRow = ModuleSample::kRowStart, kRan = ModuleSample::kProgramRan, kGap = ModuleSample::kAfterGap;
    // follow: Run or Step since the last poll; flags: of the sample taken, -1 none taken.
    struct Case { int atMs; uint8_t statusB; bool follow, onlyStopped; int flags; } const cases[] = {
        {0, 0x00, false, false, kRow},    {100, 0x01, false, false, kRow | kRan}, {200, 0x00, true, false, kRow | kRan},
        {300, 0x01, false, true, -1},     {400, 0x00, true, true, -1},
        {500, 0x00, false, true, kRow | kGap},   // 300 ms after the last sample: more than two periods
        {600, 0x00, false, true, kRow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.atMs);
        fake = Clock::time_point{} + std::chrono::milliseconds(c.atMs);
        s->status.statusB = c.statusB;
        s->followFlag = c.follow;
        sampler.setOnlyStopped(c.onlyStopped);
        const size_t before = sampler.samples().size(), sent = m.sent().size();
        EXPECT_EQ(sampler.step(*s, fake, -1), c.flags < 0 ? Sampler::Step::Idle : Sampler::Step::Sampled);
        EXPECT_EQ(sampler.waitingForStop(), c.flags < 0);
        if (c.flags < 0) {
            EXPECT_EQ(m.sent().size(), sent) << "nothing is asked while the program may run";
        } else {
            ASSERT_EQ(sampler.samples().size(), before + 1);
            EXPECT_EQ(sampler.samples()[before].flags & 0xE0, c.flags);
        }
    }
}

TEST_F(SamplerScripted, SamplesWaitForThePollAndForTheirRow) {
    sampler.setWatched({1});
    sampler.setIntervalMs(100);
    const Clock::time_point t0 = Clock::now();
    sampler.start(t0);
    // Too close to the poll tick: the sample waits.
    EXPECT_EQ(sampler.step(*s, t0, 10.0), Sampler::Step::Idle);
    EXPECT_EQ(sampler.step(*s, t0, 100.0), Sampler::Step::Sampled);
    // The next row is due one interval after the first.
    EXPECT_EQ(sampler.step(*s, t0 + std::chrono::milliseconds(50), 100.0), Sampler::Step::Idle);
    EXPECT_NEAR(sampler.msUntilDue(t0 + std::chrono::milliseconds(50)), 50.0, 0.5);
    EXPECT_EQ(sampler.step(*s, t0 + std::chrono::milliseconds(100), 100.0), Sampler::Step::Sampled);
    // An interval shorter than the budget's period gives way to it.
    sampler.setIntervalMs(1);
    EXPECT_NEAR(sampler.rowPeriodMs(*s), 26.04, 0.01);
}

// ---------------------------------------------------------------------------

TEST(SampleRing, KeepsTheNewestSamplesInOrder) {
    struct Case {
        size_t capacity;
        int pushed;
        std::vector<uint32_t> kept;
    };
    const Case cases[] = {
        {4, 0, {}},
        {4, 3, {0, 1, 2}},
        {4, 4, {0, 1, 2, 3}},
        {4, 6, {2, 3, 4, 5}},
        {3, 10, {7, 8, 9}},
    };
    for (const Case& c : cases) {
        SampleRing ring(c.capacity);
        for (int i = 0; i < c.pushed; ++i) {
            ModuleSample m;
            m.timeMs = uint32_t(i);
            ring.push(m);
        }
        std::vector<uint32_t> kept;
        for (size_t i = 0; i < ring.size(); ++i) kept.push_back(ring[i].timeMs);
        EXPECT_EQ(kept, c.kept) << c.capacity << "/" << c.pushed;
    }
    // An hour at the budget's highest rate for one servo fits the default ring.
    EXPECT_GE(double(kDefaultRingSamples), 3600.0 * 1000.0 / BudgetRowPeriodMs({0}));
    EXPECT_LE(kDefaultRingSamples * sizeof(ModuleSample), size_t(4) << 20);
}

TEST(SampleText, RowsAsCsvJsonAndText) {
    ModuleSample servo = DecodeStatusReply(SampleKind::Servo,
                                           std::vector<uint8_t>{0x48, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0, 0, 0}.data());
    servo.address = 1;
    servo.timeMs = 1234;
    servo.flags |= ModuleSample::kRowStart;
    uint8_t area[32] = {};
    area[24] = 0x40, area[25] = 0x9C;   // counter 1: 40000
    area[30] = 7;                       // counter 4
    ModuleSample master = DecodeStatusReply(SampleKind::Master, area);
    ModuleSample ranMaster = master;
    ranMaster.flags |= ModuleSample::kProgramRan;
    const TableModules modules = {{0, SampleKind::Master}, {1, SampleKind::Servo}};
    EXPECT_EQ(CsvHeader(modules),
              "time_ms,0 Counter 1,0 Counter 2,0 Counter 3,0 Counter 4,1 Position,1 Home Position,1 Limit 1,"
              "1 Limit 2,1 Power,program");
    struct Case {
        std::vector<ModuleSample> row;
        const char* csv;
        const char* json;
        const char* text;
    } const cases[] = {
        {{servo}, "1234,,,,,-1,16,Low,High,On,Stopped",
         "{\"time_ms\":1234,\"program\":\"Stopped\",\"modules\":[{\"address\":1,\"Position\":-1,"
         "\"Home Position\":16,\"Limit 1\":\"Low\",\"Limit 2\":\"High\",\"Power\":\"On\"}]}",
         "1.234  1: Position -1, Home Position 16, Limit 1 Low, Limit 2 High, Power On"},
        // One sample taken while the program may have run marks the whole row.
        {{ranMaster, servo}, "0,40000,0,0,7,-1,16,Low,High,On,Running",
         "{\"time_ms\":0,\"program\":\"Running\",\"modules\":[{\"address\":0,\"Counter 1\":40000,"
         "\"Counter 2\":0,\"Counter 3\":0,\"Counter 4\":7},{\"address\":1,\"Position\":-1,"
         "\"Home Position\":16,\"Limit 1\":\"Low\",\"Limit 2\":\"High\",\"Power\":\"On\"}]}",
         "0.000  0: Counter 1 40000, Counter 2 0, Counter 3 0, Counter 4 7  "
         "1: Position -1, Home Position 16, Limit 1 Low, Limit 2 High, Power On  (program running)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CsvRow(c.row, modules), c.csv);
        EXPECT_EQ(JsonRow(c.row), c.json);
        EXPECT_EQ(TextRow(c.row), c.text);
    }
}

}  // namespace
