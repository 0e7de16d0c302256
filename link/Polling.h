#pragma once
// The exchanges of the 250 ms status poll (the tick itself is the window's,
// app/PollTimer.h).  Every byte the master prints goes to the link's host.
#include <cstdint>
struct LinkState;
// Step 2 of the tick: reads the bytes the master sent of its own accord
// (zero bytes dropped, every other byte to the host as printed), for at most
// one poll interval.  Returns the last byte read (0 if none): "#" announces
// the master.
uint8_t CollectUnsolicited(LinkState& s);
// Polls the master: the bytes it prints ahead of the answer go to the host,
// the five status bytes into s.status.  false after the not-responding
// procedure (no complete answer within a second).
bool PollStatus(LinkState& s);
