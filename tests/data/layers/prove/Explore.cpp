// The explorer may not reach up to the window.
#include "sim/SimCore.h"
#include "app/MainState.h"
