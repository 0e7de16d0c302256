// stepwright-cli --log against simulated masters with faults, read back with
// stepwright-cli decode: which exchange failed and why.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "sim/SimMaster.h"
#include "sim/SimOptions.h"

namespace {

std::string Data(const std::string& name) { return std::string(STEPWRIGHT_CLI_DATA) + "/" + name; }

// "command/verdict" of every line of decode --json.
std::vector<std::string> Rows(const std::string& json) {
    auto field = [](const std::string& line, const std::string& key) {
        const size_t at = line.find("\"" + key + "\": \"");
        if (at == std::string::npos) return std::string("?");
        const size_t from = at + key.size() + 5;
        return line.substr(from, line.find('"', from) - from);
    };
    std::vector<std::string> rows;
    size_t pos = 0;
    for (size_t end; (end = json.find('\n', pos)) != std::string::npos; pos = end + 1) {
        const std::string line = json.substr(pos, end - pos);
        rows.push_back(field(line, "command") + "/" + field(line, "verdict"));
    }
    return rows;
}

TEST(LinkLogCli, DecodeShowsTheExchangeThatFailed) {
    const std::string dir = std::filesystem::temp_directory_path() / ("stepwright-linklog-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/line.log";
    const int blocks = 4;  // countdown.stw: its image is 58 bytes
    const struct {
        const char* fault;
        Strings args;
        int code;
        std::vector<std::string> tail;  // the last rows decoded
        int writeBlocks;                // Write block rows; -1: not counted
    } cases[] = {
        {"",
         {"download", Data("countdown.stw"), "--no-verify"},
         0,
         {"Write block/ok", "Write block/ok", "Write block/ok", "Write block/ok"},
         blocks},
        {"cc", {"download", Data("countdown.stw")}, 6, {"Stop/ok", "Write block/refused"}, 1},
        {"silent-from=0x87", {"status", "1"}, 4, {"Execute instruction/ok", "Read reply/missing-reply"}, 0},
        {"bad-checksum", {"status", "1"}, 4, {"Execute instruction/ok", "Read reply/checksum-mismatch"}, 0},
        {"silent-from=0x83", {"download", Data("countdown.stw")}, 4, {"Stop/ok", "Write block/missing-reply"}, 1},
        // The line hangs up under the probe: the read finds the device gone.
        {"hangup=1", {"stop"}, 4, {"Stop/port-lost"}, 0},
    };
    for (const auto& c : cases) {
        SimOptions options;
        options.paceBaud = 0;
        std::string error;
        if (*c.fault) {
            ASSERT_TRUE(ParseSimFault(c.fault, options.faults, error)) << error;
        }
        SimMaster sim(options);
        ASSERT_TRUE(sim.start(error)) << error;
        Strings args{"--port", sim.devicePath(), "--log", file};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.code, c.code) << c.fault << r.err;
        const CliResult decoded = RunCli({"decode", file, "--json"});
        ASSERT_EQ(decoded.code, 0) << decoded.err;
        const std::vector<std::string> rows = Rows(decoded.out);
        ASSERT_GE(rows.size(), c.tail.size()) << decoded.out;
        EXPECT_EQ(std::vector<std::string>(rows.end() - long(c.tail.size()), rows.end()), c.tail) << c.fault;
        EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                                [](const std::string& row) { return row.rfind("Write block/", 0) == 0; }),
                  c.writeBlocks)
            << c.fault;
        // The text form names the same exchanges, one line each.
        const std::string text = RunCli({"decode", file}).out;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), long(rows.size()));
        std::filesystem::remove(file);
    }
    // Commands without a port write no log, nor does a log replace the
    // program read; a file that is no log is refused.
    EXPECT_EQ(RunCli({"--log", file, "list", Data("countdown.stw")}).code, 1);
    const std::string program = dir + "/p.stw";
    std::filesystem::copy_file(Data("countdown.stw"), program);
    const auto size = std::filesystem::file_size(program);
    EXPECT_EQ(RunCli({"--simulator", "--log", program, "download", program}).code, 1);
    EXPECT_EQ(std::filesystem::file_size(program), size);
    const CliResult notLog = RunCli({"decode", Data("countdown.stw")});
    EXPECT_EQ(notLog.code, 2);
    EXPECT_NE(notLog.err.find("not a link log"), std::string::npos) << notLog.err;
    std::filesystem::remove_all(dir);
}

// decode reads its file as every file is read: a pipe, a device or a file
// larger than any link log is refused at once, never waited on or read whole.
TEST(LinkLogCli, DecodeRefusesPipesDevicesAndHugeFilesAtOnce) {
    const std::string dir = std::filesystem::temp_directory_path() / ("stepwright-decode-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    const int writer = open((dir + "/fifo").c_str(), O_RDWR | O_NONBLOCK);   // a writer that never writes
    ASSERT_GE(writer, 0);
    std::filesystem::create_symlink("/dev/zero", dir + "/zero.log");
    {
        std::ofstream(dir + "/huge.log") << "# stepwright link log 1\n";
        std::filesystem::resize_file(dir + "/huge.log", (std::uintmax_t(64) << 20) + 1);
    }
    const struct {
        std::string file, message;
    } cases[] = {
        {dir + "/fifo", dir + "/fifo: not a regular file"},
        {dir + "/zero.log", dir + "/zero.log: not a regular file"},
        {dir + "/none.log", dir + "/none.log: No such file or directory"},
        {dir + "/huge.log", dir + "/huge.log: larger than 64 MiB, more than a link log holds"},
    };
    for (const auto& c : cases) {
        RunOptions quick;
        quick.timeoutSeconds = 20;
        const CliResult r = RunCli({"decode", c.file}, quick);
        EXPECT_EQ(r.code, 2) << c.file;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    // Up to the bound the file is read (and here refused for what it holds).
    std::filesystem::resize_file(dir + "/huge.log", std::uintmax_t(64) << 20);
    const CliResult r = RunCli({"decode", dir + "/huge.log"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.find("larger than"), std::string::npos) << r.err;
    close(writer);
    std::filesystem::remove_all(dir);
}

// Ctrl+C during a download with --log: the command stops at its next
// exchange, the log collected so far is written, and the process ends by the
// signal as it would have.
TEST(LinkLogCli, CtrlCWritesTheLogCollectedSoFar) {
    const std::string dir = std::filesystem::temp_directory_path() / ("stepwright-linkint-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/line.log";
    SimOptions options;  // paced at 19200 baud: the transfer takes its time
    std::string error;
    SimMaster sim(options);
    ASSERT_TRUE(sim.start(error)) << error;
    RunOptions run;
    run.stderrIsTerminal = true;  // the progress bar is the sign that blocks are going
    run.interruptWhen = [](const CliResult& r) { return r.err.find("Downloading [") != std::string::npos; };
    const CliResult r =
        RunCli({"--port", sim.devicePath(), "--log", file, "download", Data("../../../examples/every-command.stw")}, run);
    EXPECT_EQ(r.code, -1) << r.err;  // ended by SIGINT
    EXPECT_NE(r.err.find("interrupted; the link log holds the exchanges so far"), std::string::npos)
        << r.err;
    const CliResult decoded = RunCli({"decode", file, "--json"});
    ASSERT_EQ(decoded.code, 0) << decoded.err;
    const std::vector<std::string> rows = Rows(decoded.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(std::find(rows.begin(), rows.end(), std::string("Stop/ok")), rows.end());
    EXPECT_GE(std::count(rows.begin(), rows.end(), std::string("Write block/ok")), 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
