#include "program/ProgramFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "isa/Format.h"
#include "isa/Vocabulary.h"
#include "program/ProgramText.h"

namespace {

constexpr const char* kCouldNotOpen = "Could not open file";
// A full program file is about 1.2 MB; anything far beyond that is refused
// rather than read into memory.
constexpr size_t kMaxFileBytes = kMaxProgramFileBytes;

// ---------------------------------------------------------------------------
// Reading

// Reads the text of a program file: numbers in free format, label and comment
// lines whole.  Every failure names the file line it happened on.
class Reader {
public:
    explicit Reader(const std::string& bytes) : b_(bytes) {}

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

    // Decimal number, optionally signed.  what names the item for the message.
    bool decimal(const char* what, long long& value) {
        if (!skipBlanks(what)) return false;
        size_t p = pos_;
        bool negative = false;
        if (b_[p] == '+' || b_[p] == '-') negative = b_[p++] == '-';
        long long v = 0;
        size_t digits = 0;
        while (p < b_.size() && b_[p] >= '0' && b_[p] <= '9') {
            if (v > INT32_MAX) return fail(Format("the %s is too large", what));
            v = v * 10 + (b_[p] - '0');
            ++p;
            ++digits;
        }
        if (digits == 0 || !endsToken(p)) return fail(Format("the %s is not a decimal number", what));
        if (v > INT32_MAX) return fail(Format("the %s is too large", what));
        value = negative ? -v : v;
        pos_ = p;
        endedFile_ = p >= b_.size();
        return true;
    }

    // Hexadecimal number without prefix, upper or lower case digits.
    bool hex(const char* what, uint32_t& value) {
        if (!skipBlanks(what)) return false;
        size_t p = pos_;
        uint64_t v = 0;
        size_t digits = 0;
        int d;
        while (p < b_.size() && (d = HexDigit(b_[p])) >= 0) {
            v = v * 16 + uint64_t(d);
            if (v > UINT32_MAX) return fail(Format("the %s is too large", what));
            ++p;
            ++digits;
        }
        if (digits == 0 || !endsToken(p)) return fail(Format("the %s is not a hexadecimal number", what));
        value = uint32_t(v);
        pos_ = p;
        endedFile_ = p >= b_.size();
        return true;
    }

    // The next text line whole, without its line end (LF or CR LF).
    bool line(const char* what, std::string& text) {
        if (pos_ >= b_.size()) return fail(Format("the file ends where the %s should be", what));
        size_t end = b_.find('\n', pos_);
        size_t next = end == std::string::npos ? b_.size() : end + 1;
        if (end == std::string::npos) end = b_.size();
        // A line that stops at the end of the file without a line end (not
        // even the CR of one) may have been cut short.
        endedFile_ = end == b_.size() && (end == pos_ || b_[end - 1] != '\r');
        if (end > pos_ && b_[end - 1] == '\r') --end;
        text.assign(b_, pos_, end - pos_);
        pos_ = next;
        if (next > 0 && b_[next - 1] == '\n') ++lineNo_;
        return true;
    }

    // Skips what is left of the current line, its line end included.
    void restOfLine() {
        size_t end = b_.find('\n', pos_);
        if (end == std::string::npos) {
            pos_ = b_.size();
        } else {
            pos_ = end + 1;
            ++lineNo_;
        }
    }

    bool fail(const std::string& what) { return failAt(lineNo_, what); }
    bool failAt(int line, const std::string& what) {
        if (error_.empty()) error_ = Format("line %d: ", line) + what;
        return false;
    }
    int lineNo() const { return lineNo_; }
    // The last item read ran up to the end of the file with nothing after it.
    bool endedFile() const { return endedFile_; }

private:
    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    }
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

    // Blanks and line ends before a number; false at the end of the file.
    bool skipBlanks(const char* what) {
        while (pos_ < b_.size() && IsBlank(b_[pos_])) {
            if (b_[pos_] == '\n') ++lineNo_;
            ++pos_;
        }
        if (pos_ >= b_.size()) return fail(Format("the file ends where the %s should be", what));
        return true;
    }
    // A number ends at a blank, a line end or the end of the file.
    bool endsToken(size_t p) const { return p >= b_.size() || IsBlank(b_[p]); }

    const std::string& b_;
    size_t pos_ = 0;
    int lineNo_ = 1;
    bool endedFile_ = false;
    std::string error_;
};

bool ReadModuleList(Reader& r, ProgramFileData& out) {
    long long count = 0;
    if (!r.decimal("module count", count)) return false;
    if (count < 0) return r.fail(Format("the module count %lld is negative", count));
    if (count > kMaxModules) return r.fail(Format("the module count %lld is more than %d", count, kMaxModules));
    out.moduleListCount = int(count);
    out.moduleTypes.clear();
    for (int i = 0; i <= out.moduleListCount; ++i) {
        long long t = 0;
        if (!r.decimal("module type", t)) return false;
        out.moduleTypes.push_back(int(t));
    }
    return true;
}

bool ReadInstruction(Reader& r, ProgramLine& line) {
    uint32_t value = 0;
    if (!r.hex("line address", value)) return false;
    line.address = uint16_t(value);
    r.restOfLine();

    std::string gotoLabel;
    const int gotoLine = r.lineNo();
    if (!r.line("goto-label", gotoLabel)) return false;
    line.setGotoLabel(gotoLabel);
    if (line.gotoLabelText().find('\r') != std::string::npos)
        return r.failAt(gotoLine, "the goto-label holds a carriage return, which a program file cannot store");

    if (!r.hex("target address", value)) return false;
    line.targetAddress = uint16_t(value);
    if (!r.hex("patch position", value)) return false;
    line.patchOffset = uint8_t(value);
    const int patchLine = r.lineNo();
    if (!r.hex("module address", value)) return false;
    line.moduleAddress = uint8_t(value);
    if (!r.hex("command code", value)) return false;
    line.commandCode = uint8_t(value);

    long long length = 0;
    if (!r.decimal("byte count", length)) return false;
    if (length < 0) return r.fail(Format("the byte count %lld is negative", length));
    if (length > kMaxInstrBytes)
        return r.fail(Format("the byte count %lld is more than %d", length, kMaxInstrBytes));
    line.length = uint8_t(length);
    for (int k = 0; k < line.length; ++k) {
        if (!r.hex("instruction byte", value)) return false;
        line.bytes[k] = uint8_t(value);
    }
    // The assembly writes the jump address there: it must stay inside the
    // instruction and off its header.
    if (line.gotoLabel[0] != '\0' && !PatchFits(line))
        return r.failAt(patchLine, Format("the patch position %d leaves no room for the jump address in %d bytes",
                                          int(line.patchOffset), int(line.length)));
    r.restOfLine();
    // With no bytes the count's line was just skipped; the block still holds
    // its (empty) byte line, which must not be taken for the next line's label.
    if (line.length == 0) r.restOfLine();
    return true;
}

// ---------------------------------------------------------------------------
// Files

// Reads at most kMaxFileBytes + 1 bytes of path; false when it is not a
// regular file or cannot be read.  A pipe or device is never opened, so
// nothing here can wait for a writer.
bool ReadFileBytes(const std::string& path, std::string& bytes) {
    return ReadFileBounded(path, kMaxFileBytes, bytes) != BoundedRead::CannotOpen;
}

// The record as the program file gives it back: comments by their text,
// instructions field by field (bytes beyond the length do not count).
bool SameAsReadBack(const ProgramLine& a, const ProgramLine& b) {
    if (a.isComment() || b.isComment()) return a.isComment() && b.isComment() && a.commentText() == b.commentText();
    return a.labelText() == b.labelText() && a.address == b.address && a.gotoLabelText() == b.gotoLabelText() &&
           a.targetAddress == b.targetAddress && a.patchOffset == b.patchOffset &&
           a.moduleAddress == b.moduleAddress && a.commandCode == b.commandCode && a.length == b.length &&
           std::memcmp(a.bytes, b.bytes, a.length <= kMaxInstrBytes ? a.length : kMaxInstrBytes) == 0;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// The numbers of a program file as printf's "%d" and "%<width>X" write them,
// appended without a format string: a full file holds some 300000 of them.
void AppendDecimal(std::string& out, long long value) {
    char digits[24];
    int n = 0;
    unsigned long long v = value < 0 ? 0ULL - (unsigned long long)value : (unsigned long long)value;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0) out += '-';
    while (n > 0) out += digits[--n];
}

void AppendHex(std::string& out, unsigned value, int width) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char digits[8];
    int n = 0;
    do {
        digits[n++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (int pad = width - n; pad > 0; --pad) out += ' ';
    while (n > 0) out += digits[--n];
}

constexpr const char* kPatchField = "patch";

}  // namespace

std::string FullPath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return path;
    std::string dir(buf);
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir + path;
}

// The program text of the module list and lines (the text form itself works
// on plain program data, program/ProgramText.h).
std::string FormatProgramText(const ProgramState& s, const ModuleTables& m) {
    ProgramFileData data;
    data.moduleListCount = m.moduleListCount <= kMaxModules ? m.moduleListCount : kMaxModules;
    for (int a = 0; a <= data.moduleListCount; ++a) data.moduleTypes.push_back(m.moduleTypes[a]);
    const int count = s.lineCount < 0 ? 0 : (s.lineCount > kMaxLines ? kMaxLines : s.lineCount);
    data.lines.assign(s.lines, s.lines + count);
    return FormatProgramText(data);
}

std::string FormatProgramFile(const ProgramState& s, const ModuleTables& m) {
    std::string out;
    int modules = m.moduleListCount <= kMaxModules ? m.moduleListCount : kMaxModules;
    int count = s.lineCount < 0 ? 0 : (s.lineCount > kMaxLines ? kMaxLines : s.lineCount);
    // A block takes at most about 110 bytes: 4 lines of text and numbers, 24 bytes of 3 characters.
    out.reserve(64 + size_t(count) * 128);
    AppendDecimal(out, modules);
    out += "\r\n";
    for (int i = 0; i <= modules; ++i) {
        AppendDecimal(out, int(m.moduleTypes[i]));
        out += ' ';
    }
    out += "\r\n";
    AppendDecimal(out, count);
    out += "\r\n";
    for (int i = 0; i < count; ++i) {
        const ProgramLine& line = s.lines[i];
        if (line.isComment()) {
            out += line.commentText();
            out += "\r\n";
            continue;
        }
        out.append(line.label, strnlen(line.label, sizeof line.label));
        out += "\r\n";
        AppendHex(out, unsigned(line.address), 4);
        out += "\r\n";
        out.append(line.gotoLabel, strnlen(line.gotoLabel, sizeof line.gotoLabel));
        out += "\r\n";
        AppendHex(out, unsigned(line.targetAddress), 4);
        out += "\r\n";
        AppendHex(out, unsigned(line.patchOffset), 2);
        out += ' ';
        AppendHex(out, unsigned(line.moduleAddress), 2);
        out += ' ';
        AppendHex(out, unsigned(line.commandCode), 2);
        out += "\r\n";
        // A record can hold no more than 24 bytes; the count written matches
        // the bytes written so that the file always reads back.
        int length = line.length <= kMaxInstrBytes ? line.length : kMaxInstrBytes;
        AppendDecimal(out, length);
        out += "\r\n";
        for (int k = 0; k < length; ++k) {
            AppendHex(out, unsigned(line.bytes[k]), 2);
            out += ' ';
        }
        out += "\r\n";
    }
    return out;
}

std::string ParseProgramFile(const std::string& bytes, ProgramFileData& out) {
    out = ProgramFileData();
    Reader r(bytes);
    if (!ReadModuleList(r, out)) return r.error();

    long long count = 0;
    if (!r.decimal("line count", count)) return r.error();
    if (count < 0) r.fail(Format("the line count %lld is negative", count));
    if (count > kMaxLines) r.fail(Format("the line count %lld is more than %d", count, kMaxLines));
    if (r.failed()) return r.error();
    r.restOfLine();

    out.lines.reserve(size_t(count));
    for (long long i = 0; i < count; ++i) {
        std::string first;
        const int firstLine = r.lineNo();
        out.textLines.push_back(firstLine);   // where the line's block starts
        if (!r.line("program line", first)) return r.error();
        ProgramLine line;
        // A line break cannot be stored: a carriage return in what is kept
        // of the text is refused, as a line feed is by ending the line.
        auto refuseCr = [&](const std::string& kept, const char* field) {
            if (kept.find('\r') == std::string::npos) return false;
            r.failAt(firstLine, Format("the %s holds a carriage return, which a program file cannot store", field));
            return true;
        };
        if (!first.empty() && first[0] == ';') {
            line.setComment(first);  // cut to 60 characters
            if (refuseCr(line.commentText(), "comment")) return r.error();
        } else {
            std::memset(&line, 0, sizeof line);
            line.setLabel(first);    // cut to 15 characters
            if (refuseCr(line.labelText(), "label")) return r.error();
            if (!ReadInstruction(r, line)) return r.error();
        }
        out.lines.push_back(line);
    }
    // A last line without its line end is taken only when nothing can be
    // missing from it: the writer ends every byte with a blank.
    if (count > 0 && r.endedFile()) {
        r.fail("the last line has no line end and may be cut short");
        return r.error();
    }
    return std::string();
}

bool ReadProgramBytes(const std::string& path, std::string& bytes) { return ReadFileBytes(path, bytes); }

const char* UnstorableField(const ProgramLine& line) {
    if (line.isComment()) return HasLineBreak(line.commentText()) ? "comment" : nullptr;
    if (HasLineBreak(line.labelText())) return "label";
    if (HasLineBreak(line.gotoLabelText())) return "goto-label";
    if (line.gotoLabel[0] != '\0' && !PatchFits(line)) return kPatchField;
    return nullptr;
}

namespace {

// A record with a line break in a text field: "" or the refusal.
std::string LineBreakRefusal(const ProgramState& s, int count) {
    for (int i = 0; i < count; ++i) {
        // A jump address that does not fit is found by the read-back.
        const char* field = UnstorableField(s.lines[i]);
        if (field && std::strcmp(field, kPatchField) != 0)
            return Format("Program line %d cannot be saved: its %s holds a line break, which a program file "
                          "cannot store.",
                          i + 1, field);
    }
    return std::string();
}

// Whether the reader gives back the records from the file's bytes: "" or the
// refusal naming the first line that would come back otherwise.
std::string ReadBackRefusal(const ProgramState& s, int count, const std::string& bytes) {
    // Whatever else the reader would not give back the same is refused too.
    ProgramFileData back;
    std::string reason = ParseProgramFile(bytes, back);
    size_t same = 0;
    while (same < back.lines.size() && same < size_t(count) && SameAsReadBack(s.lines[same], back.lines[same]))
        ++same;
    if (reason.empty() && same == size_t(count)) return std::string();
    return Format("Program line %d cannot be saved: it would not read back the same from a program file.",
                  int(same) + 1);
}

}  // namespace

std::string FormatSavedProgramFile(const ProgramState& s, const ModuleTables& m, std::string& bytes) {
    bytes.clear();
    const int count = s.lineCount < 0 ? 0 : (s.lineCount > kMaxLines ? kMaxLines : s.lineCount);
    if (std::string refusal = LineBreakRefusal(s, count); !refusal.empty()) return refusal;
    std::string formatted = FormatProgramFile(s, m);
    if (std::string refusal = ReadBackRefusal(s, count, formatted); !refusal.empty()) return refusal;
    bytes = std::move(formatted);
    return std::string();
}

std::string SaveRefusal(const ProgramState& s, const ModuleTables& m) {
    std::string bytes;
    return FormatSavedProgramFile(s, m, bytes);
}

std::string WriteProgramFile(const ProgramState& s, const ModuleTables& m, const std::string& path) {
    if (path.empty()) return kCouldNotOpen;
    // The text form escapes what it cannot write plainly; the program file
    // format cannot, so a record it would not give back is refused.
    if (IsProgramTextPath(path)) return WriteFileData(path, FormatProgramText(s, m));
    std::string bytes;
    std::string refusal = FormatSavedProgramFile(s, m, bytes);
    if (!refusal.empty()) return refusal;
    return WriteFileData(path, bytes);
}

std::string ReadProgramFile(const std::string& fullPath, ProgramFileData& data) {
    std::string bytes;
    if (fullPath.empty() || !ReadFileBytes(fullPath, bytes)) return kCouldNotOpen;
    std::string reason = bytes.size() > kMaxFileBytes
                             ? Format("the file is larger than %d MB", int(kMaxFileBytes >> 20))
                         : IsProgramTextPath(fullPath) ? ParseProgramTextFile(bytes, fullPath, data)
                                                       : ParseProgramFile(bytes, data);
    if (!reason.empty()) return "Not a valid program file: " + reason;
    return std::string();
}

void TakeModuleList(ModuleTables& m, const ProgramFileData& data) {
    for (int i = 0; i <= data.moduleListCount && i <= kMaxModules; ++i) {
        const int t = data.moduleTypes[size_t(i)];
        m.moduleTypes[i] = HasFamily(t) ? t : kTypeUnknown;
    }
    m.moduleListCount = uint8_t(data.moduleListCount);
    m.moduleListDefined = true;
}

void TakeLines(ProgramState& p, const ProgramFileData& data) {
    p.lineCount = int32_t(data.lines.size());
    for (size_t i = 0; i < data.lines.size(); ++i) p.lines[i] = data.lines[i];
}
