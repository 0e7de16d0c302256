#include "program/ProgramState.h"

#include <cstring>

ProgramState::ProgramState() {
    std::memset(lines, 0, sizeof lines);
    std::memset(&builderLine, 0, sizeof builderLine);
    std::memset(copyBuffer, 0, sizeof copyBuffer);
    std::memset(labelTable, 0, sizeof labelTable);
    std::memset(programImage, 0, sizeof programImage);
}

ModuleTables::ModuleTables() {
    for (auto& t : moduleTypes) t = 0;
    for (auto& t : detectedTypes) t = -1;
}
