// The program check on a full-size program (8191 lines): every command of
// every family, comments, jumps both ways, Calls and CountDown loops, so that
// every pass of the check has work.  The check runs on every edit in the
// window, so it must stay far below a keystroke's time.
//
// Thread CPU time is reported beside wall time: on a shared machine the wall
// time also counts the waits for a core.
//
//   bench_check [rounds]      (default 20; the median is reported)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "program/Check.h"
#include "program/ProgramText.h"

namespace {

constexpr int kLines = 8191;

// Blocks of 24 lines, each with labels of its own: a subroutine called from
// a CountDown loop, waits with timeouts forward, a branch back.
std::string FullSizeText() {
    const char* header =
        ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-I/O\n.module 3 ZEL-STEP\n";
    const char* body[] = {
        "A%d:       0 SetCounter counter=1 initial-value=3",
        "          0 SetTimer timeout=1000",
        "          0 MonitorSub -> M%d",
        "B%d:       0 Call -> S%d",
        "          0 CountDown counter=1 -> B%d",
        "          0 WaitFor timeout=500 key=k -> C%d",
        "          0 If-GoTo timeout -> C%d",
        "          0 If-GoTo counter-1=0 -> A%d",
        "          0 Print print-chars=Hello add-carriage-return add-line-feed",
        "; a comment line",
        "C%d:       3 ResetPosition",
        "          3 SetParam min-speed=1 run-cur=20 hold-cur=10 therm-limit=0 speed-1x",
        "          3 Move position=-500 speed=100 acceleration=20",
        "          3 If-GoTo e-stop-hi -> C%d",
        "          1 StartHoming limit-1 index stop-on-home stop-smoothly",
        "          1 Move position=4000 velocity=4000 acceleration=40 pwm=0",
        "          1 WaitFor timeout=500 move-done -> C%d",
        "          2 SetOutputs bit-1 bit-3 set",
        "          2 WaitFor timeout=100 bit-9 set -> D%d",
        "D%d:       0 GoTo -> E%d",
        "S%d:       1 GetStatus",
        "          0 Delay time=5",
        "M%d:       0 Return",
        "E%d:       0 Delay time=50",
    };
    std::string text = header;
    char line[160];
    for (int i = 0; i < kLines; ++i) {
        const int block = i / int(std::size(body));
        std::snprintf(line, sizeof line, body[size_t(i) % std::size(body)], block, block);
        text += line;
        text += '\n';
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    if (!ParseProgramText(FullSizeText(), data, errors)) {
        std::fprintf(stderr, "%s\n", DescribeProgramTextError("bench", errors[0]).c_str());
        return 1;
    }
    std::vector<double> wall, cpu;
    size_t findings = 0;
    for (int r = 0; r < rounds; ++r) {
        const double c0 = ThreadCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        findings = check::CheckProgram(data.lines.data(), int(data.lines.size()), data.moduleTypes).size();
        const auto t1 = std::chrono::steady_clock::now();
        cpu.push_back(ThreadCpuMs() - c0);
        wall.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    const double goal = 20.0;
    std::printf("check, %d lines, %zu findings, median of %d rounds\n", int(data.lines.size()), findings, rounds);
    std::printf("  %7.2f ms wall, %7.2f ms CPU  (CPU %.2f of the 20 ms goal; slowest round %.2f ms CPU)\n",
                Median(wall), Median(cpu), Median(cpu) / goal, *std::max_element(cpu.begin(), cpu.end()));
    return findings == 0 ? 1 : 0;
}
