// The progress window: a busy notice with one of its three texts.

#include "link/Progress.h"

#include "app/MainState.h"

void ShowProgress(MainState& s, int which) {
    ProgressState& p = s.progress;
    p.label1Visible = which == 1;
    p.label2Visible = which == 2;
    p.label3Visible = which == 3;
    p.visible = true;
    // Drawn now: the caller blocks the user-interface thread next.
    s.ui.repaint();
    s.ui.setBusyCursor(true);
}

void HideProgress(MainState& s) {
    ProgressState& p = s.progress;
    s.ui.setBusyCursor(false);
    p.visible = false;
    // Every text hidden, so the next use shows only its own.
    p.label1Visible = p.label2Visible = p.label3Visible = false;
}
