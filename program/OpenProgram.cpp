#include "program/OpenProgram.h"

std::string OpenAndAssemble(const std::string& path, OpenedProgram& out, AssemblyError& error) {
    out = OpenedProgram();
    error = AssemblyError();
    if (std::string why = ReadProgramFile(path, out.data); !why.empty()) return why;
    TakeModuleList(*out.tables, out.data);
    TakeLines(*out.state, out.data);
    if (AssembleProgram(*out.state, error) != 0) return error.text;
    return std::string();
}
