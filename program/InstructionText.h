#pragma once
// One instruction line of the program text, and the bridge between it and the
// command descriptions (isa/Describe.h).  A line's words are the stable ids of
// its command's fields: a number or text is id=value, a check box its id
// alone, a choice the id of its item (with =value when the item has a field
// beside it, as If-GoTo's counter-1=5), and the jump target "-> LABEL".  A
// line is built by isa::encode on the values it names; a record is read back
// by isa::decode.  A record that no line rebuilds exactly is read in the raw
// form, which holds its bytes as they are.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "program/ProgramLine.h"

// A field as written on a line: name=value, or a word alone (a check box, a
// choice's item).
struct TextField {
    std::string name;
    bool hasValue = false;
    std::string value;
    int column = 0;  // 1-based column of the name
};

struct InstructionText {
    std::string label;
    int labelColumn = 0;
    int module = 0;
    int moduleColumn = 0;
    std::string command;  // the command's name, or kRawCommand
    int commandColumn = 0;
    std::vector<TextField> fields;
    bool hasTarget = false;  // "-> LABEL": the label the command jumps to
    std::string target;
    int targetColumn = 0;
    bool hasPatched = false;  // "@HHHH": the address written in place of the jump target
    uint16_t patched = 0;
    int patchedColumn = 0;
};

// The command word of the raw form: code=HH bytes="HH HH ..." [patch=N].
constexpr const char* kRawCommand = "raw";

// Why a line was refused: where, which field ("" when none), and the message.
struct LineError {
    int column = 0;
    std::string field;
    std::string message;
};

class InstructionTexts {
public:
    // moduleTypes holds the module list's type codes, for addresses 0 up to
    // its size - 1; addresses beyond it have no command class.
    explicit InstructionTexts(const std::vector<int>& moduleTypes);

    // Builds the record of an instruction line; false with the reason.
    bool build(const InstructionText& text, ProgramLine& line, LineError& error) const;

    // The text of an instruction record: its command's fields when building
    // them gives the record back exactly, else its raw form.
    InstructionText read(const ProgramLine& line) const;

    // The field names of a command ("name=" for a field with a value, "->"
    // for the jump target), in the order they are written; empty for a type
    // or index without one.
    static std::vector<std::string> fieldNames(int moduleType, int commandIndex);

private:
    int types_[32];
    int listSize_;
};

// A word of the text as a message quotes it: cut to 40 characters and "..."
// when it is longer, so that a message stays readable whatever the line holds.
std::string CutForMessage(const std::string& text);
