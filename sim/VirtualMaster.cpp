#include "sim/VirtualMaster.h"

#include "link/ProtocolBytes.h"

namespace sim {

VirtualMaster::VirtualMaster(const SimOptions& options) : core_(options) {
    core_.powerUp(0);
    // The power-up "#" goes out while no host listens.
    core_.takeOutput();
}

void VirtualMaster::tick() {
    now_ += 1000;
    core_.advance(now_);
    collectUnsolicited();
}

void VirtualMaster::collectUnsolicited() {
    for (const SimCore::OutByte& o : core_.takeOutput())
        if (o.byte != 0) unsolicited_ += char(o.byte);
}

std::vector<uint8_t> VirtualMaster::exchange(const std::vector<uint8_t>& bytes) {
    // Bytes the master sent before this command are the host's to collect.
    collectUnsolicited();
    core_.receive(bytes, now_);
    core_.advance(now_);
    std::vector<uint8_t> answer;
    for (const SimCore::OutByte& o : core_.takeOutput()) answer.push_back(o.byte);
    return answer;
}

bool VirtualMaster::download(const uint8_t* image, int length) {
    for (int offset = 0; offset < length; offset += kBlockLength) {
        uint8_t block[kBlockLength] = {};
        for (int i = 0; i < kBlockLength && offset + i < length; ++i) block[i] = image[offset + i];
        std::vector<uint8_t> args(20);
        PutWriteBlockArgs(args.data(), uint16_t(offset), block);
        if (exchange({kCmdWriteBlock}).size() != 1) return false;
        const std::vector<uint8_t> result = exchange(args);
        if (result.size() != 1 || result[0] == kRejected) return false;
    }
    return true;
}

bool VirtualMaster::addressCommand(uint8_t cmd, uint16_t address) {
    if (exchange({cmd}).size() != 1) return false;
    exchange({uint8_t(address & 0xFF), uint8_t(address >> 8)});
    return true;
}

bool VirtualMaster::stop() { return exchange({kCmdStop}).size() == 6; }

void VirtualMaster::reset() {
    // Reset has no answer: its "#" is a byte the master sends by itself.
    for (uint8_t b : exchange({kCmdReset}))
        if (b != 0) unsolicited_ += char(b);
}

void VirtualMaster::key(uint8_t byte) {
    for (uint8_t b : exchange({byte}))
        if (b != 0) unsolicited_ += char(b);
}

bool VirtualMaster::poll(std::string& printed) {
    const std::vector<uint8_t> answer = exchange({kCmdPoll});
    printed = std::move(unsolicited_);
    unsolicited_.clear();
    size_t i = 0;
    while (i < answer.size() && answer[i] != kPollMarker) printed += char(answer[i++]);
    if (i + 5 >= answer.size()) return false;
    // Printed "U"s follow the status: the host takes them as sent by the master itself.
    for (size_t k = i + 6; k < answer.size(); ++k) printed += char(answer[k]);
    return true;
}

}  // namespace sim
