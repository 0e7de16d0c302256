// Encode and decode of every command of the instruction set, with the
// instruction set library alone: per command, the panel's defaults with the
// fields that must be filled in filled (a number its range allows, the first
// item of a choice, the first box of a group, a jump target), encoded and
// decoded again and again.  Reports nanoseconds per instruction (thread CPU
// time; the goal is 2000 ns or less) and fails when a command cannot be
// encoded or does not decode to itself.
//
//   bench_isa [rounds]      (default 20000 per command)

#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "bench/BenchClock.h"
#include "isa/Codec.h"
#include "isa/Describe.h"

namespace {

int ModuleTypeOf(isa::Family f) {
    switch (f) {
        case isa::Family::Master: return 127;
        case isa::Family::Servo: return 0;
        case isa::Family::Stepper: return 3;
        case isa::Family::Io: return 2;
    }
    return 255;
}

// The defaults, with what the builder would refuse filled in.
isa::FieldValues Filled(const isa::CommandDesc& c) {
    isa::FieldValues v;
    bool groupDone = false;
    for (const isa::FieldDesc& f : c.fields) {
        switch (f.kind) {
            case isa::FieldKind::Number:
                if (f.initial.isNone()) v.set(f.id, isa::Value::ofInt(f.min <= 0 && f.max >= 0 ? 0 : f.min));
                break;
            case isa::FieldKind::Choice:
            case isa::FieldKind::Condition:
                if (f.initial.asInt() < 0) v.set(f.id, isa::Value::ofInt(0));
                break;
            case isa::FieldKind::Check:
                if (f.group && !c.groupField.empty() && !groupDone) {
                    v.set(f.id, isa::Value::ofBool(true));
                    groupDone = true;
                }
                break;
            case isa::FieldKind::Target: v.set(f.id, isa::Value::ofText("L1")); break;
            default: break;
        }
    }
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20000;
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: bench_isa [rounds]\n");
        return 2;
    }
    double encodeNs = 0, decodeNs = 0, worstEncode = 0, worstDecode = 0;
    std::string worstEncodeName, worstDecodeName;
    int failures = 0;
    const auto& table = isa::commandTable();
    for (const isa::CommandDesc& c : table) {
        const std::string name = std::string(isa::familyName(c.family)) + " " + c.name;
        const isa::FieldValues values = Filled(c);
        const int type = ModuleTypeOf(c.family);
        const auto first = isa::encode(c, values, 5);
        const isa::Encoded* encoded = std::get_if<isa::Encoded>(&first);
        if (!encoded) {
            const auto& r = std::get<isa::Refusal>(first);
            std::fprintf(stderr, "%s: refused, field '%s': %s\n", name.c_str(), r.field.c_str(),
                         r.messages.empty() ? "" : r.messages[0].c_str());
            ++failures;
            continue;
        }
        if (isa::decode(*encoded, type).command != &c) {
            std::fprintf(stderr, "%s: does not decode to itself\n", name.c_str());
            ++failures;
            continue;
        }

        size_t sink = 0;
        double t0 = ThreadCpuNs();
        for (int r = 0; r < rounds; ++r) {
            const auto result = isa::encode(c, values, uint8_t(r & 31));
            sink += result.index();
        }
        double t1 = ThreadCpuNs();
        for (int r = 0; r < rounds; ++r) sink += isa::decode(*encoded, type).values.entries().size();
        double t2 = ThreadCpuNs();
        if (sink == 0 && !c.fields.empty()) std::fprintf(stderr, "%s: nothing decoded\n", name.c_str());

        const double e = (t1 - t0) / rounds, d = (t2 - t1) / rounds;
        encodeNs += e;
        decodeNs += d;
        if (e > worstEncode) worstEncode = e, worstEncodeName = name;
        if (d > worstDecode) worstDecode = d, worstDecodeName = name;
    }
    const double n = double(table.size());
    std::printf("commands          %zu\n", table.size());
    std::printf("encode, mean      %8.0f ns per instruction\n", encodeNs / n);
    std::printf("encode, slowest   %8.0f ns (%s)\n", worstEncode, worstEncodeName.c_str());
    std::printf("decode, mean      %8.0f ns per instruction\n", decodeNs / n);
    std::printf("decode, slowest   %8.0f ns (%s)\n", worstDecode, worstDecodeName.c_str());
    std::printf("goal              %8d ns\n", 2000);
    return failures == 0 ? 0 : 1;
}
