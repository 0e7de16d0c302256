#pragma once
// The application's core connected to a started simulated master, as the user
// connects it: the start-up timer's tick, then COM1 mapped to the simulator's
// device and Set in the communications settings dialog.

#include "app/ComSettings.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "sim/SimMaster.h"

inline void ConnectToSim(MainState& s, const SimMaster& sim) {
    StartTimerTimer(s);
    s.portDevice[0] = sim.devicePath();
    s.com.choice = 0;
    SetButtonClick(s);
}
