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
    // A file refused, an unknown option, no file, --port.
    EXPECT_EQ(RunCli({"check", f / "missing.stw", f / "clean.sws"}).code, 2);
    EXPECT_EQ(RunCli({"check", "--bogus", f / "clean.sws"}).code, 1);
    EXPECT_EQ(RunCli({"check"}).code, 1);
    EXPECT_EQ(RunCli({"--port", "/dev/null", "check", f / "clean.sws"}).code, 1);
    EXPECT_EQ(RunCli({"--json", "check", "--sarif", f / "clean.sws"}).code, 1);
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
        EXPECT_EQ(where.value("artifactLocation").toObject().value("uri").toString().toStdString(), f / "faulty.sws");
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
#endif

}  // namespace
