// Module detection: adopting the modules found, checking a defined list,
// the count cap, unknown types and a master that stops answering.

#include <gtest/gtest.h>

#include "ScriptedMaster.h"
#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/ModuleDetection.h"
#include "app/ModuleListBox.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// Records what the progress window showed while the detection waited.
struct WatchingPlatform : TestPlatform {
    const MainState* s = nullptr;
    std::vector<ProgressState> duringWait;
    void wait(int ms) override {
        TestPlatform::wait(ms);
        duringWait.push_back(s->progress);
    }
};

struct DetectionTest : ::testing::Test {
    WatchingPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    ScriptedMaster m{*s};

    void SetUp() override {
        ui.s = s.get();
        StartTimerTimer(*s);
    }
    void restart(const std::vector<int>& detected) {
        ClearModuleList1Click(*s);
        s->online = false;
        ui.messages.clear();
        m.exchanges.clear();
        m.port->rx.clear();
        m.setModules(detected);
    }
    const Lines& items() { return s->form.ModuleListBox.items; }
};

TEST_F(DetectionTest, AdoptsTwoServosAndAnIoModule) {
    m.setModules({0, 0, 2});
    s->forceDetection = s->moduleMismatch = true;
    DetectModules(*s);
    // Stop, TavoInit, Stop, then a type request and its reply per module.
    EXPECT_EQ(m.commands(), (Bytes{0x80, 0x85, 0x80, 0x85, 0x87, 0x85, 0x87, 0x85, 0x87}));
    const Bytes head = {0x80, 0x85, 0x03, 0xBB, 0x00, 0x0E, 0xC9, 0x80, 0x85, 0x06,
                        0xAA, 0x01, 0x13, 0x20, 0x34, 0x03, 0x15, 0x87, 0x04};
    EXPECT_EQ(Bytes(m.sent().begin(), m.sent().begin() + long(head.size())), head);
    EXPECT_EQ(m.executed()[3], (Bytes{0xAA, 0x03, 0x13, 0x20, 0x36, 0x03}));
    // Only "Stepwright Detected" was shown, during the 2 s wait.
    ASSERT_EQ(ui.waits, std::vector<int>{2000});
    const ProgressState& p = ui.duringWait[0];
    EXPECT_TRUE(p.visible && p.label1Visible && !p.label2Visible && !p.label3Visible);
    EXPECT_FALSE(s->progress.visible || s->progress.label1Visible || ui.busy);
    EXPECT_EQ(ui.repaints, 1);

    EXPECT_EQ(ui.messages, Lines{"3 module(s) found"});
    EXPECT_EQ(items(), (Lines{" 0 [Master]", " 1 ZEL-SERVO", " 2 ZEL-SERVO", " 3 ZEL-I/O"}));
    EXPECT_EQ(s->form.ModuleListBox.index, 0);
    EXPECT_TRUE(s->form.MasterCBox.enabled);
    EXPECT_FALSE(s->form.ServoCBox.enabled || s->form.IoCBox.enabled || s->form.StepCBox.enabled);
    EXPECT_TRUE(s->moduleListDefined);
    EXPECT_EQ(s->moduleListCount, 3);
    EXPECT_EQ(s->moduleTypes[3], 2);
    EXPECT_EQ(Bytes(s->detectedTypes + 1, s->detectedTypes + 5), (Bytes{0, 0, 2, 0xFF}));
    EXPECT_TRUE(s->online);
    EXPECT_FALSE(s->forceDetection || s->moduleMismatch);
    EXPECT_TRUE(s->form.ProgExeGroup.enabled);
    EXPECT_EQ(s->form.ProgExeGroup.caption, "Program Execution");
}

TEST_F(DetectionTest, ModuleCountsAndTypes) {
    struct Case {
        std::vector<int> detected;
        Lines message;
        size_t items;
        std::string last;
    };
    const Case cases[] = {
        {{}, {"0 module(s) found"}, 1, " 0 [Master]"},
        {{0, 0, 3, 3, 2}, {"5 module(s) found"}, 6, " 5 ZEL-I/O"},
        {std::vector<int>(31, 3), {"31 module(s) found"}, 32, "31 ZEL-STEP"},
        {std::vector<int>(40, 0), {"31 module(s) found"}, 32, "31 ZEL-SERVO"},   // the tables hold 31
        {{1, 127}, {"2 module(s) found"}, 3, " 2 UNKNOWN"},
    };
    for (const Case& c : cases) {
        restart(c.detected);
        DetectModules(*s);
        EXPECT_EQ(ui.messages, c.message);
        EXPECT_EQ(items().size(), c.items);
        EXPECT_EQ(items().back(), c.last);
        EXPECT_EQ(s->moduleListCount, c.items - 1);
        EXPECT_EQ(m.executed().size(), c.items);   // TavoInit and one request per module
    }
    // The unknown codes are kept as detected but listed as 255.
    EXPECT_EQ(items()[1], " 1 UNKNOWN");
    EXPECT_EQ(s->moduleTypes[1], 255);
    EXPECT_EQ(s->moduleTypes[2], 255);
    EXPECT_EQ(s->detectedTypes[1], 1);
    // With the list now defined the next detection finds 1 != 255.
    ui.messages.clear();
    DetectModules(*s);
    EXPECT_EQ(ui.messages.back(), "Detected modules do not match module list - program execution may fail.");
    EXPECT_TRUE(s->moduleMismatch);
}

TEST_F(DetectionTest, DefinedListComparedNotChanged) {
    AddServoModule1Click(*s);
    AddStepModule1Click(*s);
    AddIOModule1Click(*s);
    AddIOModule1Click(*s);
    const Lines defined = items();
    s->detectedTypes[3] = 42;
    s->detectedTypes[4] = 43;
    ui.messages.clear();
    m.setModules({0, 0, 2, 2});
    DetectModules(*s);
    EXPECT_EQ(ui.messages,
              (Lines{"4 module(s) found", "Detected modules do not match module list - program execution may fail."}));
    EXPECT_TRUE(s->moduleMismatch);
    // Addresses 3 and up were not asked and keep their earlier entries.
    EXPECT_EQ(m.executed().size(), 3u);
    EXPECT_EQ(Bytes(s->detectedTypes + 2, s->detectedTypes + 5), (Bytes{0, 42, 43}));
    EXPECT_EQ(s->moduleTypes[2], 3);
    EXPECT_EQ(items(), defined);
    EXPECT_TRUE(s->online);

    // A list that matches: no message, mismatch cleared.
    m.setModules({0, 3, 2, 2});
    ui.messages.clear();
    DetectModules(*s);
    EXPECT_EQ(ui.messages, Lines{"4 module(s) found"});
    EXPECT_FALSE(s->moduleMismatch);
    EXPECT_EQ(items(), defined);
}

TEST_F(DetectionTest, MasterStopsAnswering) {
    struct Case {
        int silentFrom;   // index of the first command left unanswered
        Lines messages;
    };
    // Commands: 0 Stop, 1 TavoInit, 2 Stop, 3/4 type request and reply of
    // module 1, 5/6 those of module 2.
    const Case cases[] = {{0, {"Stepwright not responding"}},
                          {1, {"Stepwright not responding"}},
                          {2, {"Stepwright not responding"}},
                          {5, {"2 module(s) found", "Stepwright not responding"}},
                          {6, {"2 module(s) found", "Stepwright not responding"}}};
    for (const Case& c : cases) {
        restart({0, 0});
        m.silentFromCommand = c.silentFrom;
        DetectModules(*s);
        EXPECT_EQ(ui.messages, c.messages) << c.silentFrom;
        EXPECT_EQ(m.exchanges.size(), size_t(c.silentFrom + 1)) << c.silentFrom;
        EXPECT_FALSE(s->online || s->form.ProgExeGroup.enabled || s->progress.visible) << c.silentFrom;
        // Nothing rebuilt.
        EXPECT_EQ(items(), Lines{" 0 [Master]"}) << c.silentFrom;
        EXPECT_FALSE(s->moduleListDefined) << c.silentFrom;
    }
}

TEST_F(DetectionTest, WrongReplyChecksumAndStaleInput) {
    m.setModules({3, 2});
    m.corruptChecksum = true;
    // Bytes the master sends while it initialises its network are discarded.
    m.onExecute = [](ScriptedMaster& self, const Bytes& instr) {
        if (instr.size() == 3 && instr[2] == 0x0E) self.send({'j', 'u', 'n', 'k'});
    };
    DetectModules(*s);
    EXPECT_EQ(ui.messages, Lines{"2 module(s) found"});
    EXPECT_TRUE(s->online);
    EXPECT_EQ(items(), (Lines{" 0 [Master]", " 1 ZEL-STEP", " 2 ZEL-I/O"}));
}

}  // namespace
