#pragma once
// What the main window does beyond its fixed design, kept apart from it:
// the keyboard shortcuts, the status line and its menu (app/gui/StatusLine.h),
// a window that grows (the listing takes the room), the whole text of a cut listing line as a tool tip, program files dropped
// on the window, and the progress bar of a download or verify.

#include <string>

class QUrl;
class TMainForm;

void InstallWindowExtras(TMainForm& main);

// The local program file (.stw or .sws) a dropped URL names; "" otherwise.
std::string DroppedProgramFile(const QUrl& url);
