// Module status windows.  A double click on the module list asks the module
// (through the master) for its state, or reads the master's own data area, and
// fills the status window of the module's type once before it is shown.

#include "modules/StatusWindows.h"

#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Instruction.h"
#include "link/Protocol.h"

namespace {

constexpr uint8_t kGetStatus = 0x13;
constexpr int kMasterDataBytes = 32;

// The status request of one module type: the item bits asked for, the reply
// bytes the master collects (the frame's trailer) and the bytes read back.
struct StatusRequest {
    uint8_t itemBits;
    uint8_t trailer;
    int readCount;
};

constexpr StatusRequest kServoRequest{0x11, 9, 10};     // position, home position
constexpr StatusRequest kStepperRequest{0x19, 10, 10};  // position, input byte, home position
constexpr StatusRequest kIoRequest{0x01, 3, 4};         // input bits

const char* HighLow(bool set) { return set ? "High" : "Low"; }
const char* OnOff(bool set) { return set ? "On" : "Off"; }

// Fetches a reply of count bytes into buffer (count + 1 bytes).  false when
// the read failed: a missing reply has already been reported by the
// not-responding procedure; a checksum mismatch is reported here.
bool ReadStatus(MainState& s, uint8_t* buffer, int count) {
    const int result = HostReadReply(s, buffer, count);
    if (result == -2) s.message("Error in reading status");
    return result == 0;
}

// Sends the GetStatus frame for module a and reads its reply.
bool RequestModuleStatus(MainState& s, int a, const StatusRequest& request, uint8_t* buffer) {
    uint8_t frame[6] = {kFrameHeader, uint8_t(a), kGetStatus, request.itemBits, 0, request.trailer};
    frame[4] = FrameChecksum(frame, 1);
    if (HostExecute(s, frame, 6) != 0) {
        s.message("Error in reading status");
        return false;
    }
    return ReadStatus(s, buffer, request.readCount);
}

void FillServo(StatusFormState& w, const uint8_t* r) {
    w.value("PosLabel") = Format("%d", GetI32(r + 1));
    w.value("HomePosLabel") = Format("%d", GetI32(r + 5));
    w.value("Lim1Label") = HighLow(r[0] & 0x20);
    w.value("Lim2Label") = HighLow(r[0] & 0x40);
    w.value("PowerLabel") = OnOff(r[0] & 0x08);
}

void FillStepper(StatusFormState& w, const uint8_t* r) {
    const uint8_t inputs = r[5];
    w.value("PosLabel") = Format("%d", GetI32(r + 1));
    w.value("HomePosLabel") = Format("%d", GetI32(r + 6));
    w.value("Lim1Label") = HighLow(inputs & 0x08);
    w.value("Lim2Label") = HighLow(inputs & 0x10);
    w.value("HomeSwLabel") = HighLow(inputs & 0x20);
    w.value("EStopLabel") = HighLow(inputs & 0x01);
    w.value("Input1Label") = HighLow(inputs & 0x02);
    w.value("Input2Label") = HighLow(inputs & 0x04);
    w.value("PowerLabel") = OnOff(r[0] & 0x08);
}

void FillIo(StatusFormState& w, const uint8_t* r) {
    for (int k = 1; k <= 12; ++k) {
        const bool set = k <= 8 ? (r[1] >> (k - 1)) & 1 : (r[2] >> (k - 9)) & 1;
        w.value(Format("B%dLbl", k)) = HighLow(set);
    }
}

void ShowModuleStatus(MainState& s, int a, int type) {
    const StatusRequest& request = type == kTypeServo ? kServoRequest
                                   : type == kTypeStepper ? kStepperRequest
                                                          : kIoRequest;
    uint8_t reply[16] = {};
    if (!RequestModuleStatus(s, a, request, reply)) return;

    StatusFormState& w = type == kTypeServo ? s.statusForms.servo
                         : type == kTypeStepper ? s.statusForms.stepper
                                                : s.statusForms.io;
    w.caption = Format("Module %d", a);
    if (type == kTypeServo) {
        FillServo(w, reply);
        s.ui.showStatusWindow(StatusWindow::Servo);
    } else if (type == kTypeStepper) {
        FillStepper(w, reply);
        s.ui.showStatusWindow(StatusWindow::Stepper);
    } else {
        FillIo(w, reply);
        s.ui.showStatusWindow(StatusWindow::Io);
    }
}

void ShowMasterStatus(MainState& s, int a) {
    uint8_t data[kMasterDataBytes + 1] = {};
    if (!ReadStatus(s, data, kMasterDataBytes)) return;

    StatusFormState& w = s.statusForms.master;
    w.caption = Format("Module %d", a);
    // A failed Version still opens the window, showing its result -1.
    w.value("VersionLbl") = Format("Version:  %d", HostVersion(s));
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
