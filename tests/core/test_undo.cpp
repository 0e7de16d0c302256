// Edit history: every kind of edit undone and redone to the exact records,
// listing texts and module list; steps only for edits; bounded by bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "modules/ModuleList.h"
#include "program/Assembly.h"
#include "program/LineStore.h"
#include "program/Undo.h"

namespace {

struct Snapshot {
    std::vector<std::string> records;  // the bytes of each line
    std::vector<std::string> texts;
    std::vector<std::string> modules;
    std::vector<int> types;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const MainState& s) {
    Snapshot r;
    for (int i = 0; i < s.lineCount; ++i)
        r.records.emplace_back(reinterpret_cast<const char*>(&s.lines[i]), sizeof(ProgramLine));
    for (int i = 0; i < s.listing.count(); ++i) r.texts.push_back(s.listing.text(i));
    r.modules = s.form.ModuleListBox.items;
    r.types.assign(s.moduleTypes, s.moduleTypes + 32);
    return r;
}

struct Undo : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    std::unique_ptr<EditHistory> h;

    void SetUp() override {
        StartTimerTimer(*s);
        h = std::make_unique<EditHistory>(*s);
    }
    // One user event: the handler, then the history looks.
    void event(void (*handler)(MainState&)) {
        handler(*s);
        h->Record(*s);
    }
    void comment(const std::string& text) {
        s->form.CommentEdit.text = text;
        event(CommentButtonClick);
    }
    void selectLines(int from, int to) {
        for (int i = 0; i < s->listing.count(); ++i) s->listing.userSelected(i, i >= from && i <= to);
        s->listing.userFocus(from);
        s->currentLine = from;
    }
    std::vector<int> selection() const {
        std::vector<int> r;
        for (int i = 0; i < s->listing.count(); ++i)
            if (s->listing.selected(i)) r.push_back(i);
        return r;
    }
};

TEST_F(Undo, RandomEditsUndoToTheStartAndRedoToTheEnd) {
    for (int i = 0; i < 6; ++i) comment("line " + std::to_string(i));
    h = std::make_unique<EditHistory>(*s);
    std::mt19937 random(16);
    std::vector<Snapshot> states{Take(*s)};
    int edits = 0;
    for (int round = 0; round < 60; ++round) {
        const int n = s->lineCount;
        const int line = n > 0 ? int(random() % unsigned(n + 1)) : 0;
        const uint64_t before = s->programEdits;
        switch (random() % 8) {
            case 0: s->currentLine = line; comment("c" + std::to_string(round)); break;
            case 1: s->currentLine = line; event(DeleteButtonClick); break;
            case 2: selectLines(line, std::min(n - 1, line + 2)); event(CutButtonClick); break;
            case 3: selectLines(line, std::min(n - 1, line + 1)); event(CopyButtonClick);
                    s->currentLine = int(random() % unsigned(s->lineCount + 1)); event(PasteButtonClick); break;
            case 4: s->currentLine = line; s->form.CommentEdit.text = "changed"; event(ChangeButtonClick); break;
            case 5: event(AddServoModule1Click); break;
            case 6: event(ClearModuleList1Click); break;
            case 7: ui.answers.push_back(Answer::Yes); event(ClearButtonClick); break;
        }
        // An edit that changed nothing leaves no step.
        if (s->programEdits != before && !(Take(*s) == states.back())) {
            states.push_back(Take(*s));
            ++edits;
        }
    }
    ASSERT_GT(edits, 20);
    ASSERT_EQ(h->undoDepth(), size_t(edits));
    for (int i = edits; i > 0; --i) {
        ASSERT_TRUE(h->Undo(*s));
        ASSERT_EQ(Take(*s), states[size_t(i - 1)]) << "after undoing edit " << i;
    }
    EXPECT_FALSE(h->Undo(*s));
    for (int i = 1; i <= edits; ++i) {
        ASSERT_TRUE(h->Redo(*s));
        ASSERT_EQ(Take(*s), states[size_t(i)]) << "after redoing edit " << i;
    }
    EXPECT_FALSE(h->Redo(*s));
}

TEST_F(Undo, UndoSelectsWhatItRestoredAndMarksTheProgramChanged) {
    for (int i = 0; i < 8; ++i) comment(std::to_string(i));
    struct Case {
        const char* name;
        std::function<void()> edit;
        std::vector<int> afterUndo, afterRedo;
    };
    const Case cases[] = {
        {"cut of lines 2-4", [&] { selectLines(2, 4); event(CutButtonClick); }, {2, 3, 4}, {2}},
        {"delete of line 5", [&] { s->currentLine = 5; event(DeleteButtonClick); }, {5}, {5}},
        {"comment at 1", [&] { s->currentLine = 1; comment("new"); }, {1}, {1}},
        {"clear all", [&] { ui.answers.push_back(Answer::Yes); event(ClearButtonClick); },
         {0, 1, 2, 3, 4, 5, 6, 7}, {0}},
    };
    for (const Case& c : cases) {
        const Snapshot start = Take(*s);
        c.edit();
        const Snapshot edited = Take(*s);
        s->form.SaveLabel.color = kGreen;
        s->form.RunButton.enabled = true;
        ASSERT_TRUE(h->Undo(*s)) << c.name;
        EXPECT_EQ(Take(*s), start) << c.name;
        EXPECT_EQ(selection(), c.afterUndo) << c.name;
        EXPECT_EQ(s->currentLine, c.afterUndo.front()) << c.name;
        EXPECT_EQ(s->form.SaveLabel.color, kRed) << c.name;
        EXPECT_FALSE(s->form.RunButton.enabled) << c.name;
        ASSERT_TRUE(h->Redo(*s)) << c.name;
        EXPECT_EQ(Take(*s), edited) << c.name;
        EXPECT_EQ(selection(), c.afterRedo) << c.name;
        ASSERT_TRUE(h->Undo(*s)) << c.name;
    }
}

TEST_F(Undo, OnlyEditsBecomeSteps) {
    comment("a");
    comment("b");
    ASSERT_EQ(h->undoDepth(), 2u);
    // The assembly writes addresses, a click moves the selection, Copy fills
    // the buffer: none of it is an edit.
    AssembleProgram(*s);
    h->Record(*s);
    selectLines(0, 1);
    event(CopyButtonClick);
    event(ModuleListBoxClick);
    EXPECT_EQ(h->undoDepth(), 2u);
    // A new edit after an undo drops what could have been redone.
    ASSERT_TRUE(h->Undo(*s));
    EXPECT_TRUE(h->canRedo());
    comment("c");
    EXPECT_FALSE(h->canRedo());
    EXPECT_EQ(h->undoDepth(), 2u);
    // A program read from a file starts a new history.
    ++s->programOpens;
    h->Record(*s);
    EXPECT_FALSE(h->canUndo());
}

TEST_F(Undo, StepsHoldWhatChangedAndTheBudgetDropsTheOldest) {
    for (int i = 0; i < 2000; ++i) comment("line");
    h = std::make_unique<EditHistory>(*s, 64 * 1024);
    s->currentLine = 1000;
    comment("one more");
    // One line changed: one record and its text, not the store.
    EXPECT_LT(h->bytes(), 1024u);
    const Snapshot full = Take(*s);
    ui.answers.push_back(Answer::Yes);
    event(ClearButtonClick);
    // Clear All holds all 2001 lines and is over the budget alone: it stays,
    // the older step goes.
    EXPECT_EQ(h->undoDepth(), 1u);
    ASSERT_TRUE(h->Undo(*s));
    EXPECT_EQ(Take(*s), full);
    EXPECT_EQ(selection().size(), 2001u);
    EXPECT_FALSE(h->Undo(*s));
}

}  // namespace
