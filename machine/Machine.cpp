// Reading a machine description: every key and value is checked before the
// description is used, and every error is reported with its line.

#include "machine/Machine.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>

#include "program/ProgramFile.h"

namespace machine {

namespace {

constexpr int kIoBits = 12;   // an I/O module's pins; a stepper has fewer inputs

struct TypeName {
    const char* key;
    int code;
    const char* display;
};
const TypeName kTypes[] = {{"servo", 0, "ZEL-SERVO"}, {"io", 2, "ZEL-I/O"}, {"stepper", 3, "ZEL-STEP"}};

const char* DisplayName(int code) {
    for (const TypeName& t : kTypes)
        if (t.code == code) return t.display;
    return code == 127 ? "[Master]" : "module of an unknown type";
}

// A short quotation of a value for an error: a huge value is never echoed whole.
std::string Quote(const std::string& s) {
    constexpr size_t kShown = 40;
    std::string out = "\"";
    for (size_t i = 0; i < s.size() && i < kShown; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F)
            out += "?";
        else
            out += char(c);
    }
    if (s.size() > kShown) out += "...";
    return out + "\"";
}

class Reader {
public:
    Reader(const std::string& file, Machine& out, std::vector<std::string>& errors)
        : file_(file), out_(out), errors_(errors) {}

    void read(const YAML::Node& root) {
        if (!root || root.IsNull()) {
            error(root, "", "the description is empty: give modules: or interlocks:");
            return;
        }
        if (!root.IsMap()) {
            error(root, "", "a machine description is a mapping of machine:, modules: and interlocks:");
            return;
        }
        // A default YAML::Node counts as defined: the flags say what was given.
        YAML::Node modules, interlocks;
        bool hasModules = false, hasInterlocks = false;
        for (const auto& kv : root) {
            const std::string key = Key(kv.first);
            if (key == "machine") {
                if (text(kv.second, key, out_.name)) {}
            } else if (key == "modules") {
                modules = kv.second;
                hasModules = true;
            } else if (key == "interlocks") {
                interlocks = kv.second;
                hasInterlocks = true;
            } else {
                error(kv.first, key, "unknown key: give machine, modules or interlocks");
            }
        }
        if (hasModules) readModules(modules);
        if (hasInterlocks) readInterlocks(interlocks);
    }

private:
    static std::string Key(const YAML::Node& n) { return n.IsScalar() ? n.Scalar() : std::string("?"); }

    void error(const YAML::Node& at, const std::string& key, const std::string& what) {
        const int line = at && !at.Mark().is_null() ? at.Mark().line + 1 : 1;
        errors_.push_back(file_ + ":" + std::to_string(line) + ": " + (key.empty() ? "" : key + ": ") + what);
    }

    bool text(const YAML::Node& n, const std::string& key, std::string& out) {
        if (!n.IsScalar() || n.Scalar().empty()) {
            error(n, key, "give a name");
            return false;
        }
        const std::string& s = n.Scalar();
        if (s.size() > 40) {
            error(n, key, Quote(s) + " is longer than 40 characters");
            return false;
        }
        for (unsigned char c : s)
            if (c < 0x20 || c == 0x7F) {
                error(n, key, Quote(s) + " holds a control character");
                return false;
            }
        out = s;
        return true;
    }

    // A whole decimal number in [lo, hi].
    bool integer(const YAML::Node& n, const std::string& key, int64_t lo, int64_t hi, int64_t& out) {
        if (!n.IsScalar()) {
            error(n, key, "give a number from " + std::to_string(lo) + " to " + std::to_string(hi));
            return false;
        }
        const std::string& s = n.Scalar();
        size_t i = s.size() > 0 && (s[0] == '-' || s[0] == '+') ? 1 : 0;
        bool digits = i < s.size() && s.size() - i <= 18;
        for (size_t k = i; digits && k < s.size(); ++k) digits = s[k] >= '0' && s[k] <= '9';
        if (!digits) {
            error(n, key, Quote(s) + " is not a whole number");
            return false;
        }
        const int64_t v = std::stoll(s);
        if (v < lo || v > hi) {
            error(n, key, s + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
            return false;
        }
        out = v;
        return true;
    }

    bool boolean(const YAML::Node& n, const std::string& key, bool& out) {
        if (n.IsScalar() && (n.Scalar() == "true" || n.Scalar() == "false")) {
            out = n.Scalar() == "true";
            return true;
        }
        error(n, key, "give true or false");
        return false;
    }

    void readModules(const YAML::Node& modules) {
        if (!modules.IsMap()) {
            error(modules, "modules", "give each module by its address: 1: {name: X axis, travel: [0, 50000]}");
            return;
        }
        std::set<int> seen;
        for (const auto& kv : modules) {
            int64_t address = 0;
            if (!integer(kv.first, "modules", 1, kMaxAddress, address)) continue;
            if (!seen.insert(int(address)).second) {
                error(kv.first, "modules", "module " + std::to_string(address) + " is described twice");
                continue;
            }
            Module m;
            m.address = int(address);
            m.line = kv.first.Mark().line + 1;
            readModule(kv.second, m);
            out_.modules.push_back(m);
        }
        std::sort(out_.modules.begin(), out_.modules.end(),
                  [](const Module& a, const Module& b) { return a.address < b.address; });
    }

    void readModule(const YAML::Node& n, Module& m) {
        const std::string where = "module " + std::to_string(m.address);
        if (n.IsNull()) return;
        if (!n.IsMap()) {
            error(n, where, "give name, type, travel, max-velocity, max-acceleration, home-before-absolute, inputs or outputs");
            return;
        }
        for (const auto& kv : n) {
            const std::string key = Key(kv.first);
            const YAML::Node& v = kv.second;
            int64_t number = 0;
            if (key == "name") {
                text(v, key, m.name);
            } else if (key == "type") {
                bool known = false;
                for (const TypeName& t : kTypes)
                    if (v.IsScalar() && v.Scalar() == t.key) {
                        m.type = t.code;
                        known = true;
                    }
                if (!known) error(v, key, "give servo, stepper or io");
            } else if (key == "travel") {
                if (!v.IsSequence() || v.size() != 2) {
                    error(v, key, "give the lowest and the highest position allowed: [0, 50000]");
                    continue;
                }
                int64_t lo = 0, hi = 0;
                if (integer(v[0], key, INT32_MIN, INT32_MAX, lo) && integer(v[1], key, INT32_MIN, INT32_MAX, hi)) {
                    if (lo > hi) {
                        error(v, key, "the lowest position " + std::to_string(lo) + " is above the highest " +
                                          std::to_string(hi));
                    } else {
                        m.hasTravel = true;
                        m.travelLow = lo;
                        m.travelHigh = hi;
                    }
                }
            } else if (key == "max-velocity") {
                if (integer(v, key, 0, UINT32_MAX, number)) m.maxVelocity = number;
            } else if (key == "max-acceleration") {
                if (integer(v, key, 0, UINT32_MAX, number)) m.maxAcceleration = number;
            } else if (key == "home-before-absolute") {
                boolean(v, key, m.homeBeforeAbsolute);
            } else if (key == "inputs") {
                readBits(v, key, m.inputs);
            } else if (key == "outputs") {
                readBits(v, key, m.outputs);
            } else {
                error(kv.first, key,
                      "unknown key: give name, type, travel, max-velocity, max-acceleration, "
                      "home-before-absolute, inputs or outputs");
            }
        }
        if (m.type) {
            const bool axis = *m.type == 0 || *m.type == 3;
            if (!axis && (m.hasTravel || m.maxVelocity || m.maxAcceleration || m.homeBeforeAbsolute))
                error(n, where, "an I/O module has no travel, velocity, acceleration or homing");
            if (*m.type == 0 && (!m.inputs.empty() || !m.outputs.empty()))
                error(n, where, "a servo has no named inputs or outputs");
            if (*m.type == 3 && !m.outputs.empty()) error(n, where, "a stepper's outputs are not named here");
        }
    }

    void readBits(const YAML::Node& n, const std::string& key, std::vector<NamedBit>& bits) {
        if (!n.IsMap()) {
            error(n, key, "give each bit and its name: {5: door-closed, 6: part-present}");
            return;
        }
        for (const auto& kv : n) {
            int64_t bit = 0;
            NamedBit b;
            if (!integer(kv.first, key, 1, kIoBits, bit) || !text(kv.second, key, b.name)) continue;
            b.bit = int(bit);
            bool twice = false;
            for (const NamedBit& other : bits) twice = twice || other.bit == b.bit;
            if (twice) {
                error(kv.first, key, "bit " + std::to_string(bit) + " is named twice");
                continue;
            }
            if (!names_.insert(b.name).second) {
                error(kv.second, key, "the name " + Quote(b.name) + " is given to two bits");
                continue;
            }
            bits.push_back(b);
        }
    }

    // {module: 3, input: 5, level: high}, {input: door-closed, level: high}
    // or the same with output:.  outputsOnly refuses inputs.
    bool readSignal(const YAML::Node& n, const std::string& key, bool outputsOnly, Signal& s) {
        const char* form = outputsOnly ? "give {module: 3, output: 1, level: high} or {output: NAME, level: high}"
                                       : "give {module: 3, input: 5, level: high} or {input: NAME, level: high}";
        if (!n.IsMap()) {
            error(n, key, form);
            return false;
        }
        s.line = n.Mark().line + 1;
        YAML::Node module, bit, level;
        bool hasModule = false, hasBit = false, hasLevel = false;
        bool ok = true;
        for (const auto& kv : n) {
            const std::string k = Key(kv.first);
            if (k == "module") {
                module = kv.second;
                hasModule = true;
            } else if (k == "input" || k == "output") {
                if (hasBit) {
                    error(kv.first, key, "give one input or output");
                    ok = false;
                }
                bit = kv.second;
                hasBit = true;
                s.kind = k == "input" ? Signal::Kind::Input : Signal::Kind::Output;
            } else if (k == "level") {
                level = kv.second;
                hasLevel = true;
            } else {
                error(kv.first, key, "unknown key " + Quote(k) + ": " + form);
                ok = false;
            }
        }
        if (!ok) return false;
        if (!hasBit) {
            error(n, key, form);
            return false;
        }
        if (outputsOnly && s.kind == Signal::Kind::Input) {
            error(n, key, "never-together names outputs, which the program drives: " + std::string(form));
            return false;
        }
        s.high = true;
        if (hasLevel) {
            if (!level.IsScalar() || (level.Scalar() != "high" && level.Scalar() != "low")) {
                error(level, key, "level: give high or low");
                return false;
            }
            s.high = level.Scalar() == "high";
        }
        int64_t number = 0;
        if (hasModule && !integer(module, key, 1, kMaxAddress, number)) return false;
        s.module = int(number);
        // A bit by number needs its module; a bit by name finds it.
        const std::string& b = bit.IsScalar() ? bit.Scalar() : std::string();
        const bool byNumber = !b.empty() && b.find_first_not_of("0123456789") == std::string::npos;
        if (byNumber) {
            if (!hasModule) {
                error(n, key, "bit " + b + " of which module? give module:");
                return false;
            }
            if (!integer(bit, key, 1, kIoBits, number)) return false;
            s.bit = int(number);
            return true;
        }
        for (const Module& m : out_.modules)
            for (const NamedBit& nb : s.kind == Signal::Kind::Input ? m.inputs : m.outputs)
                if (nb.name == b && (!hasModule || m.address == s.module)) {
                    s.module = m.address;
                    s.bit = nb.bit;
                    return true;
                }
        error(bit, key, std::string("no ") + (s.kind == Signal::Kind::Input ? "input" : "output") + " is named " +
                            Quote(b) + (hasModule ? " on module " + std::to_string(s.module) : std::string()));
        return false;
    }

    void readInterlocks(const YAML::Node& n) {
        if (!n.IsSequence()) {
            error(n, "interlocks", "give a list: - move: 1 ... or - never-together: [...]");
            return;
        }
        for (const YAML::Node& item : n) {
            Interlock lock;
            lock.line = item.Mark().line + 1;
            if (!item.IsMap()) {
                error(item, "interlocks", "give move: with requires:, or never-together:");
                continue;
            }
            YAML::Node move, need, together;
            bool hasMove = false, hasNeed = false, hasTogether = false;
            bool ok = true;
            for (const auto& kv : item) {
                const std::string k = Key(kv.first);
                if (k == "move")
                    move = kv.second, hasMove = true;
                else if (k == "requires")
                    need = kv.second, hasNeed = true;
                else if (k == "never-together")
                    together = kv.second, hasTogether = true;
                else {
                    error(kv.first, k, "unknown key: give move: with requires:, or never-together:");
                    ok = false;
                }
            }
            if (!ok) continue;
            if (hasTogether && (hasMove || hasNeed)) {
                error(item, "interlocks", "one interlock is either move: with requires: or never-together:");
                continue;
            }
            if (hasTogether) {
                lock.kind = Interlock::Kind::NeverTogether;
                if (!together.IsSequence() || together.size() < 2) {
                    error(together, "never-together", "give two or more outputs");
                    continue;
                }
                for (const YAML::Node& s : together) {
                    Signal signal;
                    if (readSignal(s, "never-together", true, signal))
                        lock.signals.push_back(signal);
                    else
                        ok = false;
                }
                if (ok) out_.interlocks.push_back(lock);
                continue;
            }
            if (!hasMove || !hasNeed) {
                error(item, hasMove ? "requires" : "move", "give move: with requires:");
                continue;
            }
            int64_t axis = 0;
            if (!integer(move, "move", 1, kMaxAddress, axis)) continue;
            const Module* m = out_.module(int(axis));
            if (m && m->type && *m->type == 2) {
                error(move, "move", "module " + std::to_string(axis) + " is an I/O module: it does not move");
                continue;
            }
            lock.kind = Interlock::Kind::MoveRequires;
            lock.moveModule = int(axis);
            Signal signal;
            if (!readSignal(need, "requires", false, signal)) continue;
            lock.signals.push_back(signal);
            out_.interlocks.push_back(lock);
        }
    }

    const std::string& file_;
    Machine& out_;
    std::vector<std::string>& errors_;
    std::set<std::string> names_;
};

}  // namespace

const Module* Machine::module(int address) const {
    for (const Module& m : modules)
        if (m.address == address) return &m;
    return nullptr;
}

std::string Machine::moduleName(int address) const {
    const Module* m = module(address);
    return m ? m->name : std::string();
}

std::string Machine::bitName(int address, Signal::Kind kind, int bit) const {
    if (const Module* m = module(address))
        for (const NamedBit& b : kind == Signal::Kind::Input ? m->inputs : m->outputs)
            if (b.bit == bit) return b.name;
    return {};
}

std::string Machine::describe(const Signal& s) const {
    std::string out = "module " + std::to_string(s.module) +
                      (s.kind == Signal::Kind::Input ? " input " : " output ") + std::to_string(s.bit);
    const std::string name = bitName(s.module, s.kind, s.bit);
    if (!name.empty()) out += " (" + name + ")";
    return out + (s.high ? " high" : " low");
}

bool ParseMachine(const std::string& text, const std::string& file, Machine& out, std::vector<std::string>& errors) {
    out = Machine();
    out.file = file;
    const size_t before = errors.size();
    try {
        const YAML::Node root = YAML::Load(text);
        Reader(file, out, errors).read(root);
    } catch (const YAML::Exception& e) {
        errors.push_back(file + ":" + std::to_string(e.mark.is_null() ? 1 : e.mark.line + 1) + ": " + e.msg);
    }
    return errors.size() == before;
}

bool LoadMachine(const std::string& path, Machine& out, std::vector<std::string>& errors) {
    std::string bytes;
    if (!ReadProgramBytes(path, bytes)) {
        out = Machine();
        errors.push_back(path + ": cannot be read (a regular file is needed)");
        return false;
    }
    if (bytes.size() > kMaxDescriptionBytes) {
        out = Machine();
        errors.push_back(path + ": a machine description is at most 1 MiB");
        return false;
    }
    return ParseMachine(bytes, path, out, errors);
}

std::vector<std::string> MismatchWith(const Machine& m, const std::vector<int>& moduleTypes) {
    std::vector<std::string> out;
    for (const Module& d : m.modules) {
        const std::string at = "module " + std::to_string(d.address);
        if (d.address >= int(moduleTypes.size())) {
            out.push_back(at + " is described but not in the module list");
            continue;
        }
        const int type = moduleTypes[size_t(d.address)];
        const bool axis = type == 0 || type == 3;
        if (d.type && *d.type != type)
            out.push_back(at + " is described as a " + DisplayName(*d.type) + " but is a " + DisplayName(type));
        else if (!axis && (d.hasTravel || d.maxVelocity || d.maxAcceleration || d.homeBeforeAbsolute))
            out.push_back(at + " has travel or motion limits but is a " + std::string(DisplayName(type)));
        else if (type != 2 && !d.outputs.empty())
            out.push_back(at + " has named outputs but is a " + std::string(DisplayName(type)));
        else if (type != 2 && type != 3 && !d.inputs.empty())
            out.push_back(at + " has named inputs but is a " + std::string(DisplayName(type)));
    }
    // One line per interlock that does not fit: its first misfit.
    for (const Interlock& lock : m.interlocks) {
        if (lock.kind == Interlock::Kind::MoveRequires) {
            const int a = lock.moveModule;
            const int type = a < int(moduleTypes.size()) ? moduleTypes[size_t(a)] : -1;
            if (type != 0 && type != 3) {
                out.push_back("interlock at line " + std::to_string(lock.line) + ": module " + std::to_string(a) +
                              " is not a servo or stepper in the module list");
                continue;
            }
        }
        for (const Signal& s : lock.signals) {
            const int type = s.module < int(moduleTypes.size()) ? moduleTypes[size_t(s.module)] : -1;
            const bool fits = s.kind == Signal::Kind::Output ? type == 2 : (type == 2 || type == 3);
            if (!fits) {
                out.push_back("interlock at line " + std::to_string(lock.line) + ": " + m.describe(s) +
                              " is not on " + (s.kind == Signal::Kind::Output ? "an I/O module" :
                                               "an I/O module or stepper") + " in the module list");
                break;
            }
        }
    }
    return out;
}

}  // namespace machine
