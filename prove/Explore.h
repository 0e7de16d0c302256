#pragma once
// The explorer of paths: a program run on the simulated master in virtual
// time along every path its inputs allow, held against a machine
// description at every simulated millisecond.
//
// The world: the inputs held from outside (an I/O module's input pins, a
// stepper's E-Stop, Input 1 and Input 2) and the key typed at the terminal
// are free at the start and become
// free again whenever the program waits (a Delay, a WaitFor that does not
// hold at once).  A condition that tests a free input forks the path, one
// path per outcome, and fixes the input until the next wait; a WaitFor on a
// free input forks into "holds at once", "holds at its next test" and "never
// holds: times out".  Everything else (module status, positions, limits
// computed from positions, timers, counters) is what the simulation
// computes.  A state met before (all of the master and its modules, the
// path's knowledge of the inputs, what the watch remembers; not the time) is
// not explored twice, so loops end.
//
// Pure over the simulator and the description; nothing throws.

#include <cstdint>
#include <string>
#include <vector>

#include "machine/Machine.h"
#include "prove/MachineWatch.h"

struct ProgramFileData;

namespace prove {

// The program as the explorer runs it.
struct ProgramImage {
    std::vector<uint8_t> image;          // assembled, with its length header
    std::vector<int> moduleTypes;        // by address, [0] the master
    std::vector<uint16_t> lineAddress;   // per program line: its image address (0xFFFF: a comment)
    std::vector<int> shownLine;          // per program line: the file's line (program text) or listing line
    std::vector<std::string> lineLabel;  // per program line: its label
    std::vector<std::string> lineText;   // per program line: its listing text
    // The program line at an image address, -1 when none starts there.
    int lineAt(uint16_t address) const;
    // The image address of a label, or 0xFFFF.
    uint16_t labelAddress(const std::string& label) const;
};

// Reads (.stw or .sws) and assembles a program as the window opens and
// loads it.  "" on success, else why it is refused.
std::string ReadProgramImage(const std::string& path, ProgramImage& out);
// The same over a program already read (the Python module's programs).
std::string ProgramImageOf(const ProgramFileData& data, ProgramImage& out);

struct Bounds {
    int64_t maxTimeMs = 60000;           // simulated time per path
    int64_t maxPaths = 1000;
    bool cycle = false;                  // time the passes through cycleAddress
    uint16_t cycleAddress = 0;
};
constexpr int64_t kDefaultMaxTimeMs = 60000;
constexpr int64_t kDefaultMaxPaths = 1000;

// An input the world sets: before the run (ms < 0) or after that many
// simulated milliseconds.
struct InputChange {
    int64_t ms = -1;
    int module = 0;                      // 0: a key typed at the terminal
    int type = 0;                        // the module's type code
    uint16_t mask = 0;                   // one bit
    bool high = false;
    int key = -1;                        // module 0: the key
};

struct Timing {
    bool any = false;
    int64_t shortestMicros = 0, longestMicros = 0;
    std::vector<InputChange> longestInputs;
};

struct ProveResult {
    bool violated = false;
    Violation violation;
    std::vector<InputChange> inputs;     // the path to the violation

    int64_t paths = 0;                   // paths explored (started)
    int64_t decisions = 0;               // forks
    int64_t merged = 0;                  // paths that met a state seen before
    int64_t ended = 0;                   // paths on which the program stopped
    int64_t endedOnError = 0;            // ... of which on an error of the master
    int64_t simulatedMs = 0;             // summed over the paths
    int64_t cutByTime = 0;               // paths still running at --max-time
    int64_t cutByPaths = 0;              // outcomes left unexplored at --max-paths
    std::vector<bool> covered;           // per program line: run on some path
    int instructionLines = 0;
    int coveredLines = 0;
    Timing cycle;                        // run to StopProgram or the end
    Timing pass;                         // from the cycle label back to it
    bool cut() const { return cutByTime > 0 || cutByPaths > 0; }
};

ProveResult Explore(const ProgramImage& program, const machine::Machine& m, const Bounds& bounds);

}  // namespace prove

namespace prove {

// "module 3 bit 5 (door-closed) high", "module 4 input e-stop high".
std::string DescribeInput(const InputChange& c, const machine::Machine& m);
// The milliseconds of simulated time a scenario reports a moment by: the
// millisecond in which it falls (0.0001 s to 0.001 s is 1 ms).
inline int64_t ReportedMs(int64_t micros) { return (micros + 999) / 1000; }

// The path to a violation as a scenario that `stepwright-cli test` runs:
// the program and the description named by programPath and machinePath (as
// they are to be written), the inputs set at their simulated times, and a
// wait past the moment of the violation, which the description's check
// then reports.
std::string CounterexampleScenario(const ProveResult& r, const std::string& name, const std::string& programPath,
                                   const std::string& machinePath);

}  // namespace prove
