#include "app/ModuleListBox.h"

#include "app/MainState.h"
#include "isa/Vocabulary.h"
#include "app/panels/Instruction.h"
#include "modules/ModuleList.h"
#include "program/LineStore.h"
#include "app/Editing.h"

void ModuleListBoxClick(MainState& s) {
    Form& f = s.form;
    int a = f.ModuleListBox.index;
    f.CmdClassEdit.text.clear();
    f.CmdEdit.text.clear();
    f.AddInstrButton.enabled = false;
    f.ChangeButton.enabled = false;
    f.ExeNowButton.enabled = false;
    for (Ctl* c : {&f.MasterCBox, &f.ServoCBox, &f.StepCBox, &f.IoCBox}) c->index = -1;
    HideAllPanels(s);
    int type = -1;
    if (a >= 0 && a <= 31) {
        f.ModAddrEdit.text = Format("%2d", a);
        s.builderLine.moduleAddress = uint8_t(a);
        type = s.moduleTypes[a];
    } else {
        f.ModAddrEdit.text.clear();
    }
    f.MasterCBox.enabled = f.MCBLabel.enabled = IsMaster(type);
    f.ServoCBox.enabled = f.SCBLabel.enabled = IsServo(type);
    f.StepCBox.enabled = f.STCBLabel.enabled = IsStepper(type);
    f.IoCBox.enabled = f.ICBLabel.enabled = IsIo(type);
}

void SelectModule(MainState& s, int address) {
    s.form.ModuleListBox.index = address >= 0 && address < int(s.form.ModuleListBox.items.size()) ? address : -1;
    ModuleListBoxClick(s);
}

void FillModuleListBox(MainState& s) { s.form.ModuleListBox.items = ModuleListLines(s); }

namespace {

void AddModule(MainState& s, int type) {
    auto& items = s.form.ModuleListBox.items;
    int n = int(items.size());
    if (n > kMaxModules) {
        s.message("The module list is full: a network holds at most 31 modules.");
        return;
    }
    items.push_back(ModuleListLine(n, type));
    s.form.ModuleListBox.index = n;
    if (s.online && s.detectedTypes[n] != type) {
        s.message("New module does not match detected modules - program execution may fail.");
        s.moduleMismatch = true;
    }
    s.moduleTypes[n] = type;
    ModuleListBoxClick(s);
    s.moduleListDefined = true;
    ++s.moduleListCount;
    MarkProgramChanged(s);
}

}  // namespace

void AddServoModule1Click(MainState& s) { AddModule(s, kTypeServo); }
void AddStepModule1Click(MainState& s) { AddModule(s, kTypeStepper); }
void AddIOModule1Click(MainState& s) { AddModule(s, kTypeIo); }

void ClearModuleList1Click(MainState& s) {
    s.form.ModuleListBox.items = {ModuleListLine(0, kTypeMaster)};
    s.form.ModuleListBox.index = 0;
    ModuleListBoxClick(s);
    s.moduleListDefined = false;
    s.moduleMismatch = false;
    s.moduleListCount = 0;
    MarkProgramChanged(s);
}

void UseDetectedModules1Click(MainState& s) {
    if (!s.online) {
        s.message("No modules detected online");
        return;
    }
    int count = s.status.moduleCount > kMaxModules ? kMaxModules : s.status.moduleCount;
    s.moduleListCount = uint8_t(count);
    // A slave lists as one of the three slave kinds or as UNKNOWN (a slave
    // reporting the master's code too); the reported code itself is kept.
    for (int i = 1; i <= count; ++i) s.moduleTypes[i] = s.detectedTypes[i];
    FillModuleListBox(s);
    s.form.ModuleListBox.index = -1;
    s.moduleMismatch = false;
    MarkProgramChanged(s);
}
