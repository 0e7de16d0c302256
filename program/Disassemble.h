#pragma once
// A program image read back from a master, turned into program lines again.
//
// The image is walked from address 2 on.  A master instruction or a module
// frame that the instruction set's descriptions build again byte for byte
// (with the module types of the network) becomes an instruction line of its
// command; anything else becomes raw lines that hold the bytes as they are,
// so that nothing is lost: assembling the lines gives the image back exactly
// (for an image up to 16368 bytes: near the end the lines are cut so that
// none starts above 16344).  A master instruction whose module is absent or
// of another type still keeps its jump: a raw line with its goto-label.
// Every jump address that points at the start of a line becomes a label there,
// named after its address ("L_0123"); FFFF becomes the goto-label "NULL"; a
// jump into the middle of a line (or past the 1024 labels that assembly
// takes) keeps its address bytes and has no goto-label.
//
// Pure: no state, no messages, nothing thrown.

#include <cstdint>
#include <string>
#include <vector>

#include "program/ProgramFile.h"

struct Disassembly {
    ProgramFileData program;   // the network's module list and the lines
    int instructionLines = 0;  // lines of a command
    int rawLines = 0;          // lines that hold bytes no command builds
    int labels = 0;            // labels made at jump targets
    int jumpsInside = 0;       // jumps kept as addresses: into a line's middle or past the image
    int guesses = 0;           // instructions of two families' identical bytes taken for one
                               // without a module addressed before them to tell (a comment
                               // line before each says so)
    // Whether the lines assemble again: an image that ends above 16368 (the
    // last line that assembly takes starts at 16344 and holds 24 bytes)
    // cannot be written as lines at all.
    bool fits = true;
};

// The end of the longest image that assembly makes: a line starts at 16344
// at the latest and holds at most 24 bytes.
constexpr int kLastAssembledByte = 16368;

// The label made for a jump target at address.
std::string TargetLabel(uint16_t address);

// image: the whole image, its two length bytes included (image.size() is the
// length; the header's own value is not read).  moduleTypes: the type code of
// each network address from 0 (the master, 127) on; an address beyond it, or
// of a type without a command class, has no commands.
Disassembly Disassemble(const std::vector<uint8_t>& image, const std::vector<int>& moduleTypes);
