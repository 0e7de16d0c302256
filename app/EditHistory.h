#pragma once
// Undo and redo in the window: the steps of program/Undo.h over the window's
// program, with the listing's texts (without the breakpoint mark) and the
// module list box as what the window shows of it.  Undo and redo are edits
// themselves (MarkProgramChanged runs); the selection then shows the lines
// restored and the builder the current line.

#include <cstddef>
#include <string>

#include "program/Undo.h"
struct MainState;

class EditHistory {
public:
    static constexpr size_t kDefaultBudget = EditSteps::kDefaultBudget;

    explicit EditHistory(MainState& s, size_t budget = kDefaultBudget);

    // After every event: turns an edit into a step, follows other changes.
    void Record(MainState& s);
    // false when there is nothing.
    bool Undo(MainState& s);
    bool Redo(MainState& s);

    bool canUndo() const { return steps_.canUndo(); }
    bool canRedo() const { return steps_.canRedo(); }
    size_t undoDepth() const { return steps_.undoDepth(); }
    size_t bytes() const { return steps_.bytes(); }

private:
    EditSteps steps_;
};

// The text of listing item i without the breakpoint mark.
std::string UnmarkedText(const MainState& s, int i);
