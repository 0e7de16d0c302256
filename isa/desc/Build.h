#pragma once
// Helpers for writing the command descriptions of isa/desc/: one short call
// per field, and the If-GoTo and WaitFor commands that the three module
// families share.

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "isa/Describe.h"

namespace isa::desc {

constexpr long long kMinPosition = INT_MIN + 2LL;   // position fields start here, not at INT_MIN
constexpr long long kMaxLong = INT_MAX;
constexpr int kMaxTime = 60000;                     // hundredths of a second
inline constexpr const char* kTimeUnit = "hundredths of a second";

// Offsets shared by the If-GoTo and WaitFor layouts.
constexpr int kDataStart = 3;
constexpr int kIfGoToTarget = 3, kIfGoToCondition = 5;
constexpr int kWaitForCondition = 9, kWaitForTimeout = 12, kWaitForTarget = 14;
constexpr int kIfGoToData = 5, kWaitForData = 13;

inline Effect Or(uint8_t bits, int at = 0) { return {Op::Or, at, bits}; }
inline Effect ClearBits(uint8_t bits, int at = 0) { return {Op::Clear, at, bits}; }
inline Effect Xor(uint8_t bits, int at) { return {Op::Xor, at, bits}; }
inline Effect Put(int at, uint8_t value) { return {Op::Put, at, value}; }
inline Effect Append(uint8_t value) { return {Op::Append, 0, value}; }
inline Test Eq(int at, uint8_t mask, uint8_t value) { return {at, mask, value, true}; }
inline Test Ne(int at, uint8_t mask, uint8_t value) { return {at, mask, value, false}; }

inline CommandDesc Command(Family family, int index, std::string name, uint8_t code, Framing framing,
                           std::string classText, int dataCount, std::vector<uint8_t> data = {}) {
    CommandDesc c;
    c.family = family;
    c.index = index;
    c.name = std::move(name);
    c.code = code;
    c.framing = framing;
    c.classText = std::move(classText);
    c.layout.commandByte = code;
    c.layout.dataCount = dataCount;
    if (dataCount > 0) data.resize(size_t(dataCount), 0);
    c.layout.data = std::move(data);
    return c;
}

inline CommandDesc& Listed(CommandDesc& c, ListingRule rule, std::string text = "") {
    c.listing = rule;
    c.listingText = std::move(text);
    return c;
}

inline FieldDesc Number(std::string id, std::string caption, int at, int width, long long min, long long max,
                        Value initial = {}, std::string unit = "") {
    FieldDesc f;
    f.id = std::move(id);
    f.caption = std::move(caption);
    f.kind = FieldKind::Number;
    f.at = at;
    f.width = uint8_t(width);
    f.min = min;
    f.max = max;
    f.initial = std::move(initial);
    f.unit = std::move(unit);
    return f;
}

// An edit in hundredths of a second, 0 to 60000, two bytes.
inline FieldDesc Time(std::string id, std::string caption, int at) {
    return Number(std::move(id), std::move(caption), at, 2, 0, kMaxTime, {}, kTimeUnit);
}

inline FieldDesc Check(std::string id, std::string caption, int at, std::vector<Effect> effects,
                       std::vector<Test> tests, bool initial = false) {
    FieldDesc f;
    f.id = std::move(id);
    f.caption = std::move(caption);
    f.kind = FieldKind::Check;
    f.at = at;
    f.effects = std::move(effects);
    f.tests = std::move(tests);
    f.initial = Value::ofBool(initial);
    return f;
}

// A check box that sets bits of the byte at `at` and shows checked when any of them is set.
inline FieldDesc Flag(std::string id, std::string caption, int at, uint8_t bits, bool initial = false) {
    return Check(std::move(id), std::move(caption), at, {Or(bits)}, {Ne(0, bits, 0)}, initial);
}

inline FieldDesc Target(std::string caption, int at) {
    FieldDesc f;
    f.id = "->";
    f.caption = std::move(caption);
    f.kind = FieldKind::Target;
    f.at = at;
    f.maxChars = kTextChars;
    f.initial = Value::ofText("");
    return f;
}

inline FieldDesc Heading(std::string caption) {
    FieldDesc f;
    f.caption = std::move(caption);
    f.kind = FieldKind::Label;
    return f;
}

inline ChoiceItem Item(std::string id, std::string caption, std::vector<Effect> effects, std::vector<Test> tests = {}) {
    return ChoiceItem{std::move(id), std::move(caption), std::move(effects), std::move(tests)};
}

inline FieldDesc Choice(std::string id, std::string caption, FieldKind kind, int at, std::vector<ChoiceItem> items,
                        int initial) {
    FieldDesc f;
    f.id = std::move(id);
    f.caption = std::move(caption);
    f.kind = kind;
    f.at = at;
    f.items = std::move(items);
    f.initial = Value::ofInt(initial);
    return f;
}

// A radio group of stop modes whose items set bits of the byte at `at`; the
// first item whose bit is set is shown.
inline FieldDesc StopModes(int at, std::vector<std::pair<const char*, uint8_t>> modes, int decodeNone) {
    static const char* const kIds[][2] = {{"Motor Off", "motor-off"},
                                          {"Stop Abruptly", "stop-abruptly"},
                                          {"Stop Smoothly", "stop-smoothly"}};
    std::vector<ChoiceItem> items;
    for (const auto& [caption, bits] : modes) {
        std::string id;
        for (const auto& names : kIds)
            if (std::string(caption) == names[0]) id = names[1];
        items.push_back(Item(id, caption, {Or(bits)}, {Ne(0, bits, 0)}));
    }
    FieldDesc f = Choice("stop-mode", "Stop Mode ", FieldKind::Choice, at, std::move(items), 0);
    f.decodeNone = decodeNone;
    return f;
}

inline FieldDesc Gated(FieldDesc f, Gate::Kind kind, std::string field, std::string other = "", int item = -1) {
    f.gate.kind = kind;
    f.gate.field = std::move(field);
    f.gate.other = std::move(other);
    f.gate.item = item;
    return f;
}

// One status bit of a module as a pair of conditions: set (value = mask),
// then clear (value 0).  The set item shows for any nonzero compare value.
struct ConditionBit {
    const char* setId;
    const char* setCaption;
    const char* clearId;
    const char* clearCaption;
    uint8_t selector;
    uint8_t mask;
};

// The condition box items of a motor family; testSelector: whether the
// selector byte tells the items apart (the stepper's two status bytes).
inline std::vector<ChoiceItem> ConditionItems(const std::vector<ConditionBit>& bits, bool testSelector) {
    std::vector<ChoiceItem> items;
    for (const ConditionBit& b : bits) {
        std::vector<Test> set = {Eq(2, 0xFF, b.mask), Ne(1, 0xFF, 0)};
        std::vector<Test> clear = {Eq(2, 0xFF, b.mask), Eq(1, 0xFF, 0)};
        if (testSelector) {
            set.push_back(Eq(0, 0xFF, b.selector));
            clear.push_back(Eq(0, 0xFF, b.selector));
        }
        items.push_back(Item(b.setId, b.setCaption, {Put(0, b.selector), Put(1, b.mask), Put(2, b.mask)}, set));
        items.push_back(Item(b.clearId, b.clearCaption, {Put(0, b.selector), Put(1, 0), Put(2, b.mask)}, clear));
    }
    return items;
}

inline FieldDesc ConditionBox(const char* caption, int at, std::vector<ChoiceItem> items) {
    FieldDesc f = Choice("condition", caption, FieldKind::Condition, at, std::move(items), -1);
    f.noneMessage = "Choose a condition.";
    return f;
}

// If-GoTo and WaitFor of the servo and stepper families: master
// instructions that test the module's status, with the condition box.
inline CommandDesc MotorIfGoTo(Family family, int index, const std::vector<ChoiceItem>& conditions) {
    CommandDesc c = Command(family, index, "If-GoTo", 3, Framing::Master, "Master", kIfGoToData);
    c.fields = {Target("GoTo Label", kIfGoToTarget),
                ConditionBox("Select a GoTo Condition:", kIfGoToCondition, conditions)};
    Listed(c, ListingRule::TextTarget, "If-GoTo ");
    return c;
}

inline CommandDesc MotorWaitFor(Family family, int index, const std::vector<ChoiceItem>& conditions, uint8_t items,
                                uint8_t trailer) {
    CommandDesc c = Command(family, index, "WaitFor", 10, Framing::Master, "Master", kWaitForData);
    c.statusRequest = true;
    c.requestItems = items;
    c.requestTrailer = trailer;
    c.fields = {Time("timeout", "Timeout (.01 sec)", kWaitForTimeout), Target("GoTo on Timeout", kWaitForTarget),
                ConditionBox("Select a WaitFor Condition:", kWaitForCondition, conditions)};
    Listed(c, ListingRule::WaitFor);
    return c;
}

// The descriptions of each family, in command box order.
std::vector<CommandDesc> MasterCommands();
std::vector<CommandDesc> ServoCommands();
std::vector<CommandDesc> StepperCommands();
std::vector<CommandDesc> IoCommands();

}  // namespace isa::desc
