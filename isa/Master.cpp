// Placeholder: replaced when this part is built.
#include "isa/Master.h"
#include "app/MainState.h"
void MasterCBoxClick(MainState&) {}
int EncodeMasterInstruction(MainState&, ProgramLine&) { return -1; }
int LoadMasterInstruction(MainState&) { return 0; }
std::string MasterListingRow(const ProgramLine&) { return std::string(); }
