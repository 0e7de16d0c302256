#pragma once
// The simulated master in virtual time: no device, no thread and no clock of
// the host.  Simulated time moves on only when the caller says so, one
// millisecond at a time, and runs as fast as the computer can compute it.
// Host commands take no simulated time.  Nothing here depends on the wall
// clock, so the same commands at the same simulated times give the same run,
// byte for byte, on every run and every machine.
//
// The host's side speaks the host protocol's own bytes; the caller may look
// at and change the master and its modules through core() between calls.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimCore.h"

namespace sim {

class VirtualMaster {
public:
    explicit VirtualMaster(const SimOptions& options);

    // Simulated time since power-up.
    Micros now() const { return now_; }
    int64_t nowMs() const { return now_ / 1000; }
    // Moves simulated time on by one millisecond: the program and the modules run.
    void tick();

    // Sends host bytes now; returns the master's answer.
    std::vector<uint8_t> exchange(const std::vector<uint8_t>& bytes);

    // The host commands.  False when the master did not answer as it should.
    // Writes the image (its own length header first) block by block.
    bool download(const uint8_t* image, int length);
    bool run(uint16_t address) { return addressCommand(0x81, address); }
    bool step(uint16_t address) { return addressCommand(0x86, address); }
    bool setBreakpoint(uint16_t address) { return addressCommand(0x82, address); }
    bool stop();
    void reset();
    // A key typed at the terminal (a byte below 0x80).
    void key(uint8_t byte);
    // Polls as the host's status poll does: the characters printed since the
    // last poll, after those the master sent by itself (a "#" after a
    // reset); false when the master did not answer.
    bool poll(std::string& printed);

    SimCore& core() { return core_; }
    const SimCore& core() const { return core_; }

private:
    bool addressCommand(uint8_t cmd, uint16_t address);
    // Keeps what the master sent on its own for the next poll.
    void collectUnsolicited();

    SimCore core_;
    Micros now_ = 0;
    std::string unsolicited_;
};

}  // namespace sim
