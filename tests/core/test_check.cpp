// The program check: each rule on a program written to give it (at its line)
// and on a close variant that must not; the flow cases; the examples clean.

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

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
    std::string rule;
    std::string gives;          // a program that gives the rule ...
    std::vector<int> lines;     // ... at these body lines
    std::string variant;        // a close program that does not
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
    // The label a misspelt jump was meant for.
    {"unused-label", "X: 0 StopProgram\n", {1}, "  0 Call -> SUBB\n  0 StopProgram\nSUB: 0 Delay time=1\n  0 Return\n"},
    // A WaitFor or Delay of time 0 never waits: a loop through it spins.
    {"busy-loop", "SPIN: 0 WaitFor timeout=0 any-key -> SPIN\n  0 StopProgram\n", {1},
     "SPIN: 0 WaitFor timeout=1 any-key -> SPIN\n  0 StopProgram\n"},
    {"busy-loop", "L: 1 WaitFor timeout=0 move-done -> L\n  0 StopProgram\n", {1},
     "L: 1 WaitFor timeout=5 move-done -> L\n  0 StopProgram\n"},
    {"busy-loop", "L: 0 Delay time=0\n  0 If-GoTo any-key -> E\n  0 GoTo -> L\nE: 0 StopProgram\n", {1},
     "L: 0 Delay time=1\n  0 If-GoTo any-key -> E\n  0 GoTo -> L\nE: 0 StopProgram\n"},
    // A misspelt target: the lines the Call was to reach, and the one after
    // it, are not reported unreachable; a line no label can reach still is.
    {"unreachable", "  0 GoTo -> TYPO\n  0 StopProgram\n  0 Delay time=1\n", {2},
     "  0 Call -> SUBB\n  0 StopProgram\nSUB: 0 Delay time=1\n  0 Return\n"},
    {"unreachable", "  0 Call -> S\n  0 StopProgram\n  0 Delay time=1\nS: 0 Return\n", {3},
     "  0 If-GoTo any-key -> SKIPP\n  0 GoTo -> END\nSKIP: 0 Delay time=1\n  0 Delay time=2\nEND: 0 StopProgram\n"},
};

// Delays, n of them, each labelled or not, then StopProgram.
std::string Delays(int n, bool labelled) {
    std::string body;
    for (int i = 0; i < n; ++i) body += (labelled ? "L" + std::to_string(i) + ":" : std::string()) + " 0 Delay time=1\n";
    return body + "  0 StopProgram\n";
}

// Calls nested n deep: the main program calls S1, each Sk calls the next,
// the last returns at once.
std::string Nested(int n) {
    std::string body = "  0 Call -> S1\n  0 StopProgram\n";
    for (int k = 1; k < n; ++k)
        body += "S" + std::to_string(k) + ": 0 Call -> S" + std::to_string(k + 1) + "\n  0 Return\n";
    return body + "S" + std::to_string(n) + ": 0 Return\n";
}

// The table's cases and those of rules whose programs are built: the size
// limits (a Delay is 5 bytes: line k starts at 2 + 5k, the last start is
// 16344; the label table holds 1024) and the 16 calls the master holds.
std::vector<Case> AllCases() {
    std::vector<Case> all(std::begin(kCases), std::end(kCases));
    all.push_back({"image-too-large", Delays(3400, false), {3270}, Delays(3268, false)});
    all.push_back({"too-many-labels", Delays(1030, true), {1025}, Delays(1024, true)});
    all.push_back({"call-depth", Nested(17), {33}, Nested(16)});
    return all;
}

TEST(Check, EachRuleAtItsLineAndNotOnItsVariant) {
    for (const Case& c : AllCases()) {
        SCOPED_TRACE(c.rule + "\n" + c.gives);
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
    const auto delays = Delays;
    // Delay is 5 bytes: line k (0-based) starts at 2 + 5k, the last start is 16344.
    EXPECT_EQ(LinesOf(Check(delays(3400, false)), "image-too-large"), std::vector<int>{3270});
    EXPECT_EQ(LinesOf(Check(delays(3268, false)), "image-too-large"), std::vector<int>{});
    EXPECT_EQ(LinesOf(Check(delays(1030, true)), "too-many-labels"), std::vector<int>{1025});
    EXPECT_EQ(LinesOf(Check(delays(1024, true)), "too-many-labels"), std::vector<int>{});
}

// The master holds 16 calls pending: the 17th nested Call is an error, at
// that Call; a recursive Call is left to the recursion rule.
TEST(Check, CallDepth) {
    EXPECT_EQ(LinesOf(Check(Nested(16)), "call-depth"), std::vector<int>{});
    EXPECT_FALSE(check::Fails(Check(Nested(16)).findings));
    // S16's Call (body line 2 * 16 + 1) is the 17th.
    EXPECT_EQ(LinesOf(Check(Nested(17)), "call-depth"), std::vector<int>{33});
    EXPECT_EQ(LinesOf(Check(Nested(20)), "call-depth"), std::vector<int>{33});
    EXPECT_EQ(check::FindRule("call-depth")->severity, check::Severity::Error);
    // Reached once at depth 16 on one path only: still reported.
    const std::string twoWays = "  0 If-GoTo any-key -> DEEP\n  0 Call -> S17\n  0 StopProgram\nDEEP: 0 Call -> S1\n"
                                "  0 StopProgram\n" + Nested(17).substr(std::string("  0 Call -> S1\n  0 StopProgram\n").size());
    EXPECT_EQ(LinesOf(Check(twoWays), "call-depth"), std::vector<int>{36});
    const std::string recursive = "  0 Call -> S\n  0 StopProgram\nS: 0 If-GoTo any-key -> OUT\n  0 Call -> S\nOUT: 0 Return\n";
    EXPECT_EQ(LinesOf(Check(recursive), "call-depth"), std::vector<int>{});
    EXPECT_EQ(LinesOf(Check(recursive), "recursion"), std::vector<int>{4});
}

TEST(Check, IgnoreComments) {
    struct Row {
        const char* comment;
        std::vector<std::string> ids;
    };
    const Row rows[] = {
        {"; check: ignore busy-loop", {"busy-loop"}},
        {";check:ignore busy-loop", {"busy-loop"}},
        {";check:ignorebusy-loop", {}},
        {";check: ignore  a b,c ,d", {"a", "b", "c", "d"}},
        {";   check:   ignore\tunused-label", {"unused-label"}},
        {"; check: ignore", {}},
        {"; check: ignored busy-loop", {}},
        {"; Check: ignore busy-loop", {}},
        {"; note check: ignore busy-loop", {}},
    };
    for (const Row& r : rows) {
        ProgramLine line;
        line.setComment(r.comment);
        EXPECT_EQ(check::IgnoredRules(line), r.ids) << r.comment;
    }
    ProgramLine instruction{};
    EXPECT_EQ(check::IgnoredRules(instruction), std::vector<std::string>{});

    // The comment lines right above a line speak for it, and for no other.
    const Checked c = Check("; check: ignore busy-loop\n; and why\nL: 0 If-GoTo any-key -> E\n  0 GoTo -> L\n"
                            "; check: ignore unused-label\n  0 Delay time=1\n  0 Delay time=2\nE: 0 StopProgram\n");
    ASSERT_EQ(c.findings.size(), 2u);
    EXPECT_EQ(c.findings[0].rule, "busy-loop");
    EXPECT_EQ(c.findings[0].suppression, check::Suppression::InSource);
    EXPECT_EQ(c.findings[1].rule, "unreachable");
    EXPECT_EQ(c.findings[1].suppression, check::Suppression::None);
    // Nor for the line after the one it stands above.
    const Checked later = Check("  0 GoTo -> L\n; check: ignore unreachable\n  0 Delay time=1\nL: 0 Delay time=2\n"
                                "  0 GoTo -> M\n  0 Delay time=3\nM: 0 StopProgram\n");
    ASSERT_EQ(later.findings.size(), 2u);
    EXPECT_TRUE(later.findings[0].suppressed());
    EXPECT_EQ(later.findings[1].rule, "unreachable");
    EXPECT_FALSE(later.findings[1].suppressed());
}

TEST(Check, OptionsDisableAndChangeSeverity) {
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    ASSERT_TRUE(ParseProgramText(std::string(kHeader) + "  0 StopProgram\n; check: ignore unreachable\n  0 Delay time=1\n"
                                 "  0 GoTo -> NOWHERE\n", data, errors));
    auto run = [&](const check::Options& o) {
        return check::CheckProgram(data.lines.data(), int(data.lines.size()), data.moduleTypes, o);
    };
    std::vector<check::Finding> f = run({});
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].rule, "unreachable");
    EXPECT_TRUE(f[0].suppressed());
    EXPECT_EQ(f[1].rule, "undefined-label");
    EXPECT_TRUE(check::Fails(f));

    check::Options o;
    o.disabled = {"undefined-label"};
    f = run(o);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].suppression, check::Suppression::Disabled);
    EXPECT_FALSE(check::Fails(f));   // suppressed findings never fail

    o = {};
    o.severities = {{"undefined-label", check::Severity::Note}, {"unreachable", check::Severity::Error}};
    f = run(o);
    EXPECT_EQ(f[0].severity, check::Severity::Error);
    EXPECT_EQ(f[1].severity, check::Severity::Note);
    EXPECT_FALSE(check::Fails(f));
    // In-source wins over disabled: the reason the source gives is kept.
    o = {};
    o.disabled = {"unreachable"};
    EXPECT_EQ(run(o)[0].suppression, check::Suppression::InSource);
}

// Fingerprints do not move with the line numbers: lines put above leave
// them as they were; the same finding on lines of the same content counts up.
TEST(Check, FingerprintsSurviveLinesMoving) {
    auto prints = [](const std::string& body) {
        ProgramFileData data;
        std::vector<ProgramTextError> errors;
        EXPECT_TRUE(ParseProgramText(kHeader + body, data, errors));
        const auto f = check::CheckProgram(data.lines.data(), int(data.lines.size()), data.moduleTypes);
        return check::Fingerprints(data.lines.data(), int(data.lines.size()), f);
    };
    const std::string body = "  0 GoTo -> A\n  0 GoTo -> A\n  0 GoTo -> B\n";
    const std::vector<std::string> before = prints(body);
    // undefined-label at each line, unreachable at the second (the block of two)
    ASSERT_EQ(before.size(), 4u);
    EXPECT_EQ(prints("; a new comment\n" + body), before);
    // The two GoTo -> A lines: same content, counted apart.
    EXPECT_EQ(before[0].substr(0, 16), before[1].substr(0, 16));
    EXPECT_EQ(before[0].substr(16), ":1");
    EXPECT_EQ(before[1].substr(16), ":2");
    EXPECT_NE(before[1].substr(0, 16), before[2].substr(0, 16));   // another rule
    EXPECT_NE(before[0].substr(0, 16), before[3].substr(0, 16));   // another target
    for (const std::string& p : before) EXPECT_EQ(p.size(), 18u) << p;
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

std::string SourceFile(const std::string& relative) {
    std::ifstream in(std::string(STEPWRIGHT_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The "### " headings of the guide, each with the first word of its text
// ("Error:", "Warning:" or "Note:" for a rule).
std::map<std::string, std::string> GuideSections() {
    std::map<std::string, std::string> out;
    std::istringstream lines(SourceFile("docs/manual.md"));
    std::string heading;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("### ", 0) == 0) {
            heading = line.substr(4);
            out[heading];
        } else if (!heading.empty() && !line.empty()) {
            out[heading] = line.substr(0, line.find(' '));
            heading.clear();
        }
    }
    return out;
}

// "Error:" for an error.
std::string GuideSeverity(check::Severity severity) {
    std::string name = check::SeverityName(severity);
    name[0] = char(name[0] - 'a' + 'A');
    return name + ":";
}

// Rules whose programs do not fit the case table: the test that gives each,
// by its file and its name.  The file must hold the test and the test must
// name the rule.
const struct {
    const char* rule;
    const char* file;
    const char* test;
} kCoveredElsewhere[] = {
    {"file-refused", "tests/sim/test_cli_check.cpp", "TEST(CliCheck, RefusedFilesInText)"},
};

// A rule cannot be added, nor its cases or its guide section dropped,
// without this test naming it: every rule has a "### RULE-ID" section in
// the guide, opening with its severity, and a case that gives it with a
// close variant that does not.
TEST(Check, EveryRuleHasAGuideSectionAndACaseEachWay) {
    const std::map<std::string, std::string> sections = GuideSections();
    ASSERT_FALSE(sections.empty());
    std::set<std::string> cased;
    for (const Case& c : AllCases())
        if (!c.lines.empty() && !c.variant.empty()) cased.insert(c.rule);
    for (const auto& e : kCoveredElsewhere) {
        const std::string source = SourceFile(e.file);
        const size_t at = source.find(e.test);
        ASSERT_NE(at, std::string::npos) << e.rule << ": " << e.file << " has no " << e.test;
        const std::string body = source.substr(at, source.find("\nTEST(", at + 1) - at);
        EXPECT_NE(body.find(std::string("[") + e.rule + "]"), std::string::npos) << e.test << " does not give " << e.rule;
        cased.insert(e.rule);
    }
    for (const check::Rule& r : check::Rules()) {
        const auto section = sections.find(r.id);
        if (section == sections.end()) {
            ADD_FAILURE() << "rule " << r.id << " has no \"### " << r.id << "\" section in docs/manual.md";
        } else {
            EXPECT_EQ(section->second, GuideSeverity(r.severity)) << "the guide's section of " << r.id
                                                                   << " opens with another severity";
        }
        EXPECT_TRUE(cased.count(r.id)) << "rule " << r.id
                                       << " has no case that gives it and a variant that does not (kCases)";
    }
}
#endif

}  // namespace

namespace {

// A frame of another family names both families with the right article.
TEST(Check, WrongFamilyMessagesReadAsEnglish) {
    const struct {
        const char* body;
        std::vector<int> types;
        std::string message;
    } cases[] = {
        {"  3 SetOutputs bit-1 set\n  0 StopProgram\n", {127, 0, 0, 0},
         "an I/O SetOutputs for module 3, which is a Servo module"},
        {"  1 Move position=1 velocity=1 acceleration=1 pwm=0\n  0 StopProgram\n", {127, 2},
         "a Servo Move for module 1, which is an I/O module"},
    };
    for (const auto& c : cases) {
        const Checked r = Check(c.body, c.types);
        std::string got;
        for (const check::Finding& f : r.findings)
            if (f.rule == "module-type") got = f.message;
        EXPECT_EQ(got, c.message) << c.body;
    }
}

}  // namespace
