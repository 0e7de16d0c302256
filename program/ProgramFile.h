#pragma once
// The program file (.stw): module list, line count and one block per line.

#include <string>
#include <vector>
#include "program/ProgramLine.h"
#include "program/SafeFile.h"
struct MainState;

// A program as a file holds it, parsed and checked before it replaces anything.
struct ProgramFileData {
    int moduleListCount = 0;
    std::vector<int> moduleTypes;      // addresses 0 .. moduleListCount, as read
    std::vector<ProgramLine> lines;
    std::vector<int> textLines;        // program text: the 1-based text line of each line
};

// The exact bytes Save writes for the program held in s.
std::string FormatProgramFile(const MainState& s);
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
std::string SaveRefusal(const MainState& s);

// Writes the program to path (as program text when the name ends in .sws)
// with WriteFileData (program/SafeFile.h): links followed, the file's owner,
// mode and links kept, the earlier content whole on any failure or crash.
// Returns "" or the reason.
std::string WriteProgramFile(const MainState& s, const std::string& path);

// Puts the module list and the lines of data into the window's program:
// module types and list, lines, listing; the program is marked changed.
void TakeProgramData(MainState& s, const ProgramFileData& data);

// Main window handlers.
void SaveButtonClick(MainState& s);
void OpenButtonClick(MainState& s);
// Save without the dialog's cancel path: true only when the file was written.
bool SaveProgram(MainState& s);
// When the program has unsaved lines, asks question (Yes, No, Cancel); Yes
// saves.  True when the caller may go on (saved, No, or nothing to lose).
bool SaveFirstIfUnsaved(MainState& s, const std::string& question);
// Opens path into s as Open does after its dialog; false when refused.  A
// backup copy left beside the file by a save that did not finish is offered
// first (Yes puts it back into the file).
bool OpenProgramFile(MainState& s, const std::string& path);
// Open without the dialog (a file named at start or dropped on the window):
// asks first about unsaved changes, as Open does.
bool OpenGivenFile(MainState& s, const std::string& path);
