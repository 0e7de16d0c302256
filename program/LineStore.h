#pragma once
// The line store: the program's records in order, edited by index.  The
// listing that shows them is the window's (app/Editing.h keeps it in step).
//
// Errors in the program layer: nothing here shows a message or asks the user.
// A routine tells its caller what went wrong and the caller (the window's
// handler in app/) shows it: a refusal as false or -1 with an error record,
// a reading or writing failure as the reason in text, "" when it succeeded.
// A refused action leaves the program unchanged.  Nothing throws.

#include <cstdint>

#include "program/ProgramState.h"

// Inserts a record at index k; the breakpoint moves with its line.  false
// when the line store is full or k is outside 0 .. lineCount.
bool InsertRecord(ProgramState& p, int k, const ProgramLine& line);
// Removes record k; a breakpoint on it is forgotten.  false when there is no
// record k.
bool RemoveRecord(ProgramState& p, int k);
// Index of the first instruction at address, or lineCount (the end marker)
// when none starts there.
int LineAtAddress(const ProgramState& p, uint16_t address);
// Empties the program: no lines, no image, no labels, the current line 0.
void ClearLines(ProgramState& p);
