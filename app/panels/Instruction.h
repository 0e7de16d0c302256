#pragma once
// What all the builder's panels share: the build and load dispatch by module
// type and the common builder step when a command is chosen.  The commands
// themselves are data (isa/Describe.h, isa/desc/), encoded and decoded by
// isa/Codec.h; the panels are laid out, read and filled by app/panels/Panel.h.
// A line's listing text and module type are program/ListingText.h's, the
// Execute Now length and the byte helpers the instruction set's
// (isa/Codec.h, isa/Vocabulary.h); they come with this header.
//
// Errors in the instruction set: a build shows its refusal's messages and
// returns -1 (0 when it built); a refused build leaves the builder record as
// it was.  Nothing throws.

#include <cstdint>
#include <string>

#include "app/Form.h"
#include "isa/Codec.h"
#include "isa/Vocabulary.h"
#include "program/ListingText.h"
#include "program/ProgramLine.h"

struct MainState;

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
