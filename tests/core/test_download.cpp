#include <gtest/gtest.h>

#include "ExecFixture.h"
#include "TestPlatform.h"
#include "app/DownloadButtons.h"
#include "app/Execution.h"

namespace {

using Strings = std::vector<std::string>;

// Records whether the progress window was still up when each message came.
struct WatchingPlatform : TestPlatform {
    MainState* s = nullptr;
    std::vector<bool> progressAtMessage;
    void message(const std::string& text) override {
        TestPlatform::message(text);
        progressAtMessage.push_back(s->progress.visible);
    }
};

struct DownloadTest : ::testing::Test {
    WatchingPlatform ui;
    std::unique_ptr<MainState> s = OnlineState(ui);
    ScriptedMaster m{*s};
    std::string progressSeen;   // which texts were visible while bytes went out

    void SetUp() override {
        ui.s = s.get();
        auto forward = m.port->onWrite;
        m.port->onWrite = [this, forward](FakeSerial& p, uint8_t b) {
            const ProgressState& w = s->progress;
            progressSeen = std::string(w.visible && ui.busy ? "shown" : "hidden") + (w.label1Visible ? " 1" : "") +
                           (w.label2Visible ? " 2" : "") + (w.label3Visible ? " 3" : "");
            forward(p, b);
        };
    }

    std::vector<int> offsets(uint8_t command) const {
        std::vector<int> out;
        for (const auto& e : ExchangesOf(m, command))
            out.push_back(e.args.size() >= 2 ? e.args[0] | (e.args[1] << 8) : -1);
        return out;
    }
    bool runButtons() const {
        const Form& f = s->form;
        EXPECT_TRUE(f.RunButton.enabled == f.StopButton.enabled && f.RunButton.enabled == f.BreakButton.enabled &&
                    f.RunButton.enabled == f.StepButton.enabled);
        return f.RunButton.enabled;
    }
    void expectLoaded() {
        EXPECT_EQ(s->form.LoadLabel.caption, "  Loaded  ");
        EXPECT_EQ(s->form.LoadLabel.color, kGreen);
        EXPECT_FALSE(s->progress.visible || s->progress.label2Visible || s->progress.label3Visible || ui.busy);
        EXPECT_EQ(s->currentLine, 0);
        EXPECT_TRUE(s->listing.selected(0));
        EXPECT_EQ(s->listing.topIndex(), 0);
    }
    void expectOffLine() {
        EXPECT_EQ(ui.messages, Strings{"Stepwright not responding"});
        EXPECT_EQ(ui.progressAtMessage, std::vector<bool>{false});
        EXPECT_FALSE(s->online || s->form.ProgExeGroup.enabled || s->progress.visible || ui.busy);
        EXPECT_EQ(s->form.LoadLabel.caption, "Not Loaded");
        EXPECT_EQ(s->form.LoadLabel.color, kRed);
    }
};

TEST_F(DownloadTest, EmptyListingSendsOneBlockWithTheBufferBehindTheLength) {
    for (int i = 2; i < 16; ++i) s->programImage[i] = uint8_t(0xE0 + i);   // left by an earlier image
    DownloadButtonClick(*s);

    EXPECT_EQ(s->progress.label2, "      Downloading (2 bytes)...");
    EXPECT_EQ(progressSeen, "shown 2");
    EXPECT_GE(ui.repaints, 1);
    std::vector<uint8_t> expected = {0x83, 0x00, 0x00, 0x10, 0x02, 0x00};
    unsigned sum = 0x10 + 0x02;
    for (int i = 2; i < 16; ++i) {
        expected.push_back(uint8_t(0xE0 + i));
        sum += uint8_t(0xE0 + i);
    }
    expected.push_back(uint8_t(sum));
    EXPECT_EQ(m.sent(), expected);
    EXPECT_EQ(ui.messages, Strings{"Download complete"});
    EXPECT_EQ(ui.progressAtMessage, std::vector<bool>{false});
    EXPECT_TRUE(runButtons());
    expectLoaded();
}

TEST_F(DownloadTest, BlocksCoverTheImageFromOffsetZero) {
    struct Case {
        std::vector<int> lengths;
        int imageLength;
        std::vector<int> offsets;
    } cases[] = {{{10, 10, 10}, 32, {0, 16}}, {{10, 10, 11}, 33, {0, 16, 32}}, {{14}, 16, {0}}};
    for (const Case& c : cases) {
        m.exchanges.clear();
        std::vector<ProgramLine> lines;
        for (int n : c.lengths) lines.push_back(FillerLine(n, uint8_t(0x30 + n)));
        SetProgram(*s, lines);
        DownloadButtonClick(*s);
        EXPECT_EQ(offsets(0x83), c.offsets) << c.imageLength;
        EXPECT_EQ(ui.messages.back(), "Download complete");   // the master accepted every checksum
        EXPECT_EQ(0, std::memcmp(m.memory.data(), s->programImage, size_t(c.imageLength)));
        EXPECT_EQ(s->progress.label2, Format("      Downloading (%d bytes)...", c.imageLength));
    }
}

TEST_F(DownloadTest, BlockChecksumSumsOffsetLengthAndData) {
    // Offsets 0x110 to 0x11F fall inside the data bytes 0x01 of the twelfth line.
    SetProgram(*s, std::vector<ProgramLine>(12, FillerLine(24, 0x01)));
    DownloadButtonClick(*s);
    auto blocks = ExchangesOf(m, 0x83);
    ASSERT_EQ(blocks.size(), 19u);   // 290 bytes
    std::vector<uint8_t> expected = {0x10, 0x01, 0x10};
    expected.insert(expected.end(), 16, 0x01);
    expected.push_back(0x31);
    EXPECT_EQ(blocks[17].args, expected);
}

TEST_F(DownloadTest, RejectedOrMissingReplyEndsTheDownloadOffLine) {
    struct Case {
        const char* what;
        void (*fault)(ScriptedMaster&);
        std::vector<uint8_t> commands;
        size_t bytesSent;
    } cases[] = {
        {"first block answered 0xCC", [](ScriptedMaster& p) { p.answerCC = true; }, {0x83}, 21},
        {"silent from the second block", [](ScriptedMaster& p) { p.silentFromCommand = 1; }, {0x83, 0x83}, 22},
        {"silent from the start", [](ScriptedMaster& p) { p.silent = true; }, {0x83}, 1},
    };
    SetProgram(*s, {FillerLine(10), FillerLine(10), FillerLine(11)});
    for (const Case& c : cases) {
        m.answerCC = m.silent = false;
        m.silentFromCommand = -1;
        m.exchanges.clear();
        m.port->sent.clear();
        s->online = s->form.ProgExeGroup.enabled = true;
        ui.messages.clear();
        ui.progressAtMessage.clear();
        c.fault(m);
        DownloadButtonClick(*s);
        EXPECT_EQ(m.commands(), c.commands) << c.what;
        EXPECT_EQ(m.sent().size(), c.bytesSent) << c.what;
        EXPECT_FALSE(runButtons());
        expectOffLine();
    }
}

TEST_F(DownloadTest, DownloadClearsResumeFlagAndBreakpointMarkWithoutTellingTheMaster) {
    SetProgram(*s, {FillerLine(5), MasterLine(5, {1, 2}, "HERE"), FillerLine(6)});
    s->breakpointLine = 1;
    s->listing.setText(1, "\x01" + s->listing.text(1).substr(1));
    s->resumeFlag = true;
    s->listing.select(2);
    DownloadButtonClick(*s);
    EXPECT_EQ(s->breakpointLine, -1);
    EXPECT_EQ(s->listing.text(1)[0], 'H');
    EXPECT_FALSE(s->resumeFlag);
    EXPECT_EQ(m.commands(), std::vector<uint8_t>(2, 0x83));   // no 0x82
    EXPECT_FALSE(s->listing.selected(2));
    expectLoaded();
}

TEST_F(DownloadTest, BaudChangeKeepsRunDisabledUntilRemoved) {
    SetProgram(*s, {FillerLine(5), MasterLine(19, {2})});
    DownloadButtonClick(*s);
    EXPECT_EQ(ui.messages, (Strings{"Download complete", "Program contains a baud rate change - cannot run interactively"}));
    EXPECT_FALSE(runButtons());
    expectLoaded();

    RemoveLine(*s, 1);
    MarkProgramChanged(*s);
    ui.messages.clear();
    DownloadButtonClick(*s);
    EXPECT_EQ(ui.messages, Strings{"Download complete"});
    EXPECT_TRUE(runButtons());
}

TEST_F(DownloadTest, FailedAssemblySendsNothing) {
    ProgramLine jump = MasterLine(0, {0xFF, 0xFF});
    jump.setGotoLabel("NOWHERE");
    jump.patchOffset = 3;
    SetProgram(*s, {jump});
    DownloadButtonClick(*s);
    VerifyButtonClick(*s);
    EXPECT_TRUE(m.sent().empty());
    EXPECT_EQ(ui.messages, Strings(2, "Label 'NOWHERE' undefined"));
    EXPECT_EQ(ui.repaints, 0);
}

TEST_F(DownloadTest, VerifyComparesOnlyTheImage) {
    struct Case {
        const char* what;
        int changedByte;   // master memory byte changed after the download; -1 none
        bool matches;
        std::vector<int> blocksRead;   // a difference stops the reading at its block
    } cases[] = {
        {"unchanged", -1, true, {0, 16, 32}},
        {"first length byte", 0, false, {0}},
        {"last image byte", 32, false, {0, 16, 32}},
        {"byte after the image in the last block", 33, true, {0, 16, 32}},
        {"last byte of the last block", 47, true, {0, 16, 32}},
    };
    for (const Case& c : cases) {
        SetProgram(*s, {FillerLine(10), FillerLine(10), FillerLine(11)});
        DownloadButtonClick(*s);
        m.exchanges.clear();
        if (c.changedByte >= 0) m.memory[size_t(c.changedByte)] ^= 0xFF;
        ui.messages.clear();
        ui.progressAtMessage.clear();
        MarkProgramChanged(*s);

        VerifyButtonClick(*s);

        EXPECT_EQ(progressSeen, "shown 3") << c.what;
        EXPECT_EQ(ui.messages, Strings{c.matches ? "Loaded program matches program listing."
                                                 : "Program listing does not match loaded program!"})
            << c.what;
        EXPECT_EQ(ui.progressAtMessage, std::vector<bool>{false});
        EXPECT_EQ(s->form.LoadLabel.caption, c.matches ? "  Loaded  " : "Not Loaded") << c.what;
        EXPECT_EQ(runButtons(), c.matches) << c.what;
        EXPECT_TRUE(s->online);
        EXPECT_FALSE(s->progress.visible || s->progress.label3Visible || ui.busy);
        EXPECT_EQ(offsets(0x84), c.blocksRead) << c.what;
        for (const auto& e : ExchangesOf(m, 0x84)) EXPECT_EQ(e.args[2], 0x10);
        if (c.changedByte >= 0) m.memory[size_t(c.changedByte)] ^= 0xFF;
    }
}

TEST_F(DownloadTest, VerifyOfEmptyListingComparesTheTwoLengthBytesOnly) {
    m.memory[0] = 0x02;
    for (size_t i = 2; i < 16; ++i) m.memory[i] = 0x99;   // differs from the image buffer
    ASSERT_NE(s->programImage[16], m.readBlockTrailer);   // the reply's seventeenth byte
    VerifyButtonClick(*s);
    EXPECT_EQ(m.sent(), (std::vector<uint8_t>{0x84, 0x00, 0x00, 0x10}));
    EXPECT_EQ(ui.messages, Strings{"Loaded program matches program listing."});
}

TEST_F(DownloadTest, VerifyKeepsTheBreakpointMark) {
    SetProgram(*s, {FillerLine(5), FillerLine(6)});
    DownloadButtonClick(*s);
    s->currentLine = 1;
    BreakButtonClick(*s);
    s->resumeFlag = true;
    VerifyButtonClick(*s);
    EXPECT_EQ(s->breakpointLine, 1);
    EXPECT_EQ(s->listing.text(1)[0], '\x01');
    EXPECT_FALSE(s->resumeFlag);
    EXPECT_EQ(s->currentLine, 0);
}

TEST_F(DownloadTest, VerifyShortBlockGoesOffLine) {
    SetProgram(*s, {FillerLine(10), FillerLine(10), FillerLine(11)});
    DownloadButtonClick(*s);
    ui.messages.clear();
    ui.progressAtMessage.clear();
    m.ackOnly = true;
    VerifyButtonClick(*s);
    EXPECT_EQ(offsets(0x84), std::vector<int>{0});
    EXPECT_FALSE(s->progress.label3Visible);
    expectOffLine();
}

}  // namespace
