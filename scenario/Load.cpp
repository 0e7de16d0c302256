// Reading a scenario file: every key and value is checked, and the program is
// opened and assembled, before anything runs.

#include <yaml-cpp/yaml.h>

#include <cstring>
#include <memory>
#include <set>

#include "isa/Vocabulary.h"
#include "machine/Machine.h"
#include "program/Assembly.h"
#include "program/OpenProgram.h"
#include "program/ProgramFile.h"
#include "program/SafeFile.h"
#include "scenario/Scenario.h"
#include "sim/Modules.h"
#include "sim/SimOptions.h"
#include "sim/Switches.h"

namespace scenario {

namespace {

constexpr int64_t kLongestMs = 24LL * 3600 * 1000;   // no time in a scenario beyond a day
constexpr size_t kQuotedBytes = 40;                   // of a value quoted in an error, at most

// A value as an error quotes it: a long one cut after kQuotedBytes (never
// inside a UTF-8 character), with its length, so that a huge value does not
// fill the message.
std::string Quoted(const std::string& value) {
    if (value.size() <= kQuotedBytes) return "\"" + value + "\"";
    size_t cut = kQuotedBytes;
    while (cut > 0 && (uint8_t(value[cut]) & 0xC0) == 0x80) --cut;
    return "\"" + value.substr(0, cut) + "...\" (" + std::to_string(value.size()) + " bytes)";
}
// A file name as an error gives it: whole up to the longest path the system
// opens, else cut as Quoted cuts a value.
std::string FileNamed(const std::string& path) {
    return path.size() < 4096 ? path : Quoted(path);
}

struct StatusBitName {
    const char* name;
    StatusByte where;
    uint8_t mask;
};

const StatusBitName kServoBits[] = {
    {"move-done", StatusByte::Status, ServoStatus::kMoveDone},
    {"overcurrent", StatusByte::Status, ServoStatus::kOvercurrent},
    {"power", StatusByte::Status, ServoStatus::kPowerOn},
    {"position-error", StatusByte::Status, ServoStatus::kPositionError},
    {"limit-1", StatusByte::Status, ServoStatus::kLimit1},
    {"limit-2", StatusByte::Status, ServoStatus::kLimit2},
    {"homing", StatusByte::Status, ServoStatus::kHoming},
};

const StatusBitName kStepperBits[] = {
    {"moving", StatusByte::Status, StepStatus::kMoving},
    {"amp-enabled", StatusByte::Status, StepStatus::kAmpEnabled},
    {"power", StatusByte::Status, StepStatus::kPowerOn},
    {"at-speed", StatusByte::Status, StepStatus::kAtSpeed},
    {"homing", StatusByte::Status, StepStatus::kHoming},
    {"e-stop", StatusByte::Inputs, StepInput::kEStop},
    {"input-1", StatusByte::Inputs, StepInput::kInput1},
    {"input-2", StatusByte::Inputs, StepInput::kInput2},
    {"limit-1", StatusByte::Inputs, StepInput::kLimit1},
    {"limit-2", StatusByte::Inputs, StepInput::kLimit2},
    {"home-switch", StatusByte::Inputs, StepInput::kHomeSwitch},
};

template <size_t N>
std::string NameList(const StatusBitName (&names)[N]) {
    std::string out;
    for (size_t i = 0; i < N; ++i) out += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(names[i].name);
    return out;
}

struct ReasonName {
    const char* name;
    StopKind kind;
};
const ReasonName kReasons[] = {
    {"stop-program", StopKind::StopProgram}, {"breakpoint", StopKind::Breakpoint}, {"error", StopKind::Error},
    {"host", StopKind::Host},                {"end", StopKind::End},               {"step", StopKind::Step},
};

struct StepName {
    const char* key;
    StepKind kind;
};
const StepName kSteps[] = {
    {"run", StepKind::Run},
    {"continue", StepKind::Continue},
    {"stop", StepKind::Stop},
    {"step", StepKind::Step},
    {"reset", StepKind::Reset},
    {"break", StepKind::Break},
    {"wait", StepKind::Wait},
    {"key", StepKind::Key},
    {"set-input", StepKind::SetInput},
    {"expect-print", StepKind::ExpectPrint},
    {"expect-output", StepKind::ExpectOutput},
    {"expect-position", StepKind::ExpectPosition},
    {"expect-status", StepKind::ExpectStatus},
    {"expect-stopped", StepKind::ExpectStopped},
    {"expect-line", StepKind::ExpectLine},
    {"expect-counter", StepKind::ExpectCounter},
};

std::string TypeName(int type) {
    switch (type) {
        case sim::kServoType: return "ZEL-SERVO";
        case sim::kIoType: return "ZEL-I/O";
        case sim::kStepperType: return "ZEL-STEP";
        default: return "module of type " + std::to_string(type);
    }
}

// UTF-8 to Latin-1, one byte per character; false for a character beyond
// U+00FF.  A byte that is not UTF-8 is taken as the Latin-1 byte it is.
bool ToLatin1(const std::string& utf8, std::string& out) {
    out.clear();
    for (size_t i = 0; i < utf8.size(); ++i) {
        const uint8_t c = uint8_t(utf8[i]);
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        bool wellFormed = extra > 0 && i + size_t(extra) < utf8.size();
        for (int k = 1; wellFormed && k <= extra; ++k) wellFormed = (uint8_t(utf8[i + size_t(k)]) & 0xC0) == 0x80;
        if (!wellFormed) {
            out += char(c);
            continue;
        }
        uint32_t cp = c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (uint8_t(utf8[i + size_t(k)]) & 0x3F);
        if (cp > 0xFF) return false;
        out += char(cp);
        i += size_t(extra);
    }
    return true;
}

std::string Directory(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const char* ext : {".yaml", ".yml"}) {
        const size_t n = std::strlen(ext);
        if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) return name.substr(0, name.size() - n);
    }
    return name;
}

// Reads one scenario, collecting every error.
class Reader {
public:
    Reader(const std::string& file, Scenario& out, std::vector<std::string>& errors)
        : file_(file), out_(out), errors_(errors) {}

    void read(const YAML::Node& root);

private:
    // An error at node (or at the key when the node has no place of its own).
    void error(const YAML::Node& at, const std::string& key, const std::string& text) {
        // A value left empty has no place of its own: it stands on its key's line.
        int line = !at || at.IsNull() || at.Mark().is_null() ? lastLine_ : at.Mark().line + 1;
        errors_.push_back(file_ + ":" + std::to_string(line) + ": " + (key.empty() ? "" : key + ": ") + text);
    }
    void error(int line, const std::string& key, const std::string& text) {
        errors_.push_back(file_ + ":" + std::to_string(line) + ": " + (key.empty() ? "" : key + ": ") + text);
    }

    // The map's keys, each once and each one of allowed; false after the
    // errors (the keys that are known can still be read when it is a map).
    bool checkKeys(const YAML::Node& map, const std::string& key, const std::set<std::string>& allowed);
    bool scalar(const YAML::Node& n, const std::string& key, std::string& value);
    bool text(const YAML::Node& n, const std::string& key, std::string& value);
    bool integer(const YAML::Node& n, const std::string& key, int64_t low, int64_t high, int64_t& value);
    bool duration(const YAML::Node& n, const std::string& key, int64_t& ms);
    bool level(const YAML::Node& n, const std::string& key, bool& high);
    bool label(const YAML::Node& n, const std::string& key, bool emptyAllowed, Step& step);
    // The module named by the step's map, of one of the given kinds.
    bool module(const YAML::Node& map, const std::string& key, Step& step, std::initializer_list<int> types,
                const std::string& what);
    int typeAt(int address) const { return out_.moduleTypes[size_t(address - 1)]; }

    void readModules(const YAML::Node& n);
    bool openProgram(const YAML::Node& at);
    void readMachine(const YAML::Node& at);
    void readStep(const YAML::Node& n);
    void readArguments(const YAML::Node& value, Step& step);

    std::string file_;
    Scenario& out_;
    std::vector<std::string>& errors_;
    int lastLine_ = 1;
    bool programOpen_ = false;
    bool hasModuleList_ = false;
};

bool Reader::checkKeys(const YAML::Node& map, const std::string& key, const std::set<std::string>& allowed) {
    if (!map.IsMap()) {
        std::string names;
        for (const std::string& a : allowed) names += (names.empty() ? "" : ", ") + a;
        error(map, key, "give a map of " + names);
        return false;
    }
    bool ok = true;
    std::set<std::string> seen;
    for (auto it = map.begin(); it != map.end(); ++it) {
        const std::string name = it->first.IsScalar() ? it->first.Scalar() : std::string();
        if (!allowed.count(name)) {
            std::string names;
            for (const std::string& a : allowed) names += (names.empty() ? "" : ", ") + a;
            error(it->first, key, "unknown key " + Quoted(name) + " (" + names + ")");
            ok = false;
        } else if (!seen.insert(name).second) {
            error(it->first, key, Quoted(name) + " given twice");
            ok = false;
        }
    }
    return ok;
}

bool Reader::scalar(const YAML::Node& n, const std::string& key, std::string& value) {
    if (!n || n.IsNull() || !n.IsScalar()) {
        error(n, key, n && !n.IsNull() ? "give one value, not a list or map" : "missing value");
        return false;
    }
    value = n.Scalar();
    return true;
}

bool Reader::text(const YAML::Node& n, const std::string& key, std::string& value) {
    std::string utf8;
    if (!scalar(n, key, utf8)) return false;
    if (!ToLatin1(utf8, value)) {
        error(n, key, Quoted(utf8) + " holds a character beyond Latin-1 (U+00FF)");
        return false;
    }
    return true;
}

bool Reader::integer(const YAML::Node& n, const std::string& key, int64_t low, int64_t high, int64_t& value) {
    std::string s;
    if (!scalar(n, key, s)) return false;
    size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    bool ok = i < s.size() && s.size() - i <= 12;
    int64_t v = 0;
    for (size_t k = i; ok && k < s.size(); ++k) {
        ok = s[k] >= '0' && s[k] <= '9';
        v = v * 10 + (s[k] - '0');
    }
    if (ok && s[0] == '-') v = -v;
    if (!ok || v < low || v > high) {
        error(n, key, Quoted(s) + ": give a whole number from " + std::to_string(low) + " to " + std::to_string(high));
        return false;
    }
    value = v;
    return true;
}

bool Reader::duration(const YAML::Node& n, const std::string& key, int64_t& ms) {
    std::string s;
    if (!scalar(n, key, s)) return false;
    // A number with an optional fraction, then ms or s.
    size_t i = 0;
    int64_t whole = 0, frac = 0, fracDigits = 0;
    bool digits = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i < 12) whole = whole * 10 + (s[i++] - '0'), digits = true;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && fracDigits < 9)
            frac = frac * 10 + (s[i++] - '0'), ++fracDigits, digits = true;
    }
    std::string unit = s.substr(i);
    while (!unit.empty() && unit[0] == ' ') unit.erase(0, 1);
    int64_t scale = unit == "ms" ? 1 : unit == "s" ? 1000 : 0;
    int64_t pow10 = 1;
    for (int k = 0; k < fracDigits; ++k) pow10 *= 10;
    const bool whole_ms = scale != 0 && (frac * scale) % pow10 == 0;
    const int64_t value = scale == 0 ? 0 : whole * scale + frac * scale / pow10;
    if (!digits || scale == 0 || !whole_ms || value > kLongestMs) {
        error(n, key,
              Quoted(s) + ": give a time such as 500ms or 2s (whole milliseconds, at most 24 h)");
        return false;
    }
    ms = value;
    return true;
}

bool Reader::level(const YAML::Node& n, const std::string& key, bool& high) {
    std::string s;
    if (!scalar(n, key, s)) return false;
    if (s != "high" && s != "low") {
        error(n, key, "level " + Quoted(s) + ": give high or low");
        return false;
    }
    high = s == "high";
    return true;
}

bool Reader::label(const YAML::Node& n, const std::string& key, bool emptyAllowed, Step& step) {
    step.label.clear();
    if (!n || n.IsNull()) {
        if (emptyAllowed) return true;
        error(n, key, "missing label");
        return false;
    }
    if (!text(n, key, step.label)) return false;
    if (step.label.empty() && emptyAllowed) return true;
    if (!programOpen_) return true;   // the program's own error has been reported
    for (const Label& l : out_.labels) {
        if (l.name == step.label) {
            step.address = l.address;
            return true;
        }
    }
    error(n, key, "the program has no label " + Quoted(n.Scalar()));
    return false;
}

bool Reader::module(const YAML::Node& map, const std::string& key, Step& step, std::initializer_list<int> types,
                    const std::string& what) {
    const YAML::Node n = map["module"];
    if (!n) {
        error(map, key, "missing module");
        return false;
    }
    int64_t a = 0;
    const int count = int(out_.moduleTypes.size());
    if (count == 0) {
        // Without a program nor a module list the modules are unknown: its error says why.
        if (programOpen_ || hasModuleList_) error(n, key, "the scenario has no modules");
        return false;
    }
    if (!integer(n, key, 1, count, a)) return false;
    step.module = int(a);
    for (int t : types)
        if (typeAt(step.module) == t) return true;
    error(n, key, "module " + std::to_string(a) + " is a " + TypeName(typeAt(step.module)) + ": " + what);
    return false;
}

void Reader::readModules(const YAML::Node& n) {
    std::string list;
    if (n.IsSequence()) {
        for (size_t i = 0; i < n.size(); ++i) {
            std::string item;
            if (!scalar(n[i], "modules", item)) return;
            list += (i ? "," : "") + item;
        }
    } else if (!scalar(n, "modules", list)) {
        return;
    }
    std::string why;
    std::vector<int> types;
    if (!ParseSimModules(list, types, why)) {
        // The simulator's own words name its option: say it as the key here.
        if (why.compare(0, 11, "--modules: ") == 0) why.erase(0, 11);
        error(n, "modules", why);
        return;
    }
    out_.moduleTypes = types;
    hasModuleList_ = true;
}

bool Reader::openProgram(const YAML::Node& at) {
    std::string name;
    if (!text(at, "program", name)) return false;
    if (name.empty()) {
        error(at, "program", "missing program file");
        return false;
    }
    out_.program = name[0] == '/' ? name : Directory(file_) + name;
    // Read and assembled as Open and Assemble do: their message is the reason.
    OpenedProgram opened;
    AssemblyError assembly;
    if (const std::string why = OpenAndAssemble(FullPath(out_.program), opened, assembly); !why.empty()) {
        error(at, "program", FileNamed(out_.program) + ": " + why);
        return false;
    }
    const ProgramState& s = *opened.state;
    out_.image.assign(s.programImage, s.programImage + s.imageLength);
    // The line in the file of each program line, for the messages.
    const ProgramFileData& read = opened.data;
    const bool fileLines = read.textLines.size() == size_t(s.lineCount);
    for (int i = 0; i < s.lineCount; ++i) {
        const ProgramLine& line = s.lines[i];
        if (line.isComment()) continue;
        out_.lines.push_back({line.address, i + 1, line.labelText(), fileLines ? read.textLines[size_t(i)] : 0});
        if (!line.labelText().empty() && FindLabel(s, line.labelText()) == line.address)
            out_.labels.push_back({line.labelText(), line.address});
    }
    // The program's module list, unless the scenario names its own.
    if (out_.moduleTypes.empty())
        for (int a = 1; a <= opened.tables->moduleListCount; ++a) out_.moduleTypes.push_back(opened.tables->moduleTypes[a]);
    return true;
}

// The machine description: read, checked, and held against the module list.
void Reader::readMachine(const YAML::Node& at) {
    std::string name;
    if (!text(at, "machine", name)) return;
    out_.machineFile = name.empty() || name[0] == '/' ? name : Directory(file_) + name;
    auto m = std::make_shared<machine::Machine>();
    std::vector<std::string> why;
    if (!machine::LoadMachine(out_.machineFile, *m, why)) {
        for (const std::string& w : why) error(at, "machine", w);
        return;
    }
    std::vector<int> types{kTypeMaster};
    types.insert(types.end(), out_.moduleTypes.begin(), out_.moduleTypes.end());
    const std::vector<std::string> mismatch = machine::MismatchWith(*m, types);
    for (const std::string& w : mismatch) error(at, "machine", out_.machineFile + ": " + w);
    if (mismatch.empty()) out_.machine = std::move(m);
}

void Reader::read(const YAML::Node& root) {
    if (!root.IsMap()) {
        error(root, "", "a scenario is a map with program and steps");
        return;
    }
    checkKeys(root, "", {"name", "description", "program", "modules", "time-limit", "steps", "machine"});
    out_.name = BaseName(file_);
    // The name is only shown and reported: it stays the UTF-8 it is written in.
    if (const YAML::Node n = root["name"]; n && scalar(n, "name", out_.name) && out_.name.empty())
        out_.name = BaseName(file_);
    if (const YAML::Node n = root["description"]) {
        std::string ignored;
        scalar(n, "description", ignored);
    }
    if (const YAML::Node n = root["time-limit"]) {
        if (duration(n, "time-limit", out_.timeLimitMs) && out_.timeLimitMs == 0)
            error(n, "time-limit", "the time limit must be longer than 0 ms");
    }
    if (const YAML::Node n = root["modules"]) readModules(n);
    // Without its program the steps are still checked, all but their labels.
    if (const YAML::Node n = root["program"]) programOpen_ = openProgram(n);
    else error(root, "", "missing program");
    if (const YAML::Node n = root["machine"]) readMachine(n);
    const YAML::Node steps = root["steps"];
    if (!steps) {
        error(root, "", "missing steps");
        return;
    }
    if (!steps.IsSequence()) {
        error(steps, "steps", "give a list of steps");
        return;
    }
    for (size_t i = 0; i < steps.size(); ++i) readStep(steps[i]);
}

void Reader::readStep(const YAML::Node& n) {
    Step step;
    YAML::Node value;
    std::string key;
    if (n.IsScalar()) {
        key = n.Scalar();   // a step without arguments: "- stop"
        step.line = n.Mark().line + 1;
    } else if (n.IsMap() && n.size() == 1) {
        key = n.begin()->first.IsScalar() ? n.begin()->first.Scalar() : std::string();
        value = n.begin()->second;
        step.line = n.begin()->first.Mark().line + 1;
    } else {
        error(n, "steps", "each step is one key with its value, such as \"- wait: 500ms\"");
        return;
    }
    lastLine_ = step.line;
    const StepName* found = nullptr;
    for (const StepName& s : kSteps)
        if (key == s.key) found = &s;
    if (!found) {
        std::string names;
        for (const StepName& s : kSteps) names += (names.empty() ? "" : ", ") + std::string(s.key);
        error(step.line, "steps", "unknown step " + Quoted(key) + " (" + names + ")");
        return;
    }
    step.kind = found->kind;
    step.key = key;
    const size_t before = errors_.size();
    readArguments(value, step);
    if (errors_.size() == before) out_.steps.push_back(step);
}

void Reader::readArguments(const YAML::Node& v, Step& step) {
    const std::string& key = step.key;
    const bool none = !v || v.IsNull();
    auto noArguments = [&] {
        if (!none) error(v, key, "takes no value");
    };
    switch (step.kind) {
        case StepKind::Run:
        case StepKind::Break:
        case StepKind::Step:
            label(v, key, true, step);
            return;
        case StepKind::Continue:
        case StepKind::Stop:
        case StepKind::Reset:
            noArguments();
            return;
        case StepKind::Wait:
            if (duration(v, key, step.ms) && step.ms == 0) error(v, key, "wait at least 1ms");
            return;
        case StepKind::Key: {
            if (!text(v, key, step.text)) return;
            if (step.text.size() != 1 || uint8_t(step.text[0]) == 0 || uint8_t(step.text[0]) >= 0x80)
                error(v, key,
                      "a key is one character from 0x01 to 0x7F (bytes from 0x80 on are commands to the master)");
            return;
        }
        case StepKind::ExpectLine:
            label(v, key, false, step);
            return;
        default:
            break;
    }
    // The steps that take a map of arguments.
    std::set<std::string> allowed;
    switch (step.kind) {
        case StepKind::SetInput: allowed = {"module", "bit", "input", "level"}; break;
        case StepKind::ExpectPrint: allowed = {"text", "within"}; break;
        case StepKind::ExpectOutput: allowed = {"module", "bit", "level", "within"}; break;
        case StepKind::ExpectPosition: allowed = {"module", "value", "tolerance", "within"}; break;
        case StepKind::ExpectStatus: allowed = {"module", "bit", "level", "within"}; break;
        case StepKind::ExpectStopped: allowed = {"reason", "within"}; break;
        case StepKind::ExpectCounter: allowed = {"counter", "value", "within"}; break;
        default: break;
    }
    if (none && step.kind == StepKind::ExpectStopped) return;   // stopped for any reason, now
    if (none) {
        error(step.line, key, "missing its map of arguments");
        return;
    }
    if (!checkKeys(v, key, allowed) && !v.IsMap()) return;
    if (const YAML::Node w = v["within"]) duration(w, key, step.ms);
    auto required = [&](const char* name) {
        const YAML::Node n = v[name];
        if (!n) error(v, key, std::string("missing ") + name);
        return n;
    };
    int64_t number = 0;
    switch (step.kind) {
        case StepKind::SetInput: {
            if (const YAML::Node l = required("level")) level(l, key, step.level);
            if (!module(v, key, step, {sim::kIoType, sim::kStepperType}, "it has no inputs to set")) return;
            if (typeAt(step.module) == sim::kIoType) {
                if (v["input"]) error(v["input"], key, "an I/O module's input is a bit: give bit: 1 to 12");
                if (const YAML::Node b = required("bit"); b && integer(b, key, 1, 12, number)) {
                    step.mask = sim::IoBitMask(int(number));
                    step.bitName = "bit " + std::to_string(number);
                }
            } else {
                if (v["bit"]) error(v["bit"], key, "a stepper's input is named: give input: " +
                                                       std::string("1, 2, e-stop, home-switch, limit-1 or limit-2"));
                std::string name;
                if (const YAML::Node b = required("input"); b && scalar(b, key, name)) {
                    step.mask = sim::StepperInputMask(name);
                    step.bitName = name;
                    if (step.mask == 0)
                        error(b, key, "input " + Quoted(name) + ": give 1, 2, e-stop, home-switch, limit-1 or limit-2");
                }
            }
            return;
        }
        case StepKind::ExpectPrint:
            if (const YAML::Node t = required("text"); t && text(t, key, step.text) && step.text.empty())
                error(t, key, "the text is empty");
            return;
        case StepKind::ExpectOutput:
            if (const YAML::Node l = required("level")) level(l, key, step.level);
            if (!module(v, key, step, {sim::kIoType}, "only an I/O module has outputs")) return;
            if (const YAML::Node b = required("bit"); b && integer(b, key, 1, 12, number)) {
                step.mask = sim::IoBitMask(int(number));
                step.bitName = "bit " + std::to_string(number);
            }
            return;
        case StepKind::ExpectPosition:
            if (const YAML::Node n = required("value"); n && integer(n, key, INT32_MIN, INT32_MAX, number))
                step.value = number;
            if (const YAML::Node n = v["tolerance"]; n && integer(n, key, 0, INT32_MAX, number))
                step.tolerance = number;
            module(v, key, step, {sim::kServoType, sim::kStepperType}, "only a servo or stepper has a position");
            return;
        case StepKind::ExpectStatus: {
            if (const YAML::Node l = required("level")) level(l, key, step.level);
            if (!module(v, key, step, {sim::kServoType, sim::kStepperType},
                        "only a servo or stepper has status bits"))
                return;
            std::string name;
            const YAML::Node b = required("bit");
            if (!b || !scalar(b, key, name)) return;
            step.bitName = name;
            const bool servo = typeAt(step.module) == sim::kServoType;
            auto find = [&](const auto& names) {
                for (const StatusBitName& s : names) {
                    if (name != s.name) continue;
                    step.statusByte = s.where;
                    step.mask = s.mask;
                    return true;
                }
                error(b, key, "bit " + Quoted(name) + ": a " + TypeName(typeAt(step.module)) + " has " + NameList(names));
                return false;
            };
            servo ? find(kServoBits) : find(kStepperBits);
            return;
        }
        case StepKind::ExpectStopped:
            if (const YAML::Node r = v["reason"]) {
                std::string name;
                if (!scalar(r, key, name)) return;
                bool known = false;
                for (const ReasonName& n : kReasons) {
                    if (name != n.name) continue;
                    step.reason = n.kind;
                    known = true;
                }
                if (!known)
                    error(r, key, "reason " + Quoted(name) + ": give stop-program, breakpoint, error, host, end or step");
            }
            return;
        case StepKind::ExpectCounter:
            if (const YAML::Node c = required("counter"); c && integer(c, key, 1, 4, number)) step.counter = int(number);
            if (const YAML::Node n = required("value"); n && integer(n, key, 0, 65535, number)) step.value = number;
            return;
        default:
            return;
    }
}

}  // namespace

bool LoadScenario(const std::string& path, Scenario& out, std::vector<std::string>& errors) {
    out = Scenario();
    out.file = path;
    out.name = BaseName(path);   // also for a file refused before its name is read
    const size_t before = errors.size();
    std::string bytes;
    int err = 0;
    switch (ReadFileBounded(path, kMaxScenarioBytes, bytes, &err)) {
        case BoundedRead::Read: break;
        case BoundedRead::CannotOpen:
            errors.push_back(path + ": cannot be read" +
                             (err ? std::string(": ") + std::strerror(err) : std::string(": not a regular file")));
            return false;
        case BoundedRead::TooLarge:
            errors.push_back(path + ": larger than " + std::to_string(kMaxScenarioBytes >> 20) +
                             " MiB, the most a scenario file holds");
            return false;
    }
    YAML::Node root;
    try {
        root = YAML::Load(bytes);
    } catch (const YAML::Exception& e) {
        errors.push_back(path + ":" + std::to_string(e.mark.is_null() ? 1 : e.mark.line + 1) + ": " + e.msg);
        return false;
    }
    try {
        Reader(path, out, errors).read(root);
    } catch (const YAML::Exception& e) {
        errors.push_back(path + ":" + std::to_string(e.mark.is_null() ? 1 : e.mark.line + 1) + ": " + e.msg);
    }
    return errors.size() == before;
}

}  // namespace scenario
