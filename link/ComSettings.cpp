// Placeholder: replaced when this part is built.
#include "link/ComSettings.h"
#include "app/MainState.h"
void ComButtonClick(MainState& s) { s.com.visible = true; }
void SetButtonClick(MainState& s) { s.com.visible = false; }
void CancelButtonClick(MainState& s) { s.ui.closeMainWindow(); }
