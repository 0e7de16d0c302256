// The path to a violation written as a scenario, and inputs in words.

#include <algorithm>
#include <cstdio>

#include "isa/Vocabulary.h"
#include "prove/Explore.h"

namespace prove {

namespace {

// A stepper input as a scenario names it.
const char* StepperInputName(uint16_t mask) {
    switch (mask) {
        case StepInput::kEStop: return "e-stop";
        case StepInput::kInput1: return "1";
        case StepInput::kInput2: return "2";
        case StepInput::kLimit1: return "limit-1";
        case StepInput::kLimit2: return "limit-2";
        case StepInput::kHomeSwitch: return "home-switch";
        default: return "?";
    }
}

int BitNumber(uint16_t mask) {
    for (int b = 0; b < 16; ++b)
        if (mask == (1u << b)) return b + 1;
    return 0;
}

// A YAML double-quoted scalar.
std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char ch : s) {
        if (ch == '"' || ch == '\\') out += '\\';
        out += ch;
    }
    return out + "\"";
}

}  // namespace

// A key as the guide writes it: "q", or 0x01 for a control character.
static std::string KeyText(int key) {
    if (key > 0x20 && key < 0x7F && key != '"') return std::string("\"") + char(key) + "\"";
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", key & 0xFF);
    return hex;
}

std::string DescribeInput(const InputChange& c, const machine::Machine& m) {
    if (c.module == 0) return "key " + KeyText(c.key) + " typed";
    std::string out = "module " + std::to_string(c.module);
    if (c.type == kTypeStepper) {
        out += std::string(" input ") + StepperInputName(c.mask);
    } else {
        const int bit = BitNumber(c.mask);
        out += " bit " + std::to_string(bit);
        const std::string name = m.bitName(c.module, machine::Signal::Kind::Input, bit);
        if (!name.empty()) out += " (" + name + ")";
    }
    return out + (c.high ? " high" : " low");
}

std::string CounterexampleScenario(const ProveResult& r, const std::string& name, const std::string& programPath,
                                   const std::string& machinePath) {
    const int64_t at = ReportedMs(r.violation.micros);
    std::string y;
    y += "# The path to a violation that stepwright-cli prove found: " + r.violation.rule + " at " +
         std::to_string(at) + " ms.\n";
    y += "# Running it with stepwright-cli test fails with that violation.\n";
    y += "name: " + Quoted(name) + "\n";
    y += "program: " + Quoted(programPath) + "\n";
    y += "machine: " + Quoted(machinePath) + "\n";
    y += "time-limit: " + std::to_string(at + 1000) + "ms\n";
    y += "steps:\n";
    auto set = [&](const InputChange& c) {
        if (c.module == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c.key & 0x7F);
            y += std::string("  - key: \"") + hex + "\"\n";
            return;
        }
        y += "  - set-input: {module: " + std::to_string(c.module);
        if (c.type == kTypeStepper) y += std::string(", input: ") + Quoted(StepperInputName(c.mask));
        else y += ", bit: " + std::to_string(BitNumber(c.mask));
        y += std::string(", level: ") + (c.high ? "high" : "low") + "}\n";
    };
    std::vector<InputChange> inputs = r.inputs;
    std::stable_sort(inputs.begin(), inputs.end(),
                     [](const InputChange& a, const InputChange& b) { return a.ms < b.ms; });
    for (const InputChange& c : inputs)
        if (c.ms < 0) set(c);
    y += "  - run\n";
    int64_t now = 0;
    for (const InputChange& c : inputs) {
        if (c.ms < 0) continue;
        if (c.ms > now) {
            y += "  - wait: " + std::to_string(c.ms - now) + "ms\n";
            now = c.ms;
        }
        set(c);
    }
    y += "  - wait: " + std::to_string(std::max<int64_t>(at - now, 0) + 1) + "ms\n";
    return y;
}

}  // namespace prove
