// Terminal window: received characters, the 12-line limit, typed keys.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptedMaster.h"
#include "TestPlatform.h"
#include "app/MainState.h"
#include "app/Terminal.h"

namespace {

using Lines = std::vector<std::string>;

struct TerminalTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);

    void feed(const std::string& bytes) {
        for (char c : bytes) AppendTerminalChar(*s, uint8_t(c));
    }
};

TEST_F(TerminalTest, ReceivedCharacters) {
    struct Case {
        Lines before;
        std::string bytes;
        Lines after;
    };
    const Case cases[] = {
        {{">"}, "Hi\r\nOK", {">Hi", ">OK"}},
        {{}, "ab", {"ab"}},                      // empty box: first line without a prompt
        {{}, "\n", {">"}},
        {{">"}, "\r\r\r", {">"}},                // carriage returns dropped
        {{"x"}, "\n\n", {"x", ">", ">"}},
        {{">"}, std::string("a\0b\xff", 4), {std::string(">a\0b\xff", 5)}},
    };
    for (const Case& c : cases) {
        s->terminal.lines = c.before;
        feed(c.bytes);
        EXPECT_EQ(s->terminal.lines, c.after) << c.bytes;
    }
}

TEST_F(TerminalTest, KeepsTwelveLines) {
    s->terminal.lines = {">"};
    for (int i = 1; i <= 11; ++i) feed("\n" + std::to_string(i));
    ASSERT_EQ(s->terminal.lines.size(), 12u);
    EXPECT_EQ(s->terminal.lines.front(), ">");
    feed("\nA");
    ASSERT_EQ(s->terminal.lines.size(), 12u);
    EXPECT_EQ(s->terminal.lines.front(), ">1");
    EXPECT_EQ(s->terminal.lines.back(), ">A");
    feed("\nB\nC");
    ASSERT_EQ(s->terminal.lines.size(), 12u);
    EXPECT_EQ(s->terminal.lines.front(), ">3");
    EXPECT_EQ(s->terminal.lines.back(), ">C");
}

TEST_F(TerminalTest, EndlessLineStaysBounded) {
    s->terminal.lines = {">"};
    feed(std::string(40000, 'x') + "END");
    const std::string& last = s->terminal.lines.back();
    EXPECT_LE(last.size(), 32768u);
    EXPECT_EQ(last.substr(last.size() - 4), "xEND");
}

TEST_F(TerminalTest, TypedKeysGoToMasterAndEcho) {
    ScriptedMaster m(*s);
    s->terminal.lines = {">"};
    s->pollTimerOn = true;
    // The poll timer is off while the key is sent and during the pause.
    ui.waits.clear();
    TerminalMemoKeyPress(*s, 'a');
    TerminalMemoKeyPress(*s, 13);
    TerminalMemoKeyPress(*s, 'b');
    EXPECT_EQ(m.sent(), (std::vector<uint8_t>{'a', 13, 'b'}));
    EXPECT_EQ(m.keys, (std::vector<uint8_t>{'a', 13, 'b'}));
    EXPECT_EQ(s->terminal.lines, (Lines{">a", ">b"}));
    EXPECT_EQ(ui.waits, (std::vector<int>{100, 100, 100}));
    EXPECT_TRUE(s->pollTimerOn);
    // The on-line state is not checked.
    EXPECT_FALSE(s->online);
}

TEST_F(TerminalTest, TypingWithoutPortOnlyEchoes) {
    s->terminal.lines = {">"};
    TerminalMemoKeyPress(*s, 'z');
    EXPECT_EQ(s->terminal.lines, Lines{">z"});
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.waitedMs, 100);
    // No port: no polling starts.
    EXPECT_FALSE(s->pollTimerOn);
}

TEST_F(TerminalTest, ShowClearClose) {
    ShowTermButtonClick(*s);
    EXPECT_TRUE(s->terminal.visible);
    EXPECT_EQ(s->terminal.lines, Lines{">"});
    feed("abc\ndef");
    CloseTermButtonClick(*s);
    EXPECT_FALSE(s->terminal.visible);
    // Characters still arrive while hidden, and the text stays.
    feed("g");
    ShowTermButtonClick(*s);
    EXPECT_EQ(s->terminal.lines, (Lines{">abc", ">defg"}));
    ClearTermButtonClick(*s);
    EXPECT_EQ(s->terminal.lines, Lines{">"});
    EXPECT_TRUE(s->terminal.visible);
}

}  // namespace
