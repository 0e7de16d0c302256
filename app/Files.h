#pragma once
// Open and Save of the window's program: the dialogs, the questions, the
// file's tie and the captions, over the program file's reader and writer
// (program/ProgramFile.h).

#include <string>

#include "app/MainState.h"
#include "program/ProgramFile.h"
#include "program/ProgramText.h"

// The program file, program text, save refusal and write of the window's
// program (its lines and module list).
inline std::string FormatProgramFile(const MainState& s) { return FormatProgramFile(s, s); }
inline std::string FormatProgramText(const MainState& s) { return FormatProgramText(s, s); }
inline std::string SaveRefusal(const MainState& s) { return SaveRefusal(s, s); }
inline std::string WriteProgramFile(const MainState& s, const std::string& path) {
    return WriteProgramFile(s, s, path);
}

// Puts the module list and the lines of data into the window's program:
// module types and list, lines, listing; the program is marked changed.
void TakeProgramData(MainState& s, const ProgramFileData& data);

// Whether the program and its module list are those of the file they were
// last opened from or saved to (the addresses and jump targets the assembly
// writes are not compared).
bool HoldsSavedContent(const MainState& s);
// After an undo or redo: shows the program saved when it is back to exactly
// what its file holds.
void ShowSavedIfUnchanged(MainState& s);

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
