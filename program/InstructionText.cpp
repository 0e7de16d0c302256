#include "program/InstructionText.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>
#include <variant>

#include "isa/Codec.h"
#include "isa/Describe.h"
#include "isa/Vocabulary.h"
#include "program/ProgramFile.h"

namespace {

using isa::CommandDesc;
using isa::FieldDesc;
using isa::FieldKind;
using isa::Value;

constexpr size_t kTextChars = 15;  // labels, goto-labels and Print texts
constexpr size_t kEditChars = 39;  // what a numeric edit holds
constexpr size_t kMessageChars = 40;

// Check boxes of which a line names one at least.  The panel checks one of
// them when the command is chosen, so a line without any would build what the
// untouched panel never does (SetParam without a speed box has speed 8x,
// while the panel shows Speed 1x checked).
struct RequiredChoice {
    isa::Family family;
    const char* command;
    const char* what;
    std::vector<const char*> names;
};
const RequiredChoice kRequiredChoices[] = {
    {isa::Family::Stepper, "SetParam", "speed factor", {"speed-1x", "speed-2x", "speed-4x", "speed-8x"}},
};

// The family's name in messages: the module type as the header writes it.
const char* ClassNameOf(isa::Family family) { return isa::moduleTypeName(family); }

// How a word of the line reaches a field of the description.
enum class Kind {
    Edit,    // id=value: a number or a text
    Target,  // "-> LABEL"
    Check,   // the id alone
    Item,    // a choice's item: its id alone, or id=value for the field beside it
};

struct Slot {
    std::string name;
    Kind kind = Kind::Edit;
    int field = -1;   // index in the command's fields
    int item = -1;    // Item: the item of the choice
    int beside = -1;  // Item: the field shown beside the item (read only while it is chosen)
    bool text = false;  // Edit: a text cut to 15 characters (Print)
};

// What the text form needs of one command, worked out once from its description.
struct CommandText {
    std::vector<Slot> slots;  // in the order a line writes them
    int target = -1;          // the Target field, -1 when the command does not jump
    std::string fieldList;    // "its fields are a=, b, c" or "it has none"
    const RequiredChoice* required = nullptr;
};

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

std::string Printed(const char* format, long long a, long long b = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

CommandText TextOf(const CommandDesc& c) {
    CommandText out;
    std::vector<std::string> names;
    for (size_t i = 0; i < c.fields.size(); ++i) {
        const FieldDesc& f = c.fields[i];
        Slot slot;
        slot.field = int(i);
        switch (f.kind) {
            case FieldKind::Label: continue;
            case FieldKind::Target:
                out.target = int(i);
                continue;
            case FieldKind::Check:
                slot.name = f.id;
                slot.kind = Kind::Check;
                names.push_back(slot.name);
                out.slots.push_back(slot);
                continue;
            case FieldKind::Choice:
            case FieldKind::Condition:
                for (size_t k = 0; k < f.items.size(); ++k) {
                    Slot item = slot;
                    item.name = f.items[k].id;
                    item.kind = Kind::Item;
                    item.item = int(k);
                    for (size_t j = 0; j < c.fields.size(); ++j) {
                        const isa::Gate& g = c.fields[j].gate;
                        if (g.kind == isa::Gate::IfItem && g.field == f.id && g.item == int(k)) item.beside = int(j);
                    }
                    names.push_back(item.name);
                    out.slots.push_back(item);
                }
                continue;
            case FieldKind::Number:
            case FieldKind::Text:
                if (f.gate.kind == isa::Gate::IfItem) continue;  // written with its item
                slot.name = f.id;
                slot.kind = Kind::Edit;
                slot.text = f.kind == FieldKind::Text;
                names.push_back(slot.name + "=");
                out.slots.push_back(slot);
                continue;
        }
    }
    out.fieldList = names.empty() ? std::string("it has none") : "its fields are " + Join(names, ", ");
    for (const RequiredChoice& r : kRequiredChoices)
        if (r.family == c.family && c.name == r.command) out.required = &r;
    return out;
}

// Every command's text form, in the order of the command table.
const std::vector<CommandText>& CommandTexts() {
    static const std::vector<CommandText> texts = [] {
        std::vector<CommandText> v;
        for (const CommandDesc& c : isa::commandTable()) v.push_back(TextOf(c));
        return v;
    }();
    return texts;
}

const CommandText& TextOfCommand(const CommandDesc& c) {
    return CommandTexts()[size_t(&c - isa::commandTable().data())];
}

const CommandDesc* CommandNamed(isa::Family family, const std::string& name) {
    for (const CommandDesc& c : isa::commandTable())
        if (c.family == family && c.name == name) return &c;
    return nullptr;
}

std::string CommandList(isa::Family family) {
    std::vector<std::string> names;
    for (int i = 0; const CommandDesc* c = isa::commandAt(family, i); ++i) names.push_back(c->name);
    return Join(names, ", ");
}

TextField Word(const std::string& name) {
    TextField f;
    f.name = name;
    return f;
}

TextField Valued(const std::string& name, const std::string& value) {
    TextField f = Word(name);
    f.hasValue = true;
    f.value = value;
    return f;
}

bool SameRecord(const ProgramLine& a, const ProgramLine& b) {
    if (std::strncmp(a.label, b.label, sizeof a.label) != 0 ||
        std::strncmp(a.gotoLabel, b.gotoLabel, sizeof a.gotoLabel) != 0)
        return false;
    if (a.patchOffset != b.patchOffset || a.length != b.length || a.commandCode != b.commandCode ||
        a.moduleAddress != b.moduleAddress)
        return false;
    const size_t n = a.length <= kMaxInstrBytes ? a.length : kMaxInstrBytes;
    return std::memcmp(a.bytes, b.bytes, n) == 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void PutAddress(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v & 0xFF);
    p[1] = uint8_t(v >> 8);
}

uint16_t GetAddress(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// A label or goto-label as the text gives it; "" when it is acceptable.
std::string CheckLabelText(const std::string& text, const char* what) {
    if (text.size() > kTextChars) return std::string("the ") + what + " is longer than 15 characters";
    if (text.find('\0') != std::string::npos) return std::string("the ") + what + " holds a NUL character";
    return std::string();
}

// Refuses a built record that a program file cannot carry, as Save refuses
// it, naming the part of the line at fault.
bool Storable(const InstructionText& t, const ProgramLine& line, LineError& error) {
    const char* part = UnstorableField(line);
    if (!part) return true;
    const std::string field = part;
    if (field == "label") {
        error.column = t.labelColumn;
        error.field = "label";
        error.message = "the label holds a line break, which a program file cannot store";
    } else if (field == "goto-label") {
        error.column = t.targetColumn;
        error.field = "->";
        error.message = "the goto-label holds a line break, which a program file cannot store";
    } else {
        error.column = t.hasTarget ? t.targetColumn : t.commandColumn;
        error.field = "patch";
        for (const TextField& f : t.fields)
            if (f.name == "patch") error.column = f.column;
        error.message = Printed("patch=%lld leaves no room for the jump address: its 2 bytes must lie within the "
                                "%lld bytes of the instruction, after the first 3",
                                line.patchOffset, line.length);
    }
    return false;
}

bool Fail(LineError& error, const TextField& at, const std::string& message) {
    error.column = at.column;
    error.field = at.name;
    error.message = message;
    return false;
}

// The field values a line names; false with the reason.  A check box the line
// leaves out is unchecked; every other field left out keeps the default its
// command shows when chosen.  known: the slot of each of the line's fields
// when the line was written from a record (one field per slot, so none is
// given twice), else null and each is found by its name.
bool ValuesOf(const InstructionText& t, const CommandDesc& c, const CommandText& ct, const Slot* const* known,
              isa::FieldValues& out, LineError& error) {
    const size_t count = c.fields.size() < size_t(isa::kMaxFields) ? c.fields.size() : size_t(isa::kMaxFields);
    bool given[isa::kMaxFields] = {};  // check boxes named and choices given so far
    out.reserve(t.fields.size() + ct.slots.size());
    for (size_t n = 0; n < t.fields.size(); ++n) {
        const TextField& tf = t.fields[n];
        const Slot* s = known ? known[n] : nullptr;
        if (!known)
            for (const Slot& candidate : ct.slots)  // names are unique within a command
                if (candidate.name == tf.name) {
                    s = &candidate;
                    break;
                }
        if (!s || size_t(s->field) >= count)
            return Fail(error, tf, t.command + " has no field '" + CutForMessage(tf.name) + "'; " + ct.fieldList);
        if (!known)
            for (size_t m = 0; m < n; ++m)
                if (t.fields[m].name == tf.name) return Fail(error, tf, "the field is given twice");
        const std::string& id = c.fields[size_t(s->field)].id;
        switch (s->kind) {
            case Kind::Edit:
                if (!tf.hasValue) return Fail(error, tf, "the field needs a value: " + tf.name + "=...");
                if (s->text && tf.value.size() > kTextChars)
                    return Fail(error, tf, "the text is longer than 15 characters");
                if (tf.value.size() > kEditChars) return Fail(error, tf, "the value is longer than 39 characters");
                out.append(id, Value::ofText(tf.value));
                break;
            case Kind::Check:
                if (tf.hasValue) return Fail(error, tf, "a check box takes no value: write its name alone");
                given[s->field] = true;
                out.append(id, Value::ofBool(true));
                break;
            case Kind::Item:
                if (given[s->field]) return Fail(error, tf, "another choice of the same group is given already");
                given[s->field] = true;
                if (tf.hasValue && s->beside < 0) return Fail(error, tf, "this choice takes no value");
                if (tf.value.size() > kEditChars) return Fail(error, tf, "the value is longer than 39 characters");
                out.append(id, Value::ofInt(s->item));
                if (s->beside >= 0 && size_t(s->beside) < count)
                    out.append(c.fields[size_t(s->beside)].id, Value::ofText(tf.hasValue ? tf.value : std::string()));
                break;
            case Kind::Target: break;
        }
    }
    for (const Slot& s : ct.slots)
        if (s.kind == Kind::Check && size_t(s.field) < count && !given[s.field]) {
            given[s.field] = true;
            out.append(c.fields[size_t(s.field)].id, Value::ofBool(false));
        }
    if (t.hasTarget || t.hasPatched) {
        error.column = t.hasTarget ? t.targetColumn : t.patchedColumn;
        error.field = "->";
        if (ct.target < 0) {
            error.message = t.command + " does not jump to a label";
            return false;
        }
        error.message = CheckLabelText(t.target, "goto-label");
        if (!error.message.empty()) return false;
        out.append(c.fields[size_t(ct.target)].id, Value::ofText(t.target));
        error.field.clear();
    }
    return true;
}

// A line that names none of a required group of boxes; "" when it names one.
std::string MissingChoice(const CommandText& ct, const InstructionText& t) {
    const RequiredChoice* r = ct.required;
    if (!r) return std::string();
    for (const TextField& f : t.fields)
        for (const char* name : r->names)
            if (f.name == name) return std::string();
    std::string list;
    for (size_t i = 0; i < r->names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == r->names.size() ? " or " : ", ") + std::string(r->names[i]);
    return t.command + " names its " + r->what + ": " + list;
}

bool BuildRaw(const InstructionText& t, ProgramLine& line, LineError& error) {
    std::memset(&line, 0, sizeof line);
    if (t.module < 0 || t.module > 255) {
        error.column = t.moduleColumn;
        error.message = "a module address runs from 0 to 255";
        return false;
    }
    line.moduleAddress = uint8_t(t.module);
    bool haveCode = false, haveBytes = false;
    for (const TextField& tf : t.fields) {
        error.column = tf.column;
        error.field = tf.name;
        if (!tf.hasValue) {
            error.message = "the field needs a value";
            return false;
        }
        const std::string& v = tf.value;
        if (tf.name == "code") {
            const int hi = v.size() == 2 ? HexValue(v[0]) : -1, lo = v.size() == 2 ? HexValue(v[1]) : -1;
            if (hi < 0 || lo < 0) {
                error.message = "the command code is two hexadecimal digits";
                return false;
            }
            line.commandCode = uint8_t(hi * 16 + lo);
            haveCode = true;
        } else if (tf.name == "bytes") {
            int n = 0;
            for (size_t i = 0; i < v.size();) {
                if (v[i] == ' ' || v[i] == '\t') {
                    ++i;
                    continue;
                }
                const int hi = HexValue(v[i]), lo = i + 1 < v.size() ? HexValue(v[i + 1]) : -1;
                if (hi < 0 || lo < 0 || (i + 2 < v.size() && v[i + 2] != ' ' && v[i + 2] != '\t')) {
                    error.message = "the bytes are pairs of hexadecimal digits separated by blanks";
                    return false;
                }
                if (n == kMaxInstrBytes) {
                    error.message = "an instruction holds at most 24 bytes";
                    return false;
                }
                line.bytes[n++] = uint8_t(hi * 16 + lo);
                i += 2;
            }
            line.length = uint8_t(n);
            haveBytes = true;
        } else if (tf.name == "patch") {
            int p = 0;
            bool ok = !v.empty() && v.size() <= 3;
            for (char c : v) ok = ok && c >= '0' && c <= '9' && (p = p * 10 + (c - '0')) <= 255;
            if (!ok) {
                error.message = "the patch position is a number from 0 to 255";
                return false;
            }
            line.patchOffset = uint8_t(p);
        } else {
            error.message = "raw has no field '" + CutForMessage(tf.name) + "'; its fields are code=, bytes=, patch=";
            return false;
        }
    }
    error.field.clear();
    if (!haveCode || !haveBytes) {
        error.column = t.commandColumn;
        error.message = "raw needs code=HH and bytes=\"HH HH ...\"";
        return false;
    }
    if (t.hasPatched) {
        error.column = t.patchedColumn;
        error.message = "raw lines hold their bytes as they are; '@' belongs to the other lines";
        return false;
    }
    if (t.hasTarget) {
        error.column = t.targetColumn;
        error.field = "->";
        error.message = CheckLabelText(t.target, "goto-label");
        if (!error.message.empty()) return false;
        error.field.clear();
        line.setGotoLabel(t.target);
    }
    line.setLabel(t.label);
    return Storable(t, line, error);
}

InstructionText RawText(const ProgramLine& line) {
    static const char kHex[] = "0123456789ABCDEF";
    InstructionText t;
    t.label = line.labelText();
    t.module = line.moduleAddress;
    t.command = kRawCommand;
    t.fields.push_back(Valued("code", std::string{kHex[line.commandCode >> 4], kHex[line.commandCode & 15]}));
    std::string bytes;
    const int n = line.length <= kMaxInstrBytes ? line.length : kMaxInstrBytes;
    for (int k = 0; k < n; ++k) {
        if (k) bytes += ' ';
        bytes += kHex[line.bytes[k] >> 4];
        bytes += kHex[line.bytes[k] & 15];
    }
    t.fields.push_back(Valued("bytes", bytes));
    if (line.patchOffset != 0) t.fields.push_back(Valued("patch", std::to_string(line.patchOffset)));
    t.target = line.gotoLabelText();
    t.hasTarget = !t.target.empty();
    return t;
}

// InstructionTexts::build over the module types; known: the slot of each
// field of t when the record's text was just written from them, else null.
bool BuildLine(const int (&types)[32], int listSize, const InstructionText& t, const Slot* const* known,
               ProgramLine& line, LineError& error) {
    error = LineError();
    error.column = t.labelColumn;
    error.field = "label";
    error.message = CheckLabelText(t.label, "label");
    if (error.message.empty() && !t.label.empty() && t.label[0] == ';') error.message = "a label cannot begin with ';'";
    if (!error.message.empty()) return false;
    error.field.clear();
    if (t.command == kRawCommand) return BuildRaw(t, line, error);

    isa::Family family;
    if (t.module < 0 || t.module > 31 || !isa::familyOfType(types[t.module], family)) {
        error.column = t.moduleColumn;
        error.message = t.module >= 0 && t.module < listSize
                            ? Printed("module %lld has no command class; write its lines in the raw form", t.module)
                            : Printed("module %lld is not in the module list", t.module);
        return false;
    }
    const CommandDesc* c = CommandNamed(family, t.command);
    if (!c) {
        error.column = t.commandColumn;
        error.message = "'" + CutForMessage(t.command) + "' is not a command of " + ClassNameOf(family) +
                        "; its commands are " + CommandList(family);
        return false;
    }
    const CommandText& ct = TextOfCommand(*c);
    isa::FieldValues values;
    if (!ValuesOf(t, *c, ct, known, values, error)) return false;
    error.message = MissingChoice(ct, t);
    if (!error.message.empty()) {
        error.column = t.commandColumn;
        return false;
    }

    const isa::EncodeResult result = isa::encode(*c, values, uint8_t(t.module));
    if (const isa::Refusal* refusal = std::get_if<isa::Refusal>(&result)) {
        // The refusal names the field at fault by its id, which is its word on the line.
        error.field = refusal->field;
        error.column = t.commandColumn;
        for (const TextField& tf : t.fields)
            if (tf.name == error.field) error.column = tf.column;
        error.message = refusal->messages.empty() ? std::string("the instruction cannot be built")
                                                  : Join(refusal->messages, "; ");
        return false;
    }
    const isa::Encoded& e = std::get<isa::Encoded>(result);
    std::memset(&line, 0, sizeof line);
    line.moduleAddress = uint8_t(t.module);
    line.setLabel(t.label);
    line.setGotoLabel(e.gotoLabel);
    line.patchOffset = e.patchOffset;
    std::memcpy(line.bytes, e.bytes.data(), e.length <= kMaxInstrBytes ? e.length : kMaxInstrBytes);
    line.length = e.length;
    line.commandCode = e.commandCode;
    if (t.hasPatched) {
        if (line.patchOffset + 2 > line.length) {
            error.column = t.patchedColumn;
            error.message = t.command + " has no jump address";
            return false;
        }
        PutAddress(line.bytes + line.patchOffset, t.patched);
        line.targetAddress = t.patched;
    }
    return Storable(t, line, error);
}

}  // namespace

std::string CutForMessage(const std::string& text) {
    return text.size() <= kMessageChars ? text : text.substr(0, kMessageChars) + "...";
}

InstructionTexts::InstructionTexts(const std::vector<int>& moduleTypes) : listSize_(int(moduleTypes.size())) {
    for (int a = 0; a < 32; ++a) types_[a] = a < int(moduleTypes.size()) ? moduleTypes[size_t(a)] : kTypeUnknown;
}

bool InstructionTexts::build(const InstructionText& t, ProgramLine& line, LineError& error) const {
    return BuildLine(types_, listSize_, t, nullptr, line, error);
}

InstructionText InstructionTexts::read(const ProgramLine& line) const {
    if (line.moduleAddress > 31 || line.length > kMaxInstrBytes) return RawText(line);
    const isa::Decoded d = isa::decode(StoredInstruction(line), types_[line.moduleAddress]);
    if (!d.command) return RawText(line);
    const CommandDesc& c = *d.command;
    const CommandText& ct = TextOfCommand(c);

    // The decoded values by field index: decode gives them in field order.
    const Value* values[isa::kMaxFields] = {};
    const auto& entries = d.values.entries();
    for (size_t i = 0, k = 0; i < c.fields.size() && i < size_t(isa::kMaxFields) && k < entries.size(); ++i)
        if (entries[k].first == c.fields[i].id) values[i] = &entries[k++].second;
    static const Value kNone;
    auto valueAt = [&values](int i) -> const Value& { return i >= 0 && values[i] ? *values[i] : kNone; };

    InstructionText t;
    t.label = line.labelText();
    t.module = line.moduleAddress;
    t.command = c.name;
    t.fields.reserve(ct.slots.size());
    // The slot each field is written from, so that building the line again
    // need not look its name up.
    const Slot* slots[isa::kMaxFields * 2] = {};
    for (const Slot& s : ct.slots) {
        const Value& v = valueAt(s.field);
        const size_t before = t.fields.size();
        switch (s.kind) {
            case Kind::Edit: t.fields.push_back(Valued(s.name, v.shown())); break;
            case Kind::Check:
                if (v.type() == Value::Type::Bool && v.asBool()) t.fields.push_back(Word(s.name));
                break;
            case Kind::Item: {
                if (v.type() != Value::Type::Int || v.asInt() != s.item) break;
                const std::string beside = s.beside >= 0 ? valueAt(s.beside).shown() : std::string();
                t.fields.push_back(beside.empty() ? Word(s.name) : Valued(s.name, beside));
                break;
            }
            case Kind::Target: break;
        }
        if (t.fields.size() > before && before < std::size(slots)) slots[before] = &s;
    }
    if (ct.target >= 0) {
        t.target = valueAt(ct.target).shown();
        t.hasTarget = !t.target.empty();
    }

    // The text stands for the record only when it builds the record again.
    ProgramLine rebuilt;
    LineError error;
    const bool allKnown = t.fields.size() <= std::size(slots);
    if (!BuildLine(types_, listSize_, t, allKnown ? slots : nullptr, rebuilt, error)) return RawText(line);
    const int p = rebuilt.patchOffset;
    if (ct.target >= 0 && p + 2 <= rebuilt.length && p + 2 <= line.length &&
        std::memcmp(rebuilt.bytes + p, line.bytes + p, 2) != 0) {
        t.hasPatched = true;
        t.patched = GetAddress(line.bytes + p);
        PutAddress(rebuilt.bytes + p, t.patched);
    }
    if (!SameRecord(rebuilt, line)) return RawText(line);
    return t;
}

std::vector<std::string> InstructionTexts::fieldNames(int moduleType, int commandIndex) {
    isa::Family family;
    if (!isa::familyOfType(moduleType, family)) return {};
    const CommandDesc* c = isa::commandAt(family, commandIndex);
    if (!c) return {};
    std::vector<std::string> names;
    const CommandText& ct = TextOfCommand(*c);
    for (const FieldDesc& f : c->fields) {
        if (f.kind == FieldKind::Target) names.push_back("->");
        for (const Slot& s : ct.slots)
            if (&c->fields[size_t(s.field)] == &f)
                names.push_back(s.kind == Kind::Edit ? s.name + "=" : s.name);
    }
    return names;
}
