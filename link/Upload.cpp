// Reading the program image back from the master, and comparing an image with
// the master's.

#include "link/Upload.h"

#include <chrono>
#include <cstring>

#include "isa/Format.h"
#include "link/Download.h"
#include "link/LinkState.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "program/ProgramState.h"

namespace {

constexpr int kHeaderBytes = 2;
constexpr int kReplyBytes = 17;

uint16_t Header(const uint8_t* block) { return uint16_t(block[0] | (block[1] << 8)); }

// Reads blocks so that no byte damaged on the line passes.  The seventeenth
// reply byte belongs to the master: it is trusted as a checksum only after
// the first blocks, each read twice and found equal, all carried one (the sum
// of the sixteen bytes, or that sum with the offset and length bytes as Write
// block sums them).  From then on a block is read once and its checksum
// checked; a master without one has every block read until two reads in a
// row agree.  Bytes waiting after a reply (a reply longer than asked for)
// spoil it: the line is drained and the block read again.
class BlockReader {
public:
    enum class Result { Done, NoReply, Unreliable };

    explicit BlockReader(LinkState& s) : s_(s) {}

    Result read(int offset, uint8_t (&block)[kReplyBytes]) {
        uint8_t previous[kReplyBytes];
        bool havePrevious = false;
        // Bytes waiting before the first request: the last reply ran longer
        // than asked, too late to be seen after it.
        stale_ = SioTest(s_) > 0;
        for (int reads = 0; reads < kMaxReads; ++reads) {
            if (SioTest(s_) > 0) DrainUntilQuiet(s_);
            if (!ReadImageBlock(s_, offset, block)) return Result::NoReply;
            if (SioTest(s_) > 0) {
                DrainUntilQuiet(s_);
                havePrevious = false;
                continue;
            }
            if (check_ == Check::Data || check_ == Check::Framed) {
                if (block[kBlockLength] == Sum(check_, offset, block)) return Result::Done;
                DrainUntilQuiet(s_);
                continue;
            }
            if (havePrevious && std::memcmp(previous, block, kReplyBytes) == 0) {
                if (check_ == Check::Learning) learn(offset, block);
                return Result::Done;
            }
            if (havePrevious) DrainUntilQuiet(s_);
            std::memcpy(previous, block, kReplyBytes);
            havePrevious = true;
        }
        return Result::Unreliable;
    }

    // Whether the last read found bytes of an earlier reply still coming:
    // the block read before it may have been read out of step.
    bool staleBefore() const { return stale_; }

    // After the last block: a reply that ran longer shows now.
    bool lineQuiet() {
        if (!ReplyOverran(s_, std::chrono::microseconds(2000))) return true;
        DrainUntilQuiet(s_);
        return false;
    }

private:
    enum class Check { Learning, Data, Framed, None };
    static constexpr int kMaxReads = 6;
    static constexpr int kLearnBlocks = 4;

    static uint8_t Sum(Check form, int offset, const uint8_t* block) {
        uint8_t sum = ProtocolSum(block, kBlockLength);
        if (form == Check::Framed) sum = uint8_t(sum + uint8_t(offset) + uint8_t(offset >> 8) + kBlockLength);
        return sum;
    }

    void learn(int offset, const uint8_t* block) {
        data_ = data_ && block[kBlockLength] == Sum(Check::Data, offset, block);
        framed_ = framed_ && block[kBlockLength] == Sum(Check::Framed, offset, block);
        if (!data_ && !framed_) check_ = Check::None;
        else if (++learnt_ >= kLearnBlocks) check_ = data_ ? Check::Data : Check::Framed;
    }

    LinkState& s_;
    Check check_ = Check::Learning;
    bool data_ = true, framed_ = true;
    int learnt_ = 0;
    bool stale_ = false;
};

// The message of a block that never read the same twice.
void Unreliable(LinkState& s, int offset) {
    s.host->hideProgress();
    s.host->message(Format("Block at offset %d of the program in master could not be read reliably", offset));
}

// Reads blocks from offset `from` on while offset < length into image,
// telling the progress hook (blocks done counting the first).  false after
// the not-responding procedure or the message of an unreliable block.
bool ReadBlocks(LinkState& s, BlockReader& reader, int from, int length, uint8_t* image) {
    const int blocks = (length + kBlockLength - 1) / kBlockLength;
    int last = 0;
    for (int offset = from; offset < length; offset += kBlockLength) {
        uint8_t reply[kReplyBytes];
        switch (reader.read(offset, reply)) {
            case BlockReader::Result::NoReply:
                s.host->hideProgress();
                NotResponding(s);
                return false;
            case BlockReader::Result::Unreliable: Unreliable(s, offset); return false;
            case BlockReader::Result::Done: break;
        }
        std::memcpy(image + offset, reply, kBlockLength);
        // The block before may have been read out of step: read it again
        // (the first block's length must hold).
        if (reader.staleBefore() && offset >= kBlockLength) {
            const int before = offset - kBlockLength;
            uint8_t again[kReplyBytes];
            switch (reader.read(before, again)) {
                case BlockReader::Result::NoReply:
                    s.host->hideProgress();
                    NotResponding(s);
                    return false;
                case BlockReader::Result::Unreliable: Unreliable(s, before); return false;
                case BlockReader::Result::Done: break;
            }
            if (before == 0 && Header(again) != Header(image)) {
                Unreliable(s, 0);
                return false;
            }
            std::memcpy(image + before, again, kBlockLength);
        }
        last = offset;
        if (s.progressHook) s.progressHook(offset / kBlockLength + 1, blocks);
    }
    if (reader.lineQuiet()) return true;
    // The last reply ran longer: read it again.
    uint8_t reply[kReplyBytes];
    switch (reader.read(last, reply)) {
        case BlockReader::Result::NoReply:
            s.host->hideProgress();
            NotResponding(s);
            return false;
        case BlockReader::Result::Unreliable: Unreliable(s, last); return false;
        case BlockReader::Result::Done: break;
    }
    // The length is known from the first read of block 0: it must hold.
    if (last == 0 && Header(reply) != Header(image)) {
        Unreliable(s, 0);
        return false;
    }
    std::memcpy(image + last, reply, kBlockLength);
    return true;
}

// The first block, which holds the length.  false after its message.
bool ReadFirstBlock(LinkState& s, BlockReader& reader, uint8_t (&first)[kReplyBytes]) {
    switch (reader.read(0, first)) {
        case BlockReader::Result::NoReply:
            s.host->hideProgress();
            NotResponding(s);
            return false;
        case BlockReader::Result::Unreliable: Unreliable(s, 0); return false;
        case BlockReader::Result::Done: break;
    }
    return true;
}

}  // namespace

int ReadMasterImage(LinkState& s, std::vector<uint8_t>& image) {
    BlockReader reader(s);
    uint8_t first[kReplyBytes];
    if (!ReadFirstBlock(s, reader, first)) return -1;
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
    if (!ReadBlocks(s, reader, kBlockLength, length, bytes.data())) return -1;
    s.host->hideProgress();
    bytes.resize(size_t(length));
    image = std::move(bytes);
    return 0;
}

ImageComparison CompareMasterImage(LinkState& s, const std::vector<uint8_t>& mine, bool whole) {
    BlockReader reader(s);
    uint8_t first[kReplyBytes];
    if (!ReadFirstBlock(s, reader, first)) return s.online ? ImageComparison::Unreliable : ImageComparison::NoReply;
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
    if (!ReadBlocks(s, reader, kBlockLength, length, theirs.data()))
        return s.online ? ImageComparison::Unreliable : ImageComparison::NoReply;
    s.host->hideProgress();
    return std::memcmp(theirs.data(), mine.data(), mine.size()) == 0 ? ImageComparison::Same
                                                                     : ImageComparison::Different;
}

ImageComparison ReadImageForComparison(LinkState& s, const std::vector<uint8_t>& mine, std::vector<uint8_t>& theirs) {
    theirs.clear();
    BlockReader reader(s);
    uint8_t first[kReplyBytes];
    if (!ReadFirstBlock(s, reader, first)) return s.online ? ImageComparison::Unreliable : ImageComparison::NoReply;
    const int length = Header(first);
    if (length < kHeaderBytes || length > kImageSize) {
        s.host->hideProgress();
        if (length < kHeaderBytes) return ImageComparison::Empty;
        theirs.assign(first, first + kBlockLength);
        return ImageComparison::Different;
    }
    std::vector<uint8_t> bytes(size_t((length + kBlockLength - 1) / kBlockLength * kBlockLength));
    std::memcpy(bytes.data(), first, kBlockLength);
    if (s.progressHook) s.progressHook(1, int(bytes.size()) / kBlockLength);
    if (!ReadBlocks(s, reader, kBlockLength, length, bytes.data()))
        return s.online ? ImageComparison::Unreliable : ImageComparison::NoReply;
    s.host->hideProgress();
    bytes.resize(size_t(length));
    theirs = std::move(bytes);
    return theirs == mine ? ImageComparison::Same : ImageComparison::Different;
}
