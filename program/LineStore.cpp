#include "program/LineStore.h"

#include <cstddef>
#include <cstring>

bool InsertRecord(ProgramState& p, int k, const ProgramLine& line) {
    if (p.lineCount >= kMaxLines || k < 0 || k > p.lineCount) return false;
    std::memmove(&p.lines[k + 1], &p.lines[k], sizeof(ProgramLine) * size_t(p.lineCount - k));
    p.lines[k] = line;
    ++p.lineCount;
    if (p.breakpointLine >= k) ++p.breakpointLine;
    return true;
}

bool RemoveRecord(ProgramState& p, int k) {
    if (k < 0 || k >= p.lineCount) return false;
    std::memmove(&p.lines[k], &p.lines[k + 1], sizeof(ProgramLine) * size_t(p.lineCount - k - 1));
    --p.lineCount;
    if (p.breakpointLine == k)
        p.breakpointLine = -1;  // the marked line is gone
    else if (p.breakpointLine > k)
        --p.breakpointLine;
    return true;
}

int LineAtAddress(const ProgramState& p, uint16_t address) {
    for (int k = 0; k < p.lineCount; ++k)
        if (!p.lines[k].isComment() && p.lines[k].address == address) return k;
    return p.lineCount;
}

void ClearLines(ProgramState& p) {
    p.currentLine = 0;
    p.imageLength = 0;
    p.labelCount = 0;
    p.addressCounter = 0;
    p.lineCount = 0;
}
