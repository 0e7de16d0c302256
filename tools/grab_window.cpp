// Pictures of the windows for the user guide, taken from the real widgets on
// the off-screen display: the main window with an example program open and a
// line loaded into the builder, the communications dialog and the terminal;
// with a third argument, the Watch window following servo 1 while that
// program runs on the simulated master.
//   grab_window EXAMPLE.stw OUTPUT-DIRECTORY [DEMO.stw]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QWidget>
#include <cstdio>
#include <string>

#include "app/ComSettings.h"
#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/gui/Application.h"
#include "app/gui/MainForm.h"
#include "app/gui/QtPlatform.h"
#include "app/gui/SecondaryForms.h"
#include "app/gui/WatchForm.h"
#include "link/Sio.h"
#include "app/Editing.h"
#include "app/Files.h"
#ifdef STEPWRIGHT_HAVE_SIM
#include "sim/SimMaster.h"
#endif

namespace {

// A desktop that answers every box at once: nothing may wait for a person.
class SilentPlatform : public QtPlatform {
protected:
    Answer showBox(const std::string& text, Box) override {
        std::fprintf(stderr, "grab_window: %s\n", text.c_str());
        return Answer::Cancel;
    }
    bool showFileDialog(bool, std::string&) override { return false; }
};

bool save(QWidget& w, const QString& dir, const char* name) {
    w.adjustSize();
    QApplication::processEvents();
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    if (w.grab().save(path)) return true;
    std::fprintf(stderr, "grab_window: cannot write %s\n", qPrintable(path));
    return false;
}

#ifdef STEPWRIGHT_HAVE_SIM
// Runs the demo on the simulated master and lets the Watch window follow
// servo 1 for a few seconds of its motion.
bool grabWatch(TMainForm& main, const std::string& demo, const QString& dir) {
    SimMaster sim;
    std::string error;
    if (!sim.start(error)) {
        std::fprintf(stderr, "grab_window: simulator: %s\n", error.c_str());
        return false;
    }
    bool opened = false;
    main.run([&](MainState& s) {
        s.portDevice[0] = sim.devicePath();
        s.com.choice = 0;
        SetButtonClick(s);
        opened = OpenProgramFile(s, demo);
    });
    auto idle = [](int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    idle(3500);   // the poll finds the master and detects its modules
    if (!opened || !main.state().online) {
        std::fprintf(stderr, "grab_window: the demo did not start on the simulated master\n");
        return false;
    }
    main.run(DownloadButtonClick);
    main.run(RunButtonClick);
    main.showWatchWindow();
    TWatchForm& watch = *main.watchWindow();
    watch.resize(820, 520);
    watch.setWatched(1, true);
    watch.setSpan(8);
    idle(7000);
    watch.redraw();
    const QString path = dir + QStringLiteral("/watch.png");
    const bool saved = watch.grab().save(path);
    if (!saved) std::fprintf(stderr, "grab_window: cannot write %s\n", qPrintable(path));
    main.run([](MainState& s) { SioClose(s); });
    return saved;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: grab_window EXAMPLE.stw OUTPUT-DIRECTORY [DEMO.stw]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string example = argv[1];
    const QString dir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(dir);

    SilentPlatform ui;
    StepwrightWindows windows(ui);
    TMainForm& main = windows.main();
    main.show();
    main.fireStartTimer();
    bool opened = false;
    main.run([&](MainState& s) {
        opened = OpenProgramFile(s, example);
        // The second instruction loaded into the builder, as a click on it does.
        for (int i = 0, seen = 0; opened && i < s.lineCount; ++i) {
            if (s.lines[i].isComment() || ++seen < 2) continue;
            s.listing.deselectAll();
            s.listing.select(i);
            s.listing.setFocus(i);
            ProgramListBoxClick(s);
            break;
        }
        s.terminal.lines = {"Homed", "At 4000", "At 0", "At 4000", ""};
    });
    if (!opened) {
        std::fprintf(stderr, "grab_window: cannot open %s\n", example.c_str());
        return 1;
    }
    bool ok = save(main, dir, "window.png");
    windows.com().show();
    windows.com().sync(main.state());
    ok = save(windows.com(), dir, "communications.png") && ok;
    windows.terminal().show();
    windows.terminal().sync(main.state());
    ok = save(windows.terminal(), dir, "terminal.png") && ok;
    windows.terminal().hide();
#ifdef STEPWRIGHT_HAVE_SIM
    if (argc == 4) ok = grabWatch(main, argv[3], dir) && ok;
#endif
    return ok ? 0 : 1;
}
