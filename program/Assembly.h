#pragma once
// Label resolution and assembly of the listing into the program image.

#include <cstdint>
#include <string>
struct MainState;

// 0 on success; -1 after its message ("Redundant label found", "Label '%s'
// undefined", "Program exceeds available memory (%d)", too many labels).
int AssembleProgram(MainState& s);
int CheckDuplicateLabels(MainState& s);
int BuildLabelTable(MainState& s);   // 0, or -1 when the label table is full
int ResolveLabels(MainState& s);
// Address of the first label table entry named exactly name, or 0xFFFF.
uint16_t FindLabel(const MainState& s, const std::string& name);
