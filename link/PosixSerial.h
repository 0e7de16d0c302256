#pragma once
// A serial device on POSIX termios: raw 8N1, no flow control, DTR and RTS
// held off, opened exclusively, with reads and writes bounded by the link's
// time-out rules (read: 100 + 2 ms per byte; write: 50 + 2 ms per byte).

#include <termios.h>

#include <memory>
#include <string>

#include "link/SerialLink.h"

class PosixSerial : public SerialLink {
public:
    // Opens path for reading and writing without making it the controlling
    // terminal, non-blocking, exclusively (TIOCEXCL and an advisory flock).
    // On failure returns null and sets error to a text saying why.
    static std::unique_ptr<PosixSerial> open(const std::string& path, std::string& error);

    // Restores the device's earlier settings and closes it.
    ~PosixSerial() override;
    PosixSerial(const PosixSerial&) = delete;
    PosixSerial& operator=(const PosixSerial&) = delete;

    // Applies the line setting at baud (one of the supported rates).  False
    // when the device refused it (errno tells why); the port stays open.
    bool configure(int baud);

    bool write(const uint8_t* data, int count) override;
    int read(uint8_t* buffer, int count) override;
    int waiting() override;
    bool discardInput() override;
    PortProblem problem() const override { return problem_; }

    // -1 once the device is gone.
    int fd() const { return fd_; }
    // True once the device has hung up (disappeared or peer closed).
    bool hungUp() const { return hungUp_; }

private:
    explicit PosixSerial(int fd) : fd_(fd) {}
    // The device is gone: its descriptor is closed at once, so that the
    // system can give the same name to the device when it is plugged in again.
    void gone(int err);
    void failed(int err) { problem_ = {PortFault::Failed, err}; }

    int fd_ = -1;
    bool haveSaved_ = false;
    struct termios saved_ {};
    bool hungUp_ = false;
    PortProblem problem_;
};

// The rates the port supports: 9600, 19200, 38400, 57600, 115200.
bool IsSupportedBaud(int baud);

// The reason an open of path failed with errno err, as shown to the user of
// the command-line tool.
std::string DescribeOpenError(const std::string& path, int err);
