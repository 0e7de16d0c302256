// prove's exploration: every example against a description with no limits
// (goal: 1 s each), and a full-size program (8191 lines) with 20 branches on
// inputs, each section ending in a Delay (goal: 10 s within the default
// bounds).  Thread CPU time is reported beside wall time: on a shared
// machine the wall time also counts the waits for a core.
//
//   bench_prove [rounds]      (default 3; the median is reported)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "prove/Explore.h"

namespace {

constexpr int kLines = 8191;
constexpr int kBranches = 20;

// 20 sections: read the I/O module, branch on one of its inputs (a Print on
// one side), join again
// at a Delay, then outputs, counters, prints and comments.
std::string FullSizeText() {
    std::string text =
        ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-SERVO\n.module 3 ZEL-I/O\n"
        ".module 4 ZEL-STEP\n"
        "          3 MakeOutputs bit-1 bit-2\n";
    int lines = 1;
    const int perSection = (kLines - 2) / kBranches;
    char line[160];
    for (int s = 0; s < kBranches && lines < kLines - 1; ++s) {
        const int bit = 3 + s % 10;
        std::snprintf(line, sizeof line,
                      "          3 GetStatus\n"
                      "          3 If-GoTo bit-%d set -> J%d\n"
                      "          0 Print print-chars=y\n"
                      "J%d:       0 Delay time=1\n",
                      bit, s, s);
        text += line;
        lines += 4;
        for (int k = 4; k < perSection && lines < kLines - 1; ++k, ++lines) {
            // Most lines are comments: 16384 bytes hold no more instructions.
            switch (k % 32) {
                case 0: text += "          3 SetOutputs bit-2 set\n"; break;
                case 8: text += "          0 SetCounter counter=2 initial-value=7\n"; break;
                case 24: text += "          0 Print print-chars=x\n"; break;
                case 16: text += "          3 SetOutputs bit-2 clear\n"; break;
                default: text += "; a comment\n"; break;
            }
        }
    }
    text += "          0 StopProgram\n";
    return text;
}

struct Measured {
    double wallMs, cpuMs;
    prove::ProveResult result;
};

Measured Measure(const prove::ProgramImage& p, const machine::Machine& m, int rounds) {
    std::vector<double> wall, cpu;
    prove::ProveResult r;
    for (int i = 0; i < rounds; ++i) {
        const double c0 = ThreadCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        r = prove::Explore(p, m, prove::Bounds());
        const auto t1 = std::chrono::steady_clock::now();
        cpu.push_back(ThreadCpuMs() - c0);
        wall.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return {Median(wall), Median(cpu), r};
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    machine::Machine m;
    std::vector<std::string> errors;
    if (!machine::ParseMachine("machine: bench\n", "bench.yaml", m, errors)) return 1;
    int failed = 0;
    for (const char* name : {"demo", "every-command", "io_wait", "key_menu", "servo_moves", "stepper_limits",
                             "subroutines"}) {
        prove::ProgramImage p;
        const std::string path = std::string(STEPWRIGHT_EXAMPLES) + "/" + name + ".sws";
        const std::string why = prove::ReadProgramImage(path, p);
        if (!why.empty()) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
            return 1;
        }
        const Measured r = Measure(p, m, rounds);
        std::printf("prove %-15s %4lld paths %8lld ms simulated: %8.1f ms wall, %8.1f ms CPU (%.2f of the 1 s goal)\n",
                    name, (long long)r.result.paths, (long long)r.result.simulatedMs, r.wallMs, r.cpuMs,
                    r.cpuMs / 1000.0);
        failed += r.cpuMs > 1000.0;
    }
    const std::string path = "/tmp/bench_prove_full.sws";
    std::ofstream(path, std::ios::binary) << FullSizeText();
    prove::ProgramImage full;
    const std::string why = prove::ReadProgramImage(path, full);
    if (!why.empty()) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    const Measured r = Measure(full, m, rounds);
    std::printf("prove %d lines, %d branches: %lld paths, %lld decisions, %lld merged, %lld ms simulated, %s\n",
                int(full.lineAddress.size()), kBranches, (long long)r.result.paths, (long long)r.result.decisions,
                (long long)r.result.merged, (long long)r.result.simulatedMs,
                r.result.cut() ? "cut by a bound" : "not cut");
    std::printf("  %8.1f ms wall, %8.1f ms CPU (%.2f of the 10 s goal)\n", r.wallMs, r.cpuMs, r.cpuMs / 10000.0);
    failed += r.cpuMs > 10000.0;
    return failed ? 1 : 0;
}
