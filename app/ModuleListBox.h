#pragma once
// The module list box and its pop-up menu: the window's side of the module
// list (the tables and the lines' text: modules/ModuleList.h).
struct MainState;

void ModuleListBoxClick(MainState& s);
// Selects item address of ModuleListBox and runs ModuleListBoxClick.
void SelectModule(MainState& s, int address);
// Fills ModuleListBox with the lines of the module tables (selection untouched).
void FillModuleListBox(MainState& s);

void AddServoModule1Click(MainState& s);
void AddStepModule1Click(MainState& s);
void AddIOModule1Click(MainState& s);
void ClearModuleList1Click(MainState& s);
void UseDetectedModules1Click(MainState& s);
