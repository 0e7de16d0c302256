#pragma once
// Helpers of the family tests that go through the codec: a command's field
// values given by field id, as program text names them, and what encoding and
// decoding give, as bytes and as short texts.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "isa/Codec.h"
#include "isa/Describe.h"
#include "program/ProgramLine.h"

namespace codec {

using Bytes = std::vector<uint8_t>;

// One field: an edit's text, "1" or "0" for a check box, a choice's item id
// or index ("-1": none).
struct Field {
    const char* id;
    std::string value;
};

inline const isa::CommandDesc& Command(isa::Family family, int index) {
    const isa::CommandDesc* c = isa::commandAt(family, index);
    EXPECT_NE(c, nullptr) << int(family) << " " << index;
    return c ? *c : isa::commandTable().front();
}

inline isa::FieldValues Values(const isa::CommandDesc& c, const std::vector<Field>& fields) {
    isa::FieldValues v;
    for (const Field& f : fields) {
        const isa::FieldDesc* d = c.field(f.id);
        if (!d) {
            ADD_FAILURE() << c.name << " has no field " << f.id;
            continue;
        }
        const bool index = !f.value.empty() && (f.value[0] == '-' || (f.value[0] >= '0' && f.value[0] <= '9'));
        if (d->kind == isa::FieldKind::Check) v.set(f.id, isa::Value::ofBool(f.value == "1"));
        else if (d->isChoice() && index) v.set(f.id, isa::Value::ofInt(std::stoi(f.value)));
        else v.set(f.id, isa::Value::ofText(f.value));
    }
    return v;
}

// The instruction's bytes; empty when refused.
inline Bytes BytesOf(const isa::EncodeResult& r) {
    const isa::Encoded* e = std::get_if<isa::Encoded>(&r);
    return e ? Bytes(e->bytes.begin(), e->bytes.begin() + e->length) : Bytes();
}

// The refusal's messages; none when it was built.
inline std::vector<std::string> MessagesOf(const isa::EncodeResult& r) {
    const isa::Refusal* refusal = std::get_if<isa::Refusal>(&r);
    return refusal ? refusal->messages : std::vector<std::string>();
}

// What the panel shows after loading, as text: edits "id=text" (empty ones
// left out), checked boxes "id", chosen items "id=item".
inline std::string Shown(const isa::Decoded& d) {
    std::string out;
    if (!d.command) return "(nothing)";
    for (const auto& [id, value] : d.values.entries()) {
        const isa::FieldDesc& f = *d.command->field(id);
        std::string word;
        if (f.kind == isa::FieldKind::Check) word = value.asBool() ? id : "";
        else if (f.isChoice()) word = value.asInt() >= 0 ? id + "=" + f.items[size_t(value.asInt())].id : "";
        else if (!value.shown().empty()) word = id + "=" + value.shown();
        if (!word.empty()) out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

inline isa::Encoded Stored(uint8_t code, const Bytes& bytes, const std::string& gotoLabel = "") {
    isa::Encoded e;
    for (size_t i = 0; i < bytes.size() && i < e.bytes.size(); ++i) e.bytes[i] = bytes[i];
    e.length = uint8_t(bytes.size());
    e.commandCode = code;
    e.gotoLabel = gotoLabel;
    return e;
}

// The program line that holds an instruction, for its listing text and
// Execute Now length.
inline ProgramLine LineOf(const isa::Encoded& e, int module) {
    ProgramLine l{};
    std::memcpy(l.bytes, e.bytes.data(), sizeof l.bytes);
    l.length = e.length;
    l.commandCode = e.commandCode;
    l.patchOffset = e.patchOffset;
    l.setGotoLabel(e.gotoLabel);
    l.moduleAddress = uint8_t(module);
    return l;
}

// An instruction built, decoded and built again from what decoding gives:
// the same instruction.
inline void ExpectRebuilds(const isa::CommandDesc& c, const isa::Encoded& e, uint8_t address) {
    const isa::Decoded d = isa::decode(e, isa::typeOfFamily(c.family));
    ASSERT_EQ(d.command, &c);
    const isa::EncodeResult again = isa::encode(c, d.values, address);
    EXPECT_EQ(BytesOf(again), Bytes(e.bytes.begin(), e.bytes.begin() + e.length));
    const isa::Encoded* e2 = std::get_if<isa::Encoded>(&again);
    ASSERT_NE(e2, nullptr);
    EXPECT_EQ(e2->gotoLabel, e.gotoLabel);
    EXPECT_EQ(e2->patchOffset, e.patchOffset);
}

}  // namespace codec
