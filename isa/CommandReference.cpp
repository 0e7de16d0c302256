// The command reference, printed from the command descriptions: the fields
// as the panel lists them, their ranges, units, defaults and items as data,
// the conditions' triplets from their items, and the example built by the
// codec from the default panel.

#include "isa/CommandReference.h"

#include <algorithm>
#include <variant>

#include "isa/Codec.h"
#include "isa/Format.h"
#include "isa/Vocabulary.h"

namespace {

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
    {"Servo", kSelectStatusByte, ServoStatus::kMoveDone, "move done"},
    {"Servo", kSelectStatusByte, ServoStatus::kOvercurrent, "overcurrent"},
    {"Servo", kSelectStatusByte, ServoStatus::kPowerOn, "power on"},
    {"Servo", kSelectStatusByte, ServoStatus::kPositionError, "position error"},
    {"Servo", kSelectStatusByte, ServoStatus::kLimit1, "limit 1 input high"},
    {"Servo", kSelectStatusByte, ServoStatus::kLimit2, "limit 2 input high"},
    {"Servo", kSelectStatusByte, ServoStatus::kHoming, "homing in progress"},
    {"Stepper", kSelectStatusByte, StepStatus::kMoving, "moving"},
    {"Stepper", kSelectStatusByte, StepStatus::kAmpEnabled, "amplifier enabled"},
    {"Stepper", kSelectStatusByte, StepStatus::kPowerOn, "power on"},
    {"Stepper", kSelectStatusByte, StepStatus::kAtSpeed, "at speed"},
    {"Stepper", kSelectStatusByte, StepStatus::kHoming, "homing in progress"},
    {"Stepper", kSelectStepInputs, StepInput::kEStop, "E-Stop input high"},
    {"Stepper", kSelectStepInputs, StepInput::kInput1, "input 1 high"},
    {"Stepper", kSelectStepInputs, StepInput::kInput2, "input 2 high"},
    {"Stepper", kSelectStepInputs, StepInput::kLimit1, "limit 1 input high"},
    {"Stepper", kSelectStepInputs, StepInput::kLimit2, "limit 2 input high"},
    {"Stepper", kSelectStepInputs, StepInput::kHomeSwitch, "home switch input high"},
};

std::string Hex2(unsigned v) { return Format("0x%02X", v & 0xFFu); }

std::string ConditionMeaning(const std::string& family, uint8_t selector, uint8_t value, uint8_t mask) {
    if (family == "Master") {
        if (selector == kSelectKey) return mask == 0xFF ? "the key typed equals the key given" : "a key has been typed";
        if (selector == kSelectTimer) return "the timer has run out";
        if (selector == kSelectModuleCount) return "the number of modules equals the value given";
        if (selector >= 24 && selector <= 30) return Format("counter %d equals the value given", (selector - 24) / 2 + 1);
    }
    const char* byteName = selector == kSelectStatusByte ? "status byte" : "input byte";
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

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == ':')) s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    return s;
}

// A field as the reference lists it.
FieldRef RefOf(const isa::FieldDesc& f) {
    FieldRef r;
    r.id = f.id;
    r.caption = Trim(f.caption);
    switch (f.kind) {
        case isa::FieldKind::Number:
            r.kind = FieldRef::Number;
            r.min = f.min;
            r.max = f.max;
            r.only = f.only;
            r.unit = f.unit;
            break;
        case isa::FieldKind::Target: r.kind = FieldRef::Target; break;
        case isa::FieldKind::Check:
            r.kind = FieldRef::Check;
            r.caption = f.caption;
            r.initial = f.initial.asBool() ? "checked" : "unchecked";
            return r;
        case isa::FieldKind::Choice:
        case isa::FieldKind::Condition:
            r.kind = FieldRef::Choice;
            if (r.caption.empty()) r.caption = "Set or Clear";
            for (const isa::ChoiceItem& item : f.items) r.items.push_back(Trim(item.caption));
            r.initial = f.initial.asInt() >= 0 ? r.items[size_t(f.initial.asInt())] : "none chosen";
            return r;
        default: break;
    }
    r.maxChars = f.maxChars;
    r.initial = f.initial.shown();
    return r;
}

// The triplet a condition item writes, from zeros.
ConditionRef ConditionOf(const std::string& family, const isa::ChoiceItem& item) {
    uint8_t t[3] = {0, 0, 0};
    for (const isa::Effect& e : item.effects) {
        if (e.at < 0 || e.at > 2) continue;
        if (e.op == isa::Op::Put) t[e.at] = e.value;
        if (e.op == isa::Op::Or) t[e.at] = uint8_t(t[e.at] | e.value);
    }
    return {Trim(item.caption), t[0], t[1], t[2], ConditionMeaning(family, t[0], t[1], t[2])};
}

// The example's values: each choice on its first item, jump targets L1, the
// key A and other texts Hi, and every number its panel's default refuses set
// to 0 (or the least of its range); when a bit must be chosen, the first.
bool Example(const isa::CommandDesc& c, isa::FieldValues& values, isa::Encoded& built) {
    for (const isa::FieldDesc& f : c.fields) {
        if (f.isChoice() && f.initial.asInt() < 0) values.set(f.id, isa::Value::ofInt(0));
        if (f.kind == isa::FieldKind::Target) values.set(f.id, isa::Value::ofText("L1"));
        if (f.kind == isa::FieldKind::Text)
            values.set(f.id, isa::Value::ofText(f.transform == isa::Transform::Key ? "A" : "Hi"));
    }
    const uint8_t address = c.family == isa::Family::Master ? 0 : 1;
    for (size_t attempt = 0; attempt <= c.fields.size(); ++attempt) {
        const isa::EncodeResult result = isa::encode(c, values, address);
        if (const isa::Encoded* e = std::get_if<isa::Encoded>(&result)) {
            built = *e;
            return true;
        }
        const isa::Refusal& refusal = std::get<isa::Refusal>(result);
        const isa::FieldDesc* f = c.field(refusal.field);
        if (f && f->kind == isa::FieldKind::Number) {
            const long long v = f->min <= 0 && f->max >= 0 ? 0 : f->min;
            values.set(f->id, isa::Value::ofText(std::to_string(v)));
        } else if (refusal.field == c.groupField) {
            for (const isa::FieldDesc& g : c.fields)
                if (g.group != 0) {
                    values.set(g.id, isa::Value::ofBool(true));
                    break;
                }
        } else {
            return false;
        }
    }
    return false;
}

// A field's value in the example as the reference states it; "" for none.
std::string ExampleValue(const isa::FieldDesc& f, const FieldRef& ref, const isa::FieldValues& values) {
    const isa::Value* given = values.find(f.id);
    const isa::Value& v = given ? *given : f.initial;
    if (f.kind == isa::FieldKind::Check) return v.asBool() ? "checked" : "";
    if (f.isChoice()) return v.asInt() >= 0 ? ref.items[size_t(v.asInt())] : "";
    return v.shown();
}

CommandRef Describe(const isa::CommandDesc& c) {
    CommandRef r;
    r.family = isa::familyName(c.family);
    r.name = c.name;
    r.index = c.index;
    r.code = c.code;
    r.classText = c.classText;
    r.moduleFrame = c.framing == isa::Framing::Module;
    r.summary = SummaryOf(r.family, r.name);
    r.moduleAddress = c.family == isa::Family::Master ? 0 : 1;

    const std::vector<const isa::FieldDesc*> fields = FieldsInPanelOrder(c);
    for (const isa::FieldDesc* f : fields) r.fields.push_back(RefOf(*f));

    // The conditions of a master If-GoTo or WaitFor on the master's or a
    // motor's status, each with the triplet it becomes.
    const bool tests = c.framing == isa::Framing::Master &&
                       (c.code == MasterCmd::kIfGoTo || c.code == MasterCmd::kWaitFor) && c.family != isa::Family::Io;
    for (const isa::FieldDesc* f : fields)
        if (tests && f->isChoice())
            for (const isa::ChoiceItem& item : f->items) r.conditions.push_back(ConditionOf(r.family, item));

    isa::FieldValues values;
    isa::Encoded built;
    if (Example(c, values, built)) {
        r.bytes.assign(built.bytes.begin(), built.bytes.begin() + built.length);
        r.patchOffset = built.gotoLabel.empty() ? -1 : built.patchOffset;
        r.listing = isa::listingText("", uint8_t(r.moduleAddress), built, isa::typeOfFamily(c.family));
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string value = ExampleValue(*fields[i], r.fields[i], values);
        if (!value.empty()) r.example += (r.example.empty() ? "" : ", ") + r.fields[i].caption + " " + value;
    }
    return r;
}

std::vector<CommandRef> Build() {
    std::vector<CommandRef> all;
    for (const isa::CommandDesc& c : isa::commandTable()) all.push_back(Describe(c));
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
        case FieldRef::Target: return Format("label to jump to (up to %d characters)", f.maxChars);
        case FieldRef::Text:
            return f.maxChars == 1 ? std::string("one character") : Format("text (up to %d characters)", f.maxChars);
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

std::vector<const isa::FieldDesc*> FieldsInPanelOrder(const isa::CommandDesc& command) {
    // The panel's edits first, then its check boxes, its radio groups and the
    // condition box; a family's layout numbers the controls of each kind in
    // the order the description gives the fields.
    const auto rank = [](const isa::FieldDesc* f) {
        switch (f->kind) {
            case isa::FieldKind::Check: return 1;
            case isa::FieldKind::Choice: return 2;
            case isa::FieldKind::Condition: return 3;
            default: return 0;
        }
    };
    std::vector<const isa::FieldDesc*> out;
    for (const isa::FieldDesc& f : command.fields)
        if (f.holdsValue()) out.push_back(&f);
    std::stable_sort(out.begin(), out.end(), [&rank](const auto* a, const auto* b) { return rank(a) < rank(b); });
    return out;
}

std::vector<std::pair<std::string, std::string>> SummarisedCommands() {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const Summary& s : kSummaries) rows.emplace_back(s.family, s.name);
    return rows;
}

const std::vector<CommandRef>& CommandReference() {
    static const std::vector<CommandRef> all = Build();
    return all;
}

namespace {

std::string RangeText(long long min, long long max, const std::vector<int>& only, const std::string& unit) {
    std::string range;
    if (!only.empty()) {
        for (size_t i = 0; i < only.size(); ++i)
            range += (i ? (i + 1 == only.size() ? " or " : ", ") : "") + std::to_string(only[i]);
    } else {
        range = std::to_string(min) + " to " + std::to_string(max);
    }
    return unit.empty() ? range : range + " " + unit;
}

}  // namespace

std::string FieldRange(const FieldRef& f) { return RangeText(f.min, f.max, f.only, f.unit); }
std::string FieldRange(const isa::FieldDesc& f) { return RangeText(f.min, f.max, f.only, f.unit); }

namespace {

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

}  // namespace

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
