// The link log: what the ring keeps, how bytes group into exchanges and
// their verdicts against a scripted master, and the saved form.

#include <gtest/gtest.h>

#include "ExecFixture.h"
#include "TestPlatform.h"
#include "app/DownloadButtons.h"
#include "app/PollTimer.h"
#include "isa/Vocabulary.h"
#include "link/LinkLog.h"
#include "link/Protocol.h"
#include "app/ModuleDetection.h"

namespace {

using Row = std::pair<std::string, std::string>;  // command, verdict

std::vector<Row> Rows(const std::vector<LinkExchange>& exchanges) {
    std::vector<Row> rows;
    for (const auto& e : exchanges) rows.emplace_back(e.command, LinkVerdictId(e.verdict));
    return rows;
}

struct LinkLogTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = OnlineState(ui);
    ScriptedMaster m{*s};
    LinkLog log;
    void SetUp() override { s->linkLog = &log; }

    std::vector<LinkExchange> exchanges() const {
        LinkRuns runs;
        log.copyRuns(0, runs);
        return DecodeLinkRuns(runs, nullptr);
    }
};

TEST_F(LinkLogTest, DownloadLogsOneWriteBlockPerBlock) {
    SetProgram(*s, {FillerLine(20), FillerLine(20)});  // 42 bytes: three blocks
    const struct {
        bool refuse;
        std::vector<Row> rows;
    } cases[] = {
        {false, {{"Write block", "ok"}, {"Write block", "ok"}, {"Write block", "ok"}}},
        {true, {{"Write block", "refused"}}},
    };
    for (const auto& c : cases) {
        log.clear();
        s->online = true;
        m.answerCC = c.refuse;
        DownloadButtonClick(*s);
        ASSERT_EQ(s->imageLength, 42);
        const auto got = exchanges();
        EXPECT_EQ(Rows(got), c.rows) << c.refuse;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].summary, i == 0 ? "offset 0x0000" : i == 1 ? "offset 0x0010" : "offset 0x0020");
            ASSERT_EQ(got[i].sent.size(), 21u);
            EXPECT_EQ(got[i].sent[1], i * 16);
            EXPECT_EQ(got[i].received, (std::vector<uint8_t>{0x00, uint8_t(c.refuse ? 0xCC : 0x00)}));
        }
    }
}

// A master that falls silent from its n-th command: the exchange that lost
// its reply is that command's, with every earlier one ok.
TEST_F(LinkLogTest, MissingReplyNamesTheCommandThatLostIt) {
    m.setModules({0, 2});
    const struct {
        int silentFrom;
        std::vector<Row> tail;
        std::string summary;
    } cases[] = {
        {0, {{"Stop", "missing-reply"}}, "6 byte(s) of the reply missing"},
        {1, {{"Stop", "ok"}, {"Execute instruction", "missing-reply"}}, "no acknowledge"},
        {3, {{"Stop", "ok"}, {"Execute instruction", "missing-reply"}}, "no acknowledge"},
        {4, {{"Execute instruction", "ok"}, {"Read reply", "missing-reply"}}, "no acknowledge"},
    };
    for (const auto& c : cases) {
        log.clear();
        m.exchanges.clear();
        m.silentFromCommand = c.silentFrom;
        s->online = true;
        s->moduleListDefined = false;
        DetectModules(*s);
        auto rows = Rows(exchanges());
        ASSERT_GE(rows.size(), c.tail.size());
        rows.erase(rows.begin(), rows.end() - long(c.tail.size()));
        EXPECT_EQ(rows, c.tail) << c.silentFrom;
        EXPECT_NE(exchanges().back().summary.find(c.summary), std::string::npos) << exchanges().back().summary;
    }
}

TEST_F(LinkLogTest, ReadReplyChecksumAndStatusItems) {
    m.setModules({0});
    s->moduleTypes[1] = 0;
    m.replyData = {0x28, 0xE8, 0x03, 0x00, 0x00, 0xF6, 0xFF, 0xFF, 0xFF};
    for (bool corrupt : {false, true}) {
        log.clear();
        m.corruptChecksum = corrupt;
        m.replyData = {0x28, 0xE8, 0x03, 0x00, 0x00, 0xF6, 0xFF, 0xFF, 0xFF};
        uint8_t frame[6], reply[10];
        PutStatusRequest(frame, 1, 0x11, 9);
        ASSERT_EQ(HostExecute(*s, frame, 6), 0);
        HostReadReply(*s, reply, 9);
        LinkRuns runs;
        log.copyRuns(0, runs);
        const int32_t types[32] = {127, 0};
        const auto got = DecodeLinkRuns(runs, types);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].summary, "Servo 1: GetStatus position home-position, 9 reply byte(s)");
        EXPECT_EQ(got[1].summary, "9 byte(s): status 0x28, position 1000, home position -10");
        EXPECT_EQ(LinkVerdictId(got[1].verdict), std::string(corrupt ? "checksum-mismatch" : "ok"));
    }
}

TEST_F(LinkLogTest, UnsolicitedBytesAndPrintedTextInOrder) {
    m.send({'H', 'i', 0x00});
    m.printed = {'X', '\r', '\n'};
    PollTimerTimer(*s);
    m.send({'#'});
    s->online = false;  // an off-line tick only collects (and here detects)
    PollTimerTimer(*s);
    auto got = exchanges();
    ASSERT_GE(got.size(), 3u);
    got.resize(3);
    ASSERT_EQ(Rows(got),
              (std::vector<Row>{{"Unsolicited", "unsolicited"}, {"Poll", "printed"}, {"Unsolicited", "unsolicited"}}));
    EXPECT_EQ(got[0].text, "Hi");
    EXPECT_EQ(got[1].text, "X\r\n");
    EXPECT_EQ(got[1].summary, "\"X\\r\\n\", modules 0, address 0x0002, stopped");
    EXPECT_EQ(got[2].summary, "\"#\", the master announced itself");
}

// Appends of the lengths given to a small ring: which bytes are kept.
TEST(LinkLogRing, KeepsTheNewestBytes) {
    const struct {
        size_t bytes, runs;
        std::vector<int> appends;  // run lengths; the bytes count up from 0
        uint64_t firstRun;
        std::vector<uint8_t> kept;
    } cases[] = {
        {16, 8, {4, 4}, 0, {0, 1, 2, 3, 4, 5, 6, 7}},
        {16, 8, {10, 10}, 1, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},       // the first run overwritten
        {16, 3, {1, 1, 1, 1, 1}, 2, {2, 3, 4}},                               // too many runs
        {16, 8, {6, 6, 6}, 1, {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}},  // wraps around
        {16, 8, {40}, 0, {24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39}},
    };
    for (const auto& c : cases) {
        LinkLog log(c.bytes, c.runs);
        uint8_t next = 0;
        for (int n : c.appends) {
            std::vector<uint8_t> b(static_cast<size_t>(n), 0);
            for (auto& x : b) x = next++;
            log.sent(b.data(), n);
        }
        LinkRuns runs;
        EXPECT_EQ(log.copyRuns(0, runs), c.firstRun);
        EXPECT_EQ(runs.bytes, c.kept);
    }
}

// Bytes that detection's purge throws away are in the log, marked so, and
// the detection goes on as before.
TEST_F(LinkLogTest, BytesThePurgeThrowsAwayAreMarked) {
    m.setModules({2});
    m.onExecute = [](ScriptedMaster& master, const std::vector<uint8_t>& instr) {
        if (instr.size() == 3 && instr[0] == kMasterMarker) master.send({'x', 'y'});  // ahead of TavoInit's result
    };
    DetectModules(*s);
    std::vector<std::string> rows;
    for (const LinkExchange& e : exchanges())
        rows.push_back(std::string(e.command) + "/" + LinkVerdictId(e.verdict) + "/" + e.summary);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[1], "Execute instruction/ok/Master: TavoInit");
    EXPECT_EQ(rows[2], "Discarded/discarded/\"y\", 2 byte(s) thrown away unread");
    EXPECT_EQ(rows[3].rfind("Stop/ok/modules 1", 0), 0u) << rows[3];
    EXPECT_EQ(s->moduleListCount, 1);
    EXPECT_TRUE(s->online);
}

TEST_F(LinkLogTest, SavedLogDecodesToTheSameExchanges) {
    m.setModules({0, 2, 3});
    m.printed = {'o', 'k', 0xE9};
    DetectModules(*s);
    PollTimerTimer(*s);
    m.silent = true;
    PollTimerTimer(*s);
    LinkRuns runs, back;
    log.copyRuns(0, runs);
    int32_t types[32];
    ASSERT_EQ(ParseLinkLog(FormatLinkLog(runs, s->moduleTypes), back, types), "");
    EXPECT_EQ(back.bytes, runs.bytes);
    const auto a = DecodeLinkRuns(runs, s->moduleTypes), b = DecodeLinkRuns(back, types);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(LinkExchangeJson(a[i]), LinkExchangeJson(b[i]));
    EXPECT_EQ(LinkVerdictId(a.back().verdict), std::string("missing-reply"));
    EXPECT_EQ(LinkExchangeJson(a[a.size() - 2]),
              "{\"t_us\": " + std::to_string(a[a.size() - 2].t_us) +
                  ", \"code\": 142, \"command\": \"Poll\", \"verdict\": \"printed\", \"summary\": "
                  "\"\\\"ok\\u00E9\\\", modules 0, address 0x0002, stopped\", \"sent\": \"8E\", "
                  "\"received\": \"6F 6B E9 55 00 00 00 02 00\", \"text\": \"ok\\u00E9\"}");
}

// Logs as a file holds them: how runs group and what each exchange says.
TEST(LinkLogFile, GroupsRunsAsTheHostProtocolDoes) {
    const struct {
        const char* runs;   // after the first line
        std::vector<std::string> rows;   // command / verdict / summary
    } cases[] = {
        {"1 > 83\n2 < 00\n3 > 00 00\n4 > 8E\n5 < 41 0D 0A\n6 -\n7 < 23\n",
         {"Write block/missing-reply/cut off while sending", "Poll/missing-reply/\"A\\r\\n\", no \"U\"",
          "Unsolicited/unsolicited/\"#\", the master announced itself"}},
        {"1 > 82\n2 < 00\n3 > FF FF\n4 > 61\n5 > 81\n6 < 00\n7 > 02 00\n",
         {"Set breakpoint/ok/clear", "Key/ok/'a'", "Run/ok/address 0x0002"}},
        {"1 > 87\n2 < 00\n3 > 02\n4 < 05 06 0B\n5 > 87\n6 < 00\n7 > 01\n8 < 07 08\n",
         {"Read reply/ok/2 byte(s)", "Read reply/checksum-mismatch/1 byte(s)"}},
        {"1 > 80\n2 < 00 03\n3 > 88\n4 < 00 02\n",
         {"Stop/missing-reply/4 byte(s) of the reply missing", "Version/ok/version 2"}},
        {"1 > 85\n2 < 00\n3 > 03 BB 00 0E C9\n4 < CC\n",
         {"Execute instruction/refused/Master: TavoInit"}},
        // The device gone: a read under way, a write of arguments, a query
        // between exchanges and the write after it (the read that follows
        // tells nothing new).
        {"1 > 8E\n2 < 41\n3 !\n4 !\n",
         {"Poll/port-lost/\"A\", the device is gone while waiting for the reply"}},
        {"1 > 81\n2 < 00\n3 ! 02 00\n4 !\n", {"Run/port-lost/the device is gone, 2 byte(s) not sent"}},
        {"1 < 23\n2 !\n3 ! 8E\n4 !\n",
         {"Unsolicited/unsolicited/\"#\", the master announced itself", "Port/port-lost/the device is gone",
          "Poll/port-lost/the device is gone, 1 byte(s) not sent"}},
        {"1 ! 61\n", {"Key/port-lost/the device is gone, 1 byte(s) not sent"}},
        // Bytes a purge threw away, between two exchanges.
        {"1 > 85\n2 < 00\n3 > 03 BB 00 0E C9\n4 < 00\n5 x 41 00 42\n6 > 80\n7 < 00 01 00 00 02 00\n",
         {"Execute instruction/ok/Master: TavoInit", "Discarded/discarded/\"AB\", 3 byte(s) thrown away unread",
          "Stop/ok/modules 1, A 0x00, B 0x00, address 0x0002"}},
    };
    for (const auto& c : cases) {
        LinkRuns runs;
        int32_t types[32];
        ASSERT_EQ(ParseLinkLog(std::string("# stepwright link log 1\n") + c.runs, runs, types), "") << c.runs;
        std::vector<std::string> rows;
        for (const auto& e : DecodeLinkRuns(runs, types))
            rows.push_back(std::string(e.command) + "/" + LinkVerdictId(e.verdict) + "/" + e.summary);
        EXPECT_EQ(rows, c.rows) << c.runs;
    }
}

TEST(LinkLogFile, RefusesWhatIsNotALog) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"12 > 80\n", "line 1: not a link log"},
        {"# stepwright link log 1\n12 ) 80\n", "line 2: unknown direction \")\""},
        {"# stepwright link log 1\n12 > 8\n", "line 2: a byte needs two hexadecimal digits"},
        {"# stepwright link log 1\n12 > 80\n11 < 00\n", "line 3: time goes backwards"},
        {"# stepwright link log 1\n12 - 00\n", "line 2: a short read carries no bytes"},
        {"# stepwright link log 1\n12 <\n", "line 2: a run needs at least one byte"},
        {"# stepwright link log 1\n12 x\n", "line 2: a run needs at least one byte"},
        {"# stepwright link log 1\n12 > 8G\n", "line 2: \"8G\" is not a hexadecimal byte"},
    };
    for (const auto& c : cases) {
        LinkRuns runs;
        int32_t types[32];
        const std::string error = ParseLinkLog(c.text, runs, types);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " -> " << error;
        EXPECT_TRUE(runs.heads.empty());
    }
}

// The port's loss and a purge's bytes keep their marks through the saved form.
TEST(LinkLogFile, LostAndDiscardedRunsSurviveSaving) {
    LinkLog log;
    const uint8_t poll = 0x8E, junk[] = {0x41, 0x42};
    log.sent(&poll, 1);
    log.discarded(junk, 2);
    log.lost(&poll, 1);
    log.lost(nullptr, 0);
    LinkRuns runs, back;
    log.copyRuns(0, runs);
    const std::string text = FormatLinkLog(runs, nullptr);
    std::vector<std::string> marks;
    for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); at = text.find('\n', at + 1))
        marks.push_back(text.substr(text.find(' ', at + 1) + 1, text.find('\n', at + 1) - text.find(' ', at + 1) - 1));
    EXPECT_EQ(marks, (std::vector<std::string>{"> 8E", "x 41 42", "! 8E", "!"}));
    int32_t types[32];
    ASSERT_EQ(ParseLinkLog(text, back, types), "");
    ASSERT_EQ(back.heads.size(), 4u);
    EXPECT_EQ(back.heads[1].dir, LinkDir::Discarded);
    EXPECT_EQ(back.heads[2].dir, LinkDir::Lost);
    EXPECT_EQ(back.heads[3].len, 0u);
    EXPECT_EQ(back.bytes, runs.bytes);
}

}  // namespace
