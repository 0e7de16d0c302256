// The check of a program's instructions against a machine description.

#include "machine/MachineCheck.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "isa/Codec.h"
#include "isa/Vocabulary.h"

namespace machine {

namespace {

const std::vector<check::Rule> kMachineRules = {
    {"machine-mismatch", check::Severity::Error, "the machine description does not fit the program's module list"},
    {"travel-target", check::Severity::Error, "an absolute Move to a position outside the axis's travel"},
    {"velocity-limit", check::Severity::Error, "a Move faster than the axis's max-velocity"},
    {"acceleration-limit", check::Severity::Error, "a Move with more acceleration than the axis's max-acceleration"},
};

constexpr int kServo = 0;
constexpr int kStepper = 3;

bool Checked(const isa::Decoded& d, const char* id) {
    const isa::Value* v = d.values.find(id);
    return v && v->type() == isa::Value::Type::Bool && v->asBool();
}

bool Number(const isa::Decoded& d, const char* id, long long& out) {
    const isa::Value* v = d.values.find(id);
    if (!v || v->type() != isa::Value::Type::Int) return false;
    out = v->asInt();
    return true;
}

// What a Move commands, read from its decoded fields.
struct Motion {
    bool absolute = false;       // position mode, not relative
    long long position = 0;
    long long velocity = -1;     // -1: not given
    long long acceleration = -1;
};

bool ReadMove(const ProgramLine& l, int type, Motion& m) {
    if (l.isComment() || l.length < 3 || l.bytes[0] != kFrameHeader) return false;
    const isa::Decoded d = isa::decode(check::InstructionWithinLength(l), type);
    if (!d.command || d.command->name != std::string("Move")) return false;
    if (type == kServo) {
        const bool positionMode = !Checked(d, "pwm-mode") && !Checked(d, "vel-mode");
        m.absolute = positionMode && !Checked(d, "move-relative");
        if (!Checked(d, "pwm-mode")) {
            Number(d, "velocity", m.velocity);
            Number(d, "acceleration", m.acceleration);
        }
    } else {
        m.absolute = !Checked(d, "velocity-mode");
        Number(d, "speed", m.velocity);
        Number(d, "acceleration", m.acceleration);
    }
    Number(d, "position", m.position);
    return true;
}

std::string Axis(const Machine& mc, int address) {
    const std::string name = mc.moduleName(address);
    return "module " + std::to_string(address) + (name.empty() ? "" : " (" + name + ")");
}

int Order(const std::string& id) {
    const auto& rules = check::Rules();
    for (size_t i = 0; i < rules.size(); ++i)
        if (id == rules[i].id) return int(i);
    for (size_t i = 0; i < kMachineRules.size(); ++i)
        if (id == kMachineRules[i].id) return int(rules.size() + i);
    return int(rules.size() + kMachineRules.size());
}

}  // namespace

const std::vector<check::Rule>& MachineRules() { return kMachineRules; }

std::vector<check::Finding> CheckAgainstMachine(const ProgramLine* lines, int count,
                                                const std::vector<int>& moduleTypes, const Machine& mc,
                                                std::vector<check::Finding> findings, const check::Options& options) {
    const bool severityGiven =
        std::any_of(options.severities.begin(), options.severities.end(),
                    [](const auto& given) { return given.first == "move-before-home"; });
    for (check::Finding& f : findings)
        if (!severityGiven && f.rule == "move-before-home" && f.line >= 0 && f.line < count) {
            const Module* d = mc.module(lines[f.line].moduleAddress);
            if (d && d->homeBeforeAbsolute) {
                f.severity = check::Severity::Warning;
                f.message += "; the machine description asks for homing first";
            }
        }
    std::vector<check::Finding> own;
    for (const std::string& why : MismatchWith(mc, moduleTypes))
        own.push_back({0, "machine-mismatch", check::Severity::Error, why});

    for (int i = 0; i < count; ++i) {
        const ProgramLine& l = lines[i];
        const int a = l.moduleAddress;
        if (l.isComment() || a < 1 || a >= int(moduleTypes.size())) continue;
        const int type = moduleTypes[size_t(a)];
        const Module* d = mc.module(a);
        Motion m;
        if (!d || (type != kServo && type != kStepper) || !ReadMove(l, type, m)) continue;
        if (m.absolute && d->hasTravel && (m.position < d->travelLow || m.position > d->travelHigh))
            own.push_back({i, "travel-target", check::Severity::Error,
                                "Move of " + Axis(mc, a) + " to " + std::to_string(m.position) +
                                    ", outside its travel " + std::to_string(d->travelLow) + " to " +
                                    std::to_string(d->travelHigh)});
        if (d->maxVelocity && m.velocity > *d->maxVelocity)
            own.push_back({i, "velocity-limit", check::Severity::Error,
                                "Move of " + Axis(mc, a) + " at velocity " + std::to_string(m.velocity) +
                                    ", above its max-velocity " + std::to_string(*d->maxVelocity)});
        if (d->maxAcceleration && m.acceleration > *d->maxAcceleration)
            own.push_back({i, "acceleration-limit", check::Severity::Error,
                                "Move of " + Axis(mc, a) + " with acceleration " + std::to_string(m.acceleration) +
                                    ", above its max-acceleration " + std::to_string(*d->maxAcceleration)});
    }
    check::Tune(lines, count, own, options);
    findings.insert(findings.end(), own.begin(), own.end());
    std::stable_sort(findings.begin(), findings.end(), [](const check::Finding& x, const check::Finding& y) {
        return x.line != y.line ? x.line < y.line : Order(x.rule) < Order(y.rule);
    });
    return findings;
}

}  // namespace machine
