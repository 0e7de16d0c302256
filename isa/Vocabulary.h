#pragma once
// The instruction set's vocabulary: the two instruction forms, the command
// codes of the four families, the status items and status bits of the slave
// modules, the module type codes, and the one way a module frame is put
// together.  Every layer that writes or reads instruction bytes (families,
// assembly, execution, detection, status windows, command line, simulated
// master) names its bytes from here.  Plain constants and inline routines,
// with no dependency beyond <cstdint>, so that the simulator can share them.
//
// A command byte of a module frame carries the number of its data bytes in
// its high four bits; the family tables in isa/ give the data bytes.

#include <cstdint>

// ---------------------------------------------------------------------------
// Instruction forms

inline constexpr uint8_t kMasterMarker = 0xBB;   // byte 0 of a master instruction
inline constexpr uint8_t kFrameHeader = 0xAA;    // byte 0 of a module frame
inline constexpr uint8_t kNoTarget = 0xFF;       // both bytes of an unpatched jump target

// ---------------------------------------------------------------------------
// Module type codes (what a module answers to the type status item)

inline constexpr int kTypeServo = 0;
inline constexpr int kTypeIo = 2;
inline constexpr int kTypeStepper = 3;
inline constexpr int kTypeMaster = 127;
inline constexpr int kTypeUnknown = 255;   // any other detected type

inline constexpr bool IsServo(int type) { return type == kTypeServo; }
inline constexpr bool IsIo(int type) { return type == kTypeIo; }
inline constexpr bool IsStepper(int type) { return type == kTypeStepper; }
inline constexpr bool IsMaster(int type) { return type == kTypeMaster; }
// A slave module type with a family: servo, I/O or stepper.
inline constexpr bool IsKnownSlave(int type) { return IsServo(type) || IsIo(type) || IsStepper(type); }
// A type with a family (encoder, loader and listing rows), the master included.
inline constexpr bool HasFamily(int type) { return IsKnownSlave(type) || IsMaster(type); }

// ---------------------------------------------------------------------------
// Master command codes: byte 2 of every master instruction.  Codes 16 and 17
// are not used.

namespace MasterCmd {
inline constexpr uint8_t kGoTo = 0;
inline constexpr uint8_t kCall = 1;
inline constexpr uint8_t kReturn = 2;
inline constexpr uint8_t kIfGoTo = 3;
inline constexpr uint8_t kStopProgram = 4;
inline constexpr uint8_t kPrint = 5;
inline constexpr uint8_t kSetTimer = 6;
inline constexpr uint8_t kGetStatus = 7;
inline constexpr uint8_t kMonitorSub = 8;
inline constexpr uint8_t kDelay = 9;
inline constexpr uint8_t kWaitFor = 10;
inline constexpr uint8_t kClearKey = 11;
inline constexpr uint8_t kSetCounter = 12;
inline constexpr uint8_t kCountDown = 13;
inline constexpr uint8_t kTavoInit = 14;
inline constexpr uint8_t kReset = 15;
inline constexpr uint8_t kSetOutputs = 18;   // built by the I/O family
inline constexpr uint8_t kChangeBaud = 19;
}  // namespace MasterCmd

// Instruction lengths that the master's own stepping and waiting rely on.
inline constexpr int kDelayLength = 5;       // 0xBB, 2, Delay, time (2 bytes)
inline constexpr int kIfGoToLength = 8;
inline constexpr int kWaitForLength = 16;

// ChangeBaud's data byte by baud rate.
struct BaudRateCode {
    int rate;
    uint8_t code;
};
inline constexpr BaudRateCode kBaudRateCodes[4] = {{19200, 0x0F}, {9600, 0x20}, {2400, 0x81}, {1200, 0xFF}};

// GetStatus of any slave module: one data byte, the status items asked for.
inline constexpr uint8_t kModuleGetStatus = 0x13;

// ---------------------------------------------------------------------------
// Module command codes (the line's command code; also the frame's command
// byte, except the stepper's velocity-mode Move)

namespace ServoCmd {
inline constexpr uint8_t kMove = 0xE4;
inline constexpr uint8_t kStop = 0x17;
inline constexpr uint8_t kSetGain = 0xE6;
inline constexpr uint8_t kResetPosition = 0x10;
inline constexpr uint8_t kStartHoming = 0x19;
inline constexpr uint8_t kGetStatus = kModuleGetStatus;
inline constexpr uint8_t kClearStatBits = 0x0B;
}  // namespace ServoCmd

namespace StepCmd {
inline constexpr uint8_t kMove = 0x74;
inline constexpr uint8_t kMoveVelocity = 0x34;   // frame command byte of a velocity-mode Move
inline constexpr uint8_t kStop = 0x17;
inline constexpr uint8_t kSetParam = 0x56;
inline constexpr uint8_t kSetOutputs = 0x18;
inline constexpr uint8_t kResetPosition = 0x00;
inline constexpr uint8_t kStartHoming = 0x19;
inline constexpr uint8_t kGetStatus = kModuleGetStatus;
}  // namespace StepCmd

namespace IoCmd {
inline constexpr uint8_t kMakeOutputs = 0x20;
inline constexpr uint8_t kSetPWMs = 0x24;
inline constexpr uint8_t kGetStatus = kModuleGetStatus;
}  // namespace IoCmd

// ---------------------------------------------------------------------------
// Status items: the data byte of GetStatus, one bit per item that the reply
// carries after the status byte.

inline constexpr uint8_t kItemPosition = 0x01;      // servo, stepper: position (4 bytes)
inline constexpr uint8_t kItemInputBits = 0x01;     // I/O: the twelve input bits (2 bytes)
inline constexpr uint8_t kItemStepInputs = 0x08;    // stepper: the input byte
inline constexpr uint8_t kItemHomePosition = 0x10;  // servo, stepper: home position (4 bytes)
inline constexpr uint8_t kItemType = 0x20;          // any module: its type code

// ---------------------------------------------------------------------------
// Status bits: the servo's status byte, the stepper's status and input bytes.

namespace ServoStatus {
inline constexpr uint8_t kMoveDone = 0x01;
inline constexpr uint8_t kOvercurrent = 0x04;
inline constexpr uint8_t kPowerOn = 0x08;
inline constexpr uint8_t kPositionError = 0x10;
inline constexpr uint8_t kLimit1 = 0x20;
inline constexpr uint8_t kLimit2 = 0x40;
inline constexpr uint8_t kHoming = 0x80;
}  // namespace ServoStatus

namespace StepStatus {
inline constexpr uint8_t kMoving = 0x01;
inline constexpr uint8_t kAmpEnabled = 0x04;
inline constexpr uint8_t kPowerOn = 0x08;
inline constexpr uint8_t kAtSpeed = 0x10;
inline constexpr uint8_t kHoming = 0x80;
}  // namespace StepStatus

namespace StepInput {
inline constexpr uint8_t kEStop = 0x01;
inline constexpr uint8_t kInput1 = 0x02;
inline constexpr uint8_t kInput2 = 0x04;
inline constexpr uint8_t kLimit1 = 0x08;
inline constexpr uint8_t kLimit2 = 0x10;
inline constexpr uint8_t kHomeSwitch = 0x20;
}  // namespace StepInput

// ---------------------------------------------------------------------------
// Condition triplets (selector, compare value, mask): the selector is the
// byte of the status area that is tested.

inline constexpr uint8_t kSelectModuleCount = 0;   // master: modules found
inline constexpr uint8_t kSelectStatusByte = 0;    // module: its status byte
inline constexpr uint8_t kSelectStepInputs = 1;    // stepper: its input byte
inline constexpr uint8_t kSelectIoLow = 1;         // I/O: bits 1 to 8
inline constexpr uint8_t kSelectIoHigh = 2;        // I/O: bits 9 to 12
inline constexpr uint8_t kSelectTimer = 2;         // master: the timer flags
inline constexpr uint8_t kSelectKey = 3;           // master: the key byte

// ---------------------------------------------------------------------------
// Frames

// Checksum of a module frame: the sum of bytes 1 to 2 + dataCount (address,
// command byte and data bytes), modulo 256.
inline uint8_t FrameChecksum(const uint8_t* frame, int dataCount) {
    unsigned sum = 0;
    for (int i = 1; i <= 2 + dataCount; ++i) sum += frame[i];
    return uint8_t(sum & 0xFF);
}

// Writes a whole module frame into out (dataCount + 5 bytes): header,
// address, command byte, data, checksum, trailer.  Returns its length.
inline int PutModuleFrame(uint8_t* out, uint8_t address, uint8_t command, const uint8_t* data, int dataCount,
                          uint8_t trailer) {
    out[0] = kFrameHeader;
    out[1] = address;
    out[2] = command;
    for (int i = 0; i < dataCount; ++i) out[3 + i] = data[i];
    out[3 + dataCount] = FrameChecksum(out, dataCount);
    out[4 + dataCount] = trailer;
    return dataCount + 5;
}

// Trailer byte of a frame whose reply is the status byte alone.
inline constexpr uint8_t kTrailerStatusOnly = 1;

// A module's GetStatus frame for the given status items (6 bytes).
inline int PutStatusRequest(uint8_t* out, uint8_t address, uint8_t items, uint8_t trailer) {
    return PutModuleFrame(out, address, kModuleGetStatus, &items, 1, trailer);
}

// Writes a master instruction without data into out (3 bytes).  Returns its length.
inline int PutMasterInstruction(uint8_t* out, uint8_t code) {
    out[0] = kMasterMarker;
    out[1] = 0;
    out[2] = code;
    return 3;
}

// ---------------------------------------------------------------------------
// Little-endian numbers in instruction and status bytes

inline void PutU16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v & 0xFF);
    p[1] = uint8_t((v >> 8) & 0xFF);
}

inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t((v >> (8 * i)) & 0xFF);
}

inline uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

inline int32_t GetI32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}
