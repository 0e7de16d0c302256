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
#include "bench/BenchProgramText.h"
#include "program/ProgramText.h"

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string text = bench::FullSizeText();
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
