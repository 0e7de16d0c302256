#pragma once
// Execution control: Run, Stop, Step, Break, Restart, Reset, Execute Now.
struct MainState;
void RunButtonClick(MainState& s);
void StopButtonClick(MainState& s);
void StepButtonClick(MainState& s);
void BreakButtonClick(MainState& s);
void RestartButtonClick(MainState& s);
void ResetButtonClick(MainState& s);
void ExeNowButtonClick(MainState& s);
