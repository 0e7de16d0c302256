// Communications settings dialog: opening a port and probing the master,
// going off line, a port that cannot be opened, Cancel.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "PtyPeer.h"
#include "ScriptedMaster.h"
#include "TestPlatform.h"
#include "app/ComSettings.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

struct ComSettingsTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);

    void SetUp() override { StartTimerTimer(*s); }
    void goOnline() {
        s->online = true;
        s->form.ProgExeGroup.enabled = true;
        s->form.ProgExeGroup.caption = "Program Execution";
        s->form.ExeNowButton.enabled = true;
    }
};

TEST_F(ComSettingsTest, ShownAtStartAndOnDemand) {
    EXPECT_TRUE(s->com.visible);
    s->com.visible = false;
    ComButtonClick(*s);
    EXPECT_TRUE(s->com.visible);
    EXPECT_EQ(s->com.choice, 0);
}

TEST_F(ComSettingsTest, ProbeAnsweredForcesDetection) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    s->portDevice[1] = peer.slavePath();
    s->com.choice = 1;
    // The master answers the Stop probe with its six status bytes.
    Bytes got;
    std::thread master([&] {
        got = peer.receive(1, 3000);
        if (got == Bytes{0x80}) peer.send({0x00, 2, 0x00, 0x01, 0x02, 0x00});
    });
    SetButtonClick(*s);
    master.join();
    EXPECT_EQ(got, Bytes{0x80});
    ASSERT_NE(s->port, nullptr);
    EXPECT_TRUE(s->forceDetection);
    EXPECT_TRUE(s->pollTimerOn);
    EXPECT_FALSE(s->com.visible);
    EXPECT_EQ(s->status.moduleCount, 2);
    EXPECT_EQ(s->status.statusB, 0x01);
    // Detection is left to the next tick.
    EXPECT_FALSE(s->online);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ComSettingsTest, NoMasterAttached) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    s->portDevice[1] = peer.slavePath();
    s->com.choice = 1;
    SetButtonClick(*s);
    EXPECT_EQ(peer.receive(1, 1000), Bytes{0x80});
    ASSERT_NE(s->port, nullptr);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(s->forceDetection);
    EXPECT_FALSE(s->online);
    EXPECT_TRUE(s->pollTimerOn);
    EXPECT_FALSE(s->com.visible);
}

TEST_F(ComSettingsTest, PortChosenAgainWhileOnlineWithSilentMaster) {
    ScriptedMaster old(*s);
    goOnline();
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    s->portDevice[2] = peer.slavePath();
    s->com.choice = 2;
    SetButtonClick(*s);
    // The old port is replaced; the new one got the probe.
    EXPECT_EQ(peer.receive(1, 1000), Bytes{0x80});
    EXPECT_EQ(ui.messages, Lines{"Stepwright not responding"});
    EXPECT_FALSE(s->online);
    EXPECT_TRUE(s->pollTimerOn);
    EXPECT_FALSE(s->com.visible);
}

TEST_F(ComSettingsTest, OfflineWhileOnline) {
    ScriptedMaster m(*s);
    goOnline();
    s->pollTimerOn = true;
    s->form.CmdEdit.text = "Move";
    s->com.choice = 6;
    SetButtonClick(*s);
    EXPECT_EQ(ui.messages, Lines{"Stepwright not responding"});
    EXPECT_EQ(s->port, nullptr);
    EXPECT_FALSE(s->pollTimerOn);
    EXPECT_FALSE(s->online);
    EXPECT_FALSE(s->form.ProgExeGroup.enabled);
    EXPECT_EQ(s->form.ProgExeGroup.caption, "Program Execution (disabled)");
    EXPECT_FALSE(s->form.ExeNowButton.enabled);
    EXPECT_EQ(s->form.LoadLabel.caption, "Not Loaded");
    // The builder dropped its command.
    EXPECT_EQ(s->form.CmdEdit.text, "");
    EXPECT_FALSE(s->com.visible);

    // Offline again while off line: nothing to report.
    ComButtonClick(*s);
    SetButtonClick(*s);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(s->pollTimerOn);
}

TEST_F(ComSettingsTest, FailedOpenClosesMainWindowThenStopsPolling) {
    ScriptedMaster m(*s);
    s->pollTimerOn = true;
    s->portDevice[3] = "";
    s->com.choice = 3;
    SetButtonClick(*s);
    EXPECT_EQ(ui.messages, Lines{"COM4: failed to open"});
    EXPECT_EQ(ui.closeRequests, 1);
    // The close query was cancelled here: no port, no polling, the dialog stays.
    EXPECT_EQ(s->port, nullptr);
    EXPECT_FALSE(s->pollTimerOn);
    EXPECT_TRUE(s->com.visible);
    EXPECT_FALSE(s->forceDetection);
}

TEST_F(ComSettingsTest, CancelClosesMainWindow) {
    CancelButtonClick(*s);
    EXPECT_EQ(ui.closeRequests, 1);
    EXPECT_EQ(s->port, nullptr);
    EXPECT_FALSE(s->pollTimerOn);
}

TEST_F(ComSettingsTest, ChoiceOutOfRangeRefused) {
    ScriptedMaster m(*s);
    s->com.choice = 7;
    SetButtonClick(*s);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(s->port, nullptr);
    EXPECT_TRUE(m.sent().empty());
    EXPECT_EQ(ui.closeRequests, 0);
}

}  // namespace
