// The builder's panels against the pure codec they are built on.  Every
// command of every family is chosen in its command box, its panel is filled
// from field values (each control found by its caption, not by the panel's
// layout), and the builder must do what the codec does with the same values:
// the same bytes, length, patch position, goto-label and listing text, or the
// same refusal (field and messages); loading shows exactly what decoding
// gives, also for stored records of any bytes.  So the layouts in app/panels/ put
// every field on the control that shows its caption.  The captions, defaults
// and field names are checked against the panels and the program text.

#include <algorithm>
#include <random>
#include <set>
#include <variant>

#include "BuilderFixture.h"
#include "app/panels/Panel.h"
#include "isa/Codec.h"
#include "isa/CommandReference.h"
#include "isa/Describe.h"
#include "program/InstructionText.h"

namespace {

using isa::CommandDesc;
using isa::FieldDesc;
using isa::FieldKind;
using isa::FieldValues;
using isa::Value;

// The controls of one family's panel.
struct Panel {
    Ctl* box;
    void (*click)(MainState&);
    std::vector<std::pair<Ctl*, Ctl*>> edits;   // label, edit
    std::vector<Ctl*> checks, radios, headings;
    Ctl* conditions = nullptr;
};

int TypeOf(isa::Family f) {
    switch (f) {
        case isa::Family::Master: return kTypeMaster;
        case isa::Family::Servo: return kTypeServo;
        case isa::Family::Stepper: return kTypeStepper;
        case isa::Family::Io: return kTypeIo;
    }
    return kTypeUnknown;
}

std::string Dump(const FieldValues& v) {
    std::string out;
    for (const auto& [id, value] : v.entries()) out += id + "=" + value.shown() + "|";
    return out;
}

class IsaCodec : public BuilderTest {
protected:
    std::mt19937 rng{20240611};

    // Servo, stepper and I/O modules in turn at addresses 1 to 30; 31 stays unknown.
    void SetUp() override {
        StartTimerTimer(*s);
        for (int i = 0; i < 30; ++i) {
            if (i % 3 == 0) AddServoModule1Click(*s);
            if (i % 3 == 1) AddStepModule1Click(*s);
            if (i % 3 == 2) AddIOModule1Click(*s);
        }
        ui.messages.clear();
    }

    Panel PanelOf(isa::Family f) {
        Form& m = s->form;
        Panel p;
        switch (f) {
            case isa::Family::Master:
                p = {&m.MasterCBox, MasterCBoxClick, {}, {}, {&m.master.RadioGroup1, &m.master.RadioGroup2}, {}};
                for (int i = 1; i <= 2; ++i) p.edits.push_back({&m.master.MasterLabel[i], &m.master.MasterEdit[i]});
                p.checks = {&m.master.MasterCheck[1], &m.master.MasterCheck[2]};
                break;
            case isa::Family::Servo:
            case isa::Family::Stepper: {
                const bool servo = f == isa::Family::Servo;
                p.box = servo ? &m.ServoCBox : &m.StepCBox;
                p.click = servo ? ServoCBoxClick : StepCBoxClick;
                for (int i = 1; i <= 9; ++i)
                    p.edits.push_back(servo ? std::pair{&m.servo.ServoLabel[i], &m.servo.ServoEdit[i]}
                                            : std::pair{&m.step.StepLabel[i], &m.step.StepEdit[i]});
                for (int i = 1; i <= 7; ++i) p.checks.push_back(servo ? &m.servo.ServoCheck[i] : &m.step.StepCheck[i]);
                p.radios = {servo ? &m.servo.ServoRG : &m.step.StepRG};
                p.headings = {servo ? &m.servo.ServoLabel[10] : &m.step.StepLabel[10]};
                p.conditions = servo ? &m.servo.ServoIfCBox : &m.step.StepIfCBox;
                break;
            }
            case isa::Family::Io:
                p = {&m.IoCBox, IoCBoxClick, {}, {}, {&m.io.IoRG}, {&m.io.IoLabel[0]}};
                for (int i = 1; i <= 2; ++i) p.edits.push_back({&m.io.IoLabel[i], &m.io.IoEdit[i]});
                for (int k = 1; k <= 12; ++k) p.checks.push_back(&m.io.IoCheck[k]);
                break;
        }
        return p;
    }

    // The control a field stands for on the panel laid out for its command,
    // found by its caption (an edit beside a master condition item by the item).
    Ctl* ControlOf(const CommandDesc& c, const FieldDesc& f, Panel& p) {
        auto shownWith = [&f](Ctl* ctl) { return ctl->visible && ctl->caption == f.caption; };
        switch (f.kind) {
            case FieldKind::Number:
            case FieldKind::Text:
            case FieldKind::Target:
                if (f.gate.kind == isa::Gate::IfItem) {
                    static const int kBeside[8] = {3, -1, -1, 4, 5, 6, 7, 8};
                    return &s->form.master.MasterEdit[kBeside[f.gate.item]];
                }
                for (auto& [label, edit] : p.edits)
                    if (shownWith(label) && edit->visible) return edit;
                return nullptr;
            case FieldKind::Check:
                for (Ctl* check : p.checks)
                    if (shownWith(check)) return check;
                return nullptr;
            case FieldKind::Choice:
                for (Ctl* radio : p.radios)
                    if (shownWith(radio)) return radio;
                return nullptr;
            case FieldKind::Condition:
                return p.conditions && p.conditions->visible && shownWith(p.headings[0]) ? p.conditions : nullptr;
            case FieldKind::Label:
                for (Ctl* heading : p.headings)
                    if (shownWith(heading)) return heading;
                return nullptr;
        }
        (void)c;
        return nullptr;
    }

    int AddressFor(const CommandDesc& c) {
        if (c.family == isa::Family::Master) return 0;
        std::vector<int> addresses;
        for (int a = 1; a <= s->moduleListCount; ++a)
            if (s->moduleTypes[a] == TypeOf(c.family)) addresses.push_back(a);
        return addresses[rng() % addresses.size()];
    }

    void Choose(const CommandDesc& c, int address, Panel& p) {
        SelectModule(*s, address);
        p.box->index = c.index;
        p.click(*s);
    }

    void Fill(const CommandDesc& c, const FieldValues& v, Panel& p) {
        for (const auto& [id, value] : v.entries()) {
            Ctl* ctl = ControlOf(c, *c.field(id), p);
            ASSERT_NE(ctl, nullptr) << id;
            switch (c.field(id)->kind) {
                case FieldKind::Check: ctl->checked = value.asBool(); break;
                case FieldKind::Choice:
                case FieldKind::Condition: ctl->index = int(value.asInt()); break;
                default: ctl->text = value.shown(); break;
            }
        }
    }

    // What the panel shows, as field values.
    FieldValues Read(const CommandDesc& c, Panel& p) {
        FieldValues v;
        for (const FieldDesc& f : c.fields) {
            if (!f.holdsValue()) continue;
            const Ctl* ctl = ControlOf(c, f, p);
            if (!ctl) {
                ADD_FAILURE() << c.name << ": no control for " << f.id;
                continue;
            }
            if (f.kind == FieldKind::Check) v.append(f.id, Value::ofBool(ctl->checked));
            else if (f.isChoice()) v.append(f.id, Value::ofInt(ctl->index));
            else if (f.kind != FieldKind::Number || ctl->text.empty()) v.append(f.id, f.kind == FieldKind::Number ? Value() : Value::ofText(ctl->text));
            else v.append(f.id, Value::ofInt(std::stoll(ctl->text)));
        }
        return v;
    }

    std::string RandomText(int maxChars, bool latin1) {
        std::string t(rng() % (maxChars + 1), ' ');
        for (char& ch : t) {
            do ch = char(latin1 ? 1 + rng() % 255 : 33 + rng() % 94);
            while (ch == '\r' || ch == '\n' || ch == ';');   // a Print text ends at a line end; ';' starts a comment
        }
        return t;
    }

    long long RandomNumber(const FieldDesc& f) {
        if (!f.only.empty() && rng() % 4 != 0) return f.only[rng() % f.only.size()];
        switch (rng() % 4) {
            case 0: return f.min;
            case 1: return f.max;
            default: return f.min + (long long)(std::uniform_real_distribution<double>(0, 1)(rng) * double(f.max - f.min));
        }
    }

    // Values of every field within its range; numbers now and then as typed
    // text that the numeric rule reads ("  +25 sec").
    FieldValues RandomValues(const CommandDesc& c) {
        FieldValues v;
        for (const FieldDesc& f : c.fields) {
            switch (f.kind) {
                case FieldKind::Number: {
                    const long long n = RandomNumber(f);
                    v.append(f.id, rng() % 5 ? Value::ofInt(n) : Value::ofText("  " + std::string(n >= 0 ? "+" : "") + std::to_string(n) + " sec"));
                    break;
                }
                case FieldKind::Check: v.append(f.id, Value::ofBool(rng() % 2)); break;
                case FieldKind::Choice:
                case FieldKind::Condition: {
                    const int first = f.initial.asInt() < 0 ? -1 : 0;
                    v.append(f.id, Value::ofInt(first + int(rng() % (f.items.size() - first))));
                    break;
                }
                case FieldKind::Text: v.append(f.id, Value::ofText(RandomText(f.maxChars + 3, true))); break;
                case FieldKind::Target: v.append(f.id, Value::ofText(RandomText(18, rng() % 2))); break;
                case FieldKind::Label: break;
            }
        }
        return v;
    }

    // The field a builder refusal names: the rejected edit's field, else the
    // field or check group whose message it showed.
    std::string RefusedField(const CommandDesc& c, Panel& p) {
        for (const FieldDesc& f : c.fields)
            if (s->rejectedField && ControlOf(c, f, p) == s->rejectedField) return f.id;
        const std::string first = ui.messages.empty() ? "" : ui.messages[0];
        if (first == c.groupMessage) return c.groupField;
        for (const FieldDesc& f : c.fields)
            if (first == f.noneMessage || first == f.onlyMessage) return f.id;
        return "?";
    }

    // Builds v with the builder and the codec: the same instruction and
    // listing, and decoding gives what the loader shows; or the same refusal.
    // Returns whether it was built.
    bool Compare(const CommandDesc& c, const FieldValues& v, const std::string& label) {
        Panel p = PanelOf(c.family);
        const int address = AddressFor(c);
        Choose(c, address, p);
        Fill(c, v, p);
        s->form.LabelEdit.text = label;
        ui.messages.clear();
        s->rejectedField = nullptr;
        const int built = BuildInstruction(*s);
        const isa::EncodeResult result = isa::encode(c, v, uint8_t(address));
        const std::string what = c.name + " " + Dump(v);
        if (built != 0) {
            const isa::Refusal* refusal = std::get_if<isa::Refusal>(&result);
            EXPECT_NE(refusal, nullptr) << what;
            if (!refusal) return false;
            EXPECT_EQ(refusal->messages, ui.messages) << what;
            EXPECT_EQ(refusal->field, RefusedField(c, p)) << what;
            return false;
        }
        const isa::Encoded* e = std::get_if<isa::Encoded>(&result);
        EXPECT_NE(e, nullptr) << what << " refused: " << std::get<isa::Refusal>(result).messages[0];
        if (!e) return false;
        const ProgramLine line = s->builderLine;
        EXPECT_EQ(Bytes(e->bytes.begin(), e->bytes.begin() + e->length), Built()) << what;
        EXPECT_EQ(e->commandCode, line.commandCode) << what;
        EXPECT_EQ(e->patchOffset, line.patchOffset) << what;
        EXPECT_EQ(e->gotoLabel, line.gotoLabelText()) << what;
        const int type = ModuleTypeOf(*s, address);
        EXPECT_EQ(isa::listingText(label, uint8_t(address), *e, type), FormatListingText(*s, line)) << what;

        Load(line);
        const isa::Decoded d = isa::decode(*e, type);
        EXPECT_EQ(d.command, &c) << what;
        EXPECT_EQ(Dump(d.values), Dump(Read(c, p))) << what;
        // What the loader shows builds the same instruction again.
        const isa::EncodeResult again = isa::encode(c, d.values, uint8_t(address));
        const isa::Encoded* e2 = std::get_if<isa::Encoded>(&again);
        EXPECT_TRUE(e2 && e2->bytes == e->bytes && e2->length == e->length && e2->gotoLabel == e->gotoLabel) << what;
        return true;
    }
};

// The command boxes list the descriptions; the program text's command names
// (the test fixture's lists) are the same words.
TEST_F(IsaCodec, DescribesEveryCommandOfEveryCommandBox) {
    const auto& table = isa::commandTable();
    ASSERT_EQ(table.size(),
              std::size(kMasterCommands) + std::size(kServoCommands) + std::size(kStepCommands) + std::size(kIoCommands));
    const std::vector<std::vector<std::string>> boxes = {
        {std::begin(kMasterCommands), std::end(kMasterCommands)}, {std::begin(kServoCommands), std::end(kServoCommands)},
        {std::begin(kStepCommands), std::end(kStepCommands)}, {std::begin(kIoCommands), std::end(kIoCommands)}};
    EXPECT_EQ(boxes[0], s->form.MasterCBox.items);
    EXPECT_EQ(boxes[3], s->form.IoCBox.items);
    // Every row of the panel layouts names a field of its command and a control.
    for (const PanelLayout* layout : {&MasterLayout(), &ServoLayout(), &StepperLayout(), &IoLayout()})
        for (const CommandLayout& command : layout->commands) {
            const CommandDesc* c = isa::findCommand(layout->family, command.command);
            ASSERT_NE(c, nullptr) << command.command;
            for (const FieldSlot& slot : command.slots)
                EXPECT_EQ(FieldControlName(*c, slot.field), slot.control) << c->name << " " << slot.field;
        }
    size_t at = 0;
    for (int family = 0; family < 4; ++family)
        for (size_t i = 0; i < boxes[size_t(family)].size(); ++i, ++at) {
            ASSERT_LT(at, table.size());
            EXPECT_EQ(int(table[at].family), family);
            EXPECT_EQ(table[at].index, int(i));
            EXPECT_EQ(table[at].name, boxes[size_t(family)][i]);
            EXPECT_LE(table[at].fields.size(), size_t(isa::kMaxFields));
        }
    EXPECT_EQ(at, table.size());
}

// The reference lists a command's fields in the order the panel shows them,
// from the descriptions alone: every field that holds a value has a control,
// edits come before check boxes, radio groups and the condition box, and the
// controls of one kind by their numbers.
TEST_F(IsaCodec, ReferenceListsFieldsInTheOrderOfTheirControls) {
    const auto place = [](const std::string& name) {
        const int kind = name.find("Edit") != std::string::npos    ? 0
                         : name.find("Check") != std::string::npos ? 1
                         : name.find("IfCBox") != std::string::npos ? 3
                                                                    : 2;
        const size_t digits = name.find_last_not_of("0123456789") + 1;
        return std::pair{kind, digits < name.size() ? std::stoi(name.substr(digits)) : 0};
    };
    for (const CommandDesc& c : isa::commandTable()) {
        std::vector<std::pair<int, int>> places;
        for (const FieldDesc* f : FieldsInPanelOrder(c)) {
            const std::string name = FieldControlName(c, f->id);
            ASSERT_FALSE(name.empty()) << c.name << " " << f->id;
            places.push_back(place(name));
        }
        EXPECT_TRUE(std::is_sorted(places.begin(), places.end())) << isa::familyName(c.family) << " " << c.name;
    }
}

// A command its family's layout does not list (a new one) still gets a
// control for every field while the panel has one left.
TEST(DefaultPlacement, FieldsFillThePanelInTheOrderDescribed) {
    using K = FieldKind;
    struct Case {
        isa::Family family;
        std::vector<K> kinds;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {isa::Family::Servo, {K::Number, K::Check, K::Target, K::Condition, K::Check},
         {"ServoEdit1", "ServoCheck1", "ServoEdit2", "ServoIfCBox", "ServoCheck2"}},
        {isa::Family::Stepper, {K::Label, K::Choice, K::Text}, {"StepLabel10", "StepRG", "StepEdit1"}},
        {isa::Family::Master, {K::Choice, K::Choice, K::Number}, {"RadioGroup1", "RadioGroup2", "MasterEdit1"}},
        {isa::Family::Io, {K::Condition, K::Check}, {"", "IoCheck1"}},   // the I/O panel has no condition box
        {isa::Family::Servo, std::vector<K>(10, K::Number),
         {"ServoEdit1", "ServoEdit2", "ServoEdit3", "ServoEdit4", "ServoEdit5", "ServoEdit6", "ServoEdit7",
          "ServoEdit8", "ServoEdit9", ""}},
    };
    for (const Case& c : cases) {
        CommandDesc command;
        command.family = c.family;
        for (K kind : c.kinds) {
            FieldDesc f;
            f.kind = kind;
            command.fields.push_back(f);
        }
        EXPECT_EQ(DefaultControlNames(command), c.names) << isa::familyName(c.family);
    }
}

// The panel each command lays out: every caption, item and default as the
// description gives it, nothing shown that no field describes, the command
// class, and the field names that program text writes.
TEST_F(IsaCodec, PanelsAndProgramTextMatchTheDescriptions) {
    std::vector<int> types(s->moduleTypes, s->moduleTypes + 32);
    InstructionTexts texts(types);
    for (const CommandDesc& c : isa::commandTable()) {
        SCOPED_TRACE(c.name);
        Panel p = PanelOf(c.family);
        Choose(c, AddressFor(c), p);
        EXPECT_EQ(s->form.CmdClassEdit.text, c.classText);
        EXPECT_EQ(s->builderLine.commandCode, c.code);
        EXPECT_EQ(s->builderLine.bytes[0], c.framing == isa::Framing::Master ? kMasterMarker : kFrameHeader);

        std::set<const Ctl*> described;
        FieldValues initial;
        std::vector<std::string> names;
        for (const FieldDesc& f : c.fields) {
            Ctl* ctl = ControlOf(c, f, p);
            ASSERT_NE(ctl, nullptr) << f.id << " [" << f.caption << "]";
            described.insert(ctl);
            if (f.isChoice()) {
                ASSERT_EQ(ctl->items.size(), f.items.size()) << f.id;
                for (size_t k = 0; k < f.items.size(); ++k) {
                    EXPECT_EQ(ctl->items[k], f.items[k].caption);
                    names.push_back(f.items[k].id);
                }
            } else if (f.kind == FieldKind::Target) {
                names.push_back("->");
            } else if (f.kind == FieldKind::Check) {
                names.push_back(f.id);
            } else if (f.holdsValue() && f.gate.kind != isa::Gate::IfItem) {
                names.push_back(f.id + "=");
            }
            if (f.holdsValue()) initial.append(f.id, f.initial);
        }
        EXPECT_EQ(Dump(Read(c, p)), Dump(initial));
        EXPECT_EQ(names, texts.fieldNames(TypeOf(c.family), c.index));
        for (const FieldDesc& f : c.fields)   // the layout names the control found by its caption
            EXPECT_EQ(FieldControl(s->form, c, f.id), ControlOf(c, f, p)) << f.id << " [" << f.caption << "]";

        std::vector<Ctl*> shown = p.checks;
        for (auto& [label, edit] : p.edits) shown.push_back(edit);
        for (Ctl* r : p.radios) shown.push_back(r);
        if (p.conditions) shown.push_back(p.conditions);
        for (Ctl* ctl : shown)
            EXPECT_TRUE(!ctl->visible || described.count(ctl)) << "an undescribed control is shown: " << ctl->caption;
    }
}

// What every command builds, fixed: with the panel as choosing the command
// lays it out, and with every field set (numbers a third of the way up their
// range plus one, or the first value allowed; boxes checked; the last item
// chosen; texts "Hi there!" and "LOOP"), for module 1 (servo), 2 (stepper)
// or 3 (I/O): the bytes, or "! " and the refusal's first message.
struct FixedBuild {
    const char* family;
    const char* command;
    const char* defaults;
    const char* full;
};
const FixedBuild kFixedBuilds[] = {
        {"Master", "GoTo", "BB 02 00 FF FF",
         "BB 02 00 FF FF"},
        {"Master", "Call", "BB 02 01 FF FF",
         "BB 02 01 FF FF"},
        {"Master", "Return", "BB 00 02",
         "BB 00 02"},
        {"Master", "If-GoTo", "! Choose a jump condition.",
         "BB 05 03 FF FF 00 56 FF"},
        {"Master", "StopProgram", "BB 00 04",
         "BB 00 04"},
        {"Master", "Print", "BB 00 05",
         "BB 0B 05 48 69 20 74 68 65 72 65 21 0D 0A"},
        {"Master", "SetTimer", "! Invalid numeric value",
         "BB 02 06 21 4E"},
        {"Master", "GetStatus", "BB 00 07",
         "BB 00 07"},
        {"Master", "MonitorSub", "BB 02 08 FF FF",
         "BB 02 08 FF FF"},
        {"Master", "Delay", "! Invalid numeric value",
         "BB 02 09 21 4E"},
        {"Master", "WaitFor", "! Invalid numeric value",
         "BB 0D 0A BB 00 07 00 00 00 03 00 80 21 4E FF FF"},
        {"Master", "ClearKey", "BB 00 0B",
         "BB 00 0B"},
        {"Master", "SetCounter", "! Invalid numeric value",
         "BB 03 0C 21 4E 04"},
        {"Master", "CountDown", "! Invalid numeric value",
         "BB 03 0D FF FF 04"},
        {"Master", "TavoInit", "BB 00 0E",
         "BB 00 0E"},
        {"Master", "Reset", "BB 00 0F",
         "BB 00 0F"},
        {"Master", "ChangeBaud", "BB 01 13 0F",
         "BB 01 13 FF"},
        {"Servo", "Move", "! Invalid numeric value",
         "AA 01 E4 EF 57 55 55 D5 AB AA AA 2A AB AA AA 2A 56 52 01"},
        {"Servo", "Stop", "AA 01 17 22 3A 01",
         "AA 01 17 29 41 01"},
        {"Servo", "SetGain", "AA 01 E6 64 00 E8 03 00 00 00 00 FF 00 D0 07 01 00 0D 01",
         "AA 01 E6 AB 2A AB 2A AB 2A AB 2A 56 56 56 15 56 56 FE 01"},
        {"Servo", "ResetPosition", "AA 01 10 00 11 01",
         "AA 01 10 01 12 01"},
        {"Servo", "StartHoming", "AA 01 19 00 1A 01",
         "AA 01 19 EB 05 01"},
        {"Servo", "GetStatus", "AA 01 13 00 14 01",
         "AA 01 13 00 14 01"},
        {"Servo", "ClearStatBits", "AA 01 0B 0C 01",
         "AA 01 0B 0C 01"},
        {"Servo", "If-GoTo", "! Choose a condition.",
         "BB 05 03 FF FF 00 00 80"},
        {"Servo", "WaitFor", "! Choose a condition.",
         "BB 0D 0A AA 01 13 00 14 01 00 00 80 21 4E FF FF"},
        {"Stepper", "Move", "! Invalid numeric value",
         "AA 02 34 96 55 56 77 01"},
        {"Stepper", "Stop", "AA 02 17 04 1D 01",
         "AA 02 17 09 22 01"},
        {"Stepper", "SetParam", "AA 02 56 03 01 14 0A 00 7A 01",
         "AA 02 56 1F 54 56 56 56 CD 01"},
        {"Stepper", "SetOutputs", "AA 02 18 0E 28 01",
         "AA 02 18 1F 39 01"},
        {"Stepper", "ResetPosition", "AA 02 00 02 01",
         "AA 02 00 02 01"},
        {"Stepper", "StartHoming", "AA 02 19 00 1B 01",
         "AA 02 19 2B 46 01"},
        {"Stepper", "GetStatus", "AA 02 13 08 1D 02",
         "AA 02 13 08 1D 02"},
        {"Stepper", "If-GoTo", "! Choose a condition.",
         "BB 05 03 FF FF 01 00 04"},
        {"Stepper", "WaitFor", "! Choose a condition.",
         "BB 0D 0A AA 02 13 08 1D 02 01 00 04 21 4E FF FF"},
        {"I/O", "MakeOutputs", "AA 03 20 FF FF 21 01",
         "AA 03 20 00 F0 13 01"},
        {"I/O", "SetOutputs", "BB 08 12 00 00 00 00 03 01 00 00",
         "BB 08 12 00 00 00 00 03 00 00 F0"},
        {"I/O", "SetPWMs", "AA 03 24 00 00 27 01",
         "AA 03 24 56 56 D3 01"},
        {"I/O", "GetStatus", "AA 03 13 01 17 03",
         "AA 03 13 01 17 03"},
        {"I/O", "If-GoTo", "! Choose a bit.",
         "BB 05 03 FF FF 01 00 01"},
        {"I/O", "WaitFor", "! Choose a bit.",
         "BB 0D 0A AA 03 13 01 17 03 01 00 01 21 4E FF FF"},
};

FieldValues FullValues(const CommandDesc& c) {
    FieldValues v;
    for (const FieldDesc& f : c.fields) {
        switch (f.kind) {
            case FieldKind::Number: {
                const long long n = f.only.empty() ? f.min + (f.max - f.min) / 3 + 1 : f.only.front();
                v.append(f.id, Value::ofInt(std::min(n, f.max)));
                break;
            }
            case FieldKind::Check: v.append(f.id, Value::ofBool(true)); break;
            case FieldKind::Choice:
            case FieldKind::Condition: v.append(f.id, Value::ofInt(int(f.items.size()) - 1)); break;
            case FieldKind::Text: v.append(f.id, Value::ofText(std::string("Hi there!").substr(0, size_t(f.maxChars)))); break;
            case FieldKind::Target: v.append(f.id, Value::ofText("LOOP")); break;
            case FieldKind::Label: break;
        }
    }
    return v;
}

std::string Hex(const Bytes& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += Format(out.empty() ? "%02X" : " %02X", unsigned(b));
    return out;
}

// The builder and the codec against the fixed bytes, the builder's panel
// filled through its controls as a user fills it.
TEST_F(IsaCodec, EveryCommandBuildsItsFixedBytes) {
    ASSERT_EQ(std::size(kFixedBuilds), isa::commandTable().size());
    for (const FixedBuild& row : kFixedBuilds) {
        isa::Family family = isa::Family::Master;
        for (isa::Family f : isa::kFamilies)
            if (std::string(isa::familyName(f)) == row.family) family = f;
        const CommandDesc* c = isa::findCommand(family, row.command);
        ASSERT_NE(c, nullptr) << row.family << " " << row.command;
        const int address = family == isa::Family::Master ? 0 : family == isa::Family::Servo ? 1
                            : family == isa::Family::Stepper                               ? 2
                                                                                           : 3;
        for (const bool full : {false, true}) {
            SCOPED_TRACE(std::string(row.family) + " " + row.command + (full ? " with every field set" : " defaults"));
            const FieldValues v = full ? FullValues(*c) : FieldValues();
            const std::string expected = full ? row.full : row.defaults;
            Panel p = PanelOf(family);
            Choose(*c, address, p);
            Fill(*c, v, p);
            ui.messages.clear();
            const int built = BuildInstruction(*s);
            EXPECT_EQ(built == 0 ? Hex(Built()) : "! " + (ui.messages.empty() ? "" : ui.messages[0]), expected);
            const isa::EncodeResult r = isa::encode(*c, v, uint8_t(address));
            const isa::Encoded* e = std::get_if<isa::Encoded>(&r);
            EXPECT_EQ(e ? Hex(Bytes(e->bytes.begin(), e->bytes.begin() + e->length))
                        : "! " + std::get<isa::Refusal>(r).messages[0],
                      expected);
        }
    }
}

TEST_F(IsaCodec, RandomValuesBuildDecodeAndListAsTheBuilderDoes) {
    for (const CommandDesc& c : isa::commandTable()) {
        int built = 0;
        for (int round = 0; round < 300; ++round) built += Compare(c, RandomValues(c), RandomText(12, false));
        EXPECT_GT(built, 200) << c.name;   // most random panels are accepted
        if (HasFailure()) return;
    }
}

// Every refusal: each number empty, not a number, just outside its range and
// (ChangeBaud) inside it but not allowed; a condition or bit not chosen.
TEST_F(IsaCodec, RefusalsNameTheFieldAndTheBuildersMessages) {
    int refusals = 0;
    for (const CommandDesc& c : isa::commandTable()) {
        for (const FieldDesc& f : c.fields) {
            std::vector<Value> bad;
            if (f.kind == FieldKind::Number)
                bad = {Value(), Value::ofText(" x1"), Value::ofInt(f.min - 1), Value::ofInt(f.max + 1),
                       Value::ofText("99999999999"), Value::ofText(f.min > 0 ? "-1" : "-2147483648")};
            if (!f.only.empty()) bad.push_back(Value::ofInt(4800));
            if (f.isChoice() && !f.noneMessage.empty()) bad = {Value::ofInt(-1), Value::ofInt(int(f.items.size()))};
            for (const Value& value : bad) {
                FieldValues v = RandomValues(c);
                v.set(f.id, value);
                for (const FieldDesc& g : c.fields)
                    if (g.gate.kind == isa::Gate::IfItem && g.id == f.id) v.set(g.gate.field, Value::ofInt(g.gate.item));
                if (c.hasAlternate) v.set(c.alternateSwitch, Value::ofBool(f.altAt >= 0 && rng() % 2));
                refusals += !Compare(c, v, "");
            }
        }
        if (!c.groupField.empty()) {
            FieldValues v = RandomValues(c);
            for (const FieldDesc& f : c.fields)
                if (f.group) v.set(f.id, Value::ofBool(false));
            refusals += !Compare(c, v, "");
        }
    }
    EXPECT_GT(refusals, 200);
}

// Stored records of any bytes, code and goto-label: decoding gives what the
// loader shows (or nothing where it loads nothing), and the listing text is
// the builder's, for every module type and framing byte.
TEST_F(IsaCodec, AnyStoredRecordDecodesAndListsAsTheLoaderAndListingDo) {
    std::vector<uint8_t> codes = {16, 17, 20, 0x7E, 0xFF, 0x34};
    for (const CommandDesc& c : isa::commandTable()) codes.push_back(c.code);
    for (int round = 0; round < 6000; ++round) {
        ProgramLine line{};
        line.moduleAddress = uint8_t(round % 32);
        line.commandCode = codes[rng() % codes.size()];
        for (uint8_t& b : line.bytes) b = uint8_t(rng() % 4 ? rng() : rng() % 2 ? 0 : 0xFF);
        const int first = rng() % 3;
        line.bytes[0] = first == 0 ? kMasterMarker : first == 1 ? kFrameHeader : line.bytes[0];
        if (rng() % 2) line.bytes[1] = uint8_t(rng() % 22);
        line.length = uint8_t(rng() % 25);
        line.setGotoLabel(RandomText(15, rng() % 2));
        line.setLabel(RandomText(12, false));
        const isa::Encoded e = StoredInstruction(line);
        const int type = ModuleTypeOf(*s, line.moduleAddress);
        SCOPED_TRACE(testing::Message() << "module " << int(line.moduleAddress) << " code " << int(line.commandCode));
        EXPECT_EQ(isa::listingText(line.labelText(), line.moduleAddress, e, type), FormatListingText(*s, line));

        const isa::Decoded d = isa::decode(e, type);
        Load(line);
        isa::Family family;
        if (!isa::familyOfType(type, family)) {
            EXPECT_EQ(d.command, nullptr);
            continue;
        }
        Panel p = PanelOf(family);
        if (p.box->index < 0) {
            EXPECT_EQ(d.command, nullptr);
            continue;
        }
        ASSERT_NE(d.command, nullptr);
        EXPECT_EQ(d.command->index, p.box->index);
        EXPECT_EQ(Dump(d.values), Dump(Read(*d.command, p)));
        if (HasFailure()) return;
    }
}

}  // namespace
