// The simulated master served on a pseudo-terminal: what a host that opens
// the device sees.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "sim/SimCore.h"
#include "sim/SimMaster.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// The host's end: the device opened raw.
class HostLine {
public:
    explicit HostLine(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        struct termios t;
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~HostLine() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    bool send(const Bytes& b) { return ::write(fd_, b.data(), b.size()) == ssize_t(b.size()); }
    // Up to count bytes within timeoutMs; stops early on end of file.
    Bytes receive(size_t count, int timeoutMs, bool* hungUp = nullptr) {
        Bytes out;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (left <= 0) break;
            struct pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) break;
            uint8_t buf[256];
            ssize_t r = ::read(fd_, buf, std::min(sizeof buf, count - out.size()));
            if (r <= 0) {
                if (hungUp) *hungUp = true;
                break;
            }
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }

private:
    int fd_ = -1;
};

SimOptions Immediate() {
    SimOptions o;
    o.paceBaud = 0;
    return o;
}

TEST(SimPty, ServesTheHostProtocolOnTheDevice) {
    SimMaster sim(Immediate());
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    ASSERT_EQ(sim.devicePath().compare(0, 5, "/dev/"), 0);
    HostLine host(sim.devicePath());
    ASSERT_TRUE(host.ok());
    // The power-up "#" went out before anybody listened.
    EXPECT_EQ(host.receive(1, 50), Bytes{});
    ASSERT_TRUE(host.send({0x80}));
    EXPECT_EQ(host.receive(6, 1000), (Bytes{0x80, 4, 0, 0, 2, 0}));
    ASSERT_TRUE(host.send({0x88}));
    EXPECT_EQ(host.receive(2, 1000), (Bytes{0x88, 2}));
    ASSERT_TRUE(host.send({0x8F}));
    EXPECT_EQ(host.receive(1, 1000), Bytes{'#'});
}

TEST(SimPty, KeysAndStateAreVisibleThroughWithCore) {
    SimOptions o = Immediate();
    o.moduleTypes = {3};
    SimMaster sim(o);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    HostLine host(sim.devicePath());
    ASSERT_TRUE(host.send({'a', 0x88}));
    ASSERT_EQ(host.receive(2, 1000).size(), 2u);
    int key = -2, count = -1;
    sim.withCore([&](sim::SimCore& core) {
        key = core.key();
        count = core.moduleCount();
    });
    EXPECT_EQ(key, 'a');
    EXPECT_EQ(count, 1);
}

TEST(SimPty, BytesSentWhileNoHostListensAreLost) {
    SimMaster sim(Immediate());
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    {
        HostLine host(sim.devicePath());
        ASSERT_TRUE(host.send({0x80}));
        ASSERT_EQ(host.receive(6, 1000).size(), 6u);
    }
    // A restart while the port is closed: its "#" reaches nobody.
    sim.withCore([](sim::SimCore& core) { core.receive(0x8F, core.now()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    HostLine again(sim.devicePath());
    EXPECT_EQ(again.receive(1, 100), Bytes{});
    ASSERT_TRUE(again.send({0x88}));
    EXPECT_EQ(again.receive(2, 1000), (Bytes{0x88, 2}));
}

TEST(SimPty, PacedBytesLeaveNoSoonerThanTheirWireTime) {
    SimOptions o;
    o.paceBaud = 9600;   // 1.04 ms a byte
    SimMaster sim(o);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    HostLine host(sim.devicePath());
    auto start = Clock::now();
    ASSERT_TRUE(host.send({0x84, 0x00, 0x00, 0x10}));
    Bytes r = host.receive(18, 2000);
    auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    ASSERT_EQ(r.size(), 18u);
    // Four bytes in, then the block and its sum out, each 10 bits at 9600
    // baud (the acknowledge leaves while the arguments still come in).
    EXPECT_GE(elapsed, (4 + 17) * 1041);
}

TEST(SimPty, HangupFaultClosesTheLine) {
    SimOptions o = Immediate();
    o.faults.hangupAt = 2;
    SimMaster sim(o);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    HostLine host(sim.devicePath());
    ASSERT_TRUE(host.send({0x88}));
    EXPECT_EQ(host.receive(2, 1000).size(), 2u);
    ASSERT_TRUE(host.send({0x88}));
    bool hungUp = false;
    EXPECT_EQ(host.receive(2, 1000, &hungUp), Bytes{});
    EXPECT_TRUE(hungUp);
    EXPECT_TRUE(sim.hungUp());
}

TEST(SimPty, StartRefusesBadOptionsAndASecondStart) {
    SimOptions bad;
    bad.moduleTypes.assign(40, 0);
    SimMaster refused(bad);
    std::string error;
    EXPECT_FALSE(refused.start(error));
    EXPECT_NE(error.find("31"), std::string::npos);

    SimMaster sim(Immediate());
    ASSERT_TRUE(sim.start(error)) << error;
    error.clear();
    EXPECT_FALSE(sim.start(error));
    EXPECT_FALSE(error.empty());
    sim.stop();
    sim.stop();
}

}  // namespace
