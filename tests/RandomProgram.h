#pragma once
// Random programs as the builder makes them: every command of every family on
// the default network, in-range field values, labels and jumps.

#include <cstring>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "isa/Codec.h"
#include "isa/Vocabulary.h"
#include "program/ProgramLine.h"

// The simulator's default network: servo, servo, I/O, stepper.
inline const std::vector<int> kDefaultNetwork = {kTypeMaster, kTypeServo, kTypeServo, kTypeIo, kTypeStepper};

inline isa::Value RandomValue(std::mt19937& rng, const isa::FieldDesc& f) {
    switch (f.kind) {
        case isa::FieldKind::Number: {
            if (!f.only.empty()) return isa::Value::ofInt(f.only[rng() % f.only.size()]);
            return isa::Value::ofInt(f.min + (long long)(rng() % uint64_t(f.max - f.min + 1)));
        }
        case isa::FieldKind::Check: return isa::Value::ofBool(rng() % 2);
        case isa::FieldKind::Choice:
        case isa::FieldKind::Condition: return isa::Value::ofInt(int(rng() % f.items.size()));
        case isa::FieldKind::Text: {
            std::string t;
            for (int k = int(rng() % uint32_t(f.maxChars + 1)); k > 0; --k) t += char(32 + rng() % 224);
            return isa::Value::ofText(t);
        }
        default: return isa::Value();
    }
}

// A program of count random instructions of every command on kDefaultNetwork;
// the first targets lines labelled, jumps to one of them or "NULL".
inline std::vector<ProgramLine> RandomProgram(std::mt19937& rng, int count, int targets = 0) {
    if (targets <= 0) targets = count;
    std::vector<ProgramLine> lines;
    const auto& table = isa::commandTable();
    while (int(lines.size()) < count) {
        const isa::CommandDesc& c = table[rng() % table.size()];
        std::vector<uint8_t> addresses;
        for (int a = 0; a < int(kDefaultNetwork.size()); ++a) {
            isa::Family f;
            if (isa::familyOfType(kDefaultNetwork[size_t(a)], f) && f == c.family) addresses.push_back(uint8_t(a));
        }
        const uint8_t address = addresses[rng() % addresses.size()];
        isa::FieldValues v;
        for (const isa::FieldDesc& f : c.fields)
            if (f.holdsValue() && f.kind != isa::FieldKind::Target) v.append(f.id, RandomValue(rng, f));
        const std::string target = rng() % 5 == 0 ? "NULL" : "J" + std::to_string(rng() % targets);
        for (const isa::FieldDesc& f : c.fields)
            if (f.kind == isa::FieldKind::Target) v.append(f.id, isa::Value::ofText(target));
        const isa::EncodeResult r = isa::encode(c, v, address);
        const isa::Encoded* e = std::get_if<isa::Encoded>(&r);
        if (!e) continue;
        ProgramLine l;
        std::memset(&l, 0, sizeof l);
        std::memcpy(l.bytes, e->bytes.data(), e->length);
        l.length = e->length;
        l.commandCode = e->commandCode;
        l.patchOffset = e->patchOffset;
        l.moduleAddress = address;
        l.setGotoLabel(e->gotoLabel);
        if (int(lines.size()) < targets) l.setLabel("J" + std::to_string(lines.size()));
        lines.push_back(l);
    }
    return lines;
}

