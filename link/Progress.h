#pragma once
// The progress window: one of its three texts, shown while the host is busy.
#include <string>
struct MainState;
// Shows the window with only text 1, 2 or 3 visible, repaints it and sets the
// hour-glass cursor.
void ShowProgress(MainState& s, int which);
// Restores the normal cursor and hides the window (and its texts).
void HideProgress(MainState& s);
