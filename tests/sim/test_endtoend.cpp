// The application's core against the simulated master on a pseudo-terminal:
// the port opened through the serial layer, every exchange real.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "SimSession.h"
#include "TestPlatform.h"
#include "app/ComSettings.h"
#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/PollTimer.h"
#include "app/Terminal.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "link/Download.h"
#include "link/Polling.h"
#include "app/Editing.h"
#include "app/ModuleListBox.h"
#include "app/StatusForms.h"
#include "modules/ModuleList.h"
#include "modules/StatusWindows.h"
#include "program/LineStore.h"
#include "sim/SimCore.h"
#include "sim/SimMaster.h"

namespace {

constexpr const char* kNotResponding = "Stepwright not responding";

// Master command box indexes.
enum { kGoTo = 0, kPrint = 5, kDelay = 9, kStopProgram = 4 };

class EndToEnd : public ::testing::Test {
protected:
    TestPlatform ui;
    std::unique_ptr<MainState> s;
    std::unique_ptr<SimMaster> sim;

    // Starts the simulated master, starts the application and chooses COM1
    // mapped to the simulator's device in the settings dialog.
    void Connect(SimOptions options = {}) {
        sim = std::make_unique<SimMaster>(options);
        std::string error;
        ASSERT_TRUE(sim->start(error)) << error;
        s = std::make_unique<MainState>(ui);
        ConnectToSim(*s, *sim);
        ASSERT_TRUE(s->port != nullptr);
    }

    // Lets ms pass, then one poll tick.
    void Tick(int ms = 30) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        PollTimerTimer(*s);
    }

    // Connects and runs the tick that detects the master.
    void ConnectOnline(SimOptions options = {}) {
        Connect(options);
        Tick();
        ASSERT_TRUE(s->online);
        ui.messages.clear();
    }

    int Count(const std::string& text) const { return int(std::count(ui.messages.begin(), ui.messages.end(), text)); }

    // Adds a master instruction through the builder, as the user does.
    void AddMaster(int index, const std::string& edit1 = "", const std::string& edit2 = "",
                   const std::string& label = "", bool crlf = false) {
        SelectModule(*s, 0);
        s->form.MasterCBox.index = index;
        MasterCBoxClick(*s);
        s->form.master.MasterEdit[1].text = edit1;
        s->form.master.MasterEdit[2].text = edit2;
        s->form.master.MasterCheck[1].checked = crlf;
        s->form.master.MasterCheck[2].checked = crlf;
        s->form.LabelEdit.text = label;
        AddInstrButtonClick(*s);
    }

    void ChooseServoMove(int module, const std::string& pos, const std::string& vel, const std::string& acc) {
        SelectModule(*s, module);
        s->form.ServoCBox.index = 0;
        ServoCBoxClick(*s);
        s->form.servo.ServoEdit[1].text = pos;
        s->form.servo.ServoEdit[2].text = vel;
        s->form.servo.ServoEdit[3].text = acc;
    }

    std::string Terminal() const {
        std::string all;
        for (const auto& l : s->terminal.lines) all += l + "|";
        return all;
    }

    // Looks into the master once the bytes sent so far have reached it.
    sim::SimCore* core_ = nullptr;
    template <class F>
    auto Inspect(F f) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        decltype(f(*core_)) result{};
        sim->withCore([&](sim::SimCore& c) { result = f(c); });
        return result;
    }
};

TEST_F(EndToEnd, DetectsAMixedModuleSet) {
    Connect();
    EXPECT_TRUE(s->forceDetection) << "the probe found the master";
    Tick();
    EXPECT_TRUE(s->online);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"4 module(s) found"});
    EXPECT_EQ(s->form.ModuleListBox.items,
              (std::vector<std::string>{" 0 [Master]", " 1 ZEL-SERVO", " 2 ZEL-SERVO", " 3 ZEL-I/O", " 4 ZEL-STEP"}));
    EXPECT_EQ(s->moduleListCount, 4);
    EXPECT_EQ(s->form.RunLEDShape.color, kRed);
}

TEST_F(EndToEnd, DetectsAnEmptyNetwork) {
    SimOptions o;
    o.moduleTypes = {};
    Connect(o);
    Tick();
    EXPECT_EQ(ui.messages, std::vector<std::string>{"0 module(s) found"});
    EXPECT_EQ(s->form.ModuleListBox.items, std::vector<std::string>{" 0 [Master]"});
}

TEST_F(EndToEnd, DetectsUnknownTypes) {
    SimOptions o;
    o.moduleTypes = {3, 1};
    Connect(o);
    Tick();
    EXPECT_EQ(ui.messages, std::vector<std::string>{"2 module(s) found"});
    EXPECT_EQ(s->form.ModuleListBox.items, (std::vector<std::string>{" 0 [Master]", " 1 ZEL-STEP", " 2 UNKNOWN"}));
    EXPECT_EQ(s->detectedTypes[2], 1);
}

TEST_F(EndToEnd, DownloadThenVerifyMatchesAndAnEditDoesNot) {
    ConnectOnline();
    AddMaster(kPrint, "Hello", "", "TOP", true);
    AddMaster(kDelay, "50");
    AddMaster(kGoTo, "TOP");
    DownloadButtonClick(*s);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Download complete"});
    EXPECT_EQ(s->form.LoadLabel.caption, "  Loaded  ");
    EXPECT_TRUE(s->form.RunButton.enabled);
    // The master holds the image byte for byte.
    const int length = s->imageLength;
    bool same = Inspect([&](sim::SimCore& c) { return std::equal(s->programImage, s->programImage + length, c.memory()); });
    EXPECT_TRUE(same);

    VerifyButtonClick(*s);
    EXPECT_EQ(ui.messages.back(), "Loaded program matches program listing.");

    // Change the Delay to 60 and verify without loading.
    s->listing.setFocus(1);
    s->listing.select(1);
    ProgramListBoxClick(*s);
    s->form.master.MasterEdit[1].text = "60";
    ChangeButtonClick(*s);
    VerifyButtonClick(*s);
    EXPECT_EQ(ui.messages.back(), "Program listing does not match loaded program!");
    EXPECT_TRUE(s->online);
}

TEST_F(EndToEnd, RunningProgramPrintsToTheTerminalAndTheAddressMoves) {
    ConnectOnline();
    AddMaster(kPrint, "Hi", "", "L", true);
    AddMaster(kDelay, "7");
    AddMaster(kPrint, "Yo", "", "", true);
    AddMaster(kDelay, "7");
    AddMaster(kGoTo, "L");
    DownloadButtonClick(*s);
    ASSERT_EQ(ui.messages, std::vector<std::string>{"Download complete"});
    const uint16_t delay1 = s->lines[1].address, delay2 = s->lines[3].address;

    RunButtonClick(*s);
    const int userLine = s->currentLine;
    std::set<uint16_t> addresses;
    std::set<int> lines;
    for (int ms : {90, 130, 70, 160, 110, 60, 140}) {
        Tick(ms);
        ASSERT_TRUE(s->online);
        addresses.insert(s->status.programAddress);
        lines.insert(s->listing.executing());
        EXPECT_EQ(s->currentLine, userLine);
        EXPECT_EQ(s->status.statusB & 1, 1);
        EXPECT_EQ(s->form.RunLEDShape.color, kGreen);
    }
    std::string t = Terminal();
    EXPECT_NE(t.find(">Hi|"), std::string::npos) << t;
    EXPECT_NE(t.find(">Yo|"), std::string::npos) << t;
    // The program stands in one Delay or the other nearly all the time, and
    // the listing's execution mark follows it (the current line stays).
    EXPECT_TRUE(addresses.count(delay1) && addresses.count(delay2));
    EXPECT_TRUE(lines.count(1) && lines.count(3));
    for (uint16_t a : addresses) {
        bool isLine = false;
        for (int i = 0; i < s->lineCount; ++i) isLine = isLine || s->lines[i].address == a;
        EXPECT_TRUE(isLine) << a;
    }
    EXPECT_TRUE(ui.messages.size() == 1) << ui.messages.back();
}

TEST_F(EndToEnd, StopAndResumeContinueWhereTheProgramStood) {
    ConnectOnline();
    AddMaster(kPrint, "a", "", "L");
    AddMaster(kDelay, "20");
    AddMaster(kPrint, "b");
    AddMaster(kDelay, "20");
    AddMaster(kGoTo, "L");
    DownloadButtonClick(*s);
    RunButtonClick(*s);
    Tick(300);
    StopButtonClick(*s);
    EXPECT_EQ(s->status.statusB & 1, 0);
    const uint16_t stoppedAt = s->status.programAddress;
    EXPECT_TRUE(stoppedAt == s->lines[1].address || stoppedAt == s->lines[3].address);
    EXPECT_EQ(Inspect([](sim::SimCore& c) { return c.statusA(); }), sim::kStoppedByHost);
    Tick();
    EXPECT_EQ(s->form.RunLEDShape.color, kRed);
    std::string before = Terminal();
    RunButtonClick(*s);
    Tick(450);
    EXPECT_EQ(s->status.statusB & 1, 1);
    EXPECT_GT(Terminal().size(), before.size());
}

TEST_F(EndToEnd, BreakpointStopsTheProgramAndStepGoesOn) {
    ConnectOnline();
    AddMaster(kPrint, "1", "", "L");
    AddMaster(kPrint, "2");
    AddMaster(kDelay, "1");
    AddMaster(kGoTo, "L");
    DownloadButtonClick(*s);
    // Break on line 1 (Print "2").
    s->currentLine = 1;
    BreakButtonClick(*s);
    EXPECT_EQ(Inspect([](sim::SimCore& c) { return c.breakpoint(); }), s->lines[1].address);
    RunButtonClick(*s);
    Tick(50);
    EXPECT_EQ(s->status.statusB & 1, 0);
    EXPECT_EQ(s->status.programAddress, s->lines[1].address);
    EXPECT_EQ(s->listing.executing(), 1);
    EXPECT_EQ(s->currentLine, 1);
    EXPECT_EQ(s->form.RunLEDShape.color, kRed);
    EXPECT_EQ(Terminal(), "1|");

    // Step executes the Print at the breakpoint; the next is the Delay,
    // which Step skips with its message.
    StepButtonClick(*s);
    Tick();
    EXPECT_EQ(Terminal(), "12|");
    EXPECT_EQ(s->status.programAddress, s->lines[2].address);
    EXPECT_EQ(s->currentLine, 2);
    StepButtonClick(*s);
    EXPECT_EQ(ui.messages.back(), "Cannot step through a delay - stepping to next line");
    Tick();
    EXPECT_EQ(s->status.programAddress, s->lines[0].address) << "the GoTo was stepped";
    EXPECT_EQ(s->currentLine, 0);

    // Removing the breakpoint lets the loop run on.
    s->currentLine = 1;
    BreakButtonClick(*s);
    EXPECT_EQ(Inspect([](sim::SimCore& c) { return c.breakpoint(); }), 0xFFFF);
    RunButtonClick(*s);
    Tick(100);
    EXPECT_EQ(s->status.statusB & 1, 1);
}

TEST_F(EndToEnd, ExecuteNowMovesAServoAndItsStatusWindowShowsIt) {
    ConnectOnline();
    ChooseServoMove(1, "1000", "20000", "1000");
    ExeNowButtonClick(*s);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Inspect([](sim::SimCore& c) { return c.servo(1)->position(); }), 1000);

    SelectModule(*s, 1);
    ModuleListBoxDblClick(*s);
    ASSERT_EQ(ui.statusWindows, std::vector<StatusWindow>{StatusWindow::Servo});
    EXPECT_EQ(s->statusForms.servo.caption, "Module 1");
    EXPECT_EQ(s->statusForms.servo.value("PosLabel"), "1000");
    EXPECT_EQ(s->statusForms.servo.value("HomePosLabel"), "0");
    EXPECT_EQ(s->statusForms.servo.value("PowerLabel"), "On");
    EXPECT_EQ(s->statusForms.servo.value("Lim1Label"), "Low");
}

TEST_F(EndToEnd, StatusWindowsOfStepperIoAndMaster) {
    ConnectOnline();
    sim->withCore([](sim::SimCore& c) {
        c.stepper(4)->setExternalInputs(sim::StepperModule::EStop | sim::StepperModule::Input2);
        c.io(3)->setExternalLevels(0x0881);
    });
    SelectModule(*s, 4);
    ModuleListBoxDblClick(*s);
    EXPECT_EQ(s->statusForms.stepper.value("EStopLabel"), "High");
    EXPECT_EQ(s->statusForms.stepper.value("Input1Label"), "Low");
    EXPECT_EQ(s->statusForms.stepper.value("Input2Label"), "High");
    EXPECT_EQ(s->statusForms.stepper.value("PowerLabel"), "On");
    SelectModule(*s, 3);
    ModuleListBoxDblClick(*s);
    EXPECT_EQ(s->statusForms.io.value("B1Lbl"), "High");
    EXPECT_EQ(s->statusForms.io.value("B2Lbl"), "Low");
    EXPECT_EQ(s->statusForms.io.value("B8Lbl"), "High");
    EXPECT_EQ(s->statusForms.io.value("B12Lbl"), "High");
    SelectModule(*s, 0);
    ModuleListBoxDblClick(*s);
    EXPECT_EQ(s->statusForms.master.value("VersionLbl"), "Version:  2");
    EXPECT_EQ(s->statusForms.master.caption, "Module 0");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(EndToEnd, ResetMakesTheMasterAnnounceItselfAndDetectionRunsAgain) {
    ConnectOnline();
    ResetButtonClick(*s);
    Tick();
    EXPECT_EQ(ui.messages, std::vector<std::string>{"4 module(s) found"});
    EXPECT_TRUE(s->online);
    Tick(260);
    EXPECT_EQ(ui.messages.size(), 1u);
}

// ---------------------------------------------------------------------------
// Faults end in exactly one "Stepwright not responding".

TEST_F(EndToEnd, SilentMasterIsReportedOnce) {
    SimOptions o;
    o.faults.silentFrom = 0x8E;
    Connect(o);
    // Detection works; the poll that follows it gets no answer.
    for (int i = 0; i < 4; ++i) Tick(10);
    EXPECT_EQ(Count("4 module(s) found"), 1);
    EXPECT_EQ(Count(kNotResponding), 1);
    EXPECT_FALSE(s->online);
    EXPECT_FALSE(s->form.ProgExeGroup.enabled);
    EXPECT_EQ(s->form.ProgExeGroup.caption, "Program Execution (disabled)");
    EXPECT_TRUE(s->pollTimerOn);
}

TEST_F(EndToEnd, RejectingMasterFailsDetectionOnce) {
    SimOptions o;
    o.faults.cc = true;
    Connect(o);
    for (int i = 0; i < 3; ++i) Tick(10);
    EXPECT_EQ(Count(kNotResponding), 1);
    EXPECT_EQ(Count("4 module(s) found"), 0);
    EXPECT_FALSE(s->online);
}

TEST_F(EndToEnd, RejectedBlockEndsTheDownload) {
    ConnectOnline();
    AddMaster(kStopProgram);
    sim->withCore([](sim::SimCore& c) { c.faults().cc = true; });
    DownloadButtonClick(*s);
    Tick();
    Tick();
    EXPECT_EQ(Count(kNotResponding), 1);
    EXPECT_EQ(Count("Download complete"), 0);
    EXPECT_EQ(s->form.LoadLabel.caption, "Not Loaded");
}

TEST_F(EndToEnd, MissingAcknowledgeIsReportedOnceAndTheProbeBringsItBack) {
    SimOptions o;
    o.faults.dropAck = 1;   // the first acknowledged command after detection's
    o.argTimeoutMs = 100;
    Connect(o);
    Tick();
    // Detection's TavoInit lost its acknowledge.
    EXPECT_EQ(Count(kNotResponding), 1);
    EXPECT_FALSE(s->online);
    Tick(150);
    Tick();
    EXPECT_EQ(Count(kNotResponding), 1);
    // Choosing the port again probes the master, which answers.
    SetButtonClick(*s);
    Tick();
    EXPECT_TRUE(s->online);
    EXPECT_EQ(Count("4 module(s) found"), 1);
}

TEST_F(EndToEnd, LineNoiseIsReportedOnce) {
    SimOptions o;
    o.faults.garbage = true;
    Connect(o);
    for (int i = 0; i < 4; ++i) Tick(10);
    EXPECT_EQ(Count(kNotResponding), 1);
    EXPECT_FALSE(s->online);
    EXPECT_LE(s->moduleListCount, 31);
}

TEST_F(EndToEnd, HangupIsReportedOnce) {
    SimOptions o;
    o.faults.hangupAt = 14;   // the probe, 11 of detection, 2 polls
    ConnectOnline(o);
    for (int i = 0; i < 6; ++i) Tick(10);
    EXPECT_TRUE(sim->hungUp());
    // Found by the poll's read: the one box says what happened under its text.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind(std::string(kNotResponding) + "\n", 0), 0u) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find(": the device is gone (unplugged?)"), std::string::npos) << ui.messages[0];
    EXPECT_TRUE(s->portLoss.gone);
    EXPECT_FALSE(s->online);
}

}  // namespace
