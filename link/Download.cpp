// The block exchanges of download and verify: the program image is written
// into the master (Load) or read back and compared (Verify) in 16-byte blocks.
// Both block exchanges are sent here inline, so that a failure hides the
// progress notice before the not-responding message is shown.

#include "link/Download.h"

#include "link/LinkState.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "program/ProgramState.h"

namespace {

// Blocks start below the image length and never run past the image buffer:
// the buffer size is a multiple of the block size.
int BlockLimit(const ProgramState& p) { return p.imageLength < kImageSize ? p.imageLength : kImageSize; }

// Runs exchange(offset, end) for every block of the image in turn, end being
// where the block's image bytes end, and reports each block done to the
// progress hook.  The first block that is not Done ends the transfer: the
// progress notice is hidden, and for a missing reply the not-responding
// procedure follows.  Returns the last block's result.
template <class Exchange>
BlockResult TransferBlocks(LinkState& s, const ProgramState& p, Exchange exchange) {
    const int limit = BlockLimit(p);
    const int blocks = (limit + kBlockLength - 1) / kBlockLength;
    for (int offset = 0; offset < limit; offset += kBlockLength) {
        const int end = offset + kBlockLength < limit ? offset + kBlockLength : limit;
        const BlockResult result = exchange(offset, end);
        if (result != BlockResult::Done) {
            s.host->hideProgress();
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
bool WriteBlock(LinkState& s, const uint8_t* image, int offset) {
    uint8_t frame[21];
    frame[0] = kCmdWriteBlock;
    PutWriteBlockArgs(frame + 1, uint16_t(offset), image + offset);

    uint8_t reply = 0;
    SioPutChars(s, frame, 1);
    if (SioGetChars(s, &reply, 1) != 1) return false;
    SioPutChars(s, frame + 1, 20);
    if (SioGetChars(s, &reply, 1) != 1) return false;
    return reply != kRejected;
}

}  // namespace

bool ReadImageBlock(LinkState& s, int offset, uint8_t (&reply)[17]) {
    const uint8_t command = kCmdReadBlock;
    uint8_t args[3];
    PutReadBlockArgs(args, uint16_t(offset));
    uint8_t ack = 0;
    SioPutChars(s, &command, 1);
    if (SioGetChars(s, &ack, 1) != 1) return false;
    SioPutChars(s, args, 3);
    return SioGetChars(s, reply, 17) == 17;
}

BlockResult WriteImage(LinkState& s, const ProgramState& p) {
    return TransferBlocks(s, p, [&](int offset, int) {
        return WriteBlock(s, p.programImage, offset) ? BlockResult::Done : BlockResult::NoReply;
    });
}

BlockResult VerifyImage(LinkState& s, const ProgramState& p, int* differsAt) {
    return TransferBlocks(s, p, [&](int offset, int end) {
        uint8_t reply[17];
        if (!ReadImageBlock(s, offset, reply)) return BlockResult::NoReply;
        // Only image bytes are compared: not the bytes of the last block that
        // lie beyond the image, and never the seventeenth reply byte.
        for (int i = offset; i < end; ++i)
            if (reply[i - offset] != p.programImage[i]) {
                if (differsAt) *differsAt = i;
                return BlockResult::Mismatch;
            }
        return BlockResult::Done;
    });
}
