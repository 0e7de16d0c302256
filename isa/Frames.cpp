#include "isa/Frames.h"

#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Instruction.h"

namespace {

constexpr int kIfGoToTarget = 3;
constexpr int kWaitForRequest = 3;
constexpr int kWaitForTarget = 14;
constexpr int kMaxWaitTime = 60000;   // hundredths of a second

}  // namespace

void FinishModuleFrame(ProgramLine& line, int dataCount, uint8_t trailer) {
    line.bytes[3 + dataCount] = FrameChecksum(line.bytes, dataCount);
    line.bytes[4 + dataCount] = trailer;
    line.length = uint8_t(dataCount + 5);
}

void PutJumpTarget(ProgramLine& line, int offset, const std::string& label) {
    line.bytes[offset] = kNoTarget;
    line.bytes[offset + 1] = kNoTarget;
    line.patchOffset = uint8_t(offset);
    line.setGotoLabel(label);
}

int EncodeIfGoTo(ProgramLine& line, const std::string& label, const ConditionWriter& condition) {
    line.bytes[1] = kIfGoToLength - 3;
    PutJumpTarget(line, kIfGoToTarget, label);
    if (condition(line.bytes + kIfGoToCondition) != 0) return -1;
    line.length = kIfGoToLength;
    return 0;
}

int EncodeWaitFor(MainState& s, ProgramLine& line, const uint8_t (&request)[6], const ConditionWriter& condition,
                  const Ctl& timeoutEdit, const std::string& label) {
    line.bytes[1] = kWaitForLength - 3;
    for (int i = 0; i < 6; ++i) line.bytes[kWaitForRequest + i] = request[i];
    if (condition(line.bytes + kWaitForCondition) != 0) return -1;
    int timeout = 0;
    if (!ReadField(s, timeoutEdit, 0, kMaxWaitTime, timeout)) return -1;
    PutU16(line.bytes + kWaitForTimeout, uint32_t(timeout));
    PutJumpTarget(line, kWaitForTarget, label);
    line.length = kWaitForLength;
    return 0;
}

int EncodeModuleWaitFor(MainState& s, ProgramLine& line, uint8_t item, uint8_t trailer,
                        const ConditionWriter& condition, const Ctl& timeoutEdit, const std::string& label) {
    uint8_t request[6];
    PutStatusRequest(request, line.moduleAddress, item, trailer);
    return EncodeWaitFor(s, line, request, condition, timeoutEdit, label);
}
