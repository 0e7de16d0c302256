// The master's side of the host protocol: command bytes, their arguments and
// every byte the master answers, the faults it can be told to show, and the
// status area that Read reply returns.

#include "sim/SimCore.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "isa/Vocabulary.h"
#include "link/ProtocolBytes.h"

namespace sim {

SimCore::SimCore(const SimOptions& options) : options_(options) {
    for (int type : options_.moduleTypes) {
        if (int(modules_.size()) >= kMaxModules) break;
        modules_.push_back(ModuleSlot(MakeModule(type & 0xFF)));
    }
    masterBaud_ = options_.hostBaud;
}

SimCore::~SimCore() = default;
SimCore::SimCore(const SimCore&) = default;

void SimCore::appendState(std::string& out) const {
    auto put = [&](const auto& v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); };
    const Micros t = execTime_;
    put(running_);
    put(stepping_);
    put(pc_);
    put(stopReason_);
    put(breakpoint_);
    put(sp_);
    for (int i = 0; i < sp_; ++i) put(stack_[i]);
    for (uint16_t c : counters_) put(c);
    put(key_);
    const bool expired = timerExpired(t);
    put(timerArmed_);
    put(expired);
    const Micros timerLeft = timerArmed_ && !expired ? timerDeadline_ - t : 0;
    put(timerLeft);
    put(timerHandled_);
    put(monitorSub_);
    put(monitorDepth_);
    out.append(reinterpret_cast<const char*>(area_), sizeof area_);
    put(areaLive_);
    // What was printed leaves with the next poll; only a buffer near full
    // can make a Print wait.
    const size_t printed = print_.size() > kPrintBufferSize / 2 ? print_.size() : 0;
    put(printed);
    put(masterBaud_);
    put(moduleCount_);
    put(wait_);
    if (wait_ != Wait::None) {
        const Micros until = waitUntil_ - t, deadline = waitDeadline_ - t;
        put(until);
        put(deadline);
        put(waitLength_);
        out.append(reinterpret_cast<const char*>(waitFor_), sizeof waitFor_);
    }
    for (const ModuleSlot& m : modules_) m->appendState(out, t);
}

void SimCore::setAreaByte(int index, uint8_t value) {
    if (index >= 0 && index < kAreaSize) area_[index] = value;
}

void SimCore::powerUp(Micros now) {
    now_ = std::max(now_, now);
    for (auto& m : modules_) m->advanceTo(now_);
    moduleCount_ = uint8_t(modules_.size());
    send(kAnnounce);
}

SimModule* SimCore::module(int address) {
    if (address < 1 || address > int(modules_.size())) return nullptr;
    return modules_[size_t(address - 1)].get();
}

ServoModule* SimCore::servo(int address) { return dynamic_cast<ServoModule*>(module(address)); }
StepperModule* SimCore::stepper(int address) { return dynamic_cast<StepperModule*>(module(address)); }
IoModule* SimCore::io(int address) { return dynamic_cast<IoModule*>(module(address)); }

uint8_t SimCore::statusB(Micros now) const {
    uint8_t b = 0;
    if (running_) b |= kRunningBit;
    if (timerExpired(now)) b |= kTimerBit;
    if (stopReason_ >= kBadInstruction) b |= kErrorBit;
    return b;
}

void SimCore::statusArea(uint8_t (&area)[kAreaSize], Micros now) const {
    fillArea(area_, areaLive_, area, now);
}

void SimCore::hostReplyArea(uint8_t (&area)[kAreaSize], Micros now) const {
    if (options_.sharedReplyArea) fillArea(area_, areaLive_, area, now);
    else fillArea(hostArea_, hostAreaLive_, area, now);
}

void SimCore::fillArea(const uint8_t* stored, bool live, uint8_t (&area)[kAreaSize], Micros now) const {
    std::memcpy(area, stored, kAreaSize);
    if (live) {
        area[0] = moduleCount_;
        area[1] = stopReason_;
        area[2] = statusB(now);
        area[3] = key_ < 0 ? 0x80 : uint8_t(key_);
        area[4] = uint8_t(pc_ & 0xFF);
        area[5] = uint8_t(pc_ >> 8);
        Micros left = timerArmed_ && now < timerDeadline_ ? (timerDeadline_ - now + 9999) / 10000 : 0;
        if (left > 0xFFFF) left = 0xFFFF;
        area[6] = uint8_t(left & 0xFF);
        area[7] = uint8_t(left >> 8);
    }
    for (int k = 0; k < 4; ++k) {
        area[24 + 2 * k] = uint8_t(counters_[k] & 0xFF);
        area[25 + 2 * k] = uint8_t(counters_[k] >> 8);
    }
}

// ---------------------------------------------------------------------------
// Bytes in

void SimCore::receive(const std::vector<uint8_t>& bytes, Micros now) {
    for (uint8_t b : bytes) receive(b, now);
}

void SimCore::receive(uint8_t byte, Micros now) {
    advance(now);
    if (hungUp_) return;
    // At another rate than the host's, what arrives is not understood.
    if (masterBaud_ != options_.hostBaud) return;
    if (cmd_ != 0) {
        argument(byte);
        return;
    }
    if (byte >= 0x80) command(byte);
    else key_ = byte;  // a key typed at the host's terminal
}

void SimCore::command(uint8_t cmd) {
    ++commandsSeen_;
    if (cmd == kCmdReadReply) ++readRepliesSeen_;
    if (options_.faults.hangupAt > 0 && commandsSeen_ == options_.faults.hangupAt) {
        hungUp_ = true;
        return;
    }
    if (options_.faults.silentFrom == cmd) silent_ = true;

    switch (cmd) {
        case kCmdStop:
            if (running_) stopProgram(kStoppedByHost);
            send(kCmdStop);
            sendStatus();
            return;
        case kCmdVersion:
            send(kCmdVersion);
            send(uint8_t(options_.version));
            return;
        case kCmdPoll:
            answerPoll();
            return;
        case kCmdReset:
            resetMaster();
            return;
        default:
            break;
    }
    int needed = 0;
    switch (cmd) {
        case kCmdRun:
        case kCmdBreak:
        case kCmdStep: needed = 2; break;
        case kCmdWriteBlock:
        case kCmdReadBlock: needed = 3; break;
        case kCmdExecute:
        case kCmdReadReply: needed = 1; break;
        default: return;  // not a command of this master: ignored
    }
    ack(cmd);
    cmd_ = cmd;
    argCount_ = 0;
    argNeeded_ = needed;
    lastArgTime_ = now_;
}

void SimCore::ack(uint8_t cmd) {
    ++acksSeen_;
    if (options_.faults.dropAck > 0 && acksSeen_ == options_.faults.dropAck) return;
    send(cmd);
}

void SimCore::argument(uint8_t byte) {
    if (cmd_ == kCmdReadReply && argCount_ == 0 && readRepliesSeen_ == options_.faults.badCountAt) byte ^= 0x60;
    if (argCount_ < int(sizeof args_)) args_[argCount_] = byte;
    ++argCount_;
    lastArgTime_ = now_;
    // The length of Write block and the count of Execute say how much follows.
    if (cmd_ == kCmdWriteBlock && argCount_ == 3) argNeeded_ = 3 + args_[2] + 1;
    if (cmd_ == kCmdExecute && argCount_ == 1) argNeeded_ = 1 + args_[0] + 1;
    if (argCount_ >= argNeeded_) finishCommand();
}

void SimCore::abandonCommand() {
    cmd_ = 0;
    argCount_ = argNeeded_ = 0;
}

void SimCore::finishCommand() {
    const uint8_t cmd = cmd_;
    abandonCommand();
    const uint16_t address = uint16_t(args_[0] | (args_[1] << 8));
    switch (cmd) {
        case kCmdRun:
            startProgram(address, false);
            break;
        case kCmdStep:
            startProgram(address, true);
            break;
        case kCmdBreak:
            breakpoint_ = address;
            break;
        case kCmdWriteBlock:
            send(writeBlock() ? kAccepted : kRejected);
            break;
        case kCmdReadBlock: {
            const int length = args_[2];
            uint8_t block[256];
            for (int i = 0; i < length; ++i) {
                int at = address + i;
                block[i] = at < kMemorySize ? memory_[at] : 0;
            }
            for (int i = 0; i < length; ++i) send(block[i]);
            send(ProtocolSum(block, length));
            break;
        }
        case kCmdExecute:
            send(executeImmediate() ? kAccepted : kRejected);
            break;
        case kCmdReadReply: {
            uint8_t area[kAreaSize];
            hostReplyArea(area, now_);
            const int count = args_[0];
            uint8_t data[256];
            for (int i = 0; i < count; ++i) data[i] = i < kAreaSize ? area[i] : 0;
            for (int i = 0; i < count; ++i) send(data[i]);
            send(uint8_t(ProtocolSum(data, count) + (options_.faults.badChecksum ? 1 : 0)));
            break;
        }
        default:
            break;
    }
}

bool SimCore::writeBlock() {
    if (options_.faults.cc) return false;
    const int offset = args_[0] | (args_[1] << 8);
    const int length = args_[2];
    // Only whole blocks that fit in program memory are taken.
    if (length > 16 || offset + length > kMemorySize) return false;
    if (ProtocolSum(args_, 3 + length) != args_[3 + length]) return false;
    std::memcpy(memory_ + offset, args_ + 3, size_t(length));
    return true;
}

bool SimCore::executeImmediate() {
    if (options_.faults.cc) return false;
    // The instruction collects into the host's reply area: swap it in for the
    // time of the instruction, whichever way it ends.  A master with one
    // shared area collects into the program's.
    struct HostAreaIn {
        SimCore& c;
        bool swapped;
        explicit HostAreaIn(SimCore& core) : c(core), swapped(!core.options_.sharedReplyArea) { swapAreas(); }
        ~HostAreaIn() { swapAreas(); }
        void swapAreas() {
            if (!swapped) return;
            std::swap(c.area_, c.hostArea_);
            std::swap(c.areaLive_, c.hostAreaLive_);
        }
    } hostAreaIn(*this);
    // The host's own instructions are not the program's: no observer sees them.
    struct Unobserved {
        SimCore& c;
        ExecObserver* saved;
        explicit Unobserved(SimCore& core) : c(core), saved(core.observer_) { core.observer_ = nullptr; }
        ~Unobserved() { c.observer_ = saved; }
    } unobserved(*this);
    const int count = args_[0];
    const uint8_t* bytes = args_ + 1;
    if (ProtocolSum(bytes, count) != bytes[count]) return false;
    if (count >= 5 && bytes[0] == kFrameHeader) {
        // Exactly one whole frame.
        if ((bytes[2] >> 4) + 5 != count) return false;
        int length = 0;
        return moduleFrame(bytes, count, length, now_) == kIdle;
    }
    if (count >= 3 && bytes[0] == kMasterMarker && 3 + bytes[1] == count) {
        Outcome o = masterInstruction(bytes, count, now_, true);
        return o.flow == Flow::Next;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Bytes out

void SimCore::send(uint8_t byte) {
    if (silent_ || hungUp_ || masterBaud_ != options_.hostBaud) return;
    if (options_.faults.garbage) {
        do {
            noise_ ^= noise_ << 13;
            noise_ ^= noise_ >> 17;
            noise_ ^= noise_ << 5;
            byte = uint8_t(noise_ >> 11);
        } while (byte == kPollMarker || byte == kAnnounce);
    }
    out_.push_back({byte, now_});
}

void SimCore::sendStatus() {
    send(moduleCount_);
    send(stopReason_);
    send(statusB(now_));
    send(uint8_t(pc_ & 0xFF));
    send(uint8_t(pc_ >> 8));
}

void SimCore::answerPoll() {
    // A printed "U" would be taken for the marker: the characters go up to
    // the first one, and a run of printed "U"s follows the status bytes, where
    // the host collects them as bytes sent between polls.
    while (!print_.empty() && print_.front() != kPollMarker) {
        send(print_.front());
        print_.pop_front();
    }
    send(kPollMarker);
    sendStatus();
    while (!print_.empty() && print_.front() == kPollMarker) {
        send(kPollMarker);
        print_.pop_front();
    }
}

void SimCore::resetMaster() {
    running_ = stepping_ = firstInstruction_ = false;
    wait_ = Wait::None;
    pc_ = 2;
    stopReason_ = kIdle;
    breakpoint_ = 0xFFFF;
    sp_ = 0;
    std::fill(std::begin(counters_), std::end(counters_), uint16_t(0));
    key_ = -1;
    timerArmed_ = timerHandled_ = false;
    monitorSub_ = 0;
    monitorDepth_ = -1;
    std::memset(area_, 0, sizeof area_);
    areaLive_ = true;
    std::memset(hostArea_, 0, sizeof hostArea_);
    hostAreaLive_ = true;
    print_.clear();
    abandonCommand();
    masterBaud_ = options_.hostBaud;
    for (auto& m : modules_) {
        m->advanceTo(now_);
        m->reset();
    }
    moduleCount_ = uint8_t(modules_.size());
    // Whatever had not yet left is lost with the restart.
    out_.clear();
    send(kAnnounce);
}

std::vector<SimCore::OutByte> SimCore::takeOutput() {
    std::vector<OutByte> out;
    out.swap(out_);
    return out;
}

void SimCore::advance(Micros now) {
    if (now > now_) now_ = now;
    if (cmd_ != 0 && now_ - lastArgTime_ > Micros(options_.argTimeoutMs) * 1000) abandonCommand();
    runUntil(now_);
    advanceModules(running_ ? std::min(now_, execTime_) : now_);
}

Micros SimCore::nextWake() const {
    Micros wake = kNever;
    if (running_) wake = execTime_;
    if (cmd_ != 0) wake = std::min(wake, lastArgTime_ + Micros(options_.argTimeoutMs) * 1000 + 1);
    return wake;
}

void SimCore::advanceModules(Micros t) {
    for (auto& m : modules_) m->advanceTo(t);
}

}  // namespace sim
