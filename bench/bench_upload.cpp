// Reading a full program image back from a simulated master paced at 19200
// baud, against the wire time of its Read blocks (22 bytes each: the command,
// three argument bytes, the ack and the 17-byte reply); and the decoding of
// that 16 KB image into program lines.
//
//   bench_upload [decode rounds]      (default 20)

#include <sys/prctl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "RandomProgram.h"
#include "SimSession.h"
#include "app/DownloadButtons.h"
#include "app/MainState.h"
#include "app/PollTimer.h"
#include "app/QuietPlatform.h"
#include "link/Upload.h"
#include "program/Disassemble.h"
#include "app/Editing.h"
#include "sim/SimMaster.h"

namespace {

constexpr int kBaud = 19200;
constexpr int kReadBlockBytes = 22;

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    // As many random builder-made lines as fit in memory.
    std::mt19937 rng(19200);
    std::vector<ProgramLine> lines = RandomProgram(rng, 4000, 300);
    size_t used = 2, fit = 0;
    while (fit < lines.size() && used <= 16344 && used + lines[fit].length <= 16384) used += lines[fit++].length;
    lines.resize(fit);

    SimOptions options;
    options.paceBaud = kBaud;
    SimMaster sim(options);
    std::string error;
    if (!sim.start(error)) {
        std::fprintf(stderr, "bench_upload: %s\n", error.c_str());
        return 1;
    }
    QuietPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    ConnectToSim(*s, sim);
    for (int i = 0; i < 20 && !s->online; ++i) PollTimerTimer(*s);
    if (!s->online) {
        std::fprintf(stderr, "bench_upload: the simulated master did not come on line\n");
        return 1;
    }
    s->lineCount = 0;
    for (const ProgramLine& l : lines) s->lines[s->lineCount++] = l;
    RebuildListing(*s);
    std::printf("downloading %d lines first (not measured)...\n", int(lines.size()));
    DownloadButtonClick(*s);
    const std::vector<uint8_t> image(s->programImage, s->programImage + s->imageLength);

    std::vector<uint8_t> read;
    const auto start = std::chrono::steady_clock::now();
    if (ReadMasterImage(*s, read) != 0 || read != image) {
        std::fprintf(stderr, "bench_upload: the image did not come back\n");
        return 1;
    }
    const double seconds = Seconds(start);
    const int blocks = (int(image.size()) + 15) / 16;
    const double wire = double(blocks) * kReadBlockBytes * 10 / kBaud;
    std::printf("upload of %zu bytes, %d blocks at %d baud: %.3f s  wire %.3f s  ratio %.4f\n", image.size(), blocks,
                kBaud, seconds, wire, seconds / wire);

    double best = 1e9, total = 0;
    int rawLines = -1;
    for (int r = 0; r < rounds; ++r) {
        const auto t = std::chrono::steady_clock::now();
        const Disassembly d = Disassemble(image, kDefaultNetwork);
        const double ms = Seconds(t) * 1000;
        best = std::min(best, ms);
        total += ms;
        rawLines = d.rawLines;
    }
    std::printf("decoding %zu bytes (%d lines, %d raw): best %.3f ms  mean %.3f ms over %d rounds\n", image.size(),
                int(lines.size()), rawLines, best, total / rounds, rounds);
    return 0;
}
