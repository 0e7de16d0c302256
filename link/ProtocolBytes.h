#pragma once
// The host protocol's bytes as they travel on the line: the command bytes the
// host sends, the bytes the master answers with, and the checksum both sides
// compute.  Plain constants, shared by the host side and the simulated master.

#include <cstdint>

inline constexpr uint8_t kCmdStop = 0x80;
inline constexpr uint8_t kCmdRun = 0x81;
inline constexpr uint8_t kCmdBreak = 0x82;        // argument 0xFFFF clears the breakpoint
inline constexpr uint8_t kCmdWriteBlock = 0x83;
inline constexpr uint8_t kCmdReadBlock = 0x84;
inline constexpr uint8_t kCmdExecute = 0x85;
inline constexpr uint8_t kCmdStep = 0x86;
inline constexpr uint8_t kCmdReadReply = 0x87;
inline constexpr uint8_t kCmdVersion = 0x88;
inline constexpr uint8_t kCmdPoll = 0x8E;
inline constexpr uint8_t kCmdReset = 0x8F;

inline constexpr uint8_t kAccepted = 0x00;        // result byte: block or instruction taken
inline constexpr uint8_t kRejected = 0xCC;        // result byte: checksum or request refused
inline constexpr uint8_t kPollMarker = 0x55;      // "U": ends the printed characters of a poll answer
inline constexpr uint8_t kAnnounce = 0x23;        // "#": the master has (re)started

inline constexpr uint8_t kStatusBRunning = 0x01;  // status byte B of the Stop and poll answers: running

inline constexpr uint8_t kBlockLength = 0x10;     // image bytes in one Write block / Read block

// Checksum of the protocol: the sum of the bytes, modulo 256.
inline uint8_t ProtocolSum(const uint8_t* bytes, int count) {
    unsigned sum = 0;
    for (int i = 0; i < count; ++i) sum += bytes[i];
    return uint8_t(sum);
}

// The 20 argument bytes of Write block: the offset (low byte first), the
// length byte, the sixteen image bytes and the checksum over all of them.
inline void PutWriteBlockArgs(uint8_t* args, uint16_t offset, const uint8_t* block16) {
    args[0] = uint8_t(offset & 0xFF);
    args[1] = uint8_t(offset >> 8);
    args[2] = kBlockLength;
    for (int i = 0; i < kBlockLength; ++i) args[3 + i] = block16[i];
    args[19] = ProtocolSum(args, 19);
}

// The 3 argument bytes of Read block: the offset (low byte first) and the length byte.
inline void PutReadBlockArgs(uint8_t* args, uint16_t offset) {
    args[0] = uint8_t(offset & 0xFF);
    args[1] = uint8_t(offset >> 8);
    args[2] = kBlockLength;
}
