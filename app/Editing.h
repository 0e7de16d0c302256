#pragma once
// The listing editor: the operations behind the listing buttons and the
// listing's mouse and keyboard events, over the line store
// (program/LineStore.h) and the listing that shows it.
//
// Errors: a handler shows its own message and returns nothing; a routine
// that the user's action runs shows its own message and returns -1 (0 on
// success).  A refused action leaves the program unchanged.  Nothing throws.

#include <cstdint>
#include "program/ProgramLine.h"
struct MainState;
class Listing;

// Listing buttons and builder buttons
void AddInstrButtonClick(MainState& s);
void ChangeButtonClick(MainState& s);
void CommentButtonClick(MainState& s);
void DeleteButtonClick(MainState& s);
void ClearButtonClick(MainState& s);
void CopyButtonClick(MainState& s);
void CutButtonClick(MainState& s);
void PasteButtonClick(MainState& s);

// Listing events.  The view has already recorded its own selection and focus
// item in s.listing before these run.
void ProgramListBoxClick(MainState& s);
// Loads line currentLine into the builder as a click on it does: the module,
// command and panel of an instruction with its label, the text of a comment;
// nothing for the end marker.
void ShowCurrentLineInBuilder(MainState& s);
void ProgramListBoxMouseDown(MainState& s, bool ctrl);
void CommentEditChange(MainState& s);
void GroupBox2Enter(MainState& s);

// Routines other parts call
// Assembles the program (program/Assembly.h); 0, or -1 after showing why in
// the listing and with its message.
int AssembleProgram(MainState& s);
void MarkProgramChanged(MainState& s);
void DeselectAllLines(MainState& s);
// Selects the line at the master's program address alone, makes it the
// current line, marks it as the executing line and scrolls it into view.
// For the user's own Stop and Step: edits then act on where the program stopped.
void ShowLineAtAddress(MainState& s, uint16_t address);
// Marks the line at the master's program address as the executing line and
// scrolls it into view, leaving the selection and the current line, on which
// every edit acts, where the user put them.  For the poll while a program runs.
void ShowExecutingLine(MainState& s, uint16_t address);
void ClearBreakpointMark(MainState& s);
void CopySelectedLines(MainState& s);
// Whether the selected items form one contiguous block (or none is selected).
bool SelectionIsOneBlock(const Listing& listing);
// A selection with a gap is collapsed to the focus item (or the current line),
// so that Cut and Copy always act on one block.
void KeepSelectionOneBlock(MainState& s);

// Inserts a record (and its listing item) at index k; false when the line
// store is full (the caller refuses with a message).
bool InsertLine(MainState& s, int k, const ProgramLine& line);
void RemoveLine(MainState& s, int k);
// Scrolling rules that keep the current line in view.
void ScrollRuleA(MainState& s);
void ScrollRuleB(MainState& s, int line);
// Rebuilds ProgramListBox from the line store (end marker included), selects
// item 0 and sets currentLine to 0.
void RebuildListing(MainState& s);
