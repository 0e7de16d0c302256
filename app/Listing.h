#pragma once
// The items of ProgramListBox: texts, selection marks, the focus item, the
// top item index and the execution mark.  The core edits this mirror; an
// attached view (the Qt list) is told of every change so that it never has
// to be rebuilt whole.

#include <string>
#include <vector>

class ListingView {
public:
    virtual ~ListingView() = default;
    virtual void itemInserted(int index, const std::string& text) = 0;
    virtual void itemRemoved(int index) = 0;
    virtual void itemChanged(int index, const std::string& text) = 0;
    virtual void cleared() = 0;
    virtual void selectionChanged(int index, bool selected) = 0;
    // Items first to last selected at once (a view may do it in one go).
    virtual void rangeSelected(int first, int last) {
        for (int i = first; i <= last; ++i) selectionChanged(i, true);
    }
    virtual void focusChanged(int index) = 0;
    virtual void topIndexChanged(int index) = 0;
    // The execution mark moved (-1: none); it moves with inserted and removed
    // items without a call.
    virtual void executingChanged(int index) { (void)index; }
};

class Listing {
public:
    int count() const { return int(items_.size()); }
    const std::string& text(int i) const { return items_[size_t(i)]; }
    bool selected(int i) const { return selected_[size_t(i)] != 0; }
    int focus() const { return focus_; }
    int topIndex() const { return top_; }
    // The item of the line the master executes or stopped at, marked apart
    // from the selection and the focus item; -1 when none is marked.
    int executing() const { return executing_; }

    void insert(int index, const std::string& text);
    void add(const std::string& text) { insert(count(), text); }
    void remove(int index);
    void setText(int index, const std::string& text);
    void clear();
    void select(int index, bool on = true);
    void deselectAll();
    // Selects items first to last; the focus item becomes first.
    void selectRange(int first, int last);
    void setFocus(int index);
    void setTopIndex(int index);
    // Marks item index as the executing one (-1 or out of range: no mark).
    void setExecuting(int index);

    // Changes made by the user in the view itself: recorded without echo.
    void userSelected(int index, bool on) { selected_[size_t(index)] = on; }
    void userFocus(int index) { focus_ = index; }
    void userTopIndex(int index) { top_ = index; }

    void attach(ListingView* view) { view_ = view; }
    ListingView* view() const { return view_; }

private:
    std::vector<std::string> items_;
    std::vector<char> selected_;
    int focus_ = -1;
    int top_ = 0;
    int executing_ = -1;
    ListingView* view_ = nullptr;
};
