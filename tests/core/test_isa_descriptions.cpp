// The description table checked as a whole, so that a wrong entry fails here
// with its command named instead of showing up later as a random failure far
// away: a module frame's command byte carries its data count in the high
// nibble, codes, places and field ids are unique, every command has its
// reference summary, every choice item its own id, every default lies inside
// its range, and every field writes inside its instruction.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "isa/CommandReference.h"
#include "isa/Describe.h"

namespace {

using isa::CommandDesc;
using isa::FieldDesc;
using isa::FieldKind;

std::string Name(const CommandDesc& c) { return std::string(isa::familyName(c.family)) + " " + c.name; }

TEST(Descriptions, ModuleFrameCommandBytesCarryTheirDataCount) {
    int frames = 0;
    for (const CommandDesc& c : isa::commandTable()) {
        SCOPED_TRACE(Name(c));
        // The line's command code is the instruction's byte 2.
        EXPECT_EQ(c.layout.commandByte, c.code);
        if (c.framing != isa::Framing::Module) continue;
        ++frames;
        EXPECT_EQ(c.layout.commandByte >> 4, c.layout.dataCount);
        EXPECT_EQ(c.layout.data.size(), size_t(c.layout.dataCount));
        if (c.hasAlternate) {
            EXPECT_EQ(c.alternate.commandByte >> 4, c.alternate.dataCount);
            EXPECT_EQ(c.alternate.data.size(), size_t(c.alternate.dataCount));
        }
    }
    EXPECT_EQ(frames, 7 + 7 + 3);   // servo, stepper, I/O module frames
}

TEST(Descriptions, CodesPlacesNamesAndFieldIdsAreUnique) {
    std::map<isa::Family, std::set<int>> codes, places;
    std::map<isa::Family, std::set<std::string>> names;
    std::map<isa::Family, int> counts;
    for (const CommandDesc& c : isa::commandTable()) {
        SCOPED_TRACE(Name(c));
        EXPECT_TRUE(codes[c.family].insert(c.code).second) << "code " << int(c.code) << " twice in the family";
        EXPECT_TRUE(places[c.family].insert(c.index).second) << "place " << c.index << " twice in the family";
        EXPECT_TRUE(names[c.family].insert(c.name).second);
        ++counts[c.family];
        std::set<std::string> ids;
        for (const FieldDesc& f : c.fields) {
            EXPECT_EQ(f.id.empty(), f.kind == FieldKind::Label) << f.caption;
            if (!f.id.empty()) {
                EXPECT_TRUE(ids.insert(f.id).second) << "field id " << f.id << " twice";
            }
        }
        // Every field a description names by id is one of its own.
        for (const FieldDesc& f : c.fields) {
            if (!f.gate.field.empty()) {
                EXPECT_NE(c.field(f.gate.field), nullptr) << f.id << " gated by " << f.gate.field;
            }
            if (!f.gate.other.empty()) {
                EXPECT_NE(c.field(f.gate.other), nullptr) << f.id << " gated by " << f.gate.other;
            }
        }
        // A check group that needs a box checked has boxes in it.
        if (!c.groupField.empty()) {
            EXPECT_TRUE(std::any_of(c.fields.begin(), c.fields.end(), [](const FieldDesc& f) { return f.group != 0; }))
                << c.groupField;
        }
        if (c.hasAlternate) {
            const FieldDesc* sw = c.field(c.alternateSwitch);
            ASSERT_NE(sw, nullptr) << c.alternateSwitch;
            EXPECT_EQ(sw->kind, FieldKind::Check);
        }
    }
    // The places in each command box run 0, 1, 2, ... without a gap.
    for (isa::Family family : isa::kFamilies) {
        ASSERT_FALSE(places[family].empty());
        EXPECT_EQ(*places[family].begin(), 0) << isa::familyName(family);
        EXPECT_EQ(*places[family].rbegin(), counts[family] - 1) << isa::familyName(family);
    }
}

TEST(Descriptions, EveryCommandHasItsReferenceSummaryRowAndEveryRowACommand) {
    const auto& reference = CommandReference();
    ASSERT_EQ(reference.size(), isa::commandTable().size());
    for (const CommandRef& r : reference) EXPECT_FALSE(r.summary.empty()) << r.family << " " << r.name;
    std::set<std::pair<std::string, std::string>> rows;
    for (const auto& row : SummarisedCommands()) {
        EXPECT_TRUE(rows.insert(row).second) << "two summaries of " << row.first << " " << row.second;
        bool found = false;
        for (const CommandRef& r : reference) found = found || (r.family == row.first && r.name == row.second);
        EXPECT_TRUE(found) << "a summary of no command: " << row.first << " " << row.second;
    }
}

TEST(Descriptions, ChoiceItemsHaveUniqueIdsAndCaptions) {
    int items = 0;
    for (const CommandDesc& c : isa::commandTable())
        for (const FieldDesc& f : c.fields) {
            if (!f.isChoice()) {
                EXPECT_TRUE(f.items.empty()) << Name(c) << " " << f.id;
                continue;
            }
            SCOPED_TRACE(Name(c) + " " + f.id);
            EXPECT_FALSE(f.items.empty());
            std::set<std::string> ids, captions;
            for (const isa::ChoiceItem& item : f.items) {
                ++items;
                EXPECT_FALSE(item.id.empty()) << item.caption;
                EXPECT_TRUE(ids.insert(item.id).second) << "item id " << item.id << " twice";
                EXPECT_TRUE(captions.insert(item.caption).second) << "item " << item.caption << " twice";
            }
        }
    EXPECT_GT(items, 50);
}

TEST(Descriptions, DefaultsLieInsideTheirRanges) {
    for (const CommandDesc& c : isa::commandTable())
        for (const FieldDesc& f : c.fields) {
            SCOPED_TRACE(Name(c) + " " + f.id);
            const isa::Value& v = f.initial;
            switch (f.kind) {
                case FieldKind::Number:
                    EXPECT_LE(f.min, f.max);
                    EXPECT_TRUE(f.width == 1 || f.width == 2 || f.width == 4) << int(f.width);
                    for (int only : f.only) EXPECT_TRUE(only >= f.min && only <= f.max) << only;
                    if (v.isNone()) break;
                    ASSERT_EQ(v.type(), isa::Value::Type::Int);
                    EXPECT_GE(v.asInt(), f.min);
                    EXPECT_LE(v.asInt(), f.max);
                    if (!f.only.empty()) {
                        EXPECT_NE(std::find(f.only.begin(), f.only.end(), v.asInt()), f.only.end());
                    }
                    break;
                case FieldKind::Check: EXPECT_EQ(v.type(), isa::Value::Type::Bool); break;
                case FieldKind::Choice:
                case FieldKind::Condition:
                    ASSERT_EQ(v.type(), isa::Value::Type::Int);
                    EXPECT_GE(v.asInt(), -1);
                    EXPECT_LT(v.asInt(), (long long)f.items.size());
                    EXPECT_GE(f.encodeNone, -1);
                    EXPECT_LT(f.encodeNone, int(f.items.size()));
                    EXPECT_GE(f.decodeNone, -1);
                    EXPECT_LT(f.decodeNone, int(f.items.size()));
                    // A choice left empty is either refused or given an item.
                    if (v.asInt() < 0) {
                        EXPECT_TRUE(!f.noneMessage.empty() || f.encodeNone >= 0 || f.gate.kind != isa::Gate::Always);
                    }
                    break;
                case FieldKind::Text:
                case FieldKind::Target:
                    ASSERT_EQ(v.type(), isa::Value::Type::Text);
                    EXPECT_LE(v.asText().size(), size_t(f.maxChars));
                    EXPECT_GT(f.maxChars, 0);
                    break;
                case FieldKind::Label: EXPECT_TRUE(v.isNone()); break;
            }
        }
}

// Every byte a field writes or tests lies among the data bytes of its layout
// (bytes 3 on; a module frame's checksum and trailer follow them).
TEST(Descriptions, FieldsWriteInsideTheirInstruction) {
    for (const CommandDesc& c : isa::commandTable()) {
        if (c.layout.dataCount < 0) continue;   // Print: as long as its text
        for (const FieldDesc& f : c.fields) {
            SCOPED_TRACE(Name(c) + " " + f.id);
            for (int layout = 0; layout < (c.hasAlternate ? 2 : 1); ++layout) {
                const int at = layout == 0 ? f.at : f.altAt;
                const int end = 3 + (layout == 0 ? c.layout.dataCount : c.alternate.dataCount);
                if (at < 0) continue;
                EXPECT_GE(at, 3) << "layout " << layout;
                int last = at;
                if (f.kind == FieldKind::Number) last = at + f.width - 1;
                if (f.kind == FieldKind::Target) last = at + 1;
                if (f.kind == FieldKind::Text) last = at + f.maxChars - 1;
                auto touch = [&](int offset) { last = std::max(last, at + offset); };
                for (const isa::Effect& e : f.effects) touch(e.at);
                for (const isa::Test& t : f.tests) touch(t.at);
                for (const isa::ChoiceItem& item : f.items) {
                    for (const isa::Effect& e : item.effects) touch(e.at);
                    for (const isa::Test& t : item.tests) touch(t.at);
                }
                EXPECT_LT(last, end) << "layout " << layout << ": byte " << last << " of " << end;
            }
        }
        const int patch = c.patchOffset();
        if (patch > 0) {
            EXPECT_LE(patch + 2, 3 + c.layout.dataCount) << Name(c);
        }
    }
}

}  // namespace

