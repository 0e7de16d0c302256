// Placeholder: replaced when this part is built.
#include "link/Download.h"
#include "app/MainState.h"
void DownloadButtonClick(MainState&) {}
void VerifyButtonClick(MainState&) {}
