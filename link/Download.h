#pragma once
// Download and verify of the program image.
#include <cstdint>
struct MainState;
void DownloadButtonClick(MainState& s);
void VerifyButtonClick(MainState& s);
// One Read block exchange at offset: reply holds the sixteen image bytes and
// one byte that is never examined.  false when the ack is missing or the reply
// short; the caller runs the not-responding procedure.
bool ReadImageBlock(MainState& s, int offset, uint8_t (&reply)[17]);
