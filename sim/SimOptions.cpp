#include "sim/SimOptions.h"

#include <cerrno>
#include <cstdlib>

namespace {

constexpr int kMaxModules = 31;

// A whole decimal or 0x-hexadecimal number within [low, high].
bool ParseNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.size() > 20) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < low || v > high) return false;
    value = v;
    return true;
}

}  // namespace

bool ValidateSimOptions(const SimOptions& o, std::string& error) {
    if (o.moduleTypes.size() > size_t(kMaxModules)) {
        error = "at most 31 modules can be on the network";
        return false;
    }
    for (int t : o.moduleTypes) {
        if (t < 0 || t > 255) {
            error = "module type codes run from 0 to 255";
            return false;
        }
    }
    if (o.paceBaud < 0 || o.paceBaud > 10000000) {
        error = "the pace must be 0 (immediate) or a baud rate up to 10000000";
        return false;
    }
    if (o.version < 0 || o.version > 255) {
        error = "the version must be a byte (0 to 255)";
        return false;
    }
    if (o.argTimeoutMs < 1 || o.argTimeoutMs > 60000) {
        error = "the argument time-out must lie between 1 and 60000 ms";
        return false;
    }
    if (o.faults.silentFrom != -1 && (o.faults.silentFrom < 0x80 || o.faults.silentFrom > 0xFF)) {
        error = "silent-from takes a command byte, 0x80 to 0xFF";
        return false;
    }
    if (o.faults.dropAck < 0 || o.faults.hangupAt < 0 || o.faults.badCountAt < 0) {
        error = "fault counts cannot be negative";
        return false;
    }
    return true;
}

bool ParseSimFault(const std::string& text, SimFaults& faults, std::string& error) {
    std::string::size_type eq = text.find('=');
    std::string name = text.substr(0, eq);
    std::string value = eq == std::string::npos ? "" : text.substr(eq + 1);
    bool hasValue = eq != std::string::npos;
    long v = 0;
    if (name == "cc" && !hasValue) {
        faults.cc = true;
        return true;
    }
    if (name == "garbage" && !hasValue) {
        faults.garbage = true;
        return true;
    }
    if (name == "bad-checksum" && !hasValue) {
        faults.badChecksum = true;
        return true;
    }
    if (name == "silent-from") {
        if (!ParseNumber(value, 0x80, 0xFF, v)) {
            error = "--fault silent-from=CMD: CMD is a command byte such as 0x85";
            return false;
        }
        faults.silentFrom = int(v);
        return true;
    }
    if (name == "drop-ack") {
        if (!ParseNumber(value, 1, 1000000000, v)) {
            error = "--fault drop-ack=N: N counts acknowledged commands from 1";
            return false;
        }
        faults.dropAck = int(v);
        return true;
    }
    if (name == "hangup") {
        if (!ParseNumber(value, 1, 1000000000, v)) {
            error = "--fault hangup=N: N counts commands from 1";
            return false;
        }
        faults.hangupAt = int(v);
        return true;
    }
    if (name == "bad-count") {
        if (!ParseNumber(value, 1, 1000000000, v)) {
            error = "--fault bad-count=N: N counts Read reply commands from 1";
            return false;
        }
        faults.badCountAt = int(v);
        return true;
    }
    error = "unknown fault \"" + text + "\" (silent-from=CMD, drop-ack=N, cc, garbage, hangup=N, bad-checksum, bad-count=N)";
    return false;
}

bool ParseSimModules(const std::string& text, std::vector<int>& types, std::string& error) {
    std::vector<int> out;
    if (!text.empty()) {
        std::string::size_type start = 0;
        while (true) {
            std::string::size_type comma = text.find(',', start);
            std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            long v = 0;
            if (item == "servo") out.push_back(0);
            else if (item == "io") out.push_back(2);
            else if (item == "step" || item == "stepper") out.push_back(3);
            else if (ParseNumber(item, 0, 255, v)) out.push_back(int(v));
            else {
                error = "--modules: unknown module \"" + item + "\" (servo, io, step, or a type code 0 to 255)";
                return false;
            }
            if (out.size() > size_t(kMaxModules)) {
                error = "--modules: at most 31 modules can be on the network";
                return false;
            }
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    types = out;
    return true;
}

bool ParseSimReplyArea(const std::string& text, bool& shared, std::string& error) {
    if (text == "separate" || text == "shared") {
        shared = text == "shared";
        return true;
    }
    error = "--reply-area: \"" + text + "\" is neither separate nor shared";
    return false;
}
