#pragma once
// The program check: what a program would do wrong on the machine, found
// before it is loaded.  Works on the line records alone, decoded through the
// instruction set's descriptions (isa/Codec.h), and the module list the
// program is written against.  It follows the program's flow from the first
// instruction: fall-through, jumps, If-GoTo and WaitFor (both ways), Call and
// Return with the call pending, CountDown, MonitorSub subroutines, StopProgram
// and the end of the program.
//
// Pure: no MainState, no Qt; nothing here throws.  The check informs and
// never changes or refuses a program.

#include <string>
#include <string_view>
#include <vector>

#include "program/ProgramLine.h"

namespace check {

enum class Severity : unsigned char { Note, Warning, Error };

// "note", "warning", "error".
const char* SeverityName(Severity severity);

// A rule: its id (stable once released), severity and one line on what it finds.
struct Rule {
    const char* id;
    Severity severity;
    const char* summary;
};
// Every rule, in the order findings of one line are listed.
const std::vector<Rule>& Rules();
const Rule* FindRule(std::string_view id);

struct Finding {
    int line = 0;          // listing line, 0-based (comment lines counted)
    std::string rule;      // the rule's id
    Severity severity = Severity::Note;
    std::string message;   // what is wrong and where, in words
};

// Checks count lines against moduleTypes (moduleTypes[a] is the type code of
// module address a; 0 is the master; an address past the end is not on the
// network).  Findings by line, then by rule order.
std::vector<Finding> CheckProgram(const ProgramLine* lines, int count, const std::vector<int>& moduleTypes);

// A finding at warning level or above: the program should not be loaded as it is.
bool Fails(const std::vector<Finding>& findings);

}  // namespace check
