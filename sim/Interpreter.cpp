// The master's program interpreter: runs the downloaded image from a start
// address in simulated time, instruction by instruction, passing module
// frames to the modules and collecting their replies into the status area.

#include <algorithm>
#include <cstring>

#include "isa/Vocabulary.h"
#include "sim/SimCore.h"

namespace sim {

namespace {

constexpr Micros kInstructionMicros = 100;     // a master instruction
constexpr Micros kFrameMicros = 1000;          // a frame and its reply on the network
constexpr Micros kNetworkInitMicros = 20000;   // TavoInit's scan of the network
constexpr Micros kWaitPollMicros = 5000;       // WaitFor asks again after this long
constexpr Micros kHundredth = 10000;
constexpr int kMostInstructionsPerAdvance = 100000;

using namespace MasterCmd;

uint16_t LE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

}  // namespace

uint16_t SimCore::programEnd() const {
    // The image starts with its own length.
    int length = memory_[0] | (memory_[1] << 8);
    return uint16_t(std::clamp(length, 2, kMemorySize));
}

bool SimCore::push(uint16_t address) {
    if (sp_ >= kCallDepth) return false;
    stack_[sp_++] = address;
    return true;
}

void SimCore::startProgram(uint16_t address, bool step) {
    // Continuing where the program stands keeps its subroutine calls; a start
    // anywhere else begins with none.
    if (address != pc_) {
        sp_ = 0;
        monitorDepth_ = -1;
    }
    pc_ = address;
    running_ = true;
    stepping_ = step;
    firstInstruction_ = true;
    wait_ = Wait::None;
    execTime_ = now_;
    stopReason_ = kRunning;
}

void SimCore::stopProgram(uint8_t reason) {
    running_ = stepping_ = false;
    wait_ = Wait::None;
    stopReason_ = reason;
}

void SimCore::runUntil(Micros now) {
    int budget = kMostInstructionsPerAdvance;
    while (running_ && execTime_ <= now && budget-- > 0) {
        Outcome o;
        const bool wasWaiting = wait_ != Wait::None;
        if (wasWaiting) {
            o = resumeWait(execTime_);
        } else {
            // The breakpoint stops execution before its instruction, but not
            // the first instruction after a Run, so that Run leaves it.
            if (!stepping_ && !firstInstruction_ && pc_ == breakpoint_) {
                stopProgram(kAtBreakpoint);
                break;
            }
            firstInstruction_ = false;
            if (!stepping_ && monitorSub_ != 0 && monitorDepth_ < 0 && !timerHandled_ && timerExpired(execTime_)) {
                // The timer ran out: the monitor subroutine is called once.
                timerHandled_ = true;
                if (!push(pc_)) {
                    stopProgram(kStackOverflow);
                    break;
                }
                monitorDepth_ = sp_ - 1;
                pc_ = monitorSub_;
                execTime_ += kInstructionMicros;
                continue;
            }
            if (observer_ && !observer_->beforeInstruction(*this, pc_)) break;
            o = executeAt(pc_, execTime_);
        }
        switch (o.flow) {
            case Flow::Next:
                pc_ = uint16_t(pc_ + o.length);
                break;
            case Flow::Jump:
                pc_ = o.target;
                break;
            case Flow::Wait:
                if (!wasWaiting && waitUntil_ > execTime_) ++waitsBegun_;
                execTime_ = waitUntil_;
                continue;
            case Flow::Stop:
                pc_ = uint16_t(pc_ + o.length);
                if (running_) stopProgram(o.reason);
                continue;
        }
        execTime_ += o.cost;
        if (stepping_) {
            // A single step ends as soon as its one instruction has finished.
            stopProgram(kStepDone);
            break;
        }
    }
}

SimCore::Outcome SimCore::executeAt(uint16_t address, Micros t) {
    Outcome o;
    o.flow = Flow::Stop;
    const uint16_t end = programEnd();
    if (address < 2 || address > end) {
        o.reason = kBadAddress;
        return o;
    }
    if (address == end) {
        o.reason = kEndOfProgram;
        return o;
    }
    const uint8_t* b = memory_ + address;
    const int avail = end - address;
    if (b[0] == kMasterMarker) return masterInstruction(b, avail, t, false);
    if (b[0] == kFrameHeader) {
        int length = 0;
        uint8_t r = moduleFrame(b, avail, length, t);
        if (r != kIdle) {
            o.reason = r;
            return o;
        }
        o.flow = Flow::Next;
        o.length = length;
        o.cost = kFrameMicros;
        return o;
    }
    o.reason = kBadInstruction;
    return o;
}

SimCore::Outcome SimCore::masterInstruction(const uint8_t* b, int avail, Micros t, bool immediate) {
    Outcome o;
    auto fail = [&](uint8_t reason) {
        o.flow = Flow::Stop;
        o.length = 0;
        o.reason = reason;
        return o;
    };
    if (avail < 3) return fail(kBadInstruction);
    const int n = b[1];
    const uint8_t code = b[2];
    if (3 + n > avail) return fail(kBadInstruction);
    const uint8_t* d = b + 3;
    o.length = 3 + n;
    o.cost = kInstructionMicros;

    // Data bytes each instruction needs.
    int needed = 0;
    switch (code) {
        case kGoTo: case kCall: case kMonitorSub: case kSetTimer: case kDelay: needed = 2; break;
        case kIfGoTo: needed = kIfGoToLength - 3; break;
        case kWaitFor: needed = kWaitForLength - 3; break;
        case kSetCounter: case kCountDown: needed = 3; break;
        case kSetOutputs: needed = 8; break;
        case kChangeBaud: needed = 1; break;
        case kReturn: case kStopProgram: case kPrint: case kGetStatus: case kClearKey:
        case kTavoInit: case kReset: needed = 0; break;
        default: return fail(kBadInstruction);
    }
    if (n < needed) return fail(kBadInstruction);
    // Executed at once for the host: only what neither jumps nor waits.
    if (immediate && code != kPrint && code != kSetTimer && code != kGetStatus && code != kClearKey &&
        code != kSetCounter && code != kTavoInit && code != kSetOutputs)
        return fail(kBadInstruction);

    auto jump = [&](uint16_t target) {
        o.flow = Flow::Jump;
        o.target = target;
        return o;
    };
    auto counterIndex = [&](uint8_t stored) { return (stored & 1) || stored > 6 ? -1 : stored / 2; };

    switch (code) {
        case kGoTo:
            return jump(LE16(d));
        case kCall:
            if (!push(uint16_t(pc_ + o.length))) return fail(kStackOverflow);
            return jump(LE16(d));
        case kReturn:
            if (sp_ == 0) return fail(kStackEmpty);
            --sp_;
            if (monitorDepth_ == sp_) monitorDepth_ = -1;
            return jump(stack_[sp_]);
        case kIfGoTo:
            if (d[2] >= kAreaSize) return fail(kBadInstruction);
            if (condition(d[2], d[3], d[4], t)) return jump(LE16(d));
            return o;
        case kStopProgram:
            o.flow = Flow::Stop;
            o.reason = kStoppedByProgram;
            return o;
        case kPrint:
            if (print_.size() + size_t(n) > kPrintBufferSize) {
                // The host has not fetched enough yet: try again shortly.
                if (immediate) return fail(kBadInstruction);
                wait_ = Wait::Print;
                waitUntil_ = t + kWaitPollMicros;
                o.flow = Flow::Wait;
                return o;
            }
            print_.insert(print_.end(), d, d + n);
            return o;
        case kSetTimer:
            timerArmed_ = true;
            timerDeadline_ = t + Micros(LE16(d)) * kHundredth;
            timerHandled_ = false;
            return o;
        case kGetStatus:
            std::memset(area_, 0, kReplyBytes);
            areaLive_ = true;
            return o;
        case kMonitorSub:
            monitorSub_ = LE16(d);
            return o;
        case kDelay:
            wait_ = Wait::Delay;
            waitLength_ = o.length;
            waitUntil_ = t + Micros(LE16(d)) * kHundredth;
            o.flow = Flow::Wait;
            return o;
        case kWaitFor:
            if (d[6] >= kAreaSize) return fail(kBadInstruction);
            std::memcpy(waitFor_, b, sizeof waitFor_);
            waitDeadline_ = t + Micros(LE16(d + 9)) * kHundredth;
            return waitForTest(t);
        case kClearKey:
            key_ = -1;
            return o;
        case kSetCounter: {
            int k = counterIndex(d[2]);
            if (k < 0) return fail(kBadInstruction);
            counters_[k] = LE16(d);
            return o;
        }
        case kCountDown: {
            int k = counterIndex(d[2]);
            if (k < 0) return fail(kBadInstruction);
            // A counter at 0 stays there and falls through.
            if (counters_[k] > 0) --counters_[k];
            if (counters_[k] != 0) return jump(LE16(d));
            return o;
        }
        case kTavoInit:
            advanceModules(t);
            moduleCount_ = uint8_t(modules_.size());
            o.cost = kNetworkInitMicros;
            return o;
        case kReset:
            resetMaster();
            o.flow = Flow::Stop;
            o.length = 0;
            o.reason = kIdle;
            return o;
        case kSetOutputs: {
            uint8_t r = setOutputs(b, t);
            if (r != kIdle) return fail(r);
            o.cost = kFrameMicros;
            return o;
        }
        case kChangeBaud: {
            int rate = 0;
            for (const BaudRateCode& b : kBaudRateCodes)
                if (b.code == d[0]) rate = b.rate;
            if (rate == 0) return fail(kBadInstruction);
            masterBaud_ = rate;
            return o;
        }
        default:
            return fail(kBadInstruction);
    }
}

SimCore::Outcome SimCore::resumeWait(Micros t) {
    Outcome o;
    switch (wait_) {
        case Wait::Delay:
            wait_ = Wait::None;
            o.length = waitLength_;
            return o;
        case Wait::WaitFor:
            return waitForTest(t);
        case Wait::Print:
            wait_ = Wait::None;
            return executeAt(pc_, t);
        case Wait::None:
            break;
    }
    return o;
}

SimCore::Outcome SimCore::waitForTest(Micros t) {
    Outcome o;
    o.cost = kFrameMicros;
    const uint8_t* w = waitFor_;
    uint8_t r = statusRequest(w + 3, t);
    if (r != kIdle) {
        wait_ = Wait::None;
        o.flow = Flow::Stop;
        o.reason = r;
        return o;
    }
    if (condition(w[9], w[10], w[11], t)) {
        wait_ = Wait::None;
        o.length = kWaitForLength;
        return o;
    }
    if (t >= waitDeadline_) {
        wait_ = Wait::None;
        o.flow = Flow::Jump;
        o.target = LE16(w + 14);
        return o;
    }
    wait_ = Wait::WaitFor;
    waitUntil_ = std::min(t + kWaitPollMicros, waitDeadline_);
    o.flow = Flow::Wait;
    return o;
}

uint8_t SimCore::statusRequest(const uint8_t* slot, Micros t) {
    // The slot holds a master GetStatus or a module frame of at most 6 bytes.
    if (slot[0] == kMasterMarker) {
        if (3 + slot[1] > 6 || slot[2] != kGetStatus) return kBadInstruction;
        std::memset(area_, 0, kReplyBytes);
        areaLive_ = true;
        return kIdle;
    }
    if (slot[0] == kFrameHeader) {
        int length = 0;
        return moduleFrame(slot, 6, length, t);
    }
    return kBadInstruction;
}

uint8_t SimCore::moduleFrame(const uint8_t* b, int avail, int& length, Micros t) {
    if (avail < 5) return kBadInstruction;
    const int n = b[2] >> 4;
    length = n + 5;
    if (length > avail) return kBadInstruction;
    if (FrameChecksum(b, n) != b[3 + n]) return kFrameChecksum;
    SimModule* m = module(b[1]);
    if (!m) return kNoModule;
    advanceModules(t);
    std::vector<uint8_t> reply = m->handle(b[2], b + 3, n);
    // The trailer byte says how many reply bytes the master collects.
    const int collect = std::min<int>(b[4 + n], kReplyBytes);
    std::memset(area_, 0, kReplyBytes);
    for (int i = 0; i < collect && i < int(reply.size()); ++i) area_[i] = reply[size_t(i)];
    areaLive_ = false;
    if (observer_) observer_->frameCollected(*this, b);
    return kIdle;
}

uint8_t SimCore::setOutputs(const uint8_t* b, Micros t) {
    SimModule* m = module(b[7]);
    if (!m) return kNoModule;
    IoModule* io = dynamic_cast<IoModule*>(m);
    if (!io) return kWrongModule;
    if (b[8] > 1) return kBadInstruction;
    advanceModules(t);
    io->setOutputs(b[8] == 1, uint16_t(b[9] | (b[10] << 8)));
    return kIdle;
}

bool SimCore::condition(uint8_t selector, uint8_t value, uint8_t mask, Micros t) const {
    uint8_t area[kAreaSize];
    statusArea(area, t);
    return (area[selector % kAreaSize] & mask) == (value & mask);
}

}  // namespace sim
