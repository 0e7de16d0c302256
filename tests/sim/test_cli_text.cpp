// stepwright-cli export and import, and the program commands given a program
// text, run as a subprocess.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "CliRunner.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string out, err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class CliText : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("stepwright-cli-text." + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    Result Run(const std::string& args) {
        const std::string cmd = std::string(STEPWRIGHT_CLI) + " " + args + " >" + (dir / "out").string() + " 2>" +
                                (dir / "err").string() + " </dev/null";
        const int status = std::system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "out"), ReadFile(dir / "err")};
    }
    std::string Data(const std::string& name) { return std::string(STEPWRIGHT_CLI_DATA) + "/" + name; }
    std::string Path(const std::string& name) { return (dir / name).string(); }
};

TEST_F(CliText, ExportThenImportKeepsListingAndImage) {
    for (const char* name : {"master", "servo", "stepper", "io", "countdown"}) {
        const std::string stw = Data(std::string(name) + ".stw");
        ASSERT_EQ(Run("export " + stw + " -o " + Path("p.sws")).code, 0) << name;
        const Result toStdout = Run("export " + stw);
        EXPECT_EQ(toStdout.out, ReadFile(Path("p.sws"))) << name;
        ASSERT_EQ(Run("import " + Path("p.sws") + " -o " + Path("p.stw")).code, 0) << name;
        // list and assemble take either form.
        const std::string listing = Run("list " + stw).out;
        EXPECT_EQ(Run("list " + Path("p.sws")).out, listing) << name;
        EXPECT_EQ(Run("list " + Path("p.stw")).out, listing) << name;
        const std::string image = Run("assemble " + stw + " --hex").out;
        EXPECT_EQ(Run("assemble " + Path("p.sws") + " --hex").out, image) << name;
        EXPECT_EQ(Run("export " + Path("p.stw")).out, toStdout.out) << name;
    }
}

TEST_F(CliText, ImportReportsEveryErrorAndWritesNothing) {
    std::ofstream(Path("bad.sws")) << ".module 0 [Master]\n0 SetTimer timeout=70000\n;ok\n0 Jump -> X\n";
    const Result r = Run("import " + Path("bad.sws") + " -o " + Path("bad.stw"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, Path("bad.sws") + ":2:12: field 'timeout': Value out of range\n" + Path("bad.sws") +
                         ":4:3: 'Jump' is not a command of [Master]; its commands are GoTo, Call, Return, If-GoTo, "
                         "StopProgram, Print, SetTimer, GetStatus, MonitorSub, Delay, WaitFor, ClearKey, SetCounter, "
                         "CountDown, TavoInit, Reset, ChangeBaud\n");
    EXPECT_FALSE(fs::exists(Path("bad.stw")));
    EXPECT_EQ(Run("list " + Path("bad.sws")).code, 2);
    EXPECT_EQ(Run("export").code, 1);
    EXPECT_EQ(Run("import a.sws b.sws").code, 1);
    EXPECT_EQ(Run("export " + Path("missing.stw")).code, 2);
}

// A pipe or a device named as a program is refused at once, as Open refuses
// it: nothing waits for a writer or reads without end.
TEST_F(CliText, PipesAndDevicesAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(Path("fifo.sws").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(Path("fifo.stw").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", Path("zero.sws"));
    fs::create_symlink("/dev/zero", Path("zero.stw"));
    RunOptions quick;
    quick.timeoutSeconds = 5;  // a hang fails here instead of blocking the run
    const Strings cases[] = {{"import", Path("fifo.sws"), "-o", Path("out.stw")},
                             {"export", Path("fifo.stw"), "-o", Path("out.sws")},
                             {"list", Path("fifo.sws")},
                             {"import", Path("zero.sws"), "-o", Path("out.stw")},
                             {"export", Path("zero.stw"), "-o", Path("out.sws")},
                             {"assemble", Path("zero.sws")}};
    for (const Strings& args : cases) {
        const CliResult r = RunCli(args, quick);
        EXPECT_EQ(r.code, 2) << args[0] << " " << args[1];
        EXPECT_EQ(r.err, "Could not open file\n") << args[0] << " " << args[1];
    }
    EXPECT_FALSE(fs::exists(Path("out.stw")));
    EXPECT_FALSE(fs::exists(Path("out.sws")));
}

// A 60 MB line is refused before it is split: the tool holds little more
// than the file's bytes.
TEST_F(CliText, AHugeLineIsRefusedWithMemoryBounded) {
    constexpr size_t kLineBytes = size_t(60) << 20;
    {
        std::ofstream out(Path("huge.sws"), std::ios::binary);
        out << ".module 0 [Master]\n0 Print print-chars=";
        const std::string chunk(size_t(1) << 20, 'x');
        for (size_t n = 0; n < kLineBytes; n += chunk.size()) out << chunk;
        out << "\n";
    }
    const CliResult r = RunCli({"import", Path("huge.sws"), "-o", Path("huge.stw")});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              Path("huge.sws") + ":2:1: line 2 holds more than 4096 bytes, more than any program line can hold\n");
    EXPECT_FALSE(fs::exists(Path("huge.stw")));
    struct rusage children;
    ::getrusage(RUSAGE_CHILDREN, &children);
    // Kilobytes: the file read once, with room for a sanitizer's shadow
    // memory; splitting the line used to take 4.4 GB.
    EXPECT_LT(children.ru_maxrss, 2 * long(kLineBytes >> 10) + 64 * 1024);
}

// The texts that import once turned into program files that did not read
// back: each is refused with its line and nothing is written.
TEST_F(CliText, TextsAProgramFileCannotCarryWriteNothing) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(std::string(STEPWRIGHT_CLI_DATA) + "/../sws")) {
        const std::string path = entry.path().string();
        const CliResult r = RunCli({"import", path, "-o", Path("out.stw")});
        EXPECT_EQ(r.code, 2) << path;
        EXPECT_EQ(r.err.compare(0, path.size() + 1, path + ":"), 0) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(Path("out.stw"))) << path;
        ++files;
    }
    EXPECT_GE(files, 9);
}

}  // namespace
