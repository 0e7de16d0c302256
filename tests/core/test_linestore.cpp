// Listing editor: insertion, deletion, clipboard, selection, scrolling and the
// labels' saved/loaded states.
#include <gtest/gtest.h>

#include <functional>

#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "app/ModuleListBox.h"
#include "app/panels/Instruction.h"
#include "app/panels/Master.h"
#include "modules/ModuleList.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"

namespace {

struct Editor : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);

    void SetUp() override { StartTimerTimer(*s); }

    void comment(const std::string& text) {
        s->form.CommentEdit.text = text;
        CommentButtonClick(*s);
    }
    // The listing texts, without the end marker, which is checked separately.
    std::vector<std::string> texts() const {
        std::vector<std::string> r;
        for (int i = 0; i < s->listing.count(); ++i) r.push_back(s->listing.text(i));
        EXPECT_EQ(r.back(), kEndMarker);
        r.pop_back();
        return r;
    }
    std::vector<int> selection() const {
        std::vector<int> r;
        for (int i = 0; i < s->listing.count(); ++i)
            if (s->listing.selected(i)) r.push_back(i);
        return r;
    }
    void click(int item, bool ctrl = false) {
        s->listing.userFocus(item);
        if (!ctrl) {
            for (int i = 0; i < s->listing.count(); ++i) s->listing.userSelected(i, i == item);
        } else {
            s->listing.userSelected(item, true);
        }
        ProgramListBoxMouseDown(*s, ctrl);
        ProgramListBoxClick(*s);
    }
    void selectRange(int from, int to) {
        for (int i = 0; i < s->listing.count(); ++i) s->listing.userSelected(i, i >= from && i <= to);
        s->listing.userFocus(to);
    }
    void markSaved() {
        s->form.SaveLabel.color = kGreen;
        s->form.LoadLabel.color = kGreen;
        s->form.RunButton.enabled = true;
        s->breakpointLine = 3;
        s->resumeFlag = true;
    }
    void expectChanged() {
        EXPECT_EQ(s->form.SaveLabel.caption, "Not Saved");
        EXPECT_EQ(s->form.SaveLabel.color, kRed);
        EXPECT_EQ(s->form.LoadLabel.caption, "Not Loaded");
        EXPECT_EQ(s->form.LoadLabel.color, kRed);
        EXPECT_FALSE(s->form.RunButton.enabled);
        EXPECT_EQ(s->breakpointLine, -1);
        EXPECT_FALSE(s->resumeFlag);
    }
};

TEST_F(Editor, StartShowsOnlyTheSelectedEndMarker) {
    EXPECT_EQ(s->listing.count(), 1);
    EXPECT_EQ(s->listing.text(0), "            [END]");
    EXPECT_EQ(selection(), std::vector<int>{0});
    EXPECT_EQ(s->currentLine, 0);
    EXPECT_EQ(s->moduleTypes[0], 127);
    EXPECT_TRUE(s->form.MasterCBox.enabled);
    EXPECT_FALSE(s->form.ServoCBox.enabled);
    EXPECT_TRUE(s->com.visible);
    EXPECT_FALSE(s->startTimerOn);
}

TEST_F(Editor, CommentInsertsBeforeCurrentLineAndKeepsItCurrent) {
    comment("first");
    comment("");
    EXPECT_EQ(texts(), (std::vector<std::string>{";first", ";"}));
    EXPECT_EQ(s->currentLine, 2);
    EXPECT_EQ(s->form.CommentEdit.text, "");
    click(0);
    comment("before");
    EXPECT_EQ(texts(), (std::vector<std::string>{";before", ";first", ";"}));
    EXPECT_EQ(s->currentLine, 1);
    EXPECT_EQ(s->lineCount, 3);
    expectChanged();
}

TEST_F(Editor, CommentTakesAtMost59Characters) {
    std::string long_text(80, 'x');
    comment(long_text);
    EXPECT_EQ(s->lines[0].commentText(), ";" + std::string(59, 'x'));
    EXPECT_EQ(texts()[0].size(), 60u);
}

TEST_F(Editor, DeleteRemovesOnlyTheCurrentLine) {
    for (auto t : {"a", "b", "c", "d"}) comment(t);
    selectRange(1, 2);
    s->listing.userFocus(1);
    ProgramListBoxClick(*s);
    markSaved();
    DeleteButtonClick(*s);
    EXPECT_EQ(texts(), (std::vector<std::string>{";a", ";c", ";d"}));
    EXPECT_EQ(s->currentLine, 1);
    EXPECT_EQ(selection(), std::vector<int>{1});  // ;c moved into place and was selected already
    expectChanged();

    click(3);  // the end marker
    DeleteButtonClick(*s);
    EXPECT_EQ(s->lineCount, 3);
}

TEST_F(Editor, CutRemovesTheSelectedBlockAndPasteInsertsItBeforeTheCurrentLine) {
    for (auto t : {"a", "b", "c", "d", "e"}) comment(t);
    selectRange(1, 3);
    CutButtonClick(*s);
    EXPECT_EQ(texts(), (std::vector<std::string>{";a", ";e"}));
    EXPECT_EQ(s->copyCount, 3);
    EXPECT_EQ(s->currentLine, 1);
    click(2);  // end marker: paste appends
    s->form.LabelEdit.text = "X";
    PasteButtonClick(*s);
    EXPECT_EQ(texts(), (std::vector<std::string>{";a", ";e", ";b", ";c", ";d"}));
    EXPECT_EQ(s->currentLine, 5);
    EXPECT_EQ(selection(), std::vector<int>{5});
    EXPECT_EQ(s->form.LabelEdit.text, "");
}

TEST_F(Editor, CutWithNothingSelectedStillMarksChanged) {
    comment("a");
    s->listing.deselectAll();
    markSaved();
    CutButtonClick(*s);
    EXPECT_EQ(s->copyCount, 0);
    EXPECT_EQ(s->lineCount, 1);
    expectChanged();
}

TEST_F(Editor, CopyThenTwoPastesInsertTheBlockTwice) {
    for (auto t : {"a", "b"}) comment(t);
    selectRange(0, 1);
    s->currentLine = 0;
    markSaved();
    CopyButtonClick(*s);
    EXPECT_EQ(selection(), std::vector<int>{0});
    EXPECT_EQ(s->form.SaveLabel.color, kGreen);  // copying changes nothing
    PasteButtonClick(*s);
    PasteButtonClick(*s);
    EXPECT_EQ(texts(), (std::vector<std::string>{";a", ";b", ";a", ";b", ";a", ";b"}));
    EXPECT_EQ(s->currentLine, 4);
}

TEST_F(Editor, PasteOfEmptyBufferCollapsesSelectionAndMarksChanged) {
    for (auto t : {"a", "b", "c"}) comment(t);
    selectRange(0, 2);
    s->currentLine = 1;
    s->form.LabelEdit.text = "L";
    markSaved();
    PasteButtonClick(*s);
    EXPECT_EQ(s->lineCount, 3);
    EXPECT_EQ(selection(), std::vector<int>{1});
    EXPECT_EQ(s->form.LabelEdit.text, "");
    expectChanged();
}

TEST_F(Editor, ClearAllAsksAndKeepsModuleListAndCopyBuffer) {
    comment("a");
    selectRange(0, 0);
    CopyButtonClick(*s);
    s->imageLength = 40;
    s->rememberedFile = "/tmp/old.stw";
    s->form.caption = "Tavo Stepwright - /tmp/old.stw";
    ui.answers = {Answer::No};
    ClearButtonClick(*s);
    EXPECT_EQ(s->lineCount, 1);
    EXPECT_EQ(s->form.caption, "Tavo Stepwright - /tmp/old.stw");
    EXPECT_EQ(s->rememberedFile, "/tmp/old.stw");
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0], "Are you sure you want to clear the entire program?");
    ui.answers = {Answer::Yes};
    ClearButtonClick(*s);
    EXPECT_EQ(s->lineCount, 0);
    EXPECT_EQ(s->listing.count(), 1);
    EXPECT_EQ(s->imageLength, 0);
    EXPECT_EQ(s->copyCount, 1);
    EXPECT_EQ(s->form.ModuleListBox.items.size(), 1u);
    EXPECT_EQ(selection(), std::vector<int>{0});
    // The tie to the old file ends: the next Save proposes no name.
    EXPECT_EQ(s->form.caption, "Tavo Stepwright");
    comment("new");
    SaveButtonClick(*s);
    EXPECT_EQ(ui.proposedSaveNames, std::vector<std::string>{""});
}

TEST_F(Editor, ChangeOnCommentLineTakesCommentEdit) {
    for (auto t : {"a", "b", "c"}) comment(t);
    click(1);
    EXPECT_EQ(s->form.CommentEdit.text, "b");
    EXPECT_TRUE(s->form.ChangeButton.enabled);
    EXPECT_EQ(s->form.ModuleListBox.index, 0);
    s->form.CommentEdit.text = "B2";
    ChangeButtonClick(*s);
    EXPECT_EQ(texts(), (std::vector<std::string>{";a", ";B2", ";c"}));
    EXPECT_EQ(s->currentLine, 1);
    EXPECT_EQ(selection(), std::vector<int>{1});
}

TEST_F(Editor, ClickOnLineOfUnknownModuleLoadsNothing) {
    ProgramLine l{};
    l.setLabel("LBL");
    l.moduleAddress = 1;
    l.bytes[0] = 0xAA;
    l.bytes[1] = 1;
    l.bytes[2] = 0x13;
    l.length = 6;
    s->form.ModuleListBox.items.push_back(" 1 UNKNOWN");
    s->moduleTypes[1] = 255;
    InsertLine(*s, 0, l);
    s->form.LabelEdit.text = "keep";
    click(0);
    EXPECT_EQ(s->form.ModuleListBox.index, 1);
    EXPECT_FALSE(s->form.MasterCBox.enabled);
    EXPECT_EQ(s->form.LabelEdit.text, "keep");
    EXPECT_EQ(s->builderLine.moduleAddress, 1);
}

TEST_F(Editor, CtrlClickSelectsTheClickedLineAlone) {
    for (auto t : {"a", "b", "c"}) comment(t);
    selectRange(0, 1);
    click(2, true);
    EXPECT_EQ(selection(), std::vector<int>{2});
    EXPECT_EQ(s->currentLine, 2);
}

ProgramLine Instr(uint16_t address) {
    ProgramLine l{};
    l.bytes[0] = 0xBB;
    l.bytes[2] = 2;
    l.length = 3;
    l.address = address;
    return l;
}

TEST_F(Editor, ShowLineAtAddressSkipsCommentsAndScrolls) {
    for (int i = 0; i < 60; ++i) InsertLine(*s, s->lineCount, Instr(uint16_t(2 + 3 * i)));
    ProgramLine c{};
    c.setComment(";x");
    std::memcpy(reinterpret_cast<char*>(&c) + 18, "\x05\x00", 2);  // garbage where address would be
    InsertLine(*s, 10, c);
    ShowLineAtAddress(*s, 5);
    EXPECT_EQ(s->currentLine, 1);
    EXPECT_EQ(selection(), std::vector<int>{1});
    EXPECT_EQ(s->listing.topIndex(), 0);  // negative top not applied

    ShowLineAtAddress(*s, uint16_t(2 + 3 * 40));  // line 41 (after the comment)
    EXPECT_EQ(s->currentLine, 41);
    EXPECT_EQ(s->listing.topIndex(), 26);
    ShowLineAtAddress(*s, uint16_t(2 + 3 * 37));  // t = 26 lies within [i-15, i-5]: no scroll
    EXPECT_EQ(s->listing.topIndex(), 26);
    ShowLineAtAddress(*s, 1);  // no line: the end marker
    EXPECT_EQ(s->currentLine, s->lineCount);
    EXPECT_EQ(selection(), std::vector<int>{s->lineCount});
}

TEST_F(Editor, RuleAScrollsDownOnly) {
    for (int i = 0; i < 30; ++i) comment("c");
    EXPECT_EQ(s->listing.topIndex(), 10);
    click(0);
    comment("top");
    EXPECT_EQ(s->listing.topIndex(), 10);
}

TEST_F(Editor, BreakpointMarkRestoresLabelCharacter) {
    ProgramLine l = Instr(2);
    l.setLabel("LOOP");
    InsertLine(*s, 0, l);
    InsertLine(*s, 1, Instr(5));
    for (int line : {0, 1}) {
        std::string t = s->listing.text(line);
        t[0] = '\x01';
        s->listing.setText(line, t);
        s->breakpointLine = line;
        ClearBreakpointMark(*s);
        EXPECT_EQ(s->listing.text(line)[0], line == 0 ? 'L' : ' ');
        EXPECT_EQ(s->breakpointLine, -1);
    }
}

TEST_F(Editor, FullStoreRefusesInsertionsAndChangesNothing) {
    ProgramLine c{};
    c.setComment(";x");
    while (s->lineCount < kMaxLines) ASSERT_TRUE(InsertLine(*s, s->lineCount, c));
    EXPECT_FALSE(InsertLine(*s, 0, c));
    comment("one more");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "The program is full: it can hold at most 8192 lines.");
    EXPECT_EQ(s->lineCount, kMaxLines);
    EXPECT_EQ(s->listing.count(), kMaxLines + 1);

    selectRange(0, 0);
    CopyButtonClick(*s);
    PasteButtonClick(*s);
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(s->lineCount, kMaxLines);
}

// Master GoTo built from the builder as the user leaves it: label and target.
void ChooseGoTo(MainState& s, const std::string& label, const std::string& target) {
    SelectModule(s, 0);
    s.form.MasterCBox.index = 0;
    MasterCBoxClick(s);
    s.form.LabelEdit.text = label;
    s.form.master.MasterEdit[1].text = target;
}

TEST_F(Editor, AddAtEndMarkerAppendsAndClearsOnlyTheLabel) {
    comment("a");
    ASSERT_EQ(s->currentLine, 1);  // the end marker
    ChooseGoTo(*s, "TOP", "DONE");
    markSaved();
    AddInstrButtonClick(*s);
    EXPECT_EQ(texts(), (std::vector<std::string>{";a", "TOP       0 GoTo DONE"}));
    EXPECT_EQ(s->currentLine, 2);
    EXPECT_EQ(s->form.LabelEdit.text, "");
    EXPECT_EQ(s->form.master.MasterEdit[1].text, "DONE");  // other fields keep their values
    expectChanged();

    AddInstrButtonClick(*s);  // empty label: a line without a label
    EXPECT_EQ(texts().back(), "          0 GoTo DONE");
    EXPECT_EQ(s->lines[2].labelText(), "");
}

TEST_F(Editor, LabelWithLeadingSemicolonMakesACommentLine) {
    ChooseGoTo(*s, ";note", "X");
    AddInstrButtonClick(*s);
    ASSERT_EQ(s->lineCount, 1);
    EXPECT_TRUE(s->lines[0].isComment());
    EXPECT_EQ(texts(), std::vector<std::string>{";note"});
}

TEST_F(Editor, ChangeOfInstructionLineSelectsItAndKeepsItCurrent) {
    for (auto t : {"a", "b", "c"}) comment(t);
    click(1);
    comment("x");  // ;a ;x ;b ;c, ;b current
    ChooseGoTo(*s, "", "ONE");
    AddInstrButtonClick(*s);  // ;a ;x GoTo ;b ;c
    click(2);
    EXPECT_EQ(s->form.master.MasterEdit[1].text, "ONE");
    s->form.master.MasterEdit[1].text = "TWO";
    s->listing.userSelected(4, true);  // another selected line stays selected
    markSaved();
    ChangeButtonClick(*s);
    EXPECT_EQ(texts(), (std::vector<std::string>{";a", ";x", "          0 GoTo TWO", ";b", ";c"}));
    EXPECT_EQ(s->currentLine, 2);
    EXPECT_EQ(selection(), (std::vector<int>{2, 4}));
    expectChanged();

    // A refused build changes nothing.
    s->form.MasterCBox.index = 6;
    MasterCBoxClick(*s);
    s->form.master.MasterEdit[1].text = "x";
    ChangeButtonClick(*s);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Invalid numeric value"});
    EXPECT_EQ(texts()[2], "          0 GoTo TWO");
    EXPECT_EQ(s->lineCount, 5);
}

// CommentEdit's change handler runs whenever its text changes, also when the
// program puts a comment's text there or empties it: Enter then presses Comment.
TEST_F(Editor, CommentEditChangedByTheProgramMakesCommentDefault) {
    struct Step {
        const char* what;
        std::function<void()> act;
        bool commentDefault;
    };
    comment("a");
    comment("");
    const Step steps[] = {
        {"focus enters the builder", [&] { GroupBox2Enter(*s); }, false},
        {"click on ;a puts a into CommentEdit", [&] { click(0); }, true},
        {"focus enters the builder", [&] { GroupBox2Enter(*s); }, false},
        {"click on ;a again: same text, no change", [&] { click(0); }, false},
        {"click on ; empties CommentEdit", [&] { click(1); }, true},
        {"focus enters the builder", [&] { GroupBox2Enter(*s); }, false},
        {"Comment with an empty edit: nothing changes", [&] { CommentButtonClick(*s); }, false},
        {"Comment empties the typed text", [&] { s->form.CommentEdit.text = "t"; CommentButtonClick(*s); }, true},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.what);
        st.act();
        EXPECT_EQ(s->form.commentIsDefault, st.commentDefault);
    }
}

// Cut and Copy act on exactly the selected lines, and no edit leaves a gap in
// the selection.
TEST_F(Editor, SelectionStaysOneBlockAndCutTakesExactlyIt) {
    for (auto t : {"a", "b", "c", "d"}) comment(t);
    // A gap made behind the editor's back: Cut still takes exactly what it copies.
    for (int i = 0; i < s->listing.count(); ++i) s->listing.userSelected(i, i == 0 || i == 2);
    CutButtonClick(*s);
    EXPECT_EQ(texts(), (std::vector<std::string>{";b", ";d"}));
    ASSERT_EQ(s->copyCount, 2);
    EXPECT_EQ(s->copyBuffer[1].commentText(), ";c");

    // Adding inside a selected block would split it: the current line stays selected alone.
    selectRange(0, 1);
    ProgramListBoxClick(*s);
    comment("new");
    EXPECT_EQ(texts(), (std::vector<std::string>{";b", ";new", ";d"}));
    EXPECT_EQ(selection(), std::vector<int>{2});
}

// A forgotten breakpoint takes its mark with it, wherever its line has moved.
TEST_F(Editor, BreakpointMarkGoesWhenTheBreakpointIsForgotten) {
    struct Case {
        const char* edit;
        std::function<void(Editor&)> run;
    } cases[] = {
        {"comment before", [](Editor& e) { e.click(0); e.comment("x"); }},
        {"comment after", [](Editor& e) { e.click(3); e.comment("x"); }},
        {"delete before", [](Editor& e) { e.click(0); DeleteButtonClick(*e.s); }},
        {"delete the line", [](Editor& e) { e.click(1); DeleteButtonClick(*e.s); }},
        {"cut a block around it", [](Editor& e) { e.selectRange(0, 2); CutButtonClick(*e.s); }},
        {"paste before", [](Editor& e) { e.selectRange(0, 0); CopyButtonClick(*e.s); PasteButtonClick(*e.s); }},
        {"module list change", [](Editor& e) { MarkProgramChanged(*e.s); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        s->listing.clear();
        s->lineCount = 0;
        s->listing.add(kEndMarker);
        for (int i = 0; i < 3; ++i) {
            ProgramLine l = Instr(uint16_t(2 + 3 * i));
            l.setLabel(i == 1 ? "LOOP" : "");
            InsertLine(*s, i, l);
        }
        std::string t = s->listing.text(1);
        t[0] = '\x01';
        s->listing.setText(1, t);
        s->breakpointLine = 1;
        c.run(*this);
        EXPECT_EQ(s->breakpointLine, -1);
        for (int i = 0; i < s->lineCount; ++i) EXPECT_EQ(s->listing.text(i), FormatListingText(*s, s->lines[i]));
    }
}

}  // namespace
