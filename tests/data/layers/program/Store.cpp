#include "isa/Codec.h"
#  include "link/Sio.h"
#include "program/ProgramState.h"
