// The servo family.  Seven commands are module frames that the master passes
// to a servo module (0xAA, address, command byte, data, checksum, trailer
// byte); If-GoTo and WaitFor are master instructions that test the servo's
// status byte.  ServoCBoxClick lays out ServoGroup, EncodeServoInstruction
// turns the panel into bytes, LoadServoInstruction puts a stored line back
// into the panel and ServoListingRow gives the mnemonic of a servo frame.

#include "isa/Servo.h"

#include <climits>
#include <string>

#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Frames.h"
#include "isa/Instruction.h"

namespace {

using namespace ServoCmd;
constexpr uint8_t kIfGoTo = MasterCmd::kIfGoTo;
constexpr uint8_t kWaitFor = MasterCmd::kWaitFor;

// Command codes by ServoCBox index.
constexpr int kCommandCount = 9;
constexpr uint8_t kCodeByIndex[kCommandCount] = {kMove,      kStop,          kSetGain, kResetPosition, kStartHoming,
                                                 kGetStatus, kClearStatBits, kIfGoTo,  kWaitFor};

bool IsMasterForm(uint8_t code) { return code == kIfGoTo || code == kWaitFor; }

// ServoRG items.
enum StopItem { kMotorOff = 0, kStopAbruptly = 1, kStopSmoothly = 2 };

constexpr int kMinPosition = INT_MIN + 2;   // the position field's range starts here

// Move control byte bits.
constexpr uint8_t kMoveBase = 0x9F;
constexpr uint8_t kServoModeBit = 0x10;   // clear: PWM mode
constexpr uint8_t kVelocityBit = 0x20;
constexpr uint8_t kReverseBit = 0x40;     // reverse (PWM, velocity) or relative (position)

// Stop control byte bits.
constexpr uint8_t kStopBase = 0x20;
constexpr uint8_t kEnableAmpBit = 0x01;
constexpr uint8_t kStopModeBits[3] = {0x02, 0x04, 0x08};

// ResetPosition data byte: count from the home position.
constexpr uint8_t kRelativeToHome = 0x01;

// StartHoming control byte: condition bits by ServoCheck1..5, stop modes by ServoRG.
constexpr uint8_t kHomeConditionBits[5] = {0x01, 0x02, 0x08, 0x40, 0x80};
constexpr uint8_t kHomeStopBits[3] = {0x04, 0x10, 0x20};

// Status bit tested by each pair of conditions of ServoIfCBox (even index:
// bit set, odd index: bit clear).
constexpr uint8_t kConditionMasks[7] = {ServoStatus::kMoveDone,      ServoStatus::kPowerOn, ServoStatus::kOvercurrent,
                                        ServoStatus::kPositionError, ServoStatus::kLimit1,  ServoStatus::kLimit2,
                                        ServoStatus::kHoming};
constexpr int kConditionCount = 14;

void ShowHeading(ServoPanel& p, const char* caption) { ShowCaption(p.ServoLabel[10], caption); }

// ServoRG shown with kMotorOff, its first item, selected.
void ShowStopModes(ServoPanel& p) { ShowRadioGroup(p.ServoRG); }

// The condition triplet: selector 0 (the status byte), then compare value and
// mask of the chosen condition; -1 with a message when no condition is chosen.
int WriteCondition(MainState& s, uint8_t* t) {
    t[0] = kSelectStatusByte;
    const int index = s.form.servo.ServoIfCBox.index;
    if (index < 0 || index >= kConditionCount) {
        s.message("Choose a condition.");
        return -1;
    }
    const uint8_t mask = kConditionMasks[index / 2];
    t[1] = index % 2 == 0 ? mask : 0;
    t[2] = mask;
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

    int position = 0, speed = 0, acceleration = 0, pwmValue = 0;
    if (!ReadField(s, p.ServoEdit[1], kMinPosition, INT_MAX, position)) return -1;
    PutU32(line.bytes + 4, uint32_t(position));
    if (!ReadField(s, p.ServoEdit[2], 0, INT_MAX, speed)) return -1;
    PutU32(line.bytes + 8, uint32_t(speed));
    if (!ReadField(s, p.ServoEdit[3], 0, INT_MAX, acceleration)) return -1;
    PutU32(line.bytes + 12, uint32_t(acceleration));
    if (!ReadField(s, p.ServoEdit[7], 0, 255, pwmValue)) return -1;
    line.bytes[16] = uint8_t(pwmValue);
    FinishModuleFrame(line, 14, kTrailerStatusOnly);
    return 0;
}

int EncodeSetGain(MainState& s, ProgramLine& line) {
    ServoPanel& p = s.form.servo;
    for (int i = 0; i < 9; ++i) {
        const GainField& f = kGainFields[i];
        int v = 0;
        if (!ReadField(s, p.ServoEdit[i + 1], f.min, f.max, v)) return -1;
        if (f.wide)
            PutU16(line.bytes + f.offset, uint32_t(v));
        else
            line.bytes[f.offset] = uint8_t(v);
    }
    FinishModuleFrame(line, 14, kTrailerStatusOnly);
    return 0;
}

}  // namespace

void ServoCBoxClick(MainState& s) {
    const int index = s.form.ServoCBox.index;
    if (index < 0 || index >= kCommandCount) return;
    ServoPanel& p = s.form.servo;
    const uint8_t code = kCodeByIndex[index];
    const bool master = IsMasterForm(code);
    CommandChosen(s, p.ServoGroup, master ? "Master" : "Servo", master ? kMasterMarker : kFrameHeader, code,
                  kServoCommands[index]);

    ClearMotorPanel(p.ServoLabel, p.ServoEdit, p.ServoCheck, p.ServoRG, p.ServoIfCBox);

    switch (code) {
        case kMove:
            ShowField(p.ServoLabel[1], "Position", p.ServoEdit[1]);
            ShowField(p.ServoLabel[2], "Velocity", p.ServoEdit[2]);
            ShowField(p.ServoLabel[3], "Acceleration", p.ServoEdit[3]);
            ShowField(p.ServoLabel[7], "PWM", p.ServoEdit[7], "0");
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
            for (int i = 0; i < 9; ++i) ShowField(p.ServoLabel[i + 1], captions[i], p.ServoEdit[i + 1], defaults[i]);
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
        case kWaitFor:
            ShowMotorConditionFields(p.ServoLabel, p.ServoEdit, p.ServoIfCBox, code == kWaitFor);
            break;
        default:
            break;  // GetStatus, ClearStatBits: no fields
    }
}

int EncodeServoInstruction(MainState& s, ProgramLine& line) {
    ServoPanel& p = s.form.servo;
    StartEncoding(s, line, line.moduleAddress);
    const auto condition = [&s](uint8_t* t) { return WriteCondition(s, t); };

    switch (line.commandCode) {
        case kMove:
            return EncodeMove(s, line);

        case kStop: {
            uint8_t c = kStopBase;
            if (p.ServoCheck[7].checked) c |= kEnableAmpBit;
            if (p.ServoRG.index >= 0 && p.ServoRG.index < 3) c |= kStopModeBits[p.ServoRG.index];
            line.bytes[3] = c;
            FinishModuleFrame(line, 1, kTrailerStatusOnly);
            return 0;
        }

        case kSetGain:
            return EncodeSetGain(s, line);

        case kResetPosition:
            line.bytes[3] = p.ServoCheck[7].checked ? kRelativeToHome : 0;
            FinishModuleFrame(line, 1, kTrailerStatusOnly);
            return 0;

        case kStartHoming: {
            uint8_t c = 0;
            for (int i = 0; i < 5; ++i)
                if (p.ServoCheck[i + 1].checked) c |= kHomeConditionBits[i];
            if (p.ServoCheck[7].checked && p.ServoRG.index >= 0 && p.ServoRG.index < 3)
                c |= kHomeStopBits[p.ServoRG.index];
            line.bytes[3] = c;
            FinishModuleFrame(line, 1, kTrailerStatusOnly);
            return 0;
        }

        case kGetStatus:
            line.bytes[3] = 0;   // the status byte alone
            FinishModuleFrame(line, 1, kTrailerStatusOnly);
            return 0;

        case kClearStatBits:
            FinishModuleFrame(line, 0, kTrailerStatusOnly);
            return 0;

        case kIfGoTo:
            return EncodeIfGoTo(line, p.ServoEdit[1].text, condition);

        case kWaitFor:
            return EncodeModuleWaitFor(s, line, 0, kTrailerStatusOnly, condition, p.ServoEdit[1], p.ServoEdit[2].text);

        default:
            return -1;  // no command chosen: Add and Change are disabled then
    }
}

int LoadServoInstruction(MainState& s) {
    const ProgramLine& line = s.builderLine;
    if (!ChooseLoadedCommand(s, s.form.ServoCBox, IndexOfCode(kCodeByIndex, line.commandCode), ServoCBoxClick))
        return 0;

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
            p.ServoCheck[7].checked = c == kRelativeToHome;
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
            LoadCondition(s, line.bytes[kIfGoToCondition + 1], line.bytes[kIfGoToCondition + 2]);
            break;
        case kWaitFor:
            p.ServoEdit[1].text = std::to_string(GetU16(line.bytes + kWaitForTimeout));
            p.ServoEdit[2].text = line.gotoLabelText();
            LoadCondition(s, line.bytes[kWaitForCondition + 1], line.bytes[kWaitForCondition + 2]);
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
        case kResetPosition: return (c & kRelativeToHome) ? "ResetPosition rel. Home" : "ResetPosition";
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
