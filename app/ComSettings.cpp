// The communications settings dialog: opens the chosen port and probes the
// master, or goes off line.

#include "app/ComSettings.h"

#include "app/MainState.h"
#include "app/StatusText.h"
#include "link/Polling.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "app/ModuleListBox.h"

namespace {

constexpr int kOffline = 6;

}  // namespace

void ComButtonClick(MainState& s) { s.com.visible = true; }

void SetButtonClick(MainState& s) {
    const int choice = s.com.choice;
    if (choice < 0 || choice > kOffline) {
        s.message("Choose a port or Offline");
        return;
    }
    if (s.port) SioClose(s);
    s.com.openItem = -1;
    // Nothing polls while the port changes, not even while a message of the
    // opening below is up: a port that opens switches the timer on again.
    s.pollTimerOn = false;

    if (choice == kOffline) {
        s.port.reset();
        NotResponding(s);
        ModuleListBoxClick(s);
        s.com.visible = false;
        return;
    }

    s.port = SioOpen(s, Format("COM%d:", choice + 1), 19200);
    if (!s.port) {
        // SioOpen has shown "%s failed to open".  Closing the main window
        // normally ends the application; if the user cancels its close query
        // the application goes on without a port: nothing is polled (the
        // timer went off with the old port), and the dialog stays up so that
        // another port can be chosen.
        s.ui.closeMainWindow();
        return;
    }

    s.com.openItem = choice;

    // Probe: a master that answers is detected on the next tick.
    if (HostStop(s) == 0) s.forceDetection = true;
    s.pollTimerOn = true;
    s.com.visible = false;
}

void CancelButtonClick(MainState& s) { s.ui.closeMainWindow(); }

bool ReconnectPort(MainState& s, bool clicked) {
    if (!s.port || !s.portLoss.back) return false;
    std::string error;
    if (!SioReopen(s, error)) {
        // Plugged in a moment ago, the device may not be ready (its
        // permissions are set after it appears): an automatic reconnect
        // tries again on the next tick.
        if (clicked) s.message(OpenPortName(s) + ": cannot reconnect: " + error);
        return false;
    }
    // The probe is a poll, which changes nothing on the master.  An idle
    // master is detected on the next tick, as after Set; a master still
    // running its program is taken on line as it is, with the module list
    // it had, since detection would stop the program.
    s.online = false;
    if (PollStatus(s)) {
        if (s.status.statusB & kStatusBRunning) {
            s.online = true;
            s.form.ProgExeGroup.enabled = true;
            s.form.ProgExeGroup.caption = "Program Execution";
            s.form.RunLEDShape.color = kGreen;
            UpdateExecutionButtons(s);
        } else {
            s.forceDetection = true;
        }
    }
    s.pollTimerOn = true;
    return true;
}

void WatchLostPort(MainState& s) {
    if (!s.portLoss.gone) return;
    if (SioWatchLostPort(s) && s.com.reconnectAutomatically) ReconnectPort(s, false);
}

void StatusLineClick(MainState& s) {
    if (s.portLoss.back) ReconnectPort(s, true);
}
