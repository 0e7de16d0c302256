// The machine description: what the reader takes and what it refuses (with
// the line and key of each error), and the check of a program's Moves
// against the axes' limits.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "machine/Machine.h"
#include "machine/MachineCheck.h"
#include "program/Check.h"
#include "program/ProgramFile.h"
#include "program/ProgramText.h"

namespace {

const char kPressCell[] =
    "machine: Press cell\n"
    "modules:\n"
    "  1:\n"
    "    name: X axis\n"
    "    travel: [0, 50000]\n"
    "    max-velocity: 40000\n"
    "    max-acceleration: 2000\n"
    "    home-before-absolute: true\n"
    "  3:\n"
    "    name: Cell I/O\n"
    "    inputs: {5: door-closed, 6: part-present}\n"
    "    outputs: {1: clamp, 2: blow-off}\n"
    "interlocks:\n"
    "  - move: 1\n"
    "    requires: {module: 3, input: 5, level: high}\n"
    "  - move: 1\n"
    "    requires: {input: part-present, level: low}\n"
    "  - never-together: [{module: 3, output: 1, level: high}, {output: blow-off}]\n";

machine::Machine Parse(const std::string& text, std::vector<std::string>* errorsOut = nullptr) {
    machine::Machine m;
    std::vector<std::string> errors;
    const bool ok = machine::ParseMachine(text, "m.yaml", m, errors);
    if (errorsOut)
        *errorsOut = errors;
    else
        EXPECT_TRUE(ok) << (errors.empty() ? "" : errors[0]);
    return m;
}

TEST(MachineDescription, ReadsEveryKeyOfTheDocumentedForm) {
    const machine::Machine m = Parse(kPressCell);
    EXPECT_EQ(m.name, "Press cell");
    ASSERT_EQ(m.modules.size(), 2u);
    const machine::Module& x = m.modules[0];
    EXPECT_EQ(x.address, 1);
    EXPECT_EQ(x.line, 3);
    EXPECT_EQ(x.name, "X axis");
    EXPECT_TRUE(x.hasTravel);
    EXPECT_EQ(x.travelLow, 0);
    EXPECT_EQ(x.travelHigh, 50000);
    EXPECT_EQ(x.maxVelocity, 40000);
    EXPECT_EQ(x.maxAcceleration, 2000);
    EXPECT_TRUE(x.homeBeforeAbsolute);
    EXPECT_EQ(m.bitName(3, machine::Signal::Kind::Input, 5), "door-closed");
    EXPECT_EQ(m.bitName(3, machine::Signal::Kind::Output, 2), "blow-off");
    EXPECT_EQ(m.bitName(3, machine::Signal::Kind::Output, 5), "");
    ASSERT_EQ(m.interlocks.size(), 3u);
    EXPECT_EQ(m.describe(m.interlocks[0].signals[0]), "module 3 input 5 (door-closed) high");
    // A bit named finds its module and number; level defaults to high.
    EXPECT_EQ(m.describe(m.interlocks[1].signals[0]), "module 3 input 6 (part-present) low");
    const machine::Interlock& together = m.interlocks[2];
    EXPECT_EQ(together.kind, machine::Interlock::Kind::NeverTogether);
    ASSERT_EQ(together.signals.size(), 2u);
    EXPECT_EQ(m.describe(together.signals[1]), "module 3 output 2 (blow-off) high");
    EXPECT_EQ(together.line, 18);
}

TEST(MachineDescription, RefusesEachMistakeWithItsLineAndKey) {
    const struct {
        const char* text;
        const char* error;   // the first error, whole
    } cases[] = {
        {"modules:\n  1:\n    travle: [0, 10]\n",
         "m.yaml:3: travle: unknown key: give name, type, travel, max-velocity, max-acceleration, "
         "home-before-absolute, inputs or outputs"},
        {"modules:\n  32:\n    name: X\n", "m.yaml:2: modules: 32 is out of range (1 to 31)"},
        {"modules:\n  0: {}\n", "m.yaml:2: modules: 0 is out of range (1 to 31)"},
        {"modules:\n  1: {travel: [10, 0]}\n", "m.yaml:2: travel: the lowest position 10 is above the highest 0"},
        {"modules:\n  1: {travel: [0]}\n", "m.yaml:2: travel: give the lowest and the highest position allowed: [0, 50000]"},
        {"modules:\n  1: {travel: [0, 3000000000]}\n",
         "m.yaml:2: travel: 3000000000 is out of range (-2147483648 to 2147483647)"},
        {"modules:\n  1: {max-velocity: fast}\n", "m.yaml:2: max-velocity: \"fast\" is not a whole number"},
        {"modules:\n  1: {max-velocity: -1}\n", "m.yaml:2: max-velocity: -1 is out of range (0 to 4294967295)"},
        {"modules:\n  1: {home-before-absolute: yes}\n", "m.yaml:2: home-before-absolute: give true or false"},
        {"modules:\n  3:\n    inputs: {13: x}\n", "m.yaml:3: inputs: 13 is out of range (1 to 12)"},
        {"modules:\n  3:\n    inputs: {1: a, 2: a}\n", "m.yaml:3: inputs: the name \"a\" is given to two bits"},
        {"modules:\n  3:\n    type: io\n    travel: [0, 1]\n",
         "m.yaml:3: module 3: an I/O module has no travel, velocity, acceleration or homing"},
        {"modules:\n  3: {type: plc}\n", "m.yaml:2: type: give servo, stepper or io"},
        {"machine: X\nwhat: 1\n", "m.yaml:2: what: unknown key: give machine, modules or interlocks"},
        {"interlocks:\n  - move: 1\n", "m.yaml:2: requires: give move: with requires:"},
        {"interlocks:\n  - move: 1\n    requires: {input: door}\n", "m.yaml:3: requires: no input is named \"door\""},
        {"interlocks:\n  - move: 1\n    requires: {input: 5}\n",
         "m.yaml:3: requires: bit 5 of which module? give module:"},
        {"interlocks:\n  - move: 1\n    requires: {module: 3, input: 5, level: on}\n",
         "m.yaml:3: requires: level: give high or low"},
        {"interlocks:\n  - never-together: [{module: 3, output: 1}]\n",
         "m.yaml:2: never-together: give two or more outputs"},
        {"interlocks:\n  - never-together: [{module: 3, input: 1}, {module: 3, output: 2}]\n",
         "m.yaml:2: never-together: never-together names outputs, which the program drives: "
         "give {module: 3, output: 1, level: high} or {output: NAME, level: high}"},
        {"modules: [1, 2]\n", "m.yaml:1: modules: give each module by its address: 1: {name: X axis, travel: [0, 50000]}"},
        {"", "m.yaml:1: the description is empty: give modules: or interlocks:"},
        {"modules: {1: {name: [unclosed\n", nullptr},   // a YAML syntax error: any message, with a line
    };
    for (const auto& c : cases) {
        std::vector<std::string> errors;
        Parse(c.text, &errors);
        ASSERT_FALSE(errors.empty()) << c.text;
        if (c.error) {
            EXPECT_EQ(errors[0], c.error) << c.text;
        }
        EXPECT_EQ(errors[0].rfind("m.yaml:", 0), 0u) << errors[0];
    }
}

TEST(MachineDescription, AHugeValueIsNeverEchoedWhole) {
    std::vector<std::string> errors;
    Parse("modules:\n  1: {max-velocity: " + std::string(100000, 'x') + "}\n", &errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_LT(errors[0].size(), 120u) << errors[0];
}

TEST(MachineDescription, MismatchWithTheModuleList) {
    const machine::Machine m = Parse(kPressCell);
    // Servo at 1, I/O at 3: it fits.
    EXPECT_TRUE(machine::MismatchWith(m, {127, 0, 0, 2}).empty());
    const std::vector<std::string> wrong = machine::MismatchWith(m, {127, 2, 0, 0});
    // Each module, then each signal of each interlock, that does not fit.
    ASSERT_EQ(wrong.size(), 8u);
    EXPECT_EQ(wrong[0], "module 1 has travel or motion limits but is a ZEL-I/O");
    EXPECT_EQ(wrong[1], "module 3 has named outputs but is a ZEL-SERVO");
    EXPECT_EQ(wrong[2], "interlock at line 14: module 1 is not a servo or stepper in the module list");
    EXPECT_EQ(wrong[3], "interlock at line 14: module 3 input 5 (door-closed) high is not on an I/O module or "
                        "stepper in the module list");
    EXPECT_EQ(wrong[7], "interlock at line 18: module 3 output 2 (blow-off) high is not on an I/O module in the "
                        "module list");
    EXPECT_EQ(machine::MismatchWith(m, {127, 0})[0], "module 3 is described but not in the module list");
}

// A program in text form after a header with a servo at 1, an I/O module at 3
// and a stepper at 4; the findings' rules and 1-based body lines.
std::vector<std::string> CheckBody(const std::string& body, const char* description, bool machineRulesOnly = false) {
    const std::string header =
        ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-SERVO\n"
        ".module 3 ZEL-I/O\n.module 4 ZEL-STEP\n\n";
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    EXPECT_TRUE(ParseProgramText(header + body, data, errors)) << (errors.empty() ? "" : errors[0].message);
    const machine::Machine m = Parse(description);
    const int n = int(data.lines.size());
    const auto findings = machine::CheckAgainstMachine(
        data.lines.data(), n, data.moduleTypes, m, check::CheckProgram(data.lines.data(), n, data.moduleTypes));
    std::vector<std::string> out;
    for (const check::Finding& f : findings)
        if (!machineRulesOnly || f.rule != "move-before-home")
            out.push_back(std::to_string(data.textLines[size_t(f.line)] - 7) + " " + f.rule + " " +
                      check::SeverityName(f.severity));
    return out;
}

using Strings = std::vector<std::string>;

TEST(MachineCheck, MovesAgainstTheAxesLimits) {
    const char* axes =
        "modules:\n  1: {travel: [0, 50000], max-velocity: 40000, max-acceleration: 2000}\n"
        "  4: {travel: [-100, 100], max-velocity: 200, max-acceleration: 50}\n";
    const struct {
        const char* body;
        Strings findings;
    } cases[] = {
        // Inside every limit, at both ends of the travel.
        {"  1 Move position=0 velocity=40000 acceleration=2000 pwm=0\n"
         "  1 Move position=50000 velocity=1 acceleration=1 pwm=0\n  0 StopProgram\n",
         {}},
        {"  1 Move position=50001 velocity=100 acceleration=10 pwm=0\n  0 StopProgram\n", {"1 travel-target error"}},
        {"  1 Move position=-1 velocity=100 acceleration=10 pwm=0\n  0 StopProgram\n", {"1 travel-target error"}},
        // A relative Move's target depends on where the axis stands: not a constant target.
        {"  1 Move position=-90000 velocity=100 acceleration=10 pwm=0 move-relative\n  0 StopProgram\n", {}},
        // Velocity mode has no target, but its velocity counts.
        {"  1 Move position=0 velocity=40001 acceleration=10 pwm=0 vel-mode\n  0 StopProgram\n",
         {"1 velocity-limit error"}},
        {"  1 Move position=10 velocity=100 acceleration=2001 pwm=0\n  0 StopProgram\n",
         {"1 acceleration-limit error"}},
        // PWM mode commands neither.
        {"  1 Move position=0 velocity=0 acceleration=0 pwm=128 pwm-mode\n  0 StopProgram\n", {}},
        // The stepper: position mode and its speed.
        {"  4 Move position=101 speed=10 acceleration=10\n  0 StopProgram\n", {"1 travel-target error"}},
        {"  4 Move position=100 speed=201 acceleration=51\n  0 StopProgram\n",
         {"1 velocity-limit error", "1 acceleration-limit error"}},
        {"  4 Move position=0 speed=10 acceleration=10 velocity-mode\n  0 StopProgram\n", {}},
        // Module 2 is not described: nothing is known of it.
        {"  2 Move position=99999999 velocity=99999 acceleration=9999 pwm=0\n  0 StopProgram\n", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckBody(c.body, axes, true), c.findings) << c.body;
}

TEST(MachineCheck, HomingFirstTurnsTheNoteIntoAWarning) {
    const char* body = "  1 Move position=10 velocity=100 acceleration=10 pwm=0\n  0 StopProgram\n";
    EXPECT_EQ(CheckBody(body, "modules:\n  1: {home-before-absolute: true}\n"),
              Strings({"1 move-before-home warning"}));
    EXPECT_EQ(CheckBody(body, "modules:\n  1: {home-before-absolute: false}\n"), Strings({"1 move-before-home note"}));
    // Homed first: nothing to say.
    EXPECT_EQ(CheckBody("  1 StartHoming index stop-on-home stop-abruptly\n" + std::string(body),
                        "modules:\n  1: {home-before-absolute: true}\n"),
              Strings({}));
}

// Each machine rule on a program and description written to give it (at
// these body lines) and on a close program that does not.
struct MachineCase {
    const char* rule;
    const char* description;
    const char* gives;
    std::vector<int> lines;
    const char* variant;
    const char* variantDescription = nullptr;   // none: the same description
};

const char kAxes[] =
    "modules:\n  1: {travel: [0, 50000], max-velocity: 40000, max-acceleration: 2000}\n"
    "  4: {travel: [-100, 100], max-velocity: 200, max-acceleration: 50}\n";

const MachineCase kMachineCases[] = {
    // Travel for the I/O module at 3, not for the servo at 1.
    {"machine-mismatch", "modules:\n  3: {travel: [0, 10]}\n", "  0 StopProgram\n", {1}, "  0 StopProgram\n",
     "modules:\n  1: {travel: [0, 10]}\n"},
    {"travel-target", kAxes, "  0 Delay time=1\n  1 Move position=50001 velocity=100 acceleration=10 pwm=0\n  0 StopProgram\n",
     {2}, "  0 Delay time=1\n  1 Move position=50000 velocity=100 acceleration=10 pwm=0\n  0 StopProgram\n"},
    {"velocity-limit", kAxes, "  4 Move position=100 speed=201 acceleration=50\n  0 StopProgram\n", {1},
     "  4 Move position=100 speed=200 acceleration=50\n  0 StopProgram\n"},
    {"acceleration-limit", kAxes, "  1 Move position=10 velocity=100 acceleration=2001 pwm=0\n  0 StopProgram\n", {1},
     "  1 Move position=10 velocity=100 acceleration=2000 pwm=0\n  0 StopProgram\n"},
};

// Body lines of a rule's findings in CheckBody's strings.
std::vector<int> LinesOfRule(const std::vector<std::string>& findings, const std::string& rule) {
    std::vector<int> out;
    for (const std::string& f : findings) {
        const size_t blank = f.find(' ');
        if (f.compare(blank + 1, rule.size() + 1, rule + " ") == 0) out.push_back(std::stoi(f.substr(0, blank)));
    }
    return out;
}

TEST(MachineCheck, EachRuleAtItsLineAndNotOnItsVariant) {
    for (const MachineCase& c : kMachineCases) {
        SCOPED_TRACE(std::string(c.rule) + "\n" + c.gives);
        EXPECT_EQ(LinesOfRule(CheckBody(c.gives, c.description), c.rule), c.lines);
        EXPECT_EQ(LinesOfRule(CheckBody(c.variant, c.variantDescription ? c.variantDescription : c.description), c.rule), std::vector<int>{});
    }
}

#ifdef STEPWRIGHT_SOURCE_DIR
// A machine rule cannot be added, nor its case or guide section dropped,
// without this test naming it.
TEST(MachineCheck, EveryRuleHasAGuideSectionAndACaseEachWay) {
    // The "### " headings of the guide, each with the first word of its text.
    std::ifstream in(std::string(STEPWRIGHT_SOURCE_DIR) + "/docs/manual.md", std::ios::binary);
    std::map<std::string, std::string> sections;
    std::string heading;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("### ", 0) == 0) {
            heading = line.substr(4);
            sections[heading];
        } else if (!heading.empty() && !line.empty()) {
            sections[heading] = line.substr(0, line.find(' '));
            heading.clear();
        }
    }
    ASSERT_FALSE(sections.empty());
    std::set<std::string> cased;
    for (const MachineCase& c : kMachineCases)
        if (!c.lines.empty()) cased.insert(c.rule);
    for (const check::Rule& r : machine::MachineRules()) {
        std::string severity = check::SeverityName(r.severity);
        severity[0] = char(severity[0] - 'a' + 'A');
        const auto section = sections.find(r.id);
        if (section == sections.end()) {
            ADD_FAILURE() << "rule " << r.id << " has no \"### " << r.id << "\" section in docs/manual.md";
        } else {
            EXPECT_EQ(section->second, severity + ":") << "the guide's section of " << r.id
                                                       << " opens with another severity";
        }
        EXPECT_TRUE(cased.count(r.id)) << "rule " << r.id << " has no case in kMachineCases";
    }
}
#endif

TEST(MachineCheck, ADescriptionThatDoesNotFitIsAnError) {
    EXPECT_EQ(CheckBody("  0 StopProgram\n", "modules:\n  3: {travel: [0, 10]}\n"),
              Strings({"1 machine-mismatch error"}));
}

}  // namespace
