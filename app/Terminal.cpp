// The terminal window: characters the master's program prints, and keys the
// user types, sent one byte each.

#include "app/Terminal.h"

#include "app/MainState.h"
#include "link/Sio.h"

namespace {

constexpr size_t kMaxTerminalLines = 12;
// A program that prints without ever ending a line would grow the last line
// without limit; beyond this length its oldest characters are dropped, a
// few thousand at a time so that each character costs the same.
constexpr size_t kMaxTerminalLineLength = 32768;
constexpr size_t kTrimStep = 4096;

}  // namespace

void AppendTerminalChar(MainState& s, uint8_t c) {
    auto& lines = s.terminal.lines;
    auto& undrawn = s.terminal.undrawn;
    if (c == 13) return;
    if (c == 10) {
        bool full = lines.size() >= kMaxTerminalLines;
        lines.emplace_back(">");
        ++undrawn.newLines;
        if (full) {
            lines.erase(lines.begin());
            ++undrawn.droppedLines;
        }
        return;
    }
    if (lines.empty()) {
        lines.emplace_back(1, char(c));
        undrawn.all = true;
        return;
    }
    std::string& last = lines.back();
    if (last.size() >= kMaxTerminalLineLength) {
        last.erase(0, kTrimStep);
        if (undrawn.newLines == 0) undrawn.trimmed += kTrimStep;
    }
    last.push_back(char(c));
}

void TerminalMemoKeyPress(MainState& s, uint8_t key) {
    if (s.port) SioPutChars(s, &key, 1);
    s.pollTimerOn = false;
    AppendTerminalChar(s, key == 13 ? 10 : key);
    s.ui.wait(100);
    // No polling without a port: the timer runs only against an open port.
    s.pollTimerOn = s.port != nullptr;
}

void ShowTermButtonClick(MainState& s) {
    if (s.terminal.lines.empty()) {
        s.terminal.lines.emplace_back(">");
        s.terminal.undrawn.all = true;
    }
    s.terminal.visible = true;
}

void ClearTermButtonClick(MainState& s) {
    s.terminal.lines.assign(1, ">");
    s.terminal.undrawn.all = true;
}

void CloseTermButtonClick(MainState& s) { s.terminal.visible = false; }
