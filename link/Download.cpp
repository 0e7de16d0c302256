// Download and verify: the listing is assembled into the program image, which
// is then written into the master (Load) or read back and compared (Verify) in
// 16-byte blocks.  Both block exchanges are sent here inline, so that a failure
// hides the progress window before the not-responding message is shown.

#include "link/Download.h"

#include "app/MainState.h"
#include "link/Execution.h"
#include "link/Progress.h"
#include "link/Protocol.h"
#include "link/Sio.h"
#include "program/Assembly.h"
#include "program/LineStore.h"

namespace {

constexpr uint8_t kWriteBlock = 0x83;
constexpr uint8_t kReadBlock = 0x84;
constexpr uint8_t kBlockSize = 0x10;
constexpr uint8_t kRejected = 0xCC;

// Blocks start below the image length and never run past the image buffer:
// the buffer size is a multiple of the block size.
int BlockLimit(const MainState& s) { return s.imageLength < kImageSize ? s.imageLength : kImageSize; }

// One Write block exchange.  The 21 bytes are the command byte, the offset,
// the length byte, the sixteen image bytes and their checksum.  false when the
// ack or the result byte is missing or the master rejected the block.
bool WriteBlock(MainState& s, int offset) {
    uint8_t frame[21];
    frame[0] = kWriteBlock;
    frame[1] = uint8_t(offset & 0xFF);
    frame[2] = uint8_t(offset >> 8);
    frame[3] = kBlockSize;
    unsigned sum = frame[1] + frame[2] + frame[3];
    for (int i = 0; i < kBlockSize; ++i) {
        frame[4 + i] = s.programImage[offset + i];
        sum += frame[4 + i];
    }
    frame[20] = uint8_t(sum & 0xFF);

    uint8_t reply = 0;
    SioPutChars(s, frame, 1);
    if (SioGetChars(s, &reply, 1) != 1) return false;
    SioPutChars(s, frame + 1, 20);
    if (SioGetChars(s, &reply, 1) != 1) return false;
    return reply != kRejected;
}

// One Read block exchange: reply holds the sixteen image bytes and one byte
// that is never examined.  false when the ack is missing or the reply short.
bool ReadBlock(MainState& s, int offset, uint8_t (&reply)[17]) {
    const uint8_t command = kReadBlock;
    const uint8_t args[3] = {uint8_t(offset & 0xFF), uint8_t(offset >> 8), kBlockSize};
    uint8_t ack = 0;
    SioPutChars(s, &command, 1);
    if (SioGetChars(s, &ack, 1) != 1) return false;
    SioPutChars(s, args, 3);
    return SioGetChars(s, reply, 17) == 17;
}

// The loaded state after a successful Load or Verify.
void EnterLoadedState(MainState& s) {
    Form& f = s.form;
    if (s.programHasBaudChange) {
        // Run, Stop, Break and Step stay as the last program change left them.
        s.message("Program contains a baud rate change - cannot run interactively");
    } else {
        f.RunButton.enabled = true;
        f.StopButton.enabled = true;
        f.BreakButton.enabled = true;
        f.StepButton.enabled = true;
    }
    f.LoadLabel.caption = "  Loaded  ";
    f.LoadLabel.color = kGreen;
}

}  // namespace

void DownloadButtonClick(MainState& s) {
    s.programHasBaudChange = false;
    if (AssembleProgram(s) != 0) return;

    s.progress.label2 = Format("      Downloading (%d bytes)...", int(s.imageLength));
    ShowProgress(s, 2);

    const int limit = BlockLimit(s);
    const int blocks = (limit + kBlockSize - 1) / kBlockSize;
    for (int offset = 0; offset < limit; offset += kBlockSize) {
        if (!WriteBlock(s, offset)) {
            HideProgress(s);
            NotResponding(s);
            return;
        }
        if (s.progressHook) s.progressHook(offset / kBlockSize + 1, blocks);
    }

    HideProgress(s);
    s.message("Download complete");
    EnterLoadedState(s);
    s.resumeFlag = false;
    ClearBreakpointMark(s);
    RestartButtonClick(s);
}

void VerifyButtonClick(MainState& s) {
    s.programHasBaudChange = false;
    if (AssembleProgram(s) != 0) return;

    ShowProgress(s, 3);

    const int limit = BlockLimit(s);
    const int blocks = (limit + kBlockSize - 1) / kBlockSize;
    for (int offset = 0; offset < limit; offset += kBlockSize) {
        uint8_t reply[17];
        if (!ReadBlock(s, offset, reply)) {
            HideProgress(s);
            NotResponding(s);
            return;
        }
        // Only image bytes are compared: not the bytes of the last block that
        // lie beyond the image, and never the seventeenth reply byte.
        const int end = offset + kBlockSize < limit ? offset + kBlockSize : limit;
        for (int i = offset; i < end; ++i) {
            if (reply[i - offset] != s.programImage[i]) {
                HideProgress(s);
                s.message("Program listing does not match loaded program!");
                return;
            }
        }
        if (s.progressHook) s.progressHook(offset / kBlockSize + 1, blocks);
    }

    HideProgress(s);
    s.message("Loaded program matches program listing.");
    EnterLoadedState(s);
    RestartButtonClick(s);
}
