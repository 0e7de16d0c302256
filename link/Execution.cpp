// Placeholder: replaced when this part is built.
#include "link/Execution.h"
#include "app/MainState.h"
void RunButtonClick(MainState&) {}
void StopButtonClick(MainState&) {}
void StepButtonClick(MainState&) {}
void BreakButtonClick(MainState&) {}
void RestartButtonClick(MainState&) {}
void ResetButtonClick(MainState&) {}
void ExeNowButtonClick(MainState&) {}
