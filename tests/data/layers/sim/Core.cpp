// A good include and one of the program layer, which the simulator has no need of.
#include "link/ProtocolBytes.h"
#include "program/ProgramLine.h"
