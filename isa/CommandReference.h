#pragma once
// The command reference: every command of every family with its fields
// (caption, kind, range, unit, default), the bytes it becomes and its listing
// text.  Nothing here is written out by hand but the one-line summaries: the
// panels are laid out by the families' own click handlers, the ranges are the
// ones their encoders hand to ReadIntField, and the example bytes come from
// the encoders and FormatListingText.  The guide, `stepwright-cli help
// commands` and the builder's tool tips all read it.

#include <cstdint>
#include <string>
#include <vector>

#include "app/Form.h"

struct MainState;

struct FieldRef {
    enum Kind { Number, Text, Target, Check, Choice };
    Kind kind = Text;
    std::string control;               // object name of the edit, check box or choice
    std::string caption;               // as the panel shows it
    int min = 0, max = 0;              // Number
    std::vector<int> only;             // Number: when only these values of the range are taken
    std::string unit;                  // Number: "" when the module decides
    std::string initial;               // edit text, "checked"/"unchecked", or the item chosen
    std::vector<std::string> items;    // Choice
};

struct ConditionRef {
    std::string item;                  // as the condition list shows it
    uint8_t selector, value, mask;     // the condition triplet it becomes
    std::string meaning;               // what it tests
};

struct CommandRef {
    std::string family;                // "Master", "Servo", "Stepper", "I/O"
    std::string name;                  // as the command list shows it
    int index = 0;                     // place in the family's command list
    uint8_t code = 0;                  // the line's command code
    std::string classText;             // "Command Class" shown for it
    bool moduleFrame = false;          // 0xAA frame (else a master instruction)
    std::string summary;               // what it does
    std::vector<FieldRef> fields;
    std::vector<ConditionRef> conditions;
    int moduleAddress = 0;             // of the example
    std::string example;               // the field values of the example
    std::vector<uint8_t> bytes;        // the example's instruction bytes
    int patchOffset = -1;              // where the jump target's address goes, -1 none
    std::string listing;               // the example's listing text
};

// Every command of the four families, in command list order (built once).
const std::vector<CommandRef>& CommandReference();

// A numeric field's range and unit as one phrase: "0 to 60000 hundredths of a
// second", "1200, 2400, 9600 or 19200 baud".
std::string FieldRange(const FieldRef& field);

// The reference as plain text (the command line) and as Markdown (the guide).
std::string CommandReferenceText();
std::string CommandReferenceMarkdown();

// Tool tips of a family panel's numeric edits for the command just chosen:
// each gives its range and unit; every other edit of the panel gets none.
void ApplyFieldHints(MainState& s, const Ctl& panel, uint8_t commandCode);

// Called by ReadIntField with every numeric field it reads, so that the
// reference learns the ranges from the encoders themselves.
void NoteFieldRead(const Ctl& edit, int min, int max);
