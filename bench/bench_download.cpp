// Host time per block of Load and Verify over the real port code: a
// full-size program image (16368 bytes, 1023 blocks) written and read back
// against a peer thread that answers at once on a pseudo-terminal.  Wall time
// includes the peer's wake-ups; thread CPU time is the host's own work (port
// layer, block building, comparison).
//
//   bench_download [rounds]      (default 5 rounds of Load and Verify)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "app/DownloadButtons.h"
#include "app/Lifecycle.h"
#include "bench/BenchPeer.h"
#include "link/ProtocolBytes.h"
#include "app/Editing.h"

namespace {

// Answers Write block and Read block as soon as their last byte has arrived,
// keeping the written blocks in its own memory.
class ImmediateMaster {
public:
    explicit ImmediateMaster(PtyPeer& peer) : peer_(peer), thread_(peer, [this](uint8_t b) { take(b); }) {}
    int badBytes() const { return bad_; }
    const uint8_t* memory() const { return memory_; }

private:
    void take(uint8_t b) {
        if (need_ == 0) {
            command_ = b;
            have_ = 0;
            if (b == kCmdWriteBlock) need_ = 20;
            else if (b == kCmdReadBlock) need_ = 3;
            else {
                ++bad_;
                return;
            }
            peer_.send({0x06});
            return;
        }
        args_[have_++] = b;
        if (have_ < need_) return;
        need_ = 0;
        int offset = args_[0] | (args_[1] << 8);
        if (offset > kImageSize - 16) {
            ++bad_;
            offset = 0;
        }
        if (command_ == kCmdWriteBlock) {
            bool ok = ProtocolSum(args_, 19) == args_[19];
            if (ok) std::memcpy(memory_ + offset, args_ + 3, 16);
            peer_.send({ok ? kAccepted : kRejected});
        } else {
            std::vector<uint8_t> reply(memory_ + offset, memory_ + offset + 16);
            reply.push_back(0x00);
            peer_.send(reply);
        }
    }

    PtyPeer& peer_;
    uint8_t command_ = 0;
    uint8_t args_[20] = {};
    int have_ = 0, need_ = 0;
    std::atomic<int> bad_{0};
    uint8_t memory_[kImageSize] = {};
    PeerThread thread_;   // last: starts once the state above is ready
};

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
    const int rounds = CountArgument(argc, argv, 5, 1000, "rounds");
    if (rounds < 0) return 2;

    PeerSession link;
    MainState& s = *link.s;
    StartTimerTimer(s);
    if (!link.open()) return 1;
    FillFullProgram(s);

    std::vector<Sample> load, verify;
    int failures = 0, bad = 0;
    {
        ImmediateMaster master(link.peer);
        for (int r = 0; r < rounds; ++r) {
            link.ui.messages.clear();
            load.push_back(Time([&] { DownloadButtonClick(s); }));
            verify.push_back(Time([&] { VerifyButtonClick(s); }));
            if (link.ui.messages !=
                std::vector<std::string>{"Download complete", "Loaded program matches program listing."})
                ++failures;
        }
        if (std::memcmp(master.memory(), s.programImage, s.imageLength) != 0) ++failures;
        bad = master.badBytes();
    }
    const int blocks = (s.imageLength + 15) / 16;
    std::printf("image %d bytes\n", int(s.imageLength));
    Print("Load", load, blocks);
    Print("Verify", verify, blocks);
    link.report(bad);
    if (failures) std::printf("%d rounds failed\n", failures);
    return failures || bad ? 1 : 0;
}
