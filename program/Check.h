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
#include <utility>
#include <vector>

#include "isa/Codec.h"
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

// Why a finding does not count: a comment "; check: ignore RULE-ID" on its
// line or in the comment lines right above it, or the rule switched off by
// the caller.  A suppressed finding is kept, so that it can be shown as such.
enum class Suppression : unsigned char { None, InSource, Disabled };

struct Finding {
    int line = 0;          // index of the listing line, 0-based (comment lines counted)
    std::string rule;      // the rule's id
    Severity severity = Severity::Note;
    std::string message;   // what is wrong and where, in words
    Suppression suppression = Suppression::None;
    bool suppressed() const { return suppression != Suppression::None; }
};

// The line a finding is numbered by wherever it is shown: the listing line
// as the window numbers it, from 1, comment lines counted.  A finding of a
// file also has the line in that file (the caller knows the file).
inline int ListingLine(const Finding& f) { return f.line + 1; }

// What the caller tunes: rules switched off (their findings are kept as
// suppressed) and rules given another severity.
struct Options {
    std::vector<std::string> disabled;
    std::vector<std::pair<std::string, Severity>> severities;
};

// Checks count lines against moduleTypes (moduleTypes[a] is the type code of
// module address a; 0 is the master; an address past the end is not on the
// network).  Findings by line, then by rule order.
std::vector<Finding> CheckProgram(const ProgramLine* lines, int count, const std::vector<int>& moduleTypes,
                                  const Options& options = {});

// The rule ids a comment line names in "; check: ignore RULE-ID ..." (ids
// apart by blanks or commas); none for any other line.
std::vector<std::string> IgnoredRules(const ProgramLine& line);

// Applies the caller's severities and disabled rules, and the comments that
// ignore a rule on the line after them, to findings of lines[0 .. count):
// what CheckProgram does with its own; for checks that add findings of their
// own rules to the same lines.
void Tune(const ProgramLine* lines, int count, std::vector<Finding>& findings, const Options& options);

// A line's instruction as the checks decode it: only the bytes inside its
// length (the rest zero).
isa::Encoded InstructionWithinLength(const ProgramLine& line);

// A finding at warning level or above, not suppressed: the program should
// not be loaded as it is.
bool Fails(const std::vector<Finding>& findings);

// One fingerprint per finding that stays the same when lines are inserted or
// removed above it: a hash of the rule id and the line's own content (label,
// target, module and instruction bytes, or the comment), with ":N" counting
// the earlier findings of the same rule on lines of the same content.
std::vector<std::string> Fingerprints(const ProgramLine* lines, int count, const std::vector<Finding>& findings);

}  // namespace check
