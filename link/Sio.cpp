#include "link/Sio.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "isa/Format.h"
#include "link/LinkState.h"
#include "link/LinkLog.h"
#include "link/PosixSerial.h"

// Longest device path taken from the command line (PATH_MAX).
static constexpr std::string::size_type kMaxDevicePath = 4096;

namespace {

// "COM1" .. "COM6", with or without the colon, any case → 0 .. 5; else -1.
int ComIndex(const std::string& name) {
    if (name.size() < 4 || name.size() > 5) return -1;
    if (std::toupper(uint8_t(name[0])) != 'C' || std::toupper(uint8_t(name[1])) != 'O' ||
        std::toupper(uint8_t(name[2])) != 'M')
        return -1;
    if (name[3] < '1' || name[3] > '6') return -1;
    if (name.size() == 5 && name[4] != ':') return -1;
    return name[3] - '1';
}

// The device behind a port name: a COM name through the port map, a name
// starting with "/" as it is.  "" = none.
std::string DeviceForName(const LinkState& s, const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    int index = ComIndex(name);
    return index < 0 ? "" : s.portDevice[index];
}

// "ttyUSB12" with prefix "ttyUSB" → "12"; "" when the rest is not all digits.
std::string NumberAfter(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return "";
    std::string rest = name.substr(prefix.size());
    for (char c : rest)
        if (c < '0' || c > '9') return "";
    return rest;
}

// Compares decimal digit strings by value without converting them, so that
// no length of name can overflow.
bool NumberLess(const std::string& a, const std::string& b) {
    std::string::size_type za = a.find_first_not_of('0'), zb = b.find_first_not_of('0');
    std::string va = za == std::string::npos ? "" : a.substr(za);
    std::string vb = zb == std::string::npos ? "" : b.substr(zb);
    if (va.size() != vb.size()) return va.size() < vb.size();
    if (va != vb) return va < vb;
    return a < b;
}

// A ttyS node exists for every legacy port the kernel reserves; the driver
// reports type 0 for those without a UART behind them.
bool LegacyPortPresent(const std::string& name) {
    std::ifstream in("/sys/class/tty/" + name + "/type");
    int type = -1;
    if (!(in >> type)) return true;  // unknown: keep it
    return type != 0;
}

// The device and inode of the file at path (followed through links); false
// when there is none.
bool FileIdAt(const std::string& path, uint64_t (&id)[2]) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    id[0] = uint64_t(st.st_dev);
    id[1] = uint64_t(st.st_ino);
    return true;
}

// A port opened at device: remembered for the watch on its return.
void Opened(LinkState& s, const std::string& device) {
    s.openDevice = device;
    if (!FileIdAt(device, s.openDeviceId)) s.openDeviceId[0] = s.openDeviceId[1] = 0;
    s.portLoss = PortLoss();
}

// The problem of the open port (none without one).
PortProblem Problem(const LinkState& s) { return s.port ? s.port->problem() : PortProblem(); }

// After an operation: notices the first time the port's device is gone,
// records it in the link log (a write's bytes with it) and tells the host.
// True while the device is gone.
bool NoticeGone(LinkState& s, const uint8_t* data, int count, bool logAlways) {
    if (Problem(s).fault != PortFault::Gone) return false;
    const bool first = !s.portLoss.gone;
    if (s.linkLog && (first || logAlways)) s.linkLog->lost(data, count);
    if (first) {
        s.portLoss.gone = true;
        s.host->portGone();
    }
    return true;
}

// Shows a message of the port layer: with what the port found, the first
// time after its device went, or whenever an operation failed otherwise.
void Tell(LinkState& s, const std::string& text) {
    const PortProblem p = Problem(s);
    const bool untold = p.fault == PortFault::Failed || (p.fault == PortFault::Gone && !s.portLoss.told);
    if (!untold) {
        s.host->message(text);
        return;
    }
    if (p.fault == PortFault::Gone) s.portLoss.told = true;
    s.host->portMessage(text, p);
}

}  // namespace

void SioMessage(LinkState& s, const std::string& text) { Tell(s, text); }

std::unique_ptr<SerialLink> SioOpen(LinkState& s, const std::string& portName, int baud) {
    std::string device = DeviceForName(s, portName);
    std::string error;
    std::unique_ptr<PosixSerial> port;
    if (!device.empty()) port = PosixSerial::open(device, error);
    if (!port) {
        s.host->message(portName + " failed to open");  // "%s failed to open", any length
        return nullptr;
    }
    if (!IsSupportedBaud(baud)) {
        s.host->message("Baud rate not supported - using default of 19200");
        baud = 19200;
    }
    if (!port->configure(baud)) s.host->message("Failed to set COMM configuration");
    Opened(s, device);
    return port;
}

std::vector<std::string> OrderPortDevices(const std::vector<std::string>& names) {
    static const char* const kGroups[] = {"ttyUSB", "ttyACM", "ttyS"};
    std::vector<std::string> out;
    for (const char* prefix : kGroups) {
        std::vector<std::pair<std::string, std::string>> group;  // number, name
        for (const std::string& n : names) {
            std::string number = NumberAfter(n, prefix);
            if (!number.empty()) group.emplace_back(number, n);
        }
        std::sort(group.begin(), group.end(),
                  [](const auto& a, const auto& b) { return NumberLess(a.first, b.first); });
        group.erase(std::unique(group.begin(), group.end()), group.end());
        for (const auto& g : group) out.push_back("/dev/" + g.second);
    }
    return out;
}

void DefaultPortMap(std::string (&device)[6]) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/dev", ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.compare(0, 4, "ttyS") == 0 && !LegacyPortPresent(name)) continue;
        names.push_back(name);
    }
    std::vector<std::string> ordered = OrderPortDevices(names);
    for (size_t i = 0; i < 6; ++i) device[i] = i < ordered.size() ? ordered[i] : "";
}

bool ParsePortOption(const std::string& arg, std::string (&device)[6], std::string& error) {
    std::string::size_type eq = arg.find('=');
    if (eq == std::string::npos) {
        error = "--port " + arg + ": expected COMn=/dev/device with n from 1 to 6";
        return false;
    }
    std::string com = arg.substr(0, eq), path = arg.substr(eq + 1);
    int index = ComIndex(com);
    if (index < 0) {
        error = "--port " + arg + ": unknown port \"" + com + "\" (use COM1 to COM6)";
        return false;
    }
    if (path.empty() || path[0] != '/') {
        error = "--port " + arg + ": the device must be a path starting with /";
        return false;
    }
    if (path.size() >= kMaxDevicePath || path.find('\0') != std::string::npos) {
        error = "--port: device path too long or malformed";
        return false;
    }
    device[index] = path;
    return true;
}

std::unique_ptr<SerialLink> OpenSerialDevice(const std::string& path, int baud, std::string& error) {
    if (!IsSupportedBaud(baud)) {
        error = Format("baud rate %d not supported (use 9600, 19200, 38400, 57600 or 115200)", baud);
        return nullptr;
    }
    std::unique_ptr<PosixSerial> port = PosixSerial::open(path, error);
    if (!port) return nullptr;
    if (!port->configure(baud)) {
        error = path + ": the line setting was refused (" + std::strerror(errno) + ")";
        return nullptr;
    }
    return port;
}

bool SioPutChars(LinkState& s, const uint8_t* data, int count) {
    if (!s.port) {
        s.host->message("SioPutChars failed");
        return false;
    }
    if (!s.port->write(data, count)) {
        // Every write that the lost device refuses is in the log.
        NoticeGone(s, data, count, true);
        Tell(s, "SioPutChars failed");
        return false;
    }
    if (s.linkLog) s.linkLog->sent(data, count);
    return true;
}

int SioGetChars(LinkState& s, uint8_t* buffer, int count) {
    if (!s.port || count <= 0) return 0;
    const int got = s.port->read(buffer, count);
    if (s.linkLog && got > 0) s.linkLog->received(buffer, got);
    if (got < count && !NoticeGone(s, nullptr, 0, true) && s.linkLog) s.linkLog->readShort();
    return got;
}

int SioTest(LinkState& s) {
    if (!s.port) return 0;
    int n = s.port->waiting();
    NoticeGone(s, nullptr, 0, false);
    if (n < 0) {
        Tell(s, "SioTest failed");
        return 0;
    }
    return n;
}

bool SioClrInbuf(LinkState& s) {
    if (!s.port) {
        s.host->message("SioClrInbuf failed");
        return false;
    }
    // With a log, what is thrown away is read first, so that the log shows
    // it: what is waiting now, bounded so that a master that never stops
    // sending cannot hold the purge (the rest goes unread, as without a log).
    if (s.linkLog) {
        uint8_t chunk[256];
        int budget = 1 << 16;
        for (int n; budget > 0 && (n = s.port->waiting()) > 0; ) {
            if (n > budget) n = budget;
            const int got = s.port->read(chunk, n < int(sizeof chunk) ? n : int(sizeof chunk));
            if (got <= 0) break;
            budget -= got;
            s.linkLog->discarded(chunk, got);
        }
    }
    const bool ok = s.port->discardInput();
    NoticeGone(s, nullptr, 0, false);
    if (!ok) {
        Tell(s, "SioClrInbuf failed");
        return false;
    }
    return true;
}

void SioClose(LinkState& s) {
    s.port.reset();
    s.openDevice.clear();
    s.portLoss = PortLoss();
}

bool SioWatchLostPort(LinkState& s) {
    if (!s.port || !s.portLoss.gone) return false;
    uint64_t id[2];
    if (!FileIdAt(s.openDevice, id)) {
        s.portLoss.sawAbsent = true;
        s.portLoss.back = false;
        return false;
    }
    // The same path again, after it was missing or now naming another file.
    const bool other = id[0] != s.openDeviceId[0] || id[1] != s.openDeviceId[1];
    s.portLoss.back = s.portLoss.sawAbsent || other;
    return s.portLoss.back;
}

bool SioReopen(LinkState& s, std::string& error) {
    if (!s.port || !s.portLoss.gone || s.openDevice.empty()) {
        error = "no lost port";
        return false;
    }
    const std::string device = s.openDevice;
    std::unique_ptr<SerialLink> port = OpenSerialDevice(device, 19200, error);
    if (!port) return false;
    s.port = std::move(port);
    Opened(s, device);
    return true;
}
