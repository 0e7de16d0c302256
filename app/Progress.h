#pragma once
// The progress window: one of its three texts, shown while the host is busy.
#include <string>
struct MainState;
// Shows the window with only text 1, 2 or 3 visible, repaints it and sets the
// hour-glass cursor.
void ShowProgress(MainState& s, int which);
// Restores the normal cursor and hides the window (and its texts).
void HideProgress(MainState& s);

// The line under the progress window's text during a download or verify:
// "12 of 1024 blocks, 10 s left" (the time from the pace so far), and
// "1024 of 1024 blocks" at the end.
std::string ProgressBarText(int done, int total, long long elapsedMs);
