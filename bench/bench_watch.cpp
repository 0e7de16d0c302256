// Sampling four modules (servo, servo, I/O, stepper) against the simulated
// master paced at 19200 baud, the poll running every 250 ms beside it: the
// rows per second achieved against the link budget's bound, and the poll's
// rhythm meanwhile.
//   bench_watch [SECONDS 1..600]   (default 10)

#include <chrono>
#include <cstdio>
#include <thread>

#include "SimSession.h"
#include "TestPlatform.h"
#include "app/ComSettings.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/PollTimer.h"
#include "modules/Sampler.h"
#include "app/WatchLoop.h"
#include "sim/SimMaster.h"

#include "BenchPeer.h"

int main(int argc, char** argv) {
    const int seconds = CountArgument(argc, argv, 10, 600, "SECONDS");
    if (seconds < 0) return 2;
    SimMaster sim;   // four modules, paced at 19200 baud
    std::string error;
    if (!sim.start(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    ConnectToSim(*s, sim);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    PollTimerTimer(*s);
    if (!s->online) {
        std::fprintf(stderr, "the simulated master was not detected\n");
        return 1;
    }

    Sampler sampler;
    sampler.setWatched({1, 2, 3, 4});
    const double bound = 1000.0 / sampler.rowPeriodMs(*s);
    const auto start = Sampler::Clock::now();
    const auto until = start + std::chrono::seconds(seconds);
    sampler.start(start);
    const WatchLoopStats stats = RunWatchLoop(*s, sampler, [&] { return Sampler::Clock::now() >= until; }, nullptr);
    const double elapsed = std::chrono::duration<double>(Sampler::Clock::now() - start).count();
    const double achieved = double(sampler.rows()) / elapsed;

    std::printf("watch: 4 modules (servo, servo, I/O, stepper) at 19200 baud for %.1f s\n", elapsed);
    std::printf("  budget: a row every %.1f ms, bound %.2f rows/s\n", sampler.rowPeriodMs(*s), bound);
    std::printf("  achieved: %llu rows, %.2f rows/s, %.3f of the bound (goal >= 0.9)\n",
                static_cast<unsigned long long>(sampler.rows()), achieved, achieved / bound);
    std::printf("  poll: %d ticks, start to start mean %.1f ms, longest %.1f ms (250 ms + the tick)\n", stats.polls,
                stats.meanPollGapMs, stats.maxPollGapMs);
    for (const std::string& m : ui.messages) std::printf("message: %s\n", m.c_str());
    return s->online ? 0 : 1;
}
