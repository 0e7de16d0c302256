#include "app/panels/Instruction.h"

#include <cstring>

#include "app/MainState.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Panel.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"

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
