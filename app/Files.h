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
inline std::string FormatSavedProgramFile(const MainState& s, std::string& bytes) {
    return FormatSavedProgramFile(s, s, bytes);
}
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
// first (Yes puts it back into the file).  read: the file's content as the
// caller has already read and parsed it (ReadProgramFile's data), taken in
// place of reading it again unless a backup was put back.
bool OpenProgramFile(MainState& s, const std::string& path, const ProgramFileData* read = nullptr);
// Open's first half, for a caller that needs the program's records but not
// the window: the backup offered, then the file at fullPath read into data
// (or read taken).  False after the message.
bool ReadForOpen(MainState& s, const std::string& fullPath, ProgramFileData& data,
                 const ProgramFileData* read = nullptr);
// Open without the dialog (a file named at start or dropped on the window):
// asks first about unsaved changes, as Open does.
bool OpenGivenFile(MainState& s, const std::string& path);
