// Host time per exchange over the real port code: Stop (0x80) and Read reply
// (0x87) against a peer thread that answers at once on a pseudo-terminal.
// What is measured is the host's own cost (port layer, protocol, wake-ups),
// not a line rate: the pseudo-terminal has none.
//
//   bench_link [exchanges]      (default 3000 of each kind)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "bench/BenchPeer.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"

namespace {

constexpr int kReplyCount = 4;  // data bytes asked for with each Read reply

// Answers every command as soon as its last byte has arrived.
class ImmediateMaster {
public:
    explicit ImmediateMaster(PtyPeer& peer) : peer_(peer), thread_(peer, [this](uint8_t b) { take(b); }) {}
    int unknownBytes() const { return unknown_; }

private:
    void take(uint8_t b) {
        if (want_ == Want::ReplyCount) {
            std::vector<uint8_t> reply;
            unsigned sum = 0;
            for (int k = 0; k < b; ++k) {
                reply.push_back(uint8_t(0x10 + k));
                sum += uint8_t(0x10 + k);
            }
            reply.push_back(uint8_t(sum));
            peer_.send(reply);
            want_ = Want::Command;
        } else if (b == kCmdStop) {
            peer_.send({0x00, 0x03, 0x00, 0x00, 0x02, 0x00});
        } else if (b == kCmdReadReply) {
            peer_.send({0x06});
            want_ = Want::ReplyCount;
        } else {
            ++unknown_;
        }
    }

    enum class Want { Command, ReplyCount };
    PtyPeer& peer_;
    Want want_ = Want::Command;
    std::atomic<int> unknown_{0};
    PeerThread thread_;   // last: starts once the state above is ready
};

struct Result {
    std::vector<double> us;
    int failures = 0;
};

template <class Exchange>
Result Measure(int count, Exchange exchange) {
    Result r;
    r.us.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        auto start = std::chrono::steady_clock::now();
        int rc = exchange();
        auto end = std::chrono::steady_clock::now();
        if (rc != 0) ++r.failures;
        r.us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    return r;
}

void Print(const char* name, Result r) {
    std::sort(r.us.begin(), r.us.end());
    size_t n = r.us.size();
    double mean = std::accumulate(r.us.begin(), r.us.end(), 0.0) / double(n);
    double median = n % 2 ? r.us[n / 2] : (r.us[n / 2 - 1] + r.us[n / 2]) / 2;
    std::printf("%-22s %6zu exchanges  mean %8.1f us  median %8.1f us  max %8.1f us  failed %d\n", name, n,
                mean, median, r.us.back(), r.failures);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = CountArgument(argc, argv, 3000, 1000000, "exchanges");
    if (count < 0) return 2;

    PeerSession link;
    if (!link.open()) return 1;
    MainState& s = *link.s;

    Result stop, reply;
    int unknown = 0;
    {
        ImmediateMaster master(link.peer);
        stop = Measure(count, [&] { return HostStop(s); });
        uint8_t buffer[kReplyCount + 1];
        reply = Measure(count, [&] { return HostReadReply(s, buffer, kReplyCount); });
        unknown = master.unknownBytes();
    }
    Print("Stop (0x80)", stop);
    Print("Read reply (0x87, n=4)", reply);
    link.report(unknown);
    return stop.failures || reply.failures || unknown ? 1 : 0;
}
