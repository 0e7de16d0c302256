// Dumps what the command builder does, so that a change to the builder can be
// compared with the builder before it, line by line:
//   panels.txt     every control of the window after each command is chosen,
//                  on a fresh window and over panels left dirty;
//   build.txt      panels filled at random and built: the bytes, listing and
//                  record, or the messages and the refused edit; each built
//                  line loaded back (the panel it shows) and built again;
//   load.txt       stored records of random bytes loaded into the panels;
//   reference.txt, reference.md   the command reference as text and Markdown.
//
//   dump_builder DIRECTORY [rounds]    (default 200 rounds per command)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "app/QuietPlatform.h"
#include "isa/CommandReference.h"
#include "app/panels/Instruction.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"

namespace {

struct Family {
    const char* name;
    int type, address;
    Ctl Form::*box;
    void (*click)(MainState&);
    std::vector<std::string> prefixes;   // object names of the panel's controls
};

const Family kFamilies[] = {
    {"Master", kTypeMaster, 0, &Form::MasterCBox, MasterCBoxClick, {"MasterLabel", "MasterEdit", "MasterCheck", "RadioGroup"}},
    {"Servo", kTypeServo, 1, &Form::ServoCBox, ServoCBoxClick, {"ServoLabel", "ServoEdit", "ServoCheck", "ServoRG", "ServoIfCBox"}},
    {"Stepper", kTypeStepper, 2, &Form::StepCBox, StepCBoxClick, {"StepLabel", "StepEdit", "StepCheck", "StepRG", "StepIfCBox"}},
    {"I/O", kTypeIo, 3, &Form::IoCBox, IoCBoxClick, {"IoLabel", "IoEdit", "IoCheck", "IoRG"}},
};

// Texts typed into edits: numbers at and beside every range's ends, text.
const char* const kTexts[] = {"",        "x",     "-1",    "0",      "1",          "2",           "4",
                              "5",       "7",     "100",   "250",    "251",        "255",         "256",
                              "1199",    "1200",  "2400",  "4800",   "9600",       "19200",       "38400",
                              "16383",   "16384", "32767", "32768",  "60000",      "60001",       "  +25abc",
                              "L1",      "Hi",    "k",     "ABCDEFGHIJKLMNOPQRS", "2147483647", "2147483648",
                              "-2147483646", "-2147483647", "\xE9t\xE9"};

std::string Escaped(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const unsigned char u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u >= 0x7F || ch == '|' || ch == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

bool OfPanel(const Family& f, const std::string& name) {
    for (const std::string& p : f.prefixes)
        if (name.rfind(p, 0) == 0) return true;
    return false;
}

std::string Control(const CtlRef& r) {
    const Ctl& c = *r.ctl;
    std::string out = r.name + " cap=" + Escaped(c.caption) + " text=" + Escaped(c.text) + " hint=" + Escaped(c.hint) +
                      " vis=" + std::to_string(c.visible) + " en=" + std::to_string(c.enabled) +
                      " chk=" + std::to_string(c.checked) + " idx=" + std::to_string(c.index) +
                      " color=" + std::to_string(c.color) + " items=";
    for (const std::string& item : c.items) out += Escaped(item) + ";";
    return out + "\n";
}

std::string Record(const ProgramLine& l, int upTo) {
    std::string out = "len=" + std::to_string(l.length) + " code=" + std::to_string(l.commandCode) +
                      " addr=" + std::to_string(l.moduleAddress) + " patch=" + std::to_string(l.patchOffset) +
                      " label=" + Escaped(l.labelText()) + " goto=" + Escaped(l.gotoLabelText()) + " bytes=";
    for (int k = 0; k < upTo && k < kMaxInstrBytes; ++k) out += Format("%02X ", unsigned(l.bytes[k]));
    return out + "\n";
}

// Every control of the window, or those of one family's panel.
std::string Controls(MainState& s, const Family* only) {
    std::string out;
    for (const CtlRef& r : s.form.controls())
        if (!only || OfPanel(*only, r.name)) out += Control(r);
    return out;
}

class Dumper {
public:
    explicit Dumper(unsigned seed) : rng_(seed) {}

    std::unique_ptr<MainState> fresh() {
        auto s = std::make_unique<MainState>(ui_);
        for (const Family& f : kFamilies) s->moduleTypes[f.address] = f.type;
        s->moduleTypes[4] = kTypeServo;
        s->moduleTypes[5] = kTypeStepper;
        s->moduleTypes[6] = kTypeIo;
        return s;
    }

    void choose(MainState& s, const Family& f, int index, int address) {
        s.builderLine.moduleAddress = uint8_t(address);
        (s.form.*f.box).index = index;
        f.click(s);
    }

    // Every panel control shown, filled, checked and chosen, hints set.
    void dirty(MainState& s) {
        for (const CtlRef& r : s.form.controls()) {
            bool panel = false;
            for (const Family& f : kFamilies) panel = panel || OfPanel(f, r.name);
            if (!panel) continue;
            r.ctl->visible = true;
            r.ctl->checked = true;
            r.ctl->text = "junk";
            r.ctl->hint = "junk";
            if (r.kind == CtlKind::Radio || r.kind == CtlKind::EditCombo) r.ctl->index = 1;
        }
        std::memset(s.builderLine.bytes, 0x55, sizeof s.builderLine.bytes);
    }

    // The family's panel filled at random, shown or not.
    void fill(MainState& s, const Family& f) {
        for (const CtlRef& r : s.form.controls()) {
            if (!OfPanel(f, r.name)) continue;
            switch (r.kind) {
                case CtlKind::Edit: r.ctl->text = kTexts[rng_() % std::size(kTexts)]; break;
                case CtlKind::Check: r.ctl->checked = rng_() % 2; break;
                case CtlKind::Radio:
                case CtlKind::EditCombo:
                    r.ctl->index = int(rng_() % (r.ctl->items.size() + 2)) - 1;
                    if (r.kind == CtlKind::EditCombo) r.ctl->text = rng_() % 2 ? "typed" : "";
                    break;
                default: break;
            }
        }
        s.form.LabelEdit.text = rng_() % 3 ? "" : kTexts[rng_() % std::size(kTexts)];
    }

    std::string panels() {
        std::string out;
        for (const Family& f : kFamilies) {
            const int count = int((fresh()->form.*f.box).items.size());
            for (int i = 0; i < count; ++i)
                for (int variant = 0; variant < 3; ++variant) {
                    auto s = fresh();
                    s->online = variant == 1;
                    if (variant == 2) dirty(*s);
                    choose(*s, f, i, f.address);
                    out += std::string("== ") + f.name + " " + std::to_string(i) + " variant " + std::to_string(variant) + "\n";
                    out += Controls(*s, nullptr) + "byte0=" + std::to_string(s->builderLine.bytes[0]) +
                           " code=" + std::to_string(s->builderLine.commandCode) + "\n";
                }
        }
        return out;
    }

    std::string build(int rounds) {
        std::string out;
        for (const Family& f : kFamilies) {
            auto s = fresh();
            const int count = int((s->form.*f.box).items.size());
            for (int i = 0; i < count; ++i)
                for (int round = 0; round < rounds; ++round) {
                    const int address = f.type == kTypeMaster ? 0 : f.address + (round % 2 ? 3 : 0);
                    choose(*s, f, i, address);
                    fill(*s, f);
                    out += std::string("== ") + f.name + " " + std::to_string(i) + " round " + std::to_string(round) + "\n";
                    out += Controls(*s, &f);
                    out += built(*s);
                    if (s->builderLine.length == 0) continue;
                    const ProgramLine line = s->builderLine;
                    fill(*s, f);
                    LoadInstruction(*s);
                    out += "loaded box=" + std::to_string((s->form.*f.box).index) + " cmd=" + s->form.CmdEdit.text +
                           " class=" + s->form.CmdClassEdit.text + "\n" + Controls(*s, &f);
                    s->form.LabelEdit.text = line.labelText();
                    out += "again " + built(*s);
                }
        }
        return out;
    }

    std::string load(int rounds) {
        std::string out;
        for (const Family& f : kFamilies) {
            auto s = fresh();
            std::vector<uint8_t> codes = {0, 3, 5, 10, 12, 13, 16, 17, 18, 19, 20, 0x0B, 0x10, 0x13, 0x17, 0x18,
                                          0x19, 0x20, 0x24, 0x34, 0x56, 0x74, 0xE4, 0xE6, 0xFF};
            for (int round = 0; round < rounds * 10; ++round) {
                ProgramLine line{};
                line.moduleAddress = uint8_t(f.address);
                line.commandCode = codes[rng_() % codes.size()];
                for (uint8_t& b : line.bytes) b = uint8_t(rng_() % 4 ? rng_() : rng_() % 2 ? 0 : 0xFF);
                const int first = int(rng_() % 3);
                line.bytes[0] = first == 0 ? kMasterMarker : first == 1 ? kFrameHeader : line.bytes[0];
                if (rng_() % 2) line.bytes[1] = uint8_t(rng_() % 22);
                line.length = uint8_t(rng_() % 25);
                line.setGotoLabel(kTexts[rng_() % std::size(kTexts)]);
                (s->form.*f.box).index = -1;
                fill(*s, f);
                s->builderLine = line;
                LoadInstruction(*s);
                out += std::string("== ") + f.name + " " + std::to_string(round) + " " + Record(line, kMaxInstrBytes);
                out += "listing=" + Escaped(FormatListingText(*s, line)) + "\n";
                out += "box=" + std::to_string((s->form.*f.box).index) + " cmd=" + s->form.CmdEdit.text + "\n";
                out += Controls(*s, &f);
            }
        }
        return out;
    }

private:
    std::string built(MainState& s) {
        ui_.messages.clear();
        s.rejectedField = nullptr;
        const int r = BuildInstruction(s);
        std::string out = "rc=" + std::to_string(r);
        for (const std::string& m : ui_.messages) out += " msg=" + m;
        if (r != 0) {
            for (const CtlRef& c : s.form.controls())
                if (c.ctl == s.rejectedField) out += " refused=" + c.name;
            s.builderLine.length = 0;
            return out + "\n";
        }
        return out + " " + Record(s.builderLine, s.builderLine.length) +
               "listing=" + Escaped(FormatListingText(s, s.builderLine)) + " now=" +
               std::to_string(ExecuteNowLength(s.builderLine)) + "\n";
    }

    QuietPlatform ui_;
    std::mt19937 rng_;
};

bool Write(const std::string& path, const std::string& text) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool ok = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return out && std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: dump_builder DIRECTORY [rounds]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int rounds = argc == 3 ? std::atoi(argv[2]) : 200;
    Dumper d(20240611);
    const bool ok = Write(dir + "/panels.txt", d.panels()) && Write(dir + "/build.txt", d.build(rounds)) &&
                    Write(dir + "/load.txt", d.load(rounds)) && Write(dir + "/reference.txt", CommandReferenceText()) &&
                    Write(dir + "/reference.md", CommandReferenceMarkdown());
    if (!ok) {
        std::fprintf(stderr, "dump_builder: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
