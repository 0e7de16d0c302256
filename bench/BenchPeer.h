#pragma once
// What the link benchmarks share: the command-line count they take, the port
// opened on a pseudo-terminal, and a peer thread on its far end that hands
// every byte the port writes to a handler as soon as it arrives.

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "PtyPeer.h"
#include "TestPlatform.h"
#include "app/MainState.h"
#include "link/Sio.h"

// The optional first argument: a whole number from 1 to max, else
// fallback.  -1 after printing the usage line.
inline int CountArgument(int argc, char** argv, int fallback, long max, const char* what) {
    if (argc <= 1) return fallback;
    char* end = nullptr;
    long v = std::strtol(argv[1], &end, 10);
    if (!end || *end != '\0' || v < 1 || v > max) {
        std::fprintf(stderr, "usage: %s [%s 1..%ld]\n", argv[0], what, max);
        return -1;
    }
    return int(v);
}

// A main state and the pseudo-terminal its port is opened on.
struct PeerSession {
    PtyPeer peer;
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);

    // Opens the port at 19200 baud, on line so that a missing reply shows up
    // as a message.  false after printing why not.
    bool open() {
        if (!peer.ok()) {
            std::fprintf(stderr, "no pseudo-terminal available\n");
            return false;
        }
        s->port = SioOpen(*s, peer.slavePath(), 19200);
        if (!s->port) {
            std::fprintf(stderr, "%s\n", ui.messages.empty() ? "open failed" : ui.messages.back().c_str());
            return false;
        }
        s->online = true;
        return true;
    }

    // Prints the messages shown and the bytes the peer did not expect.
    void report(int unexpected) const {
        for (const std::string& m : ui.messages) std::printf("message: %s\n", m.c_str());
        if (unexpected) std::printf("peer saw %d unexpected bytes\n", unexpected);
    }
};

// Reads what the port writes on the peer's side and calls onByte for each
// byte, until destroyed or the line goes away.
class PeerThread {
public:
    PeerThread(PtyPeer& peer, std::function<void(uint8_t)> onByte)
        : peer_(peer), onByte_(std::move(onByte)), thread_([this] { run(); }) {}
    ~PeerThread() {
        stop_ = true;
        thread_.join();
    }
    PeerThread(const PeerThread&) = delete;
    PeerThread& operator=(const PeerThread&) = delete;

private:
    void run() {
        uint8_t buf[512];
        while (!stop_) {
            struct pollfd p = {peer_.masterFd(), POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            if (!(p.revents & POLLIN)) break;
            ssize_t n = ::read(peer_.masterFd(), buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) onByte_(buf[i]);
        }
    }

    PtyPeer& peer_;
    std::function<void(uint8_t)> onByte_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
