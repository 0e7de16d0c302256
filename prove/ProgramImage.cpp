// A program file read and assembled for the explorer, without the window.

#include "program/ListingText.h"
#include "program/OpenProgram.h"
#include "prove/Explore.h"

namespace prove {

int ProgramImage::lineAt(uint16_t address) const {
    for (size_t i = 0; i < lineAddress.size(); ++i)
        if (lineAddress[i] == address) return int(i);
    return -1;
}

uint16_t ProgramImage::labelAddress(const std::string& label) const {
    for (size_t i = 0; i < lineLabel.size(); ++i)
        if (lineAddress[i] != 0xFFFF && lineLabel[i] == label) return lineAddress[i];
    return 0xFFFF;
}

std::string ReadProgramImage(const std::string& path, ProgramImage& out) {
    out = ProgramImage();
    OpenedProgram opened;
    AssemblyError error;
    if (const std::string why = OpenAndAssemble(path, opened, error); !why.empty())
        return error.line >= 0 ? why + " (line " + std::to_string(error.line + 1) + ")" : why;
    const ProgramFileData& data = opened.data;
    const ProgramState* state = opened.state.get();
    const ModuleTables* tables = opened.tables.get();
    out.image.assign(state->programImage, state->programImage + state->imageLength);
    out.moduleTypes.assign(data.moduleTypes.begin(), data.moduleTypes.end());
    for (int i = 0; i < state->lineCount; ++i) {
        const ProgramLine& l = state->lines[i];
        out.lineAddress.push_back(l.isComment() ? 0xFFFF : l.address);
        out.shownLine.push_back(size_t(i) < data.textLines.size() ? data.textLines[size_t(i)] : i + 1);
        out.lineLabel.push_back(l.isComment() ? std::string() : l.labelText());
        out.lineText.push_back(l.isComment() ? l.commentText()
                                             : isa::listingRow(StoredInstruction(l),
                                                               ModuleTypeOf(*tables, l.moduleAddress)));
    }
    return std::string();
}

}  // namespace prove
