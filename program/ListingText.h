#pragma once
// A program line as the listing shows it, and the module type that decides
// its mnemonic: the label column, the module address and the row that
// isa::listingRow gives for the family of the line's module.  Pure: reads the
// module list's types and the line record.  Nothing here fails.

#include <string>

#include "program/ProgramLine.h"
#include "program/ProgramState.h"

// Module type of an address in the module list (moduleTypes), 255 beyond 31.
int ModuleTypeOf(const ModuleTables& modules, int address);

// The listing text of a line (comment lines as stored).
std::string FormatListingText(const ModuleTables& modules, const ProgramLine& line);
