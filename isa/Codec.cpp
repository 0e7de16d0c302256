// Encode, decode and listing over the command descriptions.  Encoding goes in
// the builder's order: a choice or check group with nothing chosen is refused
// first, then the numbers are read in their reading order (the first refused
// ends the build), and only then are the bytes written, field by field.
// Decoding goes the loader's way: the panel's defaults, then the choices
// (whose inverting effects are undone), then every other field from its bytes.

#include "isa/Codec.h"

#include <cstdio>

#include "isa/Vocabulary.h"

namespace isa {

namespace {

constexpr int kDataStart = 3;
constexpr int kMaxData = kInstructionBytes - kDataStart;   // data bytes a record can hold
constexpr int kMaxNumberChars = 39;                        // a numeric edit's buffer
constexpr uint8_t kCarriageReturn = 13, kLineFeed = 10;
constexpr int kMaxGroups = 4;

const char* const kInvalidNumber = "Invalid numeric value";
const char* const kOutOfRange = "Value out of range";

// White space as "%d" skips it in the C locale.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Format(const char* format, long long a, long long b = 0) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

// A goto-label as the record keeps it: 15 characters, up to the first NUL.
std::string GotoText(std::string_view text) {
    text = text.substr(0, kTextChars);
    return std::string(text.substr(0, text.find('\0')));
}

bool Holds(const Test& t, const uint8_t* at) {
    const bool equal = (at[t.at] & t.mask) == t.value;
    return equal == t.equal;
}

bool HoldsAll(const std::vector<Test>& tests, const uint8_t* at) {
    for (const Test& t : tests)
        if (!Holds(t, at)) return false;
    return true;
}

void Apply(const Effect& e, uint8_t* at) {
    uint8_t& b = at[e.at];
    switch (e.op) {
        case Op::Or: b = uint8_t(b | e.value); break;
        case Op::Clear: b = uint8_t(b & ~e.value); break;
        case Op::Xor: b = uint8_t(b ^ e.value); break;
        case Op::Put: b = e.value; break;
        case Op::Append: break;   // written where the data ends
    }
}

bool Appends(const FieldDesc& f) { return !f.effects.empty() && f.effects[0].op == Op::Append; }

// The byte a field works on in the layout in use; -1 when it has none there.
int PlaceOf(const FieldDesc& f, bool alternate) { return alternate ? f.altAt : f.at; }

// Print's data bytes as stored, whatever byte 1 claims beyond the record.
int StoredDataCount(const uint8_t* b) { return b[1] <= kMaxData ? b[1] : kMaxData; }

Refusal Refuse(std::string field, std::string message) { return Refusal{std::move(field), {std::move(message)}}; }

// The values of one build, checked against the command's fields.
class Build {
public:
    Build(const CommandDesc& c, const FieldValues& given) : c_(c) {
        for (size_t i = 0; i < c.fields.size() && i < size_t(kMaxFields); ++i) values_[i] = &c.fields[i].initial;
        for (const auto& [id, value] : given.entries()) {
            const int i = c.fieldIndex(id);
            if (i < 0 || i >= kMaxFields) {
                refuse(Refuse(id, c.name + " has no field '" + id + "'"));
                return;
            }
            values_[i] = &value;
            checkType(c.fields[size_t(i)], value);
        }
    }

    bool refused() const { return refused_; }
    Refusal takeRefusal() { return std::move(refusal_); }

    const Value& value(int i) const { return *values_[i]; }
    bool checked(int i) const { return i >= 0 && value(i).type() == Value::Type::Bool && value(i).asBool(); }
    bool checked(std::string_view id) const { return checked(c_.fieldIndex(id)); }

    // The chosen item, -1 for none (an index outside the items is none, as
    // in the panel's record).
    int chosen(int i) const {
        if (i < 0) return -1;
        const Value& v = value(i);
        const auto& items = c_.fields[size_t(i)].items;
        if (v.type() == Value::Type::Int) return v.asInt() >= 0 && v.asInt() < (long long)items.size() ? int(v.asInt()) : -1;
        if (v.type() == Value::Type::Text)
            for (size_t k = 0; k < items.size(); ++k)
                if (items[k].id == v.asText()) return int(k);
        return -1;
    }

    bool gateOpen(const FieldDesc& f) const {
        switch (f.gate.kind) {
            case Gate::Always: return true;
            case Gate::IfChecked: return checked(f.gate.field);
            case Gate::UnlessChecked: return !checked(f.gate.field) && !checked(f.gate.other);
            case Gate::IfItem: return chosen(c_.fieldIndex(f.gate.field)) == f.gate.item;
        }
        return true;
    }

    void refuse(Refusal r) {
        if (refused_) return;
        refused_ = true;
        refusal_ = std::move(r);
    }

private:
    void checkType(const FieldDesc& f, const Value& v) {
        using T = Value::Type;
        const T t = v.type();
        switch (f.kind) {
            case FieldKind::Number:
                if (t == T::Bool) refuse(Refuse(f.id, "'" + f.id + "' takes a number"));
                break;
            case FieldKind::Check:
                if (t != T::Bool) refuse(Refuse(f.id, "'" + f.id + "' is a check box: checked or not"));
                break;
            case FieldKind::Choice:
            case FieldKind::Condition:
                if (t == T::Text) {
                    bool known = false;
                    for (const ChoiceItem& item : f.items) known = known || item.id == v.asText();
                    if (!known) refuse(Refuse(f.id, "'" + f.id + "' has no item '" + v.asText() + "'"));
                } else if (t != T::Int && t != T::None) {
                    refuse(Refuse(f.id, "'" + f.id + "' takes an item"));
                }
                break;
            case FieldKind::Text:
            case FieldKind::Target:
                if (t != T::Text && t != T::None) refuse(Refuse(f.id, "'" + f.id + "' takes a text"));
                break;
            case FieldKind::Label: break;
        }
    }

    const CommandDesc& c_;
    const Value* values_[kMaxFields] = {};
    bool refused_ = false;
    Refusal refusal_;
};

// A number field's value by the numeric field rule; nullptr or the message.
const char* ReadValue(const Value& v, long long min, long long max, long long& out) {
    switch (v.type()) {
        case Value::Type::Int:
            out = v.asInt();
            return out < min || out > max ? kOutOfRange : nullptr;
        case Value::Type::Text: return readNumber(v.asText(), min, max, out);
        default: return kInvalidNumber;
    }
}

void PutNumber(const FieldDesc& f, long long v, uint8_t* p) {
    if (f.transform == Transform::Counter) v = 2 * (v - 1);
    if (f.transform == Transform::Baud)
        for (const BaudRateCode& b : kBaudRateCodes)
            if (b.rate == v) v = b.code;
    const uint32_t u = uint32_t(v);
    for (int i = 0; i < f.width; ++i) p[i] = uint8_t((u >> (8 * i)) & 0xFF);
}

Value GetNumber(const FieldDesc& f, const uint8_t* p) {
    long long v = 0;
    switch (f.width) {
        case 1: v = p[0]; break;
        case 2: v = GetU16(p); break;
        default: v = GetI32(p); break;
    }
    if (f.transform == Transform::Counter) return Value::ofInt(v / 2 + 1);
    if (f.transform == Transform::Baud) {
        for (const BaudRateCode& b : kBaudRateCodes)
            if (b.code == v) return Value::ofInt(b.rate);
        return f.initial;   // an unknown code leaves the default rate
    }
    return Value::ofInt(v);
}

// The first item whose tests hold at p, else the field's decodeNone.
int ItemAt(const FieldDesc& f, const uint8_t* p) {
    for (size_t k = 0; k < f.items.size(); ++k)
        if (HoldsAll(f.items[k].tests, p)) return int(k);
    return f.decodeNone;
}

const CommandDesc* RowCommand(const Encoded& in, int moduleType) {
    const bool master = in.bytes[0] == kMasterMarker;
    Family family = Family::Master;
    if (!master && !familyOfType(moduleType, family)) return nullptr;
    for (const CommandDesc& c : commandTable()) {
        if (c.code != in.commandCode) continue;
        if (master ? c.framing == Framing::Master : c.framing == Framing::Module && c.family == family) return &c;
    }
    return nullptr;
}

}  // namespace

const char* readNumber(std::string_view full, long long min, long long max, long long& value) {
    const std::string_view text = full.substr(0, kMaxNumberChars);
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return kInvalidNumber;
    constexpr long long kCap = 1LL << 40;   // past any range: digits keep being read, the value stays out of range
    long long v = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) v = v < kCap ? v * 10 + (text[i] - '0') : kCap;
    if (negative) v = -v;
    if (v < min || v > max) return kOutOfRange;
    value = v;
    return nullptr;
}

EncodeResult encode(const CommandDesc& c, const FieldValues& values, uint8_t address) {
    Build build(c, values);
    if (build.refused()) return build.takeRefusal();
    const int fieldCount = int(c.fields.size()) < kMaxFields ? int(c.fields.size()) : kMaxFields;

    // Nothing chosen where something must be.
    if (!c.groupField.empty()) {
        bool any = false;
        for (int i = 0; i < fieldCount; ++i) any = any || (c.fields[size_t(i)].group != 0 && build.checked(i));
        if (!any) return Refuse(c.groupField, c.groupMessage);
    }
    for (int i = 0; i < fieldCount; ++i) {
        const FieldDesc& f = c.fields[size_t(i)];
        if (f.isChoice() && !f.noneMessage.empty() && build.chosen(i) < 0) return Refuse(f.id, f.noneMessage);
    }

    const bool alternate = c.hasAlternate && build.checked(c.alternateSwitch);
    const Layout& layout = alternate ? c.alternate : c.layout;

    // The numbers, in reading order.
    long long numbers[kMaxFields] = {};
    for (int i : c.numberOrder) {
        const FieldDesc& f = c.fields[size_t(i)];
        if (PlaceOf(f, alternate) < 0 || !build.gateOpen(f)) continue;
        long long v = 0;
        if (const char* message = ReadValue(build.value(i), f.min, f.max, v)) {
            Refusal r = Refuse(f.id, message);
            if (!f.onlyMessage.empty()) r.messages.push_back(f.onlyMessage);
            return r;
        }
        if (!f.only.empty()) {
            bool taken = false;
            for (int allowed : f.only) taken = taken || allowed == v;
            if (!taken) return Refuse(f.id, f.onlyMessage);
        }
        numbers[i] = v;
    }

    Encoded e;
    e.commandCode = c.code;
    uint8_t* b = e.bytes.data();
    const bool master = c.framing == Framing::Master;
    b[0] = master ? kMasterMarker : kFrameHeader;
    b[1] = master ? uint8_t(layout.dataCount < 0 ? 0 : layout.dataCount) : address;
    b[2] = layout.commandByte;
    for (size_t i = 0; i < layout.data.size() && i < size_t(kMaxData); ++i) b[kDataStart + i] = layout.data[i];
    if (c.addressAt >= 0) b[c.addressAt] = address;
    if (c.statusRequest) PutStatusRequest(b + kDataStart, address, c.requestItems, c.requestTrailer);

    int firstOfGroup[kMaxGroups];
    for (int& g : firstOfGroup) g = -1;
    for (int i = fieldCount - 1; i >= 0; --i) {
        const int g = c.fields[size_t(i)].group;
        if (g > 0 && g < kMaxGroups && build.checked(i)) firstOfGroup[g] = i;
    }

    int appended = 0;   // data bytes of a command whose length follows its fields (Print)
    for (int i = 0; i < fieldCount; ++i) {
        const FieldDesc& f = c.fields[size_t(i)];
        const int p = PlaceOf(f, alternate);
        if (p < 0 || !build.gateOpen(f)) continue;
        uint8_t* at = b + p;
        switch (f.kind) {
            case FieldKind::Number: PutNumber(f, numbers[i], at); break;
            case FieldKind::Check:
                if (!build.checked(i)) break;
                if (f.group > 0 && f.group < kMaxGroups && firstOfGroup[f.group] != i) break;
                for (const Effect& effect : f.effects) {
                    if (effect.op == Op::Append) {
                        if (appended < kMaxData) b[kDataStart + appended++] = effect.value;
                    } else {
                        Apply(effect, at);
                    }
                }
                break;
            case FieldKind::Choice:
            case FieldKind::Condition: {
                int item = build.chosen(i);
                if (item < 0) item = f.encodeNone;
                if (item >= 0)
                    for (const Effect& effect : f.items[size_t(item)].effects) Apply(effect, at);
                break;
            }
            case FieldKind::Text: {
                const Value& v = build.value(i);
                const std::string_view text = v.type() == Value::Type::Text ? std::string_view(v.asText()) : "";
                if (f.transform == Transform::Key) {
                    *at = text.empty() ? 0 : uint8_t(text[0]);
                } else {
                    for (size_t k = 0; k < text.size() && int(k) < f.maxChars && appended < kMaxData; ++k)
                        b[kDataStart + appended++] = uint8_t(text[k]);
                }
                break;
            }
            case FieldKind::Target: {
                const Value& v = build.value(i);
                at[0] = at[1] = kNoTarget;
                e.patchOffset = uint8_t(p);
                e.gotoLabel = GotoText(v.type() == Value::Type::Text ? std::string_view(v.asText()) : "");
                break;
            }
            case FieldKind::Label: break;
        }
    }

    const int n = layout.dataCount < 0 ? appended : layout.dataCount;
    if (master) {
        b[1] = uint8_t(n);
        e.length = uint8_t(kDataStart + n);
    } else {
        b[kDataStart + n] = FrameChecksum(b, n);
        b[kDataStart + n + 1] = c.trailer;
        e.length = uint8_t(n + 5);
    }
    return e;
}

Decoded decode(const Encoded& in, int moduleType) {
    Decoded out;
    Family family;
    if (!familyOfType(moduleType, family)) return out;
    for (const CommandDesc& c : commandTable())
        if (c.family == family && c.code == in.commandCode) {
            out.command = &c;
            break;
        }
    if (!out.command) return out;
    const CommandDesc& c = *out.command;
    const int fieldCount = int(c.fields.size()) < kMaxFields ? int(c.fields.size()) : kMaxFields;

    std::array<uint8_t, kInstructionBytes> bytes = in.bytes;
    uint8_t* b = bytes.data();
    const bool alternate = c.hasAlternate && Holds(c.alternateTest, b);

    // Choices first: their items decide what the fields beside them show,
    // and an item's inverting effects are undone for the fields that follow.
    int chosen[kMaxFields];
    for (int i = 0; i < fieldCount; ++i) {
        const FieldDesc& f = c.fields[size_t(i)];
        chosen[i] = -1;
        if (!f.isChoice()) continue;
        const int p = PlaceOf(f, alternate);
        chosen[i] = p < 0 ? int(f.initial.asInt()) : ItemAt(f, b + p);
        if (p >= 0 && chosen[i] >= 0)
            for (const Effect& effect : f.items[size_t(chosen[i])].effects)
                if (effect.op == Op::Xor) Apply(effect, b + p);
    }

    const int printed = StoredDataCount(b);
    out.values.reserve(size_t(fieldCount));
    for (int i = 0; i < fieldCount; ++i) {
        const FieldDesc& f = c.fields[size_t(i)];
        if (!f.holdsValue()) continue;
        const int p = PlaceOf(f, alternate);
        const int choice = f.gate.kind == Gate::IfItem ? c.fieldIndex(f.gate.field) : -1;
        const bool shown = f.gate.kind != Gate::IfItem || (choice >= 0 && chosen[choice] == f.gate.item);
        Value v = f.initial;
        if (p < 0) {
            if (alternate && !f.altShows.isNone()) v = f.altShows;
        } else if (shown) {
            switch (f.kind) {
                case FieldKind::Number: v = GetNumber(f, b + p); break;
                case FieldKind::Check:
                    if (Appends(f)) {
                        bool found = false;
                        for (int k = 0; k < printed; ++k) found = found || b[kDataStart + k] == f.effects[0].value;
                        v = Value::ofBool(found);
                    } else {
                        v = Value::ofBool(HoldsAll(f.tests, b + p));
                    }
                    break;
                case FieldKind::Choice:
                case FieldKind::Condition: v = Value::ofInt(chosen[i]); break;
                case FieldKind::Text:
                    if (f.transform == Transform::Key) {
                        v = Value::ofText(b[p] == 0 ? std::string() : std::string(1, char(b[p])));
                    } else {
                        // The text ends at the first carriage return or line feed.
                        std::string text;
                        for (int k = 0; k < printed; ++k) {
                            const uint8_t ch = b[kDataStart + k];
                            if (ch == kCarriageReturn || ch == kLineFeed) break;
                            text += char(ch);
                        }
                        v = Value::ofText(std::move(text));
                    }
                    break;
                case FieldKind::Target: v = Value::ofText(GotoText(in.gotoLabel)); break;
                case FieldKind::Label: break;
            }
        }
        out.values.append(f.id, std::move(v));
    }
    return out;
}

std::string listingRow(const Encoded& in, int moduleType) {
    const CommandDesc* c = RowCommand(in, moduleType);
    if (!c) return std::string();
    const uint8_t* b = in.bytes.data();
    const std::string target = GotoText(in.gotoLabel);
    switch (c->listing) {
        case ListingRule::Text: return c->listingText;
        case ListingRule::TextTarget: return c->listingText + target;
        case ListingRule::TextTime: return c->listingText + Format("%lld", GetU16(b + 3));
        case ListingRule::Print: {
            std::string text = "Print '";
            for (int k = 0; k < StoredDataCount(b); ++k) text += char(b[kDataStart + k]);
            return text + "'";
        }
        case ListingRule::WaitFor: return "WaitFor [timeout->" + target + "]";
        case ListingRule::SetCounter: return Format("SetCounter %lld = %lld", b[5] / 2 + 1, GetU16(b + 3));
        case ListingRule::CountDown: return Format("CountDown %lld, LoopTo ", b[5] / 2 + 1) + target;
        case ListingRule::ChangeBaud:
            for (const BaudRateCode& r : kBaudRateCodes)
                if (r.code == b[3]) return Format("ChangeBaud %lld", r.rate);
            return std::string();
        case ListingRule::TextRelative: return c->listingText + ((b[3] & 0x01) ? " rel. Home" : "");
        case ListingRule::ServoStop: {
            std::string text = "Stop ";
            if (b[3] & 0x02) text += "- Motor Off";
            if (b[3] & 0x04) text += "Abruptly";
            if (b[3] & 0x08) text += "Smoothly";
            return text;
        }
        case ListingRule::StepStop:
            if (!(b[3] & 0x01)) return "Stop - Motor Off";
            if (b[3] & 0x04) return "Stop Abruptly";
            if (b[3] & 0x08) return "Stop Smoothly";
            return "Stop ";
        case ListingRule::ServoMove: {
            const char* sign = (b[3] & 0x40) ? "-" : "";
            if (!(b[3] & 0x10)) return std::string("Move - PWM ") + sign + Format("%lld", b[16]);
            if (b[3] & 0x20) return std::string("Move - Vel. ") + sign + Format("%lld", GetI32(b + 8));
            return Format("Move - Pos. %lld", GetI32(b + 4));
        }
        case ListingRule::StepMove:
            if (b[3] & 0x01) return Format("Move - Pos. %lld", GetI32(b + 4));
            return Format("Move - Vel. %lld", (b[3] & 0x10) ? -(long long)b[4] : (long long)b[4]);
    }
    return std::string();
}

std::string listingText(std::string_view label, uint8_t moduleAddress, const Encoded& in, int moduleType) {
    std::string text(label.substr(0, 8));
    text.resize(8, ' ');
    char address[8];
    std::snprintf(address, sizeof address, " %2X ", unsigned(moduleAddress));
    return text + address + listingRow(in, moduleType);
}

int executeNowLength(const uint8_t* bytes) {
    if (bytes[0] != kMasterMarker) return (bytes[2] >> 4) + 5;
    if (bytes[2] == MasterCmd::kSetOutputs) {
        const int n = bytes[1] + 3;
        return n <= kInstructionBytes ? n : kInstructionBytes;
    }
    return -1;
}

}  // namespace isa
