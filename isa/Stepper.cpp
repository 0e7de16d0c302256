// Placeholder: replaced when this part is built.
#include "isa/Stepper.h"
#include "app/MainState.h"
void StepCBoxClick(MainState&) {}
int EncodeStepperInstruction(MainState&, ProgramLine&) { return -1; }
int LoadStepperInstruction(MainState&) { return 0; }
std::string StepperListingRow(const ProgramLine&) { return std::string(); }
