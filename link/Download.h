#pragma once
// Download and verify of the program image.
struct MainState;
void DownloadButtonClick(MainState& s);
void VerifyButtonClick(MainState& s);
