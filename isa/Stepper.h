#pragma once
// The stepper family: StepCBox and StepGroup.
#include <string>
#include "program/ProgramLine.h"
struct MainState;

void StepCBoxClick(MainState& s);
int EncodeStepperInstruction(MainState& s, ProgramLine& line);
int LoadStepperInstruction(MainState& s);
// Mnemonic column of a stepper module frame ("" when the code has no row).
std::string StepperListingRow(const ProgramLine& line);
