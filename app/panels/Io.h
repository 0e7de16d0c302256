#pragma once
// The I/O family: IoCBox and IoGroup.
struct MainState;
struct ProgramLine;

// Lays out IoGroup for the command chosen in IoCBox.
void IoCBoxClick(MainState& s);

// The family's encoder: the panel's fields into line (0), or -1 after the
// refused field's message.  Its loader: line s.builderLine back into the
// panel.  Both are the shared panel routines over the family's descriptions.
int EncodeIoInstruction(MainState& s, ProgramLine& line);
int LoadIoInstruction(MainState& s);
