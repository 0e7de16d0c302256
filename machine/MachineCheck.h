#pragma once
// The program check against a machine description: what each instruction
// commands, read from its own bytes, held against the machine's limits.
// These rules need no run: a constant absolute target outside the travel, a
// velocity or acceleration over the limit; and the program check's
// move-before-home raised to a warning for an axis that must be homed first.
//
// Pure: no MainState, no Qt; nothing here throws.

#include <vector>

#include "machine/Machine.h"
#include "program/Check.h"
#include "program/ProgramLine.h"

namespace machine {

// The rules this check adds to the program check's, in the order findings of
// one line are listed after the program check's own.
const std::vector<check::Rule>& MachineRules();

// Findings of lines[0 .. count) against m, module types as for
// check::CheckProgram.  programFindings are the program check's findings of
// the same lines: a move-before-home of an axis whose description asks for
// homing comes back as a warning (unless options give that rule a severity).
// The machine's own findings are tuned by options and the lines' ignore
// comments as the program check's are.  The result holds the program check's
// findings (so changed) and the machine's, by line then rule order.
std::vector<check::Finding> CheckAgainstMachine(const ProgramLine* lines, int count,
                                                const std::vector<int>& moduleTypes, const Machine& m,
                                                std::vector<check::Finding> programFindings,
                                                const check::Options& options = {});

}  // namespace machine
