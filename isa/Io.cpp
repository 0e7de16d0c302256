// Placeholder: replaced when this part is built.
#include "isa/Io.h"
#include "app/MainState.h"
void IoCBoxClick(MainState&) {}
int EncodeIoInstruction(MainState&, ProgramLine&) { return -1; }
int LoadIoInstruction(MainState&) { return 0; }
std::string IoListingRow(const ProgramLine&) { return std::string(); }
