#pragma once
// The program file (.stw): module list, line count and one block per line.

#include <string>
#include <vector>
#include "program/ProgramLine.h"
struct MainState;

// A program as a file holds it, parsed and checked before it replaces anything.
struct ProgramFileData {
    int moduleListCount = 0;
    std::vector<int> moduleTypes;      // addresses 0 .. moduleListCount, as read
    std::vector<ProgramLine> lines;
};

// The exact bytes Save writes for the program held in s.
std::string FormatProgramFile(const MainState& s);
// Parses a file's bytes.  Returns "" on success, or the reason it is refused.
std::string ParseProgramFile(const std::string& bytes, ProgramFileData& out);

// Writes the program to path (a temporary file beside it renamed over it when
// complete), as program text when the name ends in .sws.  Returns "" or the
// reason it failed.
std::string WriteProgramFile(const MainState& s, const std::string& path);
// Writes data to path in the same way.
std::string WriteFileData(const std::string& path, const std::string& data);

// Main window handlers.
void SaveButtonClick(MainState& s);
void OpenButtonClick(MainState& s);
// Save without the dialog's cancel path: true only when the file was written.
bool SaveProgram(MainState& s);
// Opens path into s as Open does after its dialog; false when refused.
bool OpenProgramFile(MainState& s, const std::string& path);
