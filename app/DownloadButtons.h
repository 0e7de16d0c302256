#pragma once
// The Download and Verify buttons: assemble the listing, transfer the image
// (link/Download.h) and show the outcome.
struct MainState;
void DownloadButtonClick(MainState& s);
void VerifyButtonClick(MainState& s);
// The loaded state after a successful Load, Verify or whole comparison that
// found the master holding the program: the baud-change message, or Run,
// Stop, Break and Step enabled; "  Loaded  " on green.
void EnterLoadedState(MainState& s);
