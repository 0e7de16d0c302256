#pragma once
// The program file (.stw): module list, line count and one block per line.

#include <string>
#include <vector>
#include "program/ProgramLine.h"
#include "program/ProgramState.h"
#include "program/SafeFile.h"

// A program as a file holds it, parsed and checked before it replaces anything.
struct ProgramFileData {
    int moduleListCount = 0;
    std::vector<int> moduleTypes;      // addresses 0 .. moduleListCount, as read
    std::vector<ProgramLine> lines;
    std::vector<int> textLines;        // the 1-based file line of each line (where its block starts in a .stw)
};

// The exact bytes Save writes for the lines of p with the module list of m.
std::string FormatProgramFile(const ProgramState& p, const ModuleTables& m);
// Parses a file's bytes.  Returns "" on success, or the reason it is refused.
std::string ParseProgramFile(const std::string& bytes, ProgramFileData& out);

// The most bytes Open takes from a program file or program text.
constexpr size_t kMaxProgramFileBytes = size_t(64) << 20;
// Reads a program file or program text as Open does: regular files only,
// opened without blocking (a pipe or device is never opened, so nothing waits
// for a writer), at most kMaxProgramFileBytes + 1 bytes, so that a larger file
// shows as such.  False when the file cannot be read.
bool ReadProgramBytes(const std::string& path, std::string& bytes);

// The part of a record that a program file cannot carry, or nullptr:
// "comment", "label" or "goto-label" when it holds a line break (its file line
// would end early and the rest be read as the next item), or "patch" when the
// record jumps but the two bytes of its jump address do not fit at the patch
// position (the reader refuses such a record).  Save refuses these records,
// and the program text refuses the line that would give one.
const char* UnstorableField(const ProgramLine& line);

// Why the program cannot be saved (a text field with a line break, a record
// the file would not give back the same), naming the line; "" when it can.
std::string SaveRefusal(const ProgramState& p, const ModuleTables& m);
// The same check, and the bytes Save writes when it passes (formatted once):
// "" with bytes set, or the refusal with bytes empty.
std::string FormatSavedProgramFile(const ProgramState& p, const ModuleTables& m, std::string& bytes);

// Writes the program to path (as program text when the name ends in .sws)
// with WriteFileData (program/SafeFile.h): links followed, the file's owner,
// mode and links kept, the earlier content whole on any failure or crash.
// Returns "" or the reason.
std::string WriteProgramFile(const ProgramState& p, const ModuleTables& m, const std::string& path);

// The full path name of path: relative names are taken from the working
// directory.  The bytes of the name are kept as they are.
std::string FullPath(const std::string& path);

// Reads and parses the file at fullPath as Open does (program text when the
// name ends in .sws).  Returns "" or the message Open shows: "Could not open
// file", or "Not a valid program file: " and the reason.
std::string ReadProgramFile(const std::string& fullPath, ProgramFileData& data);

// Put what data holds into the records: the module types (an unknown type
// as kTypeUnknown), the count and the list defined; the lines.
void TakeModuleList(ModuleTables& m, const ProgramFileData& data);
void TakeLines(ProgramState& p, const ProgramFileData& data);
