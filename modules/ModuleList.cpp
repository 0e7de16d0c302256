#include "modules/ModuleList.h"

#include "isa/Describe.h"
#include "isa/Format.h"
#include "isa/Vocabulary.h"
#include "program/ProgramState.h"

std::string ModuleListLine(int address, int type) {
    isa::Family family;
    return Format("%2d %s", address, isa::familyOfType(type, family) ? isa::moduleTypeName(family) : "UNKNOWN");
}

std::vector<std::string> ModuleListLines(const ModuleTables& t) {
    std::vector<std::string> lines{ModuleListLine(0, kTypeMaster)};
    for (int i = 1; i <= t.moduleListCount && i <= kMaxModules; ++i)
        lines.push_back(ModuleListLine(i, IsKnownSlave(t.moduleTypes[i]) ? t.moduleTypes[i] : kTypeUnknown));
    return lines;
}
