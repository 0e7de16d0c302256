#pragma once
// What the main window does beyond its fixed design, kept apart from it:
// the keyboard shortcuts, the status line and its menu (app/gui/StatusLine.h),
// a window that grows (the listing takes the room), the listing's tool tips
// (the whole text of a cut line, the program check's findings on a line),
// program files dropped on the window, and the progress bar of a download or
// verify.

#include <string>

class QListWidget;
class QListWidgetItem;
class QString;
class QUrl;
class TMainForm;

void InstallWindowExtras(TMainForm& main);

// The tool tip of a listing line: its whole text when the line is cut off,
// then its findings (the item's tool tip property, one a line); "" for none.
QString ListingTipText(const QListWidget& listing, const QListWidgetItem& item);

// The local program file (.stw or .sws) a dropped URL names; "" otherwise.
std::string DroppedProgramFile(const QUrl& url);
