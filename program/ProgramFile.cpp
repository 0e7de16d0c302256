// Placeholder: replaced when this part is built.
#include "program/ProgramFile.h"
#include "app/MainState.h"
std::string FormatProgramFile(const MainState&) { return std::string(); }
std::string ParseProgramFile(const std::string&, ProgramFileData&) { return "not built"; }
std::string WriteProgramFile(const MainState&, const std::string&) { return "not built"; }
void SaveButtonClick(MainState&) {}
void OpenButtonClick(MainState&) {}
bool SaveProgram(MainState&) { return false; }
bool OpenProgramFile(MainState&, const std::string&) { return false; }
