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
#include "app/QuietPlatform.h"
#include "app/Terminal.h"
#include "cli/Cli.h"
#include "isa/Codec.h"
#include "isa/Vocabulary.h"
#include "link/Sio.h"
#include "app/ModuleListBox.h"
#include "app/StatusForms.h"
#include "link/Upload.h"
#include "modules/ModuleList.h"
#include "modules/StatusWindows.h"
#include "program/Assembly.h"
#include "program/Disassemble.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "program/ProgramText.h"
#include "scenario/Scenario.h"
#include "sim/SimMaster.h"
#include "sim/SimOptions.h"

namespace pyapi {

namespace {

// The load label's caption once the master holds the program (as the window shows it).
constexpr const char* kLoadedText = "  Loaded  ";

[[noreturn]] void Refuse(const std::string& message, const std::string& field = {}) {
    throw ApiError(ErrorKind::Program, message, field);
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
        values.set(id, FromField(*f, v));
    }
    if (!gotoLabel.empty()) {
        if (c.patchOffset() == 0) Refuse(c.name + " does not jump", "goto");
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

int TypeAt(const ProgramFileData& data, int module) {
    if (module == 0) return kTypeMaster;
    if (module < 0 || module >= int(data.moduleTypes.size()) || module > data.moduleListCount)
        Refuse("no module at address " + std::to_string(module) + " in the program's module list", "module");
    return data.moduleTypes[size_t(module)];
}

}  // namespace

int ModuleType(const std::string& name) {
    if (name == "master") return kTypeMaster;
    std::vector<int> types;
    std::string error;
    if (!ParseSimModules(name, types, error) || types.size() != 1)
        Refuse("unknown module type '" + name + "' (master, servo, io, step)", "module_type");
    return types[0];
}

std::string ModuleTypeName(int type) {
    switch (type) {
        case kTypeMaster: return "master";
        case kTypeServo: return "servo";
        case kTypeIo: return "io";
        case kTypeStepper: return "step";
        default: return "type " + std::to_string(type);
    }
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
    if (moduleTypes.size() > size_t(kMaxModules)) Refuse("at most 31 modules", "modules");
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

std::map<int, std::string> Program::modules() const {
    std::map<int, std::string> out;
    for (int i = 0; i <= data.moduleListCount && i < int(data.moduleTypes.size()); ++i)
        out[i] = ModuleTypeName(data.moduleTypes[size_t(i)]);
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
        const isa::Decoded d = isa::decode(StoredInstruction(l), type);
        if (d.command) {
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
    if (index < 0 || index > size()) Refuse("line index " + std::to_string(index) + " is outside the program", "index");
    if (size() >= kMaxLines - 1) Refuse("the program holds the most lines it can", "index");
    const isa::Encoded e = EncodeLine(TypeAt(data, module), command, module, gotoLabel, fields);
    if (label.size() > size_t(kLabelChars)) Refuse("a label holds at most 15 characters", "label");
    if (label != CleanTextField(label) || (!label.empty() && label[0] == ';')) Refuse("label '" + label + "' cannot be stored", "label");
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
    if (index < 0 || index > size()) Refuse("line index " + std::to_string(index) + " is outside the program", "index");
    ProgramLine line;
    line.setComment(";" + CleanTextField(text.size() && text[0] == ';' ? text.substr(1) : text));
    data.lines.insert(data.lines.begin() + index, line);
    data.textLines.clear();
}

void Program::remove(int index) {
    if (index < 0 || index >= size()) Refuse("line index " + std::to_string(index) + " is outside the program", "index");
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

std::string Encode(const std::string& moduleType, const std::string& command, int module, const Fields& fields) {
    if (module < 0 || module > kMaxModules) Refuse("module address " + std::to_string(module) + ": use 0 to 31", "module");
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
        isa::FieldValues values = d.values;
        for (const auto& f : c.fields)
            if (f.kind == isa::FieldKind::Target) values.set(f.id, isa::Value::ofText("X"));
        // Where the module address stands: a data byte, the status request's
        // frame (bytes 3 on), a module frame's byte 1; a master command has none.
        const int at = c.addressAt >= 0 ? c.addressAt : c.statusRequest ? 4 : b[0] == kMasterMarker ? -1 : 1;
        if (at >= int(bytes.size())) continue;
        const isa::EncodeResult again = isa::encode(c, values, at < 0 ? 0 : b[at]);
        const isa::Encoded* built = std::get_if<isa::Encoded>(&again);
        if (!built || built->length != e.length) continue;
        bool same = true;
        for (int i = 0; i < e.length && same; ++i)
            same = built->bytes[size_t(i)] == e.bytes[size_t(i)] ||
                   (e.patchOffset && (i == e.patchOffset || i == e.patchOffset + 1));
        if (same) return {c.name, FieldsOf(d)};
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

}  // namespace

struct Master::Impl {
    SessionPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    cli::GlobalOptions options;
    cli::Report report;
    cli::Context c{*s, ui, options, report};
    std::unique_ptr<cli::Connection> conn;
    std::string printed;
    bool detected = false;
    bool haveProgram = false;
    size_t mark = 0;

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
    // Characters the program printed, collected before every read.
    void drain() {
        auto& lines = s->terminal.lines;
        if (lines.empty() || (lines.size() == 1 && lines[0].empty())) {
            lines.assign(1, std::string());
            return;
        }
        printed += lines[0];
        for (size_t i = 1; i < lines.size(); ++i) printed += "\n" + lines[i].substr(1);
        lines.assign(1, std::string());
    }
    void ensureDetected() {
        if (detected) return;
        check(conn->detect(), "the master did not answer");
        detected = true;
    }
    void load(const Program& program) {
        program.into(*s);
        haveProgram = true;
        if (AssembleProgram(*s) != 0)
            throw ApiError(ErrorKind::Program, ui.messages.size() > mark ? ui.messages.back() : "the program does not assemble");
    }
};

Master::Master(const std::string& port) : impl_(std::make_unique<Impl>()), port_(port) {
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
    impl_->ui.printResults = false;
    impl_->s->terminal.lines.assign(1, std::string());
}

Master::~Master() { close(); }

void Master::open() {
    if (impl_->conn) return;
    impl_->mark = impl_->ui.messages.size();
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
}

std::vector<ModuleFound> Master::detect() {
    Impl& m = *impl_;
    m.begin();
    m.detected = false;
    m.ensureDetected();
    std::vector<ModuleFound> out;
    const auto& items = m.s->form.ModuleListBox.items;
    for (size_t i = 0; i < items.size() && i <= size_t(kMaxModules); ++i)
        out.push_back({int(i), items[i].size() > 3 ? items[i].substr(3) : items[i]});
    return out;
}

void Master::download(const Program& program, bool verifyAfter) {
    Impl& m = *impl_;
    m.begin();
    m.load(program);
    // As stepwright-cli download: a Stop takes the link on line.
    m.check(m.conn->probeStop(), "the master did not answer");
    DownloadButtonClick(*m.s);
    m.online("the download was not answered");
    if (m.s->form.LoadLabel.caption != kLoadedText) m.fail(cli::kExitFile, "the download did not complete");
    if (verifyAfter && !verify(program)) m.fail(cli::kExitMismatch, "the master's program differs from the one sent");
}

bool Master::verify(const Program& program) {
    Impl& m = *impl_;
    m.begin();
    m.load(program);
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    m.s->form.LoadLabel.caption = "Not Loaded";
    VerifyButtonClick(*m.s);
    m.online("the verify was not answered");
    return m.s->form.LoadLabel.caption == kLoadedText;
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
    if (UploadProgram(*m.s, NetworkTypes(*m.s), d) != 0)
        m.fail(m.s->online ? cli::kExitRefused : m.conn->failure(), "the program was not read");
    Program p;
    p.data = d.program;
    return p;
}

void Master::run(const std::string& label) {
    Impl& m = *impl_;
    m.begin();
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
}

std::vector<std::pair<std::string, std::string>> Master::status(int address) {
    Impl& m = *impl_;
    m.begin();
    if (address < 0 || address > kMaxModules) throw ApiError(ErrorKind::Program, "module address: use 0 (the master) to 31", "address");
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    if (!m.detected) {
        std::vector<int> given;
        if (m.haveProgram)
            for (int a = 1; a <= m.s->moduleListCount; ++a) given.push_back(m.s->moduleTypes[a]);
        m.check(cli::LearnModules(m.c, *m.conn, given, m.haveProgram), "the modules were not learnt");
    }
    if (address > m.s->moduleListCount)
        m.fail(cli::kExitRefused, "no module at address " + std::to_string(address));
    SelectModule(*m.s, address);
    const int shown = m.ui.statusWindowsShown;
    m.ui.statusWindows = json::Value::array();
    m.ui.statusAddress = address;
    ModuleListBoxDblClick(*m.s);
    if (m.ui.statusWindowsShown == shown) {
        m.online("the status was not answered");
        m.fail(cli::kExitRefused, "module " + std::to_string(address) + " has no status");
    }
    std::vector<std::pair<std::string, std::string>> out;
    const json::Value& window = m.ui.statusWindows.items().at(0);
    const json::Value& values = window.items().at(2);   // address, caption, values
    for (size_t i = 0; i < values.keys().size(); ++i) out.emplace_back(values.keys()[i], values.items()[i].text());
    return out;
}

std::string Master::printed() {
    Impl& m = *impl_;
    m.begin();
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    PollTimerTimer(*m.s);
    m.online("the poll was not answered");
    m.drain();
    std::string out;
    out.swap(m.printed);
    return out;
}

void Master::sendKey(char key) {
    Impl& m = *impl_;
    m.begin();
    if (!m.s->online) m.check(m.conn->probePoll(), "the master did not answer");
    TerminalMemoKeyPress(*m.s, uint8_t(key));
    m.online("the key was not taken");
}

// ---------------------------------------------------------------------------
// The simulated master and scenarios

Simulator::Simulator(const std::vector<std::string>& modules, int pace, const std::vector<std::string>& faults) {
    SimOptions options;
    options.moduleTypes.clear();
    for (const std::string& name : modules) {
        const int t = ModuleType(name);
        if (t == kTypeMaster) Refuse("the master is not a module of its network", "modules");
        options.moduleTypes.push_back(t);
    }
    options.paceBaud = pace;
    std::string error;
    for (const std::string& fault : faults)
        if (!ParseSimFault(fault, options.faults, error)) Refuse(error, "faults");
    if (!ValidateSimOptions(options, error)) Refuse(error, "modules");
    sim_ = std::make_unique<SimMaster>(options);
    if (!sim_->start(error)) throw ApiError(ErrorKind::Port, "the simulated master did not start: " + error);
}

Simulator::~Simulator() { stop(); }

std::string Simulator::port() const { return sim_ ? sim_->devicePath() : std::string(); }

void Simulator::stop() {
    if (sim_) sim_->stop();
    sim_.reset();
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
