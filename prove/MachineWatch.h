#pragma once
// The machine description held against a running program: what each
// instruction commands (a Move's velocity, acceleration, homing and
// interlock; the outputs a SetOutputs or MakeOutputs leaves on) before it
// runs, and every simulated millisecond where each axis stands.  Used by the
// explorer of paths and by scenarios with a machine description.
//
// Pure over the simulated master: it reads the core and its modules and
// changes nothing.  Nothing throws.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "machine/Machine.h"
#include "sim/SimCore.h"

namespace prove {

// The rules a run is held to, with stable ids.
struct WatchRule {
    const char* id;
    const char* summary;
};
const std::vector<WatchRule>& WatchRules();

struct Violation {
    std::string rule;          // an id of WatchRules(): travel, interlock, ...
    uint16_t address = 0;      // the instruction that caused it (the Move, the SetOutputs)
    uint16_t standing = 0;     // where the program stood when it was seen
    int64_t micros = 0;        // simulated time
    int module = 0;            // the module concerned
    int64_t value = 0;         // the position, velocity or acceleration seen
    std::string message;       // "module 1 (X axis) at 50120, outside its travel 0 to 50000"
    // An interlock's input the world may hold at the wrong level: the
    // explorer sets it there for the counterexample (module 0: none).
    int inputModule = 0;
    uint16_t inputMask = 0;
    bool inputHigh = false;
};

// What the watch may take for granted about an input: a scenario knows every
// input (it set them); the explorer knows only those its path has fixed
// since the program last waited.
class InputKnowledge {
public:
    virtual ~InputKnowledge() = default;
    // The input bits mask of the module at address hold their present levels.
    virtual bool known(int address, uint16_t mask) const = 0;
};

// What the watch remembers along one run.
struct WatchState {
    uint32_t homed = 0;                 // bit a: module a had StartHoming or ResetPosition
    uint16_t mover[32] = {};            // the Move that last commanded module a's motion (0: none)
};

// A stepper's named input bit k is bit k - 1 of its input byte: 1 E-Stop,
// 2 input 1, 3 input 2, 4 limit 1, 5 limit 2, 6 home switch.
uint16_t InputMask(int type, int bit);

class MachineWatch {
public:
    explicit MachineWatch(const machine::Machine& m) : m_(m) {}

    // Before the instruction at address runs: the rules it breaks, if any;
    // st learns what it commands.
    std::optional<Violation> before(sim::SimCore& core, uint16_t address, WatchState& st,
                                    const InputKnowledge& inputs) const;
    // At the end of a simulated millisecond: each axis inside its travel.
    std::optional<Violation> tick(sim::SimCore& core, const WatchState& st) const;

    const machine::Machine& machine() const { return m_; }

private:
    bool signalHolds(sim::SimCore& core, const machine::Signal& s, uint16_t latch, uint16_t directions,
                     int outputsOf) const;
    std::string axis(int address) const;

    const machine::Machine& m_;
};

}  // namespace prove
