#pragma once
// The open program set against the image a master holds: which listing
// lines differ.  The master's image is decoded into lines (Disassemble) with
// the program's module list; where a decoded line and a program line hold the
// same instruction (jump addresses aside), the master's label there takes the
// program's name, so that the two listings differ only where the bytes do.
// The lines are then compared as the listing shows them (label, module,
// mnemonic); comment lines, which make no bytes, take no part.
//
// Pure: no state, no messages.

#include <cstdint>
#include <string>
#include <vector>

#include "program/ProgramState.h"

struct DiffLine {
    char kind = ' ';        // ' ' in both, '-' only in the program, '+' only in the master
    int line = 0;           // ' ' and '-': the program's listing line (0-based); '+': the master's line
    int address = 0;        // the line's image address
    std::string label;
    std::string text;       // as the listing shows it, on one line (a carriage return as \r, a
                            // line feed as \n, other control bytes as \xHH)
};

struct ProgramComparison {
    bool same = false;              // the images are equal byte for byte
    std::vector<DiffLine> lines;    // the instruction lines of both, in order
    int differing = 0;              // lines marked '-' or '+'
    int firstAddress = -1;          // the first image address whose byte differs (-1: none)
};

// program: assembled (its lines' addresses and its image are those of mine);
// modules: its module list; theirs: the master's image, length bytes included.
ProgramComparison CompareProgramWithImage(const ProgramState& program, const ModuleTables& modules,
                                          const std::vector<uint8_t>& theirs);

// The program line whose bytes hold image address `address` (-1 for the
// length header or past the last line).
int LineAtImageAddress(const ProgramState& program, int address);

// A unified diff of the lines: "--- mine", "+++ theirs", hunks of the
// differing lines with `context` lines around them; each hunk head gives the
// program's listing lines (1-based) and the master's lines.  "" when same.
std::string FormatUnifiedDiff(const ProgramComparison& c, const std::string& mine, const std::string& theirs,
                              int context = 3);
