#pragma once
// The master's host protocol: one routine per command that stands alone, and
// the not-responding procedure every missing reply falls back on.
//
// Errors in the link layer: every routine has reported its own failure
// before it returns, through the link's host (LinkHost::message, or the
// not-responding procedure, which takes the link off line and tells the host
// linkLost), so its caller only stops.  Host exchanges return 0 or
// -1 (Read reply also -2 for a checksum mismatch, which is not reported);
// the serial layer returns what the port gives, a byte count or a bool; the
// button and timer handlers return nothing.  Nothing throws.

#include <chrono>
#include <cstddef>
#include <cstdint>
struct LinkState;

int HostStop(LinkState& s);                                   // 0x80
int HostRun(LinkState& s, uint16_t address);                  // 0x81
int HostSetBreakpoint(LinkState& s, uint16_t address);        // 0x82, 0xFFFF clears
int HostReadBlock(LinkState& s, uint16_t offset, uint8_t* reply17);          // 0x84, the command line's step
int HostExecute(LinkState& s, const uint8_t* bytes, int count);              // 0x85
int HostStep(LinkState& s, uint16_t address);                 // 0x86
int HostReadReply(LinkState& s, uint8_t* buffer, int count);  // 0x87, buffer holds count + 1
int HostVersion(LinkState& s);                                // 0x88: version byte or -1
int HostReset(LinkState& s);                                  // 0x8F

void NotResponding(LinkState& s);

// Re-synchronising the line after a reply that cannot be trusted (its count
// byte or checksum damaged on the way): whatever else the master sends is
// read and dropped, so that the next exchange starts on its own reply.

// Whether more bytes follow the reply just read, within settle.
bool ReplyOverran(LinkState& s, std::chrono::microseconds settle);

struct Drained {
    bool quiet = false;   // the line fell quiet within the limit
    size_t bytes = 0;     // bytes dropped
    uint8_t last = 0;     // the last of them
};
// Reads and drops what arrives until the line has been quiet for 20 ms, but
// for no longer than 300 ms.
Drained DrainUntilQuiet(LinkState& s);
