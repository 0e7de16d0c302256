#pragma once
// Module detection as the window shows it: the exchange and the tables are
// modules/Detection.h; here the execution group is enabled, the module list
// box is filled from what was found and its first line selected, and the
// comparison after detection runs.
#include "modules/Detection.h"
struct MainState;

// How the host comes on line.
void DetectModules(MainState& s);
// The command line's detection without Stop (modules/Detection.h:
// LookUpModuleTypes), the list box filled as DetectModules fills it.  0, -1
// after the not-responding procedure, or kDamagedReply (the module in
// damagedAt; the list box is left as it was).
int LookUpModules(MainState& s, int* damagedAt = nullptr);
