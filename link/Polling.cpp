// The 250 ms status poll: collects what the master sent of its own accord,
// starts detection when it announces itself, and while on line polls it for
// printed characters and its status.

#include "link/Polling.h"

#include <chrono>

#include "app/MainState.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "link/Terminal.h"
#include "app/ModuleDetection.h"
#include "program/LineStore.h"

namespace {

using Clock = std::chrono::steady_clock;

// One tick must not hold the user-interface thread for long, whatever the
// master sends, so its reading is bounded by time rather than by bytes:
// - collecting the unsolicited bytes stops after one poll interval (250 ms);
//   what is still waiting is collected by the next tick;
// - the poll answer, from the poll byte to its fifth status byte, must be
//   complete within one second, else the master counts as not responding.
// At 19200 baud a second carries 1920 characters; a program that prints
// without pause fills about a quarter of that between two polls (250 ms plus
// the tick), so an answering master stays well inside the bound, while a
// master that trickles characters and never sends "U" holds the window for
// at most a second (plus the one read under way, at most 110 ms).
constexpr auto kCollectLimit = std::chrono::milliseconds(250);
constexpr auto kAnswerLimit = std::chrono::milliseconds(1000);

// Polls the master; false after the not-responding procedure.
bool PollMaster(MainState& s) {
    uint8_t b = kCmdPoll;
    SioPutChars(s, &b, 1);
    const Clock::time_point deadline = Clock::now() + kAnswerLimit;
    for (;;) {
        if (Clock::now() >= deadline || SioGetChars(s, &b, 1) < 1) {
            NotResponding(s);
            return false;
        }
        if (b == kPollMarker) break;
        AppendTerminalChar(s, b);
    }
    uint8_t st[5];
    if (Clock::now() >= deadline || SioGetChars(s, st, 5) < 5) {
        NotResponding(s);
        return false;
    }
    s.status.moduleCount = st[0];
    s.status.statusA = st[1];
    s.status.statusB = st[2];
    s.status.programAddress = uint16_t(st[3] | (st[4] << 8));
    return true;
}

}  // namespace

uint8_t CollectUnsolicited(MainState& s) {
    const Clock::time_point deadline = Clock::now() + kCollectLimit;
    uint8_t last = 0;
    uint8_t chunk[256];
    int waiting;
    while ((waiting = SioTest(s)) > 0) {
        const int want = waiting < int(sizeof chunk) ? waiting : int(sizeof chunk);
        const int got = SioGetChars(s, chunk, want);
        if (got <= 0) break;   // reported but not readable: try again next tick
        for (int i = 0; i < got; ++i) {
            last = chunk[i];
            if (chunk[i] != 0) AppendTerminalChar(s, chunk[i]);
        }
        if (Clock::now() >= deadline) break;
    }
    return last;
}

void PollTimerTimer(MainState& s) {
    s.pollTimerOn = false;
    // The timer is switched on again at every end of the tick, as long as
    // there is a port to poll.
    struct Restart {
        MainState& s;
        ~Restart() { s.pollTimerOn = s.port != nullptr; }
    } restart{s};

    // Only the last byte collected in this tick counts as the announcement.
    uint8_t last = CollectUnsolicited(s);
    if (last == kAnnounce || s.forceDetection) DetectModules(s);
    if (!s.online) return;

    if (!PollMaster(s)) return;

    if (s.followFlag) ShowLineAtAddress(s, s.status.programAddress);
    if (s.status.statusB & kStatusBRunning) {
        s.form.RunLEDShape.color = kGreen;
    } else {
        s.followFlag = false;
        s.form.RunLEDShape.color = kRed;
    }
    // At the end marker the next Run or Step starts from the beginning.
    if (s.currentLine == s.lineCount) s.resumeFlag = false;
    // Stop follows whether the program runs.
    UpdateExecutionButtons(s);
}
