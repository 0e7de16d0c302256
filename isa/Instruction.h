#pragma once
// What all instruction families share: the numeric field rule, the build and
// load dispatch by module type, the common builder step when a command is
// chosen, the listing text of a line and the Execute Now frame length.
//
// Errors in the instruction set: a routine that reads the builder shows its
// own message and returns -1 (0 when it built); a bool helper on that road
// (ReadField, ChooseLoadedCommand) returns false after its message and its
// caller returns -1 at once.  A failed build leaves the builder record as far
// as it was written.  Listing text and byte helpers cannot fail.  Nothing
// throws.

#include <cstdint>
#include <string>

#include "app/Form.h"
#include "isa/Vocabulary.h"
#include "program/ProgramLine.h"

struct MainState;

// Reads a numeric edit by the "%d" scan rule (first 39 characters, leading
// blanks, sign, digits, stop at the first other character).  Returns the value,
// or min - 1 after "Invalid numeric value" or "Value out of range".
int ReadIntField(MainState& s, const Ctl& edit, int min, int max);

// The way every family reads a numeric field: true with the value, or false
// after the field's message, whereupon the encoder stops with -1.
bool ReadField(MainState& s, const Ctl& edit, int min, int max, int& value);

// The scan alone: true and the value when a number in int range was read;
// outOfRange is set when digits were read but the number does not fit an int.
bool ScanInt(const std::string& text, int& value, bool& outOfRange);

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

// Panel set-up: a control shown with its caption; a label shown with its
// caption beside an edit shown with its text; a check box shown with its
// caption, checked or not.
void ShowCaption(Ctl& c, const char* caption);
void ShowField(Ctl& label, const char* caption, Ctl& edit, const char* text = "");
void ShowCheck(Ctl& check, const char* caption, bool checked = false);
// A radio group shown with its first item selected; a condition combo box
// shown with nothing chosen.
void ShowRadioGroup(Ctl& group);
void ShowConditionBox(Ctl& box);

// The servo and stepper panels share one layout: labels 1 to 10, edits 1 to
// 9, check boxes 1 to 7, a radio group and a condition box.  Hides them all
// and unchecks the boxes 1, 2, 3 and 7, as a new command is laid out.
void ClearMotorPanel(Ctl (&labels)[11], Ctl (&edits)[10], Ctl (&checks)[8], Ctl& radioGroup, Ctl& conditionBox);
// The If-GoTo (waitFor false) or WaitFor layout of a motor panel: the goto
// label, or the timeout and the target on timeout; a heading over the
// condition box, shown with nothing chosen.
void ShowMotorConditionFields(Ctl (&labels)[11], Ctl (&edits)[10], Ctl& conditionBox, bool waitFor);

// Index of code in a family's command codes (its combo box order), -1 when
// the code has no row.
template <int N>
int IndexOfCode(const uint8_t (&codes)[N], uint8_t code) {
    for (int i = 0; i < N; ++i)
        if (codes[i] == code) return i;
    return -1;
}

// First step of every loader: the line's command (its index in box) is
// chosen as a click in the family's combo box does.  false when the code has
// no row: the builder then stays as it is.
bool ChooseLoadedCommand(MainState& s, Ctl& box, int index, void (*click)(MainState&));

// First step of every encoder: the label from LabelEdit, no jump target,
// byte 1 and the command code in byte 2.
void StartEncoding(MainState& s, ProgramLine& line, uint8_t byte1);

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

