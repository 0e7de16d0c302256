// Placeholder: replaced when this part is built.
#include "link/Terminal.h"
#include "app/MainState.h"
void AppendTerminalChar(MainState&, uint8_t) {}
void TerminalMemoKeyPress(MainState&, uint8_t) {}
void ShowTermButtonClick(MainState& s) { s.terminal.visible = true; }
void ClearTermButtonClick(MainState&) {}
void CloseTermButtonClick(MainState& s) { s.terminal.visible = false; }
