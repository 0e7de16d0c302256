// The program layer over its bare records, without the window: the
// assembler's errors, the line store's breakpoint, and undo through a plain
// view.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "program/Assembly.h"
#include "program/LineStore.h"
#include "program/Undo.h"

namespace {

ProgramLine Instr(const std::string& label, const std::string& gotoLabel, uint8_t length = 5) {
    ProgramLine l;
    std::memset(&l, 0, sizeof l);
    l.setLabel(label);
    l.setGotoLabel(gotoLabel);
    l.length = length;
    l.patchOffset = 3;
    return l;
}

std::unique_ptr<ProgramState> Program(const std::vector<ProgramLine>& lines) {
    auto p = std::make_unique<ProgramState>();
    for (const ProgramLine& l : lines) p->lines[p->lineCount++] = l;
    return p;
}

using Mark = AssemblyError::Mark;

TEST(ProgramRecords, AssemblyErrorNamesLineAndHowToShowIt) {
    const struct {
        std::vector<ProgramLine> lines;
        int result;
        Mark mark;
        int line;
        std::string text;
    } cases[] = {
        {{Instr("A", ""), Instr("B", "A")}, 0, Mark::None, -1, ""},
        {{Instr("A", ""), Instr("B", ""), Instr("A", "")}, -1, Mark::Select, 2, "Redundant label found"},
        {{Instr("", ""), Instr("", "X")}, -1, Mark::Focus, 1, "Label 'X' undefined"},
        {{Instr("", ""), Instr("", "", 30)}, -1, Mark::Focus, 1,
         "Program line 2 is damaged: it claims 30 instruction bytes, more than 24."},
        {{Instr("A", "A", 4)}, -1, Mark::Focus, 0,
         "Program line 1 is damaged: its jump address cannot be placed at byte 3."},
    };
    for (const auto& c : cases) {
        auto p = Program(c.lines);
        AssemblyError error;
        EXPECT_EQ(AssembleProgram(*p, error), c.result) << c.text;
        EXPECT_EQ(error.mark, c.mark) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_EQ(error.text, c.text);
    }
}

TEST(ProgramRecords, BreakpointFollowsItsLine) {
    const struct {
        bool insert;
        int at;
        int breakpoint;
        bool done;
        int expected;
    } cases[] = {
        {true, 1, 1, true, 2},    {true, 2, 1, true, 1},    {true, 4, 1, false, 1},
        {false, 1, 1, true, -1},  {false, 0, 2, true, 1},   {false, 3, 1, false, 1},
        {false, 2, 1, true, 1},   {true, -1, 0, false, 0},
    };
    for (const auto& c : cases) {
        auto p = Program({Instr("A", ""), Instr("B", ""), Instr("C", "")});
        p->breakpointLine = c.breakpoint;
        const bool done = c.insert ? InsertRecord(*p, c.at, Instr("N", "")) : RemoveRecord(*p, c.at);
        EXPECT_EQ(done, c.done) << c.insert << " at " << c.at;
        EXPECT_EQ(p->breakpointLine, c.expected) << c.insert << " at " << c.at;
        EXPECT_EQ(p->lineCount, 3 + (done ? (c.insert ? 1 : -1) : 0));
    }
}

// The texts of the lines as a list, the module list as plain items.
struct PlainView : EditView {
    ProgramState* p;
    std::vector<std::string> texts;
    int restoredAt = -1, restoredCount = -1;
    int itemCount() const override { return int(texts.size()) + 1; }
    std::string lineText(int i) const override { return i < int(texts.size()) ? texts[size_t(i)] : ""; }
    std::vector<std::string> moduleItems() const override { return {}; }
    int moduleIndex() const override { return -1; }
    void clearMark() override { p->breakpointLine = -1; }
    void replaceLines(int at, int removed, const std::vector<std::string>& in) override {
        texts.erase(texts.begin() + at, texts.begin() + at + removed);
        texts.insert(texts.begin() + at, in.begin(), in.end());
    }
    void showModuleList(const std::vector<std::string>&, int) override {}
    void showRestored(int at, int count) override {
        restoredAt = at;
        restoredCount = count;
        ++p->programEdits;
    }
};

TEST(ProgramRecords, UndoPutsBackRecordsAndTexts) {
    auto p = Program({Instr("A", ""), Instr("B", "")});
    auto m = std::make_unique<ModuleTables>();
    PlainView v;
    v.p = p.get();
    v.texts = {"A", "B"};
    EditSteps steps(*p, *m, v);

    InsertRecord(*p, 1, Instr("N", ""));
    v.texts.insert(v.texts.begin() + 1, "N");
    p->breakpointLine = 2;
    ++p->programEdits;
    steps.Record(*p, *m, v);
    // A change that is no edit makes no step.
    p->lines[0].address = 7;
    steps.Record(*p, *m, v);
    ASSERT_EQ(steps.undoDepth(), 1u);

    ASSERT_TRUE(steps.Undo(*p, *m, v));
    EXPECT_EQ(p->lineCount, 2);
    EXPECT_EQ(p->lines[1].labelText(), "B");
    EXPECT_EQ(v.texts, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(p->breakpointLine, -1);
    EXPECT_EQ(p->currentLine, 1);
    EXPECT_EQ(v.restoredAt, 1);
    EXPECT_EQ(v.restoredCount, 0);

    ASSERT_TRUE(steps.Redo(*p, *m, v));
    EXPECT_EQ(p->lines[1].labelText(), "N");
    EXPECT_EQ(v.texts, (std::vector<std::string>{"A", "N", "B"}));
    EXPECT_EQ(v.restoredCount, 1);
    EXPECT_FALSE(steps.Redo(*p, *m, v));
}

}  // namespace
