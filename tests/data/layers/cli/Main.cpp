// The command line may use the window model, never its Qt face.
#include "app/MainState.h"
#include "app/gui/MainWindow.h"
#include "scenario/Scenario.h"
