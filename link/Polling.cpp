// Placeholder: replaced when this part is built.
#include "link/Polling.h"
#include "app/MainState.h"
void PollTimerTimer(MainState&) {}
