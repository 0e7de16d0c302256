#pragma once
// Reading the program back from the master: the image (its length from the
// first block, then every block with Read block, as Verify reads them), the
// program lines it decodes into (program/Disassemble.h), and the comparison
// of the open program with the master's image.

#include <cstdint>
#include <string>
#include <vector>

#include "program/Disassemble.h"

struct MainState;
enum class MasterVerdict : uint8_t;

// The network's module types: the master at address 0, then the types that
// the last detection found (a type without a command class as 255).
std::vector<int> NetworkTypes(const MainState& s);

// Reads the master's image into image (its length bytes included).  0, or -1
// after its message: the not-responding procedure for a missing reply, or
// "Master holds no program" / "Program in master claims %d bytes - more than
// memory (16384)" for a length header that cannot be an image.  progressText
// is shown in the progress window while the blocks are read ("" shows none);
// the progress hook is told after every block.
int ReadMasterImage(MainState& s, std::vector<uint8_t>& image, const std::string& progressText);

// Reads the master's program and decodes it with the given module types.
// 0, or -1 after its message.
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

// Images up to this length are compared whole after a detection.
constexpr int kAutoCompareBytes = 1024;

// Compares the open program with the master's image: the length first, then
// (when the lengths agree and the image is at most kAutoCompareBytes long,
// or always when whole is set) every block.  Nothing happens off line, while
// a program runs or when no program is open; an open program that does not
// assemble is "Not compared".  No message but the not-responding procedure's.
void CompareWithMaster(MainState& s, bool whole);
// The menu's "Compare with master": the whole image, with the progress window.
void CompareWithMaster1Click(MainState& s);
