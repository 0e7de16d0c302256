#pragma once
// Module detection: how the host comes on line.
struct MainState;
void DetectModules(MainState& s);
// Asks slave module `address` for its type code through the master with the
// detection's type request (Execute instruction, then Read reply of 4 bytes).
// The code (0-255), or -1 after the not-responding procedure.  Nothing is
// stopped: a running program goes on.
int AskModuleType(MainState& s, int address);
// Learns the modules without disturbing a running program (the command
// line's status and watch): the module count from the status record of the
// last poll, then every module's type with the type request; the module list
// is rebuilt as detection rebuilds it, but without detection's Stop, network
// scan, pause and message.  0, or -1 after the not-responding procedure.
int LookUpModules(MainState& s);
