// Undo and redo: steps that hold only the lines and module tables an edit
// changed, found by comparing the program with a shadow after every event.

#include "program/Undo.h"

#include <cstring>
#include <utility>

namespace {

bool SameRecord(const ProgramLine& a, const ProgramLine& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

size_t LinesBytes(size_t records, const std::vector<std::string>& texts) {
    size_t n = records * sizeof(ProgramLine);
    for (const std::string& t : texts) n += t.size() + sizeof(std::string);
    return n;
}

}  // namespace

bool EditSteps::Modules::operator==(const Modules& o) const {
    return std::memcmp(types, o.types, sizeof types) == 0 && count == o.count && defined == o.defined &&
           mismatch == o.mismatch && items == o.items && index == o.index;
}

EditSteps::Modules EditSteps::ModulesOf(const ModuleTables& t, const EditView& v) {
    Modules m;
    std::memcpy(m.types, t.moduleTypes, sizeof m.types);
    m.count = t.moduleListCount;
    m.defined = t.moduleListDefined;
    m.mismatch = t.moduleMismatch;
    m.items = v.moduleItems();
    m.index = v.moduleIndex();
    return m;
}

EditSteps::EditSteps(const ProgramState& p, const ModuleTables& m, const EditView& v, size_t budget)
    : budget_(budget) {
    Resync(p, m, v);
}

void EditSteps::Resync(const ProgramState& s, const ModuleTables& m, const EditView& v) {
    shadow_.records.assign(s.lines, s.lines + s.lineCount);
    shadow_.texts.clear();
    shadow_.texts.reserve(size_t(s.lineCount));
    for (int i = 0; i < s.lineCount; ++i) shadow_.texts.push_back(v.lineText(i));
    modules_ = ModulesOf(m, v);
    seenEdits_ = s.programEdits;
    seenOpens_ = s.programOpens;
}

void EditSteps::Record(const ProgramState& s, const ModuleTables& m, const EditView& v) {
    if (s.programOpens != seenOpens_) {
        // A program read from a file starts a history of its own.
        undo_.clear();
        redo_.clear();
        bytes_ = 0;
        Resync(s, m, v);
        return;
    }
    const bool edit = s.programEdits != seenEdits_;
    seenEdits_ = s.programEdits;

    const int oldCount = int(shadow_.records.size());
    const int newCount = s.lineCount;
    auto same = [&](int oldIndex, int newIndex) {
        return SameRecord(shadow_.records[size_t(oldIndex)], s.lines[newIndex]) &&
               v.lineTextIs(newIndex, shadow_.texts[size_t(oldIndex)]);
    };
    int first = 0;
    while (first < oldCount && first < newCount && same(first, first)) ++first;
    int tail = 0;
    while (tail < oldCount - first && tail < newCount - first && same(oldCount - 1 - tail, newCount - 1 - tail))
        ++tail;
    const bool linesChanged = first < oldCount - tail || first < newCount - tail;

    Modules modules = ModulesOf(m, v);
    const bool modulesChanged = !(modules == modules_);
    if (!linesChanged && !modulesChanged) return;

    Step step;
    step.at = first;
    const auto oldFrom = shadow_.records.begin() + first, oldTo = shadow_.records.end() - tail;
    step.before.records.assign(oldFrom, oldTo);
    step.before.texts.assign(shadow_.texts.begin() + first, shadow_.texts.end() - tail);
    step.after.records.assign(s.lines + first, s.lines + (newCount - tail));
    for (int i = first; i < newCount - tail; ++i) step.after.texts.push_back(v.lineText(i));

    shadow_.records.erase(oldFrom, oldTo);
    shadow_.records.insert(shadow_.records.begin() + first, step.after.records.begin(), step.after.records.end());
    shadow_.texts.erase(shadow_.texts.begin() + first, shadow_.texts.end() - tail);
    shadow_.texts.insert(shadow_.texts.begin() + first, step.after.texts.begin(), step.after.texts.end());

    step.modulesChanged = modulesChanged;
    if (modulesChanged) {
        step.modulesBefore = modules_;
        step.modulesAfter = modules;
        modules_ = std::move(modules);
    }
    if (edit) Push(std::move(step));
}

void EditSteps::Push(Step&& step) {
    step.bytes = sizeof(Step) + LinesBytes(step.before.records.size(), step.before.texts) +
                 LinesBytes(step.after.records.size(), step.after.texts);
    for (const Modules* m : {&step.modulesBefore, &step.modulesAfter})
        for (const std::string& item : m->items) step.bytes += item.size() + sizeof(std::string);
    for (const Step& r : redo_) bytes_ -= r.bytes;
    redo_.clear();
    bytes_ += step.bytes;
    undo_.push_back(std::move(step));
    // The newest step always stays, however large.
    while (bytes_ > budget_ && undo_.size() > 1) {
        bytes_ -= undo_.front().bytes;
        undo_.pop_front();
    }
}

bool EditSteps::Undo(ProgramState& p, ModuleTables& m, EditView& v) {
    if (undo_.empty()) return false;
    Step step = std::move(undo_.back());
    undo_.pop_back();
    Apply(p, m, v, step, false);
    redo_.push_back(std::move(step));
    return true;
}

bool EditSteps::Redo(ProgramState& p, ModuleTables& m, EditView& v) {
    if (redo_.empty()) return false;
    Step step = std::move(redo_.back());
    redo_.pop_back();
    Apply(p, m, v, step, true);
    undo_.push_back(std::move(step));
    return true;
}

void EditSteps::Apply(ProgramState& s, ModuleTables& t, EditView& v, const Step& step, bool forward) {
    const Lines& out = forward ? step.before : step.after;
    const Lines& in = forward ? step.after : step.before;
    const int at = step.at;
    const int nOut = int(out.records.size());
    const int nIn = int(in.records.size());
    // The shadow is the program as the last event left it, so the lines to
    // take out are where the step says; anything else starts afresh.
    if (at < 0 || at + nOut > s.lineCount || s.lineCount - nOut + nIn > kMaxLines ||
        v.itemCount() != s.lineCount + 1) {
        undo_.clear();
        redo_.clear();
        bytes_ = 0;
        Resync(s, t, v);
        return;
    }
    v.clearMark();

    std::memmove(&s.lines[at + nIn], &s.lines[at + nOut], sizeof(ProgramLine) * size_t(s.lineCount - at - nOut));
    if (nIn > 0) std::memcpy(&s.lines[at], in.records.data(), sizeof(ProgramLine) * size_t(nIn));
    s.lineCount += nIn - nOut;
    v.replaceLines(at, nOut, in.texts);

    shadow_.records.erase(shadow_.records.begin() + at, shadow_.records.begin() + at + nOut);
    shadow_.records.insert(shadow_.records.begin() + at, in.records.begin(), in.records.end());
    shadow_.texts.erase(shadow_.texts.begin() + at, shadow_.texts.begin() + at + nOut);
    shadow_.texts.insert(shadow_.texts.begin() + at, in.texts.begin(), in.texts.end());

    if (step.modulesChanged) {
        const Modules& m = forward ? step.modulesAfter : step.modulesBefore;
        std::memcpy(t.moduleTypes, m.types, sizeof m.types);
        t.moduleListCount = m.count;
        t.moduleListDefined = m.defined;
        t.moduleMismatch = m.mismatch;
        v.showModuleList(m.items, m.index);
        modules_ = ModulesOf(t, v);
    }

    s.currentLine = at;
    v.showRestored(at, nIn);
    seenEdits_ = s.programEdits;
}
