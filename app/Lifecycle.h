#pragma once
// Start-up timer, Exit, the close query and Help.
struct MainState;

void StartTimerTimer(MainState& s);
void ExitButtonClick(MainState& s);
// true when the main window may close.
bool FormCloseQuery(MainState& s);
void HelpButtonClick(MainState& s);
