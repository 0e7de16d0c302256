#pragma once
// A scripted master for tests: plays the master's side of the host protocol
// byte by byte over a FakeSerial.  It acknowledges every command, answers
// Stop, Poll, Version, Write block, Read block, Execute and Read reply, keeps
// a 16384-byte memory for the blocks, and records every exchange the host
// made.  Switches make it fall silent or reject with 0xCC.
//
//   TestPlatform ui;
//   auto s = std::make_unique<MainState>(ui);
//   ScriptedMaster m(*s);            // installs the port in s->port (any LinkState)
//   m.setModules({0, 0, 2});         // two servos and an I/O module
//   m.announce();                    // queues an unsolicited "#"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "FakeSerial.h"
#include "app/MainState.h"

class ScriptedMaster {
public:
    // One command as the host sent it: the command byte and every byte that
    // followed it (arguments, data, checksum).
    struct Exchange {
        uint8_t command;
        std::vector<uint8_t> args;
    };

    FakeSerial* port;                  // owned by the MainState
    std::vector<Exchange> exchanges;   // every command received, in order
    std::vector<uint8_t> keys;         // bytes below 0x80 received between commands

    // Replies.
    uint8_t stopReply[6] = {0, 0, 0, 0, 2, 0};   // Stop: byte 1 module count, 4-5 address
    std::vector<uint8_t> printed;      // Poll: characters before "U" (consumed by one poll)
    uint8_t pollStatus[5] = {0, 0, 0, 2, 0};     // Poll: count, A, B, address low, high
    bool pollMarker = true;            // false: the poll answer never reaches "U"
    uint8_t writeResult = 0x00;        // result byte of Write block
    uint8_t executeResult = 0x00;      // result byte of Execute
    uint8_t version = 1;               // Version: byte 1
    uint8_t readBlockTrailer = 0x5A;   // 17th byte of Read block
    bool readBlockSum = false;         // the 17th byte is the sum of the sixteen instead
    // Called with the offset and the reply of every Read block before it is
    // sent (the line's faults: a byte changed, bytes added).
    std::function<void(int, std::vector<uint8_t>&)> onReadBlock;
    std::vector<uint8_t> memory = std::vector<uint8_t>(16384, 0);
    // Data of the next Read reply (padded with zeros or cut to the count asked).
    std::vector<uint8_t> replyData;
    // Module types by address 1.. : a type request to module i makes the next
    // Read reply {i, type, 0, 0}; setModules also sets the Stop's module count.
    std::vector<int> modules;
    // Called with every executed instruction; may set replyData.
    std::function<void(ScriptedMaster&, const std::vector<uint8_t>&)> onExecute;

    // Faults.
    bool silent = false;               // answers nothing at all
    int silentFromCommand = -1;        // commands with this index (0-based) and later get no answer
    bool ackOnly = false;              // acknowledges, but sends no result, block or reply
    bool answerCC = false;             // Write block and Execute answered 0xCC
    bool corruptChecksum = false;      // Read reply's checksum off by one
    std::vector<uint8_t> replyTail;    // sent right after the next Read reply, once
    int stopReplyLength = 6;           // bytes of the Stop reply actually sent
    int pollStatusLength = 5;          // status bytes after "U" actually sent

    explicit ScriptedMaster(LinkState& s) {
        auto fake = std::make_unique<FakeSerial>();
        port = fake.get();
        port->onWrite = [this](FakeSerial&, uint8_t b) { receive(b); };
        s.port = std::move(fake);
    }
    // A master whose port it keeps itself, for a test that carries the bytes
    // to and from the host on its own (a pseudo-terminal, for example).
    ScriptedMaster() : owned_(std::make_unique<FakeSerial>()) {
        port = owned_.get();
        port->onWrite = [this](FakeSerial&, uint8_t b) { receive(b); };
    }

    void setModules(std::vector<int> types) {
        modules = std::move(types);
        stopReply[1] = uint8_t(modules.size());
    }
    void announce() { port->queue({0x23}); }
    void send(std::vector<uint8_t> bytes) { port->queue(bytes); }

    // Commands received, in order.
    std::vector<uint8_t> commands() const {
        std::vector<uint8_t> c;
        for (const auto& e : exchanges) c.push_back(e.command);
        return c;
    }
    // Every byte the host wrote.
    const std::vector<uint8_t>& sent() const { return port->sent; }
    // Instructions executed (0x85), without count and checksum.
    std::vector<std::vector<uint8_t>> executed() const {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& e : exchanges)
            if (e.command == 0x85 && !e.args.empty() && e.args.size() >= size_t(e.args[0]) + 1u)
                out.emplace_back(e.args.begin() + 1, e.args.begin() + 1 + e.args[0]);
        return out;
    }

private:
    std::unique_ptr<FakeSerial> owned_;
    int need_ = 0;                     // argument bytes still expected for the current command
    bool answering_ = true;            // the current command gets replies

    void reply(std::initializer_list<uint8_t> bytes) {
        if (answering_) port->queue(bytes);
    }
    void reply(const std::vector<uint8_t>& bytes) {
        if (answering_) port->queue(bytes);
    }
    void finalReply(const std::vector<uint8_t>& bytes) {
        if (!ackOnly) reply(bytes);
    }

    void receive(uint8_t b) {
        if (need_ > 0) {
            exchanges.back().args.push_back(b);
            --need_;
            argumentArrived();
            return;
        }
        if (b < 0x80) {
            keys.push_back(b);
            return;
        }
        answering_ = !silent && (silentFromCommand < 0 || int(exchanges.size()) < silentFromCommand);
        exchanges.push_back({b, {}});
        switch (b) {
            case 0x80: {
                std::vector<uint8_t> r(stopReply, stopReply + (stopReplyLength < 6 ? stopReplyLength : 6));
                reply(r);
                break;
            }
            case 0x81: case 0x82: case 0x86:
                reply({0x00});
                need_ = answering_ ? 2 : 0;
                break;
            case 0x83:
                reply({0x00});
                need_ = answering_ ? 20 : 0;
                break;
            case 0x84:
                reply({0x00});
                need_ = answering_ ? 3 : 0;
                break;
            case 0x85: case 0x87:
                reply({0x00});
                need_ = answering_ ? 1 : 0;   // the count; 0x85 then extends it
                break;
            case 0x88:
                reply({0x00, version});
                break;
            case 0x8E: {
                std::vector<uint8_t> r = printed;
                printed.clear();
                if (pollMarker) {
                    r.push_back(0x55);
                    for (int i = 0; i < pollStatusLength && i < 5; ++i) r.push_back(pollStatus[i]);
                }
                reply(r);
                break;
            }
            default:
                break;   // 0x8F and unknown commands: no answer
        }
    }

    void argumentArrived() {
        Exchange& e = exchanges.back();
        switch (e.command) {
            case 0x83:
                if (need_ == 0) {
                    unsigned sum = 0;
                    for (int i = 0; i < 19; ++i) sum += e.args[size_t(i)];
                    bool ok = uint8_t(sum) == e.args[19] && !answerCC;
                    int offset = e.args[0] | (e.args[1] << 8);
                    if (ok)
                        for (int i = 0; i < 16 && offset + i < int(memory.size()); ++i)
                            memory[size_t(offset + i)] = e.args[size_t(3 + i)];
                    finalReply({ok ? writeResult : uint8_t(0xCC)});
                }
                break;
            case 0x84:
                if (need_ == 0) {
                    int offset = e.args[0] | (e.args[1] << 8);
                    std::vector<uint8_t> r;
                    for (int i = 0; i < 16; ++i)
                        r.push_back(offset + i < int(memory.size()) ? memory[size_t(offset + i)] : 0);
                    unsigned sum = 0;
                    for (uint8_t x : r) sum += x;
                    r.push_back(readBlockSum ? uint8_t(sum) : readBlockTrailer);
                    if (onReadBlock) onReadBlock(offset, r);
                    finalReply(r);
                }
                break;
            case 0x85:
                if (e.args.size() == 1) {
                    need_ = e.args[0] + 1;   // the instruction bytes and the checksum
                } else if (need_ == 0) {
                    int n = e.args[0];
                    std::vector<uint8_t> instr(e.args.begin() + 1, e.args.begin() + 1 + n);
                    unsigned sum = 0;
                    for (uint8_t x : instr) sum += x;
                    bool ok = uint8_t(sum) == e.args.back() && !answerCC;
                    if (ok) executedInstruction(instr);
                    finalReply({ok ? executeResult : uint8_t(0xCC)});
                }
                break;
            case 0x87:
                if (need_ == 0) {
                    int n = e.args[0];
                    std::vector<uint8_t> r(size_t(n), 0);
                    for (int i = 0; i < n && i < int(replyData.size()); ++i) r[size_t(i)] = replyData[size_t(i)];
                    unsigned sum = 0;
                    for (uint8_t x : r) sum += x;
                    r.push_back(uint8_t(sum + (corruptChecksum ? 1 : 0)));
                    r.insert(r.end(), replyTail.begin(), replyTail.end());
                    replyTail.clear();
                    finalReply(r);
                }
                break;
            default:
                break;   // Run, breakpoint, Step: nothing after the address
        }
    }

    void executedInstruction(const std::vector<uint8_t>& instr) {
        if (instr.size() == 6 && instr[0] == 0xAA && instr[2] == 0x13 && instr[3] == 0x20) {
            int i = instr[1];
            int type = i >= 1 && i <= int(modules.size()) ? modules[size_t(i - 1)] : 0xFF;
            replyData = {uint8_t(i), uint8_t(type), 0, 0};
        }
        if (onExecute) onExecute(*this, instr);
    }
};
