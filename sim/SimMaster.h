#pragma once
// A simulated Stepwright master and its modules, serving the host protocol on
// the master side of a pseudo-terminal from a thread of its own.

#include <memory>
#include <string>
#include <vector>

struct SimOptions {
    // Module type codes of addresses 1, 2, ... (0 servo, 2 I/O, 3 stepper).
    std::vector<int> moduleTypes{0, 0, 2, 3};
    // Pace every byte at this baud rate's wire time (10 bits a byte); 0 = immediate.
    int paceBaud = 19200;
};

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

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
