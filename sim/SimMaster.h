#pragma once
// A simulated Stepwright master and its modules, serving the host protocol on
// the master side of a pseudo-terminal from a thread of its own.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimOptions.h"

namespace sim {
class SimCore;
}

class SimMaster {
public:
    explicit SimMaster(SimOptions options = {});
    ~SimMaster();
    SimMaster(const SimMaster&) = delete;
    SimMaster& operator=(const SimMaster&) = delete;

    // Opens the pseudo-terminal and starts serving; false with error set on failure.
    bool start(std::string& error);
    void stop();
    // Path of the pseudo-terminal's device that the host opens (valid after start).
    std::string devicePath() const;

    // Runs f on the simulated master while its thread is held off (tests, the
    // command line): f may look at and change the master and its modules.
    void withCore(const std::function<void(sim::SimCore&)>& f);
    // True once the line has hung up (the hangup fault).
    bool hungUp() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
