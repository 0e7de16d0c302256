// Reading the program back from a scripted master whose line damages
// replies: a changed byte, bytes added after a reply, a master with and
// without a checksum in the seventeenth byte.  Every upload either returns
// the master's exact image or fails with a message; none passes a byte it
// did not read reliably.  Also the type request's damaged replies.

#include <gtest/gtest.h>

#include <random>

#include "ScriptedMaster.h"
#include "TestPlatform.h"
#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "isa/Vocabulary.h"
#include "link/Upload.h"
#include "modules/Detection.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct UploadReads : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    ScriptedMaster m{*s};
    std::mt19937 rng{84};

    // A random image of length bytes in the master's memory.
    Bytes Fill(int length) {
        Bytes image(static_cast<size_t>(length));
        for (uint8_t& b : image) b = uint8_t(rng());
        image[0] = uint8_t(length);
        image[1] = uint8_t(length >> 8);
        std::copy(image.begin(), image.end(), m.memory.begin());
        s->online = true;
        return image;
    }
    int BlockReads() const {
        int n = 0;
        for (const auto& e : m.exchanges) n += e.command == 0x84;
        return n;
    }
};

TEST_F(UploadReads, DamagedRepliesAreReadAgainNeverPassed) {
    // {what, 17th byte a checksum, image length, fault on the n-th Read block (from 1), extra reads expected}
    struct Case {
        const char* what;
        bool sum;
        int length;
        std::function<void(int n, Bytes& reply)> fault;
        int extraReads;
    };
    const auto invertAt = [](int nth, int k) {
        return [nth, k](int n, Bytes& r) {
            if (n == nth) r[size_t(k)] ^= 0xFF;
        };
    };
    const auto extraAfter = [](int nth, Bytes tail) {
        return [nth, tail](int n, Bytes& r) {
            if (n == nth) r.insert(r.end(), tail.begin(), tail.end());
        };
    };
    const int length = 200;   // 13 blocks
    const int twice = 4, once = 13 - 4;   // the first four are read twice, the rest once with a checksum
    const std::vector<Case> cases = {
        {"clean, checksum", true, length, nullptr, 0},
        {"clean, no checksum", false, length, nullptr, 0},
        {"byte inverted while learning", true, length, invertAt(2, 5), 1},
        {"byte inverted after learning, checksum", true, length, invertAt(2 * twice + 3, 7), 1},
        {"byte inverted, no checksum", false, length, invertAt(11, 0), 1},
        {"checksum byte itself damaged", true, length, invertAt(2 * twice + 1, 16), 1},
        {"extra bytes after a reply, checksum", true, length, extraAfter(2 * twice + 2, {0x11, 0x22, 0x33}), 1},
        {"extra bytes after a reply, no checksum", false, length, extraAfter(6, {0x84}), 1},
        {"extra bytes after the last reply", true, length, extraAfter(2 * twice + once, {0x42}), 1},
        {"one block image, extra bytes", false, 10, extraAfter(2, {0x00, 0x00}), 1},
    };
    for (const Case& c : cases) {
        m.exchanges.clear();
        m.port->rx.clear();
        ui.messages.clear();
        m.readBlockSum = c.sum;
        int n = 0;
        m.onReadBlock = [&](int, Bytes& r) {
            ++n;
            if (c.fault) c.fault(n, r);
        };
        const Bytes image = Fill(c.length);
        Bytes read;
        ASSERT_EQ(ReadMasterImage(*s, read), 0) << c.what << ": " << (ui.messages.empty() ? "" : ui.messages[0]);
        EXPECT_EQ(read, image) << c.what;
        EXPECT_TRUE(ui.messages.empty()) << c.what;
        const int blocks = (c.length + 15) / 16;
        const int clean = c.sum ? std::min(blocks, twice) * 2 + std::max(0, blocks - twice) : blocks * 2;
        // A damaged read costs one read more, or two where reads must agree.
        EXPECT_GE(BlockReads(), clean + c.extraReads) << c.what;
        EXPECT_LE(BlockReads(), clean + 2 * c.extraReads) << c.what;
    }
}

// The rest of a longer reply that comes only after the next request has
// gone out: the block read before it is read again, out of step or not.
TEST_F(UploadReads, LateBytesOfAReplyMakeTheBlockBeforeReadAgain) {
    for (bool sum : {false, true}) {
        m.exchanges.clear();
        m.port->rx.clear();
        ui.messages.clear();
        m.readBlockSum = sum;
        m.onReadBlock = nullptr;
        const Bytes image = Fill(160);
        // Block 5 done: a byte of it arrives late, before block 6 is asked for.
        s->progressHook = [this](int done, int) {
            if (done == 6) m.port->rx.push_back(0x99);
        };
        Bytes read;
        ASSERT_EQ(ReadMasterImage(*s, read), 0) << (ui.messages.empty() ? "" : ui.messages[0]);
        s->progressHook = nullptr;
        EXPECT_EQ(read, image);
        int block5 = 0;
        for (const auto& e : m.exchanges)
            if (e.command == 0x84 && e.args.size() >= 2 && (e.args[0] | (e.args[1] << 8)) == 80) ++block5;
        EXPECT_EQ(block5, sum ? 2 : 4) << (sum ? "checksum" : "no checksum");
    }
}

TEST_F(UploadReads, ABlockThatNeverReadsTheSameFails) {
    for (bool sum : {false, true}) {
        m.exchanges.clear();
        ui.messages.clear();
        m.readBlockSum = sum;
        m.onReadBlock = [this](int offset, Bytes& r) {
            if (offset == 32) r[3] = uint8_t(rng());   // never the same twice, nor its sum
        };
        Fill(100);
        Bytes read;
        EXPECT_EQ(ReadMasterImage(*s, read), -1);
        EXPECT_EQ(ui.messages, std::vector<std::string>{
                                   "Block at offset 32 of the program in master could not be read reliably"});
        EXPECT_TRUE(s->online);
        EXPECT_TRUE(read.empty());
    }
}

// Up to 16368 bytes every image comes back as lines that assemble to it; a
// longer one is read exactly but said not to assemble again.
TEST_F(UploadReads, ImagesLongerThanAssemblyMakesAreSaidSo) {
    m.readBlockSum = true;
    for (int length : {16368, 16369, 16384}) {
        ui.messages.clear();
        const Bytes image = Fill(length);
        Disassembly d;
        ASSERT_EQ(UploadProgram(*s, {kTypeMaster}, d), 0);
        EXPECT_EQ(d.fits, length <= 16368);
        if (length <= 16368) {
            EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
        } else {
            EXPECT_EQ(ui.messages, std::vector<std::string>{Format(
                                       "Program in master is %d bytes - assembly makes at most 16368, so it will "
                                       "not assemble again",
                                       length)});
        }
    }
}

// A type reply whose checksum fails, or that runs longer than asked (its count
// byte damaged), is no type: the rest is drained and the next module's reply
// read cleanly; the lookup stops with the module named.
TEST_F(UploadReads, DamagedTypeRepliesAreNoGuess) {
    m.setModules({0, 2, 3});
    s->online = true;
    s->status.moduleCount = 3;
    m.replyTail = Bytes(40, 0x00);   // the damaged count: 40 bytes more after module 1's reply
    int damagedAt = 0;
    EXPECT_EQ(LookUpModuleTypes(*s, *s, &damagedAt), kDamagedReply);
    EXPECT_EQ(damagedAt, 1);
    EXPECT_TRUE(s->online);
    EXPECT_TRUE(m.port->rx.empty());
    // Clean, the same network is learnt whole.
    EXPECT_EQ(LookUpModuleTypes(*s, *s, &damagedAt), 3);
    EXPECT_EQ((std::vector<int>{s->moduleTypes[1], s->moduleTypes[2], s->moduleTypes[3]}), (std::vector<int>{0, 2, 3}));

    m.corruptChecksum = true;
    EXPECT_EQ(LookUpModuleTypes(*s, *s, &damagedAt), kDamagedReply);
    EXPECT_EQ(damagedAt, 1);
    m.corruptChecksum = false;
    // Detection itself takes a bad checksum's bytes as they came.
    m.corruptChecksum = true;
    EXPECT_EQ(AskModuleType(*s, 2), 2);
}

}  // namespace
