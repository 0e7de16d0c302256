// Placeholder: replaced when this part is built.
#include "modules/Detection.h"
#include "app/MainState.h"
void DetectModules(MainState&) {}
