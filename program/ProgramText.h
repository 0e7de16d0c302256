#pragma once
// The program as readable text (.sws): a header with the module list, then one
// text line per program line.  Instruction lines are built and read through
// the command descriptions (program/InstructionText.h); docs/program-text.md
// gives the grammar.  Nothing here needs the main state but the overload that
// reads it, which lives with the program file writer.

#include <string>
#include <vector>

#include "program/ProgramFile.h"


constexpr int kMaxProgramTextErrors = 100;

// The longest line a program text may hold, in bytes.  The longest line the
// grammar gives is a servo SetGain with a label and nine fields, every text
// quoted and every character escaped as \xHH: 1540 bytes.  Blanks between the
// parts are free; the bound leaves room for them.  A longer line is refused
// before it is split into words.
constexpr int kMaxProgramTextLineBytes = 4096;

struct ProgramTextError {
    int line = 0;    // 1-based
    int column = 0;  // 1-based, in characters
    std::string field;
    std::string message;
};

// True when path names a program text (its name ends in .sws, in any case).
bool IsProgramTextPath(const std::string& path);

// The text of a program.  Every record reads back unchanged: a record that no
// command's fields reproduce is written in the raw form.
std::string FormatProgramText(const ProgramFileData& data);
// Of the lines of p with the module list of m (defined in program/ProgramFile.cpp).
std::string FormatProgramText(const ProgramState& p, const ModuleTables& m);

// Parses a program text.  True when every line was accepted; otherwise the
// errors in file order (at most kMaxProgramTextErrors, then one saying the
// reading stopped), and out must not be used.
bool ParseProgramText(const std::string& bytes, ProgramFileData& out, std::vector<ProgramTextError>& errors);

// "FILE:LINE:COLUMN: field 'NAME': MESSAGE" (without the field part when none).
std::string DescribeProgramTextError(const std::string& file, const ProgramTextError& error);

// For Open: "" when the text was accepted, else the number of errors and one
// line per error (the first 20).
std::string ParseProgramTextFile(const std::string& bytes, const std::string& file, ProgramFileData& out);
