#include "program/ProgramLine.h"
// #include "app/MainState.h"
#include "modules/ModuleList.h"
