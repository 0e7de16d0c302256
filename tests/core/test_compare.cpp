// The open program against a master's image, line by line: the master's
// labels take the program's names, so that only the lines whose bytes differ
// are listed; the unified diff's hunks; the line that holds an address.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "RandomProgram.h"
#include "TestPlatform.h"
#include "app/Editing.h"
#include "app/MainState.h"
#include "isa/Vocabulary.h"
#include "program/Assembly.h"
#include "program/Compare.h"

namespace {

using Lines = std::vector<ProgramLine>;

struct CompareTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    std::unique_ptr<MainState> other = std::make_unique<MainState>(ui);
    std::mt19937 rng{35};

    void SetUp() override {
        for (MainState* m : {s.get(), other.get()}) {
            for (size_t a = 0; a < kDefaultNetwork.size(); ++a) m->moduleTypes[a] = kDefaultNetwork[a];
            m->moduleListCount = uint8_t(kDefaultNetwork.size() - 1);
        }
    }
    static std::vector<uint8_t> Assemble(MainState& m, const Lines& lines) {
        m.lineCount = 0;
        for (const ProgramLine& l : lines) m.lines[m.lineCount++] = l;
        RebuildListing(m);
        EXPECT_EQ(AssembleProgram(m), 0);
        return {m.programImage, m.programImage + m.imageLength};
    }
    static ProgramLine Comment(const char* text) {
        ProgramLine l;
        std::memset(&l, 0, sizeof l);
        l.setComment(text);
        return l;
    }
    static ProgramLine Delay(int hundredths) {
        ProgramLine l;
        std::memset(&l, 0, sizeof l);
        l.bytes[0] = kMasterMarker;
        l.bytes[1] = 2;
        l.bytes[2] = MasterCmd::kDelay;
        l.bytes[3] = uint8_t(hundredths);
        l.bytes[4] = uint8_t(hundredths >> 8);
        l.length = 5;
        l.commandCode = MasterCmd::kDelay;
        return l;
    }
};

TEST_F(CompareTest, OnlyTheLinesWhoseBytesDifferAreListed) {
    Lines base = RandomProgram(rng, 40);
    base.insert(base.begin() + 5, Comment(";a comment makes no bytes"));
    // {what is done to the master's copy, lines only in the program, only in the master}
    struct Case {
        const char* what;
        std::function<void(Lines&)> change;
        int mine, theirs;
    };
    const std::vector<Case> cases = {
        {"nothing", [](Lines&) {}, 0, 0},
        {"a line inserted at the start", [](Lines& l) { l.insert(l.begin(), Delay(7)); }, 0, 1},
        {"a line removed in the middle", [](Lines& l) { l.erase(l.begin() + 20); }, 1, 0},
        {"a line replaced", [](Lines& l) { l[30] = Delay(9); }, 1, 1},
        {"comments only", [](Lines& l) { l.insert(l.begin() + 2, Comment(";another")); }, 0, 0},
    };
    for (const Case& c : cases) {
        Lines theirs = base;
        c.change(theirs);
        Assemble(*s, base);
        const std::vector<uint8_t> image = Assemble(*other, theirs);
        const ProgramComparison d = CompareProgramWithImage(*s, *s, image);
        EXPECT_EQ(d.same, c.mine == 0 && c.theirs == 0) << c.what;
        int mine = 0, their = 0;
        for (const DiffLine& l : d.lines) {
            mine += l.kind == '-';
            their += l.kind == '+';
            if (l.kind != '+') {
                EXPECT_FALSE(s->lines[l.line].isComment()) << c.what;
            }
            // One line each: a Print's carriage return and line feed as escapes.
            EXPECT_EQ(l.text.find_first_of("\r\n"), std::string::npos) << c.what;
        }
        EXPECT_EQ(mine, c.mine) << c.what;
        EXPECT_EQ(their, c.theirs) << c.what;
        EXPECT_EQ(d.differing, c.mine + c.theirs) << c.what;
        EXPECT_EQ(FormatUnifiedDiff(d, "a", "b").empty(), d.same) << c.what;
    }
}

TEST_F(CompareTest, UnifiedDiffHunksAndTheirContext) {
    Lines base;
    for (int k = 0; k < 20; ++k) base.push_back(Delay(k));
    Lines theirs = base;
    theirs[3] = Delay(103);
    theirs[15] = Delay(115);
    Assemble(*s, base);
    const ProgramComparison d = CompareProgramWithImage(*s, *s, Assemble(*other, theirs));
    const std::string diff = FormatUnifiedDiff(d, "p.sws", "master");
    // Two hunks: the changes lie further apart than twice the context.
    EXPECT_EQ(diff.rfind("--- p.sws\n+++ master\n@@ -1,7 +1,7 @@\n", 0), 0u) << diff;
    EXPECT_NE(diff.find("@@ -13,7 +13,7 @@\n"), std::string::npos) << diff;
    EXPECT_NE(diff.find("\n-          0 Delay 3\n+          0 Delay 103\n"), std::string::npos) << diff;
    EXPECT_EQ(d.firstAddress, 2 + 3 * 5 + 3);
    EXPECT_EQ(LineAtImageAddress(*s, d.firstAddress), 3);
    EXPECT_EQ(LineAtImageAddress(*s, 0), -1);
    EXPECT_EQ(LineAtImageAddress(*s, 2 + 20 * 5), -1);
}

TEST_F(CompareTest, JumpsKeepTheProgramsLabelNames) {
    // A jump's line that moved, and a labelled line that changed in place.
    Lines base;
    for (int k = 0; k < 6; ++k) base.push_back(Delay(k));
    base[2].setLabel("HERE");
    ProgramLine jump;
    std::memset(&jump, 0, sizeof jump);
    jump.length = uint8_t(PutMasterInstruction(jump.bytes, MasterCmd::kGoTo));
    jump.bytes[1] = 2;
    jump.bytes[3] = jump.bytes[4] = 0xFF;
    jump.length = 5;
    jump.commandCode = MasterCmd::kGoTo;
    jump.patchOffset = 3;
    jump.setGotoLabel("HERE");
    base.push_back(jump);
    Assemble(*s, base);
    // {what, the master's lines, the lines listed}
    struct Case {
        const char* what;
        std::function<void(Lines&)> change;
        std::vector<std::string> listed;
    };
    const std::vector<Case> cases = {
        {"the labelled line changed in place",
         [](Lines& l) {
             l[2] = Delay(50);
             l[2].setLabel("HERE");
         },
         {"-HERE      0 Delay 2", "+HERE      0 Delay 50"}},
        {"a line put in front moves the target", [](Lines& l) { l.insert(l.begin(), Delay(99)); },
         {"+          0 Delay 99"}},
    };
    for (const Case& c : cases) {
        Lines theirs = base;
        c.change(theirs);
        const ProgramComparison d = CompareProgramWithImage(*s, *s, Assemble(*other, theirs));
        std::vector<std::string> listed;
        for (const DiffLine& l : d.lines)
            if (l.kind != ' ') listed.push_back(std::string(1, l.kind) + l.text);
        EXPECT_EQ(listed, c.listed) << c.what;
    }
}

}  // namespace
