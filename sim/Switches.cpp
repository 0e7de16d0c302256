#include "sim/Switches.h"

namespace sim {

const StepperInputName kStepperInputNames[6] = {
    {"e-stop", "E-Stop", StepperModule::EStop},          {"1", "Input 1", StepperModule::Input1},
    {"2", "Input 2", StepperModule::Input2},             {"limit-1", "Limit 1", StepperModule::Limit1},
    {"limit-2", "Limit 2", StepperModule::Limit2},       {"home-switch", "Home Sw.", StepperModule::HomeSwitch},
};

namespace {

constexpr int kIoPins = 12;

std::string TypeName(int type) {
    switch (type) {
        case kServoType: return "ZEL-SERVO";
        case kIoType: return "ZEL-I/O";
        case kStepperType: return "ZEL-STEP";
        default: return "type " + std::to_string(type);
    }
}

}  // namespace

uint16_t IoBitMask(int bit) { return bit >= 1 && bit <= kIoPins ? uint16_t(1u << (bit - 1)) : 0; }

uint8_t StepperInputMask(const std::string& name) {
    const std::string n = name == "input-1" ? "1" : name == "input-2" ? "2" : name;
    for (const StepperInputName& i : kStepperInputNames)
        if (n == i.name) return i.mask;
    return 0;
}

std::vector<PanelModule> ReadPanel(SimCore& core) {
    std::vector<PanelModule> panel;
    for (int a = 1; SimModule* m = core.module(a); ++a) {
        PanelModule p;
        p.address = a;
        p.type = m->typeCode();
        p.title = "Module " + std::to_string(a) + ": " + TypeName(p.type);
        if (ServoModule* servo = core.servo(a)) {
            p.moves = true;
            p.position = servo->position();
        } else if (StepperModule* stepper = core.stepper(a)) {
            p.moves = true;
            p.position = stepper->position();
            for (const StepperInputName& i : kStepperInputNames)
                p.switches.push_back({i.name, i.caption, i.mask, (stepper->externalInputs() & i.mask) != 0});
        } else if (IoModule* io = core.io(a)) {
            const uint16_t outputs = uint16_t(~io->directions() & 0x0FFF);
            for (int bit = 1; bit <= kIoPins; ++bit) {
                const uint16_t mask = IoBitMask(bit);
                const std::string n = std::to_string(bit);
                p.switches.push_back({"bit-" + n, n, mask, (io->externalLevels() & mask) != 0});
                p.lamps.push_back({n, (outputs & mask) != 0, (outputs & io->outputLatch() & mask) != 0});
            }
        }
        panel.push_back(std::move(p));
    }
    return panel;
}

bool SetInput(SimCore& core, int address, uint16_t mask, bool high) {
    if (mask == 0) return false;
    if (StepperModule* stepper = core.stepper(address)) {
        if (mask & ~uint16_t(StepperModule::kOutsideInputs)) return false;
        const uint8_t now = stepper->externalInputs();
        stepper->setExternalInputs(high ? uint8_t(now | mask) : uint8_t(now & ~mask));
        return true;
    }
    if (IoModule* io = core.io(address)) {
        if (mask & ~0x0FFFu) return false;
        const uint16_t now = io->externalLevels();
        io->setExternalLevels(high ? uint16_t(now | mask) : uint16_t(now & ~mask));
        return true;
    }
    return false;
}

}  // namespace sim
