// Download and verify: the listing is assembled into the program image, which
// is then written into the master (Load) or read back and compared (Verify) in
// 16-byte blocks.  Both block exchanges are sent here inline, so that a failure
// hides the progress window before the not-responding message is shown.

#include "link/Download.h"

#include "app/Execution.h"
#include "app/MainState.h"
#include "app/Progress.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "link/Upload.h"
#include "program/Assembly.h"
#include "program/LineStore.h"

namespace {

// Blocks start below the image length and never run past the image buffer:
// the buffer size is a multiple of the block size.
int BlockLimit(const MainState& s) { return s.imageLength < kImageSize ? s.imageLength : kImageSize; }

enum class BlockResult { Done, NoReply, Mismatch };

// Runs exchange(offset, end) for every block of the image in turn, end being
// where the block's image bytes end, and reports each block done to the
// progress hook.  The first block that is not Done ends the transfer: the
// progress window is hidden, and for a missing reply the not-responding
// procedure follows.  Returns the last block's result.
template <class Exchange>
BlockResult TransferBlocks(MainState& s, Exchange exchange) {
    const int limit = BlockLimit(s);
    const int blocks = (limit + kBlockLength - 1) / kBlockLength;
    for (int offset = 0; offset < limit; offset += kBlockLength) {
        const int end = offset + kBlockLength < limit ? offset + kBlockLength : limit;
        const BlockResult result = exchange(offset, end);
        if (result != BlockResult::Done) {
            HideProgress(s);
            if (result == BlockResult::NoReply) NotResponding(s);
            return result;
        }
        if (s.progressHook) s.progressHook(offset / kBlockLength + 1, blocks);
    }
    return BlockResult::Done;
}

// One Write block exchange.  The 21 bytes are the command byte, the offset,
// the length byte, the sixteen image bytes and their checksum.  false when the
// ack or the result byte is missing or the master rejected the block.
bool WriteBlock(MainState& s, int offset) {
    uint8_t frame[21];
    frame[0] = kCmdWriteBlock;
    PutWriteBlockArgs(frame + 1, uint16_t(offset), s.programImage + offset);

    uint8_t reply = 0;
    SioPutChars(s, frame, 1);
    if (SioGetChars(s, &reply, 1) != 1) return false;
    SioPutChars(s, frame + 1, 20);
    if (SioGetChars(s, &reply, 1) != 1) return false;
    return reply != kRejected;
}

// The loaded state after a successful Load or Verify.
void EnterLoadedState(MainState& s) {
    Form& f = s.form;
    if (s.programHasBaudChange) {
        // Run, Stop, Break and Step stay as the last program change left them.
        s.message("Program contains a baud rate change - cannot run interactively");
    } else {
        s.programLoaded = true;
        UpdateExecutionButtons(s);
    }
    f.LoadLabel.caption = "  Loaded  ";
    f.LoadLabel.color = kGreen;
}

}  // namespace

// One Read block exchange: reply holds the sixteen image bytes and one byte
// that is never examined.  false when the ack is missing or the reply short.
bool ReadImageBlock(MainState& s, int offset, uint8_t (&reply)[17]) {
    const uint8_t command = kCmdReadBlock;
    uint8_t args[3];
    PutReadBlockArgs(args, uint16_t(offset));
    uint8_t ack = 0;
    SioPutChars(s, &command, 1);
    if (SioGetChars(s, &ack, 1) != 1) return false;
    SioPutChars(s, args, 3);
    return SioGetChars(s, reply, 17) == 17;
}

void DownloadButtonClick(MainState& s) {
    s.programHasBaudChange = false;
    if (AssembleProgram(s) != 0) return;

    s.progress.label2 = Format("      Downloading (%d bytes)...", int(s.imageLength));
    ShowProgress(s, 2);

    const auto write = [&s](int offset, int) {
        return WriteBlock(s, offset) ? BlockResult::Done : BlockResult::NoReply;
    };
    if (TransferBlocks(s, write) != BlockResult::Done) return;

    HideProgress(s);
    SetMasterVerdict(s, MasterVerdict::Same);
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

    const auto compare = [&s](int offset, int end) {
        uint8_t reply[17];
        if (!ReadImageBlock(s, offset, reply)) return BlockResult::NoReply;
        // Only image bytes are compared: not the bytes of the last block that
        // lie beyond the image, and never the seventeenth reply byte.
        for (int i = offset; i < end; ++i)
            if (reply[i - offset] != s.programImage[i]) return BlockResult::Mismatch;
        return BlockResult::Done;
    };
    switch (TransferBlocks(s, compare)) {
        case BlockResult::Done: break;
        case BlockResult::Mismatch:
            SetMasterVerdict(s, MasterVerdict::Different);
            s.message("Program listing does not match loaded program!");
            return;
        case BlockResult::NoReply: return;
    }

    HideProgress(s);
    SetMasterVerdict(s, MasterVerdict::Same);
    s.message("Loaded program matches program listing.");
    EnterLoadedState(s);
    RestartButtonClick(s);
}
