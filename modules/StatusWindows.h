#pragma once
// Module status windows, filled at a double click on the module list.
#include <cstdint>
struct MainState;
void ModuleListBoxDblClick(MainState& s);

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
