// Execution control: the buttons that run, stop, step and break the program in
// the master, put it back to its start, reset the master and execute the
// builder's instruction at once.  Each sends one host command and keeps the
// host's view of where execution stands (resume and follow flags, breakpoint).

#include "app/Execution.h"

#include "app/MainState.h"
#include "app/panels/Instruction.h"
#include "isa/Vocabulary.h"
#include "link/Protocol.h"
#include "app/Editing.h"

namespace {

constexpr uint16_t kFirstInstruction = 2;   // behind the image's length header
constexpr uint16_t kNoBreakpoint = 0xFFFF;
constexpr char kBreakpointMark = '\x01';

// Run, Step and Execute Now refuse while the module list and the detected
// modules disagree.
bool RefusedForMismatch(MainState& s) {
    if (!s.moduleMismatch) return false;
    s.message("Module list does not match detected modules.");
    return true;
}

uint16_t StartAddress(const MainState& s) { return s.resumeFlag ? s.status.programAddress : kFirstInstruction; }

}  // namespace

void RunButtonClick(MainState& s) {
    if (RefusedForMismatch(s)) return;
    HostRun(s, StartAddress(s));
    // Set even when Run failed: the next Run continues where the master stands.
    s.resumeFlag = true;
    s.followFlag = true;
    // Wherever it stops, the selection stays the user's.
    s.stepMovesSelection = false;
}

void StopButtonClick(MainState& s) { HostStop(s); }

void StepButtonClick(MainState& s) {
    if (RefusedForMismatch(s)) return;
    s.pollTimerOn = false;

    // The master cannot step through a Delay: step the instruction after it.
    // Only addresses inside the image buffer are looked at.
    int a = StartAddress(s);
    while (a + 2 < kImageSize && s.programImage[a + 2] == MasterCmd::kDelay) {
        s.message("Cannot step through a delay - stepping to next line");
        a += kDelayLength;
    }

    HostStep(s, uint16_t(a));
    s.resumeFlag = true;
    s.followFlag = true;
    s.stepMovesSelection = true;
    s.ui.wait(100);
    // The timer runs only against an open port.
    s.pollTimerOn = s.port != nullptr;
}

void BreakButtonClick(MainState& s) {
    const int line = s.currentLine;
    if (line < 0 || line >= s.lineCount || s.lines[line].isComment()) return;

    const int previous = s.breakpointLine;
    if (previous != -1) {
        HostSetBreakpoint(s, kNoBreakpoint);
        ClearBreakpointMark(s);
    }
    if (line == previous) {
        // A second Break on the same line removes the breakpoint.
        s.breakpointLine = -1;
        s.listing.select(line);
        return;
    }

    s.breakpointLine = line;
    if (line < s.listing.count()) {
        std::string text = s.listing.text(line);
        if (!text.empty()) {
            text[0] = kBreakpointMark;
            s.listing.setText(line, text);
        }
    }
    s.listing.select(line);
    HostSetBreakpoint(s, s.lines[line].address);
}

void RestartButtonClick(MainState& s) {
    s.resumeFlag = false;
    // The next Run starts at the beginning: where the master stopped no
    // longer matters (a running program is marked again by the next poll).
    s.listing.setExecuting(-1);
    DeselectAllLines(s);
    s.currentLine = 0;
    s.listing.select(0);
    s.listing.setTopIndex(0);
}

void ResetButtonClick(MainState& s) {
    HostReset(s);
    s.ui.setBusyCursor(true);
    s.ui.wait(200);
    s.ui.setBusyCursor(false);
    s.resumeFlag = false;
    ClearBreakpointMark(s);
    // The master starts afresh: it stands at no line of the program.
    s.listing.setExecuting(-1);
    s.listing.select(0);
}

void ExeNowButtonClick(MainState& s) {
    if (RefusedForMismatch(s)) return;
    if (BuildInstruction(s) != 0) return;
    const int count = ExecuteNowLength(s.builderLine);
    if (count < 0) {
        s.message("Immediate execution of this instruction is not possible.");
        return;
    }
    HostExecute(s, s.builderLine.bytes, count);
}
