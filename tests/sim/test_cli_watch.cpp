// stepwright-cli watch against its simulated master: rows in CSV and JSON
// parsed back, usage errors, and Ctrl+C ending the watch.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "sim/SimCore.h"
#include "sim/SimMaster.h"

#ifdef STEPWRIGHT_TEST_QT_JSON
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#endif

namespace {

Strings Split(const std::string& text, char sep) {
    Strings parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, sep)) parts.push_back(part);
    if (!text.empty() && text.back() == sep && sep == ',') parts.push_back("");
    return parts;
}

bool IsNumber(const std::string& s) {
    if (s.empty()) return false;
    for (size_t i = s[0] == '-' ? 1 : 0; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return s != "-";
}

TEST(CliWatch, CsvRowsParseBack) {
    const CliResult r = RunCli({"--simulator", "watch", "1", "3", "0", "--count", "3", "--csv", "--interval", "50"});
    ASSERT_EQ(r.code, 0);
    const Strings lines = Split(r.out, '\n');
    ASSERT_EQ(lines.size(), 4u) << r.out;
    const Strings header = Split(lines[0], ',');
    // Columns by address, named as in the status windows.
    Strings expected{"time_ms", "0 Counter 1", "0 Counter 2", "0 Counter 3", "0 Counter 4", "1 Position",
                     "1 Home Position", "1 Limit 1", "1 Limit 2", "1 Power"};
    for (int bit = 1; bit <= 12; ++bit) expected.push_back("3 Bit " + std::to_string(bit));
    expected.push_back("program");
    EXPECT_EQ(header, expected);
    long lastTime = -1;
    for (size_t i = 1; i < lines.size(); ++i) {
        const Strings cells = Split(lines[i], ',');
        ASSERT_EQ(cells.size(), header.size()) << lines[i];
        for (size_t k = 0; k < cells.size(); ++k) {
            const std::string& col = header[k];
            const bool numeric = col == "time_ms" || col.find("Counter") != std::string::npos ||
                                 col.find("Position") != std::string::npos;
            if (numeric)
                EXPECT_TRUE(IsNumber(cells[k])) << col << "=" << cells[k];
            else if (col == "1 Power")
                EXPECT_EQ(cells[k], "On");
            else if (col == "program")
                EXPECT_EQ(cells[k], "Stopped");
            else
                EXPECT_TRUE(cells[k] == "High" || cells[k] == "Low") << col << "=" << cells[k];
        }
        const long t = std::stol(cells[0]);
        EXPECT_GT(t, lastTime);
        lastTime = t;
    }
}

#ifdef STEPWRIGHT_TEST_QT_JSON
TEST(CliWatch, JsonRowsParseBack) {
    const CliResult r = RunCli({"--simulator", "--json", "watch", "4", "1", "--count", "2"});
    ASSERT_EQ(r.code, 0);
    Strings lines = Split(r.out, '\n');
    ASSERT_EQ(lines.size(), 3u) << r.out;
    // The last line sums up: rows printed, samples dropped for a bad reply.
    EXPECT_EQ(lines.back(), "{\"summary\":{\"rows\":2,\"dropped\":0}}");
    lines.pop_back();
    for (const std::string& line : lines) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        const QJsonObject row = doc.object();
        EXPECT_TRUE(row.value("time_ms").isDouble());
        EXPECT_EQ(row.value("program").toString(), "Stopped");
        const QJsonArray modules = row.value("modules").toArray();
        ASSERT_EQ(modules.size(), 2);
        const QJsonObject servo = modules[0].toObject(), stepper = modules[1].toObject();
        EXPECT_EQ(servo.value("address").toInt(), 1);
        EXPECT_EQ(stepper.value("address").toInt(), 4);
        EXPECT_TRUE(servo.value("Position").isDouble());
        EXPECT_EQ(servo.value("Power").toString(), "On");
        EXPECT_EQ(stepper.value("E-Stop").toString(), "Low");
        EXPECT_EQ(stepper.value("Home Sw.").toString(), "Low");
        EXPECT_EQ(stepper.keys().size(), 10);   // the address and nine values
    }
}
#endif

TEST(CliWatch, CtrlCEndsTheWatch) {
    RunOptions options;
    options.interruptWhen = [](const CliResult& soFar) {
        return std::count(soFar.out.begin(), soFar.out.end(), '\n') >= 2;
    };
    const CliResult r = RunCli({"--simulator", "watch", "1"}, options);
    EXPECT_EQ(r.code, 0);
    const Strings lines = Split(r.out, '\n');
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].find("  1: Position 0, Home Position 0, Limit 1 Low, Limit 2 Low, Power On"),
              lines[0].find("  1: "));
}

TEST(CliWatch, WatchAndStatusLeaveTheRunningProgramRunning) {
    // One simulated master for both invocations: the demo downloaded and
    // started, then watched while servo 1 moves.
    SimMaster sim;
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const std::string port = "COM1=" + sim.devicePath();
    ASSERT_EQ(RunCli({"--port", port, "download", std::string(STEPWRIGHT_EXAMPLES) + "/demo.stw", "--run"}).code, 0);
    // The module types are not asked while the program runs: they come from
    // the program's module list.
    const std::string demo = std::string(STEPWRIGHT_EXAMPLES) + "/demo.stw";
    EXPECT_EQ(RunCli({"--port", port, "watch", "1", "--count", "1"}).code, 6);
    const CliResult r =
        RunCli({"--port", port, "watch", "1", "--program", demo, "--count", "15", "--interval", "100", "--csv"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const Strings lines = Split(r.out, '\n');
    ASSERT_EQ(lines.size(), 16u) << r.out;
    std::vector<long> positions;
    for (size_t i = 1; i < lines.size(); ++i) positions.push_back(std::stol(Split(lines[i], ',')[1]));
    EXPECT_NE(*std::min_element(positions.begin(), positions.end()),
              *std::max_element(positions.begin(), positions.end()))
        << "servo 1 moved while it was watched: " << r.out;
    bool running = false;
    sim.withCore([&](sim::SimCore& c) { running = c.running(); });
    EXPECT_TRUE(running) << "the watch stopped the program";
    const CliResult status = RunCli({"--port", port, "status", "1", "0", "--modules", "servo,servo,io,step"});
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.out.rfind("Module 1\nPosition: ", 0), 0u) << status.out;
    sim.withCore([&](sim::SimCore& c) { running = c.running(); });
    EXPECT_TRUE(running) << "status stopped the program";
}

TEST(CliWatch, OnASharedReplyAreaTypesComeFromTheListAndRowsSayTheProgramRan) {
    SimOptions options;
    options.sharedReplyArea = true;
    SimMaster sim(options);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const std::string port = "COM1=" + sim.devicePath();
    ASSERT_EQ(RunCli({"--port", port, "download", std::string(STEPWRIGHT_EXAMPLES) + "/demo.stw", "--run"}).code, 0);
    RunOptions waitNoted;
    waitNoted.interruptWhen = [](const CliResult& r) { return r.err.find("wait until it stops") != std::string::npos; };
    struct Case {
        bool running;
        Strings args;
        int code;
        std::string tail;   // how standard output or standard error ends
    } const cases[] = {
        // While the demo runs a type reply may be servo 1's status: no guessing.
        {true, {"watch", "3", "--count", "1", "--csv"}, 6, ""},
        {true, {"watch", "3", "--modules", "servo,servo,io,step", "--count", "2", "--csv"}, 0,
         ",Low,Low,Low,Low,Low,Low,Low,Low,Low,Low,Low,Low,Running\n"},
        // status alike: no type request while the program runs.
        {true, {"status", "3"}, 6, "or stop the program first\n"},
        {true, {"--json", "watch", "3", "--modules", "servo,servo,io", "--only-stopped"}, 0,
         "\n{\"summary\":{\"rows\":0,\"dropped\":0}}\n"},
        // Stopped, the types are asked again and a list that disagrees is refused.
        {false, {"watch", "3", "--modules", "servo,servo,servo", "--count", "1"}, 6,
         "module 3 is ZEL-I/O, the list says ZEL-SERVO\n"},
        {false, {"watch", "3", "--count", "1", "--csv", "--only-stopped"}, 0, ",Stopped\n"},
    };
    for (const Case& c : cases) {
        Strings args{"--port", port};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = RunCli(args, c.running && c.args[0] == "--json" ? waitNoted : RunOptions{});
        EXPECT_EQ(r.code, c.code) << r.err;
        const std::string out = "\n" + (c.code == 0 ? r.out : r.err);
        EXPECT_EQ(out.substr(out.size() - std::min(out.size(), c.tail.size())), c.tail) << out;
        bool running = false;
        sim.withCore([&](sim::SimCore& core) { running = core.running(); });
        EXPECT_EQ(running, c.running) << "watching stopped the program";
        if (&c == &cases[3]) {
            ASSERT_EQ(RunCli({"--port", port, "stop"}).code, 0);
        }
    }
}

TEST(CliWatch, ADroppedSampleIsCountedInTheSummary) {
    // The count byte of the second sample's Read reply (after the four type
    // replies) is corrupted: the master answers 107 bytes for 11.
    SimOptions options;
    options.faults.badCountAt = 6;
    SimMaster sim(options);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const CliResult r = RunCli({"--port", "COM1=" + sim.devicePath(), "--json", "watch", "1", "--count", "5"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Split(r.out, '\n').back(), "{\"summary\":{\"rows\":5,\"dropped\":1}}") << r.out;
}

TEST(CliWatch, UsageErrorsExitWithOneAndRefusalsWithSix) {
    struct Case {
        Strings args;
        int code;
    };
    const Case cases[] = {
        {{"watch"}, 1},
        {{"watch", "32"}, 1},
        {{"watch", "x"}, 1},
        {{"watch", "1", "--count", "0"}, 1},
        {{"watch", "1", "--interval"}, 1},
        {{"watch", "1", "--fast"}, 1},
        {{"--json", "watch", "1", "--csv"}, 1},
        {{"watch", "1", "--modules"}, 1},
        {{"watch", "1", "--modules", "lathe"}, 1},
        {{"watch", "1", "--modules", "servo", "--program", "x.stw"}, 1},
        {{"--simulator", "watch", "5", "--count", "1"}, 6},                            // no module at 5
        {{"--simulator", "--sim-modules", "servo,9", "watch", "2", "--count", "1"}, 6},  // unknown type
    };
    for (const Case& c : cases) {
        std::string text;
        for (const auto& a : c.args) text += a + " ";
        EXPECT_EQ(RunCli(c.args).code, c.code) << text;
    }
}

}  // namespace
