// The table of all command descriptions, and the small types of Describe.h.

#include <algorithm>

#include "isa/Vocabulary.h"
#include "isa/desc/Build.h"

namespace isa {

Value Value::ofInt(long long v) {
    Value out;
    out.type_ = Type::Int;
    out.int_ = v;
    return out;
}

Value Value::ofBool(bool v) {
    Value out;
    out.type_ = Type::Bool;
    out.int_ = v ? 1 : 0;
    return out;
}

Value Value::ofText(std::string v) {
    Value out;
    out.type_ = Type::Text;
    out.text_ = std::move(v);
    return out;
}

std::string Value::shown() const {
    switch (type_) {
        case Type::None: return std::string();
        case Type::Int: return std::to_string(int_);
        case Type::Bool: return int_ ? "checked" : "unchecked";
        case Type::Text: return text_;
    }
    return std::string();
}

FieldValues::FieldValues(std::initializer_list<std::pair<std::string, Value>> values) {
    for (const auto& [id, value] : values) set(id, value);
}

void FieldValues::set(std::string_view id, Value value) {
    for (auto& entry : entries_)
        if (entry.first == id) {
            entry.second = std::move(value);
            return;
        }
    entries_.emplace_back(std::string(id), std::move(value));
}

void FieldValues::append(std::string_view id, Value value) { entries_.emplace_back(std::string(id), std::move(value)); }

const Value* FieldValues::find(std::string_view id) const {
    for (const auto& entry : entries_)
        if (entry.first == id) return &entry.second;
    return nullptr;
}

const FieldDesc* CommandDesc::field(std::string_view id) const {
    const int i = fieldIndex(id);
    return i < 0 ? nullptr : &fields[size_t(i)];
}

int CommandDesc::fieldIndex(std::string_view id) const {
    if (id.empty()) return -1;   // headings have no id
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].id == id) return int(i);
    return -1;
}

int CommandDesc::patchOffset() const {
    for (const FieldDesc& f : fields)
        if (f.kind == FieldKind::Target) return f.at;
    return 0;
}

namespace {

std::vector<CommandDesc> Build() {
    std::vector<CommandDesc> all;
    for (auto family : {desc::MasterCommands, desc::ServoCommands, desc::StepperCommands, desc::IoCommands})
        for (CommandDesc& c : family()) all.push_back(std::move(c));
    for (CommandDesc& c : all) {
        for (size_t i = 0; i < c.fields.size(); ++i)
            if (c.fields[i].kind == FieldKind::Number) c.numberOrder.push_back(int(i));
        std::stable_sort(c.numberOrder.begin(), c.numberOrder.end(), [&c](int a, int b) {
            return c.fields[size_t(a)].readOrder < c.fields[size_t(b)].readOrder;
        });
    }
    return all;
}

}  // namespace

const std::vector<CommandDesc>& commandTable() {
    static const std::vector<CommandDesc> table = Build();
    return table;
}

const CommandDesc* findCommand(Family family, std::string_view name) {
    for (const CommandDesc& c : commandTable())
        if (c.family == family && c.name == name) return &c;
    return nullptr;
}

const CommandDesc* commandAt(Family family, int index) {
    for (const CommandDesc& c : commandTable())
        if (c.family == family && c.index == index) return &c;
    return nullptr;
}

bool familyOfType(int moduleType, Family& family) {
    switch (moduleType) {
        case kTypeMaster: family = Family::Master; return true;
        case kTypeServo: family = Family::Servo; return true;
        case kTypeStepper: family = Family::Stepper; return true;
        case kTypeIo: family = Family::Io; return true;
        default: return false;
    }
}

int typeOfFamily(Family family) {
    switch (family) {
        case Family::Master: return kTypeMaster;
        case Family::Servo: return kTypeServo;
        case Family::Stepper: return kTypeStepper;
        case Family::Io: return kTypeIo;
    }
    return kTypeUnknown;
}

const char* familyName(Family family) {
    switch (family) {
        case Family::Master: return "Master";
        case Family::Servo: return "Servo";
        case Family::Stepper: return "Stepper";
        case Family::Io: return "I/O";
    }
    return "";
}

const char* moduleTypeName(Family family) {
    switch (family) {
        case Family::Master: return "[Master]";
        case Family::Servo: return "ZEL-SERVO";
        case Family::Stepper: return "ZEL-STEP";
        case Family::Io: return "ZEL-I/O";
    }
    return "";
}

}  // namespace isa
