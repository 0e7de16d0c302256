// Edit history: every kind of edit undone and redone to the exact records,
// listing texts and module list; steps only for edits; bounded by bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/ModuleListBox.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "modules/ModuleList.h"
#include "program/Assembly.h"
#include "app/Editing.h"
#include "app/EditHistory.h"

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


// Everything the builder shows: its record, then every control of the main
// window but the listing, one line each, so that a difference names it.
std::vector<std::string> BuilderView(MainState& s) {
    std::vector<std::string> out{std::string(reinterpret_cast<const char*>(&s.builderLine), sizeof(ProgramLine))};
    for (const CtlRef& r : s.form.controls())
        out.push_back(r.name + " caption=" + r.ctl->caption + " text=" + r.ctl->text + " index=" +
                      std::to_string(r.ctl->index) + " flags=" + std::to_string(r.ctl->enabled) +
                      std::to_string(r.ctl->visible) + std::to_string(r.ctl->checked));
    out.push_back("commentIsDefault=" + std::to_string(s.form.commentIsDefault));
    return out;
}

// After undo and redo the builder shows the current line exactly as a click
// on it would, whatever it showed before: a master GoTo, a servo Move, a
// comment, or for the end marker what it showed already.
TEST_F(Undo, BuilderShowsTheLineSelectedAfterUndoAndRedo) {
    event(AddServoModule1Click);
    auto add = [&](int module, Ctl& box, void (*choose)(MainState&), std::vector<std::pair<Ctl*, const char*>> fields,
                   const char* label) {
        SelectModule(*s, module);
        box.index = 0;
        choose(*s);
        for (auto& [field, value] : fields) field->text = value;
        s->form.LabelEdit.text = label;
        event(AddInstrButtonClick);
    };
    MasterPanel& master = s->form.master;
    ServoPanel& servo = s->form.servo;
    add(0, s->form.MasterCBox, MasterCBoxClick, {{&master.MasterEdit[1], "TOP"}}, "TOP");  // GoTo TOP
    add(1, s->form.ServoCBox, ServoCBoxClick,
        {{&servo.ServoEdit[1], "100"}, {&servo.ServoEdit[2], "5000"}, {&servo.ServoEdit[3], "10"}}, "");  // Move
    comment("note");
    ASSERT_EQ(s->lineCount, 3);
    // The builder made to show something else: a servo Move to 999 with a label.
    auto dirty = [&] {
        SelectModule(*s, 1);
        s->form.ServoCBox.index = 0;
        ServoCBoxClick(*s);
        servo.ServoEdit[1].text = "999";
        s->form.LabelEdit.text = "DIRTY";
        s->form.CommentEdit.text = "dirty";
        s->form.commentIsDefault = false;
    };
    auto deleteLine = [&](int line) { return [&, line] { s->currentLine = line; event(DeleteButtonClick); }; };
    struct Case {
        const char* name;
        std::function<void()> edit;
        int afterUndo, afterRedo;
        const char* undoShows;   // CmdEdit, or CommentEdit for a comment, "" for the end marker
        const char* redoShows;
    };
    const Case cases[] = {
        {"delete GoTo", deleteLine(0), 0, 0, "GoTo", "Move"},
        {"delete Move", deleteLine(1), 1, 1, "Move", "note"},
        {"delete comment", deleteLine(2), 2, 2, "note", ""},
        {"comment at the end", [&] { s->currentLine = 3; comment("tail"); }, 3, 3, "", "tail"},
    };
    for (const Case& c : cases) {
        c.edit();
        for (bool undo : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (undo ? ", undone" : ", redone"));
            dirty();
            const std::vector<std::string> before = BuilderView(*s);
            ASSERT_TRUE(undo ? h->Undo(*s) : h->Redo(*s));
            h->Record(*s);
            const int line = undo ? c.afterUndo : c.afterRedo;
            ASSERT_EQ(s->currentLine, line);
            const std::vector<std::string> shown = BuilderView(*s);
            const std::string shows = undo ? c.undoShows : c.redoShows;
            if (shows.empty())
                EXPECT_EQ(shown, before);
            else if (s->lines[line].isComment())
                EXPECT_EQ(s->form.CommentEdit.text, shows);
            else
                EXPECT_EQ(s->form.CmdEdit.text, shows);
            // A click on the same line shows the same.
            selectLines(line, line);
            ProgramListBoxClick(*s);
            EXPECT_EQ(BuilderView(*s), shown);
        }
        ASSERT_TRUE(h->Undo(*s));
        h->Record(*s);
    }
}

}  // namespace
