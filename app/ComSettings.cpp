// The communications settings dialog: opens the chosen port and probes the
// master, or goes off line.

#include "app/ComSettings.h"

#include "app/MainState.h"
#include "link/Protocol.h"
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
