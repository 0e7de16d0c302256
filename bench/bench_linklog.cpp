// The link log's cost: host CPU per block of a download with and without the
// log recording (rounds interleaved, so that both see the same machine), and
// the time to read a log of one million bytes as `stepwright-cli decode`
// does (parse the saved text, group the exchanges).
//
//   bench_linklog [rounds]      (default 9 rounds of each download)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/BenchClock.h"
#include "app/DownloadButtons.h"
#include "app/Lifecycle.h"
#include "bench/BenchPeer.h"
#include "link/LinkLog.h"
#include "link/ProtocolBytes.h"
#include "app/Editing.h"

namespace {

// Answers Write block as soon as its last byte has arrived.
class ImmediateMaster {
public:
    explicit ImmediateMaster(PtyPeer& peer) : peer_(peer), thread_(peer, [this](uint8_t b) { take(b); }) {}
    int badBytes() const { return bad_; }

private:
    void take(uint8_t b) {
        if (need_ == 0) {
            if (b != kCmdWriteBlock) {
                ++bad_;
                return;
            }
            need_ = 20;
            have_ = 0;
            peer_.send({0x06});
            return;
        }
        args_[have_++] = b;
        if (have_ < need_) return;
        need_ = 0;
        peer_.send({ProtocolSum(args_, 19) == args_[19] ? kAccepted : kRejected});
    }

    PtyPeer& peer_;
    uint8_t args_[20] = {};
    int have_ = 0, need_ = 0;
    std::atomic<int> bad_{0};
    PeerThread thread_;   // last: starts once the state above is ready
};

// The largest image: 16368 bytes, 1023 blocks.
void FillFullProgram(MainState& s) {
    s.lineCount = 0;
    for (int i = 0; i < 682; ++i) {
        ProgramLine l;
        std::memset(&l, 0, sizeof l);
        const int length = i == 680 ? 22 : 24;
        l.bytes[0] = 0xBB;
        l.bytes[1] = uint8_t(length - 3);
        l.bytes[2] = 5;
        for (int k = 3; k < length; ++k) l.bytes[k] = uint8_t(i * 7 + k);
        l.length = uint8_t(length);
        l.commandCode = 5;
        s.lines[s.lineCount++] = l;
    }
    RebuildListing(s);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = CountArgument(argc, argv, 9, 1000, "rounds");
    if (rounds < 0) return 2;

    PeerSession link;
    MainState& s = *link.s;
    StartTimerTimer(s);
    if (!link.open()) return 1;
    FillFullProgram(s);
    LinkLog log;

    std::vector<double> plain, logged;
    double writeUs = 0;
    size_t written = 0;
    int failures = 0, bad = 0;
    {
        ImmediateMaster master(link.peer);
        for (int r = 0; r < 2 * rounds; ++r) {
            const bool withLog = r % 2 == 1;
            s.linkLog = withLog ? &log : nullptr;
            link.ui.messages.clear();
            const double cpu = ThreadCpuUs();
            DownloadButtonClick(s);
            (withLog ? logged : plain).push_back(ThreadCpuUs() - cpu);
            if (link.ui.messages != std::vector<std::string>{"Download complete"}) ++failures;
        }
        // The log of one download, recorded into an empty log, written as
        // --log saves it.
        {
            LinkLog one;
            s.linkLog = &one;
            link.ui.messages.clear();
            DownloadButtonClick(s);
            s.linkLog = nullptr;
            if (link.ui.messages != std::vector<std::string>{"Download complete"}) ++failures;
            else link.ui.messages.clear();
            std::vector<double> writes;
            for (int r = 0; r < 9; ++r) {
                const double cpu = ThreadCpuUs();
                LinkRuns runs;
                one.copyRuns(0, runs);
                written = FormatLinkLog(runs, nullptr).size();
                writes.push_back(ThreadCpuUs() - cpu);
            }
            writeUs = Median(writes);
        }
        bad = master.badBytes();
    }
    s.linkLog = nullptr;
    const int blocks = (s.imageLength + 15) / 16;
    const double a = Median(plain) / blocks, b = Median(logged) / blocks;
    std::printf("download %d blocks x %d rounds  host CPU per block: without the log %.2f us, with it %.2f us "
                "(ratio %.3f)\n",
                blocks, rounds, a, b, b / a);

    // The recording alone, free of the machine's noise: a block's four runs
    // (command, acknowledge, arguments, result) appended a million times.
    {
        LinkLog ring;
        uint8_t block[20] = {};
        const uint8_t one = kCmdWriteBlock;
        const int n = 1000000;
        const double cpu = ThreadCpuUs();
        for (int i = 0; i < n; ++i) {
            ring.sent(&one, 1);
            ring.received(&one, 1);
            ring.sent(block, 20);
            ring.received(&one, 1);
        }
        const double perBlock = (ThreadCpuUs() - cpu) / n;
        std::printf("recording a block's four runs: %.3f us (%.2f %% of a block's host CPU without the log)\n",
                    perBlock, 100.0 * perBlock / a);
        // What the log costs a download: every block recorded, and the log
        // written once at the end.
        std::printf("the log of one download written (%zu bytes of text): %.0f us; recording and writing add "
                    "%.2f %% to the download's host CPU (goal at most 2 %%)\n",
                    written, writeUs, 100.0 * (perBlock * blocks + writeUs) / Median(plain));
    }

    // A log of one million bytes: downloads, each block its four runs.
    LinkLog big;
    uint8_t args[20];
    for (uint32_t i = 0; i <= 1000000 / 23; ++i) {
        const uint8_t cmd = kCmdWriteBlock, ack = 0x06, result = kAccepted;
        uint8_t block[16];
        for (int k = 0; k < 16; ++k) block[k] = uint8_t(i + k);
        PutWriteBlockArgs(args, uint16_t((i * 16) % kImageSize), block);
        big.sent(&cmd, 1);
        big.received(&ack, 1);
        big.sent(args, 20);
        big.received(&result, 1);
    }
    LinkRuns runs;
    big.copyRuns(0, runs);
    const std::string text = FormatLinkLog(runs, nullptr);
    std::vector<double> times;
    size_t exchanges = 0;
    for (int r = 0; r < 5; ++r) {
        const auto start = std::chrono::steady_clock::now();
        LinkRuns parsed;
        int32_t types[32];
        if (!ParseLinkLog(text, parsed, types).empty()) ++failures;
        exchanges = DecodeLinkRuns(parsed, types).size();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("decode %zu bytes (%zu bytes of text, %zu exchanges): median %.1f ms\n", runs.bytes.size(),
                text.size(), exchanges, Median(times));

    link.report(bad);
    if (failures) std::printf("%d rounds failed\n", failures);
    return failures || bad ? 1 : 0;
}
