#pragma once
// What all instruction families share: the build and load dispatch by module
// type, the common builder step when a command is chosen, the listing text of
// a line and the Execute Now frame length.  The commands themselves are data
// (isa/Describe.h, isa/desc/), encoded and decoded by isa/Codec.h; the panels
// are laid out, read and filled by app/panels/Panel.h.
//
// Errors in the instruction set: a build shows its refusal's messages and
// returns -1 (0 when it built); a refused build leaves the builder record as
// it was.  Listing text and byte helpers cannot fail.  Nothing throws.

#include <cstdint>
#include <string>

#include "app/Form.h"
#include "isa/Codec.h"
#include "isa/Vocabulary.h"
#include "program/ProgramLine.h"

struct MainState;

// Module type of an address in the module list (moduleTypes), 255 beyond 31.
int ModuleTypeOf(const MainState& s, int address);

// Builds s.builderLine from the builder by the family of its module address.
// 0 = built; -1 = a field was rejected (message shown) or the module type has
// no encoder (no message).
int BuildInstruction(MainState& s);

// Load dispatch: fills the builder's controls from s.builderLine by the family
// of its module address.  Does nothing for a type without a loader.
void LoadInstruction(MainState& s);

// Step 2 of the builder: a command was chosen in a class's combo box.  Shows
// the family's panel (hiding the others), clears LabelEdit, enables Add and
// Change (and Execute Now while on line), sets the class and command texts and
// writes byte 0 and the command code into the builder record.
void CommandChosen(MainState& s, Ctl& panel, const char* classText, uint8_t byte0, uint8_t commandCode,
                   const std::string& commandName);

// Hides the four builder panels.
void HideAllPanels(MainState& s);

// The listing text of a line (comment lines as stored).
std::string FormatListingText(const MainState& s, const ProgramLine& line);


// Number of bytes Execute Now sends for an instruction: a module frame's
// n + 5 (n = high nibble of byte 2), SetOutputs' byte 1 + 3, or -1 for a master
// instruction that cannot be executed at once.
int ExecuteNowLength(const ProgramLine& line);

// Little-endian helpers for instruction bytes.
void PutU16(uint8_t* p, uint32_t v);
void PutU32(uint8_t* p, uint32_t v);
uint16_t GetU16(const uint8_t* p);
int32_t GetI32(const uint8_t* p);

