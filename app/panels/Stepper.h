#pragma once
// The stepper family: StepCBox and StepGroup.
struct MainState;
struct ProgramLine;

// Lays out StepGroup for the command chosen in StepCBox.
void StepCBoxClick(MainState& s);

// The family's encoder: the panel's fields into line (0), or -1 after the
// refused field's message.  Its loader: line s.builderLine back into the
// panel.  Both are the shared panel routines over the family's descriptions.
int EncodeStepperInstruction(MainState& s, ProgramLine& line);
int LoadStepperInstruction(MainState& s);
