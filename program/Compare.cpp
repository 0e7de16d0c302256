// The open program against a master's image, line by line.

#include "program/Compare.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "program/Disassemble.h"
#include "program/ListingText.h"

namespace {

// The longest common subsequence of two sequences of keys, as pairs of
// indices; common ends are matched first, and a middle too large for the
// table is left unmatched.
constexpr size_t kMaxTableCells = size_t(1) << 22;

std::vector<std::pair<int, int>> Match(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::pair<int, int>> out;
    int lo = 0, endA = int(a.size()), endB = int(b.size());
    while (lo < endA && lo < endB && a[size_t(lo)] == b[size_t(lo)]) {
        out.emplace_back(lo, lo);
        ++lo;
    }
    std::vector<std::pair<int, int>> tail;
    while (endA > lo && endB > lo && a[size_t(endA - 1)] == b[size_t(endB - 1)]) tail.emplace_back(--endA, --endB);
    const size_t n = size_t(endA - lo), m = size_t(endB - lo);
    if (n > 0 && m > 0 && (n + 1) * (m + 1) <= kMaxTableCells) {
        std::vector<uint16_t> table((n + 1) * (m + 1), 0);
        const auto at = [&](size_t i, size_t j) -> uint16_t& { return table[i * (m + 1) + j]; };
        for (size_t i = n; i-- > 0;)
            for (size_t j = m; j-- > 0;)
                at(i, j) = a[size_t(lo) + i] == b[size_t(lo) + j] ? uint16_t(at(i + 1, j + 1) + 1)
                                                                  : std::max(at(i + 1, j), at(i, j + 1));
        for (size_t i = 0, j = 0; i < n && j < m;) {
            if (a[size_t(lo) + i] == b[size_t(lo) + j]) {
                out.emplace_back(lo + int(i), lo + int(j));
                ++i, ++j;
            } else if (at(i + 1, j) >= at(i, j + 1)) {
                ++i;
            } else {
                ++j;
            }
        }
    }
    out.insert(out.end(), tail.rbegin(), tail.rend());
    return out;
}

// A line's bytes with its jump address left out: the same instruction at
// another place jumps to another address.
std::string Key(const ProgramLine& l) {
    std::string key(reinterpret_cast<const char*>(l.bytes), l.length);
    if (l.patchOffset > 0 && l.patchOffset + 2 <= l.length) key[l.patchOffset] = key[size_t(l.patchOffset) + 1] = 0;
    key += char(l.moduleAddress);
    return key;
}

// A listing text on one line: control characters (a Print's carriage return
// and line feed) written as escapes.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const uint8_t b = uint8_t(ch);
        if (b == '\r') out += "\\r";
        else if (b == '\n') out += "\\n";
        else if (b < 0x20 || b == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(b));
            out += hex;
        } else out += ch;
    }
    return out;
}

}  // namespace

int LineAtImageAddress(const ProgramState& p, int address) {
    for (int i = 0; i < p.lineCount; ++i) {
        const ProgramLine& l = p.lines[i];
        if (!l.isComment() && address >= l.address && address < l.address + l.length) return i;
    }
    return -1;
}

ProgramComparison CompareProgramWithImage(const ProgramState& p, const ModuleTables& modules,
                                          const std::vector<uint8_t>& theirs) {
    ProgramComparison out;
    const std::vector<uint8_t> mine(p.programImage, p.programImage + p.imageLength);
    out.same = mine == theirs;
    for (size_t k = 0; k < std::max(mine.size(), theirs.size()) && out.firstAddress < 0; ++k)
        if (k >= mine.size() || k >= theirs.size() || mine[k] != theirs[k]) out.firstAddress = int(k);
    if (out.same) return out;

    // The program's instruction lines, and the master's.
    std::vector<int> mineAt;
    std::vector<ProgramLine> mineLines;
    for (int i = 0; i < p.lineCount; ++i)
        if (!p.lines[i].isComment()) {
            mineAt.push_back(i);
            mineLines.push_back(p.lines[i]);
        }
    std::vector<int> types(size_t(modules.moduleListCount) + 1);
    for (size_t a = 0; a < types.size() && a < 32; ++a) types[a] = modules.moduleTypes[a];
    std::vector<ProgramLine> theirLines;
    std::vector<int> theirAt;
    if (theirs.size() >= 2) {
        const Disassembly d = Disassemble(theirs, types);
        for (const ProgramLine& l : d.program.lines)
            if (!l.isComment()) {
                theirAt.push_back(int(theirLines.size()));
                theirLines.push_back(l);
            }
    }

    // Labels are no bytes: where the instructions pair up, the master's line
    // takes the program's label, and a label made at a jump target takes the
    // program's name there, for the jumps to it as well.  A line left over
    // pairs by its address (the instruction there changed, not its place).
    std::vector<std::string> keysA, keysB;
    for (const ProgramLine& l : mineLines) keysA.push_back(Key(l));
    for (const ProgramLine& l : theirLines) keysB.push_back(Key(l));
    std::map<std::string, std::string> names;
    std::map<std::string, bool> taken;
    std::vector<int> given(theirLines.size(), -1);   // the program line whose label a master line takes
    std::vector<bool> paired(mineLines.size(), false);
    for (const auto& [i, j] : Match(keysA, keysB)) {
        given[size_t(j)] = i;
        paired[size_t(i)] = true;
    }
    std::map<int, int> unpairedAt;
    for (size_t i = 0; i < mineLines.size(); ++i)
        if (!paired[i]) unpairedAt.emplace(mineLines[i].address, int(i));
    for (size_t j = 0; j < theirLines.size(); ++j) {
        if (given[j] >= 0) continue;
        const auto it = unpairedAt.find(theirLines[j].address);
        if (it != unpairedAt.end()) {
            given[j] = it->second;
            unpairedAt.erase(it);
        }
    }
    for (size_t j = 0; j < theirLines.size(); ++j) {
        if (given[j] < 0) continue;
        const std::string name = mineLines[size_t(given[j])].labelText(), made = theirLines[j].labelText();
        if (!made.empty() && !name.empty() && !taken[name]) {
            names.emplace(made, name);
            taken[name] = true;
        }
    }
    for (size_t j = 0; j < theirLines.size(); ++j) {
        ProgramLine& l = theirLines[j];
        const std::string made = l.labelText();
        if (auto it = names.find(made); it != names.end()) l.setLabel(it->second);
        else if (made.empty() && given[j] >= 0 && !taken[mineLines[size_t(given[j])].labelText()])
            l.setLabel(mineLines[size_t(given[j])].labelText());
        if (auto it = names.find(l.gotoLabelText()); it != names.end()) l.setGotoLabel(it->second);
    }

    std::vector<std::string> textA, textB;
    for (const ProgramLine& l : mineLines) textA.push_back(FormatListingText(modules, l));
    for (const ProgramLine& l : theirLines) textB.push_back(FormatListingText(modules, l));
    const auto line = [](char kind, int index, const ProgramLine& l, const std::string& text) {
        DiffLine d;
        d.kind = kind;
        d.line = index;
        d.address = l.address;
        d.label = l.labelText();
        d.text = OneLine(text);
        return d;
    };
    size_t i = 0, j = 0;
    auto pairs = Match(textA, textB);
    pairs.emplace_back(int(textA.size()), int(textB.size()));
    for (const auto& [pi, pj] : pairs) {
        for (; i < size_t(pi); ++i, ++out.differing) out.lines.push_back(line('-', mineAt[i], mineLines[i], textA[i]));
        for (; j < size_t(pj); ++j, ++out.differing) out.lines.push_back(line('+', theirAt[j], theirLines[j], textB[j]));
        if (i < textA.size() && j < textB.size()) {
            out.lines.push_back(line(' ', mineAt[i], mineLines[i], textA[i]));
            ++i, ++j;
        }
    }
    return out;
}

std::string FormatUnifiedDiff(const ProgramComparison& c, const std::string& mine, const std::string& theirs,
                              int context) {
    if (c.same) return "";
    std::string out = "--- " + mine + "\n+++ " + theirs + "\n";
    const int n = int(c.lines.size());
    // Per line: its place on each side (1-based) before it.
    std::vector<int> at(size_t(n) + 1, 0), bt(size_t(n) + 1, 0);
    for (int k = 0; k < n; ++k) {
        at[size_t(k) + 1] = at[size_t(k)] + (c.lines[size_t(k)].kind != '+');
        bt[size_t(k) + 1] = bt[size_t(k)] + (c.lines[size_t(k)].kind != '-');
    }
    // The listing line (1-based) of a side-A position: the program's own numbering.
    const auto listingLine = [&](int from, int to) {
        for (int k = from; k < to; ++k)
            if (c.lines[size_t(k)].kind != '+') return c.lines[size_t(k)].line + 1;
        return 0;
    };
    for (int k = 0; k < n;) {
        if (c.lines[size_t(k)].kind == ' ') {
            ++k;
            continue;
        }
        // One hunk: the changes closer together than twice the context.
        int last = k;
        for (int q = k; q < n && q - last <= 2 * context; ++q)
            if (c.lines[size_t(q)].kind != ' ') last = q;
        const int from = std::max(0, k - context), to = std::min(n, last + 1 + context);
        const int countA = at[size_t(to)] - at[size_t(from)], countB = bt[size_t(to)] - bt[size_t(from)];
        char head[96];
        std::snprintf(head, sizeof head, "@@ -%d,%d +%d,%d @@\n", listingLine(from, to), countA,
                      bt[size_t(from)] + (countB ? 1 : 0), countB);
        out += head;
        for (int q = from; q < to; ++q) out += std::string(1, c.lines[size_t(q)].kind) + c.lines[size_t(q)].text + "\n";
        k = to;
    }
    return out;
}
