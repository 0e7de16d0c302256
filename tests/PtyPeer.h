#pragma once
// The far end of a serial line for tests and benchmarks: a pseudo-terminal
// pair in raw mode.  The code under test opens slavePath() as its port; the
// test reads and writes the master side.  A slave descriptor is held for the
// peer's life so that master-side reads never fail between the port's opens.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyPeer {
public:
    PtyPeer() {
        if (!start()) close();
    }
    ~PtyPeer() { close(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    // The held slave descriptor: for reading the line setting the port applied.
    int slaveFd() const { return slave_; }

    // Writes all bytes to the port's input; false on failure.
    bool send(const std::vector<uint8_t>& bytes) { return send(bytes.data(), bytes.size()); }
    bool send(const uint8_t* data, size_t count) {
        size_t done = 0;
        while (done < count) {
            ssize_t r = ::write(master_, data + done, count - done);
            if (r > 0) {
                done += size_t(r);
            } else if (r < 0 && errno == EINTR) {
                continue;
            } else {
                return false;
            }
        }
        return true;
    }

    // Reads up to count bytes the port wrote, waiting at most timeoutMs for
    // all of them; returns those that arrived.
    std::vector<uint8_t> receive(size_t count, int timeoutMs) {
        std::vector<uint8_t> out;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            struct pollfd p = {master_, POLLIN, 0};
            int pr = poll(&p, 1, int(left));
            if (pr < 0 && errno == EINTR) continue;
            if (pr <= 0 || !(p.revents & POLLIN)) break;
            uint8_t buf[256];
            size_t want = count - out.size() < sizeof buf ? count - out.size() : sizeof buf;
            ssize_t r = ::read(master_, buf, want);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }

    // The far end goes away: the port sees the line hang up.
    void hangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    bool start() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) return false;
        slavePath_ = name;
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        return slave_ >= 0 && makeRaw(master_) && makeRaw(slave_);
    }
    static bool makeRaw(int fd) {
        struct termios t;
        if (tcgetattr(fd, &t) != 0) return false;
        cfmakeraw(&t);
        return tcsetattr(fd, TCSANOW, &t) == 0;
    }
    void close() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
        slave_ = master_ = -1;
    }

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
