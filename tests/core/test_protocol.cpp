// Host protocol: the bytes of every command, results, checksums, the
// not-responding procedure and a master that falls silent mid-exchange.

#include <gtest/gtest.h>

#include <functional>

#include "ScriptedMaster.h"
#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "app/Editing.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

struct ProtocolTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    ScriptedMaster m{*s};
    const uint8_t init[3] = {0xBB, 0x00, 0x0E};
    uint8_t buf[18] = {};

    void goOnline() {
        s->online = s->form.ProgExeGroup.enabled = s->form.ExeNowButton.enabled = true;
        s->form.LoadLabel.caption = "  Loaded  ";
        ui.messages.clear();
        m.port->sent.clear();
    }
    void expectOffline(const char* what) {
        EXPECT_FALSE(s->online) << what;
        EXPECT_FALSE(s->form.ProgExeGroup.enabled) << what;
        EXPECT_EQ(s->form.ProgExeGroup.caption, "Program Execution (disabled)") << what;
        EXPECT_FALSE(s->form.ExeNowButton.enabled) << what;
        EXPECT_EQ(s->form.LoadLabel.caption, "Not Loaded") << what;
        EXPECT_EQ(s->form.LoadLabel.color, kRed) << what;
    }
    // Every exchange with arguments, by command byte.
    std::vector<std::pair<uint8_t, std::function<int()>>> exchanges() {
        return {{0x81, [&] { return HostRun(*s, 2); }},
                {0x82, [&] { return HostSetBreakpoint(*s, 2); }},
                {0x85, [&] { return HostExecute(*s, init, 3); }},
                {0x86, [&] { return HostStep(*s, 2); }},
                {0x87, [&] { return HostReadReply(*s, buf, 4); }}};
    }
};

TEST_F(ProtocolTest, CommandBytesAndResults) {
    struct Case {
        std::function<int()> call;
        Bytes wire;
        int result;
    };
    m.version = 7;
    const Case cases[] = {
        {[&] { return HostStop(*s); }, {0x80}, 0},
        {[&] { return HostRun(*s, 0x1234); }, {0x81, 0x34, 0x12}, 0},
        {[&] { return HostSetBreakpoint(*s, 0xFFFF); }, {0x82, 0xFF, 0xFF}, 0},
        {[&] { return HostExecute(*s, init, 3); }, {0x85, 0x03, 0xBB, 0x00, 0x0E, 0xC9}, 0},
        {[&] { return HostStep(*s, 0x0102); }, {0x86, 0x02, 0x01}, 0},
        {[&] { return HostReadReply(*s, buf, 4); }, {0x87, 0x04}, 0},
        {[&] { return HostVersion(*s); }, {0x88}, 7},
        {[&] { return HostReset(*s); }, {0x8F}, 0},
    };
    for (const Case& c : cases) {
        m.port->sent.clear();
        EXPECT_EQ(c.call(), c.result) << int(c.wire[0]);
        EXPECT_EQ(m.sent(), c.wire);
        EXPECT_TRUE(m.port->rx.empty()) << int(c.wire[0]) << ": reply left unread";
    }
    EXPECT_TRUE(ui.messages.empty());
}

// The argument bytes that Load and Verify send after Write block and Read block.
TEST(BlockArgs, OffsetLengthDataAndWrappingChecksum) {
    uint8_t counting[16], f0[16];
    for (int i = 0; i < 16; ++i) counting[i] = uint8_t(i + 1);
    std::fill(f0, f0 + 16, 0xF0);
    struct Case {
        uint16_t offset;
        const uint8_t* block;
        Bytes write, read;
    };
    const Case cases[] = {
        {0x0110, counting, {0x10, 0x01, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0xA9},
         {0x10, 0x01, 0x10}},
        // 0x10 + 0x10 + 16 * 0xF0 = 0xF20: the checksum keeps the low byte.
        {0x0010, f0, {0x10, 0x00, 0x10, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0,
                      0xF0, 0xF0, 0xF0, 0x20},
         {0x10, 0x00, 0x10}},
    };
    for (const Case& c : cases) {
        uint8_t write[20], read[3];
        PutWriteBlockArgs(write, c.offset, c.block);
        PutReadBlockArgs(read, c.offset);
        EXPECT_EQ(Bytes(write, write + 20), c.write) << c.offset;
        EXPECT_EQ(Bytes(read, read + 3), c.read) << c.offset;
    }
}

TEST_F(ProtocolTest, StopFillsStatusAndSelectsLine) {
    StartTimerTimer(*s);
    for (int i = 0; i < 3; ++i) {
        s->lines[i] = ProgramLine{};
        s->lines[i].bytes[0] = 0xBB;
        s->lines[i].address = uint16_t(2 + 3 * i);   // 2, 5, 8
    }
    s->lineCount = 3;
    RebuildListing(*s);
    const uint8_t reply[6] = {0x99, 3, 0x41, 0x01, 5, 0};
    std::copy(reply, reply + 6, m.stopReply);
    ASSERT_EQ(HostStop(*s), 0);
    EXPECT_EQ(s->status.moduleCount, 3);
    EXPECT_EQ(s->status.statusA, 0x41);
    EXPECT_EQ(s->status.statusB, 0x01);
    EXPECT_EQ(s->currentLine, 1);
    EXPECT_TRUE(s->listing.selected(1) && !s->listing.selected(0));
    // An address that belongs to no line selects the end marker.
    m.stopReply[4] = 0x34;
    m.stopReply[5] = 0x12;
    ASSERT_EQ(HostStop(*s), 0);
    EXPECT_EQ(s->status.programAddress, 0x1234);
    EXPECT_EQ(s->currentLine, 3);
}

TEST_F(ProtocolTest, ReadReplyChecksumMismatchIsQuiet) {
    m.replyData = {0x10, 0x20, 0x30, 0xF0};
    ASSERT_EQ(HostReadReply(*s, buf, 4), 0);
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{0x10, 0x20, 0x30, 0xF0, 0x50}));
    goOnline();
    m.corruptChecksum = true;
    EXPECT_EQ(HostReadReply(*s, buf, 4), -2);
    EXPECT_EQ(buf[1], 0x20);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(s->online);
    EXPECT_TRUE(m.port->rx.empty());
}

TEST_F(ProtocolTest, NotRespondingReportedOnce) {
    goOnline();
    m.silent = true;
    EXPECT_EQ(HostStop(*s), -1);
    EXPECT_EQ(ui.messages, Lines{"Stepwright not responding"});
    expectOffline("stop");
    EXPECT_TRUE(s->pollTimerOn);
    // Off line every further failure is silent and changes nothing.
    s->pollTimerOn = false;
    EXPECT_EQ(HostVersion(*s), -1);
    EXPECT_EQ(HostRun(*s, 2), -1);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(s->pollTimerOn);
    // Without a port the poll timer is not started.
    goOnline();
    s->port.reset();
    NotResponding(*s);
    expectOffline("no port");
    EXPECT_FALSE(s->pollTimerOn);
}

TEST_F(ProtocolTest, MissingAckEndsTheExchange) {
    m.silent = true;
    for (auto& [command, call] : exchanges()) {
        goOnline();
        EXPECT_EQ(call(), -1) << int(command);
        EXPECT_EQ(m.sent(), Bytes{command});
        EXPECT_EQ(ui.messages, Lines{"Stepwright not responding"}) << int(command);
        expectOffline("missing ack");
    }
}

TEST_F(ProtocolTest, AckWithoutResultOrReply) {
    m.ackOnly = true;
    for (auto& [command, call] : exchanges()) {
        goOnline();
        // Run, breakpoint and Step have nothing to wait for after the address.
        bool addressOnly = command == 0x81 || command == 0x82 || command == 0x86;
        EXPECT_EQ(call(), addressOnly ? 0 : -1) << int(command);
        EXPECT_EQ(s->online, addressOnly) << int(command);
    }
    m.ackOnly = false;
    m.answerCC = true;
    goOnline();
    EXPECT_EQ(HostExecute(*s, init, 3), -1);
    EXPECT_EQ(ui.messages, Lines{"Stepwright not responding"});
    m.answerCC = false;
    m.executeResult = 0xCB;   // any other result is success
    EXPECT_EQ(HostExecute(*s, init, 3), 0);
}

TEST_F(ProtocolTest, ShortRepliesAndBadCounts) {
    goOnline();
    m.stopReplyLength = 5;
    s->status.programAddress = 77;
    EXPECT_EQ(HostStop(*s), -1);
    EXPECT_EQ(s->status.programAddress, 77);
    expectOffline("short stop");
    m.port->rx.clear();
    m.port->sent.clear();
    // Counts that do not fit the count byte are refused before anything is sent.
    uint8_t big[256] = {};
    EXPECT_EQ(HostExecute(*s, big, 256), -1);
    EXPECT_EQ(HostReadReply(*s, big, -1), -1);
    EXPECT_TRUE(m.sent().empty());
    EXPECT_EQ(HostExecute(*s, big, 255), 0);
    EXPECT_EQ(m.sent().size(), 258u);
}

}  // namespace
