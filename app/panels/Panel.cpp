// The builder panels over the command descriptions: the family files' layouts
// resolved to controls once, and the click handler, encoder and loader that
// every family shares.

#include "app/panels/Panel.h"

#include <cstring>
#include <functional>
#include <type_traits>
#include <variant>

#include "app/MainState.h"
#include "app/panels/Instruction.h"
#include "isa/Codec.h"
#include "isa/CommandReference.h"

namespace {

using isa::CommandDesc;
using isa::FieldDesc;
using isa::FieldKind;

enum class SlotKind : uint8_t { None, Label, Edit, Check, Radio, ConditionBox };

// A field's control: its kind and the number in its object name.
struct Slot {
    SlotKind kind = SlotKind::None;
    int n = 0;
    bool asIs = false;
};

// The shape of a family's panel, from its records in Form: labels run from
// firstLabel to lastLabel, edits and check boxes from 1; heading is the label
// over the panel's boxes, which also captions the condition box (-1: none).
struct Shape {
    int firstLabel, lastLabel, editCount, checkCount, radioCount;
    bool conditionBox;
    int heading;
};

template <typename Array>
constexpr int Last = int(std::extent_v<Array>) - 1;   // records run from 1 (labels of I/O from 0)

Shape ShapeOf(isa::Family family) {
    switch (family) {
        case isa::Family::Master:
            return {1, Last<decltype(::MasterPanel::MasterLabel)>, Last<decltype(::MasterPanel::MasterEdit)>,
                    Last<decltype(::MasterPanel::MasterCheck)>, 2, false, -1};
        case isa::Family::Servo:
            return {1, Last<decltype(::ServoPanel::ServoLabel)>, Last<decltype(::ServoPanel::ServoEdit)>,
                    Last<decltype(::ServoPanel::ServoCheck)>, 1, true, Last<decltype(::ServoPanel::ServoLabel)>};
        case isa::Family::Stepper:
            return {1, Last<decltype(StepPanel::StepLabel)>, Last<decltype(StepPanel::StepEdit)>,
                    Last<decltype(StepPanel::StepCheck)>, 1, true, Last<decltype(StepPanel::StepLabel)>};
        case isa::Family::Io:
            return {0, Last<decltype(::IoPanel::IoLabel)>, Last<decltype(::IoPanel::IoEdit)>,
                    Last<decltype(::IoPanel::IoCheck)>, 1, false, 0};
    }
    return {};
}

// The controls of one family's panel on a form.
struct Refs {
    Shape shape;
    Ctl* box;
    Ctl* group;
    Ctl* labels;
    Ctl* edits;
    Ctl* checks;
    Ctl* radios[2];
    Ctl* conditionBox;
};

Refs RefsOf(Form& f, isa::Family family) {
    const Shape shape = ShapeOf(family);
    switch (family) {
        case isa::Family::Master: {
            ::MasterPanel& p = f.master;
            return {shape, &f.MasterCBox, &p.MasterGroup, p.MasterLabel, p.MasterEdit, p.MasterCheck,
                    {&p.RadioGroup1, &p.RadioGroup2}, nullptr};
        }
        case isa::Family::Servo: {
            ::ServoPanel& p = f.servo;
            return {shape, &f.ServoCBox, &p.ServoGroup, p.ServoLabel, p.ServoEdit, p.ServoCheck, {&p.ServoRG, nullptr},
                    &p.ServoIfCBox};
        }
        case isa::Family::Stepper: {
            StepPanel& p = f.step;
            return {shape, &f.StepCBox, &p.StepGroup, p.StepLabel, p.StepEdit, p.StepCheck, {&p.StepRG, nullptr},
                    &p.StepIfCBox};
        }
        case isa::Family::Io: {
            ::IoPanel& p = f.io;
            return {shape, &f.IoCBox, &p.IoGroup, p.IoLabel, p.IoEdit, p.IoCheck, {&p.IoRG, nullptr}, nullptr};
        }
    }
    return {};
}

// The object names of a family's controls, as Form::controls() gives them.
const char* Prefix(isa::Family family) {
    switch (family) {
        case isa::Family::Master: return "Master";
        case isa::Family::Servo: return "Servo";
        case isa::Family::Stepper: return "Step";
        case isa::Family::Io: return "Io";
    }
    return "";
}

std::string NameOf(isa::Family family, const Slot& slot) {
    const std::string prefix = Prefix(family), n = std::to_string(slot.n);
    switch (slot.kind) {
        case SlotKind::Label: return prefix + "Label" + n;
        case SlotKind::Edit: return prefix + "Edit" + n;
        case SlotKind::Check: return prefix + "Check" + n;
        case SlotKind::Radio: return family == isa::Family::Master ? "RadioGroup" + n : prefix + "RG";
        case SlotKind::ConditionBox: return prefix + "IfCBox";
        case SlotKind::None: break;
    }
    return "";
}

// The slot of an object name among the family's controls.
Slot SlotNamed(isa::Family family, const std::string& name, bool asIs) {
    const Shape r = ShapeOf(family);
    const auto find = [&](SlotKind kind, int first, int last) {
        for (int n = first; n <= last; ++n)
            if (NameOf(family, Slot{kind, n}) == name) return Slot{kind, n, asIs};
        return Slot{};
    };
    for (Slot s : {find(SlotKind::Label, r.firstLabel, r.lastLabel), find(SlotKind::Edit, 1, r.editCount),
                   find(SlotKind::Check, 1, r.checkCount), find(SlotKind::Radio, 1, r.radioCount),
                   find(SlotKind::ConditionBox, 1, r.conditionBox ? 1 : 0)})
        if (s.kind != SlotKind::None) return s;
    return Slot{};
}

const PanelLayout& LayoutOf(isa::Family family) {
    switch (family) {
        case isa::Family::Master: return MasterLayout();
        case isa::Family::Servo: return ServoLayout();
        case isa::Family::Stepper: return StepperLayout();
        case isa::Family::Io: return IoLayout();
    }
    return MasterLayout();
}

// The slots of a command its family's layout does not list: its fields in
// the order described, edits from the first, check boxes from the first, the
// radio group, the condition box, a heading on the panel's heading label.  A
// field left without a control (the panel has too few) has no slot.
std::vector<Slot> DefaultSlots(const CommandDesc& c) {
    const Shape r = ShapeOf(c.family);
    int edit = 0, check = 0, radio = 0;
    std::vector<Slot> slots(c.fields.size());
    for (size_t j = 0; j < c.fields.size(); ++j) {
        Slot& s = slots[j];
        switch (c.fields[j].kind) {
            case FieldKind::Number:
            case FieldKind::Text:
            case FieldKind::Target:
                if (edit < r.editCount) s = Slot{SlotKind::Edit, ++edit};
                break;
            case FieldKind::Check:
                if (check < r.checkCount) s = Slot{SlotKind::Check, ++check};
                break;
            case FieldKind::Choice:
                if (radio < r.radioCount) s = Slot{SlotKind::Radio, ++radio};
                break;
            case FieldKind::Condition:
                if (r.conditionBox) s = Slot{SlotKind::ConditionBox, 1};
                break;
            case FieldKind::Label:
                if (r.heading >= 0) s = Slot{SlotKind::Label, r.heading};
                break;
        }
    }
    return slots;
}

// Per command of the description table (in its order), the slot of each field.
std::vector<std::vector<Slot>> Resolve() {
    const std::vector<CommandDesc>& table = isa::commandTable();
    std::vector<std::vector<Slot>> out(table.size());
    for (size_t k = 0; k < table.size(); ++k) {
        const CommandDesc& c = table[k];
        out[k].resize(c.fields.size());
        bool laidOut = false;
        for (const CommandLayout& layout : LayoutOf(c.family).commands) {
            if (c.name != layout.command) continue;
            laidOut = true;
            for (const FieldSlot& slot : layout.slots) {
                int i = -1;
                for (size_t j = 0; j < c.fields.size() && i < 0; ++j)
                    if (*slot.field ? c.fields[j].id == slot.field : c.fields[j].kind == FieldKind::Label) i = int(j);
                if (i >= 0) out[k][size_t(i)] = SlotNamed(c.family, slot.control, slot.asIs);
            }
        }
        if (!laidOut) out[k] = DefaultSlots(c);
    }
    return out;
}

// The slots of a command of the description table (none for any other).
const std::vector<Slot>& SlotsOf(const CommandDesc& c) {
    static const std::vector<std::vector<Slot>> slots = Resolve();
    static const std::vector<Slot> none(isa::kMaxFields);
    const std::vector<CommandDesc>& table = isa::commandTable();
    const std::less<const CommandDesc*> before;
    if (before(&c, table.data()) || !before(&c, table.data() + table.size())) return none;
    return slots[size_t(&c - table.data())];
}

Ctl* ControlAt(const Refs& r, const Slot& s) {
    switch (s.kind) {
        case SlotKind::Label: return s.n >= r.shape.firstLabel && s.n <= r.shape.lastLabel ? &r.labels[s.n] : nullptr;
        case SlotKind::Edit: return s.n >= 1 && s.n <= r.shape.editCount ? &r.edits[s.n] : nullptr;
        case SlotKind::Check: return s.n >= 1 && s.n <= r.shape.checkCount ? &r.checks[s.n] : nullptr;
        case SlotKind::Radio: return s.n >= 1 && s.n <= r.shape.radioCount ? r.radios[s.n - 1] : nullptr;
        case SlotKind::ConditionBox: return r.conditionBox;
        case SlotKind::None: break;
    }
    return nullptr;
}

// The label beside an edit: the one with its number.
Ctl* LabelOf(const Refs& r, const Slot& edit) {
    return edit.n >= r.shape.firstLabel && edit.n <= r.shape.lastLabel ? &r.labels[edit.n] : nullptr;
}

const CommandDesc* CommandOfCode(isa::Family family, uint8_t code) {
    for (const CommandDesc& c : isa::commandTable())
        if (c.family == family && c.code == code) return &c;
    return nullptr;
}

// Lays out one field's control as the command's default shows it.
void ShowField(const Refs& r, const FieldDesc& f, const Slot& slot) {
    Ctl* ctl = ControlAt(r, slot);
    if (!ctl) return;
    ctl->visible = true;
    switch (slot.kind) {
        case SlotKind::Label: ctl->caption = f.caption; break;
        case SlotKind::Edit:
            if (Ctl* label = LabelOf(r, slot)) {
                label->caption = f.caption;
                label->visible = true;
            }
            ctl->text = f.initial.shown();
            break;
        case SlotKind::Check:
            if (slot.asIs) break;
            ctl->caption = f.caption;
            ctl->checked = f.initial.asBool();
            break;
        case SlotKind::Radio:
            if (!slot.asIs) ctl->index = int(f.initial.asInt());
            break;
        case SlotKind::ConditionBox:
            ctl->index = int(f.initial.asInt());
            ctl->text.clear();
            if (r.shape.heading >= 0) {
                r.labels[r.shape.heading].caption = f.caption;
                r.labels[r.shape.heading].visible = true;
            }
            break;
        case SlotKind::None: break;
    }
}

// What a control holds, as the field's value.
isa::Value ValueOf(const FieldDesc& f, const Ctl& ctl) {
    switch (f.kind) {
        case FieldKind::Check: return isa::Value::ofBool(ctl.checked);
        case FieldKind::Choice:
        case FieldKind::Condition: return isa::Value::ofInt(ctl.index);
        default: return isa::Value::ofText(ctl.text);
    }
}

void ShowValue(const FieldDesc& f, const isa::Value& v, Ctl& ctl) {
    switch (f.kind) {
        case FieldKind::Check: ctl.checked = v.asBool(); break;
        case FieldKind::Choice: ctl.index = int(v.asInt()); break;
        case FieldKind::Condition:
            ctl.index = int(v.asInt());
            ctl.text = ctl.index >= 0 && ctl.index < int(f.items.size()) ? f.items[size_t(ctl.index)].caption : "";
            break;
        default: ctl.text = v.shown(); break;
    }
}

}  // namespace

Ctl* FieldControl(Form& form, const CommandDesc& command, const std::string& field) {
    const std::vector<Slot>& slots = SlotsOf(command);
    for (size_t i = 0; i < command.fields.size(); ++i) {
        const FieldDesc& f = command.fields[i];
        if (field.empty() ? f.kind == FieldKind::Label : f.id == field)
            return ControlAt(RefsOf(form, command.family), slots[i]);
    }
    return nullptr;
}

std::string FieldControlName(const CommandDesc& command, const std::string& field) {
    const std::vector<Slot>& slots = SlotsOf(command);
    for (size_t i = 0; i < command.fields.size(); ++i) {
        const FieldDesc& f = command.fields[i];
        if (field.empty() ? f.kind == FieldKind::Label : f.id == field) return NameOf(command.family, slots[i]);
    }
    return "";
}

std::vector<std::string> DefaultControlNames(const CommandDesc& command) {
    std::vector<std::string> names;
    for (const Slot& slot : DefaultSlots(command)) names.push_back(NameOf(command.family, slot));
    return names;
}

void SetUpPanelControls(Form& form) {
    for (isa::Family family : {isa::Family::Master, isa::Family::Servo, isa::Family::Stepper, isa::Family::Io}) {
        const Refs r = RefsOf(form, family);
        r.box->items.clear();
        for (int i = 0; const CommandDesc* c = isa::commandAt(family, i); ++i) r.box->items.push_back(c->name);
    }
    for (const CommandDesc& c : isa::commandTable()) {
        const Refs r = RefsOf(form, c.family);
        const std::vector<Slot>& slots = SlotsOf(c);
        for (size_t i = 0; i < c.fields.size(); ++i) {
            const FieldDesc& f = c.fields[i];
            Ctl* ctl = ControlAt(r, slots[i]);
            if (!ctl) continue;
            if (f.isChoice()) {
                ctl->items.clear();
                for (const isa::ChoiceItem& item : f.items) ctl->items.push_back(item.caption);
            }
            if (slots[i].kind == SlotKind::Radio || (slots[i].asIs && slots[i].kind == SlotKind::Check))
                ctl->caption = f.caption;
            if (slots[i].asIs && slots[i].kind == SlotKind::Radio) ctl->index = int(f.initial.asInt());
        }
    }
}

void ChooseCommand(MainState& s, isa::Family family) {
    const Refs r = RefsOf(s.form, family);
    const CommandDesc* c = isa::commandAt(family, r.box->index);
    if (!c) return;
    CommandChosen(s, *r.group, c->classText.c_str(), c->framing == isa::Framing::Master ? kMasterMarker : kFrameHeader,
                  c->code, c->name);

    // Every control of the panel hidden; the family's boxes unchecked.
    for (int n = r.shape.firstLabel; n <= r.shape.lastLabel; ++n) r.labels[n].visible = false;
    for (int n = 1; n <= r.shape.editCount; ++n) r.edits[n].visible = false;
    for (int n = 1; n <= r.shape.checkCount; ++n) r.checks[n].visible = false;
    for (Ctl* radio : r.radios)
        if (radio) radio->visible = false;
    if (r.conditionBox) r.conditionBox->visible = false;
    for (int n : LayoutOf(family).uncheckedOnChoice) r.checks[n].checked = false;

    const std::vector<Slot>& slots = SlotsOf(*c);
    for (size_t i = 0; i < c->fields.size(); ++i) ShowField(r, c->fields[i], slots[i]);

    // Tool tips: each numeric edit gives its range and unit.
    for (int n = 1; n <= r.shape.editCount; ++n) r.edits[n].hint.clear();
    for (size_t i = 0; i < c->fields.size(); ++i)
        if (c->fields[i].kind == FieldKind::Number && slots[i].kind == SlotKind::Edit)
            if (Ctl* edit = ControlAt(r, slots[i])) edit->hint = FieldRange(c->fields[i]);
}

int EncodePanel(MainState& s, ProgramLine& line, isa::Family family) {
    const CommandDesc* c = CommandOfCode(family, line.commandCode);
    if (!c) return -1;   // no command of the family chosen: Add and Change are disabled then
    const Refs r = RefsOf(s.form, family);
    const std::vector<Slot>& slots = SlotsOf(*c);
    isa::FieldValues values;
    values.reserve(c->fields.size());
    for (size_t i = 0; i < c->fields.size(); ++i) {
        const FieldDesc& f = c->fields[i];
        const Ctl* ctl = ControlAt(r, slots[i]);
        if (f.holdsValue() && ctl) values.append(f.id, ValueOf(f, *ctl));
    }

    const isa::EncodeResult result = isa::encode(*c, values, line.moduleAddress);
    if (const isa::Refusal* refusal = std::get_if<isa::Refusal>(&result)) {
        // A number the numeric field rule refused names its edit.
        const int i = c->fieldIndex(refusal->field);
        if (i >= 0 && c->fields[size_t(i)].kind == FieldKind::Number && !refusal->messages.empty() &&
            refusal->messages[0] != c->fields[size_t(i)].onlyMessage)
            s.rejectedField = ControlAt(r, slots[size_t(i)]);
        for (const std::string& message : refusal->messages) s.message(message);
        return -1;
    }
    const isa::Encoded& e = std::get<isa::Encoded>(result);
    line.setLabel(s.form.LabelEdit.text);
    line.setGotoLabel(e.gotoLabel);
    line.patchOffset = e.patchOffset;
    std::memcpy(line.bytes, e.bytes.data(), e.length);
    line.length = e.length;
    line.commandCode = e.commandCode;
    return 0;
}

void LoadPanel(MainState& s, isa::Family family) {
    const isa::Decoded d = isa::decode(StoredInstruction(s.builderLine), isa::typeOfFamily(family));
    if (!d.command) return;   // a code without a command: the builder stays as it is

    const Refs r = RefsOf(s.form, family);
    r.box->index = d.command->index;
    ChooseCommand(s, family);
    const std::vector<Slot>& slots = SlotsOf(*d.command);
    for (const auto& [id, value] : d.values.entries()) {
        const int i = d.command->fieldIndex(id);
        if (i < 0) continue;
        if (Ctl* ctl = ControlAt(r, slots[size_t(i)])) ShowValue(d.command->fields[size_t(i)], value, *ctl);
    }
}
