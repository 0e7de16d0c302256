#pragma once
// What the main window's status line says, computed from the state: the port
// and the link ("COM1 on line", "COM1 off line", "no port"), whether the
// program runs ("running", "stopped"), the program's file name ("untitled"
// when it has none), "changed" while it holds work its file does not, and
// whether the master holds the program ("Master holds this program", "Master
// holds a different program", "Not compared") while that is known.
#include <string>

struct MainState;

std::string StatusLineText(const MainState& s);
