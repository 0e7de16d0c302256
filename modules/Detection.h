#pragma once
// Module detection: how the host comes on line.
struct MainState;
void DetectModules(MainState& s);
