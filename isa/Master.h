#pragma once
// The sequencer (master) family: MasterCBox and MasterGroup.
struct MainState;

// Lays out MasterGroup for the command chosen in MasterCBox.
void MasterCBoxClick(MainState& s);
