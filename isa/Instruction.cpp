#include "isa/Instruction.h"

#include <cctype>
#include <climits>

#include "app/MainState.h"
#include "isa/CommandReference.h"
#include "isa/Commands.h"
#include "isa/Io.h"
#include "isa/Master.h"
#include "isa/Servo.h"
#include "isa/Stepper.h"

bool ScanInt(const std::string& full, int& value, bool& outOfRange) {
    const std::string text = full.substr(0, 39);
    size_t i = 0;
    outOfRange = false;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    long long v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 1LL + INT_MAX) {  // keep scanning digits, but the value no longer fits
            outOfRange = true;
            v = 1LL + INT_MAX;
        }
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) outOfRange = true;
    value = outOfRange ? 0 : int(v);
    return true;
}

int ReadIntField(MainState& s, const Ctl& edit, int min, int max) {
    NoteFieldRead(edit, min, max);
    int v = 0;
    bool outOfRange = false;
    if (!ScanInt(edit.text, v, outOfRange)) {
        s.rejectedField = &edit;
        s.message("Invalid numeric value");
        return min - 1;
    }
    if (outOfRange || v < min || v > max) {
        s.rejectedField = &edit;
        s.message("Value out of range");
        return min - 1;
    }
    return v;
}

bool ReadField(MainState& s, const Ctl& edit, int min, int max, int& value) {
    value = ReadIntField(s, edit, min, max);
    return value != min - 1;
}

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
    ApplyFieldHints(s, panel, commandCode);
}

void ShowCaption(Ctl& c, const char* caption) {
    c.caption = caption;
    c.visible = true;
}

void ShowField(Ctl& label, const char* caption, Ctl& edit, const char* text) {
    ShowCaption(label, caption);
    edit.text = text;
    edit.visible = true;
}

void ShowCheck(Ctl& check, const char* caption, bool checked) {
    ShowCaption(check, caption);
    check.checked = checked;
}

void ShowRadioGroup(Ctl& group) {
    group.visible = true;
    group.index = 0;
}

void ShowConditionBox(Ctl& box) {
    box.visible = true;
    box.index = -1;
    box.text.clear();
}

void ClearMotorPanel(Ctl (&labels)[11], Ctl (&edits)[10], Ctl (&checks)[8], Ctl& radioGroup, Ctl& conditionBox) {
    for (int i = 1; i <= 10; ++i) labels[i].visible = false;
    for (int i = 1; i <= 9; ++i) edits[i].visible = false;
    for (int i = 1; i <= 7; ++i) checks[i].visible = false;
    radioGroup.visible = false;
    conditionBox.visible = false;
    for (int i : {1, 2, 3, 7}) checks[i].checked = false;
}

void ShowMotorConditionFields(Ctl (&labels)[11], Ctl (&edits)[10], Ctl& conditionBox, bool waitFor) {
    if (waitFor) {
        ShowField(labels[1], "Timeout (.01 sec)", edits[1]);
        ShowField(labels[2], "GoTo on Timeout", edits[2]);
        ShowCaption(labels[10], "Select a WaitFor Condition:");
    } else {
        ShowField(labels[1], "GoTo Label", edits[1]);
        ShowCaption(labels[10], "Select a GoTo Condition:");
    }
    ShowConditionBox(conditionBox);
}

bool ChooseLoadedCommand(MainState& s, Ctl& box, int index, void (*click)(MainState&)) {
    if (index < 0) return false;
    box.index = index;
    click(s);
    return true;
}

void StartEncoding(MainState& s, ProgramLine& line, uint8_t byte1) {
    line.setLabel(s.form.LabelEdit.text);
    line.setGotoLabel("");
    line.patchOffset = 0;
    line.bytes[1] = byte1;
    line.bytes[2] = line.commandCode;
}

std::string FormatListingText(const MainState& s, const ProgramLine& line) {
    if (line.isComment()) return line.commentText();
    std::string label = line.labelText();
    if (label.size() > 8) label.resize(8);
    label.resize(8, ' ');
    std::string text = label + " " + Format("%2X ", unsigned(line.moduleAddress));
    if (line.bytes[0] == kMasterMarker) return text + MasterListingRow(line);
    switch (ModuleTypeOf(s, line.moduleAddress)) {
        case kTypeServo: return text + ServoListingRow(line);
        case kTypeStepper: return text + StepperListingRow(line);
        case kTypeIo: return text + IoListingRow(line);
        default: return text;
    }
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
