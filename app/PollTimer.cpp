// The 250 ms poll timer's tick: the link's exchanges (link/Polling.h), the
// detection an announcement starts, and the window's view of the answer.

#include "app/PollTimer.h"

#include "app/MainState.h"
#include "link/Polling.h"
#include "link/ProtocolBytes.h"
#include "modules/Detection.h"
#include "app/ModuleDetection.h"
#include "program/LineStore.h"
#include "app/Editing.h"
#include "app/ComSettings.h"

void PollTimerTimer(MainState& s) {
    s.pollTimerOn = false;
    // The timer is switched on again at every end of the tick, as long as
    // there is a port to poll.
    struct Restart {
        MainState& s;
        ~Restart() { s.pollTimerOn = s.port != nullptr; }
    } restart{s};

    // A port whose device is gone has nothing to collect: its path is
    // watched for the device's return.
    if (s.portLoss.gone) {
        WatchLostPort(s);
        return;
    }

    // Only the last byte collected in this tick counts as the announcement.
    uint8_t last = CollectUnsolicited(s);
    if (last == kAnnounce || s.forceDetection) DetectModules(s);
    if (!s.online) return;

    if (!PollStatus(s)) return;

    const bool running = (s.status.statusB & kStatusBRunning) != 0;
    const bool followed = s.followFlag;
    if (followed) {
        // The executing line is marked apart from the user's selection, which
        // every edit acts on; only the stop of the user's own Step moves it.
        if (!running && s.stepMovesSelection)
            ShowLineAtAddress(s, s.status.programAddress);
        else
            ShowExecutingLine(s, s.status.programAddress);
    }
    if (running) {
        s.form.RunLEDShape.color = kGreen;
    } else {
        s.followFlag = false;
        s.stepMovesSelection = false;
        s.form.RunLEDShape.color = kRed;
    }
    // At the end marker the next Run or Step starts from the beginning:
    // when the user selected it, or the program stopped beyond its last line.
    if (s.currentLine == s.lineCount || (followed && s.listing.executing() == s.lineCount))
        s.resumeFlag = false;
    // Stop follows whether the program runs.
    UpdateExecutionButtons(s);
}
