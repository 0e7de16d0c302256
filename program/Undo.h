#pragma once
// Undo and redo of the edits of the program and of its module list.
//
// The steps keep one shadow of the program as it stood after the last event
// (records, the texts the view shows for them, module tables and list).
// After every event Record compares the program with the shadow: the lines
// that differ between the first and the last difference, and the module
// tables when they differ, become one step, and only they are kept, so a
// step costs what it changed and the depth is bounded by a byte budget, not
// by a count.  An event counts as an edit when it changed programEdits; other
// changes (the assembly writing addresses, detection adopting modules)
// update the shadow without a step.  A change of programOpens (a program read
// from a file) starts a new history.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "program/ProgramState.h"

// What the window shows of the program beside the records, kept and put back
// with them: one text per line and the module list's items and selection.
class EditView {
public:
    virtual ~EditView() = default;

    // Items shown: the lines and the end marker.
    virtual int itemCount() const = 0;
    // The text of line i as shown, without the breakpoint mark; "" past the end.
    virtual std::string lineText(int i) const = 0;
    // Whether lineText(i) is text (a view may answer without a copy).
    virtual bool lineTextIs(int i, const std::string& text) const { return lineText(i) == text; }
    virtual std::vector<std::string> moduleItems() const = 0;
    virtual int moduleIndex() const = 0;

    // Undo and redo call these in this order.
    // Takes the breakpoint mark off before the lines change.
    virtual void clearMark() = 0;
    // Items at .. at + removed - 1 are replaced by texts.
    virtual void replaceLines(int at, int removed, const std::vector<std::string>& texts) = 0;
    // The module list as the step left it (the tables are already back).
    virtual void showModuleList(const std::vector<std::string>& items, int index) = 0;
    // The count lines from at were put back and at is the current line: the
    // view shows them and marks the program changed (an edit itself).
    virtual void showRestored(int at, int count) = 0;
};

class EditSteps {
public:
    // Bytes the steps may take together; the oldest steps go first.
    static constexpr size_t kDefaultBudget = 64u << 20;

    EditSteps(const ProgramState& p, const ModuleTables& m, const EditView& v, size_t budget = kDefaultBudget);

    // After every event: turns an edit into a step, follows other changes.
    void Record(const ProgramState& p, const ModuleTables& m, const EditView& v);
    // false when there is nothing to undo or redo.
    bool Undo(ProgramState& p, ModuleTables& m, EditView& v);
    bool Redo(ProgramState& p, ModuleTables& m, EditView& v);

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

    static Modules ModulesOf(const ModuleTables& m, const EditView& v);
    void Resync(const ProgramState& p, const ModuleTables& m, const EditView& v);
    void Apply(ProgramState& p, ModuleTables& m, EditView& v, const Step& step, bool forward);
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
