// stepwright-cli run as a subprocess: against files, against missing, busy
// and silent ports, and against the simulated master on a pseudo-terminal.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <thread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifdef STEPWRIGHT_TEST_QT_JSON
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#endif

#include "CliRunner.h"
#include "PtyPeer.h"
#include "ScriptedMaster.h"
#include "cli/Json.h"
#include "sim/SimCore.h"
#include "sim/SimMaster.h"
#include "sim/SimOptions.h"

namespace {

std::string Data(const std::string& name) { return std::string(STEPWRIGHT_CLI_DATA) + "/" + name; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A fresh directory for the files a test writes, removed with them at the end.
class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/stepwright-cli-test.XXXXXX";
        if (mkdtemp(templ)) path_ = templ;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Parses "--hex" output ("0000: 02 00 ...") back into bytes.
std::string HexToBytes(const std::string& text) {
    std::string bytes;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(line.find(':') + 1));
        std::string w;
        while (words >> w) bytes.push_back(char(std::stoi(w, nullptr, 16)));
    }
    return bytes;
}

// A program of `delays` Delay instructions, as a saved file holds it.
std::string DelayProgram(int delays) {
    std::string f = "0\r\n127 \r\n" + std::to_string(delays) + "\r\n";
    for (int i = 0; i < delays; ++i) f += "\r\n   0\r\n\r\n   0\r\n 0  0  9\r\n5\r\nBB  2  9  1  0 \r\n";
    return f;
}

const char* const kFamilies[] = {"master", "servo", "stepper", "io", "countdown"};

// ---------------------------------------------------------------------------
// Without a port

TEST(CliUsage, HelpForTheToolAndEveryCommand) {
    CliResult tool = RunCli({"--help"});
    EXPECT_EQ(tool.code, 0);
    for (const char* text : {"Exit codes:", "6  refused by the master or by a module-list mismatch", "--port PORT",
                             "--simulator", "--sim-modules", "--sim-pace", "--log FILE"})
        EXPECT_NE(tool.out.find(text), std::string::npos) << text;
    EXPECT_EQ(RunCli({"help"}).out, tool.out);

    for (const char* command : {"list", "assemble", "detect", "download", "verify", "run", "stop", "step", "reset",
                                "status", "exec", "monitor", "test", "check", "decode", "prove"}) {
        EXPECT_NE(tool.out.find(std::string("  ") + command + " "), std::string::npos) << command;
        CliResult viaHelp = RunCli({"help", command});
        CliResult viaOption = RunCli({command, "--help"});
        EXPECT_EQ(viaHelp.code, 0) << command;
        EXPECT_EQ(viaOption.code, 0) << command;
        EXPECT_EQ(viaHelp.out, viaOption.out) << command;
        EXPECT_EQ(viaHelp.out.rfind(std::string("Usage: stepwright-cli ") + command, 0), 0u) << viaHelp.out;
        EXPECT_NE(viaHelp.out.find("Exit codes:"), std::string::npos) << command;
    }
}

TEST(CliUsage, MalformedCommandLinesExitWithOne) {
    const struct {
        Strings args;
        const char* message;
    } cases[] = {
        {{}, "missing command"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"help", "frobnicate"}, "unknown command frobnicate"},
        {{"--bogus", "detect"}, "unknown option --bogus"},
        {{"list"}, "missing program file"},
        {{"list", "a.stw", "b.stw"}, "unexpected argument b.stw"},
        {{"assemble", "a.stw", "--bogus"}, "unknown option --bogus"},
        {{"assemble", "a.stw", "-o"}, "-o needs a value"},
        {{"run", "--from", "70000"}, "not an address"},
        {{"run", "--from", "0x12", "--resume"}, "exclude each other"},
        {{"step", "--from", "twelve"}, "not an address"},
        {{"status"}, "missing module address"},
        {{"status", "32"}, "use 0 (the master) to 31"},
        {{"detect", "now"}, "unexpected argument now"},
        {{"--port", "COM9", "detect"}, "--port COM9"},
        {{"--port", "COM2=dev/ttyS0", "detect"}, "must be a path"},
        {{"--port", "/dev/null", "--simulator", "detect"}, "exclude each other"},
        {{"--sim-pace", "9600", "detect"}, "need --simulator"},
        {{"--simulator", "--sim-modules", "servo,robot", "detect"}, "--sim-modules"},
        {{"--simulator", "--sim-pace", "fast", "detect"}, "--sim-pace fast"},
        {{"exec"}, "missing instruction bytes"},
        {{"exec", "AA", "0G"}, "not hexadecimal"},
        {{"exec", "AA1"}, "two hexadecimal digits"},
        {{"exec", "AA", "01"}, "at least 3 bytes"},
        {{"exec", "AA011300140100"}, "is 6 bytes long, not 7"},
        {{"exec", "AA", "01", "13", "00", "15", "01"}, "checksum byte is 15; its bytes add up to 14"},
        {{"exec", "CC0000"}, "byte 0 must be AA"},
        {{"exec", "BB0812000000000301"}, "is 11 bytes long, not 9"},
        {{"exec", "BB", "02", "00", "FF", "FF"}, "Immediate execution of this instruction is not possible."},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, 1) << line << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << line << "\n" << r.err;
        EXPECT_EQ(r.out, "") << line;
    }
}

TEST(CliFiles, ListMatchesTheWindowsListing) {
    for (const char* name : kFamilies) {
        const std::string stw = Data(std::string(name) + ".stw");
        CliResult r = RunCli({"list", stw});
        EXPECT_EQ(r.code, 0) << name << r.err;
        EXPECT_EQ(r.err, "") << name;
        EXPECT_EQ(r.out, ReadFile(Data(std::string(name) + ".list"))) << name;
        // One output line per program line: the count is line 3 of the file.
        std::istringstream file(ReadFile(stw));
        std::string modules, types, count;
        std::getline(file, modules);
        std::getline(file, types);
        std::getline(file, count);
        EXPECT_EQ(Count(r.out, "\n"), std::stoi(count)) << name;
    }
    // Columns as the window draws them: label cut to 8 characters and a blank,
    // the module address in two hexadecimal columns and a blank.
    CliResult master = RunCli({"list", Data("master.stw")});
    EXPECT_NE(master.out.find("\nSUBROUTI  0 Return\n"), std::string::npos);
    EXPECT_NE(master.out.find("\nSTART     0 Print 'Hi\\r\\n'\n"), std::string::npos);
    EXPECT_NE(master.out.find("\n;a label longer than eight characters, caf\xE9 at 20\xB0" "C\n"), std::string::npos);
    EXPECT_NE(RunCli({"list", Data("servo.stw")}).out.find("\nMOVE      1 Move - Pos. 1000\n"), std::string::npos);
}

TEST(CliFiles, AssembleWritesTheExpectedImage) {
    TempDir dir;
    for (const char* name : kFamilies) {
        const std::string stw = Data(std::string(name) + ".stw");
        const std::string expected = ReadFile(Data(std::string(name) + ".bin"));
        ASSERT_GE(expected.size(), 2u) << name;
        // The header holds the image length, low byte first.
        EXPECT_EQ(uint8_t(expected[0]) + 256 * uint8_t(expected[1]), int(expected.size())) << name;

        const std::string image = dir / (std::string(name) + ".bin");
        CliResult written = RunCli({"assemble", stw, "-o", image});
        EXPECT_EQ(written.code, 0) << name << written.err;
        EXPECT_EQ(written.out, "") << name;
        EXPECT_EQ(ReadFile(image), expected) << name;

        CliResult hex = RunCli({"assemble", stw, "--hex"});
        EXPECT_EQ(hex.code, 0) << name;
        EXPECT_EQ(HexToBytes(hex.out), expected) << name;
        EXPECT_EQ(RunCli({"assemble", stw, "-o", "-"}).out, expected) << name;
        EXPECT_EQ(RunCli({"assemble", stw}).out, std::to_string(expected.size()) + " bytes\n") << name;
    }
    CliResult unwritable = RunCli({"assemble", Data("io.stw"), "-o", dir / "no/such/dir/io.bin"});
    EXPECT_EQ(unwritable.code, 2);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos);
}

TEST(CliFiles, AssemblyErrorsNameTheProgramLine) {
    TempDir dir;
    WriteFile(dir / "fits.stw", DelayProgram(3269));      // last Delay starts at 16342
    WriteFile(dir / "too-big.stw", DelayProgram(3270));   // last Delay would start at 16347
    const struct {
        std::string file;
        const char* err;
    } cases[] = {
        {Data("duplicate.stw"), "Redundant label found\n  line 3: LOOP      0 GoTo LOOP\n"},
        {Data("undefined.stw"), "Label 'NOWHERE' undefined\n  line 2:           0 GoTo NOWHERE\n"},
        {dir / "too-big.stw", "Program exceeds available memory (16384)\n"},
    };
    for (const auto& c : cases) {
        CliResult r = RunCli({"assemble", c.file, "--hex"});
        EXPECT_EQ(r.code, 2) << c.file;
        EXPECT_EQ(r.err, c.err) << c.file;
        EXPECT_EQ(r.out, "") << c.file;
    }
    CliResult fits = RunCli({"assemble", dir / "fits.stw"});
    EXPECT_EQ(fits.code, 0) << fits.err;
    EXPECT_EQ(fits.out, "16347 bytes\n");
}

TEST(CliFiles, RefusedFilesExitWithTwoBeforeThePortIsOpened) {
    TempDir dir;
    WriteFile(dir / "short.stw", "3\r\n127 0\r\n");
    CliResult missing = RunCli({"list", dir / "none.stw"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("Could not open file"), std::string::npos);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos);
    CliResult truncated = RunCli({"assemble", dir / "short.stw"});
    EXPECT_EQ(truncated.code, 2);
    EXPECT_NE(truncated.err.find("Not a valid program file"), std::string::npos);
    // A program that cannot be assembled never reaches the port, even a missing one.
    for (const char* command : {"download", "verify"}) {
        CliResult r = RunCli({"--port", "/dev/stepwright-none", command, Data("duplicate.stw")});
        EXPECT_EQ(r.code, 2) << command;
        EXPECT_EQ(r.err.find("no such device"), std::string::npos) << r.err;
    }
}

// ---------------------------------------------------------------------------
// Ports that cannot be used

TEST(CliPort, MissingDeviceExitsWithThree) {
    CliResult byPath = RunCli({"--port", "/dev/stepwright-none", "detect"});
    EXPECT_EQ(byPath.code, 3);
    EXPECT_EQ(byPath.err, "/dev/stepwright-none: no such device\n");
    CliResult byName = RunCli({"stop", "--port", "COM2=/dev/stepwright-none"});
    EXPECT_EQ(byName.code, 3);
    EXPECT_EQ(byName.err, "COM2: /dev/stepwright-none: no such device\n");
}

TEST(CliPort, BusyPortExitsWithThree) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    int holder = ::open(peer.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    CliResult r = RunCli({"--port", peer.slavePath(), "stop"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("port in use by another program"), std::string::npos) << r.err;
    EXPECT_TRUE(peer.receive(1, 100).empty());  // nothing was sent
    ::close(holder);
}

TEST(CliPort, SilentMasterExitsWithFour) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    const Strings commands[] = {{"detect"}, {"stop"}, {"reset"}, {"status", "0"}, {"run"}, {"step"},
                                {"download", Data("io.stw")}, {"verify", Data("io.stw")}, {"monitor"},
                                {"exec", "AA0113001401"}, {"watch", "1", "--count", "1"}};
    for (const auto& command : commands) {
        Strings args{"--port", peer.slavePath()};
        args.insert(args.end(), command.begin(), command.end());
        CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 4) << command[0] << "\n" << r.err;
        EXPECT_EQ(Count(r.err, "Stepwright not responding\n"), 1) << command[0] << "\n" << r.err;
        EXPECT_EQ(r.out, "") << command[0];
        // It asked: a Stop, or a poll for the commands that leave a program running.
        std::vector<uint8_t> sent = peer.receive(64, 50);
        ASSERT_FALSE(sent.empty()) << command[0];
        const bool leavesRunning = command[0] == "verify" || command[0] == "monitor" || command[0] == "status" ||
                                  command[0] == "watch";
        EXPECT_EQ(sent[0], leavesRunning ? 0x8E : 0x80) << command[0];
    }
}

// ---------------------------------------------------------------------------
// Against the simulated master

class CliSim : public ::testing::Test {
protected:
    void SetUp() override { StartSim(SimOptions{}); }

    void StartSim(SimOptions options) {
        options.paceBaud = 0;
        sim_ = std::make_unique<SimMaster>(options);
        std::string error;
        ASSERT_TRUE(sim_->start(error)) << error;
    }

    CliResult Cli(Strings args, const RunOptions& options = {}) {
        args.insert(args.begin(), {"--port", sim_->devicePath()});
        return RunCli(args, options);
    }
    // Messages as printed: each names the port in front.
    std::string Said(std::initializer_list<std::string> messages) {
        std::string all;
        for (const auto& m : messages) all += sim_->devicePath() + ": " + m + "\n";
        return all;
    }

    std::string Memory(size_t count) {
        std::string bytes;
        sim_->withCore([&](sim::SimCore& core) { bytes.assign(reinterpret_cast<const char*>(core.memory()), count); });
        return bytes;
    }
    uint16_t ProgramAddress() {
        uint16_t a = 0;
        sim_->withCore([&](sim::SimCore& core) { a = core.programAddress(); });
        return a;
    }
    bool Running() {
        bool running = false;
        sim_->withCore([&](sim::SimCore& core) { running = core.running(); });
        return running;
    }
    // Run's address bytes have no answer: the command may end before the
    // master has taken them, so the start is awaited a moment.
    bool StartsRunning() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!Running()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            poll(nullptr, 0, 2);
        }
        return true;
    }

    std::unique_ptr<SimMaster> sim_;
};

TEST_F(CliSim, DetectListsTheModules) {
    CliResult r = Cli({"detect"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, " 0 [Master]\n 1 ZEL-SERVO\n 2 ZEL-SERVO\n 3 ZEL-I/O\n 4 ZEL-STEP\n");
    EXPECT_EQ(r.err, Said({"4 module(s) found"}));
}

TEST_F(CliSim, DownloadWritesTheImageAndVerifyComparesIt) {
    const std::string image = ReadFile(Data("countdown.bin"));
    CliResult load = Cli({"download", Data("countdown.stw"), "--no-verify"});
    EXPECT_EQ(load.code, 0) << load.err;
    EXPECT_EQ(load.err, Said({"Download complete"}));
    EXPECT_EQ(Memory(image.size()), image);

    CliResult same = Cli({"verify", Data("countdown.stw")});
    EXPECT_EQ(same.code, 0) << same.err;
    EXPECT_EQ(same.err, Said({"Loaded program matches program listing."}));

    CliResult other = Cli({"verify", Data("io.stw")});
    EXPECT_EQ(other.code, 5);
    // After the message, where the first difference lies (here the lengths differ).
    EXPECT_EQ(other.err, Said({"Program listing does not match loaded program!",
                               "First difference at address 0: the image's length"}));

    // Not a terminal: no progress bar.
    EXPECT_EQ(load.err.find("blocks"), std::string::npos);
    RunOptions terminal;
    terminal.stderrIsTerminal = true;
    CliResult onTerminal = Cli({"download", Data("servo.stw"), "--verify"}, terminal);
    EXPECT_EQ(onTerminal.code, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("Downloading [########################################] 100% 9/9 blocks"),
              std::string::npos) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("Verifying [########################################] 100% 9/9 blocks"),
              std::string::npos) << onTerminal.err;
}

TEST_F(CliSim, RunMonitorAndStop) {
    ASSERT_EQ(Cli({"download", Data("countdown.stw")}).code, 0);
    CliResult run = Cli({"run", "--program", Data("countdown.stw")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "started at address 2  line 2:           0 Print 'Hello\\r\\n'\n");

    CliResult monitor = Cli({"monitor", "--until-stop", "--program", Data("countdown.stw")});
    EXPECT_EQ(monitor.code, 0) << monitor.err;
    EXPECT_EQ(monitor.out, "Hello\ntick\ntick\ntick\ndone\n");
    EXPECT_NE(monitor.err.find("(stopped)"), std::string::npos) << monitor.err;
    EXPECT_FALSE(Running());

    CliResult stop = Cli({"stop"});
    EXPECT_EQ(stop.code, 0) << stop.err;
    EXPECT_EQ(stop.out, "stopped at address " + std::to_string(ProgramAddress()) + "\n");
}

TEST_F(CliSim, DownloadWithRunStartsTheProgramUnlessItChangesTheBaudRate) {
    CliResult started = Cli({"download", Data("countdown.stw"), "--verify", "--run"});
    EXPECT_EQ(started.code, 0) << started.err;
    EXPECT_EQ(started.out, "started at address 2  line 2:           0 Print 'Hello\\r\\n'\n");
    ASSERT_EQ(Cli({"stop"}).code, 0);

    CliResult baud = Cli({"download", Data("master.stw"), "--run"});
    EXPECT_EQ(baud.code, 6);
    EXPECT_NE(baud.err.find(Said({"Download complete", "Program contains a baud rate change - cannot run interactively"})),
              std::string::npos) << baud.err;
    EXPECT_FALSE(Running());
}

TEST_F(CliSim, StepSkipsDelaysAndReportsWhereItStands) {
    ASSERT_EQ(Cli({"download", Data("delays.stw")}).code, 0);
    // Two Delays of 5 bytes: the step executes the Print at 12.
    CliResult step = Cli({"step", "--from", "2", "--program", Data("delays.stw")});
    EXPECT_EQ(step.code, 0) << step.err;
    EXPECT_EQ(Count(step.err, "Cannot step through a delay - stepping to next line\n"), 2) << step.err;
    EXPECT_EQ(step.out, "A\naddress 16  line 4:           0 StopProgram\n");
    EXPECT_EQ(ProgramAddress(), 16);

    CliResult next = Cli({"step"});
    EXPECT_EQ(next.code, 0) << next.err;
    EXPECT_EQ(next.out, "address " + std::to_string(ProgramAddress()) + "\n");
    EXPECT_NE(ProgramAddress(), 16);
}

TEST_F(CliSim, StatusPrintsEveryKindOfStatusWindow) {
    sim_->withCore([](sim::SimCore& core) {
        core.servo(1)->setPhysicalPosition(1234);
        core.io(3)->setExternalLevels(0x881);                                   // bits 1, 8 and 12
        core.stepper(4)->setExternalInputs(sim::StepperModule::EStop | sim::StepperModule::Input2);
    });
    CliResult r = Cli({"status", "0", "1", "3", "4", "9"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("no module at address 9 (4 module(s) found)"), std::string::npos) << r.err;
    const char* expected[] = {
        "Module 0\nVersion:  2\nCounter 1: 0\nCounter 2: 0\nCounter 3: 0\nCounter 4: 0\n\n",
        "Module 1\nPosition: 1234\nHome Position: 0\nLimit 1: Low\nLimit 2: Low\nPower: On\n\n",
        "Module 3\nBit 1: High\nBit 2: Low\nBit 3: Low\nBit 4: Low\nBit 5: Low\nBit 6: Low\nBit 7: Low\n"
        "Bit 8: High\nBit 9: Low\nBit 10: Low\nBit 11: Low\nBit 12: High\n\n",
        "Module 4\nPosition: 0\nHome Position: 0\nLimit 1: Low\nLimit 2: Low\nHome Sw.: Low\nE-Stop: High\n"
        "Input 1: Low\nInput 2: High\nPower: On\n",
    };
    std::string all;
    for (const char* block : expected) all += block;
    EXPECT_EQ(r.out, all);
}

TEST_F(CliSim, ExecSendsOneInstructionToItsModule) {
    CliResult pwm = Cli({"exec", "AA", "03", "24", "FF", "00", "26", "01"});
    EXPECT_EQ(pwm.code, 0) << pwm.err;
    CliResult outputs = Cli({"exec", "0xBB08120000000003", "010202"});
    EXPECT_EQ(outputs.code, 0) << outputs.err;
    sim_->withCore([](sim::SimCore& core) {
        EXPECT_EQ(core.io(3)->pwm(0), 0xFF);
        EXPECT_EQ(core.io(3)->outputLatch() & 0x0202, 0x0202);
    });
    CliResult nobody = Cli({"exec", "AA0913001C01"});
    EXPECT_EQ(nobody.code, 6);
    EXPECT_NE(nobody.err.find("no module at address 9"), std::string::npos) << nobody.err;
}

TEST_F(CliSim, ModuleListOfTheProgramIsChecked) {
    // servo.stw was written for two servos; the master has four modules.
    CliResult run = Cli({"run", "--program", Data("servo.stw")});
    EXPECT_EQ(run.code, 6);
    EXPECT_NE(run.err.find("Module list does not match detected modules.\n"), std::string::npos) << run.err;
    EXPECT_FALSE(Running());

    CliResult load = Cli({"download", Data("io.stw"), "--check-modules"});
    EXPECT_EQ(load.code, 6);
    EXPECT_EQ(Memory(4), std::string(4, '\0'));  // nothing written

    CliResult fits = Cli({"download", Data("countdown.stw"), "--check-modules"});
    EXPECT_EQ(fits.code, 0) << fits.err;
    EXPECT_EQ(fits.err, Said({"4 module(s) found", "Download complete", "Loaded program matches program listing."}));
}

TEST_F(CliSim, ResetStopsTheProgram) {
    ASSERT_EQ(Cli({"download", Data("keywait.stw"), "--run"}).code, 0);
    EXPECT_TRUE(StartsRunning());
    CliResult r = Cli({"reset"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(Running());
}

TEST_F(CliSim, MonitorSendsTypedKeys) {
    ASSERT_EQ(Cli({"download", Data("keywait.stw"), "--run"}).code, 0);
    int keyboard = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(keyboard, 0);
    ASSERT_EQ(grantpt(keyboard), 0);
    ASSERT_EQ(unlockpt(keyboard), 0);
    int terminal = ::open(ptsname(keyboard), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    bool typed = false;
    RunOptions options;
    options.stdinFd = terminal;
    options.onOutput = [&](const CliResult& so_far) {
        if (!typed && so_far.out.find("press k\n") != std::string::npos) {
            typed = ::write(keyboard, "k", 1) == 1;
        }
    };
    CliResult r = Cli({"monitor", "--until-stop"}, options);
    EXPECT_TRUE(typed);
    EXPECT_EQ(r.code, 0) << r.err;
    // The key is echoed, then the program answers it.
    EXPECT_EQ(r.out, "press k\nkgot k\n");
    ::close(terminal);
    ::close(keyboard);
}

class CliSimRefusing : public CliSim {
protected:
    void SetUp() override {
        SimOptions options;
        options.faults.cc = true;
        StartSim(options);
    }
};

TEST_F(CliSimRefusing, RefusalsExitWithSix) {
    CliResult exec = Cli({"exec", "AA0113001401"});
    EXPECT_EQ(exec.code, 6);
    EXPECT_NE(exec.err.find(Said({"Stepwright not responding",
                                  "the master refused the request (it answered 0xCC)"})),
              std::string::npos) << exec.err;
    CliResult load = Cli({"download", Data("io.stw")});
    EXPECT_EQ(load.code, 6);
    EXPECT_NE(load.err.find("answered 0xCC"), std::string::npos) << load.err;
}

TEST(CliSimulator, RunsTheSimulatedMasterInProcess) {
    CliResult detect = RunCli({"--simulator", "--sim-pace", "0", "--sim-modules", "step,io", "detect"});
    EXPECT_EQ(detect.code, 0) << detect.err;
    EXPECT_EQ(detect.out, " 0 [Master]\n 1 ZEL-STEP\n 2 ZEL-I/O\n");
    CliResult both = RunCli({"--simulator", "--sim-pace=0", "download", Data("countdown.stw"), "--verify"});
    EXPECT_EQ(both.code, 0) << both.err;
    EXPECT_EQ(both.err, "simulator: Download complete\nsimulator: Loaded program matches program listing.\n");
    // Each run has a master of its own, with an empty memory.
    EXPECT_EQ(RunCli({"--simulator", "--sim-pace", "0", "verify", Data("countdown.stw")}).code, 5);
}

// What a run says, and how it ends, against a simulated master with the
// fault given (as stepwright-sim --fault takes it).  {P} stands for the
// master's device: every message names it once, also in the one line of
// each port when several are served.
TEST(CliMessages, EachNamesThePortOnce) {
    const struct {
        const char* fault;
        Strings args;
        int code;
        std::string err;   // "": not compared (several ports: the lines of their threads interleave)
        std::string out;
    } cases[] = {
        {"", {"--port", "{P}", "download", Data("countdown.stw"), "--no-verify"}, 0, "{P}: Download complete\n", ""},
        {"silent-from=0x80", {"--port", "{P}", "stop"}, 4, "{P}: Stepwright not responding\n", ""},
        {"silent-from=0x8E", {"--port", "{P}", "verify", Data("countdown.stw")}, 4,
         "{P}: Stepwright not responding\n", ""},
        {"cc", {"--port", "{P}", "download", Data("countdown.stw")}, 6,
         "{P}: Stepwright not responding\n{P}: the master refused the request (it answered 0xCC)\n",
         ""},
        // A damaged type reply is no type: the status is not shown as another kind's.
        {"bad-checksum", {"--port", "{P}", "status", "1"}, 4,
         "{P}: the type reply of module 1 was damaged on the line; the modules' types are not known\n",
         ""},
        {"bad-checksum", {"--port", "{P}", "status", "0"}, 4,
         "{P}: the type reply of module 1 was damaged on the line; the modules' types are not known\n",
         ""},
        // The master's Version unanswered: a failure, not "Version: -1".
        {"silent-from=0x88", {"--port", "{P}", "status", "0"}, 4, "{P}: Stepwright not responding\n", ""},
        // The line hangs up under the Stop: the message says so on a line of its own.
        {"hangup=1", {"--port", "{P}", "stop"}, 4,
         "{P}: Stepwright not responding\n{P}: the device is gone (unplugged?)\n", ""},
        // Detection takes the type replies as they came.
        {"bad-checksum", {"--port", "{P}", "detect"}, 0, "{P}: 4 module(s) found\n",
         " 0 [Master]\n 1 ZEL-SERVO\n 2 ZEL-SERVO\n 3 ZEL-I/O\n 4 ZEL-STEP\n"},
        {"", {"--port", "{P}", "status", "9"}, 6, "{P}: no module at address 9 (4 module(s) found)\n",
         ""},
        {"", {"--simulator", "--sim-pace", "0", "status", "9"}, 6,
         "simulator: no module at address 9 (4 module(s) found)\n", ""},
        {"", {"--port", "COM2=/dev/stepwright-none", "detect"}, 3, "COM2: /dev/stepwright-none: no such device\n",
         ""},
        {"bad-checksum", {"--port", "{P}", "--port", "/dev/stepwright-none", "--port", "com3=/dev/stepwright-none", "status", "1"},
         4, "",
         "{P}: exit 4: the type reply of module 1 was damaged on the line; the modules' types are not "
         "known\n"
         "/dev/stepwright-none: exit 3: no such device\nCOM3: exit 3: /dev/stepwright-none: no such device\n"},
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
        auto port = [&](std::string text) {
            for (size_t at = text.find("{P}"); at != std::string::npos; at = text.find("{P}"))
                text.replace(at, 3, sim.devicePath());
            return text;
        };
        Strings args;
        for (const auto& a : c.args) args.push_back(port(a));
        const CliResult r = RunCli(args);
        const std::string call = c.fault + std::string(" ") + c.args[c.args.size() - 2] + " " + c.args.back();
        EXPECT_EQ(r.code, c.code) << call << "\n" << r.err;
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, port(c.err)) << call;
        }
        EXPECT_EQ(r.out, port(c.out)) << call;
    }
}

TEST(CliUsage, EachProgramTellsItsVersion) {
    for (const char* program : {STEPWRIGHT_CLI, STEPWRIGHT_SIM}) {
        const CliResult r = RunProgram(program, {"--version"});
        const std::string name = std::filesystem::path(program).filename();
        EXPECT_EQ(r.code, 0) << name;
        EXPECT_EQ(r.out.rfind(name + " ", 0), 0u) << r.out;
        EXPECT_EQ(r.out.find_first_not_of("0123456789.", name.size() + 1), r.out.size() - 1) << r.out;
        EXPECT_EQ(r.err, "") << name;
    }
}

// ---------------------------------------------------------------------------
// Against a scripted master on a pseudo-terminal

// A scripted master behind a pseudo-terminal: a thread hands every byte the
// tool writes to the script and sends back what it answers, or line noise
// of the same length (never 0xCC, "U" or "#") while noisy.
class PtyMaster {
public:
    PtyMaster() : thread_([this] { pump(); }) {}
    ~PtyMaster() {
        stop_ = true;
        thread_.join();
    }
    std::string path() const { return peer_.slavePath(); }
    // Runs f on the script while no byte moves.
    void with(const std::function<void(ScriptedMaster&)>& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        f(m_);
    }
    std::vector<ScriptedMaster::Exchange> exchanges() {
        std::lock_guard<std::mutex> lock(mutex_);
        return m_.exchanges;
    }
    std::atomic<bool> noisy{false};

private:
    void pump() {
        uint32_t noise = 0x2545F491;
        while (!stop_) {
            struct pollfd p = {peer_.masterFd(), POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            uint8_t buf[256];
            const ssize_t n = ::read(peer_.masterFd(), buf, sizeof buf);
            if (n <= 0) continue;
            std::vector<uint8_t> answer;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                m_.port->write(buf, int(n));
                answer.assign(m_.port->rx.begin(), m_.port->rx.end());
                m_.port->rx.clear();
            }
            for (uint8_t& b : answer) {
                while (noisy) {
                    noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
                    b = uint8_t(noise);
                    if (b != 0xCC && b != 0x55 && b != 0x23) break;
                }
            }
            peer_.send(answer);
        }
    }

    PtyPeer peer_;
    ScriptedMaster m_;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::vector<uint8_t> Commands(const std::vector<ScriptedMaster::Exchange>& exchanges) {
    std::vector<uint8_t> c;
    for (const auto& e : exchanges) c.push_back(e.command);
    return c;
}

TEST(CliScripted, NothingRunsStepsOrExecutesAfterARefusedDetection) {
    const Strings commands[] = {{"run"}, {"run", "--from", "9"}, {"step"}, {"exec", "AA0113001401"}};
    for (const auto& command : commands) {
        PtyMaster master;
        master.with([](ScriptedMaster& m) {
            m.setModules({0});
            m.answerCC = true;   // TavoInit, the detection's first Execute, is refused
        });
        Strings args{"--port", master.path()};
        args.insert(args.end(), command.begin(), command.end());
        CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 6) << command[0] << r.err;
        EXPECT_NE(r.err.find("answered 0xCC"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("no module at address"), std::string::npos) << r.err;
        const std::vector<uint8_t> sent = Commands(master.exchanges());
        // The Stop probe, the detection's Stop and the refused TavoInit: no
        // Run, no Step, no second Execute.
        EXPECT_EQ(sent, (std::vector<uint8_t>{0x80, 0x80, 0x85})) << command[0];
    }
}

TEST(CliScripted, StepIsPlacedAtALine) {
    // io.bin: instructions at 2 (7 bytes), 9 (11 bytes), 20 ...; 71 bytes.
    const std::string io = ReadFile(Data("io.bin"));
    const struct {
        const char* what;
        uint16_t stands;    // the address the master reports
        bool memory;        // the master holds io.bin
        Strings extra;
        int code;
        int stepped;        // address of the Step sent, -1 = none
    } cases[] = {
        {"power-up", 0, false, {}, 0, 2},
        {"after reset", 3, true, {}, 0, 2},
        {"after reset, program given", 3, true, {"--program", Data("io.stw")}, 0, 2},
        {"at the end marker", 71, true, {}, 0, 2},
        {"past the end", 200, true, {}, 0, 2},
        {"paused at a line", 9, true, {}, 0, 9},
        {"paused at a line, program given", 20, true, {"--program", Data("io.stw")}, 0, 20},
        {"inside a later line", 15, true, {}, 6, -1},
        {"inside a later line, program given", 15, true, {"--program", Data("io.stw")}, 6, -1},
        {"--from inside a line", 2, true, {"--from", "3"}, 6, -1},
        {"--from at a line", 2, true, {"--from", "20"}, 0, 20},
    };
    for (const auto& c : cases) {
        PtyMaster master;
        master.with([&](ScriptedMaster& m) {
            m.setModules({2, 2, 2, 2});
            m.stopReply[4] = uint8_t(c.stands & 0xFF);
            m.stopReply[5] = uint8_t(c.stands >> 8);
            if (c.memory) std::copy(io.begin(), io.end(), m.memory.begin());
        });
        Strings args{"--port", master.path(), "step"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        CliResult r = RunCli(args);
        EXPECT_EQ(r.code, c.code) << c.what << "\n" << r.err;
        int stepped = -1;
        for (const auto& e : master.exchanges())
            if (e.command == 0x86 && e.args.size() == 2) stepped = e.args[0] | (e.args[1] << 8);
        EXPECT_EQ(stepped, c.stepped) << c.what;
        if (c.code == 6) {
            EXPECT_NE(r.err.find("is not the start of a line"), std::string::npos) << r.err;
        }
    }
    // With the program given, --from that starts no line never reaches the port.
    PtyMaster master;
    CliResult r = RunCli({"--port", master.path(), "step", "--from", "3", "--program", Data("io.stw")});
    EXPECT_EQ(r.code, 6);
    EXPECT_TRUE(master.exchanges().empty());
}

TEST(CliScripted, NoisyLineIsCaughtByTheDefaultVerify) {
    const struct {
        Strings extra;
        int code;
    } cases[] = {{{}, 5}, {{"--no-verify"}, 0}};
    for (const auto& c : cases) {
        PtyMaster master;
        master.noisy = true;
        Strings args{"--port", master.path(), "download", Data("io.stw")};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        CliResult r = RunCli(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find("Download complete\n"), std::string::npos) << r.err;
    }
}

TEST(CliScripted, ManyPortsEachGoOnTheirOwn) {
    PtyMaster good, silent;
    silent.with([](ScriptedMaster& m) { m.silent = true; });
    const std::string image = ReadFile(Data("io.bin"));
    CliResult r = RunCli({"--port", good.path(), "--port", silent.path(), "download", Data("io.stw")});
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_EQ(r.out, good.path() + ": ok: Download complete (71 bytes), verified\n" + silent.path() +
                         ": exit 4: Stepwright not responding\n");
    EXPECT_NE(r.err.find(silent.path() + ": Stepwright not responding\n"), std::string::npos) << r.err;
    good.with([&](ScriptedMaster& m) { EXPECT_EQ(std::string(m.memory.begin(), m.memory.begin() + 71), image); });

    const struct {
        Strings args;
        const char* message;
    } refused[] = {
        {{"--port", "/dev/a", "--port", "/dev/b", "run"}, "run takes one --port"},
        {{"--port", "/dev/a", "--port", "/dev/a", "detect"}, "--port /dev/a given twice"},
        {{"--json", "run"}, "--json is not available for run"},
        {{"--port", "/dev/a", "--port", "/dev/b", "download", Data("duplicate.stw")}, "Redundant label found"},
    };
    for (const auto& c : refused) {
        CliResult u = RunCli(c.args);
        EXPECT_NE(u.err.find(c.message), std::string::npos) << u.err;
        EXPECT_EQ(Count(u.err, c.message), 1) << u.err;   // said once, not once per port
        EXPECT_NE(u.code, 0);
    }
}

TEST(CliFiles, StandardOutputFailuresExitWithSeven) {
    const Strings commands[] = {{"list", Data("io.stw")}, {"assemble", Data("io.stw"), "--hex"}, {"--help"},
                                {"--json", "list", Data("io.stw")}, {"assemble", Data("io.stw"), "-o", "-"}};
    for (const auto& args : commands) {
        RunOptions options;
        options.stdoutPath = "/dev/full";
        CliResult r = RunCli(args, options);
        EXPECT_EQ(r.code, 7) << args[0];
        EXPECT_NE(r.err.find("cannot write standard output: No space left on device"), std::string::npos) << r.err;
    }
}

TEST(CliFiles, DoubleDashEndsTheOptions) {
    TempDir dir;
    WriteFile(dir / "-x.stw", ReadFile(Data("io.stw")));
    RunOptions in;
    in.cwd = dir / "";
    const struct {
        Strings args;
        int code;
    } cases[] = {
        {{"list", "--", "-x.stw"}, 0},
        {{"--", "list", "-x.stw"}, 0},
        {{"assemble", "--hex", "--", "-x.stw"}, 0},
        {{"list", "-x.stw"}, 1},
    };
    for (const auto& c : cases) {
        CliResult r = RunCli(c.args, in);
        EXPECT_EQ(r.code, c.code) << c.args[0] << c.args[1] << r.err;
    }
    EXPECT_EQ(RunCli({"list", "--", "-x.stw"}, in).out, ReadFile(Data("io.list")));
}

// No writer replaces its own input, under any name or link.
TEST(CliFiles, WritersNeverOverwriteTheirInput) {
    TempDir dir;
    const std::string stw = ReadFile(Data("io.stw"));
    WriteFile(dir / "p.stw", stw);
    const std::string sws = RunCli({"export", dir / "p.stw"}).out;
    WriteFile(dir / "p.sws", sws);
    const struct {
        const char* command;
        const char* input;
        const std::string& text;
    } writers[] = {{"assemble", "p.stw", stw}, {"export", "p.stw", stw}, {"import", "p.sws", sws}};
    for (const auto& w : writers) {
        const std::string input = dir / w.input;
        std::filesystem::remove(dir / "hard");
        std::filesystem::remove(dir / "soft");
        ASSERT_EQ(::link(input.c_str(), (dir / "hard").c_str()), 0);
        ASSERT_EQ(::symlink(input.c_str(), (dir / "soft").c_str()), 0);
        for (const std::string& output : {std::string(w.input), std::string("hard"), std::string("soft"),
                                          "./" + std::string(w.input)}) {
            CliResult r = RunCli({w.command, input, "-o", dir / output});
            EXPECT_EQ(r.code, 2) << w.command << " " << output;
            EXPECT_NE(r.err.find("is the program file itself"), std::string::npos) << r.err;
            EXPECT_EQ(ReadFile(input), w.text) << w.command << " " << output;
        }
    }
}

// A write that fails part way (a full disk, here a file size limit) leaves
// the earlier output whole, says so and exits with 2; nothing is left beside it.
TEST(CliFiles, FailedWritesKeepTheEarlierOutput) {
    TempDir dir;
    WriteFile(dir / "p.sws", RunCli({"export", Data("io.stw")}).out);
    const struct {
        std::vector<std::string> args;
        const char* output;
    } writers[] = {{{"assemble", Data("io.stw"), "-o"}, "out.bin"},
                   {{"export", Data("io.stw"), "-o"}, "out.sws"},
                   {{"import", dir / "p.sws", "-o"}, "out.stw"}};
    for (const auto& w : writers) {
        for (bool hardLinked : {false, true}) {  // replaced by rename, rewritten in place
            SCOPED_TRACE(std::string(w.output) + (hardLinked ? " hard-linked" : ""));
            std::filesystem::remove(dir / "other");
            WriteFile(dir / w.output, "earlier");
            if (hardLinked) {
                ASSERT_EQ(::link((dir / w.output).c_str(), (dir / "other").c_str()), 0);
            }
            Strings args = w.args;
            args.push_back(dir / w.output);
            struct rlimit old, small;
            ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
            small = old;
            small.rlim_cur = 16;
            auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
            CliResult r = RunCli(args);
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
            EXPECT_EQ(r.code, 2);
            EXPECT_NE(r.err.find(std::strerror(EFBIG)), std::string::npos) << r.err;
            EXPECT_EQ(ReadFile(dir / w.output), "earlier");
            for (const auto& e : std::filesystem::directory_iterator(dir / ""))  // no temporary, no backup copy
                EXPECT_EQ(e.path().filename().string().find("~stw-"), std::string::npos) << e.path();
        }
    }
}

// A backup copy left by a save that did not finish is named, never used.
TEST(CliFiles, ReadersNameALeftBackupAndLeaveIt) {
    TempDir dir;
    const std::string program = dir / "p.stw", backup = dir / "p.stw~stw-backup", text = ReadFile(Data("io.stw"));
    WriteFile(program, text);
    WriteFile(backup, "earlier");
    for (const Strings& args : {Strings{"list", program}, Strings{"assemble", program, "--hex"},
                                Strings{"export", program, "-o", dir / "p.sws"}}) {
        CliResult r = RunCli(args);
        EXPECT_EQ(r.code, 0) << args[0];
        // The file reads whole: the question says that the save had finished writing it.
        EXPECT_NE(r.err.find("written the file whole - restore its earlier content from " + backup + " instead? - No"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(ReadFile(program), text);
        EXPECT_EQ(ReadFile(backup), "earlier");
    }
}

// ---------------------------------------------------------------------------
// JSON

TEST(CliJson, WriterEscapesEveryByte) {
    const struct {
        std::string bytes;
        const char* literal;
    } cases[] = {
        {"plain", "\"plain\""},
        {"q\"b\\", "\"q\\\"b\\\\\""},
        {"\r\n\t\b\f", "\"\\r\\n\\t\\b\\f\""},
        {std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\\u007f\""},
        {"caf\xE9 20\xB0", "\"caf\xC3\xA9 20\xC2\xB0\""},
        {"\x80\xFF", "\"\xC2\x80\xC3\xBF\""},
    };
    for (const auto& c : cases) EXPECT_EQ(json::Quote(c.bytes), c.literal) << c.literal;
}

#ifdef STEPWRIGHT_TEST_QT_JSON

QJsonDocument Parse(const std::string& text) {
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text.data(), qsizetype(text.size())), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << text;
    return doc;
}

std::string Latin1(const QJsonValue& v) { return v.toString().toLatin1().toStdString(); }

TEST(CliJson, EveryByteParsesBack) {
    json::Value doc = json::Value::object();
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    doc["all"] = all;
    json::Value& list = doc["list"];
    list.push(json::Value());
    list.push(true);
    list.push(json::Value::object());
    QJsonObject o = Parse(doc.write()).object();
    EXPECT_EQ(Latin1(o["all"]), all);
    const QJsonArray items = o["list"].toArray();
    ASSERT_EQ(items.size(), 3);
    EXPECT_TRUE(items[0].isNull());
    EXPECT_TRUE(items[1].toBool());
    EXPECT_TRUE(items[2].toObject().isEmpty());
}

TEST(CliJson, FilesAnswerWithOneDocument) {
    QJsonObject list = Parse(RunCli({"--json", "list", Data("master.stw")}).out).object();
    EXPECT_EQ(list["command"].toString(), "list");
    EXPECT_EQ(list["exit"].toInt(), 0);
    const QJsonArray lines = list["lines"].toArray();
    std::string joined;
    for (const auto& line : lines) joined += Latin1(line.toObject()["text"]) + "\n";
    EXPECT_NE(joined.find("START     0 Print 'Hi\r\n'\n"), std::string::npos);
    EXPECT_NE(joined.find(";a label longer than eight characters, caf\xE9 at 20\xB0" "C\n"), std::string::npos);
    EXPECT_TRUE(lines[0].toObject()["comment"].toBool());

    QJsonObject hex = Parse(RunCli({"assemble", "--json", Data("io.stw"), "--hex"}).out).object();
    EXPECT_EQ(hex["bytes"].toInt(), 71);
    EXPECT_EQ(hex["image"].toString().left(8), "4700AA02");

    CliResult refused = RunCli({"--json", "list", "/nonexistent.stw"});
    QJsonObject failed = Parse(refused.out).object();
    EXPECT_EQ(failed["exit"].toInt(), 2);
    EXPECT_FALSE(failed["messages"].toArray().isEmpty());
}

TEST_F(CliSim, JsonAnswersCarryTheFacts) {
    QJsonObject detect = Parse(Cli({"--json", "detect"}).out).object();
    EXPECT_EQ(detect["port"].toString().toStdString(), sim_->devicePath());
    const QJsonArray modules = detect["modules"].toArray();
    ASSERT_EQ(modules.size(), 5);
    EXPECT_EQ(modules[3].toObject()["type"].toInt(), 2);
    EXPECT_EQ(modules[3].toObject()["name"].toString(), "ZEL-I/O");
    EXPECT_EQ(detect["messages"].toArray()[0].toString(), "4 module(s) found");

    QJsonObject load = Parse(Cli({"--json", "download", Data("countdown.stw"), "--run"}).out).object();
    EXPECT_EQ(load["exit"].toInt(), 0);
    EXPECT_TRUE(load["downloaded"].toBool());
    EXPECT_TRUE(load["verified"].toBool());
    EXPECT_EQ(load["started"].toObject()["address"].toInt(), 2);
    EXPECT_EQ(Latin1(load["started"].toObject()["text"]), "          0 Print 'Hello\r\n'");
    ASSERT_EQ(Cli({"stop"}).code, 0);

    QJsonObject other = Parse(Cli({"--json", "verify", Data("io.stw")}).out).object();
    EXPECT_EQ(other["exit"].toInt(), 5);
    EXPECT_FALSE(other["matches"].toBool());
    EXPECT_TRUE(other["matches"].isBool());

    QJsonObject status = Parse(Cli({"--json", "status", "1"}).out).object();
    const QJsonObject servo = status["modules"].toArray()[0].toObject();
    EXPECT_EQ(servo["address"].toInt(), 1);
    EXPECT_EQ(servo["values"].toObject()["Power"].toString(), "On");
}

TEST(CliScripted, JsonForManyPorts) {
    PtyMaster good, silent;
    silent.with([](ScriptedMaster& m) { m.silent = true; });
    CliResult r = RunCli({"--json", "--port", good.path(), "--port", silent.path(), "verify", Data("io.stw")});
    QJsonObject doc = Parse(r.out).object();
    EXPECT_EQ(doc["exit"].toInt(), 5);
    const QJsonArray ports = doc["ports"].toArray();
    ASSERT_EQ(ports.size(), 2);
    EXPECT_EQ(ports[0].toObject()["port"].toString().toStdString(), good.path());
    EXPECT_EQ(ports[0].toObject()["exit"].toInt(), 5);   // an empty memory differs
    EXPECT_EQ(ports[1].toObject()["exit"].toInt(), 4);
    EXPECT_EQ(ports[1].toObject()["messages"].toArray()[0].toString(), "Stepwright not responding");
}

#endif

}  // namespace
