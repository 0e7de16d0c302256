#pragma once
// The module list a program is written against, and its pop-up menu.
//
// Errors in the modules layer: its routines are event handlers.  A refusal is
// shown with its message and changes nothing; a failed exchange has been
// reported by the link, and the handler stops where it was.  They return
// nothing and never throw.

#include <string>
struct MainState;

// " 0 [Master]", "%2d ZEL-SERVO", "%2d ZEL-I/O", "%2d ZEL-STEP", "%2d UNKNOWN".
std::string ModuleListLine(int address, int type);

void ModuleListBoxClick(MainState& s);
// Selects item address of ModuleListBox and runs ModuleListBoxClick.
void SelectModule(MainState& s, int address);

void AddServoModule1Click(MainState& s);
void AddStepModule1Click(MainState& s);
void AddIOModule1Click(MainState& s);
void ClearModuleList1Click(MainState& s);
void UseDetectedModules1Click(MainState& s);
