// Full-size download and verify through stepwright-cli against the simulated
// master paced at 19200 baud: 1023 blocks of 16 bytes.  Each is reported as
// the measured time of the whole stepwright-cli run divided by its wire-time
// lower bound (23 bytes a block for a download, 22 for a verify, 10 bits a
// byte).
//
//   bench_cli [runs]

#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sim/SimMaster.h"

extern char** environ;

namespace {

constexpr int kBaud = 19200;
constexpr int kBlocks = 1023;

// Delays up to the last start address the memory allows, then a Print of 20
// bytes: an image of 16362 bytes, sent as 1023 blocks.
std::string FullSizeProgram() {
    const int delays = 3268;
    std::string f = "0\r\n127 \r\n" + std::to_string(delays + 1) + "\r\n";
    for (int i = 0; i < delays; ++i) f += "\r\n   0\r\n\r\n   0\r\n 0  0  9\r\n5\r\nBB  2  9  1  0 \r\n";
    f += "END\r\n   0\r\n\r\n   0\r\n 0  0  5\r\n20\r\nBB 11  5";
    for (int i = 0; i < 17; ++i) {
        char b[8];
        std::snprintf(b, sizeof b, " %2X", 0x41 + i);
        f += b;
    }
    f += " \r\n";
    return f;
}

// Runs stepwright-cli with args, its output discarded; returns the seconds it
// took and its exit code.
double Run(const std::vector<std::string>& args, int& code) {
    std::vector<std::string> argv{STEPWRIGHT_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    int status = 0;
    if (posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ) != 0 || waitpid(pid, &status, 0) < 0) {
        code = -1;
    } else {
        code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double>(end - start).count();
}

void Report(const char* what, double seconds, int bytesPerBlock) {
    const double bound = double(kBlocks) * bytesPerBlock * 10 / kBaud;
    std::printf("%-44s %7.3f s  bound %6.3f s  ratio %.4f\n", what, seconds, bound, seconds / bound);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1;
    // The simulated master's thread keeps its wire times to the microsecond.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    char dir[] = "/tmp/bench-cli.XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string program = std::string(dir) + "/full.stw";
    std::ofstream(program, std::ios::binary) << FullSizeProgram();

    SimOptions options;
    options.paceBaud = kBaud;
    SimMaster sim(options);
    std::string error;
    if (!sim.start(error)) {
        std::fprintf(stderr, "bench_cli: %s\n", error.c_str());
        return 1;
    }
    std::printf("stepwright-cli, %d blocks at %d baud (simulated master)\n", kBlocks, kBaud);
    for (int i = 0; i < runs; ++i) {
        int code = 0;
        double t = Run({"--port", sim.devicePath(), "download", program}, code);
        if (code != 0) std::fprintf(stderr, "download exited with %d\n", code);
        Report("download", t, 23);
        t = Run({"--port", sim.devicePath(), "verify", program}, code);
        if (code != 0) std::fprintf(stderr, "verify exited with %d\n", code);
        Report("verify", t, 22);
        t = Run({"--simulator", "--sim-pace", std::to_string(kBaud), "download", program}, code);
        if (code != 0) std::fprintf(stderr, "download --simulator exited with %d\n", code);
        Report("download --simulator (master in the same run)", t, 23);
    }
    std::remove(program.c_str());
    rmdir(dir);
    return 0;
}
