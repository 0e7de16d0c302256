// Running a scenario on the simulated master in virtual time: the program is
// downloaded at power-up, the steps are taken in order, and the master is
// polled every simulated millisecond for what the program prints.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "prove/Explore.h"
#include "prove/MachineWatch.h"
#include "scenario/Scenario.h"
#include "sim/Switches.h"
#include "sim/VirtualMaster.h"

namespace scenario {

std::string Visible(const std::string& bytes) {
    std::string out;
    for (char ch : bytes) {
        const uint8_t c = uint8_t(ch);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string Seconds(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld s", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

namespace {

constexpr int kSeenChars = 60;   // printed text quoted in a failure, at most

// "2 s" for whole seconds, else "150 ms".
std::string Span(int64_t ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// " within 2 s", or nothing for a test made at once.
std::string Within(int64_t ms) { return ms > 0 ? " within " + Span(ms) : std::string(); }

const char* Level(bool high) { return high ? "high" : "low"; }

std::string StopName(StopKind kind) {
    switch (kind) {
        case StopKind::Any: return "stopped";
        case StopKind::StopProgram: return "stopped by StopProgram";
        case StopKind::Breakpoint: return "stopped at the breakpoint";
        case StopKind::Error: return "stopped on an error";
        case StopKind::Host: return "stopped by the host";
        case StopKind::End: return "past the last instruction";
        case StopKind::Step: return "stopped after a single step";
    }
    return "stopped";
}

std::string ErrorName(uint8_t a) {
    switch (a) {
        case sim::kBadInstruction: return "a bad instruction";
        case sim::kBadAddress: return "a jump or start outside the program";
        case sim::kStackOverflow: return "more than 16 nested calls";
        case sim::kStackEmpty: return "Return without Call";
        case sim::kFrameChecksum: return "a module frame with a wrong checksum";
        case sim::kNoModule: return "no module at the frame's address";
        case sim::kWrongModule: return "SetOutputs for a module that is not an I/O module";
        default: return "an error";
    }
}

// The scenario's machine description, held against the run: the inputs are
// the scenario's own, every one of them known.
class MachineCheck : public sim::ExecObserver, public prove::InputKnowledge {
public:
    MachineCheck(const Scenario& sc) : watch_(*sc.machine) {
        // The program's lines as prove names them (the text line of a .sws).
        prove::ReadProgramImage(sc.program, program_);
    }
    bool beforeInstruction(sim::SimCore& core, uint16_t address) override {
        if (!violation_)
            if (std::optional<prove::Violation> v = watch_.before(core, address, state_, *this)) violation_ = v;
        return true;
    }
    void frameCollected(sim::SimCore&, const uint8_t*) override {}
    bool known(int, uint16_t) const override { return true; }
    void tick(sim::SimCore& core) {
        if (!violation_) violation_ = watch_.tick(core, state_);
    }
    bool violated() const { return violation_.has_value(); }
    // The master was reset: its modules forget their homing.
    void reset() { state_ = prove::WatchState(); }
    // "travel at 1.234 s: line 12 (LOOP): module 1 ... ".
    std::string text() const {
        const prove::Violation& v = *violation_;
        std::string out = v.rule + " at " + Seconds(prove::ReportedMs(v.micros)) + ": " + line(v.address);
        if (v.standing != v.address) out += " (the program stood at " + line(v.standing) + ")";
        return out + ": " + v.message;
    }

private:
    std::string line(uint16_t address) const {
        const int i = program_.lineAt(address);
        if (i < 0) return "address " + std::to_string(address);
        std::string out = "line " + std::to_string(program_.shownLine[size_t(i)]);
        if (!program_.lineLabel[size_t(i)].empty()) out += " (" + program_.lineLabel[size_t(i)] + ")";
        return out;
    }

    prove::MachineWatch watch_;
    prove::ProgramImage program_;
    prove::WatchState state_;
    std::optional<prove::Violation> violation_;
};

class Runner {
public:
    Runner(const Scenario& sc, const std::function<void(const TraceRow&)>& rows)
        : sc_(sc), rows_(rows), vm_(Options(sc)) {
        if (sc.machine) {
            machine_ = std::make_unique<MachineCheck>(sc);
            vm_.core().setObserver(machine_.get());
        }
    }

    Result run();

private:
    static SimOptions Options(const Scenario& sc) {
        SimOptions o;
        o.moduleTypes = sc.moduleTypes;
        o.paceBaud = 0;
        return o;
    }
    sim::SimCore& core() { return vm_.core(); }
    int64_t now() const { return vm_.nowMs(); }

    // Collects what the master has printed so far.
    void collect();
    // One simulated millisecond on; false at the time limit.
    bool tick();
    void emitRow();
    // Waits up to ms for check to hold, testing at once and after every
    // millisecond.  False with what was seen last in seen.
    bool await(int64_t ms, const std::function<bool(std::string&)>& check, std::string& seen);
    bool take(const Step& step, std::string& seen);
    std::string where() const;
    std::string state() const;

    const Scenario& sc_;
    const std::function<void(const TraceRow&)>& rows_;
    sim::VirtualMaster vm_;
    std::string printed_;        // everything printed
    std::string rowPrinted_;     // printed since the last row
    size_t matchFrom_ = 0;       // expect-print looks from here on
    bool resume_ = false;        // the next continue or step starts where the program stands
    bool timeUp_ = false;
    bool silent_ = false;        // the master stopped answering the host
    std::unique_ptr<MachineCheck> machine_;
};

void Runner::collect() {
    std::string p;
    if (!vm_.poll(p)) silent_ = true;
    printed_ += p;
    rowPrinted_ += p;
}

void Runner::emitRow() {
    if (!rows_) return;
    TraceRow row;
    sim::SimCore& c = core();
    row.ms = now();
    row.address = c.programAddress();
    row.running = c.running();
    row.statusA = c.statusA();
    row.printed = std::move(rowPrinted_);
    rowPrinted_.clear();
    for (int a = 1; sim::SimModule* m = c.module(a); ++a) {
        (void)m;
        if (sim::ServoModule* servo = c.servo(a)) row.positions.push_back(servo->position());
        if (sim::StepperModule* stepper = c.stepper(a)) {
            row.positions.push_back(stepper->position());
            row.inputs.push_back(stepper->inputByte());
        }
        if (sim::IoModule* io = c.io(a)) {
            row.inputs.push_back(uint16_t(io->externalLevels() & io->directions()));
            row.outputs.push_back(uint16_t(io->outputLatch() & ~io->directions() & 0x0FFF));
        }
    }
    rows_(row);
}

bool Runner::tick() {
    if (now() >= sc_.timeLimitMs) {
        timeUp_ = true;
        return false;
    }
    emitRow();
    vm_.tick();
    collect();
    if (machine_) {
        machine_->tick(core());
        if (machine_->violated()) return false;
    }
    return true;
}

bool Runner::await(int64_t ms, const std::function<bool(std::string&)>& check, std::string& seen) {
    const int64_t until = now() + ms;
    for (;;) {
        if (check(seen)) return true;
        if (now() >= until || !tick()) return false;
    }
}

std::string Runner::where() const {
    const uint16_t pc = vm_.core().programAddress();
    std::string text = "address " + std::to_string(pc);
    for (const LineAt& l : sc_.lines) {
        if (l.address != pc) continue;
        text += " (listing line " + std::to_string(l.listingLine);
        if (l.fileLine > 0) {
            const size_t slash = sc_.program.rfind('/');
            text += ", " + sc_.program.substr(slash == std::string::npos ? 0 : slash + 1) + ":" + std::to_string(l.fileLine);
        }
        if (!l.label.empty()) text += ", label " + l.label;
        return text + ")";
    }
    if (pc + 0u == sc_.image.size()) text += " (the end of the program)";
    return text;
}

std::string Runner::state() const {
    const sim::SimCore& c = vm_.core();
    if (c.running()) return "running at " + where();
    const uint8_t a = c.statusA();
    std::string what;
    switch (a) {
        case sim::kIdle: what = "idle (not run since power-up or reset)"; break;
        case sim::kStoppedByHost: what = "stopped by the host"; break;
        case sim::kStoppedByProgram: what = "stopped by StopProgram"; break;
        case sim::kAtBreakpoint: what = "stopped at the breakpoint"; break;
        case sim::kStepDone: what = "stopped after a single step"; break;
        case sim::kEndOfProgram: what = "past the last instruction"; break;
        default: what = "stopped on " + ErrorName(a); break;
    }
    return what + " at " + where();
}

bool Runner::take(const Step& st, std::string& seen) {
    sim::SimCore& c = core();
    auto answered = [&](bool ok) {
        if (!ok) seen = "the master did not answer";
        return ok;
    };
    switch (st.kind) {
        case StepKind::Run:
            resume_ = true;
            return answered(vm_.run(st.label.empty() ? 2 : st.address));
        case StepKind::Continue:
            resume_ = true;
            return answered(vm_.run(c.programAddress()));
        case StepKind::Stop:
            return answered(vm_.stop());
        case StepKind::Step: {
            uint16_t a = !st.label.empty() ? st.address : resume_ ? c.programAddress() : 2;
            // As the window does: a Delay is not stepped, the line after it is.
            while (size_t(a) + 5 <= sc_.image.size() && sc_.image[a] == 0xBB && sc_.image[a + 2] == 9) a = uint16_t(a + 5);
            resume_ = true;
            return answered(vm_.step(a));
        }
        case StepKind::Reset:
            vm_.reset();
            if (machine_) machine_->reset();
            resume_ = false;
            return true;
        case StepKind::Break:
            return answered(vm_.setBreakpoint(st.label.empty() ? 0xFFFF : st.address));
        case StepKind::Key:
            vm_.key(uint8_t(st.text[0]));
            return true;
        case StepKind::SetInput:
            if (!sim::SetInput(c, st.module, st.mask, st.level)) {
                seen = "module " + std::to_string(st.module) + " took no such input";
                return false;
            }
            return true;
        case StepKind::Wait:
            for (int64_t i = 0; i < st.ms; ++i)
                if (!tick()) return false;
            return true;
        case StepKind::ExpectPrint:
            return await(
                st.ms,
                [&](std::string& s) {
                    collect();
                    const size_t at = printed_.find(st.text, matchFrom_);
                    if (at != std::string::npos) {
                        matchFrom_ = at + st.text.size();
                        return true;
                    }
                    std::string since = printed_.substr(matchFrom_);
                    const bool cut = since.size() > size_t(kSeenChars);
                    if (cut) since = since.substr(since.size() - kSeenChars);
                    s = "\"" + Visible(st.text) + "\" not printed" + Within(st.ms) + "; printed " +
                        (since.empty() ? std::string("nothing") : "\"" + std::string(cut ? "..." : "") +
                                                                      Visible(since) + "\"");
                    if (matchFrom_ > 0) s += " since the last match";
                    return false;
                },
                seen);
        case StepKind::ExpectOutput:
            return await(
                st.ms,
                [&](std::string& s) {
                    sim::IoModule* io = c.io(st.module);
                    const bool output = io && !(io->directions() & st.mask);
                    const bool high = output && (io->outputLatch() & st.mask);
                    if (output && high == st.level) return true;
                    s = "module " + std::to_string(st.module) + " " + st.bitName +
                        (output ? std::string(" is ") + Level(high) : std::string(" is an input")) +
                        ", expected an output " + Level(st.level) + Within(st.ms);
                    return false;
                },
                seen);
        case StepKind::ExpectPosition: {
            // A move that overshoots or stops short is told by the value that
            // came closest in the window, not by where it stood at its end.
            bool seenAny = false;
            int64_t closest = 0, closestAt = 0;
            return await(
                st.ms,
                [&](std::string& s) {
                    int64_t p = 0;
                    if (sim::ServoModule* servo = c.servo(st.module)) p = servo->position();
                    else if (sim::StepperModule* stepper = c.stepper(st.module)) p = stepper->position();
                    if (std::llabs(p - st.value) <= st.tolerance) return true;
                    if (!seenAny || std::llabs(p - st.value) < std::llabs(closest - st.value)) {
                        seenAny = true;
                        closest = p;
                        closestAt = now();
                    }
                    const std::string expected = ", expected " + std::to_string(st.value) +
                                                 (st.tolerance ? " +/- " + std::to_string(st.tolerance) : std::string()) +
                                                 Within(st.ms);
                    s = "module " + std::to_string(st.module);
                    if (st.ms == 0) {
                        s += " is at " + std::to_string(p) + expected;
                    } else {
                        s += " came closest at " + std::to_string(closest) + " (at " + Seconds(closestAt) + ")";
                        if (p != closest) s += ", now at " + std::to_string(p);
                        s += expected;
                    }
                    return false;
                },
                seen);
        }
        case StepKind::ExpectStatus:
            return await(
                st.ms,
                [&](std::string& s) {
                    uint8_t byte = 0;
                    if (sim::ServoModule* servo = c.servo(st.module)) byte = servo->statusByte();
                    else if (sim::StepperModule* stepper = c.stepper(st.module))
                        byte = st.statusByte == StatusByte::Inputs ? stepper->inputByte() : stepper->statusByte();
                    const bool high = (byte & st.mask) != 0;
                    if (high == st.level) return true;
                    s = "module " + std::to_string(st.module) + " " + st.bitName + " is " + Level(high) +
                        ", expected " + Level(st.level) + Within(st.ms);
                    return false;
                },
                seen);
        case StepKind::ExpectStopped:
            return await(
                st.ms,
                [&](std::string& s) {
                    const uint8_t a = c.statusA();
                    bool ok = !c.running();
                    switch (st.reason) {
                        case StopKind::Any: break;
                        case StopKind::StopProgram: ok = ok && a == sim::kStoppedByProgram; break;
                        case StopKind::Breakpoint: ok = ok && a == sim::kAtBreakpoint; break;
                        case StopKind::Error: ok = ok && a >= sim::kBadInstruction; break;
                        case StopKind::Host: ok = ok && a == sim::kStoppedByHost; break;
                        case StopKind::End: ok = ok && a == sim::kEndOfProgram; break;
                        case StopKind::Step: ok = ok && a == sim::kStepDone; break;
                    }
                    if (ok) return true;
                    s = "the program is " + state() + ", expected " + StopName(st.reason) + Within(st.ms);
                    return false;
                },
                seen);
        case StepKind::ExpectLine:
            if (c.programAddress() == st.address) return true;
            seen = "the program stands at " + where() + ", expected " + st.label + " (address " +
                   std::to_string(st.address) + ")";
            return false;
        case StepKind::ExpectCounter:
            return await(
                st.ms,
                [&](std::string& s) {
                    const int v = c.counter(st.counter - 1);
                    if (v == st.value) return true;
                    s = "counter " + std::to_string(st.counter) + " is " + std::to_string(v) + ", expected " +
                        std::to_string(st.value) + Within(st.ms);
                    return false;
                },
                seen);
    }
    return true;
}

Result Runner::run() {
    Result r;
    if (!vm_.download(sc_.image.data(), int(sc_.image.size()))) {
        r.line = 1;
        r.message = "download at 0.000 s: the master refused the program";
        return r;
    }
    collect();
    r.passed = true;
    for (size_t i = 0; i < sc_.steps.size(); ++i) {
        const Step& st = sc_.steps[i];
        std::string seen;
        const bool taken = take(st, seen);
        if (taken && !(machine_ && machine_->violated())) {
            ++r.stepsRun;
            continue;
        }
        if (machine_ && machine_->violated()) seen = "the machine description is broken: " + machine_->text();
        else if (timeUp_)
            seen = "the time limit of " + Span(sc_.timeLimitMs) + " ran out" + (seen.empty() ? "" : "; " + seen);
        if (silent_) seen += "; the master no longer answers the host (did the program change the baud rate?)";
        r.passed = false;
        r.failedStep = int(i);
        r.line = st.line;
        r.message = st.key + " at " + Seconds(now()) + ": " + seen;
        break;
    }
    collect();
    emitRow();
    r.simulatedMs = now();
    r.printed = printed_;
    return r;
}

}  // namespace

Result RunScenario(const Scenario& scenario, const std::function<void(const TraceRow&)>& rows) {
    return Runner(scenario, rows).run();
}

}  // namespace scenario
