#pragma once
// Pure encode, decode and listing of instructions, from the command
// descriptions of isa/Describe.h alone: no builder state, no panels.
//
//   encode  command + field values + module address -> the instruction bytes,
//           length, patch position and goto-label the builder makes, or the
//           refusal it shows (the field and its messages);
//   decode  an instruction and its module's type -> the command and the
//           values its loader puts into the panel;
//   listingText  the line's text in the listing.
//
// Numbers are read by the builder's numeric field rule (readNumber); texts
// are cut as the builder cuts them.  Nothing here throws.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "isa/Describe.h"

namespace isa {

// An instruction as a program line holds it.
struct Encoded {
    std::array<uint8_t, kInstructionBytes> bytes{};   // 0 past length
    uint8_t length = 0;
    uint8_t commandCode = 0;   // the line's code (the stepper's velocity-mode Move keeps 0x74)
    uint8_t patchOffset = 0;   // where assembly writes the goto address; 0 when it does not jump
    std::string gotoLabel;     // at most 15 characters; empty when it does not jump
};

// A build the builder refuses: the field (its id; "condition" or "bit" when
// nothing is chosen) and the messages it shows, in order.  ChangeBaud shows
// two when its number is refused.
struct Refusal {
    std::string field;
    std::vector<std::string> messages;
};

using EncodeResult = std::variant<Encoded, Refusal>;

// Builds the instruction of command from values; a field not given has its
// default.  A value of the wrong type, or an id the command does not have,
// is refused with a message of its own.
EncodeResult encode(const CommandDesc& command, const FieldValues& values, uint8_t moduleAddress);

struct Decoded {
    const CommandDesc* command = nullptr;   // null: the loader loads nothing
    FieldValues values;                     // every field that holds a value, in field order
};

// The command of an instruction in the family of moduleType, by its command
// code, and the panel's values after loading it.
Decoded decode(const Encoded& instruction, int moduleType);

// The numeric field rule: up to 39 characters, leading white space, an
// optional sign, decimal digits up to the first other character.  nullptr
// with the value, or "Invalid numeric value" / "Value out of range".
const char* readNumber(std::string_view text, long long min, long long max, long long& value);

// The mnemonic column of a line: master rows for byte 0 = 0xBB, else the rows
// of the module type's family; "" when there is no row.
std::string listingRow(const Encoded& instruction, int moduleType);

// The whole listing text: the label column (8 characters and a blank), the
// module address ("%2X "), the mnemonic.
std::string listingText(std::string_view label, uint8_t moduleAddress, const Encoded& instruction, int moduleType);

// Number of bytes Execute Now sends for an instruction, from its first three
// bytes: a module frame's n + 5 (n = high nibble of byte 2), SetOutputs' byte
// 1 + 3 (at most kInstructionBytes), or -1 for a master instruction that
// cannot be executed at once.
int executeNowLength(const uint8_t* bytes);

}  // namespace isa
