#pragma once
// The status exchange behind the module status windows: one module's status
// through the master, or the master's own data area.  The windows themselves
// (their labels, showing them) are app/StatusForms.h.
#include <cstdint>
struct LinkState;

// The status request of one module type: the item bits asked for, the reply
// bytes the master collects (the frame's trailer) and the bytes read back.
struct StatusRequest {
    uint8_t itemBits;
    uint8_t trailer;
    int readCount;
};

// The request of a servo, stepper or I/O module; null for any other type
// (the master is read without a frame: kMasterDataBytes of its data area).
const StatusRequest* ModuleStatusRequest(int type);
constexpr int kMasterDataBytes = 32;

// Sends the status request of a servo, stepper or I/O module at address and
// reads its reply into reply (readCount + 1 bytes, at most 11).  false when
// it failed: a missing reply has been reported by the not-responding
// procedure, anything else with "Error in reading status".
bool FetchModuleStatus(LinkState& link, int address, int type, uint8_t* reply);
// Reads the master's data area into data (kMasterDataBytes + 1 bytes), then
// its version (-1 when Version failed, which does not stop the window).
// false when the data area could not be read.
bool FetchMasterStatus(LinkState& link, uint8_t* data, int& version);
