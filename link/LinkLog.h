#pragma once
// The link log: every byte that passed the serial port, with its direction
// and the microsecond it passed, kept in a bounded ring; and the reading of
// those bytes as host-protocol exchanges (command, arguments, acknowledge,
// reply, verdict), with module frames and their replies decoded from the
// instruction set's descriptions.
//
// Recording is a copy into rings allocated once: it never blocks and never
// allocates.  Reading is done only when someone asks (the Link Log window,
// stepwright-cli decode), by a decoder that can be fed in pieces.
//
// The saved form is line-based text (docs/link-log.md):
//   # stepwright link log 1
//   # types 127 0 0 2 3 ...       module type by address 0 to 31 (optional)
//   12345 > 83                    microseconds, ">" sent, hex bytes
//   12480 < 00                    "<" received
//   112600 -                      a read ended before every byte asked arrived
//   112700 ! 8E                   the device was gone: a write that failed
//   112800 x 41 42                bytes a purge threw away
//
// Nothing here throws; a malformed file is refused with its line number.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class LinkDir : uint8_t {
    Sent,      // host to master
    Received,  // master to host
    Short,     // a read returned fewer bytes than asked (no bytes of its own)
    Lost,      // the port's device was gone: the bytes of a write that failed, or none
    Discarded, // received bytes that the host threw away unread (a purge)
};

// Runs of bytes as copied out of the ring or read from a file: heads in
// order, each naming its bytes in `bytes`.
struct LinkRuns {
    struct Head {
        uint64_t t_us;
        LinkDir dir;
        uint32_t at;  // first byte in bytes
        uint32_t len;
    };
    std::vector<Head> heads;
    std::vector<uint8_t> bytes;
    void clear() {
        heads.clear();
        bytes.clear();
    }
};

class LinkLog {
public:
    // The default keeps the newest 2 MiB of bytes in at most 1,114,112 runs:
    // at least the last million bytes even when every run is one byte.
    static constexpr size_t kDefaultBytes = size_t(1) << 21;
    static constexpr size_t kDefaultRuns = (size_t(1) << 20) + (size_t(1) << 16);

    // byteCapacity is rounded up to a power of two.
    explicit LinkLog(size_t byteCapacity = kDefaultBytes, size_t runCapacity = kDefaultRuns);

    void sent(const uint8_t* data, int count) { append(LinkDir::Sent, data, count); }
    void received(const uint8_t* data, int count) { append(LinkDir::Received, data, count); }
    void readShort() { append(LinkDir::Short, nullptr, 0); }
    void lost(const uint8_t* data, int count) { append(LinkDir::Lost, data, count); }
    void discarded(const uint8_t* data, int count) { append(LinkDir::Discarded, data, count); }

    // Run numbers count every run ever recorded; the ring keeps [first, end).
    uint64_t endRun() const { return runsWritten_; }
    uint64_t firstRun() const { return firstRun_; }
    // Appends to out the runs from number `from` (or the oldest kept, when
    // that one has been overwritten) to the newest; returns the number of the
    // first run copied.
    uint64_t copyRuns(uint64_t from, LinkRuns& out) const;
    // Forgets every run (the clock goes on).
    void clear();

private:
    struct Slot {
        uint64_t t_us;
        uint32_t start;  // byte number (modulo 2^32) of its first byte
        uint16_t len;
        LinkDir dir;
    };
    void append(LinkDir dir, const uint8_t* data, int count);
    void push(LinkDir dir, uint64_t t, const uint8_t* data, uint32_t count);

    // Allocated once and left uninitialised: a page costs memory only once
    // bytes have been written to it.
    std::unique_ptr<uint8_t[]> bytes_;
    std::unique_ptr<Slot[]> slots_;
    uint32_t byteCapacity_;
    size_t slotCapacity_;
    uint32_t byteMask_;
    uint32_t bytesWritten_ = 0;  // modulo 2^32
    uint64_t runsWritten_ = 0;
    uint64_t firstRun_ = 0;
    std::chrono::steady_clock::time_point t0_;
};

enum class LinkVerdict : uint8_t {
    Ok,
    MissingReply,
    Refused,
    ChecksumMismatch,
    Unsolicited,
    Printed,
    PortLost,
    Discarded,
};
inline constexpr int kLinkVerdicts = 8;

// "ok", "missing-reply", "refused", "checksum-mismatch", "unsolicited",
// "printed", "port-lost", "discarded".
const char* LinkVerdictId(LinkVerdict v);
// As the window shows it: "ok", "missing reply", "refused (0xCC)", ...
const char* LinkVerdictCaption(LinkVerdict v);

// One exchange: what the host sent (the command byte first) and received
// (the acknowledge first), in the order they passed.
struct LinkExchange {
    uint64_t t_us = 0;
    int code = -1;             // the command byte; -1 for unsolicited bytes and typed keys
    const char* command = "";  // "Write block", "Unsolicited", "Key", ...
    std::string summary;       // decoded, one line, Latin-1
    std::string text;          // printed characters (poll answers, unsolicited bytes)
    LinkVerdict verdict = LinkVerdict::Ok;
    std::vector<uint8_t> sent, received;
};

// The names of the exchanges' commands, for a filter: the host commands by
// code, then "Unsolicited" and "Key".
const std::vector<std::string>& LinkCommandNames();

// Reads runs as exchanges, piece by piece.  Exchanges come out when they
// end: their reply is complete, a read ended short, or the host sent the
// next command.
class LinkDecoder {
public:
    LinkDecoder();
    // Module types by address (0 to 31; -1 unknown) used to decode module
    // frames; the types that detection asks for in the log are learnt too.
    void setModuleTypes(const int32_t* types32);
    void feed(uint64_t t_us, LinkDir dir, const uint8_t* data, uint32_t len, std::vector<LinkExchange>& out);
    void feed(const LinkRuns& runs, std::vector<LinkExchange>& out);
    // Ends the exchange in progress (at the end of a log): a reply still
    // awaited is missing.
    void finish(std::vector<LinkExchange>& out);
    // The unsolicited bytes gathered so far and not yet ended by a command
    // (shown live by the window); false when there are none.
    bool pendingUnsolicited(LinkExchange& out) const;

private:
    enum class Phase : uint8_t { Idle, Ack, Args, Reply, PollText, PollStatus, Unsolicited };
    void sentByte(uint64_t t, uint8_t b, std::vector<LinkExchange>& out);
    void receivedByte(uint64_t t, uint8_t b, std::vector<LinkExchange>& out);
    void start(uint64_t t, uint8_t b, std::vector<LinkExchange>& out);
    void afterArgs(std::vector<LinkExchange>& out);
    void close(LinkVerdict v, std::vector<LinkExchange>& out);
    void complete(std::vector<LinkExchange>& out);
    void cutOff(std::vector<LinkExchange>& out);
    std::string describeExecute(const std::vector<uint8_t>& frame);
    std::string describeReply(const uint8_t* data, int n);

    void lost(uint64_t t, const uint8_t* data, uint32_t len, std::vector<LinkExchange>& out);

    Phase phase_ = Phase::Idle;
    bool afterLost_ = false;  // the last run told of a lost port
    int left_ = 0;   // bytes still expected in this phase
    int stage_ = 0;  // Execute: 0 count, 1 frame
    bool argsBegun_ = false;  // a write gave only part of the arguments
    LinkExchange cur_;
    int32_t types_[32];
    // The last instruction executed, for the Read reply that fetches its data.
    std::vector<uint8_t> lastFrame_;
};

// Every exchange of runs, the one in progress at the end included.
std::vector<LinkExchange> DecodeLinkRuns(const LinkRuns& runs, const int32_t* types32);

// The saved form; types32 may be null.
std::string FormatLinkLog(const LinkRuns& runs, const int32_t* types32);
// Reads the saved form into runs and types (types left -1 when the file
// names none).  "" or the reason, "line N: ...".
std::string ParseLinkLog(std::string_view text, LinkRuns& runs, int32_t (&types)[32]);

// "83 10 00" (upper-case hex, one blank apart).
std::string LinkHex(const std::vector<uint8_t>& bytes);
// Latin-1 text with control characters as \r, \n, \xNN.
std::string LinkVisibleText(std::string_view text);
// One JSON object on one line (no newline): t_us, code, command, verdict,
// summary, sent, received and, when there is any, text.
std::string LinkExchangeJson(const LinkExchange& e);
// One text line (no newline): time in seconds, command, verdict, summary.
std::string LinkExchangeLine(const LinkExchange& e);
