#pragma once
// One open serial port as the protocol sees it.  The real port (termios) and
// the scripted peers of the tests implement it.

#include <cstdint>

// What became of the port when an operation on it failed: the front ends put
// it in words.
enum class PortFault : uint8_t {
    None,    // nothing went wrong (a read that timed out is no fault)
    Gone,    // the device is gone: unplugged, or the far end closed
    Failed,  // the operation failed for another reason, err says which
};

struct PortProblem {
    PortFault fault = PortFault::None;
    int err = 0;  // the errno that told it (0: none)
};

class SerialLink {
public:
    virtual ~SerialLink() = default;
    // Writes count bytes within 50 + 2 x count ms; false when the write failed.
    virtual bool write(const uint8_t* data, int count) = 0;
    // Reads up to count bytes, returning as soon as they have all arrived and
    // never later than 100 + 2 x count ms; returns how many arrived.
    virtual int read(uint8_t* buffer, int count) = 0;
    // Bytes waiting in the input queue; -1 when the query failed.
    virtual int waiting() = 0;
    // Discards the input queue (not the output queue); false on failure.
    virtual bool discardInput() = 0;
    // What the last failure found; once Gone the port stays gone and every
    // operation fails (reads return nothing) without waiting.
    virtual PortProblem problem() const { return {}; }
};
