// Undo and redo in the window with the largest program: an 8192-line program
// is opened into the listing (off screen, the real widgets), cleared with
// Clear All, and the clear is undone and redone, each step drawn.  Reported
// per step in milliseconds, with the open for comparison.
//
//   bench_gui_undo [rounds 1..100]     (default 5)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchPeer.h"
#include "app/MainState.h"
#include "app/gui/Application.h"
#include "app/gui/MainForm.h"
#include "app/gui/QtPlatform.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "app/EditHistory.h"

namespace {

// Answers every question Yes without showing it.
class YesPlatform : public QtPlatform {
protected:
    Answer showBox(const std::string&, Box kind) override { return kind == Box::Ok ? Answer::Ok : Answer::Yes; }
};

template <class Step>
double Millis(TMainForm& main, Step step) {
    QElapsedTimer clock;
    clock.start();
    main.run(step);
    main.repaint();
    return double(clock.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int rounds = CountArgument(argc, argv, 5, 100, "rounds");
    if (rounds < 0) return 2;
    QApplication app(argc, argv);
    YesPlatform ui;
    StepwrightWindows windows(ui);
    TMainForm& main = windows.main();
    main.show();
    main.fireStartTimer();
    QApplication::processEvents();

    // 8192 lines: the example with every command, repeated.
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath(QStringLiteral("big.stw")).toStdString();
    {
        MainState& s = main.state();
        if (!OpenProgramFile(s, STEPWRIGHT_SOURCE_DIR "/examples/every-command.stw") || s.lineCount == 0) {
            std::fprintf(stderr, "cannot read the example program\n");
            return 1;
        }
        const int n = s.lineCount;
        for (int i = n; i < kMaxLines; ++i) s.lines[i] = s.lines[i % n];
        s.lineCount = kMaxLines;
        const std::string failure = WriteProgramFile(s, path);
        if (!failure.empty()) {
            std::fprintf(stderr, "%s\n", failure.c_str());
            return 1;
        }
    }

    std::vector<double> open, undo, redo;
    for (int r = 0; r < rounds; ++r) {
        open.push_back(Millis(main, [&](MainState& s) { OpenGivenFile(s, path); }));
        if (main.state().lineCount != kMaxLines) return 1;
        Millis(main, ClearButtonClick);
        undo.push_back(Millis(main, [&](MainState& s) { main.history().Undo(s); }));
        if (main.state().lineCount != kMaxLines) return 1;
        redo.push_back(Millis(main, [&](MainState& s) { main.history().Redo(s); }));
        if (main.state().lineCount != 0) return 1;
    }
    std::printf("8192-line program, %d rounds (median ms)\n", rounds);
    std::printf("  open into the listing  %8.1f\n", Median(open));
    std::printf("  undo Clear All         %8.1f\n", Median(undo));
    std::printf("  redo Clear All         %8.1f\n", Median(redo));
    std::printf("  goal: undo and redo each under 150 ms\n");
    return 0;
}
