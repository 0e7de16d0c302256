// Placeholder: replaced when this part is built.
#include "link/Protocol.h"
#include "app/MainState.h"
int HostStop(MainState&) { return -1; }
int HostRun(MainState&, uint16_t) { return -1; }
int HostSetBreakpoint(MainState&, uint16_t) { return -1; }
int HostWriteBlock(MainState&, uint16_t, const uint8_t*) { return -1; }
int HostReadBlock(MainState&, uint16_t, uint8_t*) { return -1; }
int HostExecute(MainState&, const uint8_t*, int) { return -1; }
int HostStep(MainState&, uint16_t) { return -1; }
int HostReadReply(MainState&, uint8_t*, int) { return -1; }
int HostVersion(MainState&) { return -1; }
int HostReset(MainState&) { return 0; }
void NotResponding(MainState&) {}
