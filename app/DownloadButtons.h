#pragma once
// The Download and Verify buttons: assemble the listing, transfer the image
// (link/Download.h) and show the outcome.
struct MainState;
void DownloadButtonClick(MainState& s);
void VerifyButtonClick(MainState& s);
