// The status exchange: a double click on the module list asks the module
// (through the master) for its state, or reads the master's own data area.

#include "modules/StatusWindows.h"

#include "isa/Vocabulary.h"
#include "link/LinkState.h"
#include "link/Protocol.h"

namespace {

constexpr StatusRequest kServoRequest{kItemPosition | kItemHomePosition, 9, 10};
constexpr StatusRequest kStepperRequest{kItemPosition | kItemStepInputs | kItemHomePosition, 10, 10};
constexpr StatusRequest kIoRequest{kItemInputBits, 3, 4};

// Fetches a reply of count bytes into buffer (count + 1 bytes).  false when
// the read failed: a missing reply has already been reported by the
// not-responding procedure; a checksum mismatch is reported here.
bool ReadStatus(LinkState& link, uint8_t* buffer, int count) {
    const int result = HostReadReply(link, buffer, count);
    if (result == -2) link.host->message("Error in reading status");
    return result == 0;
}

}  // namespace

const StatusRequest* ModuleStatusRequest(int type) {
    if (IsServo(type)) return &kServoRequest;
    if (IsStepper(type)) return &kStepperRequest;
    if (IsIo(type)) return &kIoRequest;
    return nullptr;
}

bool FetchModuleStatus(LinkState& link, int address, int type, uint8_t* reply) {
    const StatusRequest* request = ModuleStatusRequest(type);
    if (!request) return false;
    uint8_t frame[6];
    if (HostExecute(link, frame, PutStatusRequest(frame, uint8_t(address), request->itemBits, request->trailer)) !=
        0) {
        link.host->message("Error in reading status");
        return false;
    }
    return ReadStatus(link, reply, request->readCount);
}

bool FetchMasterStatus(LinkState& link, uint8_t* data, int& version) {
    if (!ReadStatus(link, data, kMasterDataBytes)) return false;
    version = HostVersion(link);
    return true;
}
