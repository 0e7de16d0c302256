#pragma once
// The servo family: ServoCBox and ServoGroup.
struct MainState;
struct ProgramLine;

// Lays out ServoGroup for the command chosen in ServoCBox.
void ServoCBoxClick(MainState& s);

// The family's encoder: the panel's fields into line (0), or -1 after the
// refused field's message.  Its loader: line s.builderLine back into the
// panel.  Both are the shared panel routines over the family's descriptions.
int EncodeServoInstruction(MainState& s, ProgramLine& line);
int LoadServoInstruction(MainState& s);
