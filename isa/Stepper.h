#pragma once
// The stepper family: StepCBox and StepGroup.
struct MainState;

// Lays out StepGroup for the command chosen in StepCBox.
void StepCBoxClick(MainState& s);
