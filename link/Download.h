#pragma once
// The block exchanges of download and verify: the assembled image written
// into the master (Load) or read back and compared (Verify) in 16-byte blocks.
// The buttons that assemble first and show the outcome are the window's
// (app/DownloadButtons.h).
#include <cstdint>
struct LinkState;
struct ProgramState;

// One Read block exchange at offset: reply holds the sixteen image bytes and
// one byte that is never examined.  false when the ack is missing or the reply
// short; the caller runs the not-responding procedure.
bool ReadImageBlock(LinkState& s, int offset, uint8_t (&reply)[17]);

enum class BlockResult { Done, NoReply, Mismatch };

// Writes program.programImage (imageLength bytes) into the master block by
// block, or reads it back and compares it, telling the progress hook after
// every block.  The first block that fails ends the transfer: the host's
// progress notice is hidden and, for a missing reply, the not-responding
// procedure follows.  Mismatch (verify only) shows no message.  On Done the
// progress notice is still up.
BlockResult WriteImage(LinkState& s, const ProgramState& program);
// differsAt, when given, receives the image address of the first byte that
// differs (Mismatch only).
BlockResult VerifyImage(LinkState& s, const ProgramState& program, int* differsAt = nullptr);
