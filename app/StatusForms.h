#pragma once
// The module status windows: a double click on the module list fetches the
// module's status (modules/StatusWindows.h) and fills the status window of
// its type once before it is shown.
struct MainState;
void ModuleListBoxDblClick(MainState& s);
