#pragma once
// The terminal window: printed characters in, typed keys out.
#include <cstdint>
struct MainState;
void AppendTerminalChar(MainState& s, uint8_t c);
void TerminalMemoKeyPress(MainState& s, uint8_t key);
void ShowTermButtonClick(MainState& s);
void ClearTermButtonClick(MainState& s);
void CloseTermButtonClick(MainState& s);
