// Status polling: unsolicited bytes, the "#" announcement, the poll answer,
// the follow flag, the running indicator and the resume flag.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "PtyPeer.h"
#include "ScriptedMaster.h"
#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/PollTimer.h"
#include "link/Sio.h"
#include "app/Editing.h"
#include "app/Execution.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

struct PollingTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    ScriptedMaster m{*s};

    void SetUp() override {
        StartTimerTimer(*s);
        // Instruction lines at addresses 2, 5 and 8, then the end marker.
        for (int i = 0; i < 3; ++i) {
            s->lines[i] = ProgramLine{};
            s->lines[i].bytes[0] = 0xBB;
            s->lines[i].address = uint16_t(2 + 3 * i);
        }
        s->lineCount = 3;
        RebuildListing(*s);
        s->pollTimerOn = true;
    }
    void tick(uint8_t statusB, uint16_t address) {
        s->online = true;
        m.pollStatus[2] = statusB;
        m.pollStatus[3] = uint8_t(address & 0xFF);
        m.pollStatus[4] = uint8_t(address >> 8);
        PollTimerTimer(*s);
    }
};

TEST_F(PollingTest, UnsolicitedBytesAndAnnouncement) {
    // Off line: only collected; the zero byte is dropped.
    m.send({'H', 'i', 0x00, '!'});
    PollTimerTimer(*s);
    EXPECT_TRUE(m.sent().empty());
    EXPECT_EQ(s->terminal.lines, Lines{"Hi!"});
    EXPECT_TRUE(s->pollTimerOn);

    // "#" followed by another byte in the same tick: no detection.
    m.send({'#', 'x'});
    PollTimerTimer(*s);
    EXPECT_FALSE(s->online);
    EXPECT_TRUE(m.sent().empty());
    EXPECT_EQ(s->terminal.lines, Lines{"Hi!#x"});

    // "#" as the last byte: detection, then the tick polls.
    m.setModules({0});
    m.send({'#'});
    PollTimerTimer(*s);
    EXPECT_TRUE(s->online);
    EXPECT_EQ(m.commands().front(), 0x80);
    EXPECT_EQ(m.commands().back(), 0x8E);
    EXPECT_EQ(ui.messages, Lines{"1 module(s) found"});
    EXPECT_TRUE(s->pollTimerOn);

    // The force-detection flag does the same without "#".
    s->online = false;
    s->forceDetection = true;
    m.exchanges.clear();
    PollTimerTimer(*s);
    EXPECT_TRUE(s->online);
    EXPECT_FALSE(s->forceDetection);
    EXPECT_EQ(m.commands().back(), 0x8E);
}

TEST_F(PollingTest, PollAnswerToTerminalAndStatus) {
    // Printed characters, a zero byte among them, then U and five status bytes.
    m.printed = {'X', 0x00, 'Y', '\r', '\n', 'Z'};
    m.pollStatus[0] = 4;
    m.pollStatus[1] = 0x77;
    tick(0x01, 0x0105);
    EXPECT_EQ(m.sent(), Bytes{0x8E});
    EXPECT_EQ(s->terminal.lines, (Lines{std::string("X\0Y", 3), ">Z"}));
    EXPECT_EQ(s->status.moduleCount, 4);
    EXPECT_EQ(s->status.statusA, 0x77);
    EXPECT_EQ(s->status.programAddress, 0x0105);
    EXPECT_EQ(s->form.RunLEDShape.color, kGreen);
    EXPECT_TRUE(s->pollTimerOn);
    EXPECT_TRUE(m.port->rx.empty());
}

// Each row is one tick after the flags and the user's line were set: the
// poll marks the line at the program address apart from the user's current
// line; only the tick that finds the user's Step stopped moves the selection.
TEST_F(PollingTest, FollowIndicatorAndResume) {
    struct Step {
        bool follow, stepped;
        uint8_t statusB;
        uint16_t address;
        int userLine;          // -1: leave currentLine (and the selection)
        int line;              // currentLine after the tick
        int executing;         // the marked line after the tick
        bool followAfter;
        uint32_t led;
        bool resumeAfter;
    };
    const Step steps[] = {
        {true, false, 0x01, 5, 0, 0, 1, true, kGreen, true},     // running: marked, selection stays
        {true, false, 0x01, 8, -1, 0, 2, true, kGreen, true},    // the mark moves on
        {true, false, 0x00, 5, -1, 0, 1, false, kRed, true},     // stopped by itself: marked, then follow off
        {false, false, 0x01, 2, -1, 0, 1, false, kGreen, true},  // not following: mark stays
        {true, true, 0x01, 8, 1, 1, 2, true, kGreen, true},      // a Step still running: marked only
        {true, true, 0x00, 8, -1, 2, 2, false, kRed, true},      // the Step's stop: selected
        {true, false, 0x00, 12, 1, 1, 3, false, kRed, false},    // finished beyond every line: end marked
        {true, true, 0x00, 12, -1, 3, 3, false, kRed, false},    // a Step beyond the last line
        {false, false, 0x00, 2, 1, 1, 3, false, kRed, true},
        {false, false, 0x00, 2, 3, 3, 3, false, kRed, false},    // the user selected the end marker
    };
    for (const Step& st : steps) {
        s->followFlag = st.follow;
        s->stepMovesSelection = st.stepped;
        s->resumeFlag = true;
        if (st.userLine >= 0) {
            DeselectAllLines(*s);
            s->listing.select(st.userLine);
            s->currentLine = st.userLine;
        }
        tick(st.statusB, st.address);
        EXPECT_EQ(s->currentLine, st.line) << st.address;
        for (int i = 0; i < s->listing.count(); ++i)
            EXPECT_EQ(s->listing.selected(i), i == st.line) << st.address << " line " << i;
        EXPECT_EQ(s->listing.focus(), st.line) << st.address;
        EXPECT_EQ(s->listing.executing(), st.executing) << st.address;
        EXPECT_EQ(s->followFlag, st.followAfter) << st.address;
        EXPECT_EQ(s->form.RunLEDShape.color, st.led) << st.address;
        EXPECT_EQ(s->resumeFlag, st.resumeAfter) << st.address;
    }
}

// The mark stays with its line while lines are added and removed above it,
// goes with its line, and Restart and a new listing take it away.
TEST_F(PollingTest, ExecutionMarkFollowsItsLineThroughEdits) {
    s->followFlag = true;
    tick(0x01, 5);
    ASSERT_EQ(s->listing.executing(), 1);
    s->currentLine = 0;
    s->form.CommentEdit.text = "above";
    CommentButtonClick(*s);                   // inserted before line 0
    EXPECT_EQ(s->listing.executing(), 2);
    s->currentLine = 3;
    DeleteButtonClick(*s);                    // below the mark: it stays
    EXPECT_EQ(s->listing.executing(), 2);
    s->currentLine = 2;
    DeleteButtonClick(*s);                    // the marked line itself
    EXPECT_EQ(s->listing.executing(), -1);

    tick(0x01, 2);
    EXPECT_EQ(s->listing.executing(), 1);
    RestartButtonClick(*s);
    EXPECT_EQ(s->listing.executing(), -1);
    tick(0x01, 2);                            // still running: marked again
    EXPECT_EQ(s->listing.executing(), 1);
    RebuildListing(*s);
    EXPECT_EQ(s->listing.executing(), -1);
}

TEST_F(PollingTest, BrokenPollAnswers) {
    struct Case {
        const char* name;
        bool silent, marker;
        int statusBytes;
    };
    const Case cases[] = {{"no answer", true, true, 5}, {"no U", false, false, 5}, {"four status bytes", false, true, 4}};
    for (const Case& c : cases) {
        ui.messages.clear();
        s->terminal.lines.clear();
        s->form.RunLEDShape.color = kGreen;
        s->status.programAddress = 0x4444;
        m.silent = c.silent;
        m.pollMarker = c.marker;
        m.pollStatusLength = c.statusBytes;
        m.printed = {'o', 'k'};
        tick(0x01, 2);
        EXPECT_EQ(ui.messages, Lines{"Stepwright not responding"}) << c.name;
        EXPECT_FALSE(s->online) << c.name;
        EXPECT_TRUE(s->pollTimerOn) << c.name;
        EXPECT_EQ(s->status.programAddress, 0x4444) << c.name;
        EXPECT_EQ(s->form.RunLEDShape.color, kGreen) << c.name;   // keeps its last colour
        EXPECT_EQ(s->terminal.lines, c.silent ? Lines{} : Lines{"ok"}) << c.name;
        // The next tick is off line: no poll, no second message.
        m.port->rx.clear();
        m.port->sent.clear();
        PollTimerTimer(*s);
        EXPECT_TRUE(m.sent().empty()) << c.name;
        EXPECT_EQ(ui.messages.size(), 1u) << c.name;
    }
}

// A peer that never stops sending, at once.
struct Chatter : SerialLink {
    bool write(const uint8_t*, int) override { return true; }
    int read(uint8_t* buffer, int count) override {
        std::fill(buffer, buffer + count, 'a');
        return count;
    }
    int waiting() override { return 1000; }
    bool discardInput() override { return true; }
};

// A master on a pseudo-terminal that trickles one character every 20 ms and
// never sends "U": each read gets its byte within the read time-out.
struct Trickler {
    PtyPeer peer;
    std::atomic<bool> stop{false};
    std::thread thread;
    Trickler() {
        thread = std::thread([this] {
            while (!stop) {
                peer.send({'t'});
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~Trickler() {
        stop = true;
        thread.join();
    }
};

// One tick returns within its time bound (the collection's 250 ms and the
// answer's second, plus the read under way), here with a generous margin.
TEST_F(PollingTest, EndlessOrTricklingPeerCannotHoldTheTick) {
    Trickler trickler;
    ASSERT_TRUE(trickler.peer.ok());
    struct Case {
        const char* name;
        std::function<std::unique_ptr<SerialLink>()> open;
    };
    const Case cases[] = {
        {"instant", [] { return std::make_unique<Chatter>(); }},
        {"trickling", [&] { return SioOpen(*s, trickler.peer.slavePath(), 19200); }},
    };
    for (const Case& c : cases) {
        ui.messages.clear();
        s->port = c.open();
        ASSERT_TRUE(s->port) << c.name;
        s->online = true;
        const auto start = std::chrono::steady_clock::now();
        PollTimerTimer(*s);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(4)) << c.name;
        EXPECT_FALSE(s->online) << c.name;
        EXPECT_EQ(ui.messages, Lines{"Stepwright not responding"}) << c.name;
        EXPECT_TRUE(s->pollTimerOn) << c.name;
        EXPECT_FALSE(s->terminal.lines.empty()) << c.name;
    }
}

}  // namespace
