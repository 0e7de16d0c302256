#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <vector>

#include "TestPlatform.h"
#include "app/MainState.h"
#include "modules/ModuleList.h"
#include "app/ModuleListBox.h"
#include "program/Assembly.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "program/SafeFile.h"

namespace fs = std::filesystem;

namespace {

const std::string kWorkedExample =
    "0\r\n"
    "127 \r\n"
    "2\r\n"
    ";start\r\n"
    "LOOP\r\n"
    "   2\r\n"
    "LOOP\r\n"
    "   2\r\n"
    " 3  0  0\r\n"
    "5\r\n"
    "BB  2  0  2  0 \r\n";

ProgramLine Instr(const std::string& label, const std::string& gotoLabel, std::vector<uint8_t> bytes,
                  uint8_t patchOffset, uint8_t module, uint8_t code) {
    ProgramLine l;
    std::memset(&l, 0, sizeof l);
    l.setLabel(label);
    l.setGotoLabel(gotoLabel);
    for (size_t k = 0; k < bytes.size(); ++k) l.bytes[k] = bytes[k];
    l.length = uint8_t(bytes.size());
    l.patchOffset = patchOffset;
    l.moduleAddress = module;
    l.commandCode = code;
    return l;
}

ProgramLine Comment(const std::string& text) {
    ProgramLine l;
    l.setComment(text);
    return l;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string Raw(const ProgramLine& l) { return std::string(reinterpret_cast<const char*>(&l), sizeof l); }

// Everything Open may replace, to prove that a refused file changed nothing.
struct Snapshot {
    std::vector<std::string> lines, listing, moduleItems;
    std::vector<int> moduleTypes;
    int moduleIndex, moduleListCount, currentLine;
    bool defined, mismatch;
    std::string caption, saveLabel, loadLabel, remembered;
    uint32_t saveColor;

    explicit Snapshot(const MainState& s)
        : moduleItems(s.form.ModuleListBox.items), moduleTypes(s.moduleTypes, s.moduleTypes + 32),
          moduleIndex(s.form.ModuleListBox.index), moduleListCount(s.moduleListCount), currentLine(s.currentLine),
          defined(s.moduleListDefined), mismatch(s.moduleMismatch), caption(s.form.caption),
          saveLabel(s.form.SaveLabel.caption), loadLabel(s.form.LoadLabel.caption), remembered(s.rememberedFile),
          saveColor(s.form.SaveLabel.color) {
        for (int i = 0; i < s.lineCount; ++i) lines.push_back(Raw(s.lines[i]));
        for (int i = 0; i < s.listing.count(); ++i) listing.push_back(s.listing.text(i));
    }
    bool operator==(const Snapshot&) const = default;
};

struct ProgramFileTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    std::string dir;

    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "stwtest.XXXXXX").string();
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        dir = templ;
        Start(*s);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    static void Start(MainState& st) {
        st.moduleTypes[0] = 127;
        st.form.ModuleListBox.items = {ModuleListLine(0, 127)};
        RebuildListing(st);
        SelectModule(st, 0);
        MarkProgramChanged(st);
    }
    void SetLines(MainState& st, const std::vector<ProgramLine>& lines) {
        st.lineCount = 0;
        for (const auto& l : lines) st.lines[st.lineCount++] = l;
        RebuildListing(st);
    }
    void SetModules(MainState& st, const std::vector<int>& types) {
        st.moduleListCount = uint8_t(types.size());
        st.form.ModuleListBox.items = {ModuleListLine(0, 127)};
        for (size_t i = 0; i < types.size(); ++i) {
            st.moduleTypes[i + 1] = types[i];
            st.form.ModuleListBox.items.push_back(ModuleListLine(int(i + 1), types[i]));
        }
    }
    void WorkedExample(MainState& st) {
        SetLines(st, {Comment(";start"), Instr("LOOP", "LOOP", {0xBB, 0x02, 0x00, 0xFF, 0xFF}, 3, 0, 0)});
        ASSERT_EQ(AssembleProgram(st), 0);
    }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    bool OpenBytes(const std::string& bytes) {
        WriteAll(Path("in.stw"), bytes);
        return OpenProgramFile(*s, Path("in.stw"));
    }
};

TEST_F(ProgramFileTest, WorkedExampleByteForByte) {
    WorkedExample(*s);
    EXPECT_EQ(FormatProgramFile(*s), kWorkedExample);

    ui.saveNames.push_back(Path("ex.stw"));
    SaveButtonClick(*s);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ReadAll(Path("ex.stw")), kWorkedExample);
    EXPECT_EQ(s->form.SaveLabel.caption, "  Saved  ");
    EXPECT_EQ(s->form.SaveLabel.color, kGreen);
    EXPECT_EQ(s->form.caption, "Tavo Stepwright - " + Path("ex.stw"));
    EXPECT_EQ(s->form.LoadLabel.caption, "Not Loaded");
}

// Every number at the edges of its width: hex padded with blanks to 4 or 2
// places (never cut), decimals as they are, a record of 24 bytes and one of none.
TEST_F(ProgramFileTest, NumbersAtTheEdgesOfTheirWidthsByteForByte) {
    std::vector<uint8_t> full(24);
    for (size_t k = 0; k < full.size(); ++k) full[k] = uint8_t(k * 0x11 + (k % 2 ? 0 : 0x0F));
    ProgramLine wide = Instr("A23456789012345", "", full, 0x17, 31, 0xE4);
    wide.address = 0xFFFF;
    wide.targetAddress = 0x1000;
    ProgramLine empty = Instr("", "Z", {}, 0, 0, 0);
    empty.address = 0x0A;
    empty.targetAddress = 0xFFF;
    SetLines(*s, {wide, empty, Comment(";" + std::string(59, 'c'))});
    SetModules(*s, std::vector<int>(31, 255));
    std::string expected = "31\r\n127 ";
    for (int i = 0; i < 31; ++i) expected += "255 ";
    expected += "\r\n3\r\nA23456789012345\r\nFFFF\r\n\r\n1000\r\n17 1F E4\r\n24\r\n";
    expected += " F 11 31 33 53 55 75 77 97 99 B9 BB DB DD FD FF 1F 21 41 43 63 65 85 87 ";
    expected += "\r\n\r\n   A\r\nZ\r\n FFF\r\n 0  0  0\r\n0\r\n\r\n;" + std::string(59, 'c') + "\r\n";
    EXPECT_EQ(FormatProgramFile(*s), expected);
}

TEST_F(ProgramFileTest, WorkedExampleReadsBackIntoSameRecords) {
    WorkedExample(*s);
    ProgramFileData data;
    ASSERT_EQ(ParseProgramFile(kWorkedExample, data), "");
    EXPECT_EQ(data.moduleListCount, 0);
    EXPECT_EQ(data.moduleTypes, std::vector<int>{127});
    ASSERT_EQ(data.lines.size(), 2u);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Raw(data.lines[size_t(i)]), Raw(s->lines[i])) << "line " << i;
    EXPECT_EQ(data.lines[1].address, 2);
    EXPECT_EQ(data.lines[1].patchOffset, 3);

    // Lines that end in LF alone read the same.
    std::string lf = kWorkedExample;
    for (size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
    ProgramFileData fromLf;
    ASSERT_EQ(ParseProgramFile(lf, fromLf), "");
    ASSERT_EQ(fromLf.lines.size(), 2u);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Raw(fromLf.lines[size_t(i)]), Raw(s->lines[i]));
}

TEST_F(ProgramFileTest, NumbersInFreeFormat) {
    const std::string loose = "  0 \n\n 127\t\n  1   trailing words\nL\n2 ignored\nG\n\n 1F\n 3 \n 0\n 0 5\n bb 2 0 1f 0 \n";
    ProgramFileData data;
    ASSERT_EQ(ParseProgramFile(loose, data), "");
    ASSERT_EQ(data.lines.size(), 1u);
    const ProgramLine& l = data.lines[0];
    EXPECT_EQ(l.labelText(), "L");
    EXPECT_EQ(l.gotoLabelText(), "G");
    EXPECT_EQ(l.address, 2);
    EXPECT_EQ(l.targetAddress, 0x1F);
    EXPECT_EQ(l.length, 5);
    EXPECT_EQ(l.bytes[0], 0xBB);
    EXPECT_EQ(l.bytes[1], 2);
}

TEST_F(ProgramFileTest, EmptyProgramSavesCountsOnlyAndOpensToEndMarker) {
    ui.saveNames.push_back(Path("empty.stw"));
    ASSERT_TRUE(SaveProgram(*s));
    EXPECT_EQ(ReadAll(Path("empty.stw")), "0\r\n127 \r\n0\r\n");

    auto t = std::make_unique<MainState>(ui);
    Start(*t);
    SetLines(*t, {Comment(";old")});
    ASSERT_TRUE(OpenProgramFile(*t, Path("empty.stw")));
    EXPECT_EQ(t->lineCount, 0);
    ASSERT_EQ(t->listing.count(), 1);
    EXPECT_EQ(t->listing.text(0), "            [END]");
}

TEST_F(ProgramFileTest, EveryKindOfLineRoundTrips) {
    SetModules(*s, {0, 2, 3});
    std::string latin1 = ";caf\xE9 \xFC\xDF \xA9";
    std::vector<ProgramLine> lines = {
        Comment(";" + std::string(59, 'c')),
        Comment(";"),
        Comment(latin1),
        Instr("", "", {0xBB, 0x00, 0x02}, 0, 0, 2),
        Instr("FIRST", "", {0xAA, 0x01, 0x13, 0x10, 0x20, 0x30, 0x40, 0xE4}, 0, 1, 1),
        Instr(std::string(15, 'L'), std::string(15, 'G'), {0xBB, 0x02, 0x00, 0x34, 0x12}, 3, 0, 0),
        Instr("", "NULL", {0xBB, 0x05, 0x0A, 0x02, 0x01, 0x00, 0xFF, 0xFF}, 6, 2, 10),
        Instr("\xC4\xD6", "FIRST", std::vector<uint8_t>(24, 0xFE), 22, 3, 0xFF),
        Instr("NULL", "\xC4\xD6", {0x00, 0x0F, 0xF0, 0x12, 0x34}, 3, 31, 0x80),
        Instr("EMPTY", "", {}, 0, 0, 0),   // never built, but must not shift the lines after it
        Instr("", "", {0xBB, 0x00, 0x04}, 0, 0, 4),
    };
    lines[4].address = 0xABCD;
    lines[5].targetAddress = 0x1234;
    SetLines(*s, lines);
    ui.saveNames.push_back(Path("all.stw"));
    ASSERT_TRUE(SaveProgram(*s));

    auto t = std::make_unique<MainState>(ui);
    Start(*t);
    ui.openNames.push_back(Path("all.stw"));
    OpenButtonClick(*t);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(t->lineCount, int(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Raw(t->lines[i]), Raw(lines[i])) << "line " << i;
    EXPECT_EQ(t->lines[0].commentText().size(), 60u);
    EXPECT_EQ(t->lines[2].commentText(), latin1);
    EXPECT_EQ(t->moduleListCount, 3);
    EXPECT_EQ(std::vector<int>(t->moduleTypes, t->moduleTypes + 4), (std::vector<int>{127, 0, 2, 3}));
    EXPECT_EQ(t->form.ModuleListBox.items,
              (std::vector<std::string>{" 0 [Master]", " 1 ZEL-SERVO", " 2 ZEL-I/O", " 3 ZEL-STEP"}));
    EXPECT_TRUE(t->moduleListDefined);
    EXPECT_EQ(t->form.ModuleListBox.index, 0);
    EXPECT_EQ(t->listing.count(), t->lineCount + 1);
    for (int i = 0; i < s->listing.count(); ++i) EXPECT_EQ(t->listing.text(i), s->listing.text(i));

    // Saving the opened program again gives the same bytes.
    ui.saveNames.push_back(Path("again.stw"));
    ASSERT_TRUE(SaveProgram(*t));
    EXPECT_EQ(ReadAll(Path("again.stw")), ReadAll(Path("all.stw")));
}

TEST_F(ProgramFileTest, OpenSetsStateAndLeavesBufferLabelsAndImage) {
    WorkedExample(*s);
    WriteAll(Path("ex.stw"), kWorkedExample);
    auto t = std::make_unique<MainState>(ui);
    Start(*t);
    SetLines(*t, {Comment(";a"), Comment(";b"), Comment(";c")});
    t->copyBuffer[0] = Comment(";copied");
    t->copyCount = 1;
    t->labelCount = 3;
    t->imageLength = 77;
    t->programImage[5] = 0x5A;
    t->currentLine = 2;
    t->breakpointLine = 1;
    t->resumeFlag = true;
    t->form.RunButton.enabled = true;
    t->moduleMismatch = true;
    t->form.LoadLabel.caption = "  Loaded  ";
    t->form.LoadLabel.color = kGreen;

    ui.answers.push_back(Answer::No);  // the unsaved lines are given up
    ui.openNames.push_back(Path("ex.stw"));
    OpenButtonClick(*t);
    EXPECT_EQ(t->lineCount, 2);
    EXPECT_EQ(t->currentLine, 0);
    EXPECT_TRUE(t->listing.selected(0));
    EXPECT_EQ(t->listing.text(0), ";start");
    EXPECT_EQ(t->copyCount, 1);
    EXPECT_EQ(t->copyBuffer[0].commentText(), ";copied");
    EXPECT_EQ(t->labelCount, 3);
    EXPECT_EQ(t->imageLength, 77);
    EXPECT_EQ(t->programImage[5], 0x5A);
    EXPECT_EQ(t->breakpointLine, -1);
    EXPECT_FALSE(t->resumeFlag);
    EXPECT_FALSE(t->form.RunButton.enabled);
    EXPECT_FALSE(t->moduleMismatch);
    EXPECT_EQ(t->form.LoadLabel.caption, "Not Loaded");
    EXPECT_EQ(t->form.LoadLabel.color, kRed);
    EXPECT_EQ(t->form.SaveLabel.caption, "  Saved  ");
    EXPECT_EQ(t->form.SaveLabel.color, kGreen);
    EXPECT_EQ(t->form.caption, "Tavo Stepwright - " + Path("ex.stw"));
    EXPECT_EQ(t->rememberedFile, Path("ex.stw"));

    // The next Save proposes the file just opened.
    ui.saveNames.push_back("");
    EXPECT_FALSE(SaveProgram(*t));
    EXPECT_EQ(ui.proposedSaveNames.back(), Path("ex.stw"));
}

TEST_F(ProgramFileTest, UnknownModuleTypesStoredAs255) {
    ASSERT_TRUE(OpenBytes("3\r\n127 1 -4 2 \r\n0\r\n"));
    EXPECT_EQ(std::vector<int>(s->moduleTypes, s->moduleTypes + 4), (std::vector<int>{127, 255, 255, 2}));
    EXPECT_EQ(s->form.ModuleListBox.items,
              (std::vector<std::string>{" 0 [Master]", " 1 UNKNOWN", " 2 UNKNOWN", " 3 ZEL-I/O"}));
    EXPECT_EQ(FormatProgramFile(*s), "3\r\n127 255 255 2 \r\n0\r\n");
}

TEST_F(ProgramFileTest, ModuleListCheckedAgainstDetectionOnlyOnline) {
    const std::string file = "3\r\n127 0 2 3 \r\n0\r\n";
    s->detectedTypes[1] = 0;
    s->detectedTypes[2] = 3;
    s->detectedTypes[3] = -1;
    ASSERT_TRUE(OpenBytes(file));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(s->moduleMismatch);

    s->online = true;
    ASSERT_TRUE(OpenBytes(file));
    EXPECT_EQ(ui.messages, std::vector<std::string>(2, "Program module list does not match detected modules - "
                                                       "program execution may fail"));
    EXPECT_TRUE(s->moduleMismatch);
    EXPECT_EQ(s->moduleTypes[2], 2);  // the file's list is taken all the same

    ui.messages.clear();
    s->detectedTypes[2] = 2;
    s->detectedTypes[3] = 3;
    ASSERT_TRUE(OpenBytes(file));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(s->moduleMismatch);
}

TEST_F(ProgramFileTest, OverlongTextLinesAreCut) {
    std::string file = "0\n127\n3\n;" + std::string(500, 'c') + "\n" + std::string(1000, 'L') + "\n2\n" +
                       std::string(1000, 'G') + "\n2\n3 0 0\n5\nBB 2 0 2 0 \n;end\n";
    ASSERT_TRUE(OpenBytes(file));
    ASSERT_EQ(s->lineCount, 3);
    EXPECT_EQ(s->lines[0].commentText(), ";" + std::string(59, 'c'));
    EXPECT_EQ(s->lines[1].labelText(), std::string(15, 'L'));
    EXPECT_EQ(s->lines[1].gotoLabelText(), std::string(15, 'G'));
    EXPECT_EQ(s->lines[1].label[15], '\0');
    EXPECT_EQ(s->lines[2].commentText(), ";end");
}

// Every prefix of a file is refused, except the whole file without its final
// line end (the last byte's blank shows that line is complete; a comment has
// no such sign, so its CR must remain).
TEST_F(ProgramFileTest, FilesCutShortAreRefusedUnlessOnlyTheLastLineEndIsMissing) {
    struct Case {
        std::vector<ProgramLine> lines;
        size_t mayMiss;  // bytes that may be missing at the end
    } cases[] = {
        {{Instr("A", "B", {0xBB, 0x02, 0x00, 0x02, 0x00}, 3, 0, 0), Comment(";mid"),
          Instr("B", "", {0xAA, 0x01, 0x00, 0x01, 0x14}, 0, 1, 0)}, 2},
        {{Instr("", "", {0xBB, 0x02, 0x09, 0x10, 0x2C}, 0, 0, 9), Comment(";the end")}, 1},
    };
    for (const Case& c : cases) {
        auto fresh = std::make_unique<MainState>(ui);
        Start(*fresh);
        SetModules(*s, {0});
        SetLines(*s, c.lines);
        const std::string good = FormatProgramFile(*s);
        const Snapshot before(*fresh);
        int lineEnds = 0;
        for (size_t cut = 0; cut <= good.size(); ++cut) {
            ProgramFileData data;
            const std::string reason = ParseProgramFile(good.substr(0, cut), data);
            const bool whole = good.size() - cut <= c.mayMiss;
            EXPECT_EQ(reason.empty(), whole) << "prefix of " << cut << " bytes: " << reason;
            if (whole) {
                ASSERT_EQ(data.lines.size(), c.lines.size());
                for (size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(Raw(data.lines[i]), Raw(c.lines[i]));
            } else if (cut > 0 && good[cut - 1] == '\n') {
                ++lineEnds;
                ui.messages.clear();
                WriteAll(Path("cut.stw"), good.substr(0, cut));
                EXPECT_FALSE(OpenProgramFile(*fresh, Path("cut.stw")));
                EXPECT_EQ(ui.messages, std::vector<std::string>{"Not a valid program file: " + reason});
                EXPECT_TRUE(Snapshot(*fresh) == before) << "after " << lineEnds << " lines";
            }
        }
    }
    ProgramFileData data;
    EXPECT_EQ(ParseProgramFile("0\n127\n1\n\n2\n\n0\n0 0 9\n5\nBB  2  9 10 2", data),
              "line 10: the last line has no line end and may be cut short");
    EXPECT_EQ(ParseProgramFile("0\r\n127 \r\n0", data), "");  // an empty program is whole
}

// The jump address goes into two bytes after the header and inside the
// instruction; any other position is refused with the file line that holds it.
TEST_F(ProgramFileTest, PatchPositionsOutsideTheInstructionAreRefused) {
    for (int length : {5, 17}) {
        for (int patch = 0; patch <= 24; ++patch) {
            std::string bytes = "BB " + std::to_string(length - 3) + " 0";
            for (int k = 3; k < length; ++k) bytes += " FF";
            const std::string file = Format("0\n127\n1\nT\n2\nT\n2\n%X 0 0\n%d\n", unsigned(patch), length) +
                                     bytes + " \n";
            const bool fits = patch >= 3 && patch + 2 <= length;
            ProgramFileData data;
            EXPECT_EQ(ParseProgramFile(file, data),
                      fits ? std::string()
                           : Format("line 8: the patch position %d leaves no room for the jump address in %d bytes",
                                    patch, length))
                << length << " bytes, position " << patch;
            // Without a goto-label the position is never used and is kept.
            std::string unused = file;
            unused.replace(unused.find("2\nT\n2\n"), 6, "2\n\n2\n");
            EXPECT_EQ(ParseProgramFile(unused, data), "") << length << " bytes, position " << patch;
        }
    }
    // A damaged record that reached the line store is refused by the assembly.
    SetLines(*s, {Instr("T", "T", {0xBB, 0x02, 0x00, 0xFF, 0xFF}, 0, 0, 0)});
    EXPECT_EQ(AssembleProgram(*s), -1);
    EXPECT_EQ(ui.messages,
              std::vector<std::string>{"Program line 1 is damaged: its jump address cannot be placed at byte 0."});
    EXPECT_EQ(s->lines[0].bytes[0], 0xBB);
}

TEST_F(ProgramFileTest, MalformedFilesAreRefusedWithOneMessage) {
    struct Case { std::string bytes, reason; } cases[] = {
        {"", "line 1: the file ends where the module count should be"},
        {"-1\n127\n0\n", "line 1: the module count -1 is negative"},
        {"32\n", "line 1: the module count 32 is more than 31"},
        {"99999999999999999999999\n", "line 1: the module count is too large"},
        {"x\n127\n0\n", "line 1: the module count is not a decimal number"},
        {"0x1\n127\n0\n", "line 1: the module count is not a decimal number"},
        {"1\n127 zz\n0\n", "line 2: the module type is not a decimal number"},
        {"0\n127\n8193\n", "line 3: the line count 8193 is more than 8192"},
        {"0\n127\n-2\n", "line 3: the line count -2 is negative"},
        {"0\n127\n\n\n", "line 5: the file ends where the line count should be"},
        {"0\n127\n1\nL\nXYZ\n", "line 5: the line address is not a hexadecimal number"},
        {"0\n127\n1\nL\n-2\n", "line 5: the line address is not a hexadecimal number"},
        {"0\n127\n1\nL\n123456789\n", "line 5: the line address is too large"},
        {"0\n127\n1\nL\n2\n", "line 6: the file ends where the goto-label should be"},
        {"0\n127\n1\nL\n2\nG\n2\n3 0\n", "line 9: the file ends where the command code should be"},
        {"0\n127\n1\nL\n2\nG\n2\n3 0 0\n25\n", "line 9: the byte count 25 is more than 24"},
        {"0\n127\n1\nL\n2\nG\n2\n3 0 0\n-3\n", "line 9: the byte count -3 is negative"},
        {"0\n127\n1\nL\n2\nG\n2\n3 0 0\n3\nBB 2\n", "line 11: the file ends where the instruction byte should be"},
        {"0\n127\n1\nL\n2\nG\n2\n3 0 0\n3\nBB 2 0G\n", "line 10: the instruction byte is not a hexadecimal number"},
        {std::string("0\n127\n1\nL\n2\nG\n2\n3 0 0\n3\nBB \0 2\n", 31),
         "line 10: the instruction byte is not a hexadecimal number"},
        {std::string("\x00\xFF\xFE\x01garbage", 11), "line 1: the module count is not a decimal number"},
        {"0\n127\n2\n;one\n", "line 5: the file ends where the program line should be"},
        // A carriage return inside a kept text is a line break the file cannot
        // store, as a line feed: refused, not read into a text that a save or
        // an export would write differently.
        {"0\n127\n1\nA\rB\r\n2\n\n2\n3 0 0\n3\nBB 2 0\n",
         "line 4: the label holds a carriage return, which a program file cannot store"},
        {"0\n127\n1\n\r\n2\n\n2\n3 0 0\n3\nBB 2 0\n", ""},
        {"0\n127\n1\nABCDEFGHIJKLMNOP\rQ\n2\n\n2\n3 0 0\n3\nBB 2 0\n", ""},  // cut at 15
        {"0\n127\n1\nL\n2\nG\rH\n2\n3 0 0\n3\nBB 2 0\n",
         "line 6: the goto-label holds a carriage return, which a program file cannot store"},
        {"0\n127\n2\n;a\rb\n;c\n", "line 4: the comment holds a carriage return, which a program file cannot store"},
    };
    SetModules(*s, {3});
    SetLines(*s, {Comment(";keep me"), Instr("K", "", {0xBB, 0x00, 0x02}, 0, 0, 2)});
    s->form.caption = "Tavo Stepwright - /earlier.stw";
    s->rememberedFile = "/earlier.stw";
    const Snapshot before(*s);
    for (const auto& c : cases) {
        ProgramFileData data;
        EXPECT_EQ(ParseProgramFile(c.bytes, data), c.reason);
        if (c.reason.empty()) continue;  // a label line ending in CR LF is read as it always was
        ui.messages.clear();
        EXPECT_FALSE(OpenBytes(c.bytes));
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Not a valid program file: " + c.reason});
        EXPECT_TRUE(Snapshot(*s) == before) << c.reason;
    }
}

TEST_F(ProgramFileTest, LargeAndBinaryInputsFinishSafely) {
    // A huge run of digits, a huge run of blanks, and random bytes.
    std::string digits(3 << 20, '7');
    std::string blanks = "0\n127\n1\nL\n" + std::string(4 << 20, ' ');
    std::string noise(1 << 20, '\0');
    uint32_t x = 12345;
    for (char& c : noise) c = char((x = x * 1103515245u + 12345u) >> 24);
    const Snapshot before(*s);
    for (const std::string& bytes : {digits, blanks, noise}) {
        ui.messages.clear();
        EXPECT_FALSE(OpenBytes(bytes));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].rfind("Not a valid program file: ", 0), 0u);
        EXPECT_TRUE(Snapshot(*s) == before);
    }
}

TEST_F(ProgramFileTest, FullLineStoreOpens) {
    std::string many = "0\n127\n8192\n";
    for (int i = 0; i < 8192; ++i) many += i % 2 ? ";c\n" : "\n2\n\n0\n0 0 4\n3\nBB 0 4\n";
    ASSERT_TRUE(OpenBytes(many));
    EXPECT_EQ(s->lineCount, 8192);
    EXPECT_EQ(s->listing.count(), 8193);
    EXPECT_EQ(s->lines[8191].commentText(), ";c");
}

TEST_F(ProgramFileTest, CancelledDialogsChangeNothing) {
    WorkedExample(*s);
    const Snapshot before(*s);
    SaveButtonClick(*s);    // no scripted name: the user cancels
    ui.answers.push_back(Answer::No);
    OpenButtonClick(*s);
    EXPECT_TRUE(Snapshot(*s) == before);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.proposedSaveNames.size(), 1u);
}

TEST_F(ProgramFileTest, UnreadableFileCouldNotOpen) {
    WorkedExample(*s);
    const Snapshot before(*s);
    for (const std::string& name : {Path("missing.stw"), dir}) {
        ui.messages.clear();
        ui.answers.push_back(Answer::No);
        ui.openNames.push_back(name);
        OpenButtonClick(*s);
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Could not open file"});
        EXPECT_TRUE(Snapshot(*s) == before);
    }
}

TEST_F(ProgramFileTest, SaveReplacesExistingFileAndKeepsSelection) {
    WriteAll(Path("p.stw"), "old contents that are longer than the new program file, by quite a lot");
    fs::permissions(Path("p.stw"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    SetLines(*s, {Comment(";x"), Comment(";y")});
    s->listing.select(1);
    s->currentLine = 1;
    ui.saveNames.push_back(Path("p.stw"));
    ui.answers = {Answer::Yes};
    ASSERT_TRUE(SaveProgram(*s));
    EXPECT_EQ(ui.questions, std::vector<std::string>{Path("p.stw") + " already exists - replace it?"});
    EXPECT_EQ(ReadAll(Path("p.stw")), "0\r\n127 \r\n2\r\n;x\r\n;y\r\n");
    EXPECT_EQ(fs::status(Path("p.stw")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(s->currentLine, 1);
    EXPECT_TRUE(s->listing.selected(0) && s->listing.selected(1));
    EXPECT_EQ(s->rememberedFile, Path("p.stw"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(ProgramFileTest, SaveThroughLinkKeepsLinkAndLatin1Names) {
    std::string name = Path("caf\xE9.stw");
    WriteAll(name, "old");
    fs::create_symlink(name, Path("link.stw"));
    ui.saveNames.push_back(Path("link.stw"));
    ui.answers = {Answer::Yes};
    ASSERT_TRUE(SaveProgram(*s));
    EXPECT_TRUE(fs::is_symlink(Path("link.stw")));
    EXPECT_EQ(ReadAll(name), "0\r\n127 \r\n0\r\n");

    ui.saveNames.push_back(name);
    ASSERT_TRUE(SaveProgram(*s));
    EXPECT_EQ(s->form.caption, "Tavo Stepwright - " + name);
    ASSERT_TRUE(OpenProgramFile(*s, name));
    EXPECT_EQ(s->rememberedFile, name);
}

TEST_F(ProgramFileTest, RelativeNamesGetFullPathInCaption) {
    std::string cwd = fs::current_path().string();
    fs::current_path(dir);
    ui.saveNames.push_back("rel.stw");
    bool saved = SaveProgram(*s);
    std::string caption = s->form.caption;
    bool opened = OpenProgramFile(*s, "rel.stw");
    fs::current_path(cwd);
    EXPECT_TRUE(saved);
    EXPECT_TRUE(opened);
    EXPECT_EQ(caption, "Tavo Stepwright - " + dir + "/rel.stw");
    EXPECT_EQ(s->rememberedFile, dir + "/rel.stw");
}

// Save failures never look like success: the label stays red, the caption stays,
// and an earlier file is left as it was.
struct SaveFailure : ProgramFileTest {
    void ExpectFailed(const std::string& message) {
        EXPECT_EQ(ui.messages, std::vector<std::string>{message});
        EXPECT_EQ(s->form.SaveLabel.caption, "Not Saved");
        EXPECT_EQ(s->form.SaveLabel.color, kRed);
        EXPECT_EQ(s->form.caption, "Tavo Stepwright");
    }
};

TEST_F(SaveFailure, MissingDirectoryOrDirectoryTarget) {
    for (const std::string& name : {Path("nodir/x.stw"), dir}) {
        ui.messages.clear();
        ui.saveNames.push_back(name);
        EXPECT_FALSE(SaveProgram(*s));
        ExpectFailed("Could not open file");
    }
}

TEST_F(ProgramFileTest, LongestFileNameSaves) {
    std::string name = Path(std::string(251, 'n') + ".stw");
    ui.saveNames.push_back(name);
    ASSERT_TRUE(SaveProgram(*s));
    EXPECT_EQ(ReadAll(name), "0\r\n127 \r\n0\r\n");
}

TEST_F(SaveFailure, WriteErrorMidwayKeepsEarlierFileAndLeavesNoTemporary) {
    // A file size limit makes the write fail part way, for any user: once
    // through a new file renamed into place, once rewriting a hard-linked
    // file in place, whose earlier content must be written back.
    SetLines(*s, std::vector<ProgramLine>(200, Comment(";" + std::string(59, 'z'))));
    for (bool linked : {false, true}) {
        WriteAll(Path("p.stw"), "earlier");
        if (linked) {
            ASSERT_EQ(link(Path("p.stw").c_str(), Path("q.stw").c_str()), 0);
        }
        struct rlimit old;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        ui.messages.clear();
        ui.saveNames.push_back(Path(linked ? "q.stw" : "p.stw"));
        ui.answers = {Answer::Yes};
        bool saved = SaveProgram(*s);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(saved);
        ExpectFailed(std::string("Could not write file: ") + std::strerror(EFBIG));
        EXPECT_EQ(ReadAll(Path("p.stw")), "earlier");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), linked ? 2 : 1);
    }
}

// Save over every kind of target: what it says, what the target holds after,
// and that the file's identity survives.  No temporary file is ever left.
TEST_F(SaveFailure, OddTargetsKeepTheirIdentityOrTheirEarlierContent) {
    using Dir = const std::string&;
    const std::string saved = "0\r\n127 \r\n0\r\n";
    const bool root = geteuid() == 0;
    auto earlier = [](Dir d, mode_t mode) {
        WriteAll(d + "/p.stw", "earlier");
        chmod((d + "/p.stw").c_str(), mode);
        return d + "/p.stw";
    };
    auto holds = [](Dir d, const std::string& bytes, mode_t mode) {
        struct stat st;
        ASSERT_EQ(stat((d + "/p.stw").c_str(), &st), 0);
        EXPECT_EQ(ReadAll(d + "/p.stw"), bytes);
        EXPECT_EQ(st.st_mode & 07777, mode);
    };
    int fifo = -1;
    struct Case {
        const char* what;
        std::function<std::string(Dir)> setUp;  // returns the name to save to
        std::string message;                     // "" = saved
        std::function<void(Dir)> check;
    } cases[] = {
        {"read-only file", [&](Dir d) { return earlier(d, 0444); }, "Could not open file",
         [&](Dir d) { holds(d, "earlier", 0444); }},
        // Only a backup copy beside it keeps a file rewritten in place safe.
        {"file in a read-only directory", [&](Dir d) { auto n = earlier(d, 0640); return chmod(d.c_str(), 0555), n; },
         root ? "" : "Could not write file: Permission denied (no backup copy could be made beside the file)",
         [&](Dir d) { holds(d, root ? saved : "earlier", 0640); }},
        {"new file in a read-only directory", [](Dir d) { return chmod(d.c_str(), 0555), d + "/new.stw"; },
         root ? "" : "Could not open file", [&](Dir d) { EXPECT_EQ(fs::exists(d + "/new.stw"), root); }},
        {"file of another owner",
         [&](Dir d) { auto n = earlier(d, 0666); return root ? chown(n.c_str(), 4321, 4322) : 0, n; }, "",
         [&](Dir d) {
             holds(d, saved, 0666);
             struct stat st;
             stat((d + "/p.stw").c_str(), &st);
             EXPECT_TRUE(!root || (st.st_uid == 4321u && st.st_gid == 4322u));
         }},
        {"hard link", [&](Dir d) { auto n = earlier(d, 0600); return link(n.c_str(), (d + "/q").c_str()), n; },
         "", [&](Dir d) { holds(d, saved, 0600);
             EXPECT_EQ(fs::hard_link_count(d + "/q"), 2u); }},
        {"dangling symlink", [](Dir d) { return fs::create_symlink("target.stw", d + "/l"), d + "/l"; }, "",
         [&](Dir d) { EXPECT_TRUE(fs::is_symlink(d + "/l") && ReadAll(d + "/target.stw") == saved); }},
        {"symlink loop",
         [](Dir d) { return fs::create_symlink("b", d + "/a"), fs::create_symlink("a", d + "/b"), d + "/a"; },
         "Could not open file", [](Dir d) { EXPECT_TRUE(fs::is_symlink(d + "/a") && fs::is_symlink(d + "/b")); }},
        {"pipe whose reader never reads",
         [&fifo](Dir d) {
             EXPECT_EQ(mkfifo((d + "/fifo").c_str(), 0600), 0);
             fifo = open((d + "/fifo").c_str(), O_RDWR | O_NONBLOCK);
             return d + "/fifo";
         },
         "Could not open file", [](Dir d) { EXPECT_TRUE(fs::is_fifo(d + "/fifo")); }},
        {"device without space", [](Dir) { return std::string("/dev/full"); }, "Could not open file", [](Dir) {}},
    };
    auto entries = [this] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename() != "target.stw" && e.path().filename() != "new.stw")
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        ui.messages.clear();
        const std::string name = c.setUp(dir);
        const auto before = entries();
        ui.saveNames.push_back(name);
        ui.answers = {Answer::Yes};  // to replacing a file that is there
        EXPECT_EQ(SaveProgram(*s), c.message.empty());
        EXPECT_EQ(ui.messages, c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        chmod(dir.c_str(), 0700);
        c.check(dir);
        EXPECT_EQ(entries(), before);  // besides a file the save created
        if (fifo >= 0) close(fifo);
        fifo = -1;
    }
}

TEST_F(SaveFailure, OpenReadsOnlyRegularFilesAndNeverWaits) {
    // A writer that stays idle used to hold Open for ever.
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    int writer = open(Path("fifo").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    for (const std::string& name : {Path("fifo"), std::string("/dev/null"), dir}) {
        ui.messages.clear();
        EXPECT_FALSE(OpenProgramFile(*s, name));
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Could not open file"}) << name;
    }
    close(writer);
}

// The bounded reader the scenario reader and decode use: a regular file up to
// the bound, and its first bound + 1 bytes beyond; no pipe, device or folder
// is opened, so nothing waits or reads without end.
TEST_F(SaveFailure, BoundedReadTakesRegularFilesUpToTheBound) {
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    int writer = open(Path("fifo").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    WriteAll(Path("ten"), "0123456789");
    WriteAll(Path("empty"), "");
    fs::create_symlink("/dev/zero", Path("zero"));
    fs::create_symlink("ten", Path("link"));
    const struct {
        std::string path;
        size_t limit;
        BoundedRead outcome;
        std::string bytes;
        int error;
    } cases[] = {
        {Path("ten"), 10, BoundedRead::Read, "0123456789", 0},
        {Path("ten"), 100, BoundedRead::Read, "0123456789", 0},
        {Path("link"), 10, BoundedRead::Read, "0123456789", 0},
        {Path("empty"), 0, BoundedRead::Read, "", 0},
        {Path("ten"), 9, BoundedRead::TooLarge, "0123456789", 0},
        {Path("ten"), 4, BoundedRead::TooLarge, "01234", 0},
        {Path("fifo"), 10, BoundedRead::CannotOpen, "", 0},
        {Path("zero"), 10, BoundedRead::CannotOpen, "", 0},
        {"/dev/zero", 10, BoundedRead::CannotOpen, "", 0},
        {dir, 10, BoundedRead::CannotOpen, "", 0},
        {Path("missing"), 10, BoundedRead::CannotOpen, "", ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " at most " + std::to_string(c.limit));
        std::string bytes = "earlier";
        int error = -1;
        EXPECT_EQ(ReadFileBounded(c.path, c.limit, bytes, &error), c.outcome);
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(error, c.error);
    }
    close(writer);
    // A large sparse file is refused after bound + 1 bytes, not read whole.
    {
        std::ofstream(Path("sparse")).flush();
        ASSERT_EQ(truncate(Path("sparse").c_str(), off_t(1) << 32), 0);
        std::string bytes;
        EXPECT_EQ(ReadFileBounded(Path("sparse"), 1 << 20, bytes), BoundedRead::TooLarge);
        EXPECT_EQ(bytes.size(), size_t(1 << 20) + 1);
    }
}

// Text that a program file cannot carry is refused before any file is chosen.
TEST_F(SaveFailure, ProgramsWhoseFieldsWouldNotReadBackAreRefused) {
    ProgramLine longComment = Comment(";x");
    std::memset(reinterpret_cast<char*>(&longComment) + 2, 'y', 64);  // 66 characters, over the 60 a file line holds
    ProgramLine tooLong = Instr("L", "", {0xBB, 0x00, 0x02}, 0, 0, 2);
    tooLong.length = 30;
    struct Case {
        ProgramLine line;
        std::string message;
    } cases[] = {
        {Comment(";two\nlines"), "Program line 2 cannot be saved: its comment holds a line break, which a program "
                                 "file cannot store."},
        {Instr("A\r", "", {0xBB, 0x00, 0x02}, 0, 0, 2), "Program line 2 cannot be saved: its label holds a line "
                                                         "break, which a program file cannot store."},
        {Instr("", "GO\n", {0xBB, 0x02, 0x00, 0xFF, 0xFF}, 3, 0, 0),
         "Program line 2 cannot be saved: its goto-label holds a line break, which a program file cannot store."},
        {longComment, "Program line 2 cannot be saved: it would not read back the same from a program file."},
        {tooLong, "Program line 2 cannot be saved: it would not read back the same from a program file."},
    };
    WriteAll(Path("p.stw"), "earlier");
    for (const Case& c : cases) {
        SetLines(*s, {Comment(";fine"), c.line, Comment(";after")});
        ui.messages.clear();
        ui.saveNames.assign({Path("p.stw")});
        EXPECT_FALSE(SaveProgram(*s));
        ExpectFailed(c.message);
        EXPECT_EQ(ui.saveNames.size(), 1u);  // no dialog was shown
        EXPECT_EQ(WriteProgramFile(*s, Path("p.stw")), c.message);
        EXPECT_EQ(ReadAll(Path("p.stw")), "earlier");
    }
}

// Open asks before it replaces unsaved lines, as closing does.
TEST_F(ProgramFileTest, OpenAsksBeforeDiscardingUnsavedWork) {
    WriteAll(Path("other.stw"), kWorkedExample);
    WriteAll(Path("ro.stw"), "earlier");
    chmod(Path("ro.stw").c_str(), 0444);
    struct Case {
        bool unsaved;
        int lines;
        std::vector<Answer> answers;
        std::vector<std::string> saveNames;
        bool asked, opened;
        std::string savedTo;  // "" = nothing written
    } cases[] = {
        {true, 1, {Answer::Cancel}, {}, true, false, ""},
        {true, 1, {Answer::No}, {}, true, true, ""},
        {true, 1, {Answer::Yes}, {Path("mine.stw")}, true, true, Path("mine.stw")},
        {true, 1, {Answer::Yes}, {""}, true, false, ""},              // save dialog cancelled
        {true, 1, {Answer::Yes}, {Path("ro.stw")}, true, false, ""},  // save failed
        {false, 1, {}, {}, false, true, ""},                          // saved: no question
        {true, 0, {}, {}, false, true, ""},                           // nothing to lose
    };
    for (const Case& c : cases) {
        auto t = std::make_unique<MainState>(ui);
        Start(*t);
        SetLines(*t, std::vector<ProgramLine>(size_t(c.lines), Comment(";mine")));
        if (!c.unsaved) t->form.SaveLabel.color = kGreen;
        ui.questions.clear();
        ui.messages.clear();
        ui.answers.assign(c.answers.begin(), c.answers.end());
        ui.saveNames.assign(c.saveNames.begin(), c.saveNames.end());
        ui.openNames.assign({Path("other.stw")});
        fs::remove(Path("mine.stw"));
        OpenButtonClick(*t);
        EXPECT_EQ(ui.questions, c.asked ? std::vector<std::string>{"Program not saved - save before opening?"}
                                        : std::vector<std::string>{});
        EXPECT_EQ(ui.openNames.empty(), c.opened);  // the open dialog was shown only when going on
        EXPECT_EQ(t->lineCount, c.opened ? 2 : c.lines);
        if (!c.savedTo.empty()) {
            EXPECT_EQ(ReadAll(c.savedTo), "0\r\n127 \r\n1\r\n;mine\r\n");
        }
        EXPECT_EQ(ReadAll(Path("ro.stw")), "earlier");
    }
}

// ---------------------------------------------------------------------------
// Crashes and failures at every step of a write

struct Killed {};  // thrown by the hook: the write stops there, as under kill -9

struct SafeWrite : ProgramFileTest {
    const std::string before = kWorkedExample, after = "0\r\n127 \r\n0\r\n";
    std::vector<std::string> steps;
    int failAt = -1;
    bool kill = false, named = false;

    void SetUp() override {
        ProgramFileTest::SetUp();
        SetSafeWriteHook([this](const char* step) -> int {
            // A file system without unnamed temporaries answers so.
            if (named && std::strcmp(step, "create unnamed") == 0) return EOPNOTSUPP;
            steps.push_back(step);
            if (int(steps.size()) - 1 != failAt) return 0;
            if (kill) throw Killed{};
            return ENOSPC;
        });
    }
    void TearDown() override {
        SetSafeWriteHook(nullptr);
        ProgramFileTest::TearDown();
    }
    // The folder's entries besides the file and its hard link.
    std::vector<std::string> Others() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename() != "p.stw" && e.path().filename() != "q.stw")
                names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(SafeWrite, EveryStepFailedOrKilledLeavesTheEarlierOrTheNewContent) {
    const struct {
        const char* what;
        bool exists, hardLinked;
    } ways[] = {{"new file", false, false}, {"renamed into place", true, false}, {"rewritten in place", true, true}};
    for (const auto& way : ways) {
        for (bool unnamedMissing : {false, true}) {
            for (bool killed : {false, true}) {
                named = unnamedMissing;
                kill = killed;
                auto setUp = [&] {
                    fs::remove_all(dir);
                    fs::create_directory(dir);
                    if (way.exists) WriteAll(Path("p.stw"), before);
                    if (way.hardLinked) fs::create_hard_link(Path("p.stw"), Path("q.stw"));
                };
                setUp();
                failAt = -1;
                steps.clear();
                ASSERT_EQ(WriteFileData(Path("p.stw"), after), "");
                const std::vector<std::string> plan = steps;
                for (size_t k = 0; k < plan.size(); ++k) {
                    SCOPED_TRACE(std::string(way.what) + (named ? ", named temporaries" : "") +
                                 (kill ? ", killed at " : ", failed at ") + std::to_string(k) + " " + plan[k]);
                    setUp();
                    steps.clear();
                    failAt = int(k);
                    std::string result = "killed";
                    try {
                        result = WriteFileData(Path("p.stw"), after);
                    } catch (const Killed&) {
                    }
                    failAt = -1;
                    const bool present = fs::exists(Path("p.stw"));
                    const std::string now = present ? ReadAll(Path("p.stw")) : "";
                    const std::string backup = Path("p.stw~stw-backup");
                    if (!kill) {
                        // Told as it happened: saved (a backup copy that
                        // could not be removed may stay), or the earlier
                        // content whole with nothing beside it.
                        EXPECT_EQ(now, result.empty() ? after : way.exists ? before : "") << result;
                        EXPECT_EQ(present, way.exists || result.empty());
                        const auto others = Others();
                        EXPECT_TRUE(others.empty() || (result.empty() && others == std::vector<std::string>{
                                                                                   "p.stw~stw-backup"}))
                            << others[0];
                    } else if (fs::exists(backup)) {
                        EXPECT_EQ(ReadAll(backup), before);
                        // Open offers the copy; Yes puts it back.
                        ui.questions.clear();
                        ui.answers.assign({Answer::Yes});
                        EXPECT_TRUE(OpenProgramFile(*s, Path("p.stw")));
                        EXPECT_EQ(ui.questions.size(), 1u);
                        EXPECT_EQ(ReadAll(Path("p.stw")), before);
                        EXPECT_FALSE(fs::exists(backup));
                    } else {
                        EXPECT_TRUE(now == before || now == after || (!way.exists && !present)) << now;
                    }
                    if (way.hardLinked) { EXPECT_EQ(ReadAll(Path("q.stw")), ReadAll(Path("p.stw"))); }
                    // The next write clears what a killed one left.
                    ASSERT_EQ(WriteFileData(Path("p.stw"), after), "");
                    EXPECT_EQ(ReadAll(Path("p.stw")), after);
                    EXPECT_EQ(Others(), std::vector<std::string>{});
                }
            }
        }
    }
}

// The backup copy of a save that did not finish is offered by Open, through
// any link to the file, and is used only when the user says Yes.
TEST_F(SafeWrite, OpenOffersALeftBackupAndUsesItOnlyOnYes) {
    const std::string torn = kWorkedExample.substr(0, 30);
    const struct {
        const char* open;
        bool hardLinked;
        Answer answer;
    } cases[] = {{"p.stw", false, Answer::Yes}, {"p.stw", true, Answer::Yes},
                 {"link.stw", true, Answer::Yes}, {"p.stw", false, Answer::No}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.open) + (c.hardLinked ? " hard-linked" : "") +
                     (c.answer == Answer::Yes ? " Yes" : " No"));
        fs::remove_all(dir);
        fs::create_directory(dir);
        WriteAll(Path("p.stw"), torn);
        WriteAll(Path("p.stw~stw-backup"), kWorkedExample);
        if (c.hardLinked) fs::create_hard_link(Path("p.stw"), Path("q.stw"));
        fs::create_symlink("p.stw", Path("link.stw"));
        ui.questions.clear();
        ui.messages.clear();
        ui.answers.assign({c.answer});
        s = std::make_unique<MainState>(ui);
        Start(*s);
        const bool yes = c.answer == Answer::Yes;
        EXPECT_EQ(OpenProgramFile(*s, Path(c.open)), yes);
        EXPECT_EQ(ui.questions, std::vector<std::string>{"A save of " + Path(c.open) +
                                                         " did not finish - restore its earlier content from " +
                                                         Path("p.stw~stw-backup") + "?"});
        EXPECT_EQ(ReadAll(Path("p.stw")), yes ? kWorkedExample : torn);
        EXPECT_EQ(fs::exists(Path("p.stw~stw-backup")), !yes);
        EXPECT_TRUE(fs::is_symlink(Path("link.stw")));
        if (c.hardLinked) { EXPECT_EQ(fs::hard_link_count(Path("p.stw")), 2u); }
        EXPECT_EQ(s->lineCount, yes ? 2 : 0);
        EXPECT_EQ(ui.messages.size(), yes ? 0u : 1u);  // No: the torn file is refused as it is
    }
}

// A save cut off after the new content was on the disk (before its copy of
// the earlier content was removed) leaves a file that reads whole: Open says
// so, and keeps it unless the user asks for the earlier content.
TEST_F(SafeWrite, OpenTellsAWholeFileFromATornOne) {
    const std::string earlier = "0\r\n127 \r\n1\r\n;earlier\r\n";
    const struct {
        std::string file;
        Answer answer;
        const char* question;
        std::string after;
        int lines;
    } cases[] = {
        {kWorkedExample, Answer::No, " was cut off after it had written the file whole - restore its earlier "
                                     "content from ", kWorkedExample, 2},
        {kWorkedExample, Answer::Yes, " was cut off after it had written the file whole - restore its earlier "
                                      "content from ", earlier, 1},
        {kWorkedExample.substr(0, 40), Answer::Yes, " did not finish - restore its earlier content from ", earlier, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.question + std::string(c.answer == Answer::Yes ? "Yes" : "No"));
        fs::remove_all(dir);
        fs::create_directory(dir);
        WriteAll(Path("p.stw"), c.file);
        WriteAll(Path("p.stw~stw-backup"), earlier);
        ui.questions.clear();
        ui.messages.clear();
        ui.answers.assign({c.answer});
        s = std::make_unique<MainState>(ui);
        Start(*s);
        EXPECT_TRUE(OpenProgramFile(*s, Path("p.stw")));
        const std::string end = c.question[1] == 'w' ? " instead?" : "?";
        EXPECT_EQ(ui.questions,
                  std::vector<std::string>{"A save of " + Path("p.stw") + c.question + Path("p.stw~stw-backup") + end});
        EXPECT_EQ(ReadAll(Path("p.stw")), c.after);
        EXPECT_EQ(s->lineCount, c.lines);
        EXPECT_TRUE(ui.messages.empty());
    }
}

// A link planted in a sticky world-writable folder by another user is not
// followed, as the kernel would not follow it; links of the user or of the
// folder's owner are.
TEST_F(SafeWrite, LinksInStickyFoldersFollowTheKernelsRule) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to plant links of other users";
    const uid_t other = 4321;
    const struct {
        const char* what;
        uid_t linkOwner, folderOwner;
        bool dangling, followed;
    } cases[] = {
        {"another user's link", other, 0, false, false},
        {"another user's dangling link", other, 0, true, false},
        {"the user's own link", 0, 0, false, true},
        {"the folder owner's link", other, other, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir);
        fs::create_directory(dir);
        const std::string shared = Path("shared"), link = shared + "/prog.stw", target = Path("root.stw");
        ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
        ASSERT_EQ(chown(shared.c_str(), c.folderOwner, c.folderOwner), 0);
        if (!c.dangling) WriteAll(target, before);
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        ASSERT_EQ(lchown(link.c_str(), c.linkOwner, c.linkOwner), 0);
        EXPECT_EQ(WriteFileData(link, after), c.followed ? "" : "Could not open file");
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::exists(target), !c.dangling);
        if (!c.dangling) { EXPECT_EQ(ReadAll(target), c.followed ? after : before); }
    }
}

}  // namespace
