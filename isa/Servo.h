#pragma once
// The servo family: ServoCBox and ServoGroup.
#include <string>
#include "program/ProgramLine.h"
struct MainState;

void ServoCBoxClick(MainState& s);
int EncodeServoInstruction(MainState& s, ProgramLine& line);
int LoadServoInstruction(MainState& s);
// Mnemonic column of a servo module frame ("" when the code has no row).
std::string ServoListingRow(const ProgramLine& line);
