#pragma once
// The communications settings dialog.
struct MainState;
void ComButtonClick(MainState& s);
void SetButtonClick(MainState& s);
void CancelButtonClick(MainState& s);
