// Full-size download and verify through stepwright-cli against the simulated
// master paced at 19200 baud: 1023 blocks of 16 bytes.  Each is reported as
// the measured time of the whole stepwright-cli run divided by its wire-time
// lower bound (23 bytes a block for a download, 22 for a verify, 10 bits a
// byte).
//
//   bench_cli [runs]

#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "BenchCli.h"
#include "sim/SimMaster.h"

namespace {

using namespace bench;

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
        double t = Run({"--port", sim.devicePath(), "download", "--no-verify", program}, code);
        if (code != 0) std::fprintf(stderr, "download exited with %d\n", code);
        Report("download", t, 23);
        t = Run({"--port", sim.devicePath(), "verify", program}, code);
        if (code != 0) std::fprintf(stderr, "verify exited with %d\n", code);
        Report("verify", t, 22);
        t = Run({"--simulator", "--sim-pace", std::to_string(kBaud), "download", "--no-verify", program}, code);
        if (code != 0) std::fprintf(stderr, "download --simulator exited with %d\n", code);
        Report("download --simulator (master in the same run)", t, 23);
    }
    std::remove(program.c_str());
    rmdir(dir);
    return 0;
}
