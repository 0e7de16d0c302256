#pragma once
// Undo and redo of the edits of the program and of its module list.
//
// The history keeps one shadow of the program as it stood after the last
// event (records, listing texts without the breakpoint mark, module tables).
// After every event Record compares the program with the shadow: the lines
// that differ between the first and the last difference, and the module
// tables when they differ, become one step, and only they are kept, so a
// step costs what it changed and the depth is bounded by a byte budget, not
// by a count.  An event counts as an edit when it ran MarkProgramChanged;
// other changes (the assembly writing addresses, detection adopting modules)
// update the shadow without a step.  Opening a program starts a new history.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "program/ProgramLine.h"
struct MainState;

class EditHistory {
public:
    // Bytes the steps may take together; the oldest steps go first.
    static constexpr size_t kDefaultBudget = 64u << 20;

    explicit EditHistory(const MainState& s, size_t budget = kDefaultBudget);

    // After every event: turns an edit into a step, follows other changes.
    void Record(MainState& s);
    // Undo and redo are edits themselves (MarkProgramChanged runs); the
    // selection then shows the lines restored.  false when there is nothing.
    bool Undo(MainState& s);
    bool Redo(MainState& s);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    size_t undoDepth() const { return undo_.size(); }
    size_t bytes() const { return bytes_; }

private:
    struct Modules {
        int32_t types[32];
        uint8_t count = 0;
        bool defined = false;
        bool mismatch = false;
        std::vector<std::string> items;
        int index = -1;
        bool operator==(const Modules& o) const;
    };
    struct Lines {
        std::vector<ProgramLine> records;
        std::vector<std::string> texts;
    };
    struct Step {
        int at = 0;                 // first line that differs
        Lines before, after;        // the lines from there, before and after
        bool modulesChanged = false;
        Modules modulesBefore, modulesAfter;
        size_t bytes = 0;
    };

    static Modules ModulesOf(const MainState& s);
    void Resync(const MainState& s);
    void Apply(MainState& s, const Step& step, bool forward);
    void Push(Step&& step);

    Lines shadow_;
    Modules modules_;
    uint64_t seenEdits_ = 0;
    uint64_t seenOpens_ = 0;
    std::deque<Step> undo_;
    std::vector<Step> redo_;
    size_t bytes_ = 0;
    size_t budget_;
};

// The text of listing item i without the breakpoint mark.
std::string UnmarkedText(const MainState& s, int i);
