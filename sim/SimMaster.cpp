// Serves the simulated master on the master side of a pseudo-terminal: bytes
// the host writes reach the master after their wire time, and the master's
// bytes leave one wire time apart, as on a real serial line.  Bytes the
// master sends while no host has the line open are lost, as on a cable with
// nobody listening.

#include "sim/SimMaster.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "sim/SimCore.h"

namespace {

using sim::Micros;
using Clock = std::chrono::steady_clock;

constexpr Micros kIdleWakeMicros = 50000;      // look around at least this often
constexpr Micros kNoHostWakeMicros = 10000;    // how often an absent host is looked for
constexpr Micros kSliceMicros = 1000;          // shortest time slice of a running program

struct Timed {
    uint8_t byte;
    Micros at;
};

}  // namespace

struct SimMaster::Impl {
    SimOptions options;
    std::mutex mutex;
    std::unique_ptr<sim::SimCore> core;
    int master = -1;
    int wake[2] = {-1, -1};
    std::string path;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> hungUp{false};
    Clock::time_point epoch;

    Micros now() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - epoch).count();
    }
    // Wire time of one byte (10 bits), 0 when not paced.
    Micros byteMicros() const {
        return options.paceBaud > 0 ? (Micros(10) * 1000000 + options.paceBaud - 1) / options.paceBaud : 0;
    }
    bool hostPresent() const {
        struct pollfd p = {master, 0, 0};
        return poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
    }
    void serve();
    void closeAll();
};

SimMaster::SimMaster(SimOptions options) : impl_(std::make_unique<Impl>()) { impl_->options = std::move(options); }

SimMaster::~SimMaster() { stop(); }

std::string SimMaster::devicePath() const { return impl_->path; }

bool SimMaster::hungUp() const { return impl_->hungUp; }

void SimMaster::withCore(const std::function<void(sim::SimCore&)>& f) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (!impl_->core) return;
    // Brought up to the present first, so that f sees the motion so far.
    impl_->core->advance(impl_->now());
    f(*impl_->core);
}

bool SimMaster::start(std::string& error) {
    Impl& d = *impl_;
    if (d.thread.joinable()) {
        error = "the simulated master is already running";
        return false;
    }
    if (!ValidateSimOptions(d.options, error)) return false;
    d.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d.master < 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (grantpt(d.master) != 0 || unlockpt(d.master) != 0 || ptsname_r(d.master, name, sizeof name) != 0) {
        error = std::string("cannot set up the pseudo-terminal: ") + std::strerror(errno);
        d.closeAll();
        return false;
    }
    d.path = name;
    // The device starts raw (no echo, no line editing, no translation), and
    // is closed again so that the master side can tell when a host has it open.
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct termios t;
    if (slave < 0 || tcgetattr(slave, &t) != 0) {
        error = d.path + ": " + std::strerror(errno);
        if (slave >= 0) ::close(slave);
        d.closeAll();
        return false;
    }
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    int flags = fcntl(d.master, F_GETFL);
    if (flags < 0 || fcntl(d.master, F_SETFL, flags | O_NONBLOCK) != 0 || pipe2(d.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot set up the simulated master: ") + std::strerror(errno);
        d.closeAll();
        return false;
    }
    d.epoch = Clock::now();
    d.core = std::make_unique<sim::SimCore>(d.options);
    // Power-up: its "#" goes out while nobody listens yet.
    d.core->powerUp(0);
    d.core->takeOutput();
    d.stopping = false;
    d.hungUp = false;
    d.thread = std::thread([&d] { d.serve(); });
    return true;
}

void SimMaster::stop() {
    Impl& d = *impl_;
    if (d.thread.joinable()) {
        d.stopping = true;
        uint8_t b = 1;
        ssize_t unused = ::write(d.wake[1], &b, 1);
        (void)unused;
        d.thread.join();
    }
    d.closeAll();
}

void SimMaster::Impl::closeAll() {
    if (master >= 0) ::close(master);
    master = -1;
    for (int& fd : wake) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void SimMaster::Impl::serve() {
    const Micros wire = byteMicros();
    std::deque<Timed> rx, tx;  // bytes on their way in and out, with their times
    Micros rxFree = 0, txFree = 0;
    bool writeBlocked = false;

    while (!stopping) {
        Micros t = now();
        bool present = hostPresent();

        // Bytes from the host, each arriving one wire time after the one before.
        uint8_t buf[256];
        for (;;) {
            ssize_t r = ::read(master, buf, sizeof buf);
            if (r > 0) {
                for (ssize_t i = 0; i < r; ++i) {
                    Micros at = wire > 0 ? std::max(t, rxFree) + wire : t;
                    rxFree = at;
                    rx.push_back({buf[i], at});
                }
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            break;
        }

        bool hung = false;
        Micros coreWake = sim::kNever;
        {
            std::lock_guard<std::mutex> lock(mutex);
            while (!rx.empty() && rx.front().at <= t) {
                core->receive(rx.front().byte, rx.front().at);
                rx.pop_front();
            }
            core->advance(t);
            for (const auto& o : core->takeOutput()) {
                Micros at = wire > 0 ? std::max(o.notBefore, txFree) + wire : o.notBefore;
                txFree = at;
                tx.push_back({o.byte, at});
            }
            hung = core->hungUp();
            // A running program is served in slices of at least a millisecond.
            coreWake = core->nextWake();
            if (coreWake != sim::kNever) coreWake = std::max(coreWake, t + kSliceMicros);
        }
        if (hung) {
            // The line goes dead: the host's port sees it hang up.
            hungUp = true;
            ::close(master);
            master = -1;
            struct pollfd p = {wake[0], POLLIN, 0};
            while (!stopping) poll(&p, 1, 100);
            return;
        }

        // Bytes to the host once their time has come.
        writeBlocked = false;
        uint8_t due[256];
        while (!tx.empty() && tx.front().at <= t) {
            size_t n = 0;
            while (n < sizeof due && n < tx.size() && tx[n].at <= t) {
                due[n] = tx[n].byte;
                ++n;
            }
            if (!present) {
                tx.erase(tx.begin(), tx.begin() + long(n));  // nobody listening
                continue;
            }
            ssize_t w = ::write(master, due, n);
            if (w > 0) {
                tx.erase(tx.begin(), tx.begin() + w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            writeBlocked = true;
            break;
        }

        Micros wakeAt = t + (present ? kIdleWakeMicros : kNoHostWakeMicros);
        if (!rx.empty()) wakeAt = std::min(wakeAt, rx.front().at);
        if (!tx.empty() && !writeBlocked) wakeAt = std::min(wakeAt, tx.front().at);
        wakeAt = std::min(wakeAt, coreWake);
        Micros waitFor = std::max<Micros>(0, wakeAt - now());

        struct pollfd fds[2] = {{present ? master : -1, short(POLLIN | (writeBlocked ? POLLOUT : 0)), 0},
                                {wake[0], POLLIN, 0}};
        struct timespec ts = {time_t(waitFor / 1000000), long(waitFor % 1000000) * 1000};
        ppoll(fds, 2, &ts, nullptr);
        if (fds[1].revents & POLLIN) {
            uint8_t drain[16];
            while (::read(wake[0], drain, sizeof drain) > 0) {
            }
        }
    }
}
