#pragma once
// The serial port layer: the only code that touches the port.  Every failure
// is shown with the message routine; nothing is retried.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "link/SerialLink.h"
struct LinkState;

// Opens "COM1:" .. "COM6:" (mapped to a device through s.portDevice) at baud
// (9600, 19200, 38400, 57600, 115200; anything else falls back to 19200 with
// its message).  Returns null after "%s failed to open".  A name starting
// with "/" is a device path used as it is.
std::unique_ptr<SerialLink> SioOpen(LinkState& s, const std::string& portName, int baud);
// Writes to s.port; "SioPutChars failed" on failure.
bool SioPutChars(LinkState& s, const uint8_t* data, int count);
// Reads from s.port within 100 + 2 x count ms; 0 without a port.
int SioGetChars(LinkState& s, uint8_t* buffer, int count);
// Bytes waiting; "SioTest failed" and 0 on failure, 0 without a port.
int SioTest(LinkState& s);
// Discards the input queue; "SioClrInbuf failed" on failure.
bool SioClrInbuf(LinkState& s);
// Closes s.port (restoring the device's earlier settings).
void SioClose(LinkState& s);
// Shows text with the message routine, adding what happened to the port
// when an operation on it failed and that was not yet told (the device gone,
// say).
void SioMessage(LinkState& s, const std::string& text);

// While the open port's device is gone (s.portLoss.gone): looks whether its
// path is there again, having been missing or now being another file, and
// sets s.portLoss.back.  True when it is back.  Shows nothing.
bool SioWatchLostPort(LinkState& s);
// Opens the lost port's device again at 19200 baud in place of the lost
// port.  Shows nothing: false with the reason in error, the lost port kept.
bool SioReopen(LinkState& s, std::string& error);

// The devices COM1 .. COM6 map to by default: the serial devices present,
// USB adapters first (ttyUSB*, then ttyACM*, then ttyS*), each in numeric order.
void DefaultPortMap(std::string (&device)[6]);

// Orders the entries of /dev (bare names such as "ttyS10") that are serial
// devices: ttyUSB*, then ttyACM*, then ttyS*, each by number; returns their
// full paths.  Other names are left out.
std::vector<std::string> OrderPortDevices(const std::vector<std::string>& names);

// The value of the command-line option --port, "COM2=/dev/ttyUSB1": sets
// device[1].  False with a reason in error when the value is malformed.
bool ParsePortOption(const std::string& arg, std::string (&device)[6], std::string& error);

// Opens a device path at baud for the command-line tool and the tests; null
// with the reason in error (missing device, permission, port in use,
// unsupported rate, refused setting).  Shows no message.
std::unique_ptr<SerialLink> OpenSerialDevice(const std::string& path, int baud, std::string& error);
