// Host time per block of Load and Verify over the real port code: a
// full-size program image (16368 bytes, 1023 blocks) written and read back
// against a peer thread that answers at once on a pseudo-terminal.  Wall time
// includes the peer's wake-ups; thread CPU time is the host's own work (port
// layer, block building, comparison).
//
//   bench_download [rounds]      (default 5 rounds of Load and Verify)

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PtyPeer.h"
#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "link/Download.h"
#include "link/Sio.h"
#include "program/LineStore.h"

namespace {

// Answers Write block and Read block as soon as their last byte has arrived,
// keeping the written blocks in its own memory.
class ImmediateMaster {
public:
    explicit ImmediateMaster(PtyPeer& peer) : peer_(peer), thread_([this] { run(); }) {}
    ~ImmediateMaster() {
        stop_ = true;
        thread_.join();
    }
    int badBytes() const { return bad_; }
    const uint8_t* memory() const { return memory_; }

private:
    void run() {
        uint8_t command = 0;
        uint8_t args[20];
        int have = 0, need = 0;
        uint8_t buf[512];
        while (!stop_) {
            struct pollfd p = {peer_.masterFd(), POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            if (!(p.revents & POLLIN)) break;
            ssize_t n = ::read(peer_.masterFd(), buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) {
                uint8_t b = buf[i];
                if (need == 0) {
                    command = b;
                    have = 0;
                    if (b == 0x83) need = 20;
                    else if (b == 0x84) need = 3;
                    else {
                        ++bad_;
                        continue;
                    }
                    peer_.send({0x06});
                    continue;
                }
                args[have++] = b;
                if (have < need) continue;
                need = 0;
                int offset = args[0] | (args[1] << 8);
                if (offset > kImageSize - 16) {
                    ++bad_;
                    offset = 0;
                }
                if (command == 0x83) {
                    unsigned sum = 0;
                    for (int k = 0; k < 19; ++k) sum += args[k];
                    bool ok = uint8_t(sum) == args[19];
                    if (ok) std::memcpy(memory_ + offset, args + 3, 16);
                    peer_.send({uint8_t(ok ? 0x00 : 0xCC)});
                } else {
                    std::vector<uint8_t> reply(memory_ + offset, memory_ + offset + 16);
                    reply.push_back(0x00);
                    peer_.send(reply);
                }
            }
        }
    }

    PtyPeer& peer_;
    std::atomic<bool> stop_{false};
    std::atomic<int> bad_{0};
    uint8_t memory_[kImageSize] = {};
    std::thread thread_;
};

double ThreadCpuUs() {
    struct timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// The largest image assembly accepts: the last line starts at 16344 and ends
// at 16367, so 16368 bytes with the length header.
void FillFullProgram(MainState& s) {
    auto line = [](int length, int seed) {
        ProgramLine l;
        std::memset(&l, 0, sizeof l);
        l.bytes[0] = 0xBB;
        l.bytes[1] = uint8_t(length - 3);
        l.bytes[2] = 5;
        for (int i = 3; i < length; ++i) l.bytes[i] = uint8_t(seed * 7 + i);
        l.length = uint8_t(length);
        l.commandCode = 5;
        return l;
    };
    s.lineCount = 0;
    for (int i = 0; i < 680; ++i) s.lines[s.lineCount++] = line(24, i);
    s.lines[s.lineCount++] = line(22, 680);
    s.lines[s.lineCount++] = line(24, 681);
    RebuildListing(s);
}

struct Sample {
    double wallUs, cpuUs;
};

template <class Action>
Sample Time(Action action) {
    auto start = std::chrono::steady_clock::now();
    double cpu = ThreadCpuUs();
    action();
    double cpuUs = ThreadCpuUs() - cpu;
    auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::micro>(end - start).count(), cpuUs};
}

void Print(const char* name, std::vector<Sample> samples, int blocks) {
    std::vector<double> wall, cpu;
    for (const Sample& s : samples) {
        wall.push_back(s.wallUs / 1000.0 / blocks);
        cpu.push_back(s.cpuUs / 1000.0 / blocks);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-7s %4d blocks x %zu rounds  per block: host CPU median %.4f ms (max %.4f)  wall median %.4f ms "
                "(max %.4f)\n",
                name, blocks, samples.size(), cpu[cpu.size() / 2], cpu.back(), wall[wall.size() / 2], wall.back());
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    if (argc > 1) {
        char* end = nullptr;
        long v = std::strtol(argv[1], &end, 10);
        if (!end || *end != '\0' || v < 1 || v > 1000) {
            std::fprintf(stderr, "usage: %s [rounds 1..1000]\n", argv[0]);
            return 2;
        }
        rounds = int(v);
    }

    PtyPeer peer;
    if (!peer.ok()) {
        std::fprintf(stderr, "no pseudo-terminal available\n");
        return 1;
    }
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    StartTimerTimer(*s);
    s->port = SioOpen(*s, peer.slavePath(), 19200);
    if (!s->port) {
        std::fprintf(stderr, "%s\n", ui.messages.empty() ? "open failed" : ui.messages.back().c_str());
        return 1;
    }
    s->online = true;  // a missing reply then shows up as a message
    FillFullProgram(*s);

    std::vector<Sample> load, verify;
    int failures = 0, bad = 0;
    {
        ImmediateMaster master(peer);
        for (int r = 0; r < rounds; ++r) {
            ui.messages.clear();
            load.push_back(Time([&] { DownloadButtonClick(*s); }));
            verify.push_back(Time([&] { VerifyButtonClick(*s); }));
            if (ui.messages != std::vector<std::string>{"Download complete", "Loaded program matches program listing."})
                ++failures;
        }
        if (std::memcmp(master.memory(), s->programImage, s->imageLength) != 0) ++failures;
        bad = master.badBytes();
    }
    const int blocks = (s->imageLength + 15) / 16;
    std::printf("image %d bytes\n", int(s->imageLength));
    Print("Load", load, blocks);
    Print("Verify", verify, blocks);
    for (const std::string& m : ui.messages) std::printf("message: %s\n", m.c_str());
    if (bad) std::printf("peer saw %d unexpected bytes\n", bad);
    if (failures) std::printf("%d rounds failed\n", failures);
    return failures || bad ? 1 : 0;
}
