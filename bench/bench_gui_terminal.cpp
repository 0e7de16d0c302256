// The terminal window's cost per poll tick: ten printed characters arrive and
// the window draws them, with an empty window, a window full of short lines,
// one 32768-character line shown, and twelve such lines (a program printing
// without line feeds).  Drawing a full window costs more than an empty one;
// what is shown beyond the window must not cost anything.
// For comparison the same ticks drawn by rewriting the whole text, as a
// window without a record of what changed has to.
//
//   bench_gui_terminal [ticks 1..100000]     (default 200)
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <cstdio>

#include "BenchPeer.h"
#include "app/Terminal.h"
#include "app/gui/Application.h"
#include "app/gui/Latin1.h"
#include "app/gui/MainForm.h"
#include "app/gui/QtPlatform.h"
#include "app/gui/SecondaryForms.h"

namespace {

void Feed(MainState& s, const std::string& bytes) {
    for (char c : bytes) AppendTerminalChar(s, uint8_t(c));
}

// Microseconds per tick: ten characters, then draw() and the repaint.
template <class Draw>
double PerTick(MainState& s, QWidget& window, int ticks, Draw draw) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < ticks; ++i) {
        Feed(s, "0123456789");
        draw();
        window.repaint();
    }
    return double(clock.nsecsElapsed()) / 1000.0 / ticks;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int ticks = CountArgument(argc, argv, 200, 100000, "ticks");
    if (ticks < 0) return 2;
    QApplication app(argc, argv);
    QtPlatform ui;
    StepwrightWindows windows(ui);
    MainState& s = windows.main().state();
    TTerminalForm& terminal = windows.terminal();
    windows.main().run(ShowTermButtonClick);

    // The whole-text rewrite, on a text box like the window's.
    QPlainTextEdit rewrite;
    rewrite.setReadOnly(true);
    rewrite.setUndoRedoEnabled(false);
    rewrite.resize(377, 201);
    rewrite.show();
    auto rewriteAll = [&] {
        QString text;
        for (size_t i = 0; i < s.terminal.lines.size(); ++i) {
            if (i) text += QLatin1Char('\n');
            text += toQ(s.terminal.lines[i]);
        }
        if (rewrite.toPlainText() != text) {
            rewrite.setPlainText(text);
            rewrite.moveCursor(QTextCursor::End);
            rewrite.ensureCursorVisible();
        }
    };

    const struct {
        const char* name;
        int lines, length;
    } shown[] = {{"empty window", 0, 0},
                 {"full window: twelve short lines", 12, 40},
                 {"one 32768-character line", 1, 32768},
                 {"twelve 32768-character lines", 12, 32768}};
    double full = 0, longest = 0;
    std::printf("%-32s %14s %14s\n", "shown", "appended us", "rewritten us");
    for (const auto& c : shown) {
        windows.main().run([&](MainState& st) {
            ClearTermButtonClick(st);
            for (int i = 0; i < c.lines; ++i) Feed(st, (i ? "\n" : "") + std::string(size_t(c.length - 1), 'x'));
        });
        PerTick(s, terminal, 20, [&] { terminal.sync(s); });   // warm up
        const double appended = PerTick(s, terminal, ticks, [&] { terminal.sync(s); });
        rewriteAll();
        // The rewrite is slow with long lines: a few ticks tell.
        const double rewritten = PerTick(s, rewrite, 5, rewriteAll);
        if (c.length == 40) full = appended;
        longest = appended;
        std::printf("%-32s %14.1f %14.1f\n", c.name, appended, rewritten);
    }
    std::printf("appending with twelve 32768-character lines shown, against a full window of short lines: %.2f x\n",
                longest / full);
    return 0;
}
