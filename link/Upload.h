#pragma once
// Reading the program image back from the master: its length from the first
// block, then every block with Read block, as Verify reads them; and the
// comparison of an image with the master's.  Putting what was read into the
// window is the window's (app/MasterProgram.h).

#include <cstdint>
#include <vector>

struct LinkState;

// Reads the master's image into image (its length bytes included).  0, or -1
// after its message: the not-responding procedure for a missing reply,
// "Master holds no program" / "Program in master claims %d bytes - more than
// memory (16384)" for a length header that cannot be an image, or "Block at
// offset %d of the program in master could not be read reliably".
//
// No byte damaged on the line passes: the first blocks are read twice, and
// the reply's seventeenth byte is taken as a checksum only when all of them
// carried one (then every later block is read once and checked), otherwise
// every block is read until two reads agree; a reply followed by more bytes
// than asked for is drained and read again (the block before it too, when
// the bytes come only after the next request).  The host's
// progress notice, shown by the caller or not, is hidden at every end; the
// progress hook is told after every block.
int ReadMasterImage(LinkState& s, std::vector<uint8_t>& image);

// Images up to this length are compared whole after a detection.
constexpr int kAutoCompareBytes = 1024;

enum class ImageComparison : uint8_t {
    NoReply,     // the not-responding procedure has run
    Same,
    Different,
    NotRead,     // lengths agree but the image is longer than kAutoCompareBytes
    Empty,       // the master's length header is below 2: it holds no program
    Unreliable,  // a block never read the same twice (its message has been shown)
};

// Compares mine (an image, its length bytes included) with the master's: the
// length first, then (when the lengths agree and the image is at most
// kAutoCompareBytes long, or always when whole is set) every block.  The
// host's progress notice is hidden once the answer is known (not for
// NotRead).  No message but the not-responding procedure's.
ImageComparison CompareMasterImage(LinkState& s, const std::vector<uint8_t>& mine, bool whole);

// Reads the master's whole image into theirs (its length bytes included) to
// show where it differs from mine: Same or Different, Empty for a length
// below 2 (theirs empty), NoReply, or Unreliable after its message.  A length
// above memory is Different, with only the first block's bytes in theirs.
// The progress notice is hidden at every end.
ImageComparison ReadImageForComparison(LinkState& s, const std::vector<uint8_t>& mine, std::vector<uint8_t>& theirs);
