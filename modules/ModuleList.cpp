#include "modules/ModuleList.h"

#include "isa/Format.h"
#include "isa/Vocabulary.h"
#include "program/ProgramState.h"

std::string ModuleListLine(int address, int type) {
    switch (type) {
        case kTypeMaster: return Format("%2d [Master]", address);
        case kTypeServo: return Format("%2d ZEL-SERVO", address);
        case kTypeIo: return Format("%2d ZEL-I/O", address);
        case kTypeStepper: return Format("%2d ZEL-STEP", address);
        default: return Format("%2d UNKNOWN", address);
    }
}

std::vector<std::string> ModuleListLines(const ModuleTables& t) {
    std::vector<std::string> lines{ModuleListLine(0, kTypeMaster)};
    for (int i = 1; i <= t.moduleListCount && i <= kMaxModules; ++i)
        lines.push_back(ModuleListLine(i, IsKnownSlave(t.moduleTypes[i]) ? t.moduleTypes[i] : kTypeUnknown));
    return lines;
}
