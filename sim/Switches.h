#pragma once
// What a person at the machine gives the simulated modules and sees of them:
// the inputs held from outside (the I/O module's twelve pins; the stepper's
// E-Stop, Input 1 and 2, limit and home switches) and the I/O module's
// outputs.  The Simulator window draws a panel of them, and the scenarios set
// the same inputs by name.  Call these with the master held (SimMaster's
// withCore), never from beside its thread.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimCore.h"

namespace sim {

// One input held from outside.
struct PanelSwitch {
    std::string name;       // "bit-5"; the stepper's "e-stop", "1", "2", "limit-1", "limit-2", "home-switch"
    std::string caption;    // as the window shows it: "5", "E-Stop", "Input 1", ...
    uint16_t mask = 0;      // I/O: the pin's bit (bit 1 = 0x001); stepper: its bit of the input byte
    bool on = false;        // held high
};

// One I/O pin seen from outside.
struct PanelLamp {
    std::string caption;    // "1" to "12"
    bool output = false;    // the program made the pin an output
    bool on = false;        // an output driving high
};

struct PanelModule {
    int address = 0;
    int type = 0;
    std::string title;      // "Module 3: ZEL-I/O"
    bool moves = false;     // a servo or stepper: position holds its reported position
    int32_t position = 0;
    std::vector<PanelSwitch> switches;
    std::vector<PanelLamp> lamps;
};

// The stepper's inputs that can be held from outside, in the order shown.
struct StepperInputName {
    const char* name;
    const char* caption;
    uint8_t mask;
};
extern const StepperInputName kStepperInputNames[6];

// Every module of the network, address 1 first.
std::vector<PanelModule> ReadPanel(SimCore& core);

// Holds the inputs in mask of the module at address high or low.  False when
// the module has no such input (a servo, a bit beyond 12, no module there).
bool SetInput(SimCore& core, int address, uint16_t mask, bool high);

// The I/O pin bit (1 to 12) as a mask; 0 outside.
uint16_t IoBitMask(int bit);
// A stepper input by name ("1", "2", "e-stop", "home-switch", "limit-1",
// "limit-2"; also "input-1", "input-2"); 0 for any other name.
uint8_t StepperInputMask(const std::string& name);

}  // namespace sim
