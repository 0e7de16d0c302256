// Reading the program image back from the master, and comparing an image with
// the master's.

#include "link/Upload.h"

#include <cstring>

#include "isa/Format.h"
#include "link/Download.h"
#include "link/LinkState.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "program/ProgramState.h"

namespace {

constexpr int kHeaderBytes = 2;

uint16_t Header(const uint8_t* block) { return uint16_t(block[0] | (block[1] << 8)); }

// Reads blocks from offset `from` on while offset < length into image,
// telling the progress hook (blocks done counting the first).  false after
// the not-responding procedure.
bool ReadBlocks(LinkState& s, int from, int length, uint8_t* image) {
    const int blocks = (length + kBlockLength - 1) / kBlockLength;
    for (int offset = from; offset < length; offset += kBlockLength) {
        uint8_t reply[17];
        if (!ReadImageBlock(s, offset, reply)) {
            s.host->hideProgress();
            NotResponding(s);
            return false;
        }
        std::memcpy(image + offset, reply, kBlockLength);
        if (s.progressHook) s.progressHook(offset / kBlockLength + 1, blocks);
    }
    return true;
}

}  // namespace

int ReadMasterImage(LinkState& s, std::vector<uint8_t>& image) {
    uint8_t first[17];
    if (!ReadImageBlock(s, 0, first)) {
        s.host->hideProgress();
        NotResponding(s);
        return -1;
    }
    const int length = Header(first);
    if (length < kHeaderBytes || length > kImageSize) {
        s.host->hideProgress();
        s.host->message(length < kHeaderBytes
                            ? Format("Master holds no program (length %d)", length)
                            : Format("Program in master claims %d bytes - more than memory (%d)", length, kImageSize));
        return -1;
    }
    std::vector<uint8_t> bytes(size_t((length + kBlockLength - 1) / kBlockLength * kBlockLength));
    std::memcpy(bytes.data(), first, kBlockLength);
    if (s.progressHook) s.progressHook(1, int(bytes.size()) / kBlockLength);
    if (!ReadBlocks(s, kBlockLength, length, bytes.data())) return -1;
    s.host->hideProgress();
    bytes.resize(size_t(length));
    image = std::move(bytes);
    return 0;
}

ImageComparison CompareMasterImage(LinkState& s, const std::vector<uint8_t>& mine, bool whole) {
    uint8_t first[17];
    if (!ReadImageBlock(s, 0, first)) {
        s.host->hideProgress();
        NotResponding(s);
        return ImageComparison::NoReply;
    }
    const int length = Header(first);
    if (length != int(mine.size())) {
        s.host->hideProgress();
        return length < kHeaderBytes ? ImageComparison::Empty : ImageComparison::Different;
    }
    if (length > kAutoCompareBytes && !whole) return ImageComparison::NotRead;
    // At least one block: the first one is copied in whatever the length.
    const int blocks = length > kBlockLength ? (length + kBlockLength - 1) / kBlockLength : 1;
    std::vector<uint8_t> theirs(size_t(blocks * kBlockLength));
    std::memcpy(theirs.data(), first, kBlockLength);
    if (!ReadBlocks(s, kBlockLength, length, theirs.data())) return ImageComparison::NoReply;
    s.host->hideProgress();
    return std::memcmp(theirs.data(), mine.data(), mine.size()) == 0 ? ImageComparison::Same
                                                                     : ImageComparison::Different;
}
