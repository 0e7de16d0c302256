#pragma once
// Module status windows, filled at a double click on the module list.
#include <cstdint>
struct MainState;
void ModuleListBoxDblClick(MainState& s);
