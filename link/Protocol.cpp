// The master's host protocol.  Every exchange is a blocking sequence of
// writes and reads on the one port; a missing or short reply ends it at once
// and falls back on the not-responding procedure.

#include "link/Protocol.h"

#include <algorithm>
#include <thread>

#include "isa/Format.h"
#include "link/LinkState.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"

namespace {

void SendByte(LinkState& s, uint8_t b) { SioPutChars(s, &b, 1); }

// Sends the command byte and waits for its acknowledge byte (any value).
// false after the not-responding procedure: nothing more may be sent.
bool SendCommandAcked(LinkState& s, uint8_t command) {
    SendByte(s, command);
    uint8_t ack;
    if (SioGetChars(s, &ack, 1) < 1) {
        NotResponding(s);
        return false;
    }
    return true;
}

// Reads exactly count bytes; false after the not-responding procedure.
bool ReadReply(LinkState& s, uint8_t* buffer, int count) {
    if (SioGetChars(s, buffer, count) < count) {
        NotResponding(s);
        return false;
    }
    return true;
}

// Reads the result byte that follows a checksum: none or 0xCC is a failure.
int ReadResult(LinkState& s) {
    uint8_t result;
    if (SioGetChars(s, &result, 1) < 1 || result == kRejected) {
        NotResponding(s);
        return -1;
    }
    return 0;
}

// Commands whose only argument is a 16-bit address (Run, Set breakpoint, Step).
int AddressCommand(LinkState& s, uint8_t command, uint16_t address) {
    if (!SendCommandAcked(s, command)) return -1;
    const uint8_t args[2] = {uint8_t(address & 0xFF), uint8_t(address >> 8)};
    SioPutChars(s, args, 2);
    return 0;
}

}  // namespace

void NotResponding(LinkState& s) {
    // A silent master is reported once: nothing happens while off line.
    if (!s.online) return;
    SioMessage(s, "Stepwright not responding");
    s.online = false;
    // With a port open the poll keeps watching for the master's "#".
    if (s.port) s.pollTimerOn = true;
    s.host->linkLost();
}

int HostStop(LinkState& s) {
    SendByte(s, kCmdStop);
    uint8_t reply[6];
    if (!ReadReply(s, reply, 6)) return -1;
    s.status.moduleCount = reply[1];
    s.status.statusA = reply[2];
    s.status.statusB = reply[3];
    s.status.programAddress = uint16_t(reply[4] | (reply[5] << 8));
    s.host->programStopped(s.status.programAddress);
    return 0;
}

int HostRun(LinkState& s, uint16_t address) { return AddressCommand(s, kCmdRun, address); }

int HostSetBreakpoint(LinkState& s, uint16_t address) { return AddressCommand(s, kCmdBreak, address); }

int HostStep(LinkState& s, uint16_t address) { return AddressCommand(s, kCmdStep, address); }

int HostReadBlock(LinkState& s, uint16_t offset, uint8_t* reply17) {
    if (!SendCommandAcked(s, kCmdReadBlock)) return -1;
    uint8_t args[3];
    PutReadBlockArgs(args, offset);
    SioPutChars(s, args, 3);
    return ReadReply(s, reply17, 17) ? 0 : -1;
}

int HostExecute(LinkState& s, const uint8_t* bytes, int count) {
    // The count travels as one byte.
    if (count < 0 || count > 255 || (count > 0 && !bytes)) {
        s.host->message(Format("Cannot execute an instruction of %d bytes", count));
        return -1;
    }
    if (!SendCommandAcked(s, kCmdExecute)) return -1;
    uint8_t frame[257];
    frame[0] = uint8_t(count);
    for (int i = 0; i < count; ++i) frame[1 + i] = bytes[i];
    frame[1 + count] = ProtocolSum(bytes, count);
    SioPutChars(s, frame, count + 2);
    return ReadResult(s);
}

int HostReadReply(LinkState& s, uint8_t* buffer, int count) {
    if (count < 0 || count > 255 || !buffer) {
        s.host->message(Format("Cannot read a reply of %d bytes", count));
        return -1;
    }
    if (!SendCommandAcked(s, kCmdReadReply)) return -1;
    SendByte(s, uint8_t(count));
    if (!ReadReply(s, buffer, count + 1)) return -1;
    return ProtocolSum(buffer, count) == buffer[count] ? 0 : -2;
}

int HostVersion(LinkState& s) {
    SendByte(s, kCmdVersion);
    uint8_t reply[2];
    if (!ReadReply(s, reply, 2)) return -1;
    return reply[1];
}

int HostReset(LinkState& s) {
    SendByte(s, kCmdReset);
    return 0;
}

namespace {

// After a bad reply the line is drained until it has been quiet this long,
// but for no longer than the limit.
constexpr auto kQuietTime = std::chrono::milliseconds(20);
constexpr auto kDrainLimit = std::chrono::milliseconds(300);

}  // namespace

bool ReplyOverran(LinkState& s, std::chrono::microseconds settle) {
    if (SioTest(s) > 0) return true;
    if (settle.count() <= 0) return false;
    std::this_thread::sleep_for(settle);
    return SioTest(s) > 0;
}

Drained DrainUntilQuiet(LinkState& s) {
    using Clock = std::chrono::steady_clock;
    Drained d;
    const Clock::time_point start = Clock::now();
    Clock::time_point lastByte = start;
    uint8_t chunk[256];
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now - lastByte >= kQuietTime) {
            d.quiet = true;
            return d;
        }
        if (now - start >= kDrainLimit) return d;
        const int waiting = SioTest(s);
        if (waiting <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const int got = SioGetChars(s, chunk, std::min(waiting, int(sizeof chunk)));
        if (got > 0) {
            d.bytes += size_t(got);
            d.last = chunk[got - 1];
            lastByte = Clock::now();
        }
    }
}
