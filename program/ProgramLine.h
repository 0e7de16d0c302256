#pragma once
// The program line record: one line of the listing, either an instruction
// (label, addresses, goto-label, patch position and the instruction bytes) or a
// comment, whose text starts with ';' in the first byte and runs over the
// places of the fields.  The record is plain bytes: it is copied whole, written
// to program files field by field and never holds a pointer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "isa/Codec.h"

constexpr int kMaxLines = 8192;          // line store and copy buffer
constexpr int kLabelChars = 15;          // label and goto-label text the builder lets in
constexpr int kCommentChars = 60;        // ';' plus 59 characters
constexpr int kMaxInstrBytes = 24;

struct ProgramLine {
    char label[18];            // NUL-terminated; empty = no label
    uint16_t address;          // image address of the first byte (assembly)
    char gotoLabel[18];        // NUL-terminated; empty = no jump target
    uint16_t targetAddress;    // resolved goto-label (assembly)
    uint8_t patchOffset;       // index into bytes of the target address
    uint8_t bytes[kMaxInstrBytes];
    uint8_t length;            // bytes in use
    uint8_t commandCode;
    uint8_t moduleAddress;     // 0 is the master

    bool isComment() const { return label[0] == ';'; }

    // Text of a comment line: the record's bytes up to the first NUL.
    std::string commentText() const {
        const char* p = reinterpret_cast<const char*>(this);
        size_t n = 0;
        while (n < sizeof(ProgramLine) - 1 && p[n] != '\0') ++n;
        return std::string(p, n);
    }

    // Makes this record a comment line holding text (cut to 60 characters).
    void setComment(const std::string& text) {
        std::memset(this, 0, sizeof(ProgramLine));
        size_t n = text.size() < size_t(kCommentChars) ? text.size() : size_t(kCommentChars);
        std::memcpy(reinterpret_cast<char*>(this), text.data(), n);
    }

    std::string labelText() const { return std::string(label, strnlen(label, sizeof label)); }
    std::string gotoLabelText() const { return std::string(gotoLabel, strnlen(gotoLabel, sizeof gotoLabel)); }
    void setLabel(const std::string& text) { setField(label, text); }
    void setGotoLabel(const std::string& text) { setField(gotoLabel, text); }

private:
    static void setField(char (&field)[18], const std::string& text) {
        std::memset(field, 0, sizeof field);
        size_t n = text.size() < size_t(kLabelChars) ? text.size() : size_t(kLabelChars);
        std::memcpy(field, text.data(), n);
    }
};

// Characters that a text field (label, goto-label, comment) cannot hold in a
// program file: a line break ends the field's file line, a NUL ends its text.
inline bool FileCannotCarry(char c) { return c == '\n' || c == '\r' || c == '\0'; }

// Text for a label, goto-label or comment as typed or pasted: NULs are dropped
// and every run of line breaks becomes one blank (none at either end), so that
// the field reads back from the file exactly as it is shown.
inline std::string CleanTextField(const std::string& text) {
    std::string out;
    bool pendingBreak = false;
    for (char c : text) {
        if (c == '\0') continue;
        if (c == '\n' || c == '\r') {
            pendingBreak = !out.empty();
            continue;
        }
        if (pendingBreak) out += ' ';
        pendingBreak = false;
        out += c;
    }
    return out;
}

// Whether the two bytes of a jump address fit the instruction at patchOffset:
// after the three header bytes and inside its length.
inline bool PatchFits(const ProgramLine& line) {
    return line.patchOffset >= 3 && int(line.patchOffset) + 2 <= int(line.length);
}

// A line's instruction as the codec takes it.
inline isa::Encoded StoredInstruction(const ProgramLine& line) {
    isa::Encoded stored;
    std::memcpy(stored.bytes.data(), line.bytes, sizeof line.bytes);
    stored.length = line.length;
    stored.commandCode = line.commandCode;
    stored.patchOffset = line.patchOffset;
    stored.gotoLabel = line.gotoLabelText();
    return stored;
}

// Number of bytes Execute Now sends for the line's instruction (isa::executeNowLength).
inline int ExecuteNowLength(const ProgramLine& line) { return isa::executeNowLength(line.bytes); }

static_assert(sizeof(ProgramLine) == 68, "ProgramLine must be exactly 68 bytes");
static_assert(offsetof(ProgramLine, label) == 0);
static_assert(offsetof(ProgramLine, address) == 18);
static_assert(offsetof(ProgramLine, gotoLabel) == 20);
static_assert(offsetof(ProgramLine, targetAddress) == 38);
static_assert(offsetof(ProgramLine, patchOffset) == 40);
static_assert(offsetof(ProgramLine, bytes) == 41);
static_assert(offsetof(ProgramLine, length) == 65);
static_assert(offsetof(ProgramLine, commandCode) == 66);
static_assert(offsetof(ProgramLine, moduleAddress) == 67);
