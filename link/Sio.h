#pragma once
// The serial port layer: the only code that touches the port.  Every failure
// is shown with the message routine; nothing is retried.

#include <cstdint>
#include <memory>
#include <string>
#include "link/SerialLink.h"
struct MainState;

// Opens "COM1:" .. "COM6:" (mapped to a device through s.com.device) at baud
// (9600, 19200, 38400, 57600, 115200; anything else falls back to 19200 with
// its message).  Returns null after "%s failed to open".
std::unique_ptr<SerialLink> SioOpen(MainState& s, const std::string& portName, int baud);
// Writes to s.port; "SioPutChars failed" on failure.
bool SioPutChars(MainState& s, const uint8_t* data, int count);
// Reads from s.port within 100 + 2 x count ms; 0 without a port.
int SioGetChars(MainState& s, uint8_t* buffer, int count);
// Bytes waiting; "SioTest failed" and 0 on failure, 0 without a port.
int SioTest(MainState& s);
// Discards the input queue; "SioClrInbuf failed" on failure.
bool SioClrInbuf(MainState& s);
// Closes s.port (restoring the device's earlier settings).
void SioClose(MainState& s);

// The devices COM1 .. COM6 map to by default: the serial devices present,
// USB adapters first (ttyUSB*, then ttyACM*, then ttyS*), each in numeric order.
void DefaultPortMap(std::string (&device)[6]);
