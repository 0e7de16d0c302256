#pragma once
// Settings of the simulated master: its network, its pacing and the faults it
// can be told to show.

#include <string>
#include <vector>

// Faults injected into the master's side of the host protocol.
struct SimFaults {
    // From the first command byte equal to this one on (0x80 .. 0x8F), the
    // master sends nothing at all, that command's answer included; -1 = never.
    int silentFrom = -1;
    // The acknowledge of the N-th command that has one (0x81 .. 0x87, counted
    // from 1) is not sent; the master then abandons that command when its
    // arguments stop coming.  0 = none.
    int dropAck = 0;
    // Write block and Execute are answered with 0xCC and have no effect.
    bool cc = false;
    // Every byte the master sends is replaced by line noise (never "U" or
    // "#"), so that replies keep their length but not their content.
    bool garbage = false;
    // The line hangs up when the N-th command byte arrives (counted from 1);
    // that command is not answered.  0 = never.
    int hangupAt = 0;
    // Every Read reply ends with a wrong checksum (its data bytes are right).
    bool badChecksum = false;
    // The count byte of the N-th Read reply (counted from 1) arrives with
    // bits 5 and 6 flipped (10 becomes 106), as line noise would leave it:
    // the master answers that many bytes.  0 = never.
    int badCountAt = 0;
};

struct SimOptions {
    // Module type codes of addresses 1, 2, ... (0 servo, 2 I/O, 3 stepper;
    // any other code 0 to 255 is a module that only reports its type).
    std::vector<int> moduleTypes{0, 0, 2, 3};
    // Pace every byte at this baud rate's wire time (10 bits a byte); 0 = immediate.
    int paceBaud = 19200;
    SimFaults faults;
    // Byte 1 of the Version reply.
    int version = 2;
    // One reply area for the program and the host, as some masters have:
    // the replies a running program collects land where Read reply looks,
    // and the host's requests change what the program's conditions test.
    // false: each has its own area.
    bool sharedReplyArea = false;
    // A command whose argument bytes stop coming for this long is abandoned.
    int argTimeoutMs = 500;
    // The rate the host's port runs at: a ChangeBaud to any other rate cuts
    // the master off from the host until it is restarted.
    int hostBaud = 19200;
};

// Checks the options; false with the reason in error.
bool ValidateSimOptions(const SimOptions& options, std::string& error);

// Parses one --fault value ("silent-from=0x85", "drop-ack=3", "cc",
// "garbage", "hangup=10", "bad-count=5") into faults; false with the reason
// in error.
bool ParseSimFault(const std::string& text, SimFaults& faults, std::string& error);

// Parses the --modules list ("servo,servo,io,step"; a number stands for a
// type code) into type codes; false with the reason in error.
bool ParseSimModules(const std::string& text, std::vector<int>& types, std::string& error);

// Parses the --reply-area value: "separate" (false) or "shared" (true).
bool ParseSimReplyArea(const std::string& text, bool& shared, std::string& error);
