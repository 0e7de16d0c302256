#include "app/Listing.h"

void Listing::insert(int index, const std::string& text) {
    if (index < 0 || index > count()) return;
    items_.insert(items_.begin() + index, text);
    selected_.insert(selected_.begin() + index, 0);
    if (focus_ >= index) ++focus_;
    // The mark stays with its line.
    if (executing_ >= index) ++executing_;
    if (view_) view_->itemInserted(index, text);
}

void Listing::remove(int index) {
    if (index < 0 || index >= count()) return;
    items_.erase(items_.begin() + index);
    selected_.erase(selected_.begin() + index);
    if (focus_ > index || focus_ >= count()) --focus_;
    // A removed line takes its mark with it.
    if (executing_ == index) executing_ = -1;
    else if (executing_ > index) --executing_;
    if (view_) view_->itemRemoved(index);
}

void Listing::setText(int index, const std::string& text) {
    if (index < 0 || index >= count()) return;
    items_[size_t(index)] = text;
    if (view_) view_->itemChanged(index, text);
}

void Listing::clear() {
    items_.clear();
    selected_.clear();
    focus_ = -1;
    top_ = 0;
    executing_ = -1;
    if (view_) view_->cleared();
}

void Listing::select(int index, bool on) {
    if (index < 0 || index >= count()) return;
    selected_[size_t(index)] = on;
    if (view_) view_->selectionChanged(index, on);
    if (on) setFocus(index);
}

void Listing::selectRange(int first, int last) {
    if (first < 0) first = 0;
    if (last >= count()) last = count() - 1;
    if (first > last) return;
    for (int i = first; i <= last; ++i) selected_[size_t(i)] = 1;
    if (view_) view_->rangeSelected(first, last);
    setFocus(first);
}

void Listing::deselectAll() {
    for (int i = 0; i < count(); ++i)
        if (selected_[size_t(i)]) {
            selected_[size_t(i)] = 0;
            if (view_) view_->selectionChanged(i, false);
        }
}

void Listing::setFocus(int index) {
    focus_ = index;
    if (view_) view_->focusChanged(index);
}

void Listing::setTopIndex(int index) {
    if (index < 0) return;
    top_ = index;
    if (view_) view_->topIndexChanged(index);
}

void Listing::setExecuting(int index) {
    if (index < 0 || index >= count()) index = -1;
    if (index == executing_) return;
    executing_ = index;
    if (view_) view_->executingChanged(index);
}
