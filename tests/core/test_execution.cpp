#include <gtest/gtest.h>

#include "ExecFixture.h"
#include "TestPlatform.h"
#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/PollTimer.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"
#include "link/Download.h"
#include "link/Polling.h"
#include "modules/ModuleList.h"
#include "app/ModuleListBox.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

// Records whether the hour-glass was up and the poll timer on at each wait.
struct ExecPlatform : TestPlatform {
    MainState* s = nullptr;
    std::vector<std::pair<bool, bool>> atWait;   // busy, poll timer on
    void wait(int ms) override {
        atWait.emplace_back(busy, s->pollTimerOn);
        TestPlatform::wait(ms);
    }
};

struct ExecutionTest : ::testing::Test {
    ExecPlatform ui;
    std::unique_ptr<MainState> s = OnlineState(ui);
    ScriptedMaster m{*s};
    Bytes& sent = m.port->sent;

    void SetUp() override { ui.s = s.get(); }

    // Downloads the lines, then forgets what the download sent and showed.
    void load(const std::vector<ProgramLine>& lines) {
        SetProgram(*s, lines);
        ui.messages.clear();
        DownloadButtonClick(*s);
        ASSERT_EQ(ui.messages, Strings{"Download complete"});
        ui.messages.clear();
        sent.clear();
    }

    // Module list: address i (from 1) gets types[i - 1].
    void modules(std::initializer_list<int> types) {
        int a = 1;
        for (int t : types) {
            s->moduleTypes[a] = t;
            s->form.ModuleListBox.items.push_back(ModuleListLine(a, t));
            ++a;
        }
    }

    static Bytes executeFrame(const Bytes& instruction) {
        Bytes out = {0x85, uint8_t(instruction.size())};
        unsigned sum = 0;
        for (uint8_t b : instruction) {
            out.push_back(b);
            sum += b;
        }
        out.push_back(uint8_t(sum));
        return out;
    }
};

TEST_F(ExecutionTest, RunStartsAtTheImageStartThenResumesWhereStopLeftOff) {
    load({FillerLine(5), FillerLine(6), FillerLine(7)});
    RunButtonClick(*s);
    EXPECT_EQ(sent, (Bytes{0x81, 0x02, 0x00}));
    EXPECT_TRUE(s->resumeFlag && s->followFlag);

    m.stopReply[4] = 13;   // the third line
    StopButtonClick(*s);
    EXPECT_EQ(s->currentLine, 2);
    EXPECT_TRUE(s->listing.selected(2));
    EXPECT_TRUE(s->resumeFlag);

    sent.clear();
    RunButtonClick(*s);
    EXPECT_EQ(sent, (Bytes{0x81, 13, 0x00}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ExecutionTest, RunWithoutReplyStillSetsTheFlags) {
    m.silent = true;
    RunButtonClick(*s);
    EXPECT_EQ(sent, Bytes{0x81});
    EXPECT_TRUE(s->resumeFlag && s->followFlag);
    EXPECT_EQ(ui.messages, Strings{"Stepwright not responding"});
}

TEST_F(ExecutionTest, MismatchRefusesRunStepAndExecuteNow) {
    modules({2});
    SelectModule(*s, 1);
    s->form.IoCBox.index = 3;   // GetStatus, a module frame
    IoCBoxClick(*s);
    s->moduleMismatch = true;
    s->pollTimerOn = true;
    for (auto handler : {RunButtonClick, StepButtonClick, ExeNowButtonClick}) handler(*s);
    EXPECT_EQ(ui.messages, Strings(3, "Module list does not match detected modules."));
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(s->resumeFlag || s->followFlag);
    EXPECT_TRUE(s->pollTimerOn);
    EXPECT_TRUE(ui.waits.empty());
}

TEST_F(ExecutionTest, StepSkipsDelaysWithOneMessageEach) {
    struct Case {
        std::vector<ProgramLine> lines;
        bool resume;
        uint16_t from;
        size_t messages;
        uint8_t address;
    } cases[] = {
        {{FillerLine(5), DelayLine(100)}, false, 0, 0, 2},
        {{DelayLine(100), FillerLine(5)}, false, 0, 1, 7},
        {{DelayLine(100), DelayLine(50), FillerLine(5)}, false, 0, 2, 12},
        {{FillerLine(5), DelayLine(10), FillerLine(5)}, true, 7, 1, 12},
    };
    for (const Case& c : cases) {
        load(c.lines);
        ui.waits.clear();
        ui.atWait.clear();
        s->pollTimerOn = true;
        s->resumeFlag = c.resume;
        s->status.programAddress = c.from;
        StepButtonClick(*s);
        EXPECT_EQ(ui.messages, Strings(c.messages, "Cannot step through a delay - stepping to next line"));
        EXPECT_EQ(sent, (Bytes{0x86, c.address, 0x00}));
        EXPECT_EQ(ui.waits, std::vector<int>{100});
        EXPECT_EQ(ui.atWait, (std::vector<std::pair<bool, bool>>{{false, false}}));   // poll off while waiting
        EXPECT_TRUE(s->pollTimerOn && s->resumeFlag && s->followFlag);
    }
}

TEST_F(ExecutionTest, StepWithoutAPortLeavesThePollTimerOff) {
    // On line with the port gone (a failed open whose close query was
    // cancelled): the step fails as every exchange does, and no polling
    // starts against the missing port.
    load({FillerLine(5)});
    s->port.reset();
    s->pollTimerOn = true;
    StepButtonClick(*s);
    EXPECT_EQ(ui.messages, (Strings{"SioPutChars failed", "Stepwright not responding"}));
    EXPECT_EQ(ui.atWait, (std::vector<std::pair<bool, bool>>{{false, false}}));
    EXPECT_FALSE(s->pollTimerOn);
    EXPECT_TRUE(s->resumeFlag && s->followFlag);
}

TEST_F(ExecutionTest, StepNeverLooksPastTheImageBuffer) {
    s->resumeFlag = true;
    s->status.programAddress = 16380;
    s->programImage[16382] = 9;   // a stale Delay code near the buffer's end
    StepButtonClick(*s);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(sent, (Bytes{0x86, 0x01, 0x40}));   // 16385: nothing further read
}

struct BreakTest : ExecutionTest {
    // Lines 0 to 8: a comment at 2, the label "L4" on 4, line 7 unlabelled.
    void SetUp() override {
        ExecutionTest::SetUp();
        std::vector<ProgramLine> lines;
        for (int i = 0; i < 9; ++i) lines.push_back(FillerLine(5 + i));
        lines[2] = CommentLine(";note");
        lines[4] = MasterLine(5, {1, 2, 3}, "L4");
        load(lines);
    }
    void breakAt(int line) {
        s->currentLine = line;
        BreakButtonClick(*s);
    }
    std::vector<int> marked() const {
        std::vector<int> out;
        for (int i = 0; i < s->listing.count(); ++i)
            if (s->listing.text(i)[0] == '\x01') out.push_back(i);
        return out;
    }
};

TEST_F(BreakTest, BreakMovesAndClearsTheSingleBreakpoint) {
    const uint16_t a4 = s->lines[4].address, a7 = s->lines[7].address;
    const std::string text4 = s->listing.text(4), text7 = s->listing.text(7);

    breakAt(4);
    EXPECT_EQ(sent, (Bytes{0x82, uint8_t(a4), uint8_t(a4 >> 8)}));
    EXPECT_EQ(marked(), std::vector<int>{4});
    EXPECT_EQ(s->listing.text(4).substr(1), text4.substr(1));
    EXPECT_TRUE(s->listing.selected(4));

    sent.clear();
    breakAt(7);
    EXPECT_EQ(sent, (Bytes{0x82, 0xFF, 0xFF, 0x82, uint8_t(a7), uint8_t(a7 >> 8)}));
    EXPECT_EQ(s->listing.text(4), text4);   // 'L' back
    EXPECT_EQ(marked(), std::vector<int>{7});
    EXPECT_EQ(s->breakpointLine, 7);

    sent.clear();
    breakAt(7);
    EXPECT_EQ(sent, (Bytes{0x82, 0xFF, 0xFF}));
    EXPECT_EQ(s->listing.text(7), text7);   // blank back
    EXPECT_TRUE(marked().empty());
    EXPECT_EQ(s->breakpointLine, -1);
    EXPECT_TRUE(s->listing.selected(7));

    for (int line : {2, 9, -1}) breakAt(line);   // comment, end marker, no line
    EXPECT_EQ(sent, (Bytes{0x82, 0xFF, 0xFF}));
    EXPECT_TRUE(marked().empty());
}

TEST_F(BreakTest, RestartSendsNothingAndGoesBackToLineZero) {
    RunButtonClick(*s);
    sent.clear();
    s->listing.select(5);
    s->currentLine = 6;
    s->listing.setTopIndex(3);
    RestartButtonClick(*s);
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(s->resumeFlag);
    EXPECT_TRUE(s->followFlag);   // a running program is still followed
    EXPECT_EQ(s->currentLine, 0);
    EXPECT_EQ(s->listing.topIndex(), 0);
    for (int i = 0; i < s->listing.count(); ++i) EXPECT_EQ(s->listing.selected(i), i == 0) << i;
}

TEST_F(BreakTest, ResetClearsTheMarkWithoutTellingTheMaster) {
    breakAt(4);
    RunButtonClick(*s);
    sent.clear();
    s->listing.deselectAll();
    s->listing.select(6);
    s->currentLine = 6;
    s->pollTimerOn = true;
    ResetButtonClick(*s);
    EXPECT_EQ(sent, Bytes{0x8F});
    EXPECT_EQ(ui.waits, std::vector<int>{200});
    EXPECT_TRUE(ui.atWait.at(0).first);   // hour-glass during the wait
    EXPECT_FALSE(ui.busy);
    EXPECT_FALSE(s->resumeFlag);
    EXPECT_TRUE(marked().empty());
    EXPECT_EQ(s->breakpointLine, -1);
    EXPECT_TRUE(s->listing.selected(0) && s->listing.selected(6));
    EXPECT_EQ(s->currentLine, 6);
}

TEST_F(ExecutionTest, ExecuteNowSendsModuleFramesWholeAndSetOutputs) {
    modules({0, 3, 2});
    // Servo Stop, "Enable Amplifier", "Stop Abruptly", module 1.
    SelectModule(*s, 1);
    s->form.ServoCBox.index = 1;
    ServoCBoxClick(*s);
    s->form.servo.ServoCheck[7].checked = true;
    s->form.servo.ServoRG.index = 1;
    ExeNowButtonClick(*s);
    EXPECT_EQ(sent, executeFrame({0xAA, 0x01, 0x17, 0x25, 0x3D, 0x01}));

    // Stepper velocity-mode Move, module 2: eight bytes.
    sent.clear();
    SelectModule(*s, 2);
    s->form.StepCBox.index = 0;
    StepCBoxClick(*s);
    s->form.step.StepCheck[1].checked = s->form.step.StepCheck[2].checked = true;
    s->form.step.StepEdit[2].text = "100";
    s->form.step.StepEdit[3].text = "20";
    ExeNowButtonClick(*s);
    EXPECT_EQ(sent, executeFrame({0xAA, 0x02, 0x34, 0x96, 0x64, 0x14, 0x44, 0x01}));

    // I/O SetOutputs "Set" with Bit 2 and Bit 10, module 3: a master instruction of 11 bytes.
    sent.clear();
    SelectModule(*s, 3);
    s->form.IoCBox.index = 1;
    IoCBoxClick(*s);
    s->form.io.IoRG.index = 0;
    s->form.io.IoCheck[2].checked = s->form.io.IoCheck[10].checked = true;
    ExeNowButtonClick(*s);
    EXPECT_EQ(sent, executeFrame({0xBB, 8, 18, 0, 0, 0, 0, 3, 1, 0x02, 0x02}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ExecutionTest, ExecuteNowRefusesOtherMasterInstructionsAndUnknownModules) {
    modules({2, 255});
    SelectModule(*s, 1);   // I/O If-GoTo on Bit 1
    s->form.IoCBox.index = 4;
    IoCBoxClick(*s);
    s->form.io.IoCheck[1].checked = true;
    s->form.io.IoEdit[1].text = "DONE";
    ExeNowButtonClick(*s);
    SelectModule(*s, 0);   // master StopProgram
    s->form.MasterCBox.index = 4;
    MasterCBoxClick(*s);
    ExeNowButtonClick(*s);
    SelectModule(*s, 2);   // no encoder: nothing at all
    ExeNowButtonClick(*s);
    EXPECT_EQ(ui.messages, Strings(2, "Immediate execution of this instruction is not possible."));
    EXPECT_TRUE(sent.empty());
}


// Run, Stop, Step and Break after a sequence of events: L a download, E an
// edit, R and P a poll that finds the program running or stopped, S a Stop
// that finds it stopped, X a poll the master leaves unanswered (off line).
// Stop stays while the program runs, whatever was edited; the others wait for
// the next download.
TEST(ExecutionButtons, StopStaysWhileTheProgramRuns) {
    struct Case {
        const char* events;
        bool run, stop, step, breakpoint;
    } cases[] = {
        {"", false, false, false, false},
        {"L", true, true, true, true},
        {"LE", false, false, false, false},
        {"LR", true, true, true, true},
        {"LRE", false, true, false, false},
        {"LER", false, true, false, false},
        {"ER", false, true, false, false},
        {"LREE", false, true, false, false},
        {"LREP", false, false, false, false},
        {"LRES", false, false, false, false},
        {"LREX", false, false, false, false},
        {"LRX", true, true, true, true},
        {"LREPR", false, true, false, false},
        {"LREL", true, true, true, true},
    };
    for (const Case& c : cases) {
        TestPlatform ui;
        std::unique_ptr<MainState> s = OnlineState(ui);
        ScriptedMaster m{*s};
        SetProgram(*s, {FillerLine(3), FillerLine(4)});
        for (const char* e = c.events; *e; ++e) {
            switch (*e) {
                case 'L': DownloadButtonClick(*s); break;
                case 'E': s->form.CommentEdit.text = "edit"; CommentButtonClick(*s); break;
                case 'R': case 'P': m.pollStatus[2] = *e == 'R' ? 0x01 : 0x00; PollTimerTimer(*s); break;
                case 'S': StopButtonClick(*s); break;
                case 'X': m.silent = true; PollTimerTimer(*s); break;
            }
        }
        const Form& f = s->form;
        EXPECT_EQ(f.RunButton.enabled, c.run) << c.events;
        EXPECT_EQ(f.StopButton.enabled, c.stop) << c.events;
        EXPECT_EQ(f.StepButton.enabled, c.step) << c.events;
        EXPECT_EQ(f.BreakButton.enabled, c.breakpoint) << c.events;
    }
}

}  // namespace
