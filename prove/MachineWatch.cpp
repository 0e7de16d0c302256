// The machine description held against a running program.

#include "prove/MachineWatch.h"

#include <algorithm>

#include "isa/Vocabulary.h"

namespace prove {

namespace {

const std::vector<WatchRule> kRules = {
    {"travel", "an axis stands outside its travel (during a move and in velocity mode too)"},
    {"velocity-limit", "a Move commanded faster than the axis's max-velocity"},
    {"acceleration-limit", "a Move commanded with more acceleration than the axis's max-acceleration"},
    {"move-before-home",
     "an absolute Move of an axis that must be homed first, before its StartHoming or ResetPosition"},
    {"interlock", "a Move commanded while the input its interlock requires does not hold"},
    {"never-together", "an instruction leaves outputs on together that must never be"},
};

int32_t LE32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

}  // namespace

const std::vector<WatchRule>& WatchRules() { return kRules; }

uint16_t InputMask(int type, int bit) {
    if (bit < 1) return 0;
    if (type == kTypeStepper) return bit <= 6 ? uint16_t(1u << (bit - 1)) : 0;
    return bit <= 12 ? uint16_t(1u << (bit - 1)) : 0;
}

std::string MachineWatch::axis(int address) const {
    const std::string name = m_.moduleName(address);
    return "module " + std::to_string(address) + (name.empty() ? "" : " (" + name + ")");
}

// An output signal of a module whose latch and directions are given when it
// is outputsOf (what an instruction is about to leave), else as they are.
bool MachineWatch::signalHolds(sim::SimCore& core, const machine::Signal& s, uint16_t latch, uint16_t directions,
                               int outputsOf) const {
    sim::IoModule* io = core.io(s.module);
    if (!io) return false;
    if (s.module != outputsOf) {
        latch = io->outputLatch();
        directions = io->directions();
    }
    const uint16_t mask = InputMask(kTypeIo, s.bit);
    const bool high = (latch & ~directions & mask) != 0;
    return high == s.high;
}

std::optional<Violation> MachineWatch::before(sim::SimCore& core, uint16_t address, WatchState& st,
                                              const InputKnowledge& inputs) const {
    const uint8_t* mem = core.memory();
    const int end = std::min<int>(mem[0] | (mem[1] << 8), sim::kMemorySize);
    if (address < 2 || address + 3 > end) return std::nullopt;
    const uint8_t* b = mem + address;
    Violation v;
    v.address = v.standing = address;
    v.micros = core.executionTime();

    // The never-together rules after an I/O module's outputs change.
    auto outputs = [&](int a, uint16_t latch, uint16_t directions, const char* what) -> std::optional<Violation> {
        for (const machine::Interlock& lock : m_.interlocks) {
            if (lock.kind != machine::Interlock::Kind::NeverTogether) continue;
            bool concerns = false, all = true;
            for (const machine::Signal& s : lock.signals) {
                concerns = concerns || s.module == a;
                all = all && signalHolds(core, s, latch, directions, a);
            }
            if (!concerns || !all) continue;
            v.rule = "never-together";
            v.module = a;
            v.message = std::string(what) + " leaves ";
            for (size_t i = 0; i < lock.signals.size(); ++i)
                v.message += (i ? " and " : "") + m_.describe(lock.signals[i]);
            v.message += " together (interlock at line " + std::to_string(lock.line) + ")";
            return v;
        }
        return std::nullopt;
    };

    if (b[0] == kMasterMarker) {
        // A Reset of the master resets its modules: nothing is homed any more.
        if (b[2] == MasterCmd::kReset) st = WatchState();
        if (b[2] != MasterCmd::kSetOutputs || address + 11 > end) return std::nullopt;
        sim::IoModule* io = core.io(b[7]);
        if (!io || b[8] > 1) return std::nullopt;
        const uint16_t mask = uint16_t(b[9] | (b[10] << 8));
        const uint16_t latch = b[8] == 1 ? uint16_t((io->outputLatch() | mask) & 0x0FFF)
                                         : uint16_t(io->outputLatch() & mask & 0x0FFF);
        return outputs(b[7], latch, io->directions(), "SetOutputs");
    }
    if (b[0] != kFrameHeader) return std::nullopt;
    const int a = b[1];
    sim::SimModule* mod = core.module(a);
    if (!mod || address + 5 + (b[2] >> 4) > end) return std::nullopt;
    const int type = mod->typeCode();
    const uint8_t cmd = b[2];
    if (type == kTypeIo) {
        if (cmd != IoCmd::kMakeOutputs) return std::nullopt;
        sim::IoModule* io = core.io(a);
        return outputs(a, io->outputLatch(), uint16_t((b[3] | (b[4] << 8)) & 0x0FFF), "MakeOutputs");
    }
    if (type != kTypeServo && type != kTypeStepper) return std::nullopt;
    const bool servo = type == kTypeServo;
    if (cmd == ServoCmd::kStartHoming || (servo ? cmd == ServoCmd::kResetPosition : cmd == StepCmd::kResetPosition)) {
        st.homed |= 1u << a;
        return std::nullopt;
    }
    // What the Move commands: its velocity and acceleration in its own
    // fields, and whether its target is absolute.
    long long velocity = -1, acceleration = -1;
    bool absolute = false;
    if (servo && cmd == ServoCmd::kMove) {
        const uint8_t c = b[3];
        absolute = (c & 0x10) && !(c & 0x20) && !(c & 0x40);
        if (c & 0x10) {
            velocity = uint32_t(LE32(b + 8));
            acceleration = uint32_t(LE32(b + 12));
        }
    } else if (!servo && cmd == StepCmd::kMove) {
        absolute = true;
        velocity = b[8];
        acceleration = b[9];
    } else if (!servo && cmd == StepCmd::kMoveVelocity) {
        velocity = b[4];
        acceleration = b[5];
    } else {
        return std::nullopt;
    }
    st.mover[a] = address;
    v.module = a;
    if (const machine::Module* d = m_.module(a)) {
        if (d->maxVelocity && velocity > *d->maxVelocity) {
            v.rule = "velocity-limit";
            v.value = velocity;
            v.message = "Move of " + axis(a) + " at velocity " + std::to_string(velocity) +
                        ", above its max-velocity " + std::to_string(*d->maxVelocity);
            return v;
        }
        if (d->maxAcceleration && acceleration > *d->maxAcceleration) {
            v.rule = "acceleration-limit";
            v.value = acceleration;
            v.message = "Move of " + axis(a) + " with acceleration " + std::to_string(acceleration) +
                        ", above its max-acceleration " + std::to_string(*d->maxAcceleration);
            return v;
        }
        if (d->homeBeforeAbsolute && absolute && !(st.homed & (1u << a))) {
            v.rule = "move-before-home";
            v.message = "absolute Move of " + axis(a) + " before its StartHoming or ResetPosition";
            return v;
        }
    }
    for (const machine::Interlock& lock : m_.interlocks) {
        if (lock.kind != machine::Interlock::Kind::MoveRequires || lock.moveModule != a) continue;
        const machine::Signal& s = lock.signals.front();
        bool holds = false, free = false;
        uint16_t mask = 0;
        if (s.kind == machine::Signal::Kind::Output) {
            sim::IoModule* io = core.io(s.module);
            holds = io && signalHolds(core, s, io->outputLatch(), io->directions(), s.module);
        } else if (sim::IoModule* io = core.io(s.module)) {
            mask = InputMask(kTypeIo, s.bit);
            holds = ((io->inputBits() & mask) != 0) == s.high;
            free = (io->directions() & mask) && !inputs.known(s.module, mask);
        } else if (sim::StepperModule* step = core.stepper(s.module)) {
            mask = InputMask(kTypeStepper, s.bit);
            holds = ((step->inputByte() & mask) != 0) == s.high;
            free = (mask & sim::StepperModule::kOutsideInputs) && !inputs.known(s.module, mask);
        }
        if (holds && !free) continue;
        v.rule = "interlock";
        v.message = "Move of " + axis(a) + " while " + m_.describe(s) + " does not hold" +
                    (holds ? " (nothing the program read since it last waited makes it hold)" : "") +
                    " (interlock at line " + std::to_string(lock.line) + ")";
        if (free) {
            v.inputModule = s.module;
            v.inputMask = mask;
            v.inputHigh = !s.high;
        }
        return v;
    }
    return std::nullopt;
}

std::optional<Violation> MachineWatch::tick(sim::SimCore& core, const WatchState& st) const {
    for (const machine::Module& d : m_.modules) {
        if (!d.hasTravel) continue;
        int64_t position = 0;
        if (sim::ServoModule* servo = core.servo(d.address)) position = servo->position();
        else if (sim::StepperModule* step = core.stepper(d.address)) position = step->position();
        else continue;
        if (position >= d.travelLow && position <= d.travelHigh) continue;
        Violation v;
        v.rule = "travel";
        v.standing = core.programAddress();
        v.address = st.mover[d.address] ? st.mover[d.address] : v.standing;
        v.micros = core.now();
        v.module = d.address;
        v.value = position;
        v.message = axis(d.address) + " at " + std::to_string(position) + ", outside its travel " +
                    std::to_string(d.travelLow) + " to " + std::to_string(d.travelHigh);
        return v;
    }
    return std::nullopt;
}

}  // namespace prove
