// As the command line; app/guide/ is not app/gui/.
#include "cli/Words.h"
#include "app/guide/Note.h"
#include "app/gui/Theme.h"
