#pragma once
// The I/O family: IoCBox and IoGroup.
struct MainState;

// Lays out IoGroup for the command chosen in IoCBox.
void IoCBoxClick(MainState& s);
