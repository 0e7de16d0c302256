// The command reference, learnt from the families' own routines: a panel is
// laid out by its click handler on a private MainState, its numeric ranges are
// noted as the encoder hands them to ReadIntField, and the example is what the
// encoder builds from the default panel.

#include "isa/CommandReference.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/MainState.h"
#include "app/QuietPlatform.h"
#include "isa/Commands.h"
#include "isa/Instruction.h"
#include "isa/Io.h"
#include "isa/Master.h"
#include "isa/Servo.h"
#include "isa/Stepper.h"

namespace {

struct Read {
    const Ctl* edit;
    int min, max;
};
thread_local std::vector<Read>* tReads = nullptr;   // set while a probe builds
thread_local bool tProbing = false;                  // no tool tips while probing

struct Family {
    const char* name;
    int type;
    int address;                       // of the examples
    Ctl Form::*box;
    void (*click)(MainState&);
    std::vector<std::string> prefixes;  // object names of the panel's controls
    const char* const* commands;
    int count;
};

const Family kFamilies[4] = {
    {"Master", kTypeMaster, 0, &Form::MasterCBox, MasterCBoxClick,
     {"MasterEdit", "MasterCheck", "RadioGroup"}, kMasterCommands, 17},
    {"Servo", kTypeServo, 1, &Form::ServoCBox, ServoCBoxClick,
     {"ServoEdit", "ServoCheck", "ServoRG", "ServoIfCBox"}, kServoCommands, 9},
    {"Stepper", kTypeStepper, 1, &Form::StepCBox, StepCBoxClick,
     {"StepEdit", "StepCheck", "StepRG", "StepIfCBox"}, kStepCommands, 9},
    {"I/O", kTypeIo, 1, &Form::IoCBox, IoCBoxClick, {"IoEdit", "IoCheck", "IoRG"}, kIoCommands, 6},
};

struct Summary {
    const char* family;
    const char* name;
    const char* text;
};

const Summary kSummaries[] = {
    {"Master", "GoTo", "Continues the program at the line with the given label."},
    {"Master", "Call", "Calls the subroutine that starts at the given label; its Return comes back to the next line."},
    {"Master", "Return", "Ends a subroutine: the program goes on after the Call that started it (or where the "
                         "timer's monitor subroutine interrupted it)."},
    {"Master", "If-GoTo", "Jumps to the label when the chosen condition holds: a given key or any key typed, the "
                          "timer run out, a counter or the number of modules equal to a value. Otherwise the next "
                          "line follows."},
    {"Master", "StopProgram", "Stops the program."},
    {"Master", "Print", "Sends up to 15 characters to the terminal, optionally followed by a carriage return and "
                        "a line feed."},
    {"Master", "SetTimer", "Starts the master's timer; the If-GoTo condition Timeout holds once it has run out."},
    {"Master", "GetStatus", "Reads the master's own status (module count, key, timer, counters) for the "
                            "conditions that follow."},
    {"Master", "MonitorSub", "Names a subroutine that the master calls each time the timer runs out; its Return "
                             "resumes the program."},
    {"Master", "Delay", "Waits for the given time."},
    {"Master", "WaitFor", "Waits until a key (any key, or a given one) is typed at the terminal; when the timeout "
                          "runs out first, jumps to the timeout label."},
    {"Master", "ClearKey", "Forgets the key typed last, so that the key conditions wait for a new one."},
    {"Master", "SetCounter", "Sets one of the four counters to a value."},
    {"Master", "CountDown", "Counts a counter down by one and jumps to the label while it is not 0: a loop that "
                            "runs as many times as the counter was set to."},
    {"Master", "TavoInit", "Has the master count the modules on its network again."},
    {"Master", "Reset", "Restarts the master as at power-up."},
    {"Master", "ChangeBaud", "Changes the master's serial rate. A program that contains it can be loaded, but "
                             "not run or stepped from this tool."},
    {"Servo", "Move", "Moves the motor to a position (absolute, or relative with Move Relative), at a velocity, "
                      "or with a fixed PWM output; all four values are sent whatever the mode."},
    {"Servo", "Stop", "Stops the motor abruptly or smoothly, or switches it off; Enable Amplifier keeps the "
                      "amplifier on."},
    {"Servo", "SetGain", "Sets the servo's control loop values Kp, Kd, Ki and the limits IL, OL, CL, EL, SR and "
                         "DC; what each does is the module's (see its manual)."},
    {"Servo", "ResetPosition", "Sets the position counter to 0, or with Relative to Home makes positions count "
                               "from the home position."},
    {"Servo", "StartHoming", "Arms homing: the position is recorded as home when any checked condition occurs; "
                             "with Stop on Home the motor is then stopped as chosen."},
    {"Servo", "GetStatus", "Reads the servo's status byte for the conditions that follow."},
    {"Servo", "ClearStatBits", "Clears the servo's latched status bits."},
    {"Servo", "If-GoTo", "Jumps to the label when the servo status last read (by GetStatus or any frame to the "
                         "module) shows the chosen condition."},
    {"Servo", "WaitFor", "Reads the servo's status again and again until the chosen condition holds; when the "
                         "timeout runs out first, jumps to the timeout label."},
    {"Stepper", "Move", "Moves the motor to a position, or in Velocity mode runs it at a speed (Reverse: "
                        "backwards). Speed and acceleration are multiplied by the SetParam speed factor."},
    {"Stepper", "Stop", "Stops the motor abruptly or smoothly; without Enable Amplifier the motor is switched "
                        "off."},
    {"Stepper", "SetParam", "Sets the minimum speed, the run and hold currents, the thermal limit, the speed "
                            "factor (1x, 2x, 4x or 8x; the first checked counts) and whether the limits, the stop "
                            "input and E-Stop are obeyed."},
    {"Stepper", "SetOutputs", "Sets the driver's outputs and modes: Out1, Half Step, Slow Decay, Run Mode, Out5."},
    {"Stepper", "ResetPosition", "Sets the position counter to 0."},
    {"Stepper", "StartHoming", "Arms homing on limit 1, limit 2 or the home switch; with Stop on Home the motor "
                               "stops as chosen when home is found."},
    {"Stepper", "GetStatus", "Reads the stepper's status byte and its input byte (limits, home switch, E-Stop, "
                             "inputs) for the conditions that follow."},
    {"Stepper", "If-GoTo", "Jumps to the label when the stepper status last read (status byte, or the input "
                           "byte after a GetStatus) shows the chosen condition."},
    {"Stepper", "WaitFor", "Reads the stepper's status and inputs again and again until the chosen condition "
                           "holds; when the timeout runs out first, jumps to the timeout label."},
    {"I/O", "MakeOutputs", "Makes the checked bits outputs; the others are inputs."},
    {"I/O", "SetOutputs", "Sets (or with Clear, clears) the checked output bits; the master executes it for the "
                          "module."},
    {"I/O", "SetPWMs", "Sets the module's two PWM outputs."},
    {"I/O", "GetStatus", "Reads the module's twelve bits for the conditions that follow."},
    {"I/O", "If-GoTo", "Jumps to the label when the chosen bit (the first checked) is set, or with Clear is "
                       "clear, as last read from the module."},
    {"I/O", "WaitFor", "Reads the module's bits again and again until the chosen bit (the first checked) is set, "
                       "or with Clear is clear; when the timeout runs out first, jumps to the timeout label."},
};

// What the status bytes that the conditions test hold.
struct BitName {
    const char* family;
    int selector;
    uint8_t mask;
    const char* name;
};
const BitName kBitNames[] = {
    {"Servo", 0, 0x01, "move done"},        {"Servo", 0, 0x04, "overcurrent"},
    {"Servo", 0, 0x08, "power on"},         {"Servo", 0, 0x10, "position error"},
    {"Servo", 0, 0x20, "limit 1 input high"}, {"Servo", 0, 0x40, "limit 2 input high"},
    {"Servo", 0, 0x80, "homing in progress"}, {"Stepper", 0, 0x01, "moving"},
    {"Stepper", 0, 0x04, "amplifier enabled"}, {"Stepper", 0, 0x08, "power on"},
    {"Stepper", 0, 0x10, "at speed"},       {"Stepper", 0, 0x80, "homing in progress"},
    {"Stepper", 1, 0x01, "E-Stop input high"}, {"Stepper", 1, 0x02, "input 1 high"},
    {"Stepper", 1, 0x04, "input 2 high"},   {"Stepper", 1, 0x08, "limit 1 input high"},
    {"Stepper", 1, 0x10, "limit 2 input high"}, {"Stepper", 1, 0x20, "home switch input high"},
};

std::string Hex2(unsigned v) { return Format("0x%02X", v & 0xFFu); }

std::string ConditionMeaning(const std::string& family, uint8_t selector, uint8_t value, uint8_t mask) {
    if (family == "Master") {
        if (selector == 3) return mask == 0xFF ? "the key typed equals the key given" : "a key has been typed";
        if (selector == 2) return "the timer has run out";
        if (selector == 0) return "the number of modules equals the value given";
        if (selector >= 24 && selector <= 30) return Format("counter %d equals the value given", (selector - 24) / 2 + 1);
    }
    const char* byteName = selector == 0 ? "status byte" : "input byte";
    for (const BitName& b : kBitNames)
        if (family == b.family && selector == b.selector && mask == b.mask)
            return std::string(byteName) + " bit " + Hex2(mask) + " (" + b.name + ") " + (value ? "set" : "clear");
    return Format("status area byte %d and %s equals %s", selector, Hex2(mask).c_str(), Hex2(value).c_str());
}

const char* SummaryOf(const std::string& family, const std::string& name) {
    for (const Summary& s : kSummaries)
        if (family == s.family && name == s.name) return s.text;
    return "";
}

std::string UnitOf(const std::string& family, const std::string& caption) {
    if (caption.find("(.01 sec)") != std::string::npos) return "hundredths of a second";
    if (caption == "Baud Rate") return "baud";
    if (caption == "Position") return family == "Servo" ? "encoder counts" : "steps";
    return "";
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == ':')) s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    return s;
}

// One command laid out on a private state.
class Probe {
public:
    Probe(const Family& f, int index) : f_(f), s_(std::make_unique<MainState>(ui_)) {
        s_->moduleTypes[f.address] = f.type;
        s_->builderLine.moduleAddress = uint8_t(f.address);
        (s_->form.*f.box).index = index;
        f.click(*s_);
    }

    MainState& state() { return *s_; }

    // The panel's visible controls, in the order of their object names.
    std::vector<CtlRef> controls() {
        std::vector<CtlRef> out;
        for (const CtlRef& r : s_->form.controls())
            for (const std::string& p : f_.prefixes)
                if (StartsWith(r.name, p) && r.ctl->visible) out.push_back(r);
        return out;
    }

    // One build; the numeric reads it made go into reads.
    int build(std::vector<Read>& reads) {
        reads.clear();
        tReads = &reads;
        const int r = BuildInstruction(*s_);
        tReads = nullptr;
        return r;
    }

    // Builds, mending what keeps the panel from building: a field read that
    // was refused gets a value of its range, else the first bit is checked.
    int settle(std::vector<Read>& reads) {
        for (int attempt = 0; attempt < 32; ++attempt) {
            if (build(reads) == 0) return 0;
            if (!reads.empty() && !Accepts(reads.back())) {
                Ctl* edit = const_cast<Ctl*>(reads.back().edit);
                const Read& r = reads.back();
                edit->text = std::to_string(r.min <= 0 && r.max >= 0 ? 0 : r.min);
                continue;
            }
            bool mended = false;
            for (const CtlRef& c : controls())
                if (c.kind == CtlKind::Check && !c.ctl->checked) {
                    c.ctl->checked = true;
                    mended = true;
                    break;
                }
            if (!mended) return -1;
        }
        return -1;
    }

private:
    static bool Accepts(const Read& r) {
        int v = 0;
        bool outOfRange = false;
        return ScanInt(r.edit->text, v, outOfRange) && !outOfRange && v >= r.min && v <= r.max;
    }

    QuietPlatform ui_;
    const Family& f_;
    std::unique_ptr<MainState> s_;
};

// The caption beside an edit: its label, or for the master's condition edits
// the condition item they stand beside.
std::string EditCaption(MainState& s, const std::string& name) {
    if (name == "ServoIfCBox") return s.form.servo.ServoLabel[10].caption;
    if (name == "StepIfCBox") return s.form.step.StepLabel[10].caption;
    const std::string number = name.substr(name.find("Edit") + 4);
    const std::string labelName = name.substr(0, name.find("Edit")) + "Label" + number;
    if (Ctl* label = s.form.find(labelName); label && label->visible) return Trim(label->caption);
    const int k = std::stoi(number);
    const Ctl& jump = s.form.master.RadioGroup2;
    const Ctl& wait = s.form.master.RadioGroup1;
    static const int kItemBeside[9] = {-1, -1, -1, 0, 3, 4, 5, 6, 7};
    if (StartsWith(name, "MasterEdit") && k >= 3 && k <= 8) {
        if (jump.visible) return Trim(jump.items[size_t(kItemBeside[k])]);
        if (wait.visible) return Trim(wait.items[0]);
    }
    return name;
}

// What a number field takes beyond its range: the values accepted when the
// encoder refuses some inside it (a short range is tried value by value).
std::vector<int> OnlyValues(Probe& p, Ctl& edit, int min, int max) {
    std::vector<Read> reads;
    std::vector<int> only;
    const std::string saved = edit.text;
    edit.text = std::to_string(int64_t(min) + 1);
    // Ranges may span the whole of int: the width is taken in 64 bits.
    if (min < max && int64_t(max) - min <= 100000 && p.build(reads) != 0) {
        for (int v = min; v <= max; ++v) {
            edit.text = std::to_string(v);
            if (p.build(reads) == 0) only.push_back(v);
        }
    }
    edit.text = saved;
    return only;
}

CommandRef Describe(const Family& f, int index) {
    CommandRef c;
    c.family = f.name;
    c.name = f.commands[index];
    c.index = index;
    c.summary = SummaryOf(c.family, c.name);
    c.moduleAddress = f.address;

    Probe probe(f, index);
    MainState& s = probe.state();
    c.code = s.builderLine.commandCode;
    c.classText = s.form.CmdClassEdit.text;
    c.moduleFrame = s.builderLine.bytes[0] == kFrameHeader;
    const std::vector<CtlRef> shown = probe.controls();

    // The defaults as laid out, before any probe changes them.
    for (const CtlRef& r : shown) {
        FieldRef field;
        field.control = r.name;
        switch (r.kind) {
            case CtlKind::Edit:
                field.caption = EditCaption(s, r.name);
                field.initial = r.ctl->text;
                break;
            case CtlKind::Check:
                field.kind = FieldRef::Check;
                field.caption = r.ctl->caption;
                field.initial = r.ctl->checked ? "checked" : "unchecked";
                break;
            case CtlKind::Radio:
            case CtlKind::EditCombo:
                field.kind = FieldRef::Choice;
                field.caption = Trim(r.ctl->caption);
                if (r.kind == CtlKind::EditCombo) field.caption = Trim(EditCaption(s, r.name));
                if (field.caption.empty()) field.caption = "Set or Clear";
                field.items = r.ctl->items;
                for (std::string& item : field.items) item = Trim(item);
                field.initial = r.ctl->index >= 0 ? field.items[size_t(r.ctl->index)] : "none chosen";
                break;
            default:
                continue;
        }
        c.fields.push_back(field);
    }

    // Edits first, then check boxes, then choices, each in panel order.
    std::stable_sort(c.fields.begin(), c.fields.end(),
                     [](const FieldRef& a, const FieldRef& b) { return a.kind < b.kind; });

    // Every item of every choice is built once: the numeric fields read on
    // the way, and the condition each item becomes.
    std::vector<Read> all, reads;
    for (const CtlRef& r : shown) {
        if (r.kind != CtlKind::Radio && r.kind != CtlKind::EditCombo) continue;
        for (int i = 0; i < int(r.ctl->items.size()); ++i) {
            r.ctl->index = i;
            if (probe.settle(reads) != 0) continue;
            all.insert(all.end(), reads.begin(), reads.end());
            const ProgramLine& line = s.builderLine;
            const int at = line.commandCode == 3 ? 5 : line.commandCode == 10 ? 9 : -1;
            if (line.bytes[0] == kMasterMarker && at > 0 && c.family != "I/O") {
                const uint8_t* t = line.bytes + at;
                c.conditions.push_back({Trim(r.ctl->items[size_t(i)]), t[0], t[1], t[2],
                                        ConditionMeaning(c.family, t[0], t[1], t[2])});
            }
        }
        r.ctl->index = -1;
    }
    for (const CtlRef& r : shown)
        if ((r.kind == CtlKind::Radio || r.kind == CtlKind::EditCombo) && r.ctl->index < 0) r.ctl->index = 0;
    if (probe.settle(reads) == 0) all.insert(all.end(), reads.begin(), reads.end());

    for (FieldRef& field : c.fields) {
        if (field.kind != FieldRef::Text) continue;
        Ctl* edit = s.form.find(field.control);
        bool numeric = false;
        for (const Read& r : all) {
            if (r.edit != edit) continue;
            numeric = true;
            field.kind = FieldRef::Number;
            field.min = r.min;
            field.max = r.max;
        }
        if (numeric) {
            field.unit = UnitOf(c.family, field.caption);
            field.only = OnlyValues(probe, *edit, field.min, field.max);
            continue;
        }
        // A text edit whose text becomes the line's goto-label names a jump target.
        const std::string saved = edit->text;
        edit->text = "Zq9";
        if (probe.build(reads) == 0 && s.builderLine.gotoLabelText() == "Zq9") field.kind = FieldRef::Target;
        edit->text = saved;
    }

    // The example: the default panel on a fresh state, the first item of each
    // choice, empty numbers filled in, jump targets named L1 and other texts Hi.
    Probe example(f, index);
    MainState& e = example.state();
    for (const CtlRef& r : example.controls())
        if ((r.kind == CtlKind::Radio || r.kind == CtlKind::EditCombo) && r.ctl->index < 0) r.ctl->index = 0;
    for (const FieldRef& field : c.fields) {
        Ctl* ctl = e.form.find(field.control);
        if (field.kind == FieldRef::Target) ctl->text = "L1";
        if (field.kind == FieldRef::Text) ctl->text = field.control == "MasterEdit3" ? "A" : "Hi";
    }
    if (example.settle(reads) == 0) {
        const ProgramLine& line = e.builderLine;
        c.bytes.assign(line.bytes, line.bytes + line.length);
        c.patchOffset = line.gotoLabelText().empty() ? -1 : line.patchOffset;
        c.listing = FormatListingText(e, line);
    }
    std::string example_;
    for (const FieldRef& field : c.fields) {
        const Ctl* ctl = e.form.find(field.control);
        std::string value;
        if (field.kind == FieldRef::Check) {
            if (ctl->checked) value = "checked";
        } else if (field.kind == FieldRef::Choice) {
            value = ctl->index >= 0 ? field.items[size_t(ctl->index)] : "";
        } else {
            value = ctl->text;
        }
        if (value.empty()) continue;
        example_ += (example_.empty() ? "" : ", ") + field.caption + " " + value;
    }
    c.example = example_;
    return c;
}

std::vector<CommandRef> Build() {
    tProbing = true;
    std::vector<CommandRef> all;
    for (const Family& f : kFamilies)
        for (int i = 0; i < f.count; ++i) all.push_back(Describe(f, i));
    tProbing = false;
    return all;
}

std::string HexBytes(const CommandRef& c) {
    std::string out;
    for (uint8_t b : c.bytes) out += Format("%s%02X", out.empty() ? "" : " ", b);
    return out;
}

std::string FormText(const CommandRef& c) {
    if (c.moduleFrame) return Format("module frame, command code 0x%02X", c.code);
    return Format("master instruction, command code %d", c.code);
}

// The listing text with its control characters written out.
std::string Printable(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const unsigned char u = static_cast<unsigned char>(ch);
        if (ch == '\r') out += "\\r";
        else if (ch == '\n') out += "\\n";
        else if (u < 0x20 || u >= 0x7F) out += Format("\\x%02X", u);
        else out += ch;
    }
    return out;
}

std::string FieldKindText(const FieldRef& f) {
    switch (f.kind) {
        case FieldRef::Number: return FieldRange(f);
        case FieldRef::Target: return "label to jump to (up to 15 characters)";
        case FieldRef::Text: return f.control == "MasterEdit3" ? "one character" : "text (up to 15 characters)";
        case FieldRef::Check: return f.items.empty() ? "check box" : "check boxes";
        case FieldRef::Choice: {
            std::string items;
            for (size_t i = 0; i < f.items.size(); ++i)
                items += (i ? (i + 1 == f.items.size() ? " or " : ", ") : "") + f.items[i];
            return "one of " + items;
        }
    }
    return "";
}

const char* FamilyHeading(const std::string& family) {
    if (family == "Master") return "Master commands (the master, module address 0)";
    if (family == "Servo") return "Servo commands (ZEL-SERVO)";
    if (family == "Stepper") return "Stepper commands (ZEL-STEP)";
    return "I/O commands (ZEL-I/O)";
}

std::string ExampleLead(const CommandRef& c) {
    std::string lead = c.family == "Master" ? "Example" : Format("Example for module %d", c.moduleAddress);
    if (!c.example.empty()) lead += " (" + c.example + ")";
    return lead;
}

std::string PatchNote(const CommandRef& c) {
    if (c.patchOffset < 0) return "";
    return Format("bytes %d and %d (FF FF) receive the address of label L1 when the program is assembled",
                  c.patchOffset, c.patchOffset + 1);
}

}  // namespace

void NoteFieldRead(const Ctl& edit, int min, int max) {
    if (tReads) tReads->push_back({&edit, min, max});
}

const std::vector<CommandRef>& CommandReference() {
    static const std::vector<CommandRef> all = Build();
    return all;
}

std::string FieldRange(const FieldRef& f) {
    std::string range;
    if (!f.only.empty()) {
        for (size_t i = 0; i < f.only.size(); ++i)
            range += (i ? (i + 1 == f.only.size() ? " or " : ", ") : "") + std::to_string(f.only[i]);
    } else {
        range = std::to_string(f.min) + " to " + std::to_string(f.max);
    }
    return f.unit.empty() ? range : range + " " + f.unit;
}

void ApplyFieldHints(MainState& s, const Ctl& panel, uint8_t commandCode) {
    if (tProbing) return;
    const Family* family = nullptr;
    if (&panel == &s.form.master.MasterGroup) family = &kFamilies[0];
    if (&panel == &s.form.servo.ServoGroup) family = &kFamilies[1];
    if (&panel == &s.form.step.StepGroup) family = &kFamilies[2];
    if (&panel == &s.form.io.IoGroup) family = &kFamilies[3];
    if (!family) return;
    const CommandRef* command = nullptr;
    for (const CommandRef& c : CommandReference())
        if (c.family == family->name && c.code == commandCode) command = &c;
    for (const CtlRef& r : s.form.controls()) {
        if (r.kind != CtlKind::Edit || !StartsWith(r.name, family->prefixes[0])) continue;
        r.ctl->hint.clear();
        if (!command) continue;
        for (const FieldRef& f : command->fields)
            if (f.control == r.name && f.kind == FieldRef::Number) r.ctl->hint = FieldRange(f);
    }
}

// The default of a field as the reference states it.
std::string DefaultText(const FieldRef& f) { return f.initial.empty() ? "empty" : f.initial; }

// What a field takes; a condition list is given in its own table instead.
std::string TakesText(const CommandRef& c, const FieldRef& f) {
    if (f.kind == FieldRef::Choice && !c.conditions.empty() && f.items.size() == c.conditions.size())
        return "one of the conditions below";
    return FieldKindText(f);
}

// lead and the words of text wrapped at width columns, the lines after the
// first indented.
std::string Wrap(const std::string& lead, const std::string& text, size_t width, const std::string& indent) {
    std::string out, line = lead;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        start = end + 1;
        if (word.empty()) continue;
        if (line.size() > indent.size() && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line = indent;
        } else if (line != lead && line != indent) {
            line += ' ';
        }
        line += word;
    }
    return out + line + "\n";
}

// The fields as listed: a run of the I/O module's twelve bit boxes with the
// same default is one entry.
std::vector<FieldRef> Listed(const std::vector<FieldRef>& fields) {
    std::vector<FieldRef> out;
    for (const FieldRef& f : fields) {
        const bool bit = f.kind == FieldRef::Check && StartsWith(f.caption, "Bit ");
        if (bit && !out.empty() && StartsWith(out.back().caption, "Bit ") && out.back().initial == f.initial) {
            out.back().caption = out.back().caption.substr(0, out.back().caption.find(" to ")) + " to " + f.caption;
            out.back().items = {"boxes"};
            continue;
        }
        out.push_back(f);
    }
    return out;
}

std::string CommandReferenceText() {
    std::string out =
        "Stepwright commands, family by family, as the builder offers them.\n"
        "Numbers are read as decimal; a value outside its range is refused with\n"
        "\"Value out of range\".  Each example shows the instruction's bytes in\n"
        "hexadecimal and its listing text.\n";
    std::string family;
    for (const CommandRef& c : CommandReference()) {
        if (c.family != family) {
            family = c.family;
            std::string heading = FamilyHeading(family);
            out += "\n" + heading + "\n" + std::string(heading.size(), '=') + "\n";
        }
        out += "\n" + c.name + "  (" + FormText(c) + ", class " + c.classText + ")\n";
        out += Wrap("  ", c.summary, 78, "  ");
        for (const FieldRef& f : Listed(c.fields))
            out += Wrap("  - ", f.caption + ": " + TakesText(c, f) + "; default " + DefaultText(f), 78, "      ");
        for (const ConditionRef& k : c.conditions) out += "      " + k.item + ": " + k.meaning + "\n";
        if (!c.bytes.empty()) {
            out += "  " + ExampleLead(c) + ":\n";
            out += "      bytes    " + HexBytes(c) + "\n";
            if (c.patchOffset >= 0) out += "               (" + PatchNote(c) + ")\n";
            out += "      listing  " + Printable(c.listing) + "\n";
        }
    }
    return out;
}

std::string CommandReferenceMarkdown() {
    std::string out =
        "# Command reference\n\n"
        "Every command of every family as the builder offers it, with its fields, "
        "their ranges, units and defaults, and an example: the bytes the command "
        "becomes (in hexadecimal) and the line it shows in the listing. Numbers are "
        "decimal; a value outside its range is refused with \"Value out of range\", "
        "a field without a number with \"Invalid numeric value\". The examples of "
        "module commands are for a module at address 1.\n";
    std::string family;
    for (const CommandRef& c : CommandReference()) {
        if (c.family != family) {
            family = c.family;
            out += std::string("\n## ") + FamilyHeading(family) + "\n";
        }
        out += "\n### " + c.family + " " + c.name + "\n\n" + c.summary + " (" + FormText(c) + ", command class " +
               c.classText + ".)\n";
        if (!c.fields.empty()) {
            out += "\n| Field | Takes | Default |\n|---|---|---|\n";
            for (const FieldRef& f : Listed(c.fields))
                out += "| " + f.caption + " | " + TakesText(c, f) + " | " + DefaultText(f) + " |\n";
        }
        if (!c.conditions.empty()) {
            out += "\n| Condition | Selector, value, mask | True when |\n|---|---|---|\n";
            for (const ConditionRef& k : c.conditions)
                out += "| " + k.item + " | " + Format("%d, %s, %s", k.selector, Hex2(k.value).c_str(),
                                                      Hex2(k.mask).c_str()) +
                       " | " + k.meaning + " |\n";
        }
        if (!c.bytes.empty()) {
            out += "\n" + ExampleLead(c) + ":\n\n";
            out += "    bytes:   " + HexBytes(c) + "\n";
            out += "    listing: " + Printable(c.listing) + "\n";
            if (c.patchOffset >= 0) out += "\nIn the image, " + PatchNote(c) + ".\n";
        }
    }
    return out;
}
