// stepwright-cli check: findings as compiler lines with their exit codes,
// the JSON and SARIF documents parsed back, and usage errors.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "CliRunner.h"

#ifdef STEPWRIGHT_TEST_QT_JSON
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#endif

namespace {

// A program text with an error on text line 8 and a warning on line 10.
const char kFaulty[] =
    ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n\n"
    "; faults\n"
    "          0 Delay time=1\n"
    "          0 Call -> S\n"
    "          0 GoTo -> NOWHERE\n"
    "S:        0 Return\n"
    "          0 Delay time=2\n";

struct Files {
    Files() {
        char templ[] = "/tmp/stepwright-check-test.XXXXXX";
        if (mkdtemp(templ)) dir = templ;
        write("faulty.sws", kFaulty);
        write("clean.sws", ".stepwright 1\n.module 0 [Master]\n\nX: 0 Delay time=1\n   0 StopProgram\n");
    }
    ~Files() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    }
    std::string operator/(const std::string& name) const { return dir + "/" + name; }
    std::string dir;
};

TEST(CliCheck, CompilerLinesAndExitCodes) {
    Files f;
    CliResult r = RunCli({"check", f / "faulty.sws", f / "clean.sws"});
    EXPECT_EQ(r.code, 8) << r.err;
    EXPECT_EQ(r.out, f / "faulty.sws" + ":8: error: jump to 'NOWHERE', which no line defines [undefined-label]\n" +
                         f / "faulty.sws" + ":10: warning: no path from the first instruction reaches this line "
                                            "[unreachable]\n" +
                         f / "clean.sws" + ":4: note: label 'X' is not the target of any jump [unused-label]\n");
    // Notes never fail.
    EXPECT_EQ(RunCli({"check", f / "clean.sws"}).code, 0);
    // The module list given replaces the program's: module 1 is then missing.
    f.write("servo.sws", ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n\n  1 ClearStatBits\n  0 StopProgram\n");
    EXPECT_EQ(RunCli({"check", f / "servo.sws", "--modules", "servo"}).code, 0);
    r = RunCli({"check", "--modules", "", f / "servo.sws"});
    EXPECT_EQ(r.code, 8);
    EXPECT_NE(r.out.find(":5: error: a frame for module 1, which the module list does not hold [module-missing]"),
              std::string::npos)
        << r.out;
    // An unknown option, no file, --port.
    EXPECT_EQ(RunCli({"check", "--bogus", f / "clean.sws"}).code, 1);
    EXPECT_EQ(RunCli({"check"}).code, 1);
    EXPECT_EQ(RunCli({"--port", "/dev/null", "check", f / "clean.sws"}).code, 1);
    EXPECT_EQ(RunCli({"--json", "check", "--sarif", f / "clean.sws"}).code, 1);
}

// A refused file is a finding: one line per error of the reader, at its
// place, and the exit code 2 whatever the other files give.
TEST(CliCheck, RefusedFilesInText) {
    Files f;
    f.write("bad.sws", ".stepwright 1\n.module 0 [Master]\n\n  0 Bogus\n  0 Delay x=1\n");
    f.write("bad.stw", "1\n127 0\n1\nL\n   0\n\n   0\n 0  0  9\nfive\n");
    CliResult r = RunCli({"check", f / "bad.sws", f / "missing.stw", f / "bad.stw", f / "faulty.sws"});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_EQ(r.out,
              f / "bad.sws" + ":4:5: error: 'Bogus' is not a command of [Master]; its commands are GoTo, Call, Return, "
                              "If-GoTo, StopProgram, Print, SetTimer, GetStatus, MonitorSub, Delay, WaitFor, ClearKey, "
                              "SetCounter, CountDown, TavoInit, Reset, ChangeBaud [file-refused]\n" +
                  f / "bad.sws" + ":5:11: error: field 'x': Delay has no field 'x'; its fields are time= [file-refused]\n" +
                  f / "missing.stw" + ":1:1: error: cannot be read [file-refused]\n" +
                  f / "bad.stw" + ":9:1: error: the byte count is not a decimal number [file-refused]\n" +
                  f / "faulty.sws" + ":8: error: jump to 'NOWHERE', which no line defines [undefined-label]\n" +
                  f / "faulty.sws" + ":10: warning: no path from the first instruction reaches this line "
                                     "[unreachable]\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(RunCli({"check", f / "missing.stw"}).code, 2);
}

// FILE:LINE is the file's line: the text line of a .sws, the line where the
// line's block starts in a .stw.
TEST(CliCheck, FileLinesOfAProgramFile) {
    Files f;
    ASSERT_EQ(RunCli({"import", f / "faulty.sws", "-o", f / "faulty.stw"}).code, 0);
    const CliResult r = RunCli({"check", f / "faulty.stw"});
    EXPECT_EQ(r.code, 8);
    // Comment at file line 4; then blocks of 7 lines (one line of bytes).
    EXPECT_EQ(r.out, f / "faulty.stw" + ":19: error: jump to 'NOWHERE', which no line defines [undefined-label]\n" +
                         f / "faulty.stw" + ":33: warning: no path from the first instruction reaches this line "
                                            "[unreachable]\n");
}

// "; check: ignore" comments, --disable and --severity.
TEST(CliCheck, TunedRules) {
    Files f;
    f.write("tuned.sws", ".stepwright 1\n.module 0 [Master]\n\n  0 Delay time=1\n"
                         "; check: ignore undefined-label\n  0 GoTo -> NOWHERE\n  0 Delay time=2\n");
    CliResult r = RunCli({"check", f / "tuned.sws"});
    EXPECT_EQ(r.code, 8);
    EXPECT_EQ(r.out, f / "tuned.sws" + ":7: warning: no path from the first instruction reaches this line [unreachable]\n");
    r = RunCli({"check", "--disable", "unreachable", f / "tuned.sws"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    r = RunCli({"check", "--severity", "unreachable=note", f / "tuned.sws"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, f / "tuned.sws" + ":7: note: no path from the first instruction reaches this line [unreachable]\n");
    r = RunCli({"check", "--severity", "unused-label=error", f / "clean.sws"});
    EXPECT_EQ(r.code, 8);
    EXPECT_EQ(r.out, f / "clean.sws" + ":4: error: label 'X' is not the target of any jump [unused-label]\n");
    for (const Strings& bad : {Strings{"--disable", "no-such-rule"}, Strings{"--disable"},
                               Strings{"--severity", "unreachable"}, Strings{"--severity", "unreachable=fatal"},
                               Strings{"--severity", "bogus=note"}, Strings{"--disable", "file-refused"}}) {
        Strings args{"check"};
        args.insert(args.end(), bad.begin(), bad.end());
        args.push_back(f / "clean.sws");
        r = RunCli(args);
        EXPECT_EQ(r.code, 1) << bad[0];
        EXPECT_EQ(r.out, "");
    }
}

#ifdef STEPWRIGHT_TEST_QT_JSON
QJsonObject Parse(const std::string& text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

TEST(CliCheck, JsonAndSarifParseBack) {
    Files f;
    CliResult r = RunCli({"--json", "check", f / "faulty.sws"});
    EXPECT_EQ(r.code, 8);
    const QJsonArray files = Parse(r.out).value("files").toArray();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0].toObject().value("file").toString().toStdString(), f / "faulty.sws");
    const QJsonArray findings = files[0].toObject().value("findings").toArray();
    ASSERT_EQ(findings.size(), 2);
    EXPECT_EQ(findings[0].toObject().value("line").toInt(), 8);
    EXPECT_EQ(findings[0].toObject().value("rule").toString(), "undefined-label");
    EXPECT_EQ(findings[0].toObject().value("severity").toString(), "error");
    EXPECT_EQ(findings[1].toObject().value("line").toInt(), 10);
    EXPECT_EQ(findings[1].toObject().value("severity").toString(), "warning");

    r = RunCli({"check", "--sarif", f / "faulty.sws"});
    EXPECT_EQ(r.code, 8);
    const QJsonObject log = Parse(r.out);
    EXPECT_EQ(log.value("version").toString(), "2.1.0");
    const QJsonObject run = log.value("runs").toArray()[0].toObject();
    const QJsonArray rules = run.value("tool").toObject().value("driver").toObject().value("rules").toArray();
    const QJsonArray results = run.value("results").toArray();
    ASSERT_EQ(results.size(), 2);
    for (const auto& item : results) {
        const QJsonObject result = item.toObject();
        // Each result names a rule of the driver by id and index.
        const int index = result.value("ruleIndex").toInt(-1);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, rules.size());
        EXPECT_EQ(rules[index].toObject().value("id"), result.value("ruleId"));
        EXPECT_FALSE(result.value("message").toObject().value("text").toString().isEmpty());
        const QJsonObject where =
            result.value("locations").toArray()[0].toObject().value("physicalLocation").toObject();
        // An absolute name is a file:// URI.
        EXPECT_EQ(where.value("artifactLocation").toObject().value("uri").toString().toStdString(),
                  "file://" + (f / "faulty.sws"));
        EXPECT_GT(where.value("region").toObject().value("startLine").toInt(), 0);
    }
    EXPECT_EQ(results[0].toObject().value("level").toString(), "error");
    EXPECT_EQ(results[1].toObject()
                  .value("locations").toArray()[0].toObject()
                  .value("physicalLocation").toObject()
                  .value("region").toObject()
                  .value("startLine").toInt(),
              10);
}

QJsonObject At(const QJsonValue& v, std::initializer_list<const char*> path) {
    QJsonValue at = v;
    for (const char* key : path) at = at.toObject().value(QLatin1String(key));
    return at.toObject();
}

// Refusals and suppressed findings are kept in JSON and SARIF.
TEST(CliCheck, RefusalsAndSuppressionsInJsonAndSarif) {
    Files f;
    f.write("bad.sws", ".stepwright 1\n.module 0 [Master]\n\n  0 Bogus\n  0 Delay x=1\n");
    f.write("tuned.sws", ".stepwright 1\n.module 0 [Master]\n\n  0 Delay time=1\n"
                         "; check: ignore undefined-label\n  0 GoTo -> NOWHERE\n  0 Delay time=2\n");
    CliResult r = RunCli({"--json", "check", "--disable", "unreachable", f / "bad.sws", f / "tuned.sws"});
    EXPECT_EQ(r.code, 2);
    const QJsonArray files = Parse(r.out).value("files").toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(files[0].toObject().value("refused").toBool());
    const QJsonArray refusals = files[0].toObject().value("findings").toArray();
    ASSERT_EQ(refusals.size(), 2);
    EXPECT_EQ(refusals[1].toObject().value("line").toInt(), 5);
    EXPECT_EQ(refusals[1].toObject().value("column").toInt(), 11);
    EXPECT_EQ(refusals[1].toObject().value("rule").toString(), "file-refused");
    EXPECT_EQ(refusals[1].toObject().value("message").toString(), "field 'x': Delay has no field 'x'; its fields are time=");
    EXPECT_FALSE(files[1].toObject().value("refused").toBool());
    const QJsonArray findings = files[1].toObject().value("findings").toArray();
    ASSERT_EQ(findings.size(), 2);
    // The file's line and the listing line, each finding suppressed and why.
    EXPECT_EQ(findings[0].toObject().value("line").toInt(), 6);
    EXPECT_EQ(findings[0].toObject().value("listingLine").toInt(), 3);
    EXPECT_EQ(findings[0].toObject().value("suppression").toString(), "in-source");
    EXPECT_EQ(findings[1].toObject().value("listingLine").toInt(), 4);
    EXPECT_EQ(findings[1].toObject().value("suppression").toString(), "disabled");
    for (const auto& x : findings) EXPECT_TRUE(x.toObject().value("suppressed").toBool());

    r = RunCli({"check", "--sarif", "--disable", "unreachable", f / "bad.sws", f / "tuned.sws"});
    EXPECT_EQ(r.code, 2);
    const QJsonObject run = Parse(r.out).value("runs").toArray()[0].toObject();
    const QJsonArray results = run.value("results").toArray();
    ASSERT_EQ(results.size(), 4);
    EXPECT_EQ(results[0].toObject().value("ruleId").toString(), "file-refused");
    const QJsonObject first = results[0].toObject().value("locations").toArray()[0].toObject();
    const QJsonObject region = first.value("physicalLocation").toObject().value("region").toObject();
    EXPECT_EQ(region.value("startLine").toInt(), 4);
    EXPECT_EQ(region.value("startColumn").toInt(), 5);
    EXPECT_EQ(results[2].toObject().value("suppressions").toArray()[0].toObject().value("kind").toString(), "inSource");
    EXPECT_EQ(results[3].toObject().value("suppressions").toArray()[0].toObject().value("kind").toString(), "external");
    EXPECT_EQ(results[3].toObject().value("properties").toObject().value("listingLine").toInt(), 4);
    EXPECT_FALSE(results[1].toObject().contains("suppressions"));
}

// Relative names are relative to the working directory, given as the base
// id's URI; bytes outside the URI's set are percent-encoded.  Each rule has
// its descriptions and help; each result a fingerprint that stays when
// lines are put above it.
TEST(CliCheck, SarifLocationsRulesAndFingerprints) {
    Files f;
    f.write("a b%.sws", kFaulty);
    RunOptions inDir;
    inDir.cwd = f.dir;
    CliResult r = RunCli({"check", "--sarif", "a b%.sws"}, inDir);
    EXPECT_EQ(r.code, 8);
    const QJsonObject run = Parse(r.out).value("runs").toArray()[0].toObject();
    const QJsonObject location =
        At(run.value("results").toArray()[0], {}).value("locations").toArray()[0].toObject();
    const QJsonObject artifact = At(location, {"physicalLocation", "artifactLocation"});
    EXPECT_EQ(artifact.value("uri").toString(), "a%20b%25.sws");
    EXPECT_EQ(artifact.value("uriBaseId").toString(), "SRCROOT");
    EXPECT_EQ(At(run, {"originalUriBaseIds", "SRCROOT"}).value("uri").toString().toStdString(), "file://" + f.dir + "/");
    const QJsonObject driver = At(run, {"tool", "driver"});
    EXPECT_FALSE(driver.value("version").toString().isEmpty());
    EXPECT_TRUE(driver.value("informationUri").toString().startsWith("file:///"));
    EXPECT_TRUE(driver.value("informationUri").toString().endsWith("/doc/stepwright/manual.md"));
    for (const auto& item : driver.value("rules").toArray()) {
        const QJsonObject rule = item.toObject();
        const QString id = rule.value("id").toString();
        EXPECT_FALSE(rule.value("shortDescription").toObject().value("text").toString().isEmpty()) << id.toStdString();
        EXPECT_FALSE(rule.value("fullDescription").toObject().value("text").toString().isEmpty()) << id.toStdString();
        EXPECT_FALSE(rule.value("help").toObject().value("text").toString().isEmpty()) << id.toStdString();
        EXPECT_EQ(rule.value("helpUri").toString(), driver.value("informationUri").toString() + "#" + id);
    }

    auto prints = [&](const std::string& name) {
        const CliResult one = RunCli({"check", "--sarif", f / name});
        std::vector<std::string> out;
        for (const auto& item : Parse(one.out).value("runs").toArray()[0].toObject().value("results").toArray())
            out.push_back(At(item, {"partialFingerprints"}).value("stepwrightLineHash/v1").toString().toStdString());
        return out;
    };
    std::string moved = kFaulty;
    moved.insert(moved.find("; faults"), "; a comment\n          0 Delay time=9\n");
    f.write("moved.sws", moved);
    const std::vector<std::string> before = prints("faulty.sws");
    ASSERT_EQ(before.size(), 2u);
    EXPECT_NE(before[0], before[1]);
    EXPECT_EQ(prints("moved.sws"), before);
}
#endif

}  // namespace

namespace {

// --machine: the Moves held against the axes' limits, tuned as the other
// rules, and a malformed description refused before any program is read.
TEST(CliCheck, AgainstAMachineDescription) {
    Files f;
    f.write("moves.sws",
            ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n\n"
            "          1 StartHoming index stop-on-home stop-abruptly\n"
            "          1 Move position=60000 velocity=4000 acceleration=40 pwm=0\n"
            "; check: ignore velocity-limit\n"
            "          1 Move position=100 velocity=50000 acceleration=40 pwm=0\n"
            "          0 StopProgram\n");
    f.write("cell.machine.yaml", "modules:\n  1: {name: X axis, travel: [0, 50000], max-velocity: 40000}\n");
    f.write("bad.machine.yaml", "modules:\n  1: {travel: [0, 50000]}\n  2: {speed: 3}\n");

    CliResult r = RunCli({"check", f / "moves.sws", "--machine", f / "cell.machine.yaml"});
    EXPECT_EQ(r.code, 8) << r.err;
    EXPECT_EQ(r.out, f / "moves.sws" + ":6: error: Move of module 1 (X axis) to 60000, outside its travel 0 to 50000 "
                                       "[travel-target]\n");
    // Without the description the program is clean.
    EXPECT_EQ(RunCli({"check", f / "moves.sws"}).code, 0);
    // Tuned like any rule; a machine rule id is known to --disable and --severity.
    r = RunCli({"check", f / "moves.sws", "--machine", f / "cell.machine.yaml", "--severity", "travel-target=note"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(RunCli({"check", f / "moves.sws", "--machine", f / "cell.machine.yaml", "--disable", "travel-target"}).code,
              0);
    // The suppressed velocity finding stays in JSON, marked.
    r = RunCli({"--json", "check", f / "moves.sws", "--machine", f / "cell.machine.yaml"});
    EXPECT_NE(r.out.find("\"rule\": \"velocity-limit\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"suppression\": \"in-source\""), std::string::npos) << r.out;
    // SARIF names the machine rules with the check's.
    r = RunCli({"check", "--sarif", f / "moves.sws", "--machine", f / "cell.machine.yaml"});
    EXPECT_NE(r.out.find("\"id\": \"travel-target\""), std::string::npos);
    EXPECT_NE(r.out.find("manual.md#travel-target"), std::string::npos);

    r = RunCli({"check", f / "moves.sws", "--machine", f / "bad.machine.yaml"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(f / "bad.machine.yaml" + ":3: speed: unknown key"), std::string::npos) << r.err;
    EXPECT_EQ(RunCli({"check", f / "moves.sws", "--machine", f / "none.yaml"}).code, 2);
    EXPECT_EQ(RunCli({"check", f / "moves.sws", "--machine"}).code, 1);
}

}  // namespace
