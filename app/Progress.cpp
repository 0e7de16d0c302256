// The progress window: a busy notice with one of its three texts.

#include "app/Progress.h"

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

std::string ProgressBarText(int done, int total, long long elapsedMs) {
    if (total < 1) total = 1;
    if (done < 0) done = 0;
    if (done > total) done = total;
    std::string text = Format("%d of %d blocks", done, total);
    if (done == 0 || done == total) return text;
    // Rounded up: the window never promises less time than is left.
    const long long leftMs = (elapsedMs < 0 ? 0 : elapsedMs) * (total - done) / done;
    return text + Format(", %lld s left", (leftMs + 999) / 1000);
}
