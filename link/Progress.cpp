// Placeholder: replaced when this part is built.
#include "link/Progress.h"
#include "app/MainState.h"
void ShowProgress(MainState&, int) {}
void HideProgress(MainState&) {}
