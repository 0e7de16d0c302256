#pragma once
// Module detection: how the host comes on line.
struct MainState;
void DetectModules(MainState& s);
// Asks slave module `address` for its type code through the master with the
// detection's type request (Execute instruction, then Read reply of 4 bytes).
// The code (0-255), or -1 after the not-responding procedure.  Nothing is
// stopped: a running program goes on.
int AskModuleType(MainState& s, int address);
