#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestPlatform.h"
#include "app/MainState.h"
#include "program/Assembly.h"
#include "app/Editing.h"

namespace {

constexpr int kFillerModule = 5;   // a module address listed as UNKNOWN in these tests

ProgramLine Instr(const std::string& label, const std::string& gotoLabel, std::vector<uint8_t> bytes,
                  uint8_t patchOffset = 3, uint8_t module = 0, uint8_t code = 0) {
    ProgramLine l;
    std::memset(&l, 0, sizeof l);
    l.setLabel(label);
    l.setGotoLabel(gotoLabel);
    for (size_t k = 0; k < bytes.size() && k < size_t(kMaxInstrBytes); ++k) l.bytes[k] = bytes[k];
    l.length = uint8_t(bytes.size());
    l.patchOffset = patchOffset;
    l.moduleAddress = module;
    l.commandCode = code;
    return l;
}

ProgramLine GoTo(const std::string& label, const std::string& target) {
    return Instr(label, target, {0xBB, 0x02, 0x00, 0xFF, 0xFF});
}

// A module frame of n bytes that jumps nowhere.
ProgramLine Filler(int n, const std::string& label = "") {
    std::vector<uint8_t> bytes(size_t(n), 0x11);
    bytes[0] = 0xAA;
    return Instr(label, "", bytes, 0, kFillerModule, 1);
}

ProgramLine Comment(const std::string& text) {
    ProgramLine l;
    l.setComment(text);
    return l;
}

struct Fixture : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);

    void SetUp() override { s->moduleTypes[0] = 127; s->moduleTypes[kFillerModule] = 255; }

    void Load(const std::vector<ProgramLine>& lines) {
        s->lineCount = 0;
        for (const auto& l : lines) s->lines[s->lineCount++] = l;
        RebuildListing(*s);
    }
    std::vector<uint8_t> Image() const { return {s->programImage, s->programImage + s->imageLength}; }
    std::vector<uint8_t> Bytes(int i) const { return {s->lines[i].bytes, s->lines[i].bytes + s->lines[i].length}; }
    std::vector<int> Selected() const {
        std::vector<int> out;
        for (int i = 0; i < s->listing.count(); ++i)
            if (s->listing.selected(i)) out.push_back(i);
        return out;
    }
};

using Assembly = Fixture;

TEST_F(Assembly, EmptyOrCommentOnlyProgramGivesTwoByteImage) {
    for (auto lines : {std::vector<ProgramLine>{}, std::vector<ProgramLine>{Comment(";a"), Comment(";")}}) {
        Load(lines);
        s->imageLength = 99;
        ASSERT_EQ(AssembleProgram(*s), 0);
        EXPECT_EQ(Image(), (std::vector<uint8_t>{0x02, 0x00}));
        EXPECT_EQ(s->imageLength, 2);
        EXPECT_EQ(s->labelCount, 0);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Assembly, SelfLoopAfterCommentPatchesTargetLowByteFirst) {
    Load({Comment(";start"), GoTo("LOOP", "LOOP")});
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(s->lines[1].address, 2);
    EXPECT_EQ(s->lines[1].targetAddress, 2);
    EXPECT_EQ(Bytes(1), (std::vector<uint8_t>{0xBB, 0x02, 0x00, 0x02, 0x00}));
    EXPECT_EQ(Image(), (std::vector<uint8_t>{0x07, 0x00, 0xBB, 0x02, 0x00, 0x02, 0x00}));
    EXPECT_EQ(s->lines[0].commentText(), ";start");
}

TEST_F(Assembly, AddressesSkipCommentsAndTargetsResolveForwardAndBack) {
    Load({Filler(6, "A"), Comment(";x"), Comment(";y"), Filler(3), GoTo("", "END"), Comment(";z"),
          Instr("END", "A", {0xBB, 0x02, 0x00, 0xFF, 0xFF, 0x77}, 4)});
    ASSERT_EQ(AssembleProgram(*s), 0);
    const int expected[] = {2, -1, -1, 8, 11, -1, 16};
    for (int i = 0; i < 7; ++i)
        if (expected[i] >= 0) {
            EXPECT_EQ(s->lines[i].address, expected[i]) << "line " << i;
        }
    EXPECT_EQ(s->lines[4].targetAddress, 16);
    EXPECT_EQ(Bytes(4), (std::vector<uint8_t>{0xBB, 0x02, 0x00, 0x10, 0x00}));
    EXPECT_EQ(Bytes(6), (std::vector<uint8_t>{0xBB, 0x02, 0x00, 0xFF, 0x02, 0x00}));
    EXPECT_EQ(s->imageLength, 22);
    EXPECT_EQ(s->programImage[0], 22);
    EXPECT_EQ(s->programImage[11], 0xBB);  // the GoTo starts at its own address
    EXPECT_EQ(s->labelCount, 2);
    EXPECT_EQ(FindLabel(*s, "END"), 16);
    EXPECT_EQ(FindLabel(*s, "A"), 2);
    EXPECT_EQ(FindLabel(*s, "B"), 0xFFFF);
}

TEST_F(Assembly, EmptyGotoLabelLeavesPlaceholder) {
    Load({GoTo("", "")});
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(Bytes(0), (std::vector<uint8_t>{0xBB, 0x02, 0x00, 0xFF, 0xFF}));
}

TEST_F(Assembly, LabelsAreCaseSensitive) {
    Load({GoTo("LOOP", "Loop"), GoTo("Loop", "LOOP")});
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(s->lines[0].targetAddress, 7);
    EXPECT_EQ(s->lines[1].targetAddress, 2);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Assembly, NullAsGotoLabelWithoutNullLine) {
    Load({Filler(4), GoTo("", "NULL")});
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(s->lines[1].targetAddress, 0xFFFF);
    EXPECT_EQ(Bytes(1), (std::vector<uint8_t>{0xBB, 0x02, 0x00, 0xFF, 0xFF}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Assembly, NullLabelsAreNoDuplicateAndResolveToFirst) {
    Load({Filler(4), Filler(3, "NULL"), Filler(5, "NULL"), GoTo("", "NULL")});
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(s->labelCount, 2);
    EXPECT_EQ(s->lines[3].targetAddress, 6);
    EXPECT_EQ(Bytes(3)[3], 6);
    EXPECT_EQ(Bytes(3)[4], 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Assembly, DuplicateShowsLaterLineOfFirstPair) {
    // Pairs are taken by their first line: Y (lines 0 and 5) comes before X (1 and 4).
    Load({Filler(3, "Y"), Filler(3, "X"), Comment(";X"), Filler(3, "x"), Filler(3, "X"), Filler(3, "Y")});
    s->listing.select(2);
    s->imageLength = 40;
    EXPECT_EQ(AssembleProgram(*s), -1);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Redundant label found"});
    EXPECT_EQ(s->currentLine, 5);
    EXPECT_EQ(Selected(), std::vector<int>{5});
    EXPECT_EQ(s->imageLength, 40);
    EXPECT_EQ(s->labelCount, 0);
}

TEST_F(Assembly, DuplicateFarDownIsScrolledIntoView) {
    std::vector<ProgramLine> lines(60, Filler(3));
    lines[10] = Filler(3, "SAME");
    lines[50] = Filler(3, "SAME");
    Load(lines);
    EXPECT_EQ(AssembleProgram(*s), -1);
    EXPECT_EQ(s->currentLine, 50);
    EXPECT_EQ(s->listing.topIndex(), 35);
    EXPECT_EQ(Selected(), std::vector<int>{50});
}

TEST_F(Assembly, UndefinedLabelStopsAtThatLine) {
    Load({GoTo("A", "A"), Filler(3), GoTo("", "Missing"), GoTo("", "A")});
    s->currentLine = 1;
    s->listing.deselectAll();
    s->listing.select(1);
    EXPECT_EQ(AssembleProgram(*s), -1);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Label 'Missing' undefined"});
    EXPECT_EQ(s->listing.focus(), 2);
    EXPECT_EQ(Selected(), std::vector<int>{1});
    EXPECT_EQ(s->currentLine, 1);
    EXPECT_EQ(s->lines[2].targetAddress, 0xFFFF);
    EXPECT_EQ(Bytes(0), (std::vector<uint8_t>{0xBB, 0x02, 0x00, 0x02, 0x00}));     // before: patched
    EXPECT_EQ(Bytes(3), (std::vector<uint8_t>{0xBB, 0x02, 0x00, 0xFF, 0xFF}));     // after: untouched
    EXPECT_EQ(s->lines[3].address, 15);  // every address was already assigned
    EXPECT_EQ(s->labelCount, 1);
}

TEST_F(Assembly, BaudChangeFlagOnlyForMaster) {
    struct Case { uint8_t module; uint8_t code; bool flag; } cases[] = {
        {0, 19, true}, {1, 19, false}, {0, 18, false}};
    for (const auto& c : cases) {
        s->programHasBaudChange = false;
        Load({Instr("", "", {0xBB, 0x01, c.code, 0x02}, 0, c.module, c.code)});
        ASSERT_EQ(AssembleProgram(*s), 0);
        EXPECT_EQ(s->programHasBaudChange, c.flag) << int(c.module) << " " << int(c.code);
    }
    // Assembly sets the flag but never clears it.
    s->programHasBaudChange = true;
    Load({Filler(3)});
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_TRUE(s->programHasBaudChange);
}

// 680 lines of 24 bytes and one of 22 bring the next line to offset 16344.
std::vector<ProgramLine> UpTo16344() {
    std::vector<ProgramLine> lines(680, Filler(24));
    lines.push_back(Filler(22));
    return lines;
}

TEST_F(Assembly, LineStartingAt16344IsAccepted) {
    auto lines = UpTo16344();
    lines.push_back(Filler(24, "LAST"));
    Load(lines);
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(s->lines[681].address, 16344);
    EXPECT_EQ(s->imageLength, 16368);
    EXPECT_EQ(s->programImage[0], 16368 & 0xFF);
    EXPECT_EQ(s->programImage[1], 16368 >> 8);
    EXPECT_EQ(s->programImage[16367], 0x11);
}

TEST_F(Assembly, LineStartingPast16344IsRefusedKeepingHeader) {
    for (int extra : {1, 24}) {
        ui.messages.clear();
        Load({Filler(5)});
        ASSERT_EQ(AssembleProgram(*s), 0);
        auto lines = UpTo16344();
        lines.push_back(Filler(extra));
        lines.push_back(Filler(3));
        s->programHasBaudChange = false;
        lines.back().moduleAddress = 0;
        lines.back().commandCode = 19;
        Load(lines);
        EXPECT_EQ(AssembleProgram(*s), -1);
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Program exceeds available memory (16384)"});
        EXPECT_EQ(s->imageLength, 7);
        EXPECT_EQ(s->programImage[0], 7);
        EXPECT_EQ(s->programImage[1], 0);
        EXPECT_EQ(s->programImage[16344], 0xAA);  // bytes placed so far stay in the buffer
        EXPECT_FALSE(s->programHasBaudChange);    // the refused line was never reached
    }
}

TEST_F(Assembly, BytesPastImageKeepEarlierContent) {
    Load({Filler(10)});
    ASSERT_EQ(AssembleProgram(*s), 0);
    Load({Filler(3)});
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(s->imageLength, 5);
    EXPECT_EQ(s->programImage[5], 0x11);
}

TEST_F(Assembly, TooManyLabelsRefusedBeforeAnythingChanges) {
    std::vector<ProgramLine> lines;
    for (int i = 0; i < 1024; ++i) lines.push_back(Filler(3, "L" + std::to_string(i)));
    Load(lines);
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(s->labelCount, 1024);
    EXPECT_EQ(FindLabel(*s, "L1023"), 2 + 1023 * 3);

    lines.insert(lines.begin(), Filler(3, "X"));
    for (auto& l : lines) l.address = 0x1234;
    Load(lines);
    EXPECT_EQ(AssembleProgram(*s), -1);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Too many labels: a program can hold at most 1024 labelled lines."});
    EXPECT_EQ(s->labelCount, 1024);
    EXPECT_EQ(s->lines[1].address, 0x1234);  // no line was given an address
    EXPECT_EQ(s->imageLength, 2 + 1024 * 3);
}

TEST_F(Assembly, DamagedRecordsNeverWritePastTheirBytes) {
    ProgramLine lateTarget = GoTo("T", "T");
    lateTarget.patchOffset = 23;
    lateTarget.length = 24;
    ProgramLine fine = GoTo("", "T");
    fine.patchOffset = 22;
    fine.length = 24;
    Load({fine, lateTarget});
    EXPECT_EQ(AssembleProgram(*s), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Program line 2 is damaged: its jump address cannot be placed at byte 23.");
    EXPECT_EQ(s->lines[0].bytes[22], 26);
    EXPECT_EQ(s->lines[0].bytes[23], 0);
    EXPECT_EQ(s->lines[1].length, 24);  // the field after the bytes is untouched
    EXPECT_EQ(s->listing.focus(), 1);

    ui.messages.clear();
    ProgramLine tooLong = Filler(24);
    tooLong.length = 30;
    Load({Filler(3), tooLong});
    s->imageLength = 9;
    EXPECT_EQ(AssembleProgram(*s), -1);
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"Program line 2 is damaged: it claims 30 instruction bytes, more than 24."});
    EXPECT_EQ(s->imageLength, 9);
}

TEST_F(Assembly, OverlongLabelIsCutInTable) {
    ProgramLine l = Filler(3);
    std::memset(l.label, 'Q', sizeof l.label);  // no terminator at all
    Load({l});
    ASSERT_EQ(AssembleProgram(*s), 0);
    EXPECT_EQ(std::string(s->labelTable[0].name), std::string(15, 'Q'));
    EXPECT_EQ(s->labelTable[0].name[15], '\0');
}

}  // namespace
