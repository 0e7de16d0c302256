#pragma once
// Start-up timer, Exit, the close query and Help.
#include <string>
struct MainState;

void StartTimerTimer(MainState& s);
void ExitButtonClick(MainState& s);
// true when the main window may close.
bool FormCloseQuery(MainState& s);
// Opens the user guide found by FindUserGuide with the desktop's viewer.
void HelpButtonClick(MainState& s);
// No guide was found.
void HelpFailed(MainState& s);
// The guide at path was found, but no viewer could be started for it (at
// once, or the desktop's opener reported so later).
void HelpViewerFailed(MainState& s, const std::string& guide);
