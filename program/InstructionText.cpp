#include "program/InstructionText.h"

#include <cctype>
#include <cstring>
#include <utility>

#include "app/MainState.h"
#include "app/QuietPlatform.h"
#include "isa/Commands.h"
#include "isa/Instruction.h"
#include "isa/Io.h"
#include "isa/Master.h"
#include "isa/Servo.h"
#include "isa/Stepper.h"
#include "modules/ModuleList.h"
#include "program/ProgramFile.h"

namespace {

// Captions of the edits whose text becomes the goto-label.
constexpr const char* kJumpCaptions[] = {"GoTo Label", "Call Label", "Subroutine Label", "GoTo on Timeout",
                                         "LoopTo if not 0"};
constexpr size_t kTextChars = 15;  // labels, goto-labels and Print texts
constexpr size_t kEditChars = 39;  // what a numeric edit holds
constexpr size_t kMessageChars = 40;

// Check boxes of which a line names one at least.  The panel checks one of
// them when the command is chosen, so a line without any would build what the
// untouched panel never does (SetParam without a speed box has speed 8x,
// while the panel shows Speed 1x checked).
struct RequiredChoice {
    int type;
    const char* command;
    const char* what;
    std::vector<const char*> names;
};
const RequiredChoice kRequiredChoices[] = {
    {kTypeStepper, "SetParam", "speed factor", {"speed-1x", "speed-2x", "speed-4x", "speed-8x"}},
};

bool IsJumpCaption(const std::string& caption) {
    for (const char* c : kJumpCaptions)
        if (caption == c) return true;
    return false;
}

enum class Kind { Edit, Target, Check, Radio, Condition };

struct Field {
    std::string name;
    Kind kind;
    Ctl* ctl;               // the edit, check box, radio group or condition box
    int item = -1;          // radio or condition item
    Ctl* beside = nullptr;  // the edit beside a radio item
    bool text = false;      // a text edit cut to 15 characters (Print)
};

struct Radio {
    Ctl* group;
    std::vector<Ctl*> beside;  // per item, null where none
};

struct Family {
    int type = -1;
    const char* className = "";
    Ctl* box = nullptr;
    void (*click)(MainState&) = nullptr;
    std::vector<std::string> commands;
    std::vector<std::pair<Ctl*, Ctl*>> edits;  // label, edit
    std::vector<Ctl*> checks;
    std::vector<Radio> radios;
    Ctl* conditions = nullptr;
    std::vector<std::vector<Field>> fields;  // per command, read off the panel once
    std::vector<bool> known;
};

template <int N>
std::vector<std::string> Names(const char* const (&items)[N]) {
    return std::vector<std::string>(items, items + N);
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

bool KnownType(int t) { return t == kTypeServo || t == kTypeIo || t == kTypeStepper || t == kTypeMaster; }

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

bool SameRecord(const ProgramLine& a, const ProgramLine& b) {
    if (a.labelText() != b.labelText() || a.gotoLabelText() != b.gotoLabelText()) return false;
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

// A label or goto-label as the text gives it; "" when it is acceptable.
std::string CheckLabelText(const std::string& text, const char* what) {
    if (text.size() > kTextChars) return Format("the %s is longer than 15 characters", what);
    if (text.find('\0') != std::string::npos) return Format("the %s holds a NUL character", what);
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
        error.message = Format("patch=%d leaves no room for the jump address: its 2 bytes must lie within the %d "
                               "bytes of the instruction, after the first 3",
                               int(line.patchOffset), int(line.length));
    }
    return false;
}

}  // namespace

std::string CutForMessage(const std::string& text) {
    return text.size() <= kMessageChars ? text : text.substr(0, kMessageChars) + "...";
}

std::string FieldNameOf(const std::string& caption) {
    // Two mode boxes of the servo Move would otherwise read like its PWM field.
    if (caption == "PWM (default=Servo Mode)") return "pwm-mode";
    if (caption == "Vel. (default=Pos. Mode)") return "vel-mode";
    std::string name;
    int depth = 0;
    bool gap = false;
    for (char c : caption) {
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) {
            --depth;
            continue;
        }
        if (depth > 0) continue;
        if (std::isalnum(static_cast<unsigned char>(c))) {
            if (gap && !name.empty()) name += '-';
            gap = false;
            name += char(std::tolower(static_cast<unsigned char>(c)));
        } else {
            gap = true;
        }
    }
    return name;
}

struct InstructionTexts::Impl {
    QuietPlatform sink;  // the builder's messages, collected instead of shown
    std::unique_ptr<MainState> s = std::make_unique<MainState>(sink);
    Family families[4];
    int types[32];
    int listSize;

    explicit Impl(const std::vector<int>& moduleTypes) : listSize(int(moduleTypes.size())) {
        for (int a = 0; a < 32; ++a) {
            const int t = a < int(moduleTypes.size()) ? moduleTypes[size_t(a)] : kTypeUnknown;
            types[a] = KnownType(t) ? t : kTypeUnknown;
            s->moduleTypes[a] = types[a];
        }
        Form& f = s->form;
        MasterPanel& m = f.master;
        Family& master = Start(families[0], kTypeMaster, "[Master]", f.MasterCBox, MasterCBoxClick,
                               Names(kMasterCommands));
        master.edits = {{&m.MasterLabel[1], &m.MasterEdit[1]}, {&m.MasterLabel[2], &m.MasterEdit[2]}};
        master.checks = {&m.MasterCheck[1], &m.MasterCheck[2]};
        master.radios = {{&m.RadioGroup1, {&m.MasterEdit[3], nullptr}},
                         {&m.RadioGroup2,
                          {&m.MasterEdit[3], nullptr, nullptr, &m.MasterEdit[4], &m.MasterEdit[5], &m.MasterEdit[6],
                           &m.MasterEdit[7], &m.MasterEdit[8]}}};

        MotorFamily(families[1], kTypeServo, "ZEL-SERVO", f.ServoCBox, ServoCBoxClick, Names(kServoCommands),
                    f.servo.ServoLabel, f.servo.ServoEdit, f.servo.ServoCheck, f.servo.ServoRG, f.servo.ServoIfCBox);
        MotorFamily(families[2], kTypeStepper, "ZEL-STEP", f.StepCBox, StepCBoxClick, Names(kStepCommands),
                    f.step.StepLabel, f.step.StepEdit, f.step.StepCheck, f.step.StepRG, f.step.StepIfCBox);

        IoPanel& io = f.io;
        Family& ioFamily = Start(families[3], kTypeIo, "ZEL-I/O", f.IoCBox, IoCBoxClick, Names(kIoCommands));
        ioFamily.edits = {{&io.IoLabel[1], &io.IoEdit[1]}, {&io.IoLabel[2], &io.IoEdit[2]}};
        for (int i = 1; i <= 12; ++i) ioFamily.checks.push_back(&io.IoCheck[i]);
        ioFamily.radios = {{&io.IoRG, {}}};

        for (Family& fam : families) {
            fam.fields.resize(fam.commands.size());
            fam.known.assign(fam.commands.size(), false);
        }
    }

    static Family& Start(Family& fam, int type, const char* className, Ctl& box, void (*click)(MainState&),
                         std::vector<std::string> commands) {
        fam.type = type;
        fam.className = className;
        fam.box = &box;
        fam.click = click;
        fam.commands = std::move(commands);
        return fam;
    }

    // The servo and stepper panels share one layout.
    static void MotorFamily(Family& fam, int type, const char* className, Ctl& box, void (*click)(MainState&),
                            std::vector<std::string> commands, Ctl (&labels)[11], Ctl (&edits)[10], Ctl (&checks)[8],
                            Ctl& radioGroup, Ctl& conditionBox) {
        Start(fam, type, className, box, click, std::move(commands));
        for (int i = 1; i <= 9; ++i) fam.edits.push_back({&labels[i], &edits[i]});
        for (int i = 1; i <= 7; ++i) fam.checks.push_back(&checks[i]);
        fam.radios = {{&radioGroup, {}}};
        fam.conditions = &conditionBox;
    }

    Family* familyOf(int type) {
        for (Family& f : families)
            if (f.type == type) return &f;
        return nullptr;
    }

    // The state every line starts from: an empty builder record for the
    // module, and the selections that the panels keep from one command to
    // the next put back to the window's first state.
    void reset(int module) {
        std::memset(&s->builderLine, 0, sizeof s->builderLine);
        s->builderLine.moduleAddress = uint8_t(module);
        s->form.io.IoRG.index = 0;
        s->form.master.MasterCheck[1].checked = s->form.master.MasterCheck[2].checked = false;
        s->form.LabelEdit.text.clear();
        for (Family& f : families) f.box->index = -1;
    }

    // The fields of command index of family f, read off the panel the click
    // handler has just laid out.
    const std::vector<Field>& fieldsOf(Family& f, int index) {
        const size_t i = size_t(index);
        if (f.known[i]) return f.fields[i];
        std::vector<Field>& out = f.fields[i];
        for (auto& [label, edit] : f.edits) {
            if (!edit->visible) continue;
            Field field{FieldNameOf(label->caption), IsJumpCaption(label->caption) ? Kind::Target : Kind::Edit, edit};
            field.text = label->caption == "Print Chars";
            out.push_back(field);
        }
        for (Ctl* check : f.checks)
            if (check->visible) out.push_back(Field{FieldNameOf(check->caption), Kind::Check, check});
        for (Radio& r : f.radios) {
            if (!r.group->visible) continue;
            for (size_t k = 0; k < r.group->items.size(); ++k) {
                Field field{FieldNameOf(r.group->items[k]), Kind::Radio, r.group, int(k)};
                if (k < r.beside.size()) field.beside = r.beside[k];
                out.push_back(field);
            }
        }
        if (f.conditions && f.conditions->visible)
            for (size_t k = 0; k < f.conditions->items.size(); ++k)
                out.push_back(Field{FieldNameOf(f.conditions->items[k]), Kind::Condition, f.conditions, int(k)});
        f.known[i] = true;
        return out;
    }

    // Chooses the command as its combo box does; the family and index, or
    // false with the reason.
    bool choose(const InstructionText& t, Family*& family, int& index, LineError& error) {
        if (t.module < 0 || t.module > 31 || !(family = familyOf(types[t.module]))) {
            error.column = t.moduleColumn;
            error.message = t.module >= 0 && t.module < listSize
                                ? Format("module %d has no command class; write its lines in the raw form", t.module)
                                : Format("module %d is not in the module list", t.module);
            return false;
        }
        index = -1;
        for (size_t i = 0; i < family->commands.size(); ++i)
            if (family->commands[i] == t.command) index = int(i);
        if (index < 0) {
            error.column = t.commandColumn;
            error.message = "'" + CutForMessage(t.command) + "' is not a command of " + family->className +
                            "; its commands are " + Join(family->commands, ", ");
            return false;
        }
        reset(t.module);
        family->box->index = index;
        family->click(*s);
        return true;
    }

    std::string fieldList(const std::vector<Field>& fields) {
        std::vector<std::string> names;
        for (const Field& f : fields) {
            if (f.kind == Kind::Target) continue;
            names.push_back(f.name + (f.kind == Kind::Edit ? "=" : ""));
        }
        return names.empty() ? std::string("it has none") : "its fields are " + Join(names, ", ");
    }

    // Fills the panel from the line's fields; false with the reason.
    bool fill(const InstructionText& t, const std::vector<Field>& fields, LineError& error) {
        for (const Field& f : fields)
            if (f.kind == Kind::Check) f.ctl->checked = false;
        std::vector<const Ctl*> chosen;  // radio groups and condition boxes set so far
        std::vector<std::string> seen;
        auto fail = [&error](const TextField& at, const std::string& message) {
            error.column = at.column;
            error.field = at.name;
            error.message = message;
            return false;
        };
        for (const TextField& tf : t.fields) {
            const Field* f = nullptr;
            for (const Field& candidate : fields)
                if (candidate.name == tf.name && candidate.kind != Kind::Target) f = &candidate;
            if (!f)
                return fail(tf, t.command + " has no field '" + CutForMessage(tf.name) + "'; " + fieldList(fields));
            for (const std::string& name : seen)
                if (name == tf.name) return fail(tf, "the field is given twice");
            seen.push_back(tf.name);
            switch (f->kind) {
                case Kind::Edit:
                    if (!tf.hasValue) return fail(tf, "the field needs a value: " + tf.name + "=...");
                    if (f->text && tf.value.size() > kTextChars)
                        return fail(tf, "the text is longer than 15 characters");
                    if (tf.value.size() > kEditChars) return fail(tf, "the value is longer than 39 characters");
                    f->ctl->text = tf.value;
                    break;
                case Kind::Check:
                    if (tf.hasValue) return fail(tf, "a check box takes no value: write its name alone");
                    f->ctl->checked = true;
                    break;
                case Kind::Radio:
                case Kind::Condition:
                    for (const Ctl* c : chosen)
                        if (c == f->ctl) return fail(tf, "another choice of the same group is given already");
                    chosen.push_back(f->ctl);
                    if (tf.hasValue && !f->beside) return fail(tf, "this choice takes no value");
                    if (tf.value.size() > kEditChars) return fail(tf, "the value is longer than 39 characters");
                    f->ctl->index = f->item;
                    if (f->kind == Kind::Condition) f->ctl->text = f->ctl->items[size_t(f->item)];
                    if (f->beside) f->beside->text = tf.hasValue ? tf.value : std::string();
                    break;
                case Kind::Target: break;
            }
        }
        const Field* target = nullptr;
        for (const Field& f : fields)
            if (f.kind == Kind::Target) target = &f;
        if (t.hasTarget || t.hasPatched) {
            error.column = t.hasTarget ? t.targetColumn : t.patchedColumn;
            error.field = "->";
            if (!target) {
                error.message = t.command + " does not jump to a label";
                return false;
            }
            error.message = CheckLabelText(t.target, "goto-label");
            if (!error.message.empty()) return false;
            target->ctl->text = t.target;
            error.field.clear();
        }
        return true;
    }

    // The field named in the error of a refused build.
    std::string refusedField(const std::vector<Field>& fields) {
        int edits = 0;
        const Field* only = nullptr;
        for (const Field& f : fields) {
            if ((f.ctl == s->rejectedField && f.kind == Kind::Edit) || (f.beside && f.beside == s->rejectedField))
                return f.name;
            if (f.kind == Kind::Edit) {
                ++edits;
                only = &f;
            }
        }
        const std::string all = Join(sink.messages, " ");
        if (all.find("condition") != std::string::npos) return "condition";
        if (all.find("bit") != std::string::npos) return "bit";
        return edits == 1 ? only->name : std::string();
    }

    bool buildRaw(const InstructionText& t, ProgramLine& line, LineError& error) {
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
                error.message =
                    "raw has no field '" + CutForMessage(tf.name) + "'; its fields are code=, bytes=, patch=";
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

    // A line that names none of a required group of boxes; "" when it names one.
    static std::string MissingChoice(const Family& family, const InstructionText& t) {
        for (const RequiredChoice& r : kRequiredChoices) {
            if (r.type != family.type || t.command != r.command) continue;
            for (const TextField& f : t.fields)
                for (const char* name : r.names)
                    if (f.name == name) return std::string();
            std::string list;
            for (size_t i = 0; i < r.names.size(); ++i)
                list += (i == 0 ? "" : i + 1 == r.names.size() ? " or " : ", ") + std::string(r.names[i]);
            return t.command + " names its " + r.what + ": " + list;
        }
        return std::string();
    }

    bool build(const InstructionText& t, ProgramLine& line, LineError& error) {
        error = LineError();
        error.column = t.labelColumn;
        error.field = "label";
        error.message = CheckLabelText(t.label, "label");
        if (error.message.empty() && !t.label.empty() && t.label[0] == ';')
            error.message = "a label cannot begin with ';'";
        if (!error.message.empty()) return false;
        error.field.clear();
        if (t.command == kRawCommand) return buildRaw(t, line, error);

        Family* family = nullptr;
        int index = -1;
        if (!choose(t, family, index, error)) return false;
        const std::vector<Field>& fields = fieldsOf(*family, index);
        if (!fill(t, fields, error)) return false;
        error.message = MissingChoice(*family, t);
        if (!error.message.empty()) {
            error.column = t.commandColumn;
            return false;
        }
        s->form.LabelEdit.text = t.label;
        sink.messages.clear();
        s->rejectedField = nullptr;
        if (BuildInstruction(*s) != 0) {
            error.field = refusedField(fields);
            error.column = t.commandColumn;
            for (const TextField& tf : t.fields)
                if (tf.name == error.field) error.column = tf.column;
            error.message = sink.messages.empty() ? std::string("the instruction cannot be built")
                                                  : Join(sink.messages, "; ");
            return false;
        }
        line = s->builderLine;
        line.address = 0;
        line.targetAddress = 0;
        for (int k = line.length; k < kMaxInstrBytes; ++k) line.bytes[k] = 0;
        if (t.hasPatched) {
            if (line.patchOffset + 2 > line.length) {
                error.column = t.patchedColumn;
                error.message = t.command + " has no jump address";
                return false;
            }
            PutU16(line.bytes + line.patchOffset, t.patched);
            line.targetAddress = t.patched;
        }
        return Storable(t, line, error);
    }

    InstructionText rawText(const ProgramLine& line) {
        InstructionText t;
        t.label = line.labelText();
        t.module = line.moduleAddress;
        t.command = kRawCommand;
        t.fields.push_back(Valued("code", Format("%02X", unsigned(line.commandCode))));
        std::string bytes;
        const int n = line.length <= kMaxInstrBytes ? line.length : kMaxInstrBytes;
        for (int k = 0; k < n; ++k) bytes += Format(k ? " %02X" : "%02X", unsigned(line.bytes[k]));
        t.fields.push_back(Valued("bytes", bytes));
        if (line.patchOffset != 0) t.fields.push_back(Valued("patch", Format("%d", line.patchOffset)));
        t.target = line.gotoLabelText();
        t.hasTarget = !t.target.empty();
        return t;
    }

    InstructionText read(const ProgramLine& line) {
        Family* family = familyOf(types[line.moduleAddress < 32 ? line.moduleAddress : 0]);
        if (line.moduleAddress > 31 || !family || line.length > kMaxInstrBytes) return rawText(line);
        reset(line.moduleAddress);
        s->builderLine = line;
        LoadInstruction(*s);
        const int index = family->box->index;
        if (index < 0) return rawText(line);

        InstructionText t;
        t.label = line.labelText();
        t.module = line.moduleAddress;
        t.command = family->commands[size_t(index)];
        for (const Field& f : fieldsOf(*family, index)) {
            switch (f.kind) {
                case Kind::Edit: t.fields.push_back(Valued(f.name, f.ctl->text)); break;
                case Kind::Target:
                    t.target = f.ctl->text;
                    t.hasTarget = !t.target.empty();
                    break;
                case Kind::Check:
                    if (f.ctl->checked) t.fields.push_back(Word(f.name));
                    break;
                case Kind::Radio:
                case Kind::Condition:
                    if (f.ctl->index != f.item) break;
                    if (f.beside && !f.beside->text.empty())
                        t.fields.push_back(Valued(f.name, f.beside->text));
                    else
                        t.fields.push_back(Word(f.name));
                    break;
            }
        }

        // The text stands for the record only when it builds the record again.
        ProgramLine rebuilt;
        LineError error;
        if (!build(t, rebuilt, error)) return rawText(line);
        const int p = rebuilt.patchOffset;
        if (t.command != kRawCommand && p + 2 <= rebuilt.length && p + 2 <= line.length &&
            std::memcmp(rebuilt.bytes + p, line.bytes + p, 2) != 0) {
            bool jumps = false;
            for (const Field& f : fieldsOf(*family, index)) jumps = jumps || f.kind == Kind::Target;
            if (jumps) {
                t.hasPatched = true;
                t.patched = GetU16(line.bytes + p);
                PutU16(rebuilt.bytes + p, t.patched);
            }
        }
        return SameRecord(rebuilt, line) ? t : rawText(line);
    }
};

InstructionTexts::InstructionTexts(const std::vector<int>& moduleTypes) : impl_(new Impl(moduleTypes)) {}
InstructionTexts::~InstructionTexts() = default;

bool InstructionTexts::build(const InstructionText& text, ProgramLine& line, LineError& error) {
    return impl_->build(text, line, error);
}

InstructionText InstructionTexts::read(const ProgramLine& line) { return impl_->read(line); }

std::vector<std::string> InstructionTexts::fieldNames(int moduleType, int commandIndex) {
    Family* f = impl_->familyOf(moduleType);
    if (!f || commandIndex < 0 || commandIndex >= int(f->commands.size())) return {};
    impl_->reset(0);
    f->box->index = commandIndex;
    f->click(*impl_->s);
    std::vector<std::string> names;
    for (const Field& field : impl_->fieldsOf(*f, commandIndex))
        names.push_back(field.kind == Kind::Target ? "->" : field.name + (field.kind == Kind::Edit ? "=" : ""));
    return names;
}
