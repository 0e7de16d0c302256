// Gaps between the poll bytes the window sends, measured on the far end of a
// pseudo-terminal by a master that answers at once: the poll timer's period
// must never be shorter than 250 ms, and after Step the next poll must come
// no sooner than the 100 ms pause plus 250 ms.
//
//   bench_gui_polling [ticks 2..100000]     (default 200, about 50 s)
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

#include "BenchPeer.h"
#include "app/Execution.h"
#include "app/gui/Application.h"
#include "app/gui/MainForm.h"
#include "app/gui/QtPlatform.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int ticks = CountArgument(argc, argv, 200, 100000, "ticks");
    if (ticks < 2) return 2;
    QApplication app(argc, argv);
    QtPlatform ui;
    StepwrightWindows windows(ui);
    TMainForm& main = windows.main();
    MainState& s = main.state();

    PtyPeer peer;
    if (!peer.ok()) return 1;
    std::mutex mutex;
    std::vector<Clock::time_point> polls;
    Clock::time_point stepAt{}, afterStep{};
    int swallow = 0;   // argument bytes of Step still to come
    PeerThread master(peer, [&](uint8_t b) {
        std::lock_guard<std::mutex> lock(mutex);
        if (swallow > 0) {
            --swallow;
        } else if (b == 0x8E) {
            polls.push_back(Clock::now());
            if (stepAt != Clock::time_point{} && afterStep == Clock::time_point{}) afterStep = polls.back();
            peer.send({0x55, 0, 0, 0, 2, 0});
        } else if (b == 0x86) {
            stepAt = Clock::now();
            swallow = 2;
            peer.send({0x00});
        }
    });

    main.run([&](MainState& st) {
        st.port = SioOpen(st, peer.slavePath(), 19200);
        st.online = true;
        st.pollTimerOn = st.port != nullptr;
    });
    if (!s.port) return 1;

    // The polls, then one Step and the poll after it.
    size_t stepPoll = 0;   // the index of the poll after Step, once stepped
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (stepPoll == 0 && polls.size() >= size_t(ticks)) {
            stepPoll = polls.size() + 1;
            lock.unlock();
            main.run(StepButtonClick);
        } else if (stepPoll && polls.size() >= stepPoll) {
            app.quit();
        }
    });
    watch.start(5);
    app.exec();

    std::lock_guard<std::mutex> lock(mutex);
    std::vector<double> gaps;
    for (size_t i = 1; i < polls.size() && polls[i] <= stepAt; ++i) gaps.push_back(Ms(polls[i] - polls[i - 1]));
    std::sort(gaps.begin(), gaps.end());
    const size_t under = size_t(std::count_if(gaps.begin(), gaps.end(), [](double g) { return g < 250.0; }));
    std::printf("%zu poll gaps: minimum %.1f ms, median %.1f ms, maximum %.1f ms, %zu under 250 ms\n", gaps.size(),
                gaps.front(), gaps[gaps.size() / 2], gaps.back(), under);
    std::printf("Step (0x86) to the next poll: %.1f ms (at least 350)\n", Ms(afterStep - stepAt));
    return under == 0 && Ms(afterStep - stepAt) >= 350.0 ? 0 : 1;
}
