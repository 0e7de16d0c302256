#include "app/StatusForms.h"

#include "app/MainState.h"
#include "isa/Vocabulary.h"
#include "app/panels/Instruction.h"
#include "modules/StatusWindows.h"

namespace {

const char* HighLow(bool set) { return set ? "High" : "Low"; }
const char* OnOff(bool set) { return set ? "On" : "Off"; }

void FillServo(StatusFormState& w, const uint8_t* r) {
    w.value("PosLabel") = Format("%d", GetI32(r + 1));
    w.value("HomePosLabel") = Format("%d", GetI32(r + 5));
    w.value("Lim1Label") = HighLow(r[0] & ServoStatus::kLimit1);
    w.value("Lim2Label") = HighLow(r[0] & ServoStatus::kLimit2);
    w.value("PowerLabel") = OnOff(r[0] & ServoStatus::kPowerOn);
}

void FillStepper(StatusFormState& w, const uint8_t* r) {
    const uint8_t inputs = r[5];
    w.value("PosLabel") = Format("%d", GetI32(r + 1));
    w.value("HomePosLabel") = Format("%d", GetI32(r + 6));
    w.value("Lim1Label") = HighLow(inputs & StepInput::kLimit1);
    w.value("Lim2Label") = HighLow(inputs & StepInput::kLimit2);
    w.value("HomeSwLabel") = HighLow(inputs & StepInput::kHomeSwitch);
    w.value("EStopLabel") = HighLow(inputs & StepInput::kEStop);
    w.value("Input1Label") = HighLow(inputs & StepInput::kInput1);
    w.value("Input2Label") = HighLow(inputs & StepInput::kInput2);
    w.value("PowerLabel") = OnOff(r[0] & StepStatus::kPowerOn);
}

void FillIo(StatusFormState& w, const uint8_t* r) {
    for (int k = 1; k <= 12; ++k) {
        const bool set = k <= 8 ? (r[1] >> (k - 1)) & 1 : (r[2] >> (k - 9)) & 1;
        w.value(Format("B%dLbl", k)) = HighLow(set);
    }
}

void ShowModuleStatus(MainState& s, int a, int type) {
    uint8_t reply[16] = {};
    if (!FetchModuleStatus(s, a, type, reply)) return;

    StatusFormState& w = IsServo(type) ? s.statusForms.servo
                         : IsStepper(type) ? s.statusForms.stepper
                                           : s.statusForms.io;
    w.caption = Format("Module %d", a);
    if (IsServo(type)) {
        FillServo(w, reply);
        s.ui.showStatusWindow(StatusWindow::Servo);
    } else if (IsStepper(type)) {
        FillStepper(w, reply);
        s.ui.showStatusWindow(StatusWindow::Stepper);
    } else {
        FillIo(w, reply);
        s.ui.showStatusWindow(StatusWindow::Io);
    }
}

void ShowMasterStatus(MainState& s, int a) {
    uint8_t data[kMasterDataBytes + 1] = {};
    int version = -1;
    // A failed Version still opens the window, showing its result -1.
    if (!FetchMasterStatus(s, data, version)) return;

    StatusFormState& w = s.statusForms.master;
    w.caption = Format("Module %d", a);
    w.value("VersionLbl") = Format("Version:  %d", version);
    for (int k = 1; k <= 4; ++k) w.value(Format("C%dLbl", k)) = Format("%u", unsigned(GetU16(data + 22 + 2 * k)));
    s.ui.showStatusWindow(StatusWindow::Master);
}

}  // namespace

void ModuleListBoxDblClick(MainState& s) {
    if (!s.online) {
        s.message("Stepwright not on-line.");
        return;
    }
    if (s.moduleMismatch) {
        s.message("Module list does not match detected modules.");
        return;
    }
    const int a = s.form.ModuleListBox.index;
    if (a < 0 || a > kMaxModules) return;
    switch (s.moduleTypes[a]) {
        case kTypeServo:
        case kTypeStepper:
        case kTypeIo: ShowModuleStatus(s, a, s.moduleTypes[a]); break;
        case kTypeMaster: ShowMasterStatus(s, a); break;
        default: break;
    }
}
