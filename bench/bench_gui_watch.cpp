// Drawing the Watch window with 31 servos watched, 3600 samples each (an hour
// at one row a second): every position line, home marker and digital trace.
// Times one full refresh as the window does it while it follows the newest
// sample: a new row arrives, the hour on show moves on by a second, the
// traces are rebuilt from the samples and both charts repainted, on the
// off-screen display.
//   bench_gui_watch [REFRESHES 1..1000]   (default 20)

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "ScriptedMaster.h"
#include "app/MainState.h"
#include "app/gui/Application.h"
#include "app/gui/MainForm.h"
#include "app/gui/QtPlatform.h"
#include "app/gui/WatchForm.h"

#include "BenchPeer.h"

namespace {

class QuietQt : public QtPlatform {
protected:
    Answer showBox(const std::string& text, Box) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return Answer::Cancel;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int refreshes = CountArgument(argc, argv, 20, 1000, "REFRESHES");
    if (refreshes < 0) return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QuietQt ui;
    StepwrightWindows windows(ui);
    TMainForm& main = windows.main();
    MainState& s = main.state();
    ScriptedMaster m(s);
    constexpr int kModules = 31, kRows = 3600;
    // Each servo follows a sine of its own; the reply is made per request.
    m.onExecute = [](ScriptedMaster& master, const std::vector<uint8_t>& frame) {
        static int n = 0;
        const int a = frame[1];
        const int32_t pos = int32_t(20000 * std::sin(n++ / 200.0 + a));
        const uint8_t status = uint8_t(0x08 | ((n / 500 + a) % 3 == 0 ? 0x20 : 0));
        master.replyData = {status, uint8_t(pos), uint8_t(pos >> 8), uint8_t(pos >> 16), uint8_t(pos >> 24),
                            uint8_t(a),  0, 0, 0};
    };
    main.run([&](MainState& st) {
        st.online = true;
        st.pollTimerOn = true;
        st.moduleListCount = kModules;
        st.form.ModuleListBox.items = {" 0 [Master]"};
        for (int a = 1; a <= kModules; ++a) {
            st.moduleTypes[a] = 0;
            st.detectedTypes[a] = 0;
            st.form.ModuleListBox.items.push_back(Format("%2d ZEL-SERVO", a));
        }
    });
    main.showWatchWindow();
    TWatchForm& watch = *main.watchWindow();
    watch.resize(1200, 800);

    // An hour of rows, one a second, on a clock of the benchmark's own.
    Sampler& sampler = watch.sampler();
    auto fake = Sampler::Clock::time_point{};
    sampler.clock = [&fake] { return fake; };
    sampler.overrunSettle = std::chrono::microseconds(0);   // the master answers in memory
    for (int a = 1; a <= kModules; ++a) watch.setWatched(a, true);
    watch.setPaused(true);
    sampler.clear();
    sampler.start(fake);
    for (int row = 0; row < kRows; ++row) {
        for (int k = 0; k < kModules; ++k) sampler.step(s, fake, -1);
        fake += std::chrono::seconds(1);
    }
    watch.setPaused(true);
    watch.setSpan(kRows);
    // Let the window settle at its size (its charts are laid out and lined
    // up once more after the resize), so that only refreshes are timed.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 20);

    QElapsedTimer clock;
    double total = 0, worst = 0, rebuild = 0;
    for (int i = 0; i < refreshes; ++i) {
        // A new row (not timed): the sampler's work, not the window's.
        sampler.start(fake);
        for (int k = 0; k < kModules; ++k) sampler.step(s, fake, -1);
        sampler.pause();
        fake += std::chrono::seconds(1);
        clock.start();
        watch.redraw();
        rebuild += clock.nsecsElapsed() / 1e6;
        watch.repaint();
        const double ms = clock.nsecsElapsed() / 1e6;
        total += ms;
        if (ms > worst) worst = ms;
    }
    std::printf("watch window: %d servos x %zu samples, %d traces drawn\n", kModules,
                sampler.samples().size() / kModules, int(watch.traceNames().size()));
    std::printf("  refresh (a new row, traces rebuilt, both charts repainted): mean %.1f ms, worst %.1f ms (goal < 30 ms)\n",
                total / refreshes, worst);
    std::printf("  of which rebuilding the traces: mean %.1f ms\n", rebuild / refreshes);
    return 0;
}
