#pragma once
// Drives a SimCore without a device: host bytes in, master bytes out, and a
// simulated clock the test moves by hand.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimCore.h"

using Bytes = std::vector<uint8_t>;

inline uint8_t Sum8(const Bytes& b, size_t from = 0, size_t to = SIZE_MAX) {
    unsigned s = 0;
    for (size_t i = from; i < b.size() && i < to; ++i) s += b[i];
    return uint8_t(s);
}

// A module frame: header, address, command byte, data, checksum, trailer.
// (Room is reserved before the bytes go in: GCC 12 at -O3 takes an insert
// after a three-byte list for a write past its end, -Warray-bounds.)
inline Bytes Frame(uint8_t address, uint8_t command, const Bytes& data, uint8_t trailer) {
    Bytes f;
    f.reserve(data.size() + 5);
    f.push_back(0xAA);
    f.push_back(address);
    f.push_back(command);
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(Sum8(f, 1));
    f.push_back(trailer);
    return f;
}

// A master instruction: 0xBB, data count, command code, data.
inline Bytes Master(uint8_t code, const Bytes& data = {}) {
    Bytes b;
    b.reserve(data.size() + 3);
    b.push_back(0xBB);
    b.push_back(uint8_t(data.size()));
    b.push_back(code);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline Bytes LE16(unsigned v) { return {uint8_t(v & 0xFF), uint8_t((v >> 8) & 0xFF)}; }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Builds a program image body from instructions, resolving named jump
// targets: addresses start at 2, after the image's length header.
class ProgramBuilder {
public:
    uint16_t here() const { return uint16_t(2 + code_.size()); }
    ProgramBuilder& label(const std::string& name) {
        labels_.push_back({name, here()});
        return *this;
    }
    // Adds an instruction; target names the label whose address goes into
    // the two bytes at patchAt.
    ProgramBuilder& add(const Bytes& instruction, size_t patchAt = 0, const std::string& target = "") {
        if (!target.empty()) patches_.push_back({code_.size() + patchAt, target});
        code_.insert(code_.end(), instruction.begin(), instruction.end());
        return *this;
    }
    uint16_t address(const std::string& name) const {
        for (const auto& l : labels_)
            if (l.first == name) return l.second;
        return 0xFFFF;
    }
    Bytes build() const {
        Bytes out = code_;
        for (const auto& p : patches_) {
            uint16_t a = address(p.second);
            out[p.first] = uint8_t(a & 0xFF);
            out[p.first + 1] = uint8_t(a >> 8);
        }
        return out;
    }

private:
    Bytes code_;
    std::vector<std::pair<std::string, uint16_t>> labels_;
    std::vector<std::pair<size_t, std::string>> patches_;
};

// Instructions of the master as the builder writes them (0xFF 0xFF where a
// jump target is patched in).
inline Bytes GoTo() { return Master(0, {0xFF, 0xFF}); }
inline Bytes Call() { return Master(1, {0xFF, 0xFF}); }
inline Bytes Return() { return Master(2); }
inline Bytes IfGoTo(uint8_t selector, uint8_t value, uint8_t mask) {
    return Master(3, {0xFF, 0xFF, selector, value, mask});
}
inline Bytes StopProgram() { return Master(4); }
inline Bytes Print(const std::string& text) { return Master(5, Bytes(text.begin(), text.end())); }
inline Bytes SetTimer(unsigned hundredths) { return Master(6, LE16(hundredths)); }
inline Bytes GetStatus() { return Master(7); }
inline Bytes MonitorSub() { return Master(8, {0xFF, 0xFF}); }
inline Bytes Delay(unsigned hundredths) { return Master(9, LE16(hundredths)); }
inline Bytes WaitFor(const Bytes& slot6, uint8_t selector, uint8_t value, uint8_t mask, unsigned hundredths) {
    return Cat({Master(10, Cat({slot6, {selector, value, mask}, LE16(hundredths), {0xFF, 0xFF}}))});
}
inline Bytes MasterSlot() { return {0xBB, 0x00, 0x07, 0x00, 0x00, 0x00}; }
inline Bytes ClearKey() { return Master(11); }
inline Bytes SetCounter(int k, unsigned value) { return Master(12, Cat({LE16(value), {uint8_t(2 * (k - 1))}})); }
inline Bytes CountDown(int k) { return Master(13, {0xFF, 0xFF, uint8_t(2 * (k - 1))}); }
inline Bytes TavoInit() { return Master(14); }
inline Bytes ResetInstr() { return Master(15); }
inline Bytes SetOutputs(uint8_t module, bool set, uint8_t low, uint8_t high) {
    return Master(18, {0, 0, 0, 0, module, uint8_t(set ? 1 : 0), low, high});
}
inline Bytes ChangeBaud(uint8_t code) { return Master(19, {code}); }

struct Status {
    uint8_t count, a, b;
    uint16_t address;
};

class Harness {
public:
    explicit Harness(SimOptions options = {}) : core(std::make_unique<sim::SimCore>(options)) {
        core->powerUp(0);
        announce = drain();
    }

    // Sends bytes at the current time and returns what the master answered.
    Bytes send(const Bytes& bytes) {
        core->receive(bytes, t);
        core->advance(t);
        return drain();
    }

    // Moves the clock on by ms milliseconds in 1 ms steps; returns the output.
    Bytes run(int ms) {
        for (int i = 0; i < ms; ++i) {
            t += 1000;
            core->advance(t);
        }
        return drain();
    }

    Bytes drain() {
        Bytes out;
        for (const auto& o : core->takeOutput()) out.push_back(o.byte);
        return out;
    }

    // Writes an image (length header + instructions) block by block; true
    // when every block was accepted.
    bool load(const Bytes& instructions) {
        Bytes image = LE16(unsigned(instructions.size() + 2));
        image.insert(image.end(), instructions.begin(), instructions.end());
        while (image.size() % 16) image.push_back(0);
        for (size_t off = 0; off < image.size(); off += 16) {
            Bytes args = LE16(unsigned(off));
            args.push_back(0x10);
            args.insert(args.end(), image.begin() + long(off), image.begin() + long(off) + 16);
            args.push_back(Sum8(args));
            if (send({0x83}) != Bytes{0x83}) return false;
            if (send(args) != Bytes{0x00}) return false;
        }
        return true;
    }

    // Execute (0x85) of one instruction; returns the result byte (or -1).
    int execute(const Bytes& instruction) {
        send({0x85});
        Bytes args{uint8_t(instruction.size())};
        args.insert(args.end(), instruction.begin(), instruction.end());
        args.push_back(Sum8(instruction));
        Bytes r = send(args);
        return r.size() == 1 ? r[0] : -1;
    }

    // Read reply (0x87): the n data bytes (the checksum is checked).
    Bytes readReply(int n) {
        send({0x87});
        Bytes r = send({uint8_t(n)});
        if (r.size() != size_t(n) + 1 || Sum8(r, 0, size_t(n)) != r[size_t(n)]) return {};
        r.pop_back();
        return r;
    }

    // Run, Step and Set breakpoint: true when acknowledged and silent after.
    bool runAt(uint16_t address) { return addressCommand(0x81, address); }
    bool stepAt(uint16_t address) { return addressCommand(0x86, address); }
    bool breakAt(uint16_t address) { return addressCommand(0x82, address); }
    bool addressCommand(uint8_t cmd, uint16_t address) {
        if (send({cmd}) != Bytes{cmd}) return false;
        return send(LE16(address)).empty();
    }

    // Poll: the printed characters, and the status after the "U".
    std::string poll(Status* status = nullptr) {
        Bytes r = send({0x8E});
        std::string printed;
        size_t i = 0;
        while (i < r.size() && r[i] != 'U') printed += char(r[i++]);
        if (status && i + 5 < r.size()) {
            *status = {r[i + 1], r[i + 2], r[i + 3], uint16_t(r[i + 4] | (r[i + 5] << 8))};
        }
        // Bytes after the status are collected by the host as unsolicited ones.
        for (size_t k = i + 6; k < r.size(); ++k) printed += char(r[k]);
        return printed;
    }

    Status stop() {
        Bytes r = send({0x80});
        if (r.size() != 6) return {0xEE, 0xEE, 0xEE, 0xEEEE};
        return {r[1], r[2], r[3], uint16_t(r[4] | (r[5] << 8))};
    }

    std::unique_ptr<sim::SimCore> core;
    sim::Micros t = 0;
    Bytes announce;
};
