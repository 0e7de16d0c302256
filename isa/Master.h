#pragma once
// The sequencer (master) family: MasterCBox and MasterGroup.
#include <string>
#include "program/ProgramLine.h"
struct MainState;

void MasterCBoxClick(MainState& s);
int EncodeMasterInstruction(MainState& s, ProgramLine& line);
int LoadMasterInstruction(MainState& s);
// Mnemonic column of a line whose byte 0 is 0xBB ("" when the code has no row).
std::string MasterListingRow(const ProgramLine& line);
