// The stepper family.  Seven commands are module frames that the master
// passes to a stepper module; If-GoTo and WaitFor are master instructions that
// test the stepper's status and input bytes.  StepCBoxClick lays out
// StepGroup, EncodeStepperInstruction turns the panel into bytes,
// LoadStepperInstruction puts a stored line back into the panel and
// StepperListingRow gives the mnemonic of a stepper frame.

#include "isa/Stepper.h"

#include <climits>
#include <string>

#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Frames.h"
#include "isa/Instruction.h"

namespace {

using namespace StepCmd;
constexpr uint8_t kIfGoTo = MasterCmd::kIfGoTo;
constexpr uint8_t kWaitFor = MasterCmd::kWaitFor;

// Command codes by StepCBox index.
constexpr int kCommandCount = 9;
constexpr uint8_t kCodeByIndex[kCommandCount] = {kMove,        kStop,      kSetParam, kSetOutputs, kResetPosition,
                                                 kStartHoming, kGetStatus, kIfGoTo,   kWaitFor};

bool IsMasterForm(uint8_t code) { return code == kIfGoTo || code == kWaitFor; }

// GetStatus and WaitFor ask for the input byte as well as the status byte.
constexpr uint8_t kStatusItems = kItemStepInputs;
constexpr uint8_t kStatusTrailer = 2;

constexpr int kMinPosition = INT_MIN + 2;   // the position field's range starts here

// Move control byte.
constexpr uint8_t kMoveVelocityBase = 0x86;
constexpr uint8_t kMovePositionBase = 0x87;
constexpr uint8_t kPositionModeBit = 0x01;
constexpr uint8_t kMoveReverseBit = 0x10;

// Stop control byte.
constexpr uint8_t kEnableAmpBit = 0x01;
constexpr uint8_t kStopAbruptBit = 0x04;
constexpr uint8_t kStopSmoothBit = 0x08;

// SetParam control byte: three flags and the speed factor in the low bits
// (3 = 1x, 2 = 2x, 1 = 4x, 0 = 8x).
constexpr uint8_t kIgnoreLimitsBit = 0x04;
constexpr uint8_t kIgnoreStopBit = 0x08;
constexpr uint8_t kOffOnEStopBit = 0x10;
constexpr uint8_t kSpeedMask = 0x03;
constexpr uint8_t kSpeed1x = 3, kSpeed2x = 2, kSpeed4x = 1;

// SetOutputs control byte: StepCheck1..5 in bits 0 to 4.
constexpr uint8_t kOutputBits[6] = {0, 0x01, 0x02, 0x04, 0x08, 0x10};

// StartHoming control byte: the conditions, and the stop modes on home.
constexpr uint8_t kHomeLimit1Bit = 0x01;
constexpr uint8_t kHomeLimit2Bit = 0x02;
constexpr uint8_t kHomeSwitchBit = 0x08;
constexpr uint8_t kHomeStopAbruptBit = 0x10;
constexpr uint8_t kHomeStopSmoothBit = 0x20;

// Condition triplets of StepIfCBox, in item order: a bit set, then clear.
struct Condition {
    uint8_t selector, value, mask;
};
constexpr Condition BitSet(uint8_t selector, uint8_t bit) { return {selector, bit, bit}; }
constexpr Condition BitClear(uint8_t selector, uint8_t bit) { return {selector, 0, bit}; }
constexpr uint8_t kStat = kSelectStatusByte, kIn = kSelectStepInputs;
constexpr int kConditionCount = 22;
constexpr Condition kConditions[kConditionCount] = {
    BitSet(kStat, StepStatus::kMoving),     BitClear(kStat, StepStatus::kMoving),
    BitSet(kStat, StepStatus::kPowerOn),    BitClear(kStat, StepStatus::kPowerOn),
    BitSet(kStat, StepStatus::kAmpEnabled), BitClear(kStat, StepStatus::kAmpEnabled),
    BitSet(kStat, StepStatus::kAtSpeed),    BitClear(kStat, StepStatus::kAtSpeed),
    BitSet(kStat, StepStatus::kHoming),     BitClear(kStat, StepStatus::kHoming),
    BitSet(kIn, StepInput::kLimit1),        BitClear(kIn, StepInput::kLimit1),
    BitSet(kIn, StepInput::kLimit2),        BitClear(kIn, StepInput::kLimit2),
    BitSet(kIn, StepInput::kHomeSwitch),    BitClear(kIn, StepInput::kHomeSwitch),
    BitSet(kIn, StepInput::kEStop),         BitClear(kIn, StepInput::kEStop),
    BitSet(kIn, StepInput::kInput1),        BitClear(kIn, StepInput::kInput1),
    BitSet(kIn, StepInput::kInput2),        BitClear(kIn, StepInput::kInput2)};

// StepIfCBox item for a stored triplet: the even item whose selector and mask
// match, plus one when the compare value is 0; -1 when no item matches.
int ConditionIndex(uint8_t selector, uint8_t value, uint8_t mask) {
    for (int i = 0; i < kConditionCount; i += 2)
        if (kConditions[i].selector == selector && kConditions[i].mask == mask) return value == 0 ? i + 1 : i;
    return -1;
}

// Speed and acceleration of a Move into at[0] and at[1]; false after a message.
bool PutSpeedAndAcceleration(MainState& s, uint8_t* at) {
    StepPanel& p = s.form.step;
    int speed = 0, accel = 0;
    if (!ReadField(s, p.StepEdit[2], 1, 250, speed)) return false;
    at[0] = uint8_t(speed);
    if (!ReadField(s, p.StepEdit[3], 1, 255, accel)) return false;
    at[1] = uint8_t(accel);
    return true;
}

int EncodeMove(MainState& s, ProgramLine& line) {
    StepPanel& p = s.form.step;
    if (p.StepCheck[1].checked) {
        // Velocity mode: the position edit is not read at all.
        line.bytes[2] = kMoveVelocity;
        line.bytes[3] = uint8_t(kMoveVelocityBase | (p.StepCheck[2].checked ? kMoveReverseBit : 0));
        if (!PutSpeedAndAcceleration(s, line.bytes + 4)) return -1;
        FinishModuleFrame(line, 3, kTrailerStatusOnly);
        return 0;
    }
    line.bytes[3] = kMovePositionBase;
    int position = 0;
    if (!ReadField(s, p.StepEdit[1], kMinPosition, INT_MAX, position)) return -1;
    PutU32(line.bytes + 4, uint32_t(position));
    if (!PutSpeedAndAcceleration(s, line.bytes + 8)) return -1;
    FinishModuleFrame(line, 7, kTrailerStatusOnly);
    return 0;
}

uint8_t StopModeBits(const Ctl& rg, uint8_t abrupt, uint8_t smooth) {
    if (rg.index == 0) return abrupt;
    if (rg.index == 1) return smooth;
    return 0;
}

int EncodeSetParam(MainState& s, ProgramLine& line) {
    StepPanel& p = s.form.step;
    uint8_t control = 0;
    if (p.StepCheck[1].checked) control |= kIgnoreLimitsBit;
    if (p.StepCheck[4].checked) control |= kIgnoreStopBit;
    if (p.StepCheck[7].checked) control |= kOffOnEStopBit;
    // The speed boxes are independent; the first checked of 1x, 2x, 4x decides.
    if (p.StepCheck[2].checked)
        control |= kSpeed1x;
    else if (p.StepCheck[3].checked)
        control |= kSpeed2x;
    else if (p.StepCheck[5].checked)
        control |= kSpeed4x;
    line.bytes[3] = control;
    const struct {
        int edit, max;
    } fields[4] = {{1, 250}, {2, 255}, {3, 255}, {7, 255}};
    for (int i = 0; i < 4; ++i) {
        int v = 0;
        if (!ReadField(s, p.StepEdit[fields[i].edit], 0, fields[i].max, v)) return -1;
        line.bytes[4 + i] = uint8_t(v);
    }
    FinishModuleFrame(line, 5, kTrailerStatusOnly);
    return 0;
}

// Selected condition of StepIfCBox, or -1 after asking the user to choose one.
int ChosenCondition(MainState& s) {
    int i = s.form.step.StepIfCBox.index;
    if (i >= 0 && i < kConditionCount) return i;
    s.message("Choose a condition.");
    return -1;
}

// The triplet of StepIfCBox item index at p.
ConditionWriter PutCondition(int index) {
    return [index](uint8_t* p) {
        p[0] = kConditions[index].selector;
        p[1] = kConditions[index].value;
        p[2] = kConditions[index].mask;
        return 0;
    };
}

void SetCondition(MainState& s, const uint8_t* triplet) {
    Ctl& box = s.form.step.StepIfCBox;
    box.index = ConditionIndex(triplet[0], triplet[1], triplet[2]);
    box.text = box.index >= 0 ? kStepConditions[box.index] : "";
}

}  // namespace

void StepCBoxClick(MainState& s) {
    const int index = s.form.StepCBox.index;
    if (index < 0 || index >= kCommandCount) return;
    const uint8_t code = kCodeByIndex[index];
    const bool master = IsMasterForm(code);
    CommandChosen(s, s.form.step.StepGroup, master ? "Master" : "Step", master ? kMasterMarker : kFrameHeader, code,
                  kStepCommands[index]);

    StepPanel& p = s.form.step;
    ClearMotorPanel(p.StepLabel, p.StepEdit, p.StepCheck, p.StepRG, p.StepIfCBox);

    switch (code) {
        case kMove:
            ShowField(p.StepLabel[1], "Position", p.StepEdit[1], "");
            ShowField(p.StepLabel[2], "Speed", p.StepEdit[2], "");
            ShowField(p.StepLabel[3], "Acceleration", p.StepEdit[3], "");
            ShowCheck(p.StepCheck[1], "Velocity mode", false);
            ShowCheck(p.StepCheck[2], "Reverse (vel. mode only)", false);
            break;
        case kStop:
            ShowCheck(p.StepCheck[7], "Enable Amplifier", false);
            ShowRadioGroup(p.StepRG);
            break;
        case kSetParam:
            ShowField(p.StepLabel[1], "Min. Speed", p.StepEdit[1], "1");
            ShowField(p.StepLabel[2], "Run Cur.", p.StepEdit[2], "20");
            ShowField(p.StepLabel[3], "Hold Cur.", p.StepEdit[3], "10");
            ShowField(p.StepLabel[7], "Therm. Limit", p.StepEdit[7], "0");
            ShowCheck(p.StepCheck[1], "Ignore Limits", false);
            ShowCheck(p.StepCheck[4], "Ignore Stop", false);
            ShowCheck(p.StepCheck[2], "Speed 1x", true);
            ShowCheck(p.StepCheck[3], "Speed 2x", false);
            ShowCheck(p.StepCheck[5], "Speed 4x", false);
            ShowCheck(p.StepCheck[6], "Speed 8x", false);
            ShowCheck(p.StepCheck[7], "Off on E-Stop", false);
            break;
        case kSetOutputs:
            ShowCheck(p.StepCheck[1], "Out1", false);
            ShowCheck(p.StepCheck[2], "Half Step", true);
            ShowCheck(p.StepCheck[3], "Slow Decay", true);
            ShowCheck(p.StepCheck[4], "Run Mode", true);
            ShowCheck(p.StepCheck[5], "Out5", false);
            break;
        case kStartHoming:
            ShowCaption(p.StepLabel[10], "Home on any of these conditions:");
            ShowCheck(p.StepCheck[1], "Limit 1", false);
            ShowCheck(p.StepCheck[2], "Home Switch", false);
            ShowCheck(p.StepCheck[4], "Limit 2", false);
            ShowCheck(p.StepCheck[7], "Stop on Home", false);
            ShowRadioGroup(p.StepRG);
            break;
        case kIfGoTo:
        case kWaitFor:
            ShowMotorConditionFields(p.StepLabel, p.StepEdit, p.StepIfCBox, code == kWaitFor);
            break;
        default:  // ResetPosition, GetStatus: no fields
            break;
    }
}

int EncodeStepperInstruction(MainState& s, ProgramLine& line) {
    const uint8_t code = line.commandCode;
    if (IndexOfCode(kCodeByIndex, code) < 0) return -1;  // no stepper command chosen

    // A condition must be chosen before anything of the record is touched.
    int condition = -1;
    if (IsMasterForm(code)) {
        condition = ChosenCondition(s);
        if (condition < 0) return -1;
    }

    StepPanel& p = s.form.step;
    StartEncoding(s, line, line.moduleAddress);

    switch (code) {
        case kMove: return EncodeMove(s, line);
        case kStop:
            line.bytes[3] = uint8_t((p.StepCheck[7].checked ? kEnableAmpBit : 0) |
                                    StopModeBits(p.StepRG, kStopAbruptBit, kStopSmoothBit));
            FinishModuleFrame(line, 1, kTrailerStatusOnly);
            return 0;
        case kSetParam: return EncodeSetParam(s, line);
        case kSetOutputs: {
            uint8_t control = 0;
            for (int i = 1; i <= 5; ++i)
                if (p.StepCheck[i].checked) control |= kOutputBits[i];
            line.bytes[3] = control;
            FinishModuleFrame(line, 1, kTrailerStatusOnly);
            return 0;
        }
        case kResetPosition: FinishModuleFrame(line, 0, kTrailerStatusOnly); return 0;
        case kStartHoming: {
            uint8_t control = 0;
            if (p.StepCheck[1].checked) control |= kHomeLimit1Bit;
            if (p.StepCheck[4].checked) control |= kHomeLimit2Bit;
            if (p.StepCheck[2].checked) control |= kHomeSwitchBit;
            if (p.StepCheck[7].checked) control |= StopModeBits(p.StepRG, kHomeStopAbruptBit, kHomeStopSmoothBit);
            line.bytes[3] = control;
            FinishModuleFrame(line, 1, kTrailerStatusOnly);
            return 0;
        }
        case kGetStatus:
            line.bytes[3] = kStatusItems;
            FinishModuleFrame(line, 1, kStatusTrailer);
            return 0;
        case kIfGoTo: return EncodeIfGoTo(line, p.StepEdit[1].text, PutCondition(condition));
        case kWaitFor:  // the status request asks for the input byte as well
            return EncodeModuleWaitFor(s, line, kStatusItems, kStatusTrailer, PutCondition(condition), p.StepEdit[1],
                                       p.StepEdit[2].text);
        default: return -1;
    }
}

int LoadStepperInstruction(MainState& s) {
    const ProgramLine& line = s.builderLine;
    if (!ChooseLoadedCommand(s, s.form.StepCBox, IndexOfCode(kCodeByIndex, line.commandCode), StepCBoxClick))
        return 0;

    StepPanel& p = s.form.step;
    const uint8_t* b = line.bytes;
    const uint8_t control = b[3];
    switch (line.commandCode) {
        case kMove:
            if (control & kPositionModeBit) {
                p.StepEdit[1].text = std::to_string(GetI32(b + 4));
                p.StepEdit[2].text = std::to_string(b[8]);
                p.StepEdit[3].text = std::to_string(b[9]);
            } else {
                p.StepCheck[1].checked = true;
                p.StepEdit[1].text = "0";
                p.StepEdit[2].text = std::to_string(b[4]);
                p.StepEdit[3].text = std::to_string(b[5]);
                p.StepCheck[2].checked = (control & kMoveReverseBit) != 0;
            }
            break;
        case kStop:
            p.StepCheck[7].checked = (control & kEnableAmpBit) != 0;
            // Neither mode bit: the panel keeps its default, "Stop Abruptly".
            if (control & kStopAbruptBit)
                p.StepRG.index = 0;
            else if (control & kStopSmoothBit)
                p.StepRG.index = 1;
            break;
        case kSetParam:
            p.StepCheck[1].checked = (control & kIgnoreLimitsBit) != 0;
            p.StepCheck[4].checked = (control & kIgnoreStopBit) != 0;
            p.StepCheck[7].checked = (control & kOffOnEStopBit) != 0;
            p.StepCheck[2].checked = false;
            switch (control & kSpeedMask) {
                case kSpeed1x: p.StepCheck[2].checked = true; break;
                case kSpeed2x: p.StepCheck[3].checked = true; break;
                case kSpeed4x: p.StepCheck[5].checked = true; break;
                default: p.StepCheck[6].checked = true; break;
            }
            p.StepEdit[1].text = std::to_string(b[4]);
            p.StepEdit[2].text = std::to_string(b[5]);
            p.StepEdit[3].text = std::to_string(b[6]);
            p.StepEdit[7].text = std::to_string(b[7]);
            break;
        case kSetOutputs:
            for (int i = 1; i <= 5; ++i) p.StepCheck[i].checked = (control & kOutputBits[i]) != 0;
            break;
        case kStartHoming:
            p.StepCheck[1].checked = (control & kHomeLimit1Bit) != 0;
            p.StepCheck[4].checked = (control & kHomeLimit2Bit) != 0;
            p.StepCheck[2].checked = (control & kHomeSwitchBit) != 0;
            if (control & kHomeStopAbruptBit) {
                p.StepCheck[7].checked = true;
                p.StepRG.index = 0;
            } else if (control & kHomeStopSmoothBit) {
                p.StepCheck[7].checked = true;
                p.StepRG.index = 1;
            } else {
                p.StepCheck[7].checked = false;
                p.StepRG.index = -1;
            }
            break;
        case kIfGoTo:
            p.StepEdit[1].text = line.gotoLabelText();
            SetCondition(s, b + kIfGoToCondition);
            break;
        case kWaitFor:
            p.StepEdit[1].text = std::to_string(GetU16(b + kWaitForTimeout));
            p.StepEdit[2].text = line.gotoLabelText();
            SetCondition(s, b + kWaitForCondition);
            break;
        default:  // ResetPosition, GetStatus
            break;
    }
    return 0;
}

std::string StepperListingRow(const ProgramLine& line) {
    const uint8_t* b = line.bytes;
    switch (line.commandCode) {
        case kResetPosition: return "ResetPosition";
        case kGetStatus: return "GetStatus";
        case kStop: {
            std::string text = "Stop ";
            if (!(b[3] & kEnableAmpBit))
                text += "- Motor Off";
            else if (b[3] & kStopAbruptBit)
                text += "Abruptly";
            else if (b[3] & kStopSmoothBit)
                text += "Smoothly";
            return text;
        }
        case kSetOutputs: return "SetOutputs";
        case kStartHoming: return "StartHoming";
        case kSetParam: return "SetParam";
        case kMove:
            if (b[3] & kPositionModeBit) return "Move - Pos. " + std::to_string(GetI32(b + 4));
            return "Move - Vel. " + std::to_string((b[3] & kMoveReverseBit) ? -int(b[4]) : int(b[4]));
        default: return std::string();
    }
}
