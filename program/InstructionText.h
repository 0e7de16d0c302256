#pragma once
// One instruction line of the program text, and the bridge between it and the
// builder panels.  A line is built as the builder builds it: the family's
// panel is laid out by its command box's click handler, filled from the
// line's fields, and the family's encoder makes the bytes.  A record is read
// back the other way: the family's loader fills the panel and the fields are
// read off it.  A record that no panel rebuilds exactly is read in the raw
// form, which holds its bytes as they are.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "program/ProgramLine.h"

// A field as written on a line: name=value, or a word alone (a check box, a
// radio item, a condition).
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
    std::string command;  // the command box's item, or kRawCommand
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
    ~InstructionTexts();
    InstructionTexts(const InstructionTexts&) = delete;
    InstructionTexts& operator=(const InstructionTexts&) = delete;

    // Builds the record of an instruction line; false with the reason.
    bool build(const InstructionText& text, ProgramLine& line, LineError& error);

    // The text of an instruction record: its panel's fields when building
    // them gives the record back exactly, else its raw form.
    InstructionText read(const ProgramLine& line);

    // The field names of a command ("name=" for a field with a value), in
    // the order they are written; empty for a type or index without one.
    std::vector<std::string> fieldNames(int moduleType, int commandIndex);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A word of the text as a message quotes it: cut to 40 characters and "..."
// when it is longer, so that a message stays readable whatever the line holds.
std::string CutForMessage(const std::string& text);

// The name of a panel control in the text: its caption in lower case, words
// joined by '-', parenthesised remarks left out ("Timeout (.01 sec)" is
// timeout, "Min. Speed" min-speed, "Home Sw. LO" home-sw-lo).
std::string FieldNameOf(const std::string& caption);
