#pragma once
// The servo family: ServoCBox and ServoGroup.
struct MainState;

// Lays out ServoGroup for the command chosen in ServoCBox.
void ServoCBoxClick(MainState& s);
