// The program check: the label, image and module checks assembly and the
// network would make, then the program's flow from its first instruction.
//
// The flow is a graph over the instruction lines.  A Call goes to its
// subroutine with the call pending and comes back to the next line when a
// Return can be reached from the subroutine; a Return with no call pending is
// a fault.  What a subroutine may set (counters, the timer, homed modules) is
// summed up once per line, backwards, so that facts after a Call include it.
// Each pass is a worklist over the lines: the whole check stays linear in the
// program's size for the programs people write.

#include "program/Check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "isa/Codec.h"
#include "isa/Vocabulary.h"

namespace check {

namespace {

constexpr int kMaxLabelled = 1024;       // entries of the master's label table
constexpr int kLastStart = 16344;        // latest start of a line in the image
constexpr int kImageBytes = 16384;
constexpr int kLastModule = 31;          // module addresses run from 1 to 31
constexpr int kCallDepth = 16;           // calls the master holds pending

const std::vector<Rule> kRules = {
    {"undefined-label", Severity::Error, "a jump to a label that no line defines"},
    {"duplicate-label", Severity::Error, "a label defined twice"},
    {"too-many-labels", Severity::Error, "more labelled lines than the label table holds"},
    {"image-too-large", Severity::Error, "the image would not fit"},
    {"module-missing", Severity::Error, "a module frame for an address the module list does not hold"},
    {"module-type", Severity::Error, "a frame of one family for a module of another type"},
    {"missing-target", Severity::Error, "a GoTo or Call whose target is empty or NULL"},
    {"empty-target", Severity::Warning, "a WaitFor, If-GoTo, CountDown or MonitorSub whose target is empty"},
    {"return-without-call", Severity::Error, "a Return reached on a path with no pending Call"},
    {"call-depth", Severity::Error, "a Call that can make more calls pending than the master holds"},
    {"unreachable", Severity::Warning, "an instruction line that no path from the first instruction reaches"},
    {"runs-off-end", Severity::Warning, "a path that runs past the last instruction"},
    {"counter-unset", Severity::Warning, "a counter used that no SetCounter sets on any path before it"},
    {"timer-unset", Severity::Warning, "a timer condition with no SetTimer on any path before it"},
    {"recursion", Severity::Warning, "a subroutine that can call itself"},
    {"monitor-without-return", Severity::Warning, "a MonitorSub subroutine from which no Return is reachable"},
    {"ignore-limits", Severity::Warning, "a stepper SetParam with Ignore Limits or Ignore Stop"},
    {"baud-change", Severity::Warning, "a ChangeBaud (the host loses the master)"},
    {"busy-loop", Severity::Note, "a loop with no Delay and no WaitFor"},
    {"move-before-home", Severity::Note, "an absolute Move of a module before any StartHoming or ResetPosition of it"},
    {"unused-label", Severity::Note, "a label no instruction jumps to"},
    {"file-refused", Severity::Error, "a program file the reader refuses"},
};

int RuleOrder(const std::string& id) {
    for (size_t i = 0; i < kRules.size(); ++i)
        if (id == kRules[i].id) return int(i);
    return int(kRules.size());
}

// How a line moves the program on.
enum class Kind : uint8_t {
    Plain,     // to the next line
    GoTo,      // to its target only
    Branch,    // If-GoTo, WaitFor, CountDown: the next line or the target
    Call,
    Return,
    Monitor,   // MonitorSub: the next line; the target when the timer runs out
    End,       // StopProgram, Reset
};

constexpr int kToFFFF = -1;   // a jump to FFFF: the path ends there
constexpr int kNoJump = -2;

// Facts a line can set, one bit each.
constexpr uint8_t kCounterBits = 0x0F;   // counter k is bit k-1
constexpr uint8_t kTimerBit = 0x10;
constexpr uint8_t kWaitBit = 0x20;       // Delay or WaitFor: the master waits here

struct Node {
    int line = 0;
    Kind kind = Kind::Plain;
    int target = kNoJump;   // node index, kToFFFF or kNoJump
    uint8_t gen = 0;        // facts set
    uint8_t needs = 0;      // counters and timer tested
    bool countDown = false;
    bool undefined = false; // jumps to a label no line defines
    uint32_t homes = 0;     // modules homed or given a position
    int absoluteMove = -1;  // module of an absolute Move
};

const isa::Value* ValueOf(const isa::Decoded& d, std::string_view id) { return d.values.find(id); }
bool Checked(const isa::Decoded& d, std::string_view id) {
    const isa::Value* v = ValueOf(d, id);
    return v && v->type() == isa::Value::Type::Bool && v->asBool();
}
// The id of the item a choice shows, or "".
std::string ChosenItem(const isa::Decoded& d, std::string_view id) {
    const isa::Value* v = ValueOf(d, id);
    const isa::FieldDesc* f = d.command->field(id);
    if (!v || !f || v->type() != isa::Value::Type::Int || v->asInt() < 0 || v->asInt() >= (long long)f->items.size())
        return std::string();
    return f->items[size_t(v->asInt())].id;
}

// Whether command c of a family is what line holds: its code, its framing,
// and for a module frame its command byte; a WaitFor's status request asks
// the status items of c's family.
bool Fits(const isa::CommandDesc& c, const ProgramLine& line) {
    if (c.code != line.commandCode) return false;
    if (line.bytes[0] == kFrameHeader) {
        return c.framing == isa::Framing::Module && line.length > 2 &&
               (line.bytes[2] == c.layout.commandByte || (c.hasAlternate && line.bytes[2] == c.alternate.commandByte));
    }
    if (c.framing != isa::Framing::Master) return false;
    if (c.statusRequest && line.length > 6) return line.bytes[3] == kFrameHeader && line.bytes[6] == c.requestItems;
    return true;
}

const isa::CommandDesc* Match(isa::Family family, const ProgramLine& line) {
    for (const isa::CommandDesc& c : isa::commandTable())
        if (c.family == family && Fits(c, line)) return &c;
    return nullptr;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// "an I/O SetOutputs", "a Servo Move": the article goes by the sound of the
// family's name, and "I/O" is said with a vowel.
const char* Article(const char* name) {
    return name[0] == 'I' || name[0] == 'A' || name[0] == 'E' || name[0] == 'O' || name[0] == 'U' ? "an" : "a";
}

class Checker {
public:
    Checker(const ProgramLine* lines, int count, const std::vector<int>& types, const Options& options)
        : lines_(lines), count_(count < 0 ? 0 : std::min(count, kMaxLines)), types_(types), options_(options) {}

    std::vector<Finding> run() {
        labels();
        image();
        build();
        if (!nodes_.empty()) {
            returns();
            summaries();
            reach();
            facts();
            homing();
            loops();
            callDepth();
        }
        tune();
        std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
            return a.line != b.line ? a.line < b.line : RuleOrder(a.rule) < RuleOrder(b.rule);
        });
        return std::move(findings_);
    }

private:
    void add(int line, const char* rule, std::string message) {
        const Rule* r = FindRule(rule);
        findings_.push_back({line, rule, r ? r->severity : Severity::Error, std::move(message)});
    }

    // Labels as assembly reads them: the first line of a label wins; "NULL"
    // may be defined any number of times.
    void labels() {
        int labelled = 0;
        for (int i = 0; i < count_; ++i) {
            const ProgramLine& l = lines_[i];
            if (l.isComment() || l.label[0] == '\0') continue;
            const std::string name = l.labelText();
            if (++labelled == kMaxLabelled + 1)
                add(i, "too-many-labels",
                    "more than " + std::to_string(kMaxLabelled) +
                        " labelled lines: the label table holds no more, and loading is refused");
            auto [it, fresh] = labelLine_.emplace(name, i);
            if (!fresh && name != "NULL")
                add(i, "duplicate-label", "label " + Quoted(name) + " is defined again; jumps go to its first line");
        }
        for (int i = 0; i < count_; ++i) {
            const ProgramLine& l = lines_[i];
            if (l.isComment() || l.gotoLabel[0] == '\0') continue;
            const std::string name = l.gotoLabelText();
            jumpedTo_.emplace(name, i);
            if (name != "NULL" && !labelLine_.count(name))
                add(i, "undefined-label", "jump to " + Quoted(name) + ", which no line defines");
        }
        // A label may go unused only because a jump to it is misspelt: while
        // a jump goes to an undefined label, unused labels are not reported.
        bool undefined = false;
        for (const Finding& f : findings_) undefined = undefined || f.rule == "undefined-label";
        for (const auto& [name, line] : labelLine_)
            if (!undefined && !jumpedTo_.count(name))
                add(line, "unused-label", "label " + Quoted(name) + " is not the target of any jump");
    }

    void image() {
        int address = 2;
        for (int i = 0; i < count_; ++i) {
            if (lines_[i].isComment()) continue;
            if (address > kLastStart) {
                add(i, "image-too-large",
                    "the program does not fit: this line would start at byte " + std::to_string(address) +
                        ", past the last start " + std::to_string(kLastStart) + " of the master's " +
                        std::to_string(kImageBytes) + " bytes");
                return;
            }
            address += lines_[i].length;
        }
    }

    // One node per instruction line: how it moves on, what it sets and tests,
    // and the module checks.
    void build() {
        std::vector<int> nodeOfLine(size_t(count_), -1);
        for (int i = 0; i < count_; ++i)
            if (!lines_[i].isComment()) {
                nodeOfLine[size_t(i)] = int(nodes_.size());
                nodes_.push_back(Node{});
                nodes_.back().line = i;
            }
        for (Node& n : nodes_) {
            const ProgramLine& l = lines_[n.line];
            const std::string target = l.gotoLabelText();
            auto resolve = [&]() {
                auto it = labelLine_.find(target);
                n.target = it == labelLine_.end() ? kToFFFF : nodeOfLine[size_t(it->second)];
                n.undefined = it == labelLine_.end() && !target.empty() && target != "NULL";
            };
            const int address = l.moduleAddress;
            int type = kTypeMaster;
            if (address != 0) {
                if (address >= int(types_.size()) || address > kLastModule) {
                    add(n.line, "module-missing",
                        std::string(l.bytes[0] == kFrameHeader ? "a frame" : "an instruction") + " for module " +
                            std::to_string(address) + ", which the module list does not hold");
                    type = -1;
                } else {
                    type = types_[size_t(address)];
                }
            }
            const isa::CommandDesc* command = nullptr;
            isa::Family family;
            if (type >= 0 && isa::familyOfType(type, family)) {
                command = Match(family, l);
                if (!command && address != 0) wrongFamily(n.line, l, family);
            }

            if (l.bytes[0] == kMasterMarker && l.length >= 3) {
                using namespace MasterCmd;
                switch (l.bytes[2]) {
                    case kGoTo:
                    case kCall:
                        n.kind = l.bytes[2] == kGoTo ? Kind::GoTo : Kind::Call;
                        resolve();
                        if (n.target == kToFFFF && labelLine_.count(target) == 0 && (target.empty() || target == "NULL"))
                            add(n.line, "missing-target",
                                std::string(n.kind == Kind::GoTo ? "GoTo" : "Call") +
                                    (target.empty() ? " with an empty target" : " NULL") +
                                    ": the master would jump to FFFF");
                        break;
                    case kReturn: n.kind = Kind::Return; break;
                    case kIfGoTo:
                    case kWaitFor:
                    case kCountDown:
                    case kMonitorSub: {
                        n.kind = l.bytes[2] == kMonitorSub ? Kind::Monitor : Kind::Branch;
                        resolve();
                        if (target.empty()) {
                            const char* what = l.bytes[2] == kIfGoTo     ? "If-GoTo"
                                               : l.bytes[2] == kWaitFor  ? "WaitFor timeout"
                                               : l.bytes[2] == kCountDown ? "CountDown"
                                                                          : "MonitorSub";
                            add(n.line, "empty-target",
                                std::string(what) +
                                    " with an empty target: it gets FFFF as \"NULL\" does; write NULL where that is meant");
                        }
                        break;
                    }
                    case kStopProgram:
                    case kReset: n.kind = Kind::End; break;
                    case kChangeBaud: {
                        int rate = 0;
                        for (const BaudRateCode& b : kBaudRateCodes)
                            if (l.length > 3 && b.code == l.bytes[3]) rate = b.rate;
                        add(n.line, "baud-change",
                            "ChangeBaud" + (rate ? " " + std::to_string(rate) : std::string()) +
                                ": the host loses the master, and the program cannot be run from here");
                        break;
                    }
                    default: break;
                }
            }
            if (command) readFields(n, l, *command, address);
        }
    }

    // A line whose command the module's family does not have: which family
    // it was written for, when one has it.
    void wrongFamily(int line, const ProgramLine& l, isa::Family family) {
        const char* moduleFamily = isa::familyName(family);
        for (isa::Family other : {isa::Family::Servo, isa::Family::Stepper, isa::Family::Io})
            if (other != family)
                if (const isa::CommandDesc* c = Match(other, l)) {
                    add(line, "module-type",
                        std::string(Article(isa::familyName(other))) + " " + isa::familyName(other) + " " + c->name +
                            " for module " +
                            std::to_string(l.moduleAddress) + ", which is " + Article(moduleFamily) + " " +
                            moduleFamily + " module");
                    return;
                }
        add(line, "module-type",
            "an instruction the " + std::string(moduleFamily) + " module " + std::to_string(l.moduleAddress) +
                " does not know (command code " + std::to_string(l.commandCode) + ")");
    }

    // What a line sets and tests, read from its decoded fields.
    void readFields(Node& n, const ProgramLine& l, const isa::CommandDesc& c, int address) {
        const std::string& name = c.name;
        const bool motor = c.family == isa::Family::Servo || c.family == isa::Family::Stepper;
        if (c.family == isa::Family::Master) {
            switch (c.code) {
                case MasterCmd::kSetTimer: n.gen |= kTimerBit; return;
                case MasterCmd::kDelay:
                case MasterCmd::kWaitFor:
                case MasterCmd::kSetCounter:
                case MasterCmd::kCountDown:
                case MasterCmd::kIfGoTo: break;
                default: return;
            }
        } else if (c.code == MasterCmd::kWaitFor && c.framing == isa::Framing::Master) {
            // decoded below for its timeout
        } else if (motor && (name == "StartHoming" || name == "ResetPosition")) {
            n.homes |= 1u << address;
            return;
        } else if (!(motor && name == "Move") && !(c.family == isa::Family::Stepper && name == "SetParam")) {
            return;
        }
        const isa::Decoded d = isa::decode(InstructionWithinLength(l), c.family == isa::Family::Master ? kTypeMaster
                                                                                        : types_[size_t(address)]);
        const bool waitFor = c.code == MasterCmd::kWaitFor && c.framing == isa::Framing::Master;
        if (waitFor || (c.family == isa::Family::Master && c.code == MasterCmd::kDelay)) {
            // A Delay or WaitFor waits unless its time is 0: WaitFor then
            // takes its timeout at once, and a loop through it spins.
            const isa::Value* time = d.command ? ValueOf(d, c.code == MasterCmd::kDelay ? "time" : "timeout") : nullptr;
            if (!time || time->type() != isa::Value::Type::Int || time->asInt() != 0) n.gen |= kWaitBit;
            return;
        }
        if (!d.command) return;
        if (c.family == isa::Family::Master) {
            const isa::Value* counter = ValueOf(d, "counter");
            const int k = counter && counter->type() == isa::Value::Type::Int ? int(counter->asInt()) : 0;
            if (c.code == MasterCmd::kSetCounter && k >= 1 && k <= 4) n.gen |= uint8_t(1u << (k - 1));
            if (c.code == MasterCmd::kCountDown) {
                n.countDown = true;
                if (k >= 1 && k <= 4) n.needs |= uint8_t(1u << (k - 1));
            }
            if (c.code == MasterCmd::kIfGoTo) {
                const std::string item = ChosenItem(d, "condition");
                if (item == "timeout") n.needs |= kTimerBit;
                if (item.size() == 9 && item.compare(0, 8, "counter-") == 0 && item[8] >= '1' && item[8] <= '4')
                    n.needs |= uint8_t(1u << (item[8] - '1'));
            }
        } else if (name == "SetParam") {
            const bool limits = Checked(d, "ignore-limits"), stop = Checked(d, "ignore-stop");
            if (limits || stop)
                add(n.line, "ignore-limits",
                    std::string("SetParam with ") + (limits && stop ? "Ignore Limits and Ignore Stop"
                                                     : limits        ? "Ignore Limits"
                                                                     : "Ignore Stop") +
                        ": the stepper at module " + std::to_string(address) +
                        (limits ? " runs past its limit switches" : " ignores its stop input"));
        } else if (c.family == isa::Family::Servo) {
            if (!Checked(d, "pwm-mode") && !Checked(d, "vel-mode") && !Checked(d, "move-relative"))
                n.absoluteMove = address;
        } else if (!Checked(d, "velocity-mode")) {
            n.absoluteMove = address;
        }
    }

    // Successors of a node within its subroutine (a Call's subroutine is not
    // one; MonitorSub's target is entered only when the timer runs out).
    template <typename F>
    void within(int k, F&& f) const {
        const Node& n = nodes_[size_t(k)];
        const int next = k + 1 < int(nodes_.size()) ? k + 1 : -1;
        switch (n.kind) {
            case Kind::Plain:
            case Kind::Monitor:
                if (next >= 0) f(next);
                break;
            case Kind::Branch:
                if (next >= 0) f(next);
                if (n.target >= 0) f(n.target);
                break;
            case Kind::GoTo:
                if (n.target >= 0) f(n.target);
                break;
            case Kind::Call:
                if (next >= 0 && n.target >= 0 && returns_[size_t(n.target)]) f(next);
                break;
            case Kind::Return:
            case Kind::End: break;
        }
    }

    // The nodes whose value may depend on a node's: its predecessors within a
    // subroutine, and Calls by their subroutine and by the line they return to.
    void predecessors() {
        const int n = int(nodes_.size());
        std::vector<int> counts(size_t(n) + 1, 0);
        auto each = [&](auto&& f) {
            for (int k = 0; k < n; ++k) {
                const Node& node = nodes_[size_t(k)];
                auto edge = [&](int s) { f(s, k); };
                if (node.kind == Kind::Call) {
                    if (k + 1 < n) edge(k + 1);
                    if (node.target >= 0) edge(node.target);
                } else {
                    const int next = k + 1 < n ? k + 1 : -1;
                    if (node.kind != Kind::GoTo && node.kind != Kind::Return && node.kind != Kind::End && next >= 0)
                        edge(next);
                    if ((node.kind == Kind::GoTo || node.kind == Kind::Branch) && node.target >= 0) edge(node.target);
                }
            }
        };
        each([&](int s, int) { ++counts[size_t(s) + 1]; });
        for (int k = 0; k < n; ++k) counts[size_t(k) + 1] += counts[size_t(k)];
        predStart_ = counts;
        preds_.assign(size_t(counts[size_t(n)]), 0);
        each([&](int s, int p) { preds_[size_t(counts[size_t(s)]++)] = p; });
    }

    // A value per node from its successors, to a fixed point: every node is
    // computed once, then again whenever a successor's value changed.
    template <typename T, typename F>
    void backwards(std::vector<T>& value, F&& compute) {
        const int n = int(nodes_.size());
        std::vector<int> work(static_cast<size_t>(n));
        std::vector<char> queued(size_t(n), 1);
        for (int k = 0; k < n; ++k) work[size_t(k)] = n - 1 - k;
        while (!work.empty()) {
            const int k = work.back();
            work.pop_back();
            queued[size_t(k)] = 0;
            const T v = compute(k);
            if (v == value[size_t(k)]) continue;
            value[size_t(k)] = v;
            for (int i = predStart_[size_t(k)]; i < predStart_[size_t(k) + 1]; ++i) {
                const int p = preds_[size_t(i)];
                if (!queued[size_t(p)]) {
                    queued[size_t(p)] = 1;
                    work.push_back(p);
                }
            }
        }
    }

    // Whether a Return can be reached from each line within its subroutine.
    void returns() {
        predecessors();
        returns_.assign(nodes_.size(), 0);
        backwards(returns_, [&](int k) -> char {
            const Node& n = nodes_[size_t(k)];
            if (n.kind == Kind::Return) return 1;
            if (n.kind == Kind::Call) {
                const int next = k + 1;
                return n.target >= 0 && next < int(nodes_.size()) && returns_[size_t(n.target)] && returns_[size_t(next)];
            }
            char r = 0;
            within(k, [&](int s) { r = r || returns_[size_t(s)]; });
            return r;
        });
    }

    // What may be set from each line on within its subroutine, subroutines
    // called included: a Call adds what its subroutine sets to the line after it.
    struct Sets {
        uint8_t bits = 0;
        uint32_t homes = 0;
        bool operator==(const Sets&) const = default;
    };
    void summaries() {
        sets_.assign(nodes_.size(), Sets{});
        backwards(sets_, [&](int k) {
            const Node& n = nodes_[size_t(k)];
            Sets s{n.gen, n.homes};
            if (n.kind == Kind::Call && n.target >= 0) {
                s.bits |= sets_[size_t(n.target)].bits;
                s.homes |= sets_[size_t(n.target)].homes;
            }
            within(k, [&](int t) {
                s.bits |= sets_[size_t(t)].bits;
                s.homes |= sets_[size_t(t)].homes;
            });
            return s;
        });
    }

    // Facts after a node reach its successors: a Call's subroutine gets them
    // as they are, the line after the Call with what the subroutine sets.
    template <typename F>
    void onward(int k, F&& f) const {
        const Node& n = nodes_[size_t(k)];
        if (n.kind == Kind::Call) {
            if (n.target >= 0) f(n.target, false);
            if (k + 1 < int(nodes_.size()) && n.target >= 0 && returns_[size_t(n.target)]) f(k + 1, true);
            return;
        }
        within(k, [&](int s) { f(s, false); });
        if (n.kind == Kind::Monitor && n.target >= 0) f(n.target, false);
    }

    // Every node reached from the first, with a Call pending or not.  A
    // lenient pass takes a jump to an undefined label for one that may go to
    // any labelled line and a Call to one for a Call that returns: what it
    // does not reach stays unreachable whatever label the jump was meant for.
    std::vector<char> reachable(bool lenient, std::vector<char>& offEnd, std::vector<char>& strayReturn) const {
        const int n = int(nodes_.size());
        std::vector<char> reached(size_t(2 * n), 0);
        std::vector<int> work{0};
        reached[0] = 1;
        auto visit = [&](int k, int pending) {
            const size_t at = size_t(2 * k + pending);
            if (!reached[at]) {
                reached[at] = 1;
                work.push_back(2 * k + pending);
            }
        };
        bool anyLabel[2] = {false, false};
        auto visitLabels = [&](int pending) {
            if (anyLabel[pending]) return;
            anyLabel[pending] = true;
            for (int k = 0; k < n; ++k)
                if (lines_[nodes_[size_t(k)].line].label[0] != '\0') visit(k, pending);
        };
        while (!work.empty()) {
            const int state = work.back();
            work.pop_back();
            const int k = state / 2, pending = state % 2;
            const Node& node = nodes_[size_t(k)];
            const bool last = k + 1 >= n;
            if (lenient && node.undefined) {
                if (node.kind == Kind::Call || node.kind == Kind::Monitor) visitLabels(1);
                else visitLabels(pending);
                if (node.kind != Kind::GoTo && !last) visit(k + 1, pending);
                continue;
            }
            switch (node.kind) {
                case Kind::Call:
                    if (node.target >= 0) {
                        visit(node.target, 1);
                        if (returns_[size_t(node.target)]) {
                            if (last) offEnd[size_t(k)] = 1;
                            else visit(k + 1, pending);
                        }
                    }
                    break;
                case Kind::Return:
                    if (!pending) strayReturn[size_t(k)] = 1;
                    break;
                case Kind::Monitor:
                    if (node.target >= 0) visit(node.target, 1);
                    [[fallthrough]];
                default:
                    if (last && node.kind != Kind::GoTo && node.kind != Kind::End) offEnd[size_t(k)] = 1;
                    within(k, [&](int s) { visit(s, pending); });
                    break;
            }
        }
        return reached;
    }

    void reach() {
        const int n = int(nodes_.size());
        std::vector<char> offEnd(size_t(n), 0), strayReturn(size_t(n), 0);
        reached_ = reachable(false, offEnd, strayReturn);
        const bool anyUndefined = std::any_of(nodes_.begin(), nodes_.end(), [](const Node& x) { return x.undefined; });
        std::vector<char> ignored(size_t(n), 0), ignored2(size_t(n), 0);
        const std::vector<char> lenient = anyUndefined ? reachable(true, ignored, ignored2) : reached_;
        auto reachedSomehow = [&](int k) { return lenient[size_t(2 * k)] || lenient[size_t(2 * k + 1)]; };
        for (int k = 0; k < n; ++k) {
            const int line = nodes_[size_t(k)].line;
            if (strayReturn[size_t(k)])
                add(line, "return-without-call", "Return reached with no Call pending: the master has nowhere to return to");
            if (offEnd[size_t(k)])
                add(line, "runs-off-end",
                    "the program runs past its last instruction here; end it with StopProgram or a GoTo");
        }
        for (int k = 0; k < n;) {
            if (reachedSomehow(k)) {
                ++k;
                continue;
            }
            int end = k;
            while (end + 1 < n && !reachedSomehow(end + 1)) ++end;
            const int more = end - k;
            add(nodes_[size_t(k)].line, "unreachable",
                "no path from the first instruction reaches this line" +
                    (more == 0 ? std::string() : " or the " + std::to_string(more) + " instruction line(s) after it"));
            k = end + 1;
        }
    }
    bool reachedAny(int k) const { return reached_[size_t(2 * k)] || reached_[size_t(2 * k + 1)]; }

    // Counters and the timer: set on some path before a line that tests them.
    void facts() {
        const int n = int(nodes_.size());
        std::vector<uint8_t> in(size_t(n), 0);
        std::vector<char> seen(size_t(n), 0);
        std::vector<int> work{0};
        seen[0] = 1;
        auto flow = [&]() {
            while (!work.empty()) {
                const int k = work.back();
                work.pop_back();
                const uint8_t out = uint8_t(in[size_t(k)] | nodes_[size_t(k)].gen);
                onward(k, [&](int s, bool afterCall) {
                    const uint8_t v =
                        uint8_t(in[size_t(s)] | out | (afterCall ? sets_[size_t(nodes_[size_t(k)].target)].bits : 0));
                    if (v != in[size_t(s)] || !seen[size_t(s)]) {
                        in[size_t(s)] = v;
                        seen[size_t(s)] = 1;
                        work.push_back(s);
                    }
                });
            }
        };
        flow();
        // A monitor subroutine runs whenever the timer runs out: anything the
        // program set by then may be set in it.
        for (bool changed = true; changed;) {
            changed = false;
            uint8_t all = 0;
            for (int k = 0; k < n; ++k)
                if (seen[size_t(k)]) all |= uint8_t(in[size_t(k)] | nodes_[size_t(k)].gen);
            for (int k = 0; k < n; ++k) {
                const Node& node = nodes_[size_t(k)];
                if (node.kind != Kind::Monitor || node.target < 0 || !seen[size_t(k)]) continue;
                const size_t t = size_t(node.target);
                if ((in[t] | all) != in[t]) {
                    in[t] |= all;
                    work.push_back(node.target);
                    changed = true;
                }
            }
            flow();
        }
        for (int k = 0; k < n; ++k) {
            const Node& node = nodes_[size_t(k)];
            if (!seen[size_t(k)] || !node.needs) continue;
            const uint8_t unset = uint8_t(node.needs & ~in[size_t(k)]);
            for (int c = 0; c < 4; ++c)
                if (unset & (1u << c))
                    add(node.line, "counter-unset",
                        std::string(node.countDown ? "CountDown of" : "If-GoTo on") + " counter " +
                            std::to_string(c + 1) + ", which no SetCounter sets on any path before it");
            if (unset & kTimerBit)
                add(node.line, "timer-unset", "If-GoTo on Timeout with no SetTimer on any path before it");
        }
    }

    // Modules homed (or given a position) on every path before an absolute
    // Move; the first such Move on a path counts as placing the module, so
    // that one note is given per module and path.
    void homing() {
        const int n = int(nodes_.size());
        std::vector<uint32_t> in(size_t(n), ~0u);
        std::vector<char> seen(size_t(n), 0);
        std::vector<int> work{0};
        in[0] = 0;
        seen[0] = 1;
        auto outOf = [&](int k) {
            const Node& node = nodes_[size_t(k)];
            uint32_t out = in[size_t(k)] | node.homes;
            if (node.absoluteMove >= 0) out |= 1u << node.absoluteMove;
            return out;
        };
        while (!work.empty()) {
            const int k = work.back();
            work.pop_back();
            const uint32_t out = outOf(k);
            onward(k, [&](int s, bool afterCall) {
                const uint32_t arriving = out | (afterCall ? sets_[size_t(nodes_[size_t(k)].target)].homes : 0);
                const uint32_t v = seen[size_t(s)] ? (in[size_t(s)] & arriving) : arriving;
                if (v != in[size_t(s)] || !seen[size_t(s)]) {
                    in[size_t(s)] = v;
                    seen[size_t(s)] = 1;
                    work.push_back(s);
                }
            });
        }
        for (int k = 0; k < n; ++k) {
            const Node& node = nodes_[size_t(k)];
            if (seen[size_t(k)] && node.absoluteMove >= 0 && !(in[size_t(k)] & (1u << node.absoluteMove)))
                add(node.line, "move-before-home",
                    "absolute Move of module " + std::to_string(node.absoluteMove) +
                        " before any StartHoming or ResetPosition of it on this path");
        }
    }

    // Loops and recursion: the strongly connected parts of the flow graph
    // with the Calls' edges into their subroutines (iterative Tarjan).
    void loops() {
        const int n = int(nodes_.size());
        std::vector<int> index(size_t(n), -1), low(size_t(n), 0), component(size_t(n), -1), stack;
        std::vector<char> onStack(size_t(n), 0);
        std::vector<std::vector<int>> edges(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) {
            if (!reachedAny(k)) continue;
            within(k, [&](int s) { edges[size_t(k)].push_back(s); });
            if (nodes_[size_t(k)].kind == Kind::Call && nodes_[size_t(k)].target >= 0)
                edges[size_t(k)].push_back(nodes_[size_t(k)].target);
        }
        int counter = 0, components = 0;
        std::vector<std::pair<int, size_t>> frames;
        for (int root = 0; root < n; ++root) {
            if (index[size_t(root)] >= 0 || !reachedAny(root)) continue;
            frames.push_back({root, 0});
            while (!frames.empty()) {
                auto& [v, next] = frames.back();
                if (next == 0 && index[size_t(v)] < 0) {
                    index[size_t(v)] = low[size_t(v)] = counter++;
                    stack.push_back(v);
                    onStack[size_t(v)] = 1;
                }
                if (next < edges[size_t(v)].size()) {
                    const int w = edges[size_t(v)][next++];
                    if (index[size_t(w)] < 0) {
                        frames.push_back({w, 0});
                    } else if (onStack[size_t(w)]) {
                        low[size_t(v)] = std::min(low[size_t(v)], index[size_t(w)]);
                    }
                    continue;
                }
                const int done = v;
                if (low[size_t(done)] == index[size_t(done)]) {
                    int w;
                    do {
                        w = stack.back();
                        stack.pop_back();
                        onStack[size_t(w)] = 0;
                        component[size_t(w)] = components;
                    } while (w != done);
                    ++components;
                }
                frames.pop_back();
                if (!frames.empty()) {
                    const int parent = frames.back().first;
                    low[size_t(parent)] = std::min(low[size_t(parent)], low[size_t(done)]);
                }
            }
        }
        // Per component: its first line, its size, whether it waits or counts.
        struct Part {
            int first = -1, size = 0;
            bool selfLoop = false, waits = false, counts = false;
        };
        std::vector<Part> parts(static_cast<size_t>(components));
        for (int k = 0; k < n; ++k) {
            if (component[size_t(k)] < 0) continue;
            Part& p = parts[size_t(component[size_t(k)])];
            const Node& node = nodes_[size_t(k)];
            if (p.first < 0) p.first = k;
            ++p.size;
            p.waits = p.waits || (node.gen & kWaitBit) ||
                      (node.kind == Kind::Call && node.target >= 0 && (sets_[size_t(node.target)].bits & kWaitBit));
            p.counts = p.counts || node.countDown;
            for (int s : edges[size_t(k)]) p.selfLoop = p.selfLoop || s == k;
            if (node.kind == Kind::Call && node.target >= 0 && component[size_t(node.target)] == component[size_t(k)]) {
                const std::string name = lines_[node.line].gotoLabelText();
                add(node.line, "recursion",
                    "Call " + name + ": subroutine " + Quoted(name) +
                        " can call itself, and every pass fills the master's call stack");
            }
            if (node.kind == Kind::Monitor && node.target >= 0 && !returns_[size_t(node.target)]) {
                const std::string name = lines_[node.line].gotoLabelText();
                add(node.line, "monitor-without-return",
                    "MonitorSub " + name + ": no Return is reachable from " + Quoted(name) +
                        ", so the interrupted program never resumes");
            }
        }
        for (const Part& p : parts)
            if ((p.size > 1 || p.selfLoop) && !p.waits && !p.counts)
                add(nodes_[size_t(p.first)].line, "busy-loop",
                    "a loop with no Delay or WaitFor starts here: the master runs it at full speed");
        component_ = std::move(component);
    }

    // The most calls pending on any path to each line.  A recursive Call
    // (into its own loop of calls) is the recursion rule's and adds nothing
    // here, so that every other path has a bound; a MonitorSub's subroutine
    // counts as called where the MonitorSub stands.  A Call that would make
    // one more than the master holds is reported, and not followed further.
    void callDepth() {
        const int n = int(nodes_.size());
        std::vector<int> depth(size_t(n), -1);
        std::vector<char> over(size_t(n), 0);
        std::vector<int> work{0};
        depth[0] = 0;
        auto reach = [&](int s, int d) {
            if (s >= 0 && d > depth[size_t(s)]) {
                depth[size_t(s)] = d;
                work.push_back(s);
            }
        };
        while (!work.empty()) {
            const int k = work.back();
            work.pop_back();
            const Node& node = nodes_[size_t(k)];
            const int d = depth[size_t(k)];
            if ((node.kind == Kind::Call || node.kind == Kind::Monitor) && node.target >= 0) {
                const bool recursive = component_[size_t(k)] >= 0 && component_[size_t(k)] == component_[size_t(node.target)];
                if (recursive && node.kind == Kind::Call) {
                    reach(node.target, d);
                } else if (d >= kCallDepth) {
                    if (node.kind == Kind::Call) over[size_t(k)] = 1;
                } else {
                    reach(node.target, d + 1);
                }
            }
            within(k, [&](int s) { reach(s, d); });
        }
        for (int k = 0; k < n; ++k)
            if (over[size_t(k)])
                add(nodes_[size_t(k)].line, "call-depth",
                    "Call " + lines_[nodes_[size_t(k)].line].gotoLabelText() + ": " + std::to_string(kCallDepth) +
                        " calls can be pending here, and the master holds no more: it stops with a stack overflow");
    }

    void tune() { Tune(lines_, count_, findings_, options_); }

    const ProgramLine* lines_;
    int count_;
    const std::vector<int>& types_;
    const Options& options_;
    std::vector<Finding> findings_;
    std::vector<int> component_;
    std::unordered_map<std::string, int> labelLine_, jumpedTo_;
    std::vector<Node> nodes_;
    std::vector<int> predStart_, preds_;
    std::vector<char> returns_;
    std::vector<Sets> sets_;
    std::vector<char> reached_;
};

}  // namespace

const char* SeverityName(Severity severity) {
    switch (severity) {
        case Severity::Note: return "note";
        case Severity::Warning: return "warning";
        case Severity::Error: return "error";
    }
    return "error";
}

const std::vector<Rule>& Rules() { return kRules; }

const Rule* FindRule(std::string_view id) {
    for (const Rule& r : kRules)
        if (id == r.id) return &r;
    return nullptr;
}

std::vector<Finding> CheckProgram(const ProgramLine* lines, int count, const std::vector<int>& moduleTypes,
                                  const Options& options) {
    return Checker(lines, count, moduleTypes, options).run();
}

std::vector<std::string> IgnoredRules(const ProgramLine& line) {
    std::vector<std::string> ids;
    if (!line.isComment()) return ids;
    const std::string text = line.commentText();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    size_t p = 1;   // after the ';'
    auto skip = [&] {
        while (p < text.size() && blank(text[p])) ++p;
    };
    auto word = [&](const char* w) {
        const size_t n = std::strlen(w);
        if (text.compare(p, n, w) != 0) return false;
        p += n;
        return true;
    };
    skip();
    if (!word("check:")) return ids;
    skip();
    if (!word("ignore") || p >= text.size() || !blank(text[p])) return ids;
    while (p < text.size()) {
        while (p < text.size() && (blank(text[p]) || text[p] == ',')) ++p;
        const size_t start = p;
        while (p < text.size() && !blank(text[p]) && text[p] != ',') ++p;
        if (p > start) ids.push_back(text.substr(start, p - start));
    }
    return ids;
}

void Tune(const ProgramLine* lines, int count, std::vector<Finding>& findings, const Options& options) {
    std::vector<std::vector<std::string>> ignored(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        ignored[size_t(i)] = IgnoredRules(lines[i]);
        // A run of comment lines speaks for the line after it.
        if (i > 0 && lines[i - 1].isComment()) {
            const std::vector<std::string>& above = ignored[size_t(i - 1)];
            ignored[size_t(i)].insert(ignored[size_t(i)].end(), above.begin(), above.end());
        }
    }
    auto names = [](const std::vector<std::string>& ids, const std::string& id) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    };
    for (Finding& f : findings) {
        for (const auto& [id, severity] : options.severities)
            if (id == f.rule) f.severity = severity;
        if (f.line >= 0 && f.line < count && names(ignored[size_t(f.line)], f.rule))
            f.suppression = Suppression::InSource;
        else if (names(options.disabled, f.rule))
            f.suppression = Suppression::Disabled;
    }
}

isa::Encoded InstructionWithinLength(const ProgramLine& line) {
    isa::Encoded e;
    const int n = std::min<int>(line.length, isa::kInstructionBytes);
    std::memcpy(e.bytes.data(), line.bytes, size_t(n));
    e.length = uint8_t(n);
    e.commandCode = line.commandCode;
    e.patchOffset = line.patchOffset;
    e.gotoLabel = line.gotoLabelText();
    return e;
}

bool Fails(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return !f.suppressed() && f.severity != Severity::Note; });
}

std::vector<std::string> Fingerprints(const ProgramLine* lines, int count, const std::vector<Finding>& findings) {
    // FNV-1a, 64 bits: stable across builds and machines.
    auto hash = [](uint64_t h, const void* data, size_t size) {
        const auto* b = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) h = (h ^ b[i]) * 0x100000001b3ull;
        return h;
    };
    auto text = [&](uint64_t h, const std::string& s) { return hash(hash(h, s.data(), s.size()), "", 1); };
    std::vector<std::string> out;
    std::unordered_map<std::string, int> seen;
    for (const Finding& f : findings) {
        uint64_t h = text(0xcbf29ce484222325ull, f.rule);
        if (f.line >= 0 && f.line < count) {
            const ProgramLine& l = lines[f.line];
            if (l.isComment()) {
                h = text(h, l.commentText());
            } else {
                h = text(text(h, l.labelText()), l.gotoLabelText());
                const unsigned char fixed[2] = {l.moduleAddress, l.commandCode};
                h = hash(h, fixed, 2);
                // A jump's address bytes change when lines move: its label stands for them.
                unsigned char bytes[sizeof l.bytes];
                const size_t n = std::min<size_t>(l.length, sizeof l.bytes);
                std::memcpy(bytes, l.bytes, n);
                if (l.gotoLabel[0] != '\0')
                    for (size_t i = l.patchOffset; i < n && i < size_t(l.patchOffset) + 2; ++i) bytes[i] = 0xFF;
                h = hash(h, bytes, n);
            }
        }
        char hex[17];
        for (int i = 0; i < 16; ++i) hex[i] = "0123456789abcdef"[(h >> (60 - 4 * i)) & 15];
        hex[16] = '\0';
        const int n = seen[hex]++;
        out.push_back(std::string(hex) + ":" + std::to_string(n + 1));
    }
    return out;
}

}  // namespace check
