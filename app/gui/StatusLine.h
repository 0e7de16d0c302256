#pragma once
// The status line under the main window's designed controls: at its left end
// the menu button "Menu" (New, Save As..., Open Recent, Watch... and the
// windows added later), then the text the core computes from the state
// (StatusLineText), drawn after every event.  The window grows by the line's
// height; no other control moves.

#include <QKeyCombination>

class QAction;
class TMainForm;

constexpr int kStatusLineHeight = 22;

void InstallStatusLine(TMainForm& main);

// The menu's entry whose key is key (Ctrl+N, Ctrl+Shift+S, ...); null when
// none has it.  The main window's keys trigger these entries.
QAction* StatusMenuActionForKey(TMainForm& main, QKeyCombination key);
