// Scenarios in virtual time against their simulated duration: the scenarios
// of tests/data/scenarios, a minute-long one on the same machine and the
// scenario beside each example, each run REPEAT times without a trace and
// once with the CSV trace written to memory.
// The goal is at least 100 times real time.
//   bench_scenario [REPEAT 1..1000]   (default 20)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "BenchPeer.h"
#include "scenario/Scenario.h"

namespace {

const std::string kData = STEPWRIGHT_SCENARIOS;
const std::string kExamples = STEPWRIGHT_EXAMPLES;

struct Timing {
    double simulated = 0;
    double wall = 0;
};

Timing Measure(const scenario::Scenario& sc, int repeat, bool trace) {
    Timing t;
    std::string csv;
    for (int i = 0; i < repeat; ++i) {
        csv.clear();
        const auto start = std::chrono::steady_clock::now();
        const scenario::Result r =
            trace ? scenario::RunScenario(sc, [&csv](const scenario::TraceRow& row) { csv += scenario::TraceCsvRow(row); })
                  : scenario::RunScenario(sc);
        t.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        t.simulated += double(r.simulatedMs) / 1000.0;
        if (!r.passed) std::fprintf(stderr, "%s failed: %s\n", sc.file.c_str(), r.message.c_str());
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const int repeat = CountArgument(argc, argv, 20, 1000, "REPEAT");
    if (repeat < 0) return 2;

    // A minute on the machine: the move, then a wait for a button nobody presses.
    const std::string longPath = "/tmp/bench_scenario_" + std::to_string(getpid()) + ".yaml";
    std::ofstream(longPath) << "name: a minute\nprogram: " << kData
                            << "/machine.sws\ntime-limit: 70s\nsteps:\n  - run:\n  - key: g\n"
                               "  - expect-print: {text: At 4000, within: 3s}\n  - wait: 60s\n"
                               "  - expect-print: {text: Timeout}\n";

    std::printf("%-28s %10s %10s %10s %12s\n", "scenario", "simulated", "wall", "ratio", "ratio traced");
    Timing all, allTraced;
    std::vector<std::string> paths{kData + "/machine.yaml", kData + "/feeder.yaml", longPath};
    std::vector<std::string> examples;
    for (const auto& entry : std::filesystem::directory_iterator(kExamples))
        if (entry.path().extension() == ".yaml" && !entry.path().string().ends_with(".machine.yaml"))
            examples.push_back(entry.path());   // the scenarios, not the machine descriptions
    std::sort(examples.begin(), examples.end());
    paths.insert(paths.end(), examples.begin(), examples.end());
    for (const std::string& path : paths) {
        scenario::Scenario sc;
        std::vector<std::string> errors;
        if (!scenario::LoadScenario(path, sc, errors)) {
            for (const std::string& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
            return 1;
        }
        const Timing t = Measure(sc, repeat, false);
        const Timing traced = Measure(sc, 1, true);
        all.simulated += t.simulated, all.wall += t.wall;
        allTraced.simulated += traced.simulated, allTraced.wall += traced.wall;
        std::printf("%-28s %9.1fs %9.4fs %9.0fx %11.0fx\n", sc.name.c_str(), t.simulated, t.wall, t.simulated / t.wall,
                    traced.simulated / traced.wall);
    }
    std::printf("%-28s %9.1fs %9.4fs %9.0fx %11.0fx   (goal: 100x)\n", "all", all.simulated, all.wall,
                all.simulated / all.wall, allTraced.simulated / allTraced.wall);
    std::remove(longPath.c_str());
    return 0;
}
