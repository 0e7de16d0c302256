#pragma once
// The master's host protocol: one routine per command that stands alone, and
// the not-responding procedure every missing reply falls back on.
// Routines return 0 on success and -1 after the not-responding procedure
// (Read reply also -2 for a checksum mismatch).

#include <cstdint>
struct MainState;

int HostStop(MainState& s);                                   // 0x80
int HostRun(MainState& s, uint16_t address);                  // 0x81
int HostSetBreakpoint(MainState& s, uint16_t address);        // 0x82, 0xFFFF clears
int HostWriteBlock(MainState& s, uint16_t offset, const uint8_t* block16);   // 0x83
int HostReadBlock(MainState& s, uint16_t offset, uint8_t* reply17);          // 0x84
int HostExecute(MainState& s, const uint8_t* bytes, int count);              // 0x85
int HostStep(MainState& s, uint16_t address);                 // 0x86
int HostReadReply(MainState& s, uint8_t* buffer, int count);  // 0x87, buffer holds count + 1
int HostVersion(MainState& s);                                // 0x88: version byte or -1
int HostReset(MainState& s);                                  // 0x8F

void NotResponding(MainState& s);
