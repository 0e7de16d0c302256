#include "app/WatchLoop.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/MainState.h"
#include "app/PollTimer.h"
#include "link/Polling.h"

WatchLoopStats RunWatchLoop(MainState& s, Sampler& sampler, const std::function<bool()>& done,
                            const std::function<void(const std::vector<ModuleSample>&)>& onRow) {
    using Clock = Sampler::Clock;
    using Ms = std::chrono::duration<double, std::milli>;
    WatchLoopStats stats;
    // The loop is the poll timer: it runs while the loop does.
    s.pollTimerOn = s.port != nullptr;
    Clock::time_point pollDue = Clock::now() + std::chrono::milliseconds(kPollPeriodMs);
    Clock::time_point lastPoll{};
    double gaps = 0;
    uint64_t rows = sampler.rows();
    while (s.online && !done()) {
        Clock::time_point now = Clock::now();
        if (now >= pollDue) {
            if (stats.polls > 0) {
                const double gap = Ms(now - lastPoll).count();
                gaps += gap;
                stats.maxPollGapMs = std::max(stats.maxPollGapMs, gap);
            }
            lastPoll = now;
            ++stats.polls;
            PollTimerTimer(s);
            pollDue = Clock::now() + std::chrono::milliseconds(kPollPeriodMs);
            continue;
        }
        const Sampler::Step step = sampler.step(s, now, Ms(pollDue - now).count());
        if (step == Sampler::Step::Failed) break;
        if (sampler.rows() != rows) {
            rows = sampler.rows();
            if (onRow) onRow(sampler.lastRow());
            continue;
        }
        if (step == Sampler::Step::Sampled) continue;
        // Nothing to do yet: sleep until the poll or the next row, a few
        // milliseconds at most so that done() is asked often.
        double sleepMs = Ms(pollDue - now).count();
        const double due = sampler.msUntilDue(now);
        if (due > 0) sleepMs = std::min(sleepMs, due);
        sleepMs = std::clamp(sleepMs, 0.2, 5.0);
        std::this_thread::sleep_for(Ms(sleepMs));
    }
    if (stats.polls > 1) stats.meanPollGapMs = gaps / (stats.polls - 1);
    return stats;
}
