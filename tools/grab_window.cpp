// Pictures of the windows for the user guide, taken from the real widgets on
// the off-screen display: the main window with an example program open and a
// line loaded into the builder, the communications dialog and the terminal.
//   grab_window EXAMPLE.stw OUTPUT-DIRECTORY
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstdio>
#include <string>

#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/gui/Application.h"
#include "app/gui/MainForm.h"
#include "app/gui/QtPlatform.h"
#include "app/gui/SecondaryForms.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: grab_window EXAMPLE.stw OUTPUT-DIRECTORY\n");
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
    return ok ? 0 : 1;
}
