// Placeholder: replaced when this part is built.
#include "isa/Servo.h"
#include "app/MainState.h"
void ServoCBoxClick(MainState&) {}
int EncodeServoInstruction(MainState&, ProgramLine&) { return -1; }
int LoadServoInstruction(MainState&) { return 0; }
std::string ServoListingRow(const ProgramLine&) { return std::string(); }
