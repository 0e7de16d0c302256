#pragma once
// The simulated Stepwright master without any device: host bytes go in with
// the time they arrive, the master's bytes come out with the earliest time
// they may leave, and advance() runs the downloaded program and the modules'
// motion up to a given time.  Times are microseconds on any monotonic clock.
//
// Errors in the simulator: the host learns of them only as from a real
// master, by its bytes (0xCC for a refused block or instruction, or silence
// under an injected fault); an instruction the master cannot run stops the
// program with its stop reason in status byte A.  Nothing throws.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/Modules.h"
#include "sim/SimOptions.h"

namespace sim {

constexpr int kMemorySize = 16384;      // program memory
constexpr int kAreaSize = 32;           // status area read by Read reply and conditions
constexpr int kReplyBytes = 24;         // module replies land in bytes 0 .. 23
constexpr int kCallDepth = 16;
constexpr int kPrintBufferSize = 1024;
constexpr int kMaxModules = 31;
constexpr Micros kNever = INT64_MAX;

// Status byte A: why the program is not running (or that it is).
enum StopReason : uint8_t {
    kIdle = 0x00,            // since power-up or reset
    kRunning = 0x01,
    kStoppedByHost = 0x02,   // Stop (0x80)
    kStoppedByProgram = 0x03,  // StopProgram
    kAtBreakpoint = 0x04,
    kStepDone = 0x05,
    kEndOfProgram = 0x06,    // ran past the last instruction
    kBadInstruction = 0x10,
    kBadAddress = 0x11,      // jump or start outside program memory
    kStackOverflow = 0x12,
    kStackEmpty = 0x13,      // Return without Call
    kFrameChecksum = 0x14,   // a module frame with a wrong checksum
    kNoModule = 0x15,        // no module at the frame's address
    kWrongModule = 0x16,     // SetOutputs for a module that is not an I/O module
};

// Status byte B.
enum StatusB : uint8_t {
    kRunningBit = 0x01,
    kTimerBit = 0x10,        // the timer of SetTimer has run out
    kErrorBit = 0x80,        // stopped on an error (status A tells which)
};

class SimCore;

// Told of the running program's steps, for a check that watches it (the
// explorer of paths, a scenario's machine description).  Called on the
// master's own thread of execution, between two instructions.
class ExecObserver {
public:
    virtual ~ExecObserver() = default;
    // A new instruction at address is about to run (not a waiting one that
    // tests again).  false: not now; the program stays before it and
    // advance() returns; the next advance() asks again.
    virtual bool beforeInstruction(SimCore& core, uint16_t address) = 0;
    // A module frame the program sent (frame: its bytes) has had its reply
    // collected into the program's status area.
    virtual void frameCollected(SimCore& core, const uint8_t* frame) = 0;
};

class SimCore {
public:
    struct OutByte {
        uint8_t byte;
        Micros notBefore;
    };

    explicit SimCore(const SimOptions& options);
    ~SimCore();
    // A copy of the whole master, its modules, program and state included;
    // the copy has the same observer until it is given another.
    SimCore(const SimCore&);
    SimCore& operator=(const SimCore&) = delete;

    void setObserver(ExecObserver* observer) { observer_ = observer; }
    // Waits with a duration the program has begun (Delay, a WaitFor that did
    // not hold at once, a Print into a full buffer): the world may have
    // changed since a count seen before.
    uint64_t waitsBegun() const { return waitsBegun_; }
    // Simulated time at which the program's next instruction runs.
    Micros executionTime() const { return execTime_; }
    bool waiting() const { return wait_ != Wait::None; }
    // Appends the bytes of all state that can change what the master and
    // its modules do next, times taken from the next instruction's; equal
    // bytes, the same future (what was printed and the program memory,
    // which the program never writes, left out).
    void appendState(std::string& out) const;
    // Changes one byte of the program's status area (what the world showed
    // when the byte was collected).
    void setAreaByte(int index, uint8_t value);
    // The status area shows the master's own status (no module reply since
    // the last GetStatus of the master).
    bool statusAreaLive() const { return areaLive_; }
    // The key waiting for the program, as if typed at the terminal (-1: none).
    void setKey(int key) { key_ = key < 0 ? -1 : key & 0x7F; }

    // Power-up: the network is scanned and "#" is sent.
    void powerUp(Micros now);
    // Host bytes arriving at now.
    void receive(uint8_t byte, Micros now);
    void receive(const std::vector<uint8_t>& bytes, Micros now);
    // Runs the program and the modules up to now.
    void advance(Micros now);
    // The bytes produced since the last call, in order.
    std::vector<OutByte> takeOutput();
    // When advance() has something to do next (kNever: only on input).
    Micros nextWake() const;
    // The line has hung up (fault): the serving side closes it.
    bool hungUp() const { return hungUp_; }
    // The injected faults, which may be changed while the master runs.
    SimFaults& faults() { return options_.faults; }

    // Looking inside (tests, the command line).
    bool running() const { return running_; }
    uint16_t programAddress() const { return pc_; }
    uint8_t statusA() const { return stopReason_; }
    uint8_t statusB(Micros now) const;
    uint8_t moduleCount() const { return moduleCount_; }
    uint16_t breakpoint() const { return breakpoint_; }
    uint16_t counter(int k) const { return counters_[k & 3]; }
    int key() const { return key_; }
    int callDepth() const { return sp_; }
    int masterBaud() const { return masterBaud_; }
    const uint8_t* memory() const { return memory_; }
    size_t pendingPrint() const { return print_.size(); }
    // Read reply commands received so far (the bad-count fault counts them).
    int readReplies() const { return readRepliesSeen_; }
    // The 32 bytes that the running program's conditions see at time now.
    void statusArea(uint8_t (&area)[kAreaSize], Micros now) const;
    // The 32 bytes that Read reply returns at time now: what the host's own
    // last Execute instruction collected, never a reply the program collected
    // (with a shared reply area: whatever either collected last).
    void hostReplyArea(uint8_t (&area)[kAreaSize], Micros now) const;
    SimModule* module(int address);
    ServoModule* servo(int address);
    StepperModule* stepper(int address);
    IoModule* io(int address);
    Micros now() const { return now_; }

private:
    // ---- host protocol (SimCore.cpp)
    void command(uint8_t cmd);
    void argument(uint8_t byte);
    void finishCommand();
    void abandonCommand();
    void send(uint8_t byte);
    void sendStatus();
    void answerPoll();
    void resetMaster();
    void ack(uint8_t cmd);
    void fillArea(const uint8_t* stored, bool live, uint8_t (&area)[kAreaSize], Micros now) const;
    bool writeBlock();
    bool executeImmediate();

    // ---- program execution (Interpreter.cpp)
    enum class Flow { Next, Jump, Wait, Stop };
    struct Outcome {
        Flow flow = Flow::Next;
        int length = 0;          // instruction length (Next)
        uint16_t target = 0;     // Jump
        uint8_t reason = kIdle;  // Stop
        Micros cost = 0;         // simulated time the instruction takes
    };
    void startProgram(uint16_t address, bool step);
    void stopProgram(uint8_t reason);
    void runUntil(Micros now);
    Outcome executeAt(uint16_t address, Micros t);
    Outcome resumeWait(Micros t);
    Outcome waitForTest(Micros t);
    Outcome masterInstruction(const uint8_t* b, int avail, Micros t, bool immediate);
    // A module frame at b (avail bytes readable): its reply collected into the
    // status area.  Returns kIdle on success, else the StopReason.
    uint8_t moduleFrame(const uint8_t* b, int avail, int& length, Micros t);
    uint8_t statusRequest(const uint8_t* slot, Micros t);
    uint8_t setOutputs(const uint8_t* b, Micros t);
    bool condition(uint8_t selector, uint8_t value, uint8_t mask, Micros t) const;
    bool timerExpired(Micros t) const { return timerArmed_ && t >= timerDeadline_; }
    uint16_t programEnd() const;
    void advanceModules(Micros t);
    bool push(uint16_t address);

    SimOptions options_;
    std::vector<ModuleSlot> modules_;
    ExecObserver* observer_ = nullptr;
    uint64_t waitsBegun_ = 0;
    uint8_t moduleCount_ = 0;
    Micros now_ = 0;

    // Output
    std::vector<OutByte> out_;
    bool silent_ = false;
    bool hungUp_ = false;
    uint32_t noise_ = 0x2545F491u;
    int commandsSeen_ = 0;
    int acksSeen_ = 0;
    int readRepliesSeen_ = 0;

    // Host command being received
    uint8_t cmd_ = 0;            // 0 = none
    uint8_t args_[260] = {};
    int argCount_ = 0;
    int argNeeded_ = 0;
    Micros lastArgTime_ = 0;

    // Program memory and the master's state
    uint8_t memory_[kMemorySize] = {};
    // Two reply areas: the program's (module frames and GetStatus it runs,
    // tested by its conditions) and the host's (instructions the host sends
    // with Execute instruction, returned by Read reply).  Kept apart so that
    // a program's status request never replaces the reply the host is about
    // to read, and the host's requests never change what a program tests.
    // With the shared reply area option only the program's is used.
    uint8_t area_[kAreaSize] = {};
    bool areaLive_ = true;       // bytes 0 .. 7 show the master's own status
    uint8_t hostArea_[kAreaSize] = {};
    bool hostAreaLive_ = true;
    std::deque<uint8_t> print_;
    int masterBaud_ = 19200;

    bool running_ = false;
    bool stepping_ = false;
    bool firstInstruction_ = false;
    uint16_t pc_ = 2;
    uint8_t stopReason_ = kIdle;
    uint16_t breakpoint_ = 0xFFFF;
    Micros execTime_ = 0;
    uint16_t stack_[kCallDepth] = {};
    int sp_ = 0;
    uint16_t counters_[4] = {};
    int key_ = -1;               // the key waiting, -1 = none
    bool timerArmed_ = false;
    Micros timerDeadline_ = 0;
    bool timerHandled_ = false;  // the monitor subroutine has run for this expiry
    uint16_t monitorSub_ = 0;    // 0 = none
    int monitorDepth_ = -1;      // stack depth at which the monitor subroutine returns

    // An instruction that has not finished (Delay, WaitFor, Print into a full buffer)
    enum class Wait { None, Delay, WaitFor, Print };
    Wait wait_ = Wait::None;
    Micros waitUntil_ = 0;       // Delay end; WaitFor next test
    Micros waitDeadline_ = 0;    // WaitFor timeout
    int waitLength_ = 0;         // length of the waiting instruction
    uint8_t waitFor_[16] = {};   // the WaitFor being executed
};

}  // namespace sim
