// The program check: each rule on a program written to give it (at its line)
// and on a close variant that must not; the flow cases; the examples clean.

#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "program/Check.h"
#include "program/ProgramFile.h"
#include "program/ProgramText.h"

namespace {

const char kHeader[] =
    ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-SERVO\n"
    ".module 3 ZEL-I/O\n.module 4 ZEL-STEP\n\n";
constexpr int kHeaderLines = 7;

struct Checked {
    std::vector<check::Finding> findings;
    std::vector<int> textLines;
};

// The body's lines follow the header; a finding's line is given as the
// 1-based line of the body.
Checked Check(const std::string& body, std::vector<int> types = {}) {
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    const bool read = ParseProgramText(kHeader + body, data, errors);
    EXPECT_TRUE(read) << (errors.empty() ? "" : errors[0].message) << "\n" << body;
    if (types.empty()) types = data.moduleTypes;
    return {check::CheckProgram(data.lines.data(), int(data.lines.size()), types), data.textLines};
}

// Body lines (1-based) of the findings of a rule.
std::vector<int> LinesOf(const Checked& c, const std::string& rule) {
    std::vector<int> out;
    for (const check::Finding& f : c.findings)
        if (f.rule == rule) out.push_back(c.textLines[size_t(f.line)] - kHeaderLines);
    return out;
}

const std::vector<int> kServoAt4 = {127, 0, 0, 2, 0};   // module 4 a servo
const std::vector<int> kNoModule4 = {127, 0, 0, 2};

struct Case {
    const char* rule;
    const char* gives;          // a program that gives the rule ...
    std::vector<int> lines;     // ... at these body lines
    const char* variant;        // a close program that does not
    std::vector<int> types = {};   // the module list the check is given ("": the program's)
};

const Case kCases[] = {
    {"undefined-label", "  0 GoTo -> NOWHERE\n", {1}, "L: 0 GoTo -> L\n"},
    {"duplicate-label", "A: 0 Delay time=1\nA: 0 StopProgram\n", {2}, "A: 0 Delay time=1\nB: 0 StopProgram\n"},
    {"duplicate-label", "NULL: 0 Delay time=1\nA: 0 GoTo -> A\n", {}, "NULL: 0 Delay time=1\nNULL: 0 GoTo -> NULL\n"},
    {"module-missing", "  0 Delay time=1\n  4 ResetPosition\n  0 StopProgram\n", {2},
     "  0 Delay time=1\n  4 ResetPosition\n  0 StopProgram\n", kNoModule4},
    {"module-type", "  4 SetParam min-speed=1 run-cur=20 hold-cur=10 therm-limit=0 speed-1x\n  0 StopProgram\n", {1},
     "  1 SetGain kp=100 kd=1000 ki=0 il=0 ol=255 cl=0 el=2000 sr=1 dc=0\n  0 StopProgram\n", kServoAt4},
    {"module-type", "  4 WaitFor timeout=300 not-moving -> NULL\n  0 StopProgram\n", {1},
     "  4 WaitFor timeout=300 not-moving -> NULL\n  0 StopProgram\n", kServoAt4},
    {"missing-target", "  0 GoTo -> NULL\n  0 Call\n  0 StopProgram\n", {1, 2},
     "  0 GoTo -> NULL\nNULL: 0 StopProgram\n"},
    {"empty-target", "  0 WaitFor timeout=10\n  0 CountDown counter=1\n  0 StopProgram\n", {1, 2},
     "  0 WaitFor timeout=10 -> NULL\n  0 StopProgram\n"},
    {"return-without-call", "  0 Delay time=1\n  0 Return\n", {2}, "  0 Call -> S\n  0 StopProgram\nS: 0 Return\n"},
    {"unreachable", "  0 StopProgram\n  0 Delay time=1\n  0 StopProgram\n", {2},
     "  0 WaitFor timeout=10 -> T\n  0 StopProgram\nT: 0 StopProgram\n"},
    {"runs-off-end", "  0 Delay time=1\n", {1}, "  0 Delay time=1\n  0 StopProgram\n"},
    {"runs-off-end", "  0 Call -> S\n  0 StopProgram\nS: 0 Delay time=1\n", {3},
     "  0 Call -> S\n  0 StopProgram\nS: 0 Return\n"},
    {"counter-unset", "L: 0 Delay time=1\n  0 CountDown counter=1 -> L\n  0 StopProgram\n", {2},
     "  0 SetCounter counter=1 initial-value=3\nL: 0 Delay time=1\n  0 CountDown counter=1 -> L\n  0 StopProgram\n"},
    {"counter-unset", "  0 If-GoTo counter-2=0 -> E\n  0 SetCounter counter=2 initial-value=1\nE: 0 StopProgram\n", {1},
     "  0 Call -> S\n  0 If-GoTo counter-2=0 -> E\nE: 0 StopProgram\n"
     "S: 0 SetCounter counter=2 initial-value=1\n  0 Return\n"},
    {"timer-unset", "  0 If-GoTo timeout -> E\nE: 0 StopProgram\n", {1},
     "  0 SetTimer timeout=10\n  0 If-GoTo timeout -> E\nE: 0 StopProgram\n"},
    {"recursion", "  0 Call -> S\n  0 StopProgram\nS: 0 Delay time=1\n  0 Call -> S\n  0 Return\n", {4},
     "L: 0 Call -> A\n  0 GoTo -> L\nA: 0 Call -> B\n  0 Return\nB: 0 Delay time=1\n  0 Return\n"},
    {"monitor-without-return",
     "  0 SetTimer timeout=10\n  0 MonitorSub -> M\n  0 Delay time=100\n  0 StopProgram\nM: 0 StopProgram\n", {2},
     "  0 SetTimer timeout=10\n  0 MonitorSub -> M\n  0 Delay time=100\n  0 StopProgram\nM: 0 Return\n"},
    {"ignore-limits",
     "  4 SetParam min-speed=1 run-cur=20 hold-cur=10 therm-limit=0 ignore-limits speed-1x\n"
     "  4 SetParam min-speed=1 run-cur=20 hold-cur=10 therm-limit=0 speed-1x ignore-stop\n  0 StopProgram\n",
     {1, 2}, "  4 SetParam min-speed=1 run-cur=20 hold-cur=10 therm-limit=0 speed-1x off-on-e-stop\n  0 StopProgram\n"},
    {"baud-change", "  0 ChangeBaud baud-rate=9600\n  0 StopProgram\n", {1}, "  0 SetTimer timeout=9600\n  0 StopProgram\n"},
    {"busy-loop", "L: 0 If-GoTo any-key -> E\n  0 GoTo -> L\nE: 0 StopProgram\n", {1},
     "L: 0 If-GoTo any-key -> E\n  0 Delay time=1\n  0 GoTo -> L\nE: 0 StopProgram\n"},
    {"busy-loop", "L: 0 ClearKey\n  0 Call -> S\n  0 GoTo -> L\nS: 0 Return\n", {1},
     "  0 SetCounter counter=1 initial-value=9\nL: 0 ClearKey\n  0 CountDown counter=1 -> L\n  0 StopProgram\n"},
    {"move-before-home", "  4 Move position=100 speed=100 acceleration=20\n  0 StopProgram\n", {1},
     "  0 Call -> H\n  4 Move position=100 speed=100 acceleration=20\n  0 StopProgram\nH: 4 StartHoming limit-1\n"
     "  0 Return\n"},
    {"move-before-home", "  1 Move position=4000 velocity=4000 acceleration=40 pwm=0\n  0 StopProgram\n", {1},
     "  1 Move position=-1000 velocity=4000 acceleration=40 pwm=0 move-relative\n  0 StopProgram\n"},
    {"unused-label", "X: 0 StopProgram\n", {1}, "X: 0 Delay time=1\n  0 If-GoTo any-key -> X\n  0 StopProgram\n"},
};

TEST(Check, EachRuleAtItsLineAndNotOnItsVariant) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.rule) + "\n" + c.gives);
        ASSERT_NE(check::FindRule(c.rule), nullptr);
        // With a module list given, the variant is checked against the program's own.
        EXPECT_EQ(LinesOf(Check(c.gives, c.types), c.rule), c.lines);
        EXPECT_EQ(LinesOf(Check(c.variant), c.rule), std::vector<int>{}) << c.variant;
    }
}

// The flow cases of programs that are right: nothing at warning level or above.
TEST(Check, RightFlowsGiveNoWarning) {
    const char* programs[] = {
        // a label reached only through a WaitFor timeout
        "  0 WaitFor timeout=100 -> LATE\n  0 StopProgram\nLATE: 0 Print print-chars=late\n  0 StopProgram\n",
        // "NULL" written on purpose, in every target that may take it
        "  0 WaitFor timeout=100 -> NULL\n  0 If-GoTo any-key -> NULL\n  0 StopProgram\n",
        // a Call inside a loop, and nested Calls
        "L: 0 Call -> A\n  0 Delay time=10\n  0 GoTo -> L\nA: 0 Call -> B\n  0 Return\nB: 0 Return\n",
        // a MonitorSub whose subroutine uses a counter set after it
        "  0 SetTimer timeout=100\n  0 MonitorSub -> M\n  0 SetCounter counter=3 initial-value=5\n"
        "L: 0 Delay time=10\n  0 GoTo -> L\nM: 0 If-GoTo counter-3=0 -> OUT\nOUT: 0 Return\n",
        // a CountDown loop around a subroutine
        "  0 SetCounter counter=1 initial-value=3\nLOOP: 0 Call -> PASS\n  0 CountDown counter=1 -> LOOP\n"
        "  0 StopProgram\nPASS: 0 Delay time=1\n  0 Return\n",
    };
    for (const char* p : programs) {
        const Checked c = Check(p);
        EXPECT_FALSE(check::Fails(c.findings)) << p << (c.findings.empty() ? "" : c.findings[0].message);
    }
}

// Size limits: the image and the label table.
TEST(Check, ImageAndLabelTableLimits) {
    auto delays = [](int n, bool labelled) {
        std::string body;
        for (int i = 0; i < n; ++i) body += (labelled ? "L" + std::to_string(i) + ":" : std::string()) + " 0 Delay time=1\n";
        return body + "  0 StopProgram\n";
    };
    // Delay is 5 bytes: line k (0-based) starts at 2 + 5k, the last start is 16344.
    EXPECT_EQ(LinesOf(Check(delays(3400, false)), "image-too-large"), std::vector<int>{3270});
    EXPECT_EQ(LinesOf(Check(delays(3268, false)), "image-too-large"), std::vector<int>{});
    EXPECT_EQ(LinesOf(Check(delays(1030, true)), "too-many-labels"), std::vector<int>{1025});
    EXPECT_EQ(LinesOf(Check(delays(1024, true)), "too-many-labels"), std::vector<int>{});
}

#ifdef STEPWRIGHT_SOURCE_DIR
// Every example gives no error or warning.
TEST(Check, ExamplesAreClean) {
    const std::string dir = std::string(STEPWRIGHT_SOURCE_DIR) + "/examples";
    DIR* d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    int checked = 0;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        const bool text = IsProgramTextPath(name);
        if (!text && (name.size() < 4 || name.compare(name.size() - 4, 4, ".stw") != 0)) continue;
        std::string bytes;
        ProgramFileData data;
        ASSERT_TRUE(ReadProgramBytes(dir + "/" + name, bytes)) << name;
        ASSERT_EQ(text ? ParseProgramTextFile(bytes, name, data) : ParseProgramFile(bytes, data), "") << name;
        ++checked;
        std::vector<std::string> serious;
        for (const check::Finding& f :
             check::CheckProgram(data.lines.data(), int(data.lines.size()), data.moduleTypes))
            if (f.severity != check::Severity::Note) serious.push_back(f.rule + ": " + f.message);
        EXPECT_EQ(serious, std::vector<std::string>{}) << name;
    }
    closedir(d);
    EXPECT_GE(checked, 12);
}
#endif

}  // namespace
