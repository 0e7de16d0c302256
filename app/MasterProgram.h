#pragma once
// The program in the master as the window sees it: reading it back (the
// image from link/Upload.h, decoded into program lines by
// program/Disassemble.h) and opening it, and the comparison of the open
// program with the master's image.

#include <cstdint>
#include <string>
#include <vector>

#include "program/Compare.h"
#include "program/Disassemble.h"

struct MainState;
enum class MasterVerdict : uint8_t;

// The network's module types: the master at address 0, then the types that
// the last detection found (a type without a command class as 255).
std::vector<int> NetworkTypes(const MainState& s);

// Reads the master's program, with "Reading program from master.." in the
// progress window, and decodes it with the given module types.  0, or -1
// after its message (link/Upload.h, ReadMasterImage).  An image longer than
// assembly can make (above 16368 bytes) is decoded all the same, after a
// message that it will not assemble again.
int UploadProgram(MainState& s, const std::vector<int>& moduleTypes, Disassembly& out);

// Puts a decoded program into the window as a new, unsaved, untitled
// program: the network's module list and the lines.
void TakeUploadedProgram(MainState& s, const Disassembly& d);

// "Read from master...": asks about unsaved work as Open does, reads the
// program and opens it as a new untitled program.
void ReadFromMaster1Click(MainState& s);

// The verdict of the last comparison, as long as the program has not been
// edited or replaced since; Unknown otherwise.
MasterVerdict CurrentMasterVerdict(const MainState& s);
void SetMasterVerdict(MainState& s, MasterVerdict verdict);
// The status line's words for a verdict; "" for Unknown.
const char* MasterVerdictText(MasterVerdict verdict);

// Compares the open program with the master's image (link/Upload.h,
// CompareMasterImage): after a detection only images up to kAutoCompareBytes
// long are read whole, with whole set always.  A master found holding the
// program, every block compared, is loaded as after Verify (the
// baud-change message, or Run, Stop, Break and Step enabled; "  Loaded  ";
// the program positioned at its start).  Nothing happens off line or when no
// program is open; a running program goes on (the blocks are read as Read
// from master reads them); an open program that does not assemble is "Not
// compared".  No message but the not-responding procedure's and the
// baud-change message.
void CompareWithMaster(MainState& s, bool whole);

enum class CompareOutcome : uint8_t { Same, Different, Empty, NotAssembled, NoReply, Unreliable };
// Reads the master's whole image (as Read from master reads it) and sets the
// open program, assembled on a copy, against it: out holds the lines (for
// Same and Different).  No message but the not-responding procedure's and
// that of a block that cannot be read reliably; the progress notice, shown
// by the caller or not, is hidden at every end.
CompareOutcome CompareProgramWithMaster(MainState& s, ProgramComparison& out);
// The menu's "Compare with master": the whole image, with the progress
// window; a difference lists the differing lines (Platform::showMasterDifferences).
void CompareWithMaster1Click(MainState& s);
