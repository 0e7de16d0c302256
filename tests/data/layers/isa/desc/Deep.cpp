#include "isa/Describe.h"
#include "program/ProgramLine.h"
