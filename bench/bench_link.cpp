// Host time per exchange over the real port code: Stop (0x80) and Read reply
// (0x87) against a peer thread that answers at once on a pseudo-terminal.
// What is measured is the host's own cost (port layer, protocol, wake-ups),
// not a line rate: the pseudo-terminal has none.
//
//   bench_link [exchanges]      (default 3000 of each kind)

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "PtyPeer.h"
#include "TestPlatform.h"
#include "app/MainState.h"
#include "link/Protocol.h"
#include "link/Sio.h"

namespace {

constexpr int kReplyCount = 4;  // data bytes asked for with each Read reply

// Answers every command as soon as its last byte has arrived.
class ImmediateMaster {
public:
    explicit ImmediateMaster(PtyPeer& peer) : peer_(peer), thread_([this] { run(); }) {}
    ~ImmediateMaster() {
        stop_ = true;
        thread_.join();
    }
    int unknownBytes() const { return unknown_; }

private:
    void run() {
        enum class Want { Command, ReplyCount } want = Want::Command;
        uint8_t buf[256];
        while (!stop_) {
            struct pollfd p = {peer_.masterFd(), POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            if (!(p.revents & POLLIN)) break;
            ssize_t n = ::read(peer_.masterFd(), buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) {
                uint8_t b = buf[i];
                if (want == Want::ReplyCount) {
                    std::vector<uint8_t> reply;
                    unsigned sum = 0;
                    for (int k = 0; k < b; ++k) {
                        reply.push_back(uint8_t(0x10 + k));
                        sum += uint8_t(0x10 + k);
                    }
                    reply.push_back(uint8_t(sum));
                    peer_.send(reply);
                    want = Want::Command;
                } else if (b == 0x80) {
                    peer_.send({0x00, 0x03, 0x00, 0x00, 0x02, 0x00});
                } else if (b == 0x87) {
                    peer_.send({0x06});
                    want = Want::ReplyCount;
                } else {
                    ++unknown_;
                }
            }
        }
    }

    PtyPeer& peer_;
    std::atomic<bool> stop_{false};
    std::atomic<int> unknown_{0};
    std::thread thread_;
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
    int count = 3000;
    if (argc > 1) {
        char* end = nullptr;
        long v = std::strtol(argv[1], &end, 10);
        if (!end || *end != '\0' || v < 1 || v > 1000000) {
            std::fprintf(stderr, "usage: %s [exchanges 1..1000000]\n", argv[0]);
            return 2;
        }
        count = int(v);
    }

    PtyPeer peer;
    if (!peer.ok()) {
        std::fprintf(stderr, "no pseudo-terminal available\n");
        return 1;
    }
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    s->port = SioOpen(*s, peer.slavePath(), 19200);
    if (!s->port) {
        std::fprintf(stderr, "%s\n", ui.messages.empty() ? "open failed" : ui.messages.back().c_str());
        return 1;
    }
    s->online = true;  // a missing reply then shows up as a message

    Result stop, reply;
    int unknown = 0;
    {
        ImmediateMaster master(peer);
        stop = Measure(count, [&] { return HostStop(*s); });
        uint8_t buffer[kReplyCount + 1];
        reply = Measure(count, [&] { return HostReadReply(*s, buffer, kReplyCount); });
        unknown = master.unknownBytes();
    }
    Print("Stop (0x80)", stop);
    Print("Read reply (0x87, n=4)", reply);
    for (const std::string& m : ui.messages) std::printf("message: %s\n", m.c_str());
    if (unknown) std::printf("peer saw %d unexpected bytes\n", unknown);
    return stop.failures || reply.failures || unknown ? 1 : 0;
}
