// A program file read and assembled for the explorer, without the window.

#include <memory>

#include "program/Assembly.h"
#include "program/ListingText.h"
#include "program/ProgramFile.h"
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
    ProgramFileData data;
    const std::string why = ReadProgramFile(path, data);
    if (!why.empty()) return why;
    return ProgramImageOf(data, out);
}

std::string ProgramImageOf(const ProgramFileData& data, ProgramImage& out) {
    out = ProgramImage();
    auto state = std::make_unique<ProgramState>();
    auto tables = std::make_unique<ModuleTables>();
    TakeModuleList(*tables, data);
    TakeLines(*state, data);
    AssemblyError error;
    if (AssembleProgram(*state, error) != 0)
        return error.line >= 0 ? error.text + " (line " + std::to_string(error.line + 1) + ")" : error.text;
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
