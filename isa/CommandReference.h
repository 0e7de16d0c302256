#pragma once
// The command reference: every command of every family with its fields
// (caption, kind, range, unit, default), the bytes it becomes and its listing
// text.  Nothing here is written out by hand but the one-line summaries and
// what the status bits mean: the fields, ranges, units, defaults and items
// are the command descriptions' (isa/Describe.h), listed in the order the
// panel shows them, and the example bytes and listing come from the codec.
// The guide, `stepwright-cli help commands` and the builder's tool tips all
// read it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "isa/Describe.h"

struct FieldRef {
    enum Kind { Number, Text, Target, Check, Choice };
    Kind kind = Text;
    std::string id;                    // the field's id in the description
    std::string caption;               // as the panel shows it
    long long min = 0, max = 0;        // Number
    std::vector<int> only;             // Number: when only these values of the range are taken
    std::string unit;                  // Number: "" when the module decides
    int maxChars = 0;                  // Text and Target: the characters kept
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

// The fields of a command that hold a value, in the order its panel shows
// their controls: edits, check boxes, choices, the condition box.
std::vector<const isa::FieldDesc*> FieldsInPanelOrder(const isa::CommandDesc& command);

// Every command of the four families, in command list order (built once).
const std::vector<CommandRef>& CommandReference();
// The (family, command) of every one-line summary written for the reference,
// for the check that each names a command.
std::vector<std::pair<std::string, std::string>> SummarisedCommands();

// A numeric field's range and unit as one phrase: "0 to 60000 hundredths of a
// second", "1200, 2400, 9600 or 19200 baud".  The builder's tool tip of the
// field's edit.
std::string FieldRange(const FieldRef& field);
std::string FieldRange(const isa::FieldDesc& field);

// The reference as plain text (the command line) and as Markdown (the guide).
std::string CommandReferenceText();
std::string CommandReferenceMarkdown();
