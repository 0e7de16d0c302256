#pragma once
// Label resolution and assembly of the line store into the program image.

#include <cstdint>
#include <string>

#include "program/ProgramState.h"

// Why the assembly stopped, for the caller to show: the message, and the
// program line it concerns with how the listing shows it.
struct AssemblyError {
    enum class Mark : uint8_t {
        None,     // no line in particular
        Select,   // the line alone selected and made current
        Focus,    // the focus put on the line
    };
    Mark mark = Mark::None;
    int line = -1;
    std::string text;   // "Redundant label found", "Label '%s' undefined",
                        // "Program exceeds available memory (%d)", too many
                        // labels, a damaged line
};

// 0 on success; -1 with error filled.  The checks run in this order.
int AssembleProgram(ProgramState& p, AssemblyError& error);
int CheckDuplicateLabels(const ProgramState& p, AssemblyError& error);
int BuildLabelTable(ProgramState& p, AssemblyError& error);   // -1 when the label table is full
int ResolveLabels(ProgramState& p, AssemblyError& error);
// Address of the first label table entry named exactly name, or 0xFFFF.
uint16_t FindLabel(const ProgramState& p, const std::string& name);
