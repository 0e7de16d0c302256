#pragma once
// What the main window's status line says, computed from the state: the port
// and the link ("COM1 on line", "COM1 off line", "no port"), whether the
// program runs ("running", "stopped"), the program's file name ("untitled"
// when it has none), "changed" while it holds work its file does not, and
// whether the master holds the program ("Master holds this program", "Master
// holds a different program", "Not compared") while that is known.
//
// While the open port's device is gone the port's part says so instead:
// "COM1: the device is gone (unplugged?)", and once the device is there
// again "COM1: the device is back - click to reconnect".
#include <string>

#include "link/SerialLink.h"

struct MainState;

std::string StatusLineText(const MainState& s);

// The open port's name as the user chose it: "COM1" .. "COM6", else its
// device path ("" when neither is known).
std::string OpenPortName(const MainState& s);
// What happened to the port, in the user's words, naming it when its name
// is known: "COM1: the device is gone (unplugged?)", "COM1: Input/output
// error".
std::string PortProblemText(const MainState& s, const PortProblem& problem);
