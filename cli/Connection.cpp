// The connection to the master: the port (or the simulated master), the tap
// the front end watches it through, and the ways of taking the link on line.

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/MainState.h"
#include "app/PollTimer.h"
#include "cli/Cli.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "app/ModuleDetection.h"
#include "sim/SimMaster.h"

namespace cli {

namespace {

constexpr int kLineBaud = 19200;

// "COM1" .. "COM6" (any case, with or without the colon) → 0 .. 5, else -1.
int ComIndex(const std::string& name) {
    std::string n = name;
    if (!n.empty() && n.back() == ':') n.pop_back();
    if (n.size() != 4) return -1;
    for (int i = 0; i < 3; ++i) n[size_t(i)] = char(std::toupper(uint8_t(n[size_t(i)])));
    if (n.compare(0, 3, "COM") != 0 || n[3] < '1' || n[3] > '6') return -1;
    return n[3] - '1';
}

}  // namespace

std::string PortLabel(const std::string& port) {
    const int index = ComIndex(port);
    return index < 0 ? port : "COM" + std::to_string(index + 1);
}

bool TapLink::write(const uint8_t* data, int count) {
    StopIfInterrupted();
    return inner_->write(data, count);
}

int TapLink::read(uint8_t* buffer, int count) {
    StopIfInterrupted();
    if (drain) drain();
    const int got = inner_->read(buffer, count);
    lastReadComplete = count > 0 && got == count;
    if (got > 0) lastByte = buffer[got - 1];
    return got;
}

int TapLink::waiting() {
    const int n = inner_->waiting();
    // While the terminal is collected, unsolicited bytes are taken one at a
    // time so that each is handed on before the next arrives in the window.
    return drain && n > 1 ? 1 : n;
}

Connection::Connection(Context& c) : c_(c), s_(c.s), ui_(c.ui), options_(c.options) {}

Connection::~Connection() {
    // The port goes before the master it talks to.
    s_.port.reset();
    tap_ = nullptr;
    sim_.reset();
}

int Connection::open() {
    if (c_.prepareOnly) return kPrepared;
    if (c_.image && (c_.image->size() != s_.imageLength ||
                     !std::equal(c_.image->begin(), c_.image->end(), s_.programImage))) {
        // Every master of one run gets the same image.
        ui_.message("stepwright-cli: the program file changed while it was being read");
        return kExitFile;
    }
    // Every message from here on names the port (several ports: the prefix does).
    const std::string label = options_.simulator ? "simulator" : PortLabel(options_.port);
    if (ui_.prefix.empty()) ui_.port = label;
    std::string name, path;
    if (options_.simulator) {
        SimOptions sim;
        sim.moduleTypes = options_.simModules;
        sim.paceBaud = options_.simPace;
        sim_ = std::make_unique<SimMaster>(sim);
        std::string error;
        if (!sim_->start(error)) {
            ui_.message("stepwright-cli: the simulated master did not start: " + error);
            return kExitPort;
        }
        path = sim_->devicePath();
    } else if (!options_.port.empty() && options_.port[0] == '/') {
        path = options_.port;
    } else {
        const int index = ComIndex(options_.port);
        if (index < 0) {
            ui_.message("stepwright-cli: unknown port " + options_.port + " (use COM1 to COM6 or a device path)");
            return kExitPort;
        }
        name = PortLabel(options_.port);
        path = options_.device[index];
        if (path.empty()) {
            ui_.message("no serial device is mapped to " + name + " (use --port " + name +
                        "=/dev/DEVICE or --port /dev/DEVICE)");
            return kExitPort;
        }
    }

    std::string error;
    std::unique_ptr<SerialLink> link = OpenSerialDevice(path, kLineBaud, error);
    if (!link) {
        // The port shown in front is the device itself: it is not named twice.
        if (label == path && error.compare(0, path.size() + 2, path + ": ") == 0) error.erase(0, path.size() + 2);
        ui_.message(error);
        return kExitPort;
    }
    auto tap = std::make_unique<TapLink>(std::move(link));
    tap_ = tap.get();
    s_.port = std::move(tap);
    return kExitOk;
}

namespace {

// On line as far as the front end is concerned: a missing reply from now on
// is reported once by the not-responding procedure.
void GoOnLine(MainState& s) {
    s.online = true;
    s.form.ProgExeGroup.enabled = true;
    s.form.ProgExeGroup.caption = "Program Execution";
}

}  // namespace

int Connection::probeStop() {
    // Whatever the master sent before this run is of no interest.
    SioClrInbuf(s_);
    GoOnLine(s_);
    if (HostStop(s_) != 0) return failure();
    return kExitOk;
}

int Connection::probePoll() {
    GoOnLine(s_);
    PollTimerTimer(s_);
    if (!s_.online) return failure();
    return kExitOk;
}

int Connection::detect() {
    // A silent master is found out by the probe at once, not after the
    // detection's two seconds.
    if (int r = probeStop(); r != kExitOk) return r;
    DetectModules(s_);
    if (!s_.online) return failure();
    return kExitOk;
}

int Connection::failure() {
    if (tap_ && tap_->lastReadComplete && tap_->lastByte == kRejected) {
        ui_.message("stepwright-cli: the master refused the request (it answered 0xCC)");
        return kExitRefused;
    }
    return kExitNotResponding;
}

}  // namespace cli
