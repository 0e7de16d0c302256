#pragma once
// Start-up timer, Exit, the close query and Help.
struct MainState;

void StartTimerTimer(MainState& s);
void ExitButtonClick(MainState& s);
// true when the main window may close.
bool FormCloseQuery(MainState& s);
// Opens the user guide found by FindUserGuide with the desktop's viewer.
void HelpButtonClick(MainState& s);
// The guide could not be opened: no guide, or no viewer for it.
void HelpFailed(MainState& s);
