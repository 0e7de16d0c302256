// Placeholder: replaced when this part is built.
#include "modules/StatusWindows.h"
#include "app/MainState.h"
void ModuleListBoxDblClick(MainState&) {}
