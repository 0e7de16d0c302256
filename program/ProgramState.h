#pragma once
// The program as the editor, the assembler and the files hold it: the line
// store, the builder's record, the copy buffer, the assembled image with its
// label table, and the module list that travels with a program file.  Plain
// fixed-size records; the window's state (app/MainState.h) is built on them,
// and every routine of program/ takes the part it works on.

#include <cstdint>

#include "program/ProgramLine.h"

constexpr int kImageSize = 16384;
constexpr int kMaxLabels = 1024;
constexpr int kMaxModules = 31;          // slave modules, addresses 1 to 31
constexpr const char* kEndMarker = "            [END]";

struct LabelEntry {
    char name[16];
    uint16_t address;
};

struct ProgramState {
    ProgramState();

    // Line store and listing editor
    ProgramLine lines[kMaxLines];
    int32_t lineCount = 0;
    int32_t currentLine = 0;
    ProgramLine builderLine;
    ProgramLine copyBuffer[kMaxLines];
    int32_t copyCount = 0;
    int32_t breakpointLine = -1;

    // Assembly
    LabelEntry labelTable[kMaxLabels];
    uint16_t labelCount = 0;
    uint8_t programImage[kImageSize];
    uint16_t imageLength = 0;
    uint16_t addressCounter = 0;
    bool programHasBaudChange = false;

    // Counted for the edit history (program/Undo.h): runs of
    // MarkProgramChanged, and programs read from a file.
    uint64_t programEdits = 0;
    uint64_t programOpens = 0;
};

// The module list: the type the program expects at each address (saved with
// the program) and the types the last detection found on the network.
struct ModuleTables {
    ModuleTables();

    int32_t moduleTypes[32];
    uint8_t moduleListCount = 0;
    bool moduleListDefined = false;
    int32_t detectedTypes[32];        // entries 1 to 31 are used
    bool moduleMismatch = false;
};
