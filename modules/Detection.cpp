// Module detection: takes the link on line, has the master initialise its
// network, asks every slave module for its type, and adopts the result as the
// module list or checks the defined list against it.

#include "modules/Detection.h"

#include "app/MainState.h"
#include "isa/Vocabulary.h"
#include "app/Progress.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "modules/ModuleList.h"

namespace {

// The type request's reply: the status byte and the type code; the master
// collects three bytes.
constexpr uint8_t kTypeReplyTrailer = 3;

// Rebuilds the module list from moduleTypes[1..count] as found on the
// network; a type without a family becomes "UNKNOWN" (255).
void AdoptModules(MainState& s, int count) {
    auto& items = s.form.ModuleListBox.items;
    items.assign(1, ModuleListLine(0, kTypeMaster));
    s.moduleListDefined = true;
    s.moduleListCount = uint8_t(count);
    for (int i = 1; i <= count; ++i) {
        if (!IsKnownSlave(s.moduleTypes[i])) s.moduleTypes[i] = kTypeUnknown;
        items.push_back(ModuleListLine(i, s.moduleTypes[i]));
    }
    SelectModule(s, 0);
}

}  // namespace

int AskModuleType(MainState& s, int address) {
    uint8_t frame[6];
    if (HostExecute(s, frame, PutStatusRequest(frame, uint8_t(address), kItemType, kTypeReplyTrailer)) != 0)
        return -1;
    uint8_t reply[5] = {0, 0, 0, 0, 0};
    // A checksum mismatch (-2) keeps the link on line; the bytes are used as they came.
    if (HostReadReply(s, reply, 4) == -1) return -1;
    return reply[1];
}

void DetectModules(MainState& s) {
    s.online = true;
    s.forceDetection = false;
    s.moduleMismatch = false;
    s.form.ProgExeGroup.enabled = true;
    s.form.ProgExeGroup.caption = "Program Execution";

    // The Stop's reply is read after the pause, which gives the master time
    // to stop and settle.
    uint8_t stop = kCmdStop;
    SioPutChars(s, &stop, 1);
    ShowProgress(s, 1);
    s.ui.wait(2000);
    HideProgress(s);
    uint8_t first[6];
    if (SioGetChars(s, first, 6) < 6) {
        NotResponding(s);
        return;
    }

    // TavoInit: the master scans its network.
    uint8_t init[3];
    if (HostExecute(s, init, PutMasterInstruction(init, MasterCmd::kTavoInit)) != 0) return;
    SioClrInbuf(s);
    if (HostStop(s) != 0) return;

    // The tables hold 31 slave modules; a larger count is taken as 31.
    int count = s.status.moduleCount > kMaxModules ? kMaxModules : s.status.moduleCount;
    s.message(Format("%d module(s) found", count));
    s.moduleTypes[0] = kTypeMaster;

    for (int i = 1; i <= count; ++i) {
        const int code = AskModuleType(s, i);
        if (code < 0) return;
        s.detectedTypes[i] = code;
        if (s.moduleListDefined && code != s.moduleTypes[i]) {
            s.message("Detected modules do not match module list - program execution may fail.");
            s.moduleMismatch = true;
            break;
        }
        s.moduleTypes[i] = code;
    }
    if (s.moduleMismatch) return;
    AdoptModules(s, count);
    if (s.afterDetection) s.afterDetection();
}

int LookUpModules(MainState& s) {
    const int count = s.status.moduleCount > kMaxModules ? kMaxModules : s.status.moduleCount;
    s.moduleTypes[0] = kTypeMaster;
    for (int i = 1; i <= count; ++i) {
        const int code = AskModuleType(s, i);
        if (code < 0) return -1;
        s.detectedTypes[i] = code;
        s.moduleTypes[i] = code;
    }
    s.moduleMismatch = false;
    AdoptModules(s, count);
    return 0;
}
