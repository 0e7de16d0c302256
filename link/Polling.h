#pragma once
// The 250 ms status poll.
#include <cstdint>
struct MainState;
void PollTimerTimer(MainState& s);
// Step 2 of the tick: reads the bytes the master sent of its own accord
// (zero bytes dropped, every other byte to the terminal), for at most one
// poll interval.  Returns the last byte read (0 if none): "#" announces the
// master.
uint8_t CollectUnsolicited(MainState& s);
