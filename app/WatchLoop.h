#pragma once
// Watching without a window (the command line, the benchmarks): the poll
// every 250 ms, counted from the end of the tick as the window's timer counts
// it, and the sampler (modules/Sampler.h) between the ticks.

#include <functional>
#include <vector>

#include "modules/Sampler.h"

struct MainState;

struct WatchLoopStats {
    int polls = 0;
    double maxPollGapMs = 0;   // longest time from the start of one tick to the next
    double meanPollGapMs = 0;
};

constexpr int kPollPeriodMs = 250;

// Runs until done() is true (asked every few milliseconds and after every
// row), the link goes off line or the sampler stops; onRow is called after
// every completed row.
WatchLoopStats RunWatchLoop(MainState& s, Sampler& sampler, const std::function<bool()>& done,
                            const std::function<void(const std::vector<ModuleSample>&)>& onRow);
