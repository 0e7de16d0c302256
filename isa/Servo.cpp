// The servo family.  Seven commands are module frames that the master passes
// to a servo module (0xAA, address, command byte, data, checksum, trailer
// byte); If-GoTo and WaitFor are master instructions that test the servo's
// status byte.  ServoCBoxClick lays out ServoGroup, EncodeServoInstruction
// turns the panel into bytes, LoadServoInstruction puts a stored line back
// into the panel and ServoListingRow gives the mnemonic of a servo frame.

#include "isa/Servo.h"

#include <string>

#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Instruction.h"

namespace {

enum ServoCode : uint8_t {
    kMove = 0xE4, kStop = 0x17, kSetGain = 0xE6, kResetPosition = 0x10, kStartHoming = 0x19,
    kGetStatus = 0x13, kClearStatBits = 0x0B, kIfGoTo = 3, kWaitFor = 10
};

// Command codes by ServoCBox index.
constexpr uint8_t kServoCodes[9] = {kMove, kStop, kSetGain, kResetPosition, kStartHoming,
                                    kGetStatus, kClearStatBits, kIfGoTo, kWaitFor};
constexpr int kFirstMasterIndex = 7;  // If-GoTo and WaitFor are master instructions

// ServoRG items.
enum StopItem { kMotorOff = 0, kStopAbruptly = 1, kStopSmoothly = 2 };

// Move control byte bits.
constexpr uint8_t kMoveBase = 0x9F;
constexpr uint8_t kServoModeBit = 0x10;   // clear: PWM mode
constexpr uint8_t kVelocityBit = 0x20;
constexpr uint8_t kReverseBit = 0x40;     // reverse (PWM, velocity) or relative (position)

// Stop control byte bits.
constexpr uint8_t kStopBase = 0x20;
constexpr uint8_t kEnableAmpBit = 0x01;
constexpr uint8_t kStopModeBits[3] = {0x02, 0x04, 0x08};

// StartHoming control byte: condition bits by ServoCheck1..5, stop modes by ServoRG.
constexpr uint8_t kHomeConditionBits[5] = {0x01, 0x02, 0x08, 0x40, 0x80};
constexpr uint8_t kHomeStopBits[3] = {0x04, 0x10, 0x20};

// Status bit tested by each pair of conditions of ServoIfCBox (even index:
// bit set, odd index: bit clear).
constexpr uint8_t kConditionMasks[7] = {0x01, 0x08, 0x04, 0x10, 0x20, 0x40, 0x80};
constexpr int kConditionCount = 14;

constexpr int kMaxTime = 60000;

int IndexOfCode(uint8_t code) {
    for (int i = 0; i < 9; ++i)
        if (kServoCodes[i] == code) return i;
    return -1;
}

void Show(Ctl& label, const char* caption, Ctl& edit, const char* text = "") {
    label.visible = true;
    label.caption = caption;
    edit.visible = true;
    edit.text = text;
}

void ShowCheck(Ctl& check, const char* caption) {
    check.visible = true;
    check.caption = caption;
    check.checked = false;
}

void ShowHeading(ServoPanel& p, const char* caption) {
    p.ServoLabel[10].visible = true;
    p.ServoLabel[10].caption = caption;
}

void ShowStopModes(ServoPanel& p) {
    p.ServoRG.visible = true;
    p.ServoRG.index = kMotorOff;
}

void ShowConditions(ServoPanel& p) {
    p.ServoIfCBox.visible = true;
    p.ServoIfCBox.index = -1;
    p.ServoIfCBox.text.clear();
}

// Finishes a module frame of n data bytes: checksum and trailer byte 1.
void CloseFrame(ProgramLine& line, int n) {
    line.bytes[3 + n] = FrameChecksum(line.bytes, n);
    line.bytes[4 + n] = 1;
    line.length = uint8_t(n + 5);
}

// Compare value and mask of the chosen condition into t[0], t[1]; -1 with a
// message when no condition is chosen.
int WriteCondition(MainState& s, uint8_t* t) {
    const int index = s.form.servo.ServoIfCBox.index;
    if (index < 0 || index >= kConditionCount) {
        s.message("Choose a condition.");
        return -1;
    }
    const uint8_t mask = kConditionMasks[index / 2];
    t[0] = index % 2 == 0 ? mask : 0;
    t[1] = mask;
    return 0;
}

void LoadCondition(MainState& s, uint8_t value, uint8_t mask) {
    Ctl& box = s.form.servo.ServoIfCBox;
    box.index = -1;
    box.text.clear();
    for (int k = 0; k < 7; ++k) {
        if (kConditionMasks[k] != mask) continue;
        box.index = 2 * k + (value == 0 ? 1 : 0);
        box.text = kServoConditions[box.index];
    }
}

void WriteGoto(ProgramLine& line, int offset, const Ctl& edit) {
    line.bytes[offset] = 0xFF;
    line.bytes[offset + 1] = 0xFF;
    line.patchOffset = uint8_t(offset);
    line.setGotoLabel(edit.text);
}

struct GainField {
    int offset;
    int min, max;
    bool wide;  // 16 bits, else 8
};
// Kp, Kd, Ki, IL, OL, CL, EL, SR, DC in ServoEdit1..9.
constexpr GainField kGainFields[9] = {
    {3, 0, 32767, true}, {5, 0, 32767, true}, {7, 0, 32767, true}, {9, 0, 32767, true}, {11, 0, 255, false},
    {12, 0, 255, false}, {13, 0, 16383, true}, {15, 1, 255, false}, {16, 0, 255, false}};

int EncodeMove(MainState& s, ProgramLine& line) {
    ServoPanel& p = s.form.servo;
    uint8_t c = kMoveBase;
    const bool pwm = p.ServoCheck[1].checked, velocity = p.ServoCheck[2].checked;
    if (pwm) c &= uint8_t(~kServoModeBit);
    if (velocity) c |= kVelocityBit;
    if (p.ServoCheck[3].checked) c |= kReverseBit;
    if (!pwm && !velocity && p.ServoCheck[7].checked) c |= kReverseBit;
    line.bytes[3] = c;

    int position = ReadIntField(s, p.ServoEdit[1], -2147483646, 2147483647);
    if (position == -2147483647) return -1;
    PutU32(line.bytes + 4, uint32_t(position));
    int speed = ReadIntField(s, p.ServoEdit[2], 0, 2147483647);
    if (speed == -1) return -1;
    PutU32(line.bytes + 8, uint32_t(speed));
    int acceleration = ReadIntField(s, p.ServoEdit[3], 0, 2147483647);
    if (acceleration == -1) return -1;
    PutU32(line.bytes + 12, uint32_t(acceleration));
    int pwmValue = ReadIntField(s, p.ServoEdit[7], 0, 255);
    if (pwmValue == -1) return -1;
    line.bytes[16] = uint8_t(pwmValue);
    CloseFrame(line, 14);
    return 0;
}

int EncodeSetGain(MainState& s, ProgramLine& line) {
    ServoPanel& p = s.form.servo;
    for (int i = 0; i < 9; ++i) {
        const GainField& f = kGainFields[i];
        int v = ReadIntField(s, p.ServoEdit[i + 1], f.min, f.max);
        if (v == f.min - 1) return -1;
        if (f.wide)
            PutU16(line.bytes + f.offset, uint32_t(v));
        else
            line.bytes[f.offset] = uint8_t(v);
    }
    CloseFrame(line, 14);
    return 0;
}

}  // namespace

void ServoCBoxClick(MainState& s) {
    const int index = s.form.ServoCBox.index;
    if (index < 0 || index >= 9) return;
    ServoPanel& p = s.form.servo;
    const bool master = index >= kFirstMasterIndex;
    CommandChosen(s, p.ServoGroup, master ? "Master" : "Servo", master ? kMasterMarker : kFrameHeader,
                  kServoCodes[index], kServoCommands[index]);

    for (int i = 1; i <= 10; ++i) p.ServoLabel[i].visible = false;
    for (int i = 1; i <= 9; ++i) p.ServoEdit[i].visible = false;
    for (int i = 1; i <= 7; ++i) p.ServoCheck[i].visible = false;
    p.ServoRG.visible = false;
    p.ServoIfCBox.visible = false;
    for (int i : {1, 2, 3, 7}) p.ServoCheck[i].checked = false;

    switch (kServoCodes[index]) {
        case kMove:
            Show(p.ServoLabel[1], "Position", p.ServoEdit[1]);
            Show(p.ServoLabel[2], "Velocity", p.ServoEdit[2]);
            Show(p.ServoLabel[3], "Acceleration", p.ServoEdit[3]);
            Show(p.ServoLabel[7], "PWM", p.ServoEdit[7], "0");
            ShowHeading(p, "Select operating modes:");
            ShowCheck(p.ServoCheck[1], "PWM (default=Servo Mode)");
            ShowCheck(p.ServoCheck[2], "Vel. (default=Pos. Mode)");
            ShowCheck(p.ServoCheck[3], "Reverse (PWM, Vel. Mode)");
            ShowCheck(p.ServoCheck[7], "Move Relative");
            break;
        case kStop:
            ShowCheck(p.ServoCheck[7], "Enable Amplifier");
            ShowStopModes(p);
            break;
        case kSetGain: {
            static const char* const captions[9] = {"Kp", "Kd", "Ki", "IL", "OL", "CL", "EL", "SR", "DC"};
            static const char* const defaults[9] = {"100", "1000", "0", "0", "255", "0", "2000", "1", "0"};
            for (int i = 0; i < 9; ++i) Show(p.ServoLabel[i + 1], captions[i], p.ServoEdit[i + 1], defaults[i]);
            break;
        }
        case kResetPosition:
            ShowCheck(p.ServoCheck[7], "Relative to Home");
            break;
        case kStartHoming:
            ShowHeading(p, "Home on any of these conditions:");
            ShowCheck(p.ServoCheck[1], "Limit 1");
            ShowCheck(p.ServoCheck[2], "Limit 2");
            ShowCheck(p.ServoCheck[3], "Index");
            ShowCheck(p.ServoCheck[4], "Pos. Error");
            ShowCheck(p.ServoCheck[5], "Cur. Limit");
            ShowCheck(p.ServoCheck[7], "Stop on Home");
            ShowStopModes(p);
            break;
        case kIfGoTo:
            Show(p.ServoLabel[1], "GoTo Label", p.ServoEdit[1]);
            ShowHeading(p, "Select a GoTo Condition:");
            ShowConditions(p);
            break;
        case kWaitFor:
            Show(p.ServoLabel[1], "Timeout (.01 sec)", p.ServoEdit[1]);
            Show(p.ServoLabel[2], "GoTo on Timeout", p.ServoEdit[2]);
            ShowHeading(p, "Select a WaitFor Condition:");
            ShowConditions(p);
            break;
        default:
            break;  // GetStatus, ClearStatBits: no fields
    }
}

int EncodeServoInstruction(MainState& s, ProgramLine& line) {
    ServoPanel& p = s.form.servo;
    const uint8_t address = line.moduleAddress;
    line.setLabel(s.form.LabelEdit.text);
    line.setGotoLabel("");
    line.patchOffset = 0;
    line.bytes[1] = address;
    line.bytes[2] = line.commandCode;

    switch (line.commandCode) {
        case kMove:
            return EncodeMove(s, line);

        case kStop: {
            uint8_t c = kStopBase;
            if (p.ServoCheck[7].checked) c |= kEnableAmpBit;
            if (p.ServoRG.index >= 0 && p.ServoRG.index < 3) c |= kStopModeBits[p.ServoRG.index];
            line.bytes[3] = c;
            CloseFrame(line, 1);
            return 0;
        }

        case kSetGain:
            return EncodeSetGain(s, line);

        case kResetPosition:
            line.bytes[3] = p.ServoCheck[7].checked ? 1 : 0;
            CloseFrame(line, 1);
            return 0;

        case kStartHoming: {
            uint8_t c = 0;
            for (int i = 0; i < 5; ++i)
                if (p.ServoCheck[i + 1].checked) c |= kHomeConditionBits[i];
            if (p.ServoCheck[7].checked && p.ServoRG.index >= 0 && p.ServoRG.index < 3)
                c |= kHomeStopBits[p.ServoRG.index];
            line.bytes[3] = c;
            CloseFrame(line, 1);
            return 0;
        }

        case kGetStatus:
            line.bytes[3] = 0;
            CloseFrame(line, 1);
            return 0;

        case kClearStatBits:
            CloseFrame(line, 0);
            return 0;

        case kIfGoTo:
            line.bytes[1] = 5;
            WriteGoto(line, 3, p.ServoEdit[1]);
            line.bytes[5] = 0;
            if (WriteCondition(s, line.bytes + 6) != 0) return -1;
            line.length = 8;
            return 0;

        case kWaitFor: {
            line.bytes[1] = 13;
            // Status request slot: a servo GetStatus frame for this module.
            line.bytes[3] = kFrameHeader;
            line.bytes[4] = address;
            line.bytes[5] = kGetStatus;
            line.bytes[6] = 0;
            line.bytes[7] = uint8_t((address + kGetStatus) & 0xFF);
            line.bytes[8] = 1;
            line.bytes[9] = 0;
            if (WriteCondition(s, line.bytes + 10) != 0) return -1;
            int timeout = ReadIntField(s, p.ServoEdit[1], 0, kMaxTime);
            if (timeout == -1) return -1;
            PutU16(line.bytes + 12, uint32_t(timeout));
            WriteGoto(line, 14, p.ServoEdit[2]);
            line.length = 16;
            return 0;
        }

        default:
            return -1;  // no command chosen: Add and Change are disabled then
    }
}

int LoadServoInstruction(MainState& s) {
    const ProgramLine& line = s.builderLine;
    const int index = IndexOfCode(line.commandCode);
    if (index < 0) return 0;
    s.form.ServoCBox.index = index;
    ServoCBoxClick(s);

    ServoPanel& p = s.form.servo;
    const uint8_t c = line.bytes[3];
    switch (line.commandCode) {
        case kMove: {
            p.ServoEdit[1].text = std::to_string(GetI32(line.bytes + 4));
            p.ServoEdit[2].text = std::to_string(GetI32(line.bytes + 8));
            p.ServoEdit[3].text = std::to_string(GetI32(line.bytes + 12));
            p.ServoEdit[7].text = std::to_string(line.bytes[16]);
            const bool servoMode = c & kServoModeBit, velocity = c & kVelocityBit, reverse = c & kReverseBit;
            p.ServoCheck[1].checked = !servoMode;
            p.ServoCheck[2].checked = velocity;
            p.ServoCheck[3].checked = reverse && (velocity || !servoMode);
            p.ServoCheck[7].checked = servoMode && reverse && !velocity;
            break;
        }
        case kStop:
            p.ServoCheck[7].checked = c & kEnableAmpBit;
            p.ServoRG.index = -1;
            for (int i = 2; i >= 0; --i)
                if (c & kStopModeBits[i]) p.ServoRG.index = i;
            break;
        case kSetGain:
            for (int i = 0; i < 9; ++i) {
                const GainField& f = kGainFields[i];
                const int v = f.wide ? GetU16(line.bytes + f.offset) : line.bytes[f.offset];
                p.ServoEdit[i + 1].text = std::to_string(v);
            }
            break;
        case kResetPosition:
            p.ServoCheck[7].checked = c == 1;
            break;
        case kStartHoming:
            for (int i = 0; i < 5; ++i) p.ServoCheck[i + 1].checked = c & kHomeConditionBits[i];
            p.ServoRG.index = -1;
            for (int i = 2; i >= 0; --i)
                if (c & kHomeStopBits[i]) p.ServoRG.index = i;
            p.ServoCheck[7].checked = p.ServoRG.index >= 0;
            break;
        case kIfGoTo:
            p.ServoEdit[1].text = line.gotoLabelText();
            LoadCondition(s, line.bytes[6], line.bytes[7]);
            break;
        case kWaitFor:
            p.ServoEdit[1].text = std::to_string(GetU16(line.bytes + 12));
            p.ServoEdit[2].text = line.gotoLabelText();
            LoadCondition(s, line.bytes[10], line.bytes[11]);
            break;
        default:
            break;  // GetStatus, ClearStatBits
    }
    return 0;
}

std::string ServoListingRow(const ProgramLine& line) {
    const uint8_t c = line.bytes[3];
    switch (line.commandCode) {
        case kClearStatBits: return "ClearStatBits";
        case kResetPosition: return (c & 0x01) ? "ResetPosition rel. Home" : "ResetPosition";
        case kGetStatus: return "GetStatus";
        case kStop: {
            std::string text = "Stop ";
            if (c & kStopModeBits[kMotorOff]) text += "- Motor Off";
            if (c & kStopModeBits[kStopAbruptly]) text += "Abruptly";
            if (c & kStopModeBits[kStopSmoothly]) text += "Smoothly";
            return text;
        }
        case kStartHoming: return "StartHoming";
        case kMove: {
            const char* sign = (c & kReverseBit) ? "-" : "";
            if (!(c & kServoModeBit)) return Format("Move - PWM %s%d", sign, int(line.bytes[16]));
            if (c & kVelocityBit) return Format("Move - Vel. %s%d", sign, int(GetI32(line.bytes + 8)));
            return Format("Move - Pos. %d", int(GetI32(line.bytes + 4)));
        }
        case kSetGain: return "SetGain";
        default: return std::string();
    }
}
