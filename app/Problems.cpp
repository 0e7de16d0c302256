// The window's program check: findings cached against a copy of the lines.

#include "app/Problems.h"

#include <cstring>

#include "app/MainState.h"
#include "isa/Vocabulary.h"
#include "app/Editing.h"

bool ProblemsCache::update(const MainState& s) {
    const int count = s.lineCount < 0 ? 0 : (s.lineCount > kMaxLines ? kMaxLines : s.lineCount);
    const int modules = s.moduleListCount > kMaxModules ? kMaxModules : s.moduleListCount;
    std::vector<int> types(s.moduleTypes, s.moduleTypes + modules + 1);
    types[0] = kTypeMaster;   // address 0 is always the master
    // A byte comparison of the records: cheap next to the check, and exact.
    if (checked_ && int(lines_.size()) == count && types == types_ &&
        (count == 0 || std::memcmp(lines_.data(), s.lines, size_t(count) * sizeof(ProgramLine)) == 0))
        return false;
    lines_.assign(s.lines, s.lines + count);
    types_ = std::move(types);
    findings_ = check::CheckProgram(lines_.data(), count, types_);
    checked_ = true;
    return true;
}

std::string ProblemsCache::tipFor(int line) const {
    std::string tip;
    for (const check::Finding& f : findings_)
        if (f.line == line) {
            if (!tip.empty()) tip += '\n';
            tip += std::string(check::SeverityName(f.severity)) + ": " + f.message + " [" + f.rule + "]";
            if (f.suppressed()) tip += " (suppressed)";
        }
    return tip;
}

std::vector<int> ProblemsCache::linesWithFindings() const {
    std::vector<int> lines;
    for (const check::Finding& f : findings_)
        if (lines.empty() || lines.back() != f.line) lines.push_back(f.line);
    return lines;
}

std::string ProblemRow(const check::Finding& f) {
    return Format("%d: %s: ", check::ListingLine(f), check::SeverityName(f.severity)) + f.message + " [" + f.rule +
           "]" + (f.suppressed() ? " (suppressed)" : "");
}

std::string ProblemsSummary(const std::vector<check::Finding>& findings) {
    int counts[3] = {0, 0, 0};
    int suppressed = 0;
    for (const check::Finding& f : findings) {
        if (f.suppressed()) ++suppressed;
        else ++counts[int(f.severity)];
    }
    if (findings.size() == size_t(suppressed))
        return suppressed ? Format("No problems, %d suppressed", suppressed) : std::string("No problems");
    std::string text = Format("%d error(s), %d warning(s), %d note(s)", counts[int(check::Severity::Error)],
                              counts[int(check::Severity::Warning)], counts[int(check::Severity::Note)]);
    if (suppressed) text += Format(", %d suppressed", suppressed);
    return text;
}

void SelectProblemLine(MainState& s, int line) {
    if (line < 0 || line >= s.lineCount || line >= s.listing.count()) return;
    DeselectAllLines(s);
    s.listing.select(line);
    s.listing.setFocus(line);
    s.currentLine = line;
    ScrollRuleB(s, line);
    ShowCurrentLineInBuilder(s);
}
