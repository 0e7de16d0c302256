// The explorer of paths: one simulated master per path, copied whole where
// the world decides, driven one simulated millisecond at a time.

#include "prove/Explore.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "isa/Vocabulary.h"
#include "sim/VirtualMaster.h"

namespace prove {

namespace {

constexpr int kSlots = 32;
constexpr int kNoKey = -2;      // an outcome that types no key
constexpr uint16_t kKeyBit = 1; // the key's bit in the master's (module 0) knowledge

// Where a byte of the program's status area came from.
struct Source {
    uint8_t module = 0;       // 0: no input of the world
    uint8_t shift = 0;        // the module's input bit that the byte's bit 0 shows
    uint16_t unknown = 0;     // the module's input bits that were free when read
    uint64_t waits = 0;       // the master's waits when read
    int64_t readMicros = 0;
};

struct Path {
    explicit Path(const SimOptions& o) : vm(o) {}
    sim::VirtualMaster vm;
    uint16_t known[kSlots] = {};     // inputs fixed since the program last waited
    uint16_t pinned[kSlots] = {};    // ... kept through the one wait a WaitFor begins
    uint64_t pinnedWaits = 0;
    uint64_t waitsSeen = 0;
    Source source[sim::kReplyBytes] = {};
    WatchState watch;
    std::vector<InputChange> inputs;
    // A WaitFor that holds at its next test: the inputs it waits for change
    // at the end of the first millisecond of its wait.
    int releaseModule = 0;
    uint16_t releaseMask = 0, releaseLevels = 0;
    uint16_t releaseAddress = 0;
    int64_t lastPassMicros = -1;
    int64_t endMicros = -1;
    uint16_t decidedAddress = 0;
    int64_t decidedMicros = -1;
    int64_t startMs = 0;
};

uint16_t FreeBits(sim::SimCore& c, int a) {
    if (sim::IoModule* io = c.io(a)) return uint16_t(io->directions() & 0x0FFF);
    if (c.stepper(a)) return sim::StepperModule::EStop | sim::StepperModule::Input1 | sim::StepperModule::Input2;
    return 0;
}

// The module's input bits as its GetStatus reports them now.
uint16_t Levels(sim::SimCore& c, int a) {
    if (sim::IoModule* io = c.io(a)) return io->inputBits();
    if (sim::StepperModule* s = c.stepper(a)) return s->inputByte();
    return 0;
}

void SetExternal(sim::SimCore& c, int a, uint16_t mask, uint16_t levels) {
    if (sim::IoModule* io = c.io(a)) io->setExternalLevels(uint16_t((io->externalLevels() & ~mask) | (levels & mask)));
    else if (sim::StepperModule* s = c.stepper(a))
        s->setExternalInputs(uint8_t((s->externalInputs() & ~mask) | (levels & mask)));
}

int64_t MsBefore(int64_t micros) { return (micros + 999) / 1000 - 1; }

uint16_t LE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

class Explorer : public sim::ExecObserver, public InputKnowledge {
public:
    Explorer(const ProgramImage& p, const machine::Machine& m, const Bounds& b)
        : program_(p), watch_(m), bounds_(b) {
        lineAt_.assign(program_.image.size() + 1, -1);
        for (size_t i = 0; i < program_.lineAddress.size(); ++i) {
            const uint16_t a = program_.lineAddress[i];
            if (a == 0xFFFF) continue;
            ++result_.instructionLines;
            if (a < lineAt_.size() && lineAt_[a] < 0) lineAt_[a] = int(i);
        }
        result_.covered.assign(program_.lineAddress.size(), false);
        // The keys the program tests for, and one it never does.
        for (uint16_t a : program_.lineAddress) {
            if (a == 0xFFFF || size_t(a) + 12 > program_.image.size()) continue;
            const uint8_t* b = program_.image.data() + a;
            int key = -1;
            if (b[0] == kMasterMarker && b[2] == MasterCmd::kIfGoTo && b[5] == 3 && b[7] == 0xFF) key = b[6];
            if (b[0] == kMasterMarker && b[2] == MasterCmd::kWaitFor && b[3] == kMasterMarker && b[9] == 3 &&
                b[11] == 0xFF)
                key = b[10];
            if (key >= 1 && key < 0x80 && std::find(keys_.begin(), keys_.end(), key) == keys_.end())
                keys_.push_back(key);
        }
        for (int k = '!'; k < 0x7F; ++k)
            if (std::find(keys_.begin(), keys_.end(), k) == keys_.end()) {
                keys_.push_back(k);
                break;
            }
    }

    ProveResult run();

    bool beforeInstruction(sim::SimCore& core, uint16_t address) override;
    void frameCollected(sim::SimCore& core, const uint8_t* frame) override;
    bool known(int address, uint16_t mask) const override {
        return address > 0 && address < kSlots && (knownNow(*cur_, cur_->vm.core(), address) & mask) == mask;
    }

private:
    enum class Pause { None, Violated, Merged };
    struct Outcome {
        int module = 0;
        uint16_t mask = 0, levels = 0;   // inputs set
        int areaIndex = -1;              // If-GoTo: the status area byte patched
        uint8_t areaMask = 0, areaLevels = 0;
        bool know = false;               // the inputs are fixed from here on
        bool pin = false;                // ... through the wait that begins
        uint16_t pinMask = 0;
        bool release = false;            // ... and change to hold at the next millisecond
        uint16_t releaseMask = 0, releaseLevels = 0;
        int key = kNoKey;                // module 0: the key waiting from here on
        int64_t ms = -1;                 // when the world set them
    };

    // The inputs of module a fixed now: after a wait only those pinned through it.
    static uint16_t knownNow(const Path& p, const sim::SimCore& c, int a) {
        if (c.waitsBegun() == p.waitsSeen) return p.known[a];
        return c.waitsBegun() == p.pinnedWaits + 1 ? uint16_t(p.known[a] & p.pinned[a]) : 0;
    }
    void forget(Path& p, sim::SimCore& c) {
        if (c.waitsBegun() == p.waitsSeen) return;
        for (int a = 0; a < kSlots; ++a) {
            p.known[a] = knownNow(p, c, a);
            // A free input's level matters only when it is read, and every
            // read of it forks: it goes back to low, so that paths that
            // differ only there meet.  A stepper's E-Stop acts on the motion
            // and keeps its level.
            if (a == 0) continue;
            const uint16_t free = FreeBits(c, a) & ~uint16_t(c.stepper(a) ? sim::StepperModule::EStop : 0);
            SetExternal(c, a, free & ~p.known[a], 0);
        }
        std::fill(std::begin(p.pinned), std::end(p.pinned), uint16_t(0));
        p.waitsSeen = c.waitsBegun();
    }
    void apply(Path& p, const Outcome& o, uint16_t address);
    void fork(std::vector<Outcome>& outcomes, uint16_t address);
    bool decide(sim::SimCore& core, uint16_t address);
    bool decideKey(sim::SimCore& core, uint16_t address);
    uint64_t digest(const Path& p);
    void drive(Path& p);
    void record(Timing& t, int64_t micros, const std::vector<InputChange>& inputs) {
        if (!t.any || micros < t.shortestMicros) t.shortestMicros = micros;
        if (!t.any || micros > t.longestMicros) {
            t.longestMicros = micros;
            t.longestInputs = inputs;
        }
        t.any = true;
    }
    void violated(Path& p, Violation v) {
        result_.violated = true;
        if (v.inputModule) {
            const sim::SimModule* m = p.vm.core().module(v.inputModule);
            p.inputs.push_back({MsBefore(v.micros), v.inputModule, m ? m->typeCode() : 0, v.inputMask, v.inputHigh});
        }
        result_.violation = std::move(v);
        result_.inputs = p.inputs;
        std::stable_sort(result_.inputs.begin(), result_.inputs.end(),
                         [](const InputChange& x, const InputChange& y) { return x.ms < y.ms; });
    }

    const ProgramImage& program_;
    MachineWatch watch_;
    Bounds bounds_;
    ProveResult result_;
    std::vector<int> lineAt_;
    std::vector<std::unique_ptr<Path>> stack_;
    std::unordered_set<uint64_t> seen_;
    std::string state_;
    Path* cur_ = nullptr;
    Pause pause_ = Pause::None;
    std::optional<Violation> pending_;
    int64_t created_ = 0;
    std::vector<int> keys_;      // keys the world may type
};

uint64_t Explorer::digest(const Path& p) {
    state_.clear();
    const sim::SimCore& c = p.vm.core();
    c.appendState(state_);
    for (int a = 0; a < kSlots; ++a) {
        const uint16_t k = knownNow(p, c, a);
        state_.append(reinterpret_cast<const char*>(&k), sizeof k);
    }
    for (const Source& s : p.source) {
        const bool fresh = s.waits == c.waitsBegun();
        state_ += char(s.module);
        state_ += char(s.shift);
        state_.append(reinterpret_cast<const char*>(&s.unknown), sizeof s.unknown);
        state_ += char(fresh);
    }
    state_.append(reinterpret_cast<const char*>(&p.watch.homed), sizeof p.watch.homed);
    for (uint16_t v : {uint16_t(p.releaseModule), p.releaseMask, p.releaseLevels, p.releaseAddress})
        state_.append(reinterpret_cast<const char*>(&v), sizeof v);
    uint64_t h = 1469598103934665603ull;
    for (unsigned char ch : state_) h = (h ^ ch) * 1099511628211ull;
    return h;
}

void Explorer::apply(Path& p, const Outcome& o, uint16_t address) {
    sim::SimCore& c = p.vm.core();
    if (o.areaIndex >= 0) {
        uint8_t area[sim::kAreaSize];
        c.statusArea(area, c.executionTime());
        c.setAreaByte(o.areaIndex, uint8_t((area[o.areaIndex] & ~o.areaMask) | (o.areaLevels & o.areaMask)));
        p.source[o.areaIndex].unknown &= uint16_t(~o.mask);
    }
    if (o.key != kNoKey) {
        const int before = c.key();
        c.setKey(o.key);
        if (o.key >= 0 && o.key != before) p.inputs.push_back({o.ms, 0, kTypeMaster, 0, false, o.key});
    }
    if (o.module) SetExternal(c, o.module, o.mask, o.levels);
    forget(p, c);
    if (o.know) p.known[o.module] |= o.mask;
    if (o.pin) {
        p.pinned[o.module] |= o.pinMask;
        p.pinnedWaits = c.waitsBegun();
    }
    if (o.release) {
        p.releaseModule = o.module;
        p.releaseMask = o.releaseMask;
        p.releaseLevels = o.releaseLevels;
        p.releaseAddress = address;
    }
    const int type = c.module(o.module) ? c.module(o.module)->typeCode() : 0;
    for (int bit = 0; o.module && bit < 16; ++bit) {
        const uint16_t m = uint16_t(1u << bit);
        if (o.mask & m) p.inputs.push_back({o.ms, o.module, type, m, (o.levels & m) != 0});
    }
}

void Explorer::fork(std::vector<Outcome>& outcomes, uint16_t address) {
    if (outcomes.size() > 1) ++result_.decisions;
    // The copies meet this instruction again: the world has decided.
    cur_->decidedAddress = address;
    cur_->decidedMicros = cur_->vm.core().executionTime();
    // The other outcomes wait as copies of the master as it stands, before
    // the instruction; the path goes on with the first.
    for (size_t i = 1; i < outcomes.size(); ++i) {
        if (created_ >= bounds_.maxPaths) {
            result_.cutByPaths += int64_t(outcomes.size() - i);
            break;
        }
        stack_.push_back(std::make_unique<Path>(*cur_));
        ++created_;
        apply(*stack_.back(), outcomes[i], address);
    }
    apply(*cur_, outcomes[0], address);
}

// The world's outcomes for the instruction at address; false when there is
// no choice to make.
// A condition on the key (status byte 3 of the master's own status): the
// world may have typed any key the program tests for, or another, since the
// program last waited; a WaitFor on it may hold at once, when a key is typed
// during its wait, or never.
bool Explorer::decideKey(sim::SimCore& core, uint16_t address) {
    const uint8_t* b = core.memory() + address;
    const bool ifGoTo = b[2] == MasterCmd::kIfGoTo;
    if (ifGoTo ? (b[5] != 3 || !core.statusAreaLive()) : (b[3] != kMasterMarker || b[9] != 3)) return false;
    Path& p = *cur_;
    const uint8_t v = ifGoTo ? b[6] : b[10], m = ifGoTo ? b[7] : b[11];
    auto holds = [&](int k) { return (uint8_t(k < 0 ? 0x80 : k) & m) == (v & m); };
    const bool known = knownNow(p, core, 0) & kKeyBit;
    std::vector<int> candidates{core.key()};
    if (!known)
        for (int k : keys_)
            if (k != core.key()) candidates.push_back(k);
    const int64_t ms = MsBefore(core.executionTime());
    std::vector<Outcome> outcomes;
    auto outcome = [&](int key) {
        Outcome o;
        o.key = key;
        o.mask = kKeyBit;
        o.know = true;
        o.ms = ms;
        return o;
    };
    if (ifGoTo) {
        if (known) return false;
        for (int k : candidates) outcomes.push_back(outcome(k));
    } else {
        int failing = kNoKey;
        for (int k : candidates) {
            if (holds(k) && !known) outcomes.push_back(outcome(k));
            if (!holds(k) && failing == kNoKey) failing = k;
        }
        if (failing == kNoKey) {
            if (known) return false;
        } else {
            Outcome later = outcome(failing);
            later.pin = true;
            later.pinMask = kKeyBit;
            if (LE16(b + 12) > 0)
                for (int k : keys_)
                    if (holds(k)) {
                        Outcome o = later;
                        o.release = true;
                        o.releaseMask = kKeyBit;
                        o.releaseLevels = uint16_t(k);
                        outcomes.push_back(o);
                    }
            outcomes.push_back(later);
        }
        if (known && outcomes.size() == 1) return false;
    }
    fork(outcomes, address);
    return true;
}

bool Explorer::decide(sim::SimCore& core, uint16_t address) {
    const uint8_t* b = core.memory() + address;
    if (b[0] != kMasterMarker) return false;
    const int end = std::min<int>(LE16(core.memory()), sim::kMemorySize);
    if (address + (b[2] == MasterCmd::kWaitFor ? kWaitForLength : kIfGoToLength) > end) return false;
    if ((b[2] == MasterCmd::kIfGoTo || b[2] == MasterCmd::kWaitFor) && decideKey(core, address)) return true;
    Path& p = *cur_;
    std::vector<Outcome> outcomes;
    if (b[2] == MasterCmd::kIfGoTo) {
        const int s = b[5];
        const uint8_t v = b[6], m = b[7];
        if (s >= sim::kReplyBytes || p.source[s].module == 0) return false;
        const Source& src = p.source[s];
        const uint8_t free = uint8_t((src.unknown >> src.shift) & 0xFF) & m;
        if (!free) return false;
        uint8_t area[sim::kAreaSize];
        core.statusArea(area, core.executionTime());
        const uint8_t fixed = uint8_t(m & ~free);
        if ((area[s] & fixed) != (v & fixed)) return false;   // fails whatever the world does
        const bool fresh = src.waits == core.waitsBegun();
        for (uint8_t levels : {uint8_t(v & free), uint8_t(~v & free)}) {
            Outcome o;
            o.module = src.module;
            o.mask = uint16_t(free) << src.shift;
            o.levels = uint16_t(levels) << src.shift;
            o.areaIndex = s;
            o.areaMask = free;
            o.areaLevels = levels;
            o.know = fresh;
            o.ms = MsBefore(src.readMicros);
            outcomes.push_back(o);
        }
    } else if (b[2] == MasterCmd::kWaitFor) {
        const uint8_t* slot = b + 3;
        if (slot[0] != kFrameHeader) return false;
        const int a = slot[1];
        const uint8_t items = (slot[2] >> 4) >= 1 && (slot[2] & 0x0F) == (kModuleGetStatus & 0x0F) ? slot[3] : 0;
        const int s = b[9];
        const uint8_t v = b[10], m = b[11];
        int shift = -1;
        if (core.io(a) && (items & kItemInputBits)) shift = s == 1 ? 0 : s == 2 ? 8 : -1;
        else if (core.stepper(a) && (items & kItemStepInputs))
            shift = s == 1 + ((items & kItemPosition) ? 4 : 0) ? 0 : -1;
        if (shift < 0 || a >= kSlots) return false;
        const uint16_t mask = uint16_t(uint16_t(m) << shift), value = uint16_t(uint16_t(v) << shift);
        const uint16_t free = mask & FreeBits(core, a);
        if (!free) return false;
        const uint16_t unknown = free & ~knownNow(p, core, a);
        const uint16_t fixed = mask & ~unknown;
        const bool atOnce = (Levels(core, a) & fixed) == (value & fixed);
        if (!unknown && atOnce) return false;   // holds at its first test, no wait
        const bool waits = LE16(b + 12) > 0;
        const int64_t ms = MsBefore(core.executionTime());
        Outcome base;
        base.module = a;
        base.know = true;
        base.ms = ms;
        if (unknown && atOnce) {
            Outcome o = base;
            o.mask = unknown;
            o.levels = value & unknown;
            outcomes.push_back(o);
        }
        // Not at its first test: it waits, and its free bits stay as its
        // last test saw them through the wait.
        Outcome later = base;
        later.mask = unknown;
        later.levels = uint16_t(~value & unknown);
        later.pin = true;
        later.pinMask = free;
        if (waits) {
            Outcome o = later;
            o.release = true;
            o.releaseMask = free;
            o.releaseLevels = value & free;
            outcomes.push_back(o);
        }
        outcomes.push_back(later);
        if (outcomes.size() == 1 && !unknown) return false;
    } else {
        return false;
    }
    fork(outcomes, address);
    return true;
}

bool Explorer::beforeInstruction(sim::SimCore& core, uint16_t address) {
    Path& p = *cur_;
    forget(p, core);
    const uint8_t* mem = core.memory();
    const int end = std::min<int>(LE16(mem), sim::kMemorySize);
    const int64_t t = core.executionTime();
    const uint8_t* b = mem + address;
    const bool master = address + 3 <= end && b[0] == kMasterMarker;
    const uint8_t code = master ? b[2] : 0xFF;

    if (address >= end || (master && code == MasterCmd::kStopProgram)) p.endMicros = t;
    if (bounds_.cycle && address == bounds_.cycleAddress && t != p.lastPassMicros) {
        if (p.lastPassMicros >= 0) record(result_.pass, t - p.lastPassMicros, p.inputs);
        p.lastPassMicros = t;
    }
    if (address < lineAt_.size() && lineAt_[address] >= 0) result_.covered[size_t(lineAt_[address])] = true;

    // A path that a fork left before this instruction goes on with its own
    // outcome: its state may equal the one before the fork, met already.
    const bool resumed = p.decidedAddress == address && p.decidedMicros == t;
    if (!resumed && master && (code == MasterCmd::kGoTo || code == MasterCmd::kCall || code == MasterCmd::kReturn ||
                   code == MasterCmd::kIfGoTo || code == MasterCmd::kWaitFor || code == MasterCmd::kDelay ||
                   code == MasterCmd::kCountDown)) {
        if (!seen_.insert(digest(p)).second) {
            pause_ = Pause::Merged;
            return false;
        }
    }
    if (master && (code == MasterCmd::kGetStatus || (code == MasterCmd::kWaitFor && b[3] == kMasterMarker)))
        std::fill(std::begin(p.source), std::end(p.source), Source());
    // After a ClearKey no key waits until the program waits again.
    if (master && code == MasterCmd::kClearKey) p.known[0] |= kKeyBit;
    if (master && !resumed) decide(core, address);

    if (std::optional<Violation> v = watch_.before(core, address, p.watch, *this)) {
        pending_ = std::move(v);
        pause_ = Pause::Violated;
        return false;
    }
    return true;
}

void Explorer::frameCollected(sim::SimCore& core, const uint8_t* frame) {
    Path& p = *cur_;
    std::fill(std::begin(p.source), std::end(p.source), Source());
    const int a = frame[1];
    if (a <= 0 || a >= kSlots) return;
    const int n = frame[2] >> 4;
    if ((frame[2] & 0x0F) != (kModuleGetStatus & 0x0F) || n < 1) return;
    const uint8_t items = frame[3];
    const int collected = frame[4 + n];   // the trailer: reply bytes the master keeps
    const uint16_t unknown = FreeBits(core, a) & ~knownNow(p, core, a);
    auto put = [&](int index, uint8_t shift) {
        if (index >= collected || index >= sim::kReplyBytes) return;
        Source& s = p.source[index];
        s.module = uint8_t(a);
        s.shift = shift;
        s.unknown = uint16_t(unknown & (0xFF << shift));
        s.waits = core.waitsBegun();
        s.readMicros = core.executionTime();
    };
    if (core.io(a) && (items & kItemInputBits)) {
        put(1, 0);
        put(2, 8);
    } else if (core.stepper(a) && (items & kItemStepInputs)) {
        put(1 + ((items & kItemPosition) ? 4 : 0), 0);
    }
}

void Explorer::drive(Path& p) {
    cur_ = &p;
    sim::SimCore& core = p.vm.core();
    core.setObserver(this);
    ++result_.paths;
    bool first = true;
    for (;;) {
        pause_ = Pause::None;
        pending_.reset();
        if (first) core.advance(p.vm.now());
        else p.vm.tick();
        first = false;
        if (pause_ == Pause::Violated) {
            violated(p, *pending_);
            break;
        }
        if (pause_ == Pause::Merged) {
            ++result_.merged;
            break;
        }
        std::string printed;
        p.vm.poll(printed);
        if (std::optional<Violation> v = watch_.tick(core, p.watch)) {
            violated(p, *v);
            break;
        }
        if (!core.running()) {
            ++result_.ended;
            if (core.statusA() >= sim::kBadInstruction) ++result_.endedOnError;
            else if (p.endMicros >= 0) record(result_.cycle, p.endMicros, p.inputs);
            break;
        }
        if (p.vm.nowMs() >= bounds_.maxTimeMs) {
            ++result_.cutByTime;
            break;
        }
        if (p.releaseMask && p.releaseModule == 0) {
            if (core.waiting() && core.programAddress() == p.releaseAddress) {
                core.setKey(p.releaseLevels);
                p.inputs.push_back({p.vm.nowMs(), 0, kTypeMaster, 0, false, int(p.releaseLevels)});
            }
            p.releaseMask = 0;
        }
        if (p.releaseMask) {
            if (core.waiting() && core.programAddress() == p.releaseAddress) {
                SetExternal(core, p.releaseModule, p.releaseMask, p.releaseLevels);
                const int type = core.module(p.releaseModule)->typeCode();
                for (int bit = 0; bit < 16; ++bit) {
                    const uint16_t m = uint16_t(1u << bit);
                    if (p.releaseMask & m)
                        p.inputs.push_back({p.vm.nowMs(), p.releaseModule, type, m, (p.releaseLevels & m) != 0});
                }
                p.known[p.releaseModule] |= p.releaseMask;
            }
            p.releaseMask = 0;
        }
    }
    result_.simulatedMs += p.vm.nowMs() - p.startMs;
    core.setObserver(nullptr);
}

ProveResult Explorer::run() {
    SimOptions o;
    o.moduleTypes.assign(program_.moduleTypes.size() > 1 ? program_.moduleTypes.begin() + 1
                                                         : program_.moduleTypes.end(),
                         program_.moduleTypes.end());
    o.paceBaud = 0;
    {
        auto root = std::make_unique<Path>(o);
        created_ = 1;
        if (!root->vm.download(program_.image.data(), int(program_.image.size()))) return result_;
        cur_ = root.get();
        root->vm.core().setObserver(this);
        pause_ = Pause::None;
        root->vm.run(2);
        drive(*root);
    }
    // Depth first: the latest fork's outcomes first.
    while (!stack_.empty() && !result_.violated) {
        std::unique_ptr<Path> p = std::move(stack_.back());
        stack_.pop_back();
        p->startMs = p->vm.nowMs();
        drive(*p);
    }
    result_.coveredLines = int(std::count(result_.covered.begin(), result_.covered.end(), true));
    return std::move(result_);
}

}  // namespace

ProveResult Explore(const ProgramImage& program, const machine::Machine& m, const Bounds& bounds) {
    return Explorer(program, m, bounds).run();
}

}  // namespace prove
