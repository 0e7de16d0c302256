#pragma once
// The program check as the window keeps it: the findings of the program held
// in the state, computed again only when its lines or its module list
// changed, the rows of the Problems window and the listing's tool tips, and
// the selection of a finding's line.  The check informs; nothing here
// refuses or changes the program.

#include <string>
#include <vector>

#include "program/Check.h"
#include "program/ProgramLine.h"

struct MainState;

class ProblemsCache {
public:
    // Checks the program again when it changed since the last call; true
    // when it did (the findings are then new).
    bool update(const MainState& s);
    const std::vector<check::Finding>& findings() const { return findings_; }
    // The tool tip of listing line `line`: its findings, one a line; "" for none.
    std::string tipFor(int line) const;
    // The listing lines that carry findings, in order, each once.
    std::vector<int> linesWithFindings() const;

private:
    bool checked_ = false;
    std::vector<ProgramLine> lines_;
    std::vector<int> types_;
    std::vector<check::Finding> findings_;
};

// A row of the Problems list: "LINE: SEVERITY: MESSAGE [RULE-ID]", the line
// 1-based as the listing counts it, " (suppressed)" after a finding a
// "; check: ignore" comment suppresses.
std::string ProblemRow(const check::Finding& finding);
// "No problems", or the counts of errors, warnings and notes that are not
// suppressed, and how many are.
std::string ProblemsSummary(const std::vector<check::Finding>& findings);

// Makes listing line `line` the current line, selected alone and scrolled
// into view, and loads it into the builder as a click on it does.  Nothing
// for a line the program no longer holds.
void SelectProblemLine(MainState& s, int line);
