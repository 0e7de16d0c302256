#include "app/panels/Instruction.h"

#include <cstring>

#include "app/MainState.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Panel.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"

int ModuleTypeOf(const MainState& s, int address) {
    if (address < 0 || address > 31) return kTypeUnknown;
    return s.moduleTypes[address];
}

int BuildInstruction(MainState& s) {
    switch (ModuleTypeOf(s, s.builderLine.moduleAddress)) {
        case kTypeServo: return EncodeServoInstruction(s, s.builderLine);
        case kTypeIo: return EncodeIoInstruction(s, s.builderLine);
        case kTypeStepper: return EncodeStepperInstruction(s, s.builderLine);
        case kTypeMaster: return EncodeMasterInstruction(s, s.builderLine);
        default: return -1;
    }
}

void LoadInstruction(MainState& s) {
    switch (ModuleTypeOf(s, s.builderLine.moduleAddress)) {
        case kTypeServo: LoadServoInstruction(s); break;
        case kTypeIo: LoadIoInstruction(s); break;
        case kTypeStepper: LoadStepperInstruction(s); break;
        case kTypeMaster: LoadMasterInstruction(s); break;
        default: break;
    }
}

void HideAllPanels(MainState& s) {
    s.form.master.MasterGroup.visible = false;
    s.form.servo.ServoGroup.visible = false;
    s.form.step.StepGroup.visible = false;
    s.form.io.IoGroup.visible = false;
}

void CommandChosen(MainState& s, Ctl& panel, const char* classText, uint8_t byte0, uint8_t commandCode,
                   const std::string& commandName) {
    HideAllPanels(s);
    panel.visible = true;
    s.form.LabelEdit.text.clear();
    s.form.AddInstrButton.enabled = true;
    s.form.ChangeButton.enabled = true;
    if (s.online) s.form.ExeNowButton.enabled = true;
    s.form.CmdClassEdit.text = classText;
    s.form.CmdEdit.text = commandName;
    s.builderLine.bytes[0] = byte0;
    s.builderLine.commandCode = commandCode;
}

std::string FormatListingText(const MainState& s, const ProgramLine& line) {
    if (line.isComment()) return line.commentText();
    std::string label = line.labelText();
    if (label.size() > 8) label.resize(8);
    label.resize(8, ' ');
    std::string text = label + " " + Format("%2X ", unsigned(line.moduleAddress));
    return text + isa::listingRow(StoredInstruction(line), ModuleTypeOf(s, line.moduleAddress));
}

int ExecuteNowLength(const ProgramLine& line) {
    if (line.bytes[0] != kMasterMarker) return (line.bytes[2] >> 4) + 5;
    if (line.bytes[2] == MasterCmd::kSetOutputs) {
        int n = line.bytes[1] + 3;
        return n <= kMaxInstrBytes ? n : kMaxInstrBytes;
    }
    return -1;
}

void PutU16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v & 0xFF);
    p[1] = uint8_t((v >> 8) & 0xFF);
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t((v >> (8 * i)) & 0xFF);
}

uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

int32_t GetI32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}
