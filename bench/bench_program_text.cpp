// Export and import of a full-size program (8192 lines) as program text: the
// lines of examples/every-command.sws repeated, every command of every family
// and comments among them.  Import builds every line by its command's
// description (isa::encode); export decodes every line (isa::decode) and
// checks that the text builds the line again.
//
// Thread CPU time is reported beside wall time: on a shared machine the wall
// time also counts the waits for a core.
//
//   bench_program_text [rounds]      (default 5; the median is reported)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "program/ProgramText.h"

namespace {

// A program of kMaxLines lines built from the every-command example's lines.
std::string FullSizeText() {
    const char* header = ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-I/O\n.module 3 ZEL-STEP\n";
    const char* body[] = {
        "          0 Print print-chars=Hello add-carriage-return add-line-feed",
        "          0 SetTimer timeout=1000",
        "          0 WaitFor timeout=500 key=k -> L%d",
        "          0 If-GoTo counter-2=7 -> L%d",
        "          0 CountDown counter=1 -> L%d",
        "          1 Move position=4000 velocity=4000 acceleration=40 pwm=0",
        "          1 SetGain kp=100 kd=1000 ki=0 il=0 ol=255 cl=0 el=2000 sr=1 dc=0",
        "          1 WaitFor timeout=500 move-done -> L%d",
        "          3 SetParam min-speed=1 run-cur=20 hold-cur=10 therm-limit=0 speed-1x",
        "          3 Move position=-500 speed=100 acceleration=20",
        "          3 If-GoTo e-stop-hi -> L%d",
        "          2 SetOutputs bit-1 bit-3 set",
        "          2 WaitFor timeout=100 bit-9 set -> L%d",
        "; a comment line",
        "L%d:      0 Delay time=50",
    };
    std::string text = header;
    char line[160];
    for (int i = 0; i < kMaxLines; ++i) {
        std::snprintf(line, sizeof line, body[size_t(i) % std::size(body)], i / 15);
        text += line;
        text += '\n';
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string text = FullSizeText();
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    if (!ParseProgramText(text, data, errors)) {
        std::fprintf(stderr, "%s\n", DescribeProgramTextError("bench", errors[0]).c_str());
        return 1;
    }
    std::vector<double> importMs, exportMs, importCpu, exportCpu;
    std::string out;
    for (int r = 0; r < rounds; ++r) {
        const double c0 = ThreadCpuMs();
        auto t0 = std::chrono::steady_clock::now();
        ProgramFileData back;
        ParseProgramText(text, back, errors);
        const double c1 = ThreadCpuMs();
        auto t1 = std::chrono::steady_clock::now();
        out = FormatProgramText(data);
        const double c2 = ThreadCpuMs();
        auto t2 = std::chrono::steady_clock::now();
        importMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        exportMs.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        importCpu.push_back(c1 - c0);
        exportCpu.push_back(c2 - c1);
    }
    const double goal = 15.0;
    std::printf("program text, %d lines (%zu bytes of text), median of %d rounds\n", int(data.lines.size()),
                text.size(), rounds);
    std::printf("  import: %7.2f ms wall, %7.2f ms CPU  (CPU %.2f of the 15 ms goal)\n", Median(importMs),
                Median(importCpu), Median(importCpu) / goal);
    std::printf("  export: %7.2f ms wall, %7.2f ms CPU  (CPU %.2f of the 15 ms goal)\n", Median(exportMs),
                Median(exportCpu), Median(exportCpu) / goal);
    return out.empty() ? 1 : 0;
}
