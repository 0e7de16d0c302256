#pragma once
// The sequencer (master) family: MasterCBox and MasterGroup.
struct MainState;
struct ProgramLine;

// Lays out MasterGroup for the command chosen in MasterCBox.
void MasterCBoxClick(MainState& s);

// The family's encoder: the panel's fields into line (0), or -1 after the
// refused field's message.  Its loader: line s.builderLine back into the
// panel.  Both are the shared panel routines over the family's descriptions.
int EncodeMasterInstruction(MainState& s, ProgramLine& line);
int LoadMasterInstruction(MainState& s);
