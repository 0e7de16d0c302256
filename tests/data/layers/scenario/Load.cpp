// The window state is above the scenarios.
#include "program/OpenProgram.h"
#include "app/MainState.h"
