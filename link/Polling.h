#pragma once
// The 250 ms status poll.
struct MainState;
void PollTimerTimer(MainState& s);
