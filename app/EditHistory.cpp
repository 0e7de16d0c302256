#include "app/EditHistory.h"

#include <algorithm>
#include <vector>

#include "app/Editing.h"
#include "app/Files.h"
#include "app/MainState.h"
#include "modules/ModuleList.h"
#include "app/ModuleListBox.h"

namespace {

// Up to this many lines changed, the listing's items are replaced one by one.
constexpr int kItemByItem = 256;

// The listing and the module list box as the steps see them.
class WindowView : public EditView {
public:
    explicit WindowView(MainState& s) : s_(s) {}

    int itemCount() const override { return s_.listing.count(); }
    std::string lineText(int i) const override { return UnmarkedText(s_, i); }
    bool lineTextIs(int i, const std::string& text) const override {
        if (i >= s_.listing.count()) return text.empty();
        if (i != s_.breakpointLine) return s_.listing.text(i) == text;
        return UnmarkedText(s_, i) == text;
    }
    std::vector<std::string> moduleItems() const override { return s_.form.ModuleListBox.items; }
    int moduleIndex() const override { return s_.form.ModuleListBox.index; }

    void clearMark() override { ClearBreakpointMark(s_); }

    void replaceLines(int at, int removed, const std::vector<std::string>& texts) override {
        const int added = int(texts.size());
        if (removed + added <= kItemByItem) {
            for (int i = at + removed - 1; i >= at; --i) s_.listing.remove(i);
            for (int i = 0; i < added; ++i) s_.listing.insert(at + i, texts[size_t(i)]);
            return;
        }
        // Many lines: the listing is filled afresh, which a view does in one
        // pass, rather than moving every item after each one.
        std::vector<std::string> all;
        all.reserve(size_t(s_.lineCount) + 1);
        for (int i = 0; i < at; ++i) all.push_back(s_.listing.text(i));
        all.insert(all.end(), texts.begin(), texts.end());
        for (int i = at + removed; i < s_.listing.count(); ++i) all.push_back(s_.listing.text(i));
        s_.listing.clear();
        for (const std::string& text : all) s_.listing.add(text);
    }

    void showModuleList(const std::vector<std::string>& items, int index) override {
        s_.form.ModuleListBox.items = items;
        SelectModule(s_, index);
        // SelectModule runs the selection handler; the list is as the step left it.
        s_.form.ModuleListBox.index = index < int(items.size()) ? index : -1;
    }

    void showRestored(int at, int count) override {
        // The lines brought back are selected (the line at the place, when none).
        DeselectAllLines(s_);
        if (count == 0)
            s_.listing.select(at);
        else
            s_.listing.selectRange(at, at + count - 1);
        if (s_.listing.topIndex() > at || s_.listing.topIndex() < at - 20)
            s_.listing.setTopIndex(std::max(0, at - 5));
        // The builder shows the current line, so that Change acts on what is seen.
        ShowCurrentLineInBuilder(s_);
        MarkProgramChanged(s_);
    }

private:
    MainState& s_;
};

}  // namespace

std::string UnmarkedText(const MainState& s, int i) {
    if (i < 0 || i >= s.listing.count()) return std::string();
    std::string text = s.listing.text(i);
    if (i == s.breakpointLine && i < s.lineCount && !text.empty())
        text[0] = s.lines[i].label[0] != '\0' ? s.lines[i].label[0] : ' ';
    return text;
}

// The first shadow is taken through the view; nothing of s changes.
EditHistory::EditHistory(MainState& s, size_t budget) : steps_(s, s, WindowView(s), budget) {}

void EditHistory::Record(MainState& s) { steps_.Record(s, s, WindowView(s)); }

bool EditHistory::Undo(MainState& s) {
    WindowView view(s);
    if (!steps_.Undo(s, s, view)) return false;
    // Back to what the file holds: saved again.
    ShowSavedIfUnchanged(s);
    return true;
}

bool EditHistory::Redo(MainState& s) {
    WindowView view(s);
    if (!steps_.Redo(s, s, view)) return false;
    ShowSavedIfUnchanged(s);
    return true;
}
