// Open and assemble of one program file, as Open and Load do it: the C++
// half of bench/bench_python.py, which times the same from Python.
//
//   bench_open_assemble FILE [rounds]      (default 20; prints the median in ms)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/Editing.h"
#include "app/MainState.h"
#include "app/QuietPlatform.h"
#include "program/Assembly.h"
#include "app/Files.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_open_assemble FILE [rounds]\n");
        return 1;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    std::vector<double> ms;
    int length = 0;
    for (int r = 0; r < rounds; ++r) {
        QuietPlatform ui;
        auto s = std::make_unique<MainState>(ui);
        const auto start = std::chrono::steady_clock::now();
        if (!OpenProgramFile(*s, argv[1]) || AssembleProgram(*s) != 0) {
            std::fprintf(stderr, "%s: %s\n", argv[1], ui.messages.empty() ? "refused" : ui.messages.back().c_str());
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        length = s->imageLength;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%.3f ms median of %d rounds, image %d bytes\n", ms[ms.size() / 2], rounds, length);
    return 0;
}
