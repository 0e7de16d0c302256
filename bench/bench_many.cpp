// Flashing several masters at once: one stepwright-cli run serving one, two
// and four simulated masters paced at 19200 baud, each given the full-size
// image (1023 blocks, without the read-back, so that only the transfer is
// timed).  Reported as each run's time against the time for one master.
//
//   bench_many [runs]

#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchCli.h"
#include "sim/SimMaster.h"

using namespace bench;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1;
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    char dir[] = "/tmp/bench-many.XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string program = std::string(dir) + "/full.stw";
    std::ofstream(program, std::ios::binary) << FullSizeProgram();

    constexpr int kMasters = 4;
    std::vector<std::unique_ptr<SimMaster>> masters;
    SimOptions options;
    options.paceBaud = kBaud;
    for (int i = 0; i < kMasters; ++i) {
        masters.push_back(std::make_unique<SimMaster>(options));
        std::string error;
        if (!masters.back()->start(error)) {
            std::fprintf(stderr, "bench_many: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("stepwright-cli download --no-verify, %d blocks at %d baud to 1, 2 and 4 simulated masters\n",
                kBlocks, kBaud);
    for (int r = 0; r < runs; ++r) {
        double one = 0;
        for (int count : {1, 2, 4}) {
            std::vector<std::string> args;
            for (int i = 0; i < count; ++i) {
                args.push_back("--port");
                args.push_back(masters[size_t(i)]->devicePath());
            }
            args.insert(args.end(), {"download", "--no-verify", program});
            int code = 0;
            const double t = Run(args, code);
            if (code != 0) std::fprintf(stderr, "%d masters: exit %d\n", count, code);
            if (count == 1) one = t;
            std::printf("%d master(s) %7.3f s  ratio to one %.4f\n", count, t, t / one);
        }
    }
    std::remove(program.c_str());
    rmdir(dir);
    return 0;
}
