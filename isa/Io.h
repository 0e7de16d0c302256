#pragma once
// The I/O family: IoCBox and IoGroup.
#include <string>
#include "program/ProgramLine.h"
struct MainState;

void IoCBoxClick(MainState& s);
int EncodeIoInstruction(MainState& s, ProgramLine& line);
int LoadIoInstruction(MainState& s);
// Mnemonic column of an I/O module frame ("" when the code has no row).
std::string IoListingRow(const ProgramLine& line);
