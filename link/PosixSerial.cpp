#include "link/PosixSerial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, rounded up so that a wait never ends
// early; 0 once it has passed.
int MsLeft(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 1000000 ? 1000000 : int(ms);
}

Clock::time_point DeadlineAfter(int64_t ms) { return Clock::now() + std::chrono::milliseconds(ms); }

bool SpeedFor(int baud, speed_t& speed) {
    switch (baud) {
        case 9600: speed = B9600; return true;
        case 19200: speed = B19200; return true;
        case 38400: speed = B38400; return true;
        case 57600: speed = B57600; return true;
        case 115200: speed = B115200; return true;
        default: return false;
    }
}

// Errors that mean the device is gone (unplugged, or the far end of a
// pseudo-terminal closed).
bool IsGoneError(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

}  // namespace

bool IsSupportedBaud(int baud) {
    speed_t unused;
    return SpeedFor(baud, unused);
}

std::string DescribeOpenError(const std::string& path, int err) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return path + ": no such device";
        case EACCES:
        case EPERM:
            return path + ": permission denied (serial ports belong to the group 'dialout': "
                          "add your user with 'sudo usermod -aG dialout $USER' and log in again)";
        case EBUSY:
        case EWOULDBLOCK:
            return path + ": port in use by another program";
        case ENOTTY:
            return path + ": not a serial device";
        default:
            return path + ": " + std::strerror(err);
    }
}

std::unique_ptr<PosixSerial> PosixSerial::open(const std::string& path, std::string& error) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        error = DescribeOpenError(path, ENOENT);
        return nullptr;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = DescribeOpenError(path, errno);
        return nullptr;
    }
    // The advisory lock also keeps out a second instance running with the
    // privilege that TIOCEXCL does not stop.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        error = DescribeOpenError(path, err == EWOULDBLOCK ? EBUSY : err);
        return nullptr;
    }
    std::unique_ptr<PosixSerial> port(new PosixSerial(fd));
    if (tcgetattr(fd, &port->saved_) != 0) {
        error = DescribeOpenError(path, errno);
        return nullptr;
    }
    port->haveSaved_ = true;
    ioctl(fd, TIOCEXCL);
    return port;
}

PosixSerial::~PosixSerial() {
    if (fd_ < 0) return;
    if (haveSaved_ && !hungUp_) {
        // Let the last bytes leave before the old settings (perhaps another
        // rate) come back; bounded, since tcdrain could wait for ever.
        auto deadline = DeadlineAfter(250);
        int queued = 0;
        while (ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 && MsLeft(deadline) > 0)
            poll(nullptr, 0, 2);
        tcsetattr(fd_, TCSANOW, &saved_);
    }
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // also releases the advisory lock
}

void PosixSerial::gone(int err) {
    hungUp_ = true;
    problem_ = {PortFault::Gone, err};
    if (fd_ < 0) return;
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

bool PosixSerial::configure(int baud) {
    speed_t speed;
    if (!SpeedFor(baud, speed)) {
        errno = EINVAL;
        return false;
    }
    struct termios t;
    if (tcgetattr(fd_, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    // Reads wait with poll() against their own deadline, never with VTIME.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) return false;
    // tcsetattr succeeds when any part of the setting was taken: check that
    // the parts that matter were.
    struct termios got;
    if (tcgetattr(fd_, &got) != 0) return false;
    if (cfgetospeed(&got) != speed || (got.c_cflag & CSIZE) != CS8 ||
        (got.c_cflag & (PARENB | CSTOPB | CRTSCTS)) != 0 || (got.c_iflag & (IXON | IXOFF)) != 0) {
        errno = EINVAL;
        return false;
    }
    // DTR and RTS held off; a device without modem lines refuses, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd_, TIOCMBIC, &lines);
#ifdef __linux__
    // Hand received bytes on at once rather than after the driver's timer.
    struct serial_struct ss;
    if (ioctl(fd_, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        ss.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd_, TIOCSSERIAL, &ss);
    }
#endif
    return true;
}

bool PosixSerial::write(const uint8_t* data, int count) {
    if (count <= 0) return count == 0;
    if (hungUp_) return false;
    problem_ = {};
    auto deadline = DeadlineAfter(50 + 2 * int64_t(count));
    int sent = 0;
    while (sent < count) {
        ssize_t r = ::write(fd_, data + sent, size_t(count - sent));
        if (r > 0) {
            sent += int(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int left = MsLeft(deadline);
            if (left == 0) {
                failed(ETIMEDOUT);
                return false;
            }
            struct pollfd p = {fd_, POLLOUT, 0};
            int pr = poll(&p, 1, left);
            if (pr < 0 && errno != EINTR) {
                failed(errno);
                return false;
            }
            if (pr > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
                gone(EIO);
                return false;
            }
            continue;
        }
        const int err = r < 0 ? errno : EIO;
        if (IsGoneError(err))
            gone(err);
        else
            failed(err);
        return false;
    }
    return true;
}

int PosixSerial::read(uint8_t* buffer, int count) {
    if (count <= 0 || hungUp_) return 0;
    problem_ = {};
    auto deadline = DeadlineAfter(100 + 2 * int64_t(count));
    int got = 0;
    while (got < count) {
        ssize_t r = ::read(fd_, buffer + got, size_t(count - got));
        if (r > 0) {
            got += int(r);
            continue;
        }
        if (r == 0) {  // end of file: the device hung up
            gone(EIO);
            break;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            if (IsGoneError(errno))
                gone(errno);
            else
                failed(errno);
            break;
        }
        int left = MsLeft(deadline);
        if (left == 0) break;
        struct pollfd p = {fd_, POLLIN, 0};
        int pr = poll(&p, 1, left);
        if (pr < 0) {
            if (errno == EINTR) continue;
            failed(errno);
            break;
        }
        // With POLLIN set too, the next read takes what is left first.
        if (pr > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLIN)) {
            gone(EIO);
            break;
        }
    }
    return got;
}

namespace {
// A query that failed on a device that has gone is no failure of the query:
// nothing waits in the queue of a device that is not there.
bool DeviceGone(int fd) {
    struct pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL));
}
}  // namespace

int PosixSerial::waiting() {
    if (hungUp_) return 0;
    problem_ = {};
    int n = 0;
    if (ioctl(fd_, FIONREAD, &n) == 0) {
        // A hung-up line reports an empty queue: look once whether the
        // device is still there, so that a lost port is seen while idle too.
        if (n <= 0 && DeviceGone(fd_)) gone(EIO);
        return n < 0 ? 0 : n;
    }
    const int err = errno;
    if (DeviceGone(fd_) || IsGoneError(err)) {
        gone(err);
        return 0;
    }
    failed(err);
    return -1;
}

bool PosixSerial::discardInput() {
    if (hungUp_) return true;
    problem_ = {};
    if (tcflush(fd_, TCIFLUSH) == 0) return true;
    const int err = errno;
    if (DeviceGone(fd_) || IsGoneError(err)) {
        gone(err);
        return true;
    }
    failed(err);
    return false;
}
