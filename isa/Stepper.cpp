#include "isa/Stepper.h"

#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Frames.h"
#include "isa/Instruction.h"

// Command codes of the stepper family (the line's commandCode).
namespace {

constexpr uint8_t kMove = 0x74;
constexpr uint8_t kMoveVelocityByte = 0x34;  // frame command byte of a velocity-mode Move
constexpr uint8_t kStop = 0x17;
constexpr uint8_t kSetParam = 0x56;
constexpr uint8_t kSetOutputs = 0x18;
constexpr uint8_t kResetPosition = 0x00;
constexpr uint8_t kStartHoming = 0x19;
constexpr uint8_t kGetStatus = 0x13;
constexpr uint8_t kIfGoTo = 3;
constexpr uint8_t kWaitFor = 10;

constexpr int kCommandCount = 9;
constexpr uint8_t kCodeByIndex[kCommandCount] = {kMove,      kStop,         kSetParam, kSetOutputs, kResetPosition,
                                                 kStartHoming, kGetStatus, kIfGoTo,   kWaitFor};

// Status request asking for the input byte as well as the status byte.
constexpr uint8_t kStatusItemInputs = 0x08;

// Condition triplets of StepIfCBox, in item order.
struct Condition {
    uint8_t selector, value, mask;
};
constexpr int kConditionCount = 22;
constexpr Condition kConditions[kConditionCount] = {
    {0, 0x01, 0x01}, {0, 0x00, 0x01}, {0, 0x08, 0x08}, {0, 0x00, 0x08}, {0, 0x04, 0x04}, {0, 0x00, 0x04},
    {0, 0x10, 0x10}, {0, 0x00, 0x10}, {0, 0x80, 0x80}, {0, 0x00, 0x80}, {1, 0x08, 0x08}, {1, 0x00, 0x08},
    {1, 0x10, 0x10}, {1, 0x00, 0x10}, {1, 0x20, 0x20}, {1, 0x00, 0x20}, {1, 0x01, 0x01}, {1, 0x00, 0x01},
    {1, 0x02, 0x02}, {1, 0x00, 0x02}, {1, 0x04, 0x04}, {1, 0x00, 0x04}};

// StepIfCBox item for a stored triplet: the even item whose selector and mask
// match, plus one when the compare value is 0; -1 when no item matches.
int ConditionIndex(uint8_t selector, uint8_t value, uint8_t mask) {
    for (int i = 0; i < kConditionCount; i += 2)
        if (kConditions[i].selector == selector && kConditions[i].mask == mask) return value == 0 ? i + 1 : i;
    return -1;
}

std::string Decimal(long long v) { return Format("%lld", v); }

// Speed and acceleration of a Move into at[0] and at[1]; false after a message.
bool PutSpeedAndAcceleration(MainState& s, uint8_t* at) {
    StepPanel& p = s.form.step;
    int speed = ReadIntField(s, p.StepEdit[2], 1, 250);
    if (speed == 0) return false;
    at[0] = uint8_t(speed);
    int accel = ReadIntField(s, p.StepEdit[3], 1, 255);
    if (accel == 0) return false;
    at[1] = uint8_t(accel);
    return true;
}

int EncodeMove(MainState& s, ProgramLine& line) {
    StepPanel& p = s.form.step;
    if (p.StepCheck[1].checked) {
        // Velocity mode: the position edit is not read at all.
        line.bytes[2] = kMoveVelocityByte;
        line.bytes[3] = uint8_t(0x86 | (p.StepCheck[2].checked ? 0x10 : 0));
        if (!PutSpeedAndAcceleration(s, line.bytes + 4)) return -1;
        FinishModuleFrame(line, 3, 1);
        return 0;
    }
    constexpr int kMinPosition = -2147483646;
    line.bytes[3] = 0x87;
    int position = ReadIntField(s, p.StepEdit[1], kMinPosition, 2147483647);
    if (position == kMinPosition - 1) return -1;
    PutU32(line.bytes + 4, uint32_t(position));
    if (!PutSpeedAndAcceleration(s, line.bytes + 8)) return -1;
    FinishModuleFrame(line, 7, 1);
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
    if (p.StepCheck[1].checked) control |= 0x04;
    if (p.StepCheck[4].checked) control |= 0x08;
    if (p.StepCheck[7].checked) control |= 0x10;
    // The speed boxes are independent; the first checked of 1x, 2x, 4x decides.
    if (p.StepCheck[2].checked)
        control |= 3;
    else if (p.StepCheck[3].checked)
        control |= 2;
    else if (p.StepCheck[5].checked)
        control |= 1;
    line.bytes[3] = control;
    const struct {
        int edit, max;
    } fields[4] = {{1, 250}, {2, 255}, {3, 255}, {7, 255}};
    for (int i = 0; i < 4; ++i) {
        int v = ReadIntField(s, p.StepEdit[fields[i].edit], 0, fields[i].max);
        if (v < 0) return -1;
        line.bytes[4 + i] = uint8_t(v);
    }
    FinishModuleFrame(line, 5, 1);
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
    const bool master = code == kIfGoTo || code == kWaitFor;
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
    if (code == kIfGoTo || code == kWaitFor) {
        condition = ChosenCondition(s);
        if (condition < 0) return -1;
    }

    StepPanel& p = s.form.step;
    StartEncoding(s, line, line.moduleAddress);

    switch (code) {
        case kMove: return EncodeMove(s, line);
        case kStop:
            line.bytes[3] = uint8_t((p.StepCheck[7].checked ? 0x01 : 0) | StopModeBits(p.StepRG, 0x04, 0x08));
            FinishModuleFrame(line, 1, 1);
            return 0;
        case kSetParam: return EncodeSetParam(s, line);
        case kSetOutputs: {
            uint8_t control = 0;
            const uint8_t bits[6] = {0, 0x01, 0x02, 0x04, 0x08, 0x10};
            for (int i = 1; i <= 5; ++i)
                if (p.StepCheck[i].checked) control |= bits[i];
            line.bytes[3] = control;
            FinishModuleFrame(line, 1, 1);
            return 0;
        }
        case kResetPosition: FinishModuleFrame(line, 0, 1); return 0;
        case kStartHoming: {
            uint8_t control = 0;
            if (p.StepCheck[1].checked) control |= 0x01;
            if (p.StepCheck[4].checked) control |= 0x02;
            if (p.StepCheck[2].checked) control |= 0x08;
            if (p.StepCheck[7].checked) control |= StopModeBits(p.StepRG, 0x10, 0x20);
            line.bytes[3] = control;
            FinishModuleFrame(line, 1, 1);
            return 0;
        }
        case kGetStatus:
            line.bytes[3] = kStatusItemInputs;
            FinishModuleFrame(line, 1, 2);
            return 0;
        case kIfGoTo: return EncodeIfGoTo(line, p.StepEdit[1].text, PutCondition(condition));
        case kWaitFor:  // the status request asks for the input byte as well
            return EncodeModuleWaitFor(s, line, kStatusItemInputs, 2, PutCondition(condition), p.StepEdit[1],
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
            if (control & 0x01) {
                p.StepEdit[1].text = Decimal(GetI32(b + 4));
                p.StepEdit[2].text = Decimal(b[8]);
                p.StepEdit[3].text = Decimal(b[9]);
            } else {
                p.StepCheck[1].checked = true;
                p.StepEdit[1].text = "0";
                p.StepEdit[2].text = Decimal(b[4]);
                p.StepEdit[3].text = Decimal(b[5]);
                p.StepCheck[2].checked = (control & 0x10) != 0;
            }
            break;
        case kStop:
            p.StepCheck[7].checked = (control & 0x01) != 0;
            // Neither mode bit: the panel keeps its default, "Stop Abruptly".
            if (control & 0x04)
                p.StepRG.index = 0;
            else if (control & 0x08)
                p.StepRG.index = 1;
            break;
        case kSetParam:
            p.StepCheck[1].checked = (control & 0x04) != 0;
            p.StepCheck[4].checked = (control & 0x08) != 0;
            p.StepCheck[7].checked = (control & 0x10) != 0;
            p.StepCheck[2].checked = false;
            switch (control & 0x03) {
                case 3: p.StepCheck[2].checked = true; break;
                case 2: p.StepCheck[3].checked = true; break;
                case 1: p.StepCheck[5].checked = true; break;
                default: p.StepCheck[6].checked = true; break;
            }
            p.StepEdit[1].text = Decimal(b[4]);
            p.StepEdit[2].text = Decimal(b[5]);
            p.StepEdit[3].text = Decimal(b[6]);
            p.StepEdit[7].text = Decimal(b[7]);
            break;
        case kSetOutputs:
            p.StepCheck[1].checked = (control & 0x01) != 0;
            p.StepCheck[2].checked = (control & 0x02) != 0;
            p.StepCheck[3].checked = (control & 0x04) != 0;
            p.StepCheck[4].checked = (control & 0x08) != 0;
            p.StepCheck[5].checked = (control & 0x10) != 0;
            break;
        case kStartHoming:
            p.StepCheck[1].checked = (control & 0x01) != 0;
            p.StepCheck[4].checked = (control & 0x02) != 0;
            p.StepCheck[2].checked = (control & 0x08) != 0;
            if (control & 0x10) {
                p.StepCheck[7].checked = true;
                p.StepRG.index = 0;
            } else if (control & 0x20) {
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
            p.StepEdit[1].text = Decimal(GetU16(b + kWaitForTimeout));
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
            if (!(b[3] & 0x01))
                text += "- Motor Off";
            else if (b[3] & 0x04)
                text += "Abruptly";
            else if (b[3] & 0x08)
                text += "Smoothly";
            return text;
        }
        case kSetOutputs: return "SetOutputs";
        case kStartHoming: return "StartHoming";
        case kSetParam: return "SetParam";
        case kMove:
            if (b[3] & 0x01) return "Move - Pos. " + Decimal(GetI32(b + 4));
            return "Move - Vel. " + Decimal((b[3] & 0x10) ? -int(b[4]) : int(b[4]));
        default: return std::string();
    }
}
