// The Python module's calls over the core.  Programs live as the file holds
// them (ProgramFileData); whatever needs the window's state (assembly, save,
// listing) runs over a main state of its own filled as Open fills it.  A
// master is the command line's connection, kept open between calls.

#include "python/Api.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "app/PollTimer.h"
#include "app/Progress.h"
#include "app/QuietPlatform.h"
#include "app/Terminal.h"
#include "cli/Cli.h"
#include "isa/Codec.h"
#include "isa/Vocabulary.h"
#include "link/LinkLog.h"
#include "link/Sio.h"
#include "app/ModuleListBox.h"
#include "app/StatusForms.h"
#include "link/Upload.h"
#include "modules/ModuleList.h"
#include "modules/Sampler.h"
#include "modules/StatusWindows.h"
#include "program/Assembly.h"
#include "program/Disassemble.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "program/ProgramText.h"
#include "program/SafeFile.h"
#include "scenario/Scenario.h"
#include "machine/MachineCheck.h"
#include "sim/SimMaster.h"
#include "sim/SimCore.h"
#include "sim/SimOptions.h"
#include "sim/Switches.h"

namespace pyapi {

namespace {

// The load label's caption once the master holds the program (as the window shows it).
constexpr const char* kLoadedText = "  Loaded  ";

[[noreturn]] void Refuse(const std::string& message, const std::string& field = {}) {
    throw ApiError(ErrorKind::Program, message, field);
}

// A wrong argument of the call itself.
[[noreturn]] void WrongValue(const std::string& message, const std::string& argument = {}) {
    throw ApiError(ErrorKind::Value, message, argument);
}
[[noreturn]] void WrongIndex(int index) {
    throw ApiError(ErrorKind::Index, "line index " + std::to_string(index) + " is outside the program", "index");
}

// The limits the program text puts on a field's text (longer text is refused
// there, never cut): a text field holds 15 characters, any other value 39.
constexpr size_t kEditChars = 39;

// A label or goto-label as the program text accepts it; "" when it does.
std::string LabelRefusal(const std::string& text, const char* what) {
    if (text.size() > size_t(kLabelChars)) return std::string("the ") + what + " is longer than 15 characters";
    if (text.find('\0') != std::string::npos) return std::string("the ") + what + " holds a NUL character";
    if (text != CleanTextField(text))
        return std::string("the ") + what + " holds a line break, which a program file cannot store";
    return std::string();
}

// A main state with nobody in front of it, for the program calls.
struct QuietState {
    QuietPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    std::string lastMessage(const std::string& otherwise) const {
        return ui.messages.empty() ? otherwise : ui.messages.back();
    }
};

FieldValue ToField(const isa::FieldDesc& f, const isa::Value& v) {
    if (f.isChoice()) {
        const long long i = v.asInt();
        return i >= 0 && i < (long long)f.items.size() ? FieldValue(f.items[size_t(i)].id) : FieldValue(std::string());
    }
    switch (v.type()) {
        case isa::Value::Type::Bool: return v.asBool();
        case isa::Value::Type::Int: return v.asInt();
        case isa::Value::Type::Text: return v.asText();
        case isa::Value::Type::None: break;
    }
    return std::string();
}

isa::Value FromField(const isa::FieldDesc& f, const FieldValue& v) {
    if (f.isChoice()) {
        const std::string* id = std::get_if<std::string>(&v);
        if (!id) Refuse("'" + f.id + "' takes one of its items by name", f.id);
        for (size_t i = 0; i < f.items.size(); ++i)
            if (f.items[i].id == *id) return isa::Value::ofInt((long long)i);
        std::string known;
        for (const auto& item : f.items) known += (known.empty() ? "" : ", ") + item.id;
        Refuse("'" + f.id + "': unknown item '" + *id + "' (" + known + ")", f.id);
    }
    if (const bool* b = std::get_if<bool>(&v)) return isa::Value::ofBool(*b);
    // Numbers go through the numeric field rule as the builder's edits do.
    if (const long long* n = std::get_if<long long>(&v)) return isa::Value::ofText(std::to_string(*n));
    return isa::Value::ofText(std::get<std::string>(v));
}

const isa::CommandDesc& CommandOf(int moduleType, const std::string& name) {
    isa::Family family;
    if (!isa::familyOfType(moduleType, family)) Refuse("module type " + std::to_string(moduleType) + " has no commands");
    if (const isa::CommandDesc* c = isa::findCommand(family, name)) return *c;
    std::string known;
    for (const auto& c : isa::commandTable())
        if (c.family == family) known += (known.empty() ? "" : ", ") + c.name;
    Refuse(std::string("unknown ") + isa::familyName(family) + " command '" + name + "' (" + known + ")", "command");
}

isa::Encoded EncodeLine(int moduleType, const std::string& command, int module, const std::string& gotoLabel,
                        const Fields& fields) {
    const isa::CommandDesc& c = CommandOf(moduleType, command);
    isa::FieldValues values;
    for (const auto& [id, v] : fields) {
        const isa::FieldDesc* f = c.field(id);
        if (!f || !f->holdsValue() || f->kind == isa::FieldKind::Target)
            Refuse(c.name + " has no field '" + id + "'", id);
        if (const std::string* text = std::get_if<std::string>(&v); text && !f->isChoice()) {
            if (f->kind == isa::FieldKind::Text && text->size() > size_t(kLabelChars))
                Refuse("'" + id + "': the text is longer than 15 characters", id);
            if (text->size() > kEditChars) Refuse("'" + id + "': the value is longer than 39 characters", id);
        }
        values.set(id, FromField(*f, v));
    }
    if (!gotoLabel.empty()) {
        if (c.patchOffset() == 0) Refuse(c.name + " does not jump", "goto");
        if (const std::string why = LabelRefusal(gotoLabel, "goto-label"); !why.empty()) Refuse(why, "goto");
        for (const auto& f : c.fields)
            if (f.kind == isa::FieldKind::Target) values.set(f.id, isa::Value::ofText(gotoLabel));
    }
    const isa::EncodeResult r = isa::encode(c, values, uint8_t(module));
    if (const isa::Refusal* refusal = std::get_if<isa::Refusal>(&r)) {
        std::string message;
        for (const std::string& m : refusal->messages) message += (message.empty() ? "" : "\n") + m;
        Refuse(message, refusal->field);
    }
    return std::get<isa::Encoded>(r);
}

Fields FieldsOf(const isa::Decoded& d) {
    Fields out;
    for (const auto& [id, value] : d.values.entries()) {
        const isa::FieldDesc* f = d.command->field(id);
        if (!f || f->kind == isa::FieldKind::Target || !f->holdsValue()) continue;
        out.emplace_back(id, ToField(*f, value));
    }
    return out;
}

// Whether a decoded instruction's fields build its bytes again (the jump
// address aside), as program text asks before it names a line's command.
bool Rebuilds(const isa::Decoded& d, const isa::Encoded& e, uint8_t module) {
    isa::FieldValues values = d.values;
    for (const auto& f : d.command->fields)
        if (f.kind == isa::FieldKind::Target) values.set(f.id, isa::Value::ofText("X"));
    const isa::EncodeResult again = isa::encode(*d.command, values, module);
    const isa::Encoded* built = std::get_if<isa::Encoded>(&again);
    if (!built || built->length != e.length) return false;
    for (int i = 0; i < e.length; ++i)
        if (built->bytes[size_t(i)] != e.bytes[size_t(i)] &&
            !(e.patchOffset && (i == e.patchOffset || i == e.patchOffset + 1)))
            return false;
    return true;
}

int TypeAt(const ProgramFileData& data, int module) {
    if (module == 0) return kTypeMaster;
    if (module < 0 || module >= int(data.moduleTypes.size()) || module > data.moduleListCount)
        Refuse("no module at address " + std::to_string(module) + " in the program's module list", "module");
    return data.moduleTypes[size_t(module)];
}

}  // namespace

int ModuleType(const std::string& name, const std::string& argument) {
    if (name == "master") return kTypeMaster;
    std::vector<int> types;
    std::string error;
    if (name.find(',') != std::string::npos || !ParseSimModules(name, types, error) || types.size() != 1)
        WrongValue("unknown module type '" + name + "' (master, servo, io, step)", argument);
    return types[0];
}

std::string ModuleTypeName(int type) {
    switch (type) {
        case kTypeMaster: return "master";
        case kTypeServo: return "servo";
        case kTypeIo: return "io";
        case kTypeStepper: return "step";
        default: return "unknown";
    }
}

std::string ModuleDisplayName(int type) {
    isa::Family family;
    return isa::familyOfType(type, family) ? isa::moduleTypeName(family) : "UNKNOWN";
}

// ---------------------------------------------------------------------------
// Programs

Program Program::open(const std::string& path) {
    std::string bytes;
    if (!ReadProgramBytes(path, bytes)) Refuse(path + ": the file cannot be read");
    Program p;
    const std::string reason = bytes.size() > kMaxProgramFileBytes ? "the file is too large"
                               : IsProgramTextPath(path)        ? ParseProgramTextFile(bytes, path, p.data)
                                                                : ParseProgramFile(bytes, p.data);
    if (!reason.empty()) Refuse("Not a valid program file: " + reason);
    return p;
}

Program Program::fromText(const std::string& text) {
    Program p;
    const std::string reason = ParseProgramTextFile(text, "<text>", p.data);
    if (!reason.empty()) Refuse("Not a valid program file: " + reason);
    return p;
}

Program Program::empty(const std::vector<int>& moduleTypes) {
    if (moduleTypes.size() > size_t(kMaxModules)) WrongValue("at most 31 modules", "module_types");
    Program p;
    p.data.moduleTypes = {kTypeMaster};
    p.data.moduleTypes.insert(p.data.moduleTypes.end(), moduleTypes.begin(), moduleTypes.end());
    p.data.moduleListCount = int(moduleTypes.size());
    return p;
}

void Program::into(MainState& s) const {
    TakeProgramData(s, data);
}

std::string Program::text() const { return FormatProgramText(data); }

void Program::save(const std::string& path) const {
    QuietState q;
    into(*q.s);
    const std::string refusal = SaveRefusal(*q.s);
    if (!refusal.empty()) Refuse(refusal);
    const std::string failure = WriteProgramFile(*q.s, path);
    if (!failure.empty()) Refuse(path + ": " + failure);
}

std::map<int, int> Program::modules() const {
    std::map<int, int> out;
    for (int i = 0; i <= data.moduleListCount && i < int(data.moduleTypes.size()); ++i)
        out[i] = data.moduleTypes[size_t(i)];
    return out;
}

std::vector<Line> Program::lines() const {
    std::vector<Line> out;
    out.reserve(data.lines.size());
    for (const ProgramLine& l : data.lines) {
        Line line;
        if (l.isComment()) {
            line.comment = true;
            line.text = l.commentText();
            out.push_back(std::move(line));
            continue;
        }
        line.label = l.labelText();
        line.gotoLabel = l.gotoLabelText();
        line.module = l.moduleAddress;
        line.bytes.assign(reinterpret_cast<const char*>(l.bytes), l.length);
        // Decoded in the family of the line's module, as the builder loads it.
        const int type = l.moduleAddress == 0 ? kTypeMaster
                         : l.moduleAddress < data.moduleTypes.size() ? data.moduleTypes[l.moduleAddress]
                                                                     : kTypeUnknown;
        const isa::Encoded stored = StoredInstruction(l);
        const isa::Decoded d = isa::decode(stored, type);
        // Bytes that its fields would not build again have no command, as
        // program text writes them raw.
        if (d.command && Rebuilds(d, stored, l.moduleAddress)) {
            line.command = d.command->name;
            line.fields = FieldsOf(d);
        }
        out.push_back(std::move(line));
    }
    return out;
}

std::vector<std::string> Program::listing() const {
    QuietState q;
    into(*q.s);
    std::vector<std::string> out;
    for (int i = 0; i < q.s->lineCount && i < q.s->listing.count(); ++i) out.push_back(q.s->listing.text(i));
    return out;
}

void Program::insert(int index, int module, const std::string& command, const std::string& label,
                     const std::string& gotoLabel, const Fields& fields) {
    if (index < 0 || index > size()) WrongIndex(index);
    if (size() >= kMaxLines - 1) Refuse("the program holds the most lines it can", "index");
    if (module < 0 || module > kMaxModules) WrongValue("module address " + std::to_string(module) + ": use 0 to 31", "module");
    const isa::Encoded e = EncodeLine(TypeAt(data, module), command, module, gotoLabel, fields);
    if (const std::string why = LabelRefusal(label, "label"); !why.empty()) Refuse(why, "label");
    if (!label.empty() && label[0] == ';') Refuse("label '" + label + "' cannot be stored", "label");
    ProgramLine line;
    std::memset(&line, 0, sizeof line);
    line.setLabel(label);
    line.setGotoLabel(e.gotoLabel);
    line.patchOffset = e.patchOffset;
    std::memcpy(line.bytes, e.bytes.data(), e.length);
    line.length = e.length;
    line.commandCode = e.commandCode;
    line.moduleAddress = uint8_t(module);
    if (const char* field = UnstorableField(line)) Refuse(std::string("the line's ") + field + " cannot be stored", field);
    data.lines.insert(data.lines.begin() + index, line);
    data.textLines.clear();
}

void Program::insertComment(int index, const std::string& text) {
    if (index < 0 || index > size()) WrongIndex(index);
    const std::string comment = text.size() && text[0] == ';' ? text : ";" + text;
    if (comment.size() > size_t(kCommentChars))
        Refuse("a comment holds at most " + std::to_string(kCommentChars) + " characters, ';' included", "text");
    if (comment != CleanTextField(comment) || comment.find('\0') != std::string::npos)
        Refuse("a comment is one line: it cannot hold a line break or a NUL", "text");
    ProgramLine line;
    line.setComment(comment);
    data.lines.insert(data.lines.begin() + index, line);
    data.textLines.clear();
}

void Program::remove(int index) {
    if (index < 0 || index >= size()) WrongIndex(index);
    data.lines.erase(data.lines.begin() + index);
    data.textLines.clear();
}

std::string Program::assemble() const {
    QuietState q;
    into(*q.s);
    if (AssembleProgram(*q.s) != 0) Refuse(q.lastMessage("the program does not assemble"));
    return std::string(reinterpret_cast<const char*>(q.s->programImage), q.s->imageLength);
}

std::vector<check::Finding> Program::check() const {
    return check::CheckProgram(data.lines.data(), int(data.lines.size()), data.moduleTypes);
}

namespace {

machine::Machine LoadDescription(const std::string& path) {
    machine::Machine m;
    std::vector<std::string> errors;
    if (!machine::LoadMachine(path, m, errors)) {
        std::string message;
        for (const std::string& e : errors) message += (message.empty() ? "" : "\n") + e;
        Refuse(message.empty() ? path + ": the machine description cannot be read" : message);
    }
    return m;
}

ProgramLineRef LineRef(const prove::ProgramImage& image, const ProgramFileData& data, uint16_t address) {
    ProgramLineRef ref;
    ref.index = image.lineAt(address);
    if (ref.index >= 0) {
        ref.listingLine = ref.index + 1;
        if (size_t(ref.index) < data.textLines.size()) ref.fileLine = data.textLines[size_t(ref.index)];
    }
    return ref;
}

std::vector<ProveInput> Inputs(const std::vector<prove::InputChange>& changes, const machine::Machine& m) {
    std::vector<ProveInput> out;
    for (const prove::InputChange& c : changes) {
        ProveInput in;
        in.ms = c.ms < 0 ? -1 : c.ms;
        in.module = c.module;
        in.high = c.high;
        in.key = c.module == 0 ? c.key : -1;
        if (c.module != 0) {
            in.input = prove::DescribeInput(c, m);
            in.input.erase(in.input.rfind(' '));   // the level is a member of its own
        }
        out.push_back(std::move(in));
    }
    return out;
}

}  // namespace

std::vector<check::Finding> Program::check(const std::string& machinePath) const {
    const machine::Machine m = LoadDescription(machinePath);
    const int count = int(data.lines.size());
    return machine::CheckAgainstMachine(data.lines.data(), count, data.moduleTypes, m,
                                        check::CheckProgram(data.lines.data(), count, data.moduleTypes));
}

ProveOutcome Program::prove(const std::string& machinePath, long long maxTimeMs, long long maxPaths,
                            const std::string& cycle) const {
    if (maxTimeMs < 1 || maxTimeMs > 24LL * 3600 * 1000)
        WrongValue("max_time_ms " + std::to_string(maxTimeMs) + ": use 1 to 86400000 (24 h)", "max_time_ms");
    if (maxPaths < 1 || maxPaths > 999999999)
        WrongValue("max_paths " + std::to_string(maxPaths) + ": use 1 to 999999999", "max_paths");
    const machine::Machine m = LoadDescription(machinePath);
    prove::ProgramImage image;
    const std::string why = prove::ProgramImageOf(data, image);
    if (!why.empty()) Refuse(why);
    std::string mismatch;
    for (const std::string& e : machine::MismatchWith(m, image.moduleTypes))
        mismatch += (mismatch.empty() ? "" : "\n") + machinePath + ": " + e;
    if (!mismatch.empty()) Refuse(mismatch);
    prove::Bounds bounds;
    bounds.maxTimeMs = maxTimeMs;
    bounds.maxPaths = maxPaths;
    if (!cycle.empty()) {
        bounds.cycle = true;
        bounds.cycleAddress = image.labelAddress(cycle);
        if (bounds.cycleAddress == 0xFFFF) WrongValue("cycle: the program has no label " + cycle, "cycle");
    }

    ProveOutcome o;
    o.result = prove::Explore(image, m, bounds);
    const prove::ProveResult& r = o.result;
    if (r.violated) {
        o.line = LineRef(image, data, r.violation.address);
        o.standing = LineRef(image, data, r.violation.standing);
        o.timeMs = prove::ReportedMs(r.violation.micros);
        o.hasValue = r.violation.rule == "travel" || r.violation.rule == "velocity-limit" ||
                     r.violation.rule == "acceleration-limit";
        o.inputs = Inputs(r.inputs, m);
    }
    o.longestCycleInputs = Inputs(r.cycle.longestInputs, m);
    if (r.cutByTime)
        o.boundsCut.push_back("max_time_ms " + std::to_string(maxTimeMs) + " cut " + std::to_string(r.cutByTime) +
                              " path(s) still running");
    if (r.cutByPaths)
        o.boundsCut.push_back("max_paths " + std::to_string(maxPaths) + " left " + std::to_string(r.cutByPaths) +
                              " outcome(s) unexplored");
    o.program = data;
    o.machinePath = machinePath;
    return o;
}

void ProveOutcome::writeCounterexample(const std::string& scenarioPath, const std::string& programPath) const {
    if (!result.violated) WrongValue("no violation was found: there is no counterexample", "path");
    Program p;
    p.data = program;
    p.save(programPath);
    std::string name = scenarioPath;
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".yaml") == 0) name.resize(name.size() - 5);
    const std::string yaml =
        prove::CounterexampleScenario(result, name, FullPath(programPath), FullPath(machinePath));
    const std::string failed = WriteFileData(scenarioPath, yaml);
    if (!failed.empty()) Refuse(scenarioPath + ": " + failed);
}

std::string Encode(const std::string& moduleType, const std::string& command, int module, const Fields& fields) {
    if (module < 0 || module > kMaxModules) WrongValue("module address " + std::to_string(module) + ": use 0 to 31", "module");
    std::string gotoLabel;
    Fields rest;
    for (const auto& f : fields) {
        if (f.first == "->" && std::holds_alternative<std::string>(f.second)) gotoLabel = std::get<std::string>(f.second);
        else rest.push_back(f);
    }
    const isa::Encoded e = EncodeLine(ModuleType(moduleType), command, module, gotoLabel, rest);
    return std::string(reinterpret_cast<const char*>(e.bytes.data()), e.length);
}

std::pair<std::string, Fields> Decode(const std::string& bytes, const std::string& moduleType) {
    const int type = ModuleType(moduleType);
    if (bytes.size() < 3 || bytes.size() > size_t(kMaxInstrBytes)) Refuse("an instruction is 3 to 24 bytes", "bytes");
    isa::Family family;
    isa::familyOfType(type, family);
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    // The bytes carry no line record's command code: every command of the
    // family is tried, and the one whose fields build
    // the same bytes again (the jump address aside) is taken.
    for (const isa::CommandDesc& c : isa::commandTable()) {
        if (c.family != family) continue;
        isa::Encoded e;
        std::memcpy(e.bytes.data(), b, bytes.size());
        e.length = uint8_t(bytes.size());
        e.commandCode = c.code;
        e.patchOffset = uint8_t(c.patchOffset());
        const isa::Decoded d = isa::decode(e, type);
        if (d.command != &c) continue;
        // Where the module address stands: a data byte, the status request's
        // frame (bytes 3 on), a module frame's byte 1; a master command has none.
        const int at = c.addressAt >= 0 ? c.addressAt : c.statusRequest ? 4 : b[0] == kMasterMarker ? -1 : 1;
        if (at >= int(bytes.size())) continue;
        if (Rebuilds(d, e, at < 0 ? 0 : b[at])) return {c.name, FieldsOf(d)};
    }
    Refuse("no " + ModuleTypeName(type) + " command builds these bytes", "bytes");
}

// ---------------------------------------------------------------------------
// Masters

namespace {

// The command line's desktop without its printing: messages are kept.
class SessionPlatform : public cli::CliPlatform {
public:
    void message(const std::string& text) override { messages.push_back(text); }
};

std::string Plain(const std::string& message) {
    static const std::string tool = "stepwright-cli: ";
    return message.compare(0, tool.size(), tool) == 0 ? message.substr(tool.size()) : message;
}

// A status window's value as a number, a bit or (a version, a text) as shown.
StatusValue ValueOf(const std::string& text) {
    if (text == "High" || text == "On" || text == "Yes") return true;
    if (text == "Low" || text == "Off" || text == "No") return false;
    size_t i = text.size() > 1 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    bool digits = i < text.size() && text.size() - i <= 18;
    for (size_t k = i; k < text.size() && digits; ++k) digits = std::isdigit(static_cast<unsigned char>(text[k])) != 0;
    if (digits) return std::stoll(text);
    return text;
}

}  // namespace

// The link's host in front of the main state: every reaction goes on to the
// main state, and the bytes the program printed are kept as the master sent
// them (the terminal window turns a carriage return into a new line).
class PrintedBytes : public LinkHost {
public:
    explicit PrintedBytes(MainState& s) : s_(s) {}
    void message(const std::string& text) override { s_.message(text); }
    void wait(int ms) override { s_.wait(ms); }
    void linkLost() override { s_.linkLost(); }
    void programStopped(uint16_t address) override { s_.programStopped(address); }
    void showProgress(int which) override { s_.showProgress(which); }
    void hideProgress() override { s_.hideProgress(); }
    void printed(uint8_t c) override {
        bytes.push_back(char(c));
        s_.printed(c);
    }
    std::string bytes;

private:
    MainState& s_;
};

struct Master::Impl {
    SessionPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    PrintedBytes host{*s};
    cli::GlobalOptions options;
    cli::Report report;
    cli::Context c{*s, ui, options, report};
    std::unique_ptr<cli::Connection> conn;
    bool detected = false;
    bool haveProgram = false;
    size_t mark = 0;
    bool learnt = false;   // the module types are known (status)
    // A download was interrupted: the master holds part of a program, which
    // is not started until a download or a verify has made it whole.
    bool partial = false;
    void refuseIfPartial() {
        if (partial)
            throw ApiError(ErrorKind::Refused, ui.port + ": the last download was interrupted and the master holds "
                                               "part of a program: download it again first");
    }
    std::string logPath;
    std::unique_ptr<LinkLog> log;

    // Starts a call: messages from here on tell its failure.
    void begin() {
        if (!conn) throw ApiError(ErrorKind::Port, ui.port + ": the master is not open (use it in a with block)");
        mark = ui.messages.size();
    }
    [[noreturn]] void fail(int code, const std::string& otherwise) {
        std::string text = ui.messages.size() > mark ? Plain(ui.messages.back()) : otherwise;
        text = ui.port + ": " + text;
        switch (code) {
            case cli::kExitPort: throw ApiError(ErrorKind::Port, text);
            case cli::kExitRefused: throw ApiError(ErrorKind::Refused, text);
            case cli::kExitMismatch: throw ApiError(ErrorKind::Mismatch, text);
            case cli::kExitFile: throw ApiError(ErrorKind::Program, text);
            default: throw ApiError(ErrorKind::NotResponding, text);
        }
    }
    void check(int code, const std::string& otherwise) {
        if (code != cli::kExitOk) fail(code, otherwise);
    }
    void online(const std::string& otherwise) {
        if (!s->online) fail(conn->failure(), otherwise);
    }
    // The terminal window is emptied before every read, so that its
    // twelve-line memory never grows (the printed bytes are kept by host).
    void drain() { s->terminal.lines.assign(1, std::string()); }
    void ensureDetected() {
        if (detected) return;
        check(conn->detect(), "the master did not answer");
        detected = true;
        learnt = true;
    }
    // Runs a block transfer with the interrupt check after every block: a
    // stop there leaves the link on line between two blocks.
    template <class F>
    void transfer(const std::function<bool()>& interrupted, F&& run) {
        s->progressHook = [&](int, int) {
            if (interrupted && interrupted()) throw Interrupted();
        };
        try {
            run();
        } catch (const Interrupted&) {
            s->progressHook = nullptr;
            HideProgress(*s);
            drain();
            throw;
        }
        s->progressHook = nullptr;
    }
    // The status of one module as its status window shows it.
    Status statusOf(int address);
    void load(const Program& program) {
        program.into(*s);
        haveProgram = true;
        if (AssembleProgram(*s) != 0)
            throw ApiError(ErrorKind::Program, ui.messages.size() > mark ? ui.messages.back() : "the program does not assemble");
    }
};

Master::Master(const std::string& port, const std::string& logPath) : impl_(std::make_unique<Impl>()), port_(port) {
    impl_->logPath = logPath;
    cli::GlobalOptions& o = impl_->options;
    std::string name = port;
    if (port.find('=') != std::string::npos) {
        std::string error;
        if (!ParsePortOption(port, o.device, error)) throw ApiError(ErrorKind::Port, error);
        name = port.substr(0, port.find('='));
    }
    o.port = name;
    o.ports = {name};
    o.portGiven = true;
    impl_->ui.attach(impl_->s.get());
    impl_->s->host = &impl_->host;
    impl_->ui.printResults = false;
    impl_->s->terminal.lines.assign(1, std::string());
}

Master::~Master() {
    // A log that cannot be written is told by close(); a master dropped
    // without one has nobody to tell.
    try {
        close();
    } catch (const ApiError&) {
    }
}

void Master::open() {
    if (impl_->conn) return;
    impl_->mark = impl_->ui.messages.size();
    if (!impl_->logPath.empty() && !impl_->log) {
        impl_->log = std::make_unique<LinkLog>();
        impl_->s->linkLog = impl_->log.get();
    }
    impl_->conn = std::make_unique<cli::Connection>(impl_->c);
    const int r = impl_->conn->open();
    if (r != cli::kExitOk) {
        impl_->conn.reset();
        impl_->fail(r, "the port cannot be opened");
    }
    impl_->conn->tap()->drain = [this] { impl_->drain(); };
}

void Master::close() {
    if (!impl_->conn) return;
    if (impl_->conn->tap()) impl_->conn->tap()->drain = nullptr;
    impl_->conn.reset();
    impl_->s->online = false;
    impl_->detected = false;
    impl_->learnt = false;
    if (impl_->log) {
        // The whole session's bytes, with the module types last learnt.
        LinkRuns runs;
        impl_->log->copyRuns(0, runs);
        int32_t types[32];
        const MainState& s = *impl_->s;
        for (int i = 0; i < 32; ++i) types[i] = s.moduleListDefined && i <= s.moduleListCount ? s.moduleTypes[i] : -1;
        const std::string error = WriteFileData(impl_->logPath, FormatLinkLog(runs, types));
        if (!error.empty())
            throw ApiError(ErrorKind::Port, impl_->logPath + ": the link log was not written: " + error);
    }
}

std::vector<ModuleFound> Master::detect() {
    Impl& m = *impl_;
    m.begin();
    m.detected = false;
    m.ensureDetected();
    std::vector<ModuleFound> out;
    const int count = std::min<int>(int(m.s->form.ModuleListBox.items.size()) - 1, kMaxModules);
    for (int i = 0; i <= count; ++i) out.push_back({i, i == 0 ? kTypeMaster : int(m.s->moduleTypes[i])});
    return out;
}

void Master::download(const Program& program, bool verifyAfter) {
    Impl& m = *impl_;
    m.begin();
    m.load(program);
    // As stepwright-cli download: a Stop takes the link on line.
    m.check(m.conn->probeStop(), "the master did not answer");
    try {
        m.transfer(interrupted, [&] { DownloadButtonClick(*m.s); });
    } catch (const Interrupted&) {
        m.partial = true;
        throw;
    }
    m.online("the download was not answered");
    m.partial = m.partial && m.s->form.LoadLabel.caption != kLoadedText;
    if (m.s->form.LoadLabel.caption != kLoadedText) m.fail(cli::kExitFile, "the download did not complete");
    if (verifyAfter && !verify(program)) m.fail(cli::kExitMismatch, "the master's program differs from the one sent");
}

bool Master::verify(const Program& program) {
    Impl& m = *impl_;
    m.begin();
    m.load(program);
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    m.s->form.LoadLabel.caption = "Not Loaded";
    m.transfer(interrupted, [&] { VerifyButtonClick(*m.s); });
    m.online("the verify was not answered");
    const bool same = m.s->form.LoadLabel.caption == kLoadedText;
    if (same) m.partial = false;
    return same;
}

std::vector<DifferingLine> Master::compare(const Program& program) {
    Impl& m = *impl_;
    m.begin();
    m.load(program);
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    ProgramComparison c;
    const CompareOutcome outcome = CompareProgramWithMaster(*m.s, c);
    m.online("the compare was not answered");
    std::vector<DifferingLine> out;
    switch (outcome) {
        case CompareOutcome::Unreliable: m.fail(cli::kExitNotResponding, "the master's program could not be read reliably");
        case CompareOutcome::NotAssembled: m.fail(cli::kExitFile, "the program does not assemble");
        case CompareOutcome::NoReply: m.fail(m.conn->failure(), "the compare was not answered");
        case CompareOutcome::Empty:
            // Every line of the program is missing from the master.
            for (int i = 0; i < m.s->lineCount; ++i)
                if (!m.s->lines[i].isComment())
                    out.push_back({"program", i + 1, m.s->lines[i].address, m.s->lines[i].labelText(),
                                   m.s->listing.text(i)});
            return out;
        case CompareOutcome::Same: return out;
        case CompareOutcome::Different: break;
    }
    for (const DiffLine& l : c.lines)
        if (l.kind != ' ') out.push_back({l.kind == '-' ? "program" : "master", l.line + 1, l.address, l.label, l.text});
    return out;
}

Program Master::upload() {
    Impl& m = *impl_;
    m.begin();
    m.check(m.conn->probePoll(), "the master did not answer");
    m.check(cli::LearnModules(m.c, *m.conn, {}, false), "the modules were not learnt");
    Disassembly d;
    int failed = 0;
    m.transfer(interrupted, [&] { failed = UploadProgram(*m.s, NetworkTypes(*m.s), d); });
    if (failed != 0)
        m.fail(m.s->online ? cli::kExitRefused : m.conn->failure(), "the program was not read");
    Program p;
    p.data = d.program;
    return p;
}

void Master::run(const std::string& label) {
    Impl& m = *impl_;
    m.begin();
    m.refuseIfPartial();
    if (!label.empty() && !m.haveProgram) throw ApiError(ErrorKind::Program, "run(label) needs the program: download or verify it first", "label");
    if (m.haveProgram && m.s->programHasBaudChange)
        m.fail(cli::kExitRefused, "Program contains a baud rate change - cannot run interactively");
    m.ensureDetected();
    m.s->resumeFlag = false;
    if (!label.empty()) {
        const uint16_t at = FindLabel(*m.s, label);
        if (at == 0xFFFF) throw ApiError(ErrorKind::Program, "no label '" + label + "' in the program", "label");
        m.s->resumeFlag = true;
        m.s->status.programAddress = at;
    }
    const bool refused = m.s->moduleMismatch;
    RunButtonClick(*m.s);
    if (refused) m.fail(cli::kExitRefused, "the program's module list does not match the master's modules");
    m.online("Run was not answered");
}

void Master::stop() {
    Impl& m = *impl_;
    m.begin();
    m.check(m.conn->probeStop(), "Stop was not answered");
}

void Master::step() {
    Impl& m = *impl_;
    m.begin();
    m.refuseIfPartial();
    m.ensureDetected();
    StepButtonClick(*m.s);
    m.online("Step was not answered");
}

void Master::reset() {
    Impl& m = *impl_;
    m.begin();
    m.check(m.conn->probeStop(), "the master did not answer");
    ResetButtonClick(*m.s);
    m.detected = false;
    m.learnt = false;
}

Status Master::Impl::statusOf(int address) {
    if (address < 0 || address > kMaxModules) throw ApiError(ErrorKind::Value, "module address: use 0 (the master) to 31", "address");
    if (!s->online) check(conn->probePoll(), "the master did not answer");
    if (!learnt) {
        std::vector<int> given;
        if (haveProgram)
            for (int a = 1; a <= s->moduleListCount; ++a) given.push_back(s->moduleTypes[a]);
        check(cli::LearnModules(c, *conn, given, haveProgram), "the modules were not learnt");
        learnt = true;
    }
    if (address > s->moduleListCount)
        fail(cli::kExitRefused, "no module at address " + std::to_string(address));
    SelectModule(*s, address);
    const int shown = ui.statusWindowsShown;
    ui.statusWindows = json::Value::array();
    ui.statusAddress = address;
    ModuleListBoxDblClick(*s);
    if (ui.statusWindowsShown == shown) {
        online("the status was not answered");
        fail(cli::kExitRefused, "module " + std::to_string(address) + " has no status");
    }
    Status out;
    const json::Value& window = ui.statusWindows.items().at(0);
    const json::Value& values = window.items().at(2);   // address, caption, values
    for (size_t i = 0; i < values.keys().size(); ++i) out.emplace_back(values.keys()[i], ValueOf(values.items()[i].text()));
    return out;
}

Status Master::status(int address) {
    impl_->begin();
    return impl_->statusOf(address);
}

Row Master::sampleRow(const std::vector<int>& addresses) {
    Impl& m = *impl_;
    m.begin();
    for (int a : addresses)
        if (a < 0 || a > kMaxModules) throw ApiError(ErrorKind::Value, "module address: use 0 (the master) to 31", "addresses");
    // A poll first, as the watch's rows fall between poll ticks: it tells
    // whether the program runs, and collects what it printed.
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    PollTimerTimer(*m.s);
    m.online("the poll was not answered");
    Row row;
    for (int a : addresses) {
        row.programMayRun = row.programMayRun || Sampler::ProgramMayRun(*m.s);
        row.modules.emplace_back(a, m.statusOf(a));
    }
    row.programMayRun = row.programMayRun || Sampler::ProgramMayRun(*m.s);
    return row;
}

std::string Master::printed() {
    Impl& m = *impl_;
    m.begin();
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    PollTimerTimer(*m.s);
    m.online("the poll was not answered");
    m.drain();
    std::string out;
    out.swap(m.host.bytes);
    return out;
}

void Master::sendKey(uint8_t key) {
    Impl& m = *impl_;
    m.begin();
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    // Bytes from 0x80 up are the master's commands (0x80 stops the program).
    if (key >= 0x80) throw ApiError(ErrorKind::Value, "a key is a character from \\x00 to \\x7f: bytes from 0x80 up are the master's commands", "c");
    TerminalMemoKeyPress(*m.s, key);
    m.online("the key was not taken");
}

// ---------------------------------------------------------------------------
// The simulated master and scenarios

Simulator::Simulator(const std::vector<std::string>& modules, int pace, const std::vector<std::string>& faults) {
    SimOptions options;
    options.moduleTypes.clear();
    for (const std::string& name : modules) {
        const int t = ModuleType(name, "modules");
        if (t == kTypeMaster) WrongValue("the master is not a module of its network", "modules");
        options.moduleTypes.push_back(t);
    }
    options.paceBaud = pace;
    std::string error;
    for (const std::string& fault : faults)
        if (!ParseSimFault(fault, options.faults, error)) WrongValue(error, "faults");
    if (!ValidateSimOptions(options, error)) WrongValue(error, "modules");
    sim_ = std::make_unique<SimMaster>(options);
    if (!sim_->start(error)) throw ApiError(ErrorKind::Port, "the simulated master did not start: " + error);
}

Simulator::~Simulator() { stop(); }

std::string Simulator::port() const { return sim_ ? sim_->devicePath() : std::string(); }

void Simulator::stop() {
    if (sim_) sim_->stop();
    sim_.reset();
}

namespace {

// The module at address on the simulated network, as the Simulator window
// lists it; a Value error when there is none.
sim::PanelModule PanelAt(SimMaster* sim, int address) {
    if (!sim) throw ApiError(ErrorKind::Value, "the simulated master has stopped");
    std::vector<sim::PanelModule> panel;
    sim->withCore([&](sim::SimCore& core) { panel = sim::ReadPanel(core); });
    for (sim::PanelModule& m : panel)
        if (m.address == address) return m;
    throw ApiError(ErrorKind::Value, "no module at address " + std::to_string(address) + " of the simulated network", "module");
}

void Hold(SimMaster* sim, int module, uint16_t mask, bool level, const std::string& what) {
    bool held = false;
    sim->withCore([&](sim::SimCore& core) { held = sim::SetInput(core, module, mask, level); });
    if (!held) throw ApiError(ErrorKind::Value, "module " + std::to_string(module) + " has no input " + what, "module");
}

}  // namespace

void Simulator::setInput(int module, int bit, bool level) {
    const sim::PanelModule m = PanelAt(sim_.get(), module);
    if (m.type != kTypeIo) throw ApiError(ErrorKind::Value, "module " + std::to_string(module) + " is not an I/O module", "module");
    if (sim::IoBitMask(bit) == 0) throw ApiError(ErrorKind::Value, "an I/O module's bits are 1 to 12", "bit");
    Hold(sim_.get(), module, sim::IoBitMask(bit), level, std::to_string(bit));
}

void Simulator::hold(int module, const std::string& input, bool level) {
    const sim::PanelModule m = PanelAt(sim_.get(), module);
    if (m.type != kTypeStepper) throw ApiError(ErrorKind::Value, "module " + std::to_string(module) + " is not a stepper", "module");
    const uint8_t mask = sim::StepperInputMask(input);
    if (mask == 0)
        throw ApiError(ErrorKind::Value, "unknown stepper input '" + input + "' (limit-1, limit-2, home-switch, e-stop, 1, 2)", "switch");
    Hold(sim_.get(), module, mask, level, input);
}

bool Simulator::output(int module, int bit) {
    const sim::PanelModule m = PanelAt(sim_.get(), module);
    if (m.type != kTypeIo) throw ApiError(ErrorKind::Value, "module " + std::to_string(module) + " is not an I/O module", "module");
    if (bit < 1 || bit > int(m.lamps.size())) throw ApiError(ErrorKind::Value, "an I/O module's bits are 1 to 12", "bit");
    const sim::PanelLamp& lamp = m.lamps[size_t(bit - 1)];
    return lamp.output && lamp.on;
}

long long Simulator::position(int module) {
    const sim::PanelModule m = PanelAt(sim_.get(), module);
    if (!m.moves) throw ApiError(ErrorKind::Value, "module " + std::to_string(module) + " is neither a servo nor a stepper", "module");
    return m.position;
}

ScenarioResult RunScenarioFile(const std::string& path) {
    scenario::Scenario sc;
    std::vector<std::string> errors;
    if (!scenario::LoadScenario(path, sc, errors)) {
        std::string text;
        for (const std::string& e : errors) text += (text.empty() ? "" : "\n") + e;
        Refuse(text);
    }
    const scenario::Result r = scenario::RunScenario(sc);
    ScenarioResult out;
    out.passed = r.passed;
    out.name = sc.name;
    out.message = r.message;
    out.printed = r.printed;
    out.failedStep = r.failedStep;
    out.line = r.line;
    out.stepsRun = r.stepsRun;
    out.simulatedMs = r.simulatedMs;
    return out;
}

}  // namespace pyapi
