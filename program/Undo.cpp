// Undo and redo: steps that hold only the lines and module tables an edit
// changed, found by comparing the program with a shadow after every event.

#include "program/Undo.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/MainState.h"
#include "app/ModuleListBox.h"
#include "program/LineStore.h"

namespace {

// Up to this many lines changed, the listing's items are replaced one by one.
constexpr int kItemByItem = 256;

bool SameRecord(const ProgramLine& a, const ProgramLine& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Whether listing item i, without the breakpoint mark, reads text.
bool TextIs(const MainState& s, int i, const std::string& text) {
    if (i >= s.listing.count()) return text.empty();
    if (i != s.breakpointLine) return s.listing.text(i) == text;
    return UnmarkedText(s, i) == text;
}

size_t LinesBytes(size_t records, const std::vector<std::string>& texts) {
    size_t n = records * sizeof(ProgramLine);
    for (const std::string& t : texts) n += t.size() + sizeof(std::string);
    return n;
}

}  // namespace

std::string UnmarkedText(const MainState& s, int i) {
    if (i < 0 || i >= s.listing.count()) return std::string();
    std::string text = s.listing.text(i);
    if (i == s.breakpointLine && i < s.lineCount && !text.empty())
        text[0] = s.lines[i].label[0] != '\0' ? s.lines[i].label[0] : ' ';
    return text;
}

bool EditHistory::Modules::operator==(const Modules& o) const {
    return std::memcmp(types, o.types, sizeof types) == 0 && count == o.count && defined == o.defined &&
           mismatch == o.mismatch && items == o.items && index == o.index;
}

EditHistory::Modules EditHistory::ModulesOf(const MainState& s) {
    Modules m;
    std::memcpy(m.types, s.moduleTypes, sizeof m.types);
    m.count = s.moduleListCount;
    m.defined = s.moduleListDefined;
    m.mismatch = s.moduleMismatch;
    m.items = s.form.ModuleListBox.items;
    m.index = s.form.ModuleListBox.index;
    return m;
}

EditHistory::EditHistory(const MainState& s, size_t budget) : budget_(budget) { Resync(s); }

void EditHistory::Resync(const MainState& s) {
    shadow_.records.assign(s.lines, s.lines + s.lineCount);
    shadow_.texts.clear();
    shadow_.texts.reserve(size_t(s.lineCount));
    for (int i = 0; i < s.lineCount; ++i) shadow_.texts.push_back(UnmarkedText(s, i));
    modules_ = ModulesOf(s);
    seenEdits_ = s.programEdits;
    seenOpens_ = s.programOpens;
}

void EditHistory::Record(MainState& s) {
    if (s.programOpens != seenOpens_) {
        // A program read from a file starts a history of its own.
        undo_.clear();
        redo_.clear();
        bytes_ = 0;
        Resync(s);
        return;
    }
    const bool edit = s.programEdits != seenEdits_;
    seenEdits_ = s.programEdits;

    const int oldCount = int(shadow_.records.size());
    const int newCount = s.lineCount;
    auto same = [&](int oldIndex, int newIndex) {
        return SameRecord(shadow_.records[size_t(oldIndex)], s.lines[newIndex]) &&
               TextIs(s, newIndex, shadow_.texts[size_t(oldIndex)]);
    };
    int first = 0;
    while (first < oldCount && first < newCount && same(first, first)) ++first;
    int tail = 0;
    while (tail < oldCount - first && tail < newCount - first && same(oldCount - 1 - tail, newCount - 1 - tail))
        ++tail;
    const bool linesChanged = first < oldCount - tail || first < newCount - tail;

    Modules modules = ModulesOf(s);
    const bool modulesChanged = !(modules == modules_);
    if (!linesChanged && !modulesChanged) return;

    Step step;
    step.at = first;
    const auto oldFrom = shadow_.records.begin() + first, oldTo = shadow_.records.end() - tail;
    step.before.records.assign(oldFrom, oldTo);
    step.before.texts.assign(shadow_.texts.begin() + first, shadow_.texts.end() - tail);
    step.after.records.assign(s.lines + first, s.lines + (newCount - tail));
    for (int i = first; i < newCount - tail; ++i) step.after.texts.push_back(UnmarkedText(s, i));

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

void EditHistory::Push(Step&& step) {
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

bool EditHistory::Undo(MainState& s) {
    if (undo_.empty()) return false;
    Step step = std::move(undo_.back());
    undo_.pop_back();
    Apply(s, step, false);
    redo_.push_back(std::move(step));
    return true;
}

bool EditHistory::Redo(MainState& s) {
    if (redo_.empty()) return false;
    Step step = std::move(redo_.back());
    redo_.pop_back();
    Apply(s, step, true);
    undo_.push_back(std::move(step));
    return true;
}

void EditHistory::Apply(MainState& s, const Step& step, bool forward) {
    const Lines& out = forward ? step.before : step.after;
    const Lines& in = forward ? step.after : step.before;
    const int at = step.at;
    const int nOut = int(out.records.size());
    const int nIn = int(in.records.size());
    // The shadow is the program as the last event left it, so the lines to
    // take out are where the step says; anything else starts afresh.
    if (at < 0 || at + nOut > s.lineCount || s.lineCount - nOut + nIn > kMaxLines ||
        s.listing.count() != s.lineCount + 1) {
        undo_.clear();
        redo_.clear();
        bytes_ = 0;
        Resync(s);
        return;
    }
    ClearBreakpointMark(s);

    std::memmove(&s.lines[at + nIn], &s.lines[at + nOut], sizeof(ProgramLine) * size_t(s.lineCount - at - nOut));
    if (nIn > 0) std::memcpy(&s.lines[at], in.records.data(), sizeof(ProgramLine) * size_t(nIn));
    s.lineCount += nIn - nOut;
    if (nOut + nIn <= kItemByItem) {
        for (int i = at + nOut - 1; i >= at; --i) s.listing.remove(i);
        for (int i = 0; i < nIn; ++i) s.listing.insert(at + i, in.texts[size_t(i)]);
    } else {
        // Many lines: the listing is filled afresh, which a view does in one
        // pass, rather than moving every item after each one.
        std::vector<std::string> texts;
        texts.reserve(size_t(s.lineCount) + 1);
        for (int i = 0; i < at; ++i) texts.push_back(s.listing.text(i));
        texts.insert(texts.end(), in.texts.begin(), in.texts.end());
        for (int i = at + nOut; i < s.listing.count(); ++i) texts.push_back(s.listing.text(i));
        s.listing.clear();
        for (const std::string& text : texts) s.listing.add(text);
    }

    shadow_.records.erase(shadow_.records.begin() + at, shadow_.records.begin() + at + nOut);
    shadow_.records.insert(shadow_.records.begin() + at, in.records.begin(), in.records.end());
    shadow_.texts.erase(shadow_.texts.begin() + at, shadow_.texts.begin() + at + nOut);
    shadow_.texts.insert(shadow_.texts.begin() + at, in.texts.begin(), in.texts.end());

    if (step.modulesChanged) {
        const Modules& m = forward ? step.modulesAfter : step.modulesBefore;
        std::memcpy(s.moduleTypes, m.types, sizeof m.types);
        s.moduleListCount = m.count;
        s.moduleListDefined = m.defined;
        s.moduleMismatch = m.mismatch;
        s.form.ModuleListBox.items = m.items;
        SelectModule(s, m.index);
        // SelectModule runs the selection handler; the list is as the step left it.
        s.form.ModuleListBox.index = m.index < int(m.items.size()) ? m.index : -1;
        modules_ = ModulesOf(s);
    }

    // The lines brought back are selected (the line at the place, when none).
    DeselectAllLines(s);
    if (nIn == 0)
        s.listing.select(at);
    else
        s.listing.selectRange(at, at + nIn - 1);
    s.currentLine = at;
    if (s.listing.topIndex() > at || s.listing.topIndex() < at - 20) s.listing.setTopIndex(std::max(0, at - 5));
    // The builder shows the current line, so that Change acts on what is seen.
    ShowCurrentLineInBuilder(s);

    MarkProgramChanged(s);
    seenEdits_ = s.programEdits;
}
