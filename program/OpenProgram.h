#pragma once
// A program file read and assembled on its own, as Open and Assemble take it,
// for the layers that hold no window (scenarios, the explorer).

#include <memory>
#include <string>

#include "program/Assembly.h"
#include "program/ProgramFile.h"
#include "program/ProgramState.h"

struct OpenedProgram {
    ProgramFileData data;   // the file as read, with the file line of each program line
    std::unique_ptr<ProgramState> state = std::make_unique<ProgramState>();
    std::unique_ptr<ModuleTables> tables = std::make_unique<ModuleTables>();
};

// Reads path and assembles its lines.  "" on success; else the read failure
// (error left empty), or the assembly error's text with error filled.
std::string OpenAndAssemble(const std::string& path, OpenedProgram& out, AssemblyError& error);
