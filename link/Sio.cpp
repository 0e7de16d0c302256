#include "link/Sio.h"

#include "app/MainState.h"

// Port opening and the POSIX device: being built (SioOpen, DefaultPortMap).
std::unique_ptr<SerialLink> SioOpen(MainState& s, const std::string& portName, int) {
    s.message(portName + " failed to open");
    return nullptr;
}

void DefaultPortMap(std::string (&)[6]) {}

bool SioPutChars(MainState& s, const uint8_t* data, int count) {
    if (!s.port || !s.port->write(data, count)) {
        s.message("SioPutChars failed");
        return false;
    }
    return true;
}

int SioGetChars(MainState& s, uint8_t* buffer, int count) {
    if (!s.port || count <= 0) return 0;
    return s.port->read(buffer, count);
}

int SioTest(MainState& s) {
    if (!s.port) return 0;
    int n = s.port->waiting();
    if (n < 0) {
        s.message("SioTest failed");
        return 0;
    }
    return n;
}

bool SioClrInbuf(MainState& s) {
    if (!s.port || !s.port->discardInput()) {
        s.message("SioClrInbuf failed");
        return false;
    }
    return true;
}

void SioClose(MainState& s) { s.port.reset(); }
