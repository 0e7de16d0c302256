#pragma once
// The 250 ms poll timer's tick.
struct MainState;
// Collects what the master sent of its own accord, starts detection when it
// announces itself (or one is due), and while on line polls it and shows
// what the poll found: the running light, the line it stands at when
// followed, Stop's enabling.
void PollTimerTimer(MainState& s);
