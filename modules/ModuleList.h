#pragma once
// The module list a program is written against: the text of its lines and
// the tables it is kept in (program/ProgramState.h: ModuleTables).  The list
// box and its pop-up menu are the window's (app/ModuleListBox.h).
//
// Errors in the modules layer: its routines are the exchanges and table work
// behind event handlers.  A refusal is shown with its message through the
// link's host and changes nothing; a failed exchange has been reported by the
// link, and the routine stops where it was.  They never throw.

#include <string>
#include <vector>
struct ModuleTables;

// " 0 [Master]", "%2d ZEL-SERVO", "%2d ZEL-I/O", "%2d ZEL-STEP", "%2d UNKNOWN".
std::string ModuleListLine(int address, int type);

// The list's lines for the tables: the master, then addresses 1 to
// moduleListCount, a slave of no slave kind (the master's code included)
// listed as UNKNOWN.
std::vector<std::string> ModuleListLines(const ModuleTables& t);
