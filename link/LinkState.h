#pragma once
// The link to the master as the protocol routines keep it: the open port,
// whether the master answers, its last status, and what the link needs from
// whoever drives it (LinkHost).  The window's state (app/MainState.h) is built
// on it; the link's routines take this part alone and never touch a window.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/SerialLink.h"

class LinkLog;

struct StatusRecord {
    uint8_t moduleCount = 0;
    uint8_t statusA = 0;
    uint8_t statusB = 0;
    uint16_t programAddress = 0;
};

// What the link asks of the application: where its messages go, how it
// waits, where the master's printed characters go, and who reacts when the
// master stops answering or reports where a stopped program stands.  The
// window greys its controls and moves the listing; the command line only
// records.
class LinkHost {
public:
    virtual ~LinkHost() = default;
    // The system's one message routine (an acknowledgement box in the window).
    virtual void message(const std::string& text) = 0;
    // The fixed waits (after Step, a terminal key, Reset, during detection).
    virtual void wait(int ms) = 0;
    // The master did not answer: the link has just gone off line.
    virtual void linkLost() {}
    // A Stop reply: the program stands at address (also in status).
    virtual void programStopped(uint16_t address) { (void)address; }
    // The busy notice over a blocking sequence: text 1 (detection), 2
    // (downloading) or 3 (verifying), then hidden again.
    virtual void showProgress(int which) { (void)which; }
    virtual void hideProgress() {}
    // A byte the master's program printed: sent of its own accord, or ahead
    // of a poll answer (the window's terminal shows it).
    virtual void printed(uint8_t c) { (void)c; }
    // A message of the port layer whose port failed: text is the message,
    // problem what the port found (the front end says it in its words).
    virtual void portMessage(const std::string& text, const PortProblem& problem) {
        (void)problem;
        message(text);
    }
    // The open port's device has just gone (LinkState::portLoss.gone set).
    virtual void portGone() {}
};

// The open port's device went away (unplugged, or the far end closed): the
// port stays the handle, every operation on it failing at once, until it is
// closed or opened again.  Meanwhile its path is watched for the device's
// return.
struct PortLoss {
    bool gone = false;
    bool told = false;       // a message has said what happened
    bool sawAbsent = false;  // the path has been missing since
    bool back = false;       // a device is at the path again
};

struct LinkState {
    // Never null while a routine of the link runs.
    LinkHost* host = nullptr;

    // The device each of COM1 .. COM6 maps to ("" = none).
    std::string portDevice[6];
    std::unique_ptr<SerialLink> port;  // null: no port (the invalid handle)
    // The device path the open port was opened at ("" when unknown), and the
    // file it was then (device and inode), to tell a device plugged in again.
    std::string openDevice;
    uint64_t openDeviceId[2] = {0, 0};
    PortLoss portLoss;
    // Every byte through the port is recorded here when set (link/LinkLog.h);
    // owned by the front end.
    LinkLog* linkLog = nullptr;

    bool online = false;
    StatusRecord status;
    bool resumeFlag = false;
    bool followFlag = false;
    // A program without a baud change was downloaded or verified and has not
    // changed since: Run, Step and Break may act on it.
    bool programLoaded = false;
    bool forceDetection = false;
    bool pollTimerOn = false;

    // Told after every block of a download or verify (blocks done, blocks in
    // all); empty when nobody shows the progress.
    std::function<void(int done, int total)> progressHook;
};
