#pragma once
// An in-memory serial peer for protocol tests.  Bytes the host writes are
// recorded in sent and handed to onWrite, which may queue reply bytes in rx;
// a read takes what rx holds, up to the count asked for (fewer = time-out).

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "link/SerialLink.h"

class FakeSerial : public SerialLink {
public:
    std::vector<uint8_t> sent;
    std::deque<uint8_t> rx;
    std::function<void(FakeSerial&, uint8_t)> onWrite;   // called per byte written
    bool failWrites = false;
    bool failQuery = false;
    bool failDiscard = false;
    int reads = 0;
    // What problem() reports; Gone also makes every read return nothing.
    PortProblem problemNow;

    void queue(std::initializer_list<uint8_t> bytes) { rx.insert(rx.end(), bytes); }
    void queue(const std::vector<uint8_t>& bytes) { rx.insert(rx.end(), bytes.begin(), bytes.end()); }

    bool write(const uint8_t* data, int count) override {
        if (failWrites) return false;
        for (int i = 0; i < count; ++i) {
            sent.push_back(data[i]);
            if (onWrite) onWrite(*this, data[i]);
        }
        return true;
    }
    int read(uint8_t* buffer, int count) override {
        ++reads;
        if (problemNow.fault == PortFault::Gone) return 0;
        int n = 0;
        while (n < count && !rx.empty()) {
            buffer[n++] = rx.front();
            rx.pop_front();
        }
        return n;
    }
    int waiting() override { return failQuery ? -1 : int(rx.size()); }
    bool discardInput() override {
        if (failDiscard) return false;
        rx.clear();
        return true;
    }
    PortProblem problem() const override { return problemNow; }
};
