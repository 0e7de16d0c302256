#include "program/ListingText.h"

#include "isa/Codec.h"
#include "isa/Format.h"
#include "isa/Vocabulary.h"

int ModuleTypeOf(const ModuleTables& modules, int address) {
    if (address < 0 || address > 31) return kTypeUnknown;
    return modules.moduleTypes[address];
}

std::string FormatListingText(const ModuleTables& modules, const ProgramLine& line) {
    if (line.isComment()) return line.commentText();
    std::string label = line.labelText();
    if (label.size() > 8) label.resize(8);
    label.resize(8, ' ');
    std::string text = label + " " + Format("%2X ", unsigned(line.moduleAddress));
    return text + isa::listingRow(StoredInstruction(line), ModuleTypeOf(modules, line.moduleAddress));
}
