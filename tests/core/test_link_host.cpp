// The link's exchanges over a bare LinkState: what each tells its host
// (printed bytes, the progress notice hidden, messages, the link lost) and
// in which order, with no window behind it.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedMaster.h"
#include "link/Download.h"
#include "link/LinkState.h"
#include "link/Polling.h"
#include "link/Upload.h"
#include "program/ProgramState.h"

namespace {

// Records every call of the link as one line of events: "p:x" printed x,
// "hide", "lost", "msg:text".
struct RecordingHost : LinkHost {
    std::string events;
    void message(const std::string& text) override { events += "msg:" + text + "|"; }
    void wait(int) override {}
    void linkLost() override { events += "lost|"; }
    void hideProgress() override { events += "hide|"; }
    void printed(uint8_t c) override { events += std::string("p:") + char(c) + "|"; }
};

struct Bench {
    RecordingHost host;
    LinkState link;
    ScriptedMaster master{link};
    std::unique_ptr<ProgramState> program = std::make_unique<ProgramState>();
    Bench() {
        link.host = &host;
        link.online = true;
    }
    void image(int length, uint8_t fill) {
        program->imageLength = uint16_t(length);
        for (int i = 0; i < length; ++i) program->programImage[i] = uint8_t(fill + i);
        program->programImage[0] = uint8_t(length);
        program->programImage[1] = uint8_t(length >> 8);
    }
    void masterImage(int length, uint8_t fill) {
        for (int i = 0; i < length; ++i) master.memory[size_t(i)] = uint8_t(fill + i);
        master.memory[0] = uint8_t(length);
        master.memory[1] = uint8_t(length >> 8);
    }
};

std::string Str(BlockResult r) {
    return r == BlockResult::Done ? "done" : r == BlockResult::NoReply ? "noreply" : "mismatch";
}
std::string Str(ImageComparison r) {
    switch (r) {
        case ImageComparison::NoReply: return "noreply";
        case ImageComparison::Same: return "same";
        case ImageComparison::Different: return "different";
        case ImageComparison::NotRead: return "notread";
        case ImageComparison::Empty: return "empty";
        case ImageComparison::Unreliable: return "unreliable";
    }
    return "?";
}
std::string Compare(Bench& b, int mine, bool whole) {
    return Str(CompareMasterImage(b.link, std::vector<uint8_t>(b.program->programImage, b.program->programImage + mine), whole));
}

const char* const kLost = "msg:Stepwright not responding|lost|";

struct Case {
    const char* name;
    std::function<void(Bench&)> setUp;
    std::function<std::string(Bench&)> run;
    std::string result;
    std::string events;
};

TEST(LinkHostTest, EachExchangeTellsItsHostInOrder) {
    const std::vector<Case> cases = {
        {"poll: printed bytes ahead of the answer",
         [](Bench& b) { b.master.printed = {'o', 'k'}; b.master.pollStatus[0] = 3; b.master.pollStatus[3] = 0x34; },
         [](Bench& b) { const bool ok = PollStatus(b.link);
                        return std::to_string(ok) + " " + std::to_string(b.link.status.moduleCount) + " " +
                               std::to_string(b.link.status.programAddress); },
         "1 3 52", "p:o|p:k|"},
        {"poll: silent master", [](Bench& b) { b.master.silent = true; },
         [](Bench& b) { const bool ok = PollStatus(b.link); return std::to_string(ok) + std::to_string(b.link.online); },
         "00", kLost},
        {"unsolicited: zeros dropped, last byte returned", [](Bench& b) { b.master.send({'h', 0, 'i', '#'}); },
         [](Bench& b) { return std::string(1, char(CollectUnsolicited(b.link))); }, "#", "p:h|p:i|p:#|"},
        {"write: a rejected block hides before the message", [](Bench& b) { b.image(40, 7); b.master.answerCC = true; },
         [](Bench& b) { return Str(WriteImage(b.link, *b.program)); }, "noreply", std::string("hide|") + kLost},
        {"write: every block", [](Bench& b) { b.image(40, 7); },
         [](Bench& b) { const BlockResult r = WriteImage(b.link, *b.program);
                        return Str(r) + " " + std::to_string(b.master.memory[39]); },
         "done 46", ""},
        {"verify: a differing byte is no link fault", [](Bench& b) { b.image(40, 7); b.masterImage(40, 7); b.master.memory[33] ^= 1; },
         [](Bench& b) { return Str(VerifyImage(b.link, *b.program)); }, "mismatch", "hide|"},
        {"verify: bytes beyond the image are not compared", [](Bench& b) { b.image(40, 7); b.masterImage(40, 7); b.master.memory[40] = 0xEE; },
         [](Bench& b) { return Str(VerifyImage(b.link, *b.program)); }, "done", ""},
        {"read: no program", [](Bench&) {},
         [](Bench& b) { std::vector<uint8_t> i; return std::to_string(ReadMasterImage(b.link, i)); },
         "-1", "hide|msg:Master holds no program (length 0)|"},
        {"read: longer than memory", [](Bench& b) { b.masterImage(2, 0); b.master.memory[1] = 0x50; },
         [](Bench& b) { std::vector<uint8_t> i; return std::to_string(ReadMasterImage(b.link, i)); },
         "-1", "hide|msg:Program in master claims 20482 bytes - more than memory (16384)|"},
        {"read: the image, its length exactly", [](Bench& b) { b.masterImage(37, 9); },
         [](Bench& b) { std::vector<uint8_t> i; const int r = ReadMasterImage(b.link, i);
                        return std::to_string(r) + " " + std::to_string(i.size()) + " " + std::to_string(i.back()); },
         "0 37 45", "hide|"},
        {"read: silent after the first block", [](Bench& b) { b.masterImage(37, 9); b.master.silentFromCommand = 1; },
         [](Bench& b) { std::vector<uint8_t> i; return std::to_string(ReadMasterImage(b.link, i)); },
         "-1", std::string("hide|") + kLost},
        {"compare: lengths differ", [](Bench& b) { b.image(40, 7); b.masterImage(41, 7); },
         [](Bench& b) { return Compare(b, 40, false); }, "different", "hide|"},
        {"compare: long image after detection is not read",
         [](Bench& b) { b.image(kAutoCompareBytes + 1, 7); b.masterImage(kAutoCompareBytes + 1, 7); },
         [](Bench& b) { const std::string r = Compare(b, kAutoCompareBytes + 1, false);
                        return r + " " + std::to_string(b.master.exchanges.size()); },
         // The length block is read twice: a block's bytes count only when two reads agree
         // or the master is seen to send a checksum.
         "notread 2", ""},
        {"compare: long image read when whole",
         [](Bench& b) { b.image(kAutoCompareBytes + 1, 7); b.masterImage(kAutoCompareBytes + 1, 7); },
         [](Bench& b) { return Compare(b, kAutoCompareBytes + 1, true); }, "same", "hide|"},
        {"compare: last byte differs", [](Bench& b) { b.image(40, 7); b.masterImage(40, 7); b.master.memory[39] ^= 1; },
         [](Bench& b) { return Compare(b, 40, false); }, "different", "hide|"},
        {"compare: silent master", [](Bench& b) { b.master.silent = true; },
         [](Bench& b) { return Compare(b, 2, false); }, "noreply", std::string("hide|") + kLost},
    };
    for (const Case& c : cases) {
        Bench b;
        c.setUp(b);
        EXPECT_EQ(c.run(b), c.result) << c.name;
        EXPECT_EQ(b.host.events, c.events) << c.name;
    }
}

}  // namespace
