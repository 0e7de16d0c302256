// The 250 ms status poll: collects what the master sent of its own accord,
// starts detection when it announces itself, and while on line polls it for
// printed characters and its status.

#include "link/Polling.h"

#include "app/MainState.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "link/Terminal.h"
#include "modules/Detection.h"
#include "program/LineStore.h"

namespace {

// A master that never stops sending must not hold the user-interface thread:
// one tick takes at most this many unsolicited bytes (the rest wait for the
// next tick), and a poll answer with more printed characters than this
// before its "U" counts as no answer.
constexpr int kMaxUnsolicitedPerTick = 16384;
constexpr int kMaxPrintedPerPoll = 16384;

// Reads the bytes waiting in the input queue; zero bytes are dropped, every
// other byte goes to the terminal.  Returns the last byte read (0 if none).
uint8_t CollectUnsolicited(MainState& s) {
    uint8_t last = 0;
    int total = 0;
    uint8_t chunk[256];
    int waiting;
    while (total < kMaxUnsolicitedPerTick && (waiting = SioTest(s)) > 0) {
        int want = waiting < int(sizeof chunk) ? waiting : int(sizeof chunk);
        if (want > kMaxUnsolicitedPerTick - total) want = kMaxUnsolicitedPerTick - total;
        int got = SioGetChars(s, chunk, want);
        if (got <= 0) break;   // reported but not readable: try again next tick
        for (int i = 0; i < got; ++i) {
            last = chunk[i];
            if (chunk[i] != 0) AppendTerminalChar(s, chunk[i]);
        }
        total += got;
    }
    return last;
}

// Polls the master; false after the not-responding procedure.
bool PollMaster(MainState& s) {
    uint8_t b = kCmdPoll;
    SioPutChars(s, &b, 1);
    for (int printed = 0;; ++printed) {
        if (printed > kMaxPrintedPerPoll || SioGetChars(s, &b, 1) < 1) {
            NotResponding(s);
            return false;
        }
        if (b == kPollMarker) break;
        AppendTerminalChar(s, b);
    }
    uint8_t st[5];
    if (SioGetChars(s, st, 5) < 5) {
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
}
