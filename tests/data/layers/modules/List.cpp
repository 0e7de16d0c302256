#include "Local.h"
#include "link/Sio.h"
#include "modules/Sampler.h"
#include "app/MainState.h"
