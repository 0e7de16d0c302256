#pragma once
// The communications settings dialog.
struct MainState;
void ComButtonClick(MainState& s);
void SetButtonClick(MainState& s);
void CancelButtonClick(MainState& s);

// The lost port's device is back (MainState::portLoss.back): opens it again
// and probes the master with a poll, which neither runs nor stops anything;
// an idle master is then detected as after Set.  clicked: the user asked,
// and is told when the device cannot be opened.  True when the port opened.
bool ReconnectPort(MainState& s, bool clicked);
// Run by the poll tick while the port's device is gone: watches its path and
// reconnects at once when "Reconnect automatically" is ticked.
void WatchLostPort(MainState& s);
// A click on the status line: reconnects when it offers to.
void StatusLineClick(MainState& s);
