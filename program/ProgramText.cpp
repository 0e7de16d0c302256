#include "program/ProgramText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "isa/Describe.h"
#include "isa/Vocabulary.h"
#include "program/InstructionText.h"

namespace {

constexpr int kLastModuleAddress = 31;  // the module list runs 0 (the master) to 31

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

constexpr const char* kVersionDirective = ".stepwright";
constexpr const char* kModuleDirective = ".module";
constexpr const char* kQuotedComment = "comment";
constexpr int kLabelColumnWidth = 9;


// ---------------------------------------------------------------------------
// Writing

void AppendUtf8(std::string& out, unsigned char c) {
    if (c < 0x80) {
        out += char(c);
    } else {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    }
}

bool IsControl(unsigned char c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// A text that can stand without quotes: printable ASCII without the
// characters the syntax uses.
bool IsBare(const std::string& text, bool label) {
    if (text.empty() || text.compare(0, 2, "->") == 0 || text[0] == '@') return false;
    if (label && (text[0] == '.' || text[0] == ';')) return false;
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '\\' || c == '=') return false;
        if (label && c == ':') return false;
    }
    return true;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (IsControl(c)) {
            out += Format("\\x%02X", unsigned(c));
        } else {
            AppendUtf8(out, c);
        }
    }
    return out + "\"";
}

std::string Value(const std::string& text, bool label = false) { return IsBare(text, label) ? text : Quoted(text); }

std::string CommentLine(const std::string& text) {
    bool verbatim = text.back() != ' ' && text.back() != '\t';
    for (unsigned char c : text) verbatim = verbatim && (c == '\t' || !IsControl(c));
    if (!verbatim) return std::string(kQuotedComment) + " " + Quoted(text);
    std::string out;
    for (unsigned char c : text) AppendUtf8(out, c);
    return out;
}

std::string InstructionLine(const InstructionText& t) {
    std::string out;
    if (!t.label.empty()) out = Value(t.label, true) + ":";
    out += std::string(out.size() < size_t(kLabelColumnWidth) ? kLabelColumnWidth - out.size() : 1, ' ');
    const std::string module = std::to_string(t.module);  // "%2d "
    if (module.size() < 2) out += ' ';
    out += module;
    out += ' ';
    out += t.command;
    for (const TextField& f : t.fields) {
        out += ' ';
        out += f.name;
        if (f.hasValue) out += "=" + Value(f.value);
    }
    if (t.hasTarget || t.hasPatched) out += " -> " + Value(t.target);
    if (t.hasPatched) out += Format(" @%04X", unsigned(t.patched));
    return out;
}

// ---------------------------------------------------------------------------
// Reading

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A UTF-8 line as Latin-1 bytes; false with the column of the first
// character that is not UTF-8 or not Latin-1.
bool DecodeLine(const std::string& in, std::string& out, int& badColumn, bool& notLatin1) {
    out.clear();
    int column = 1;
    for (size_t i = 0; i < in.size(); ++column) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        int extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
        unsigned cp = extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
        bool ok = extra > 0 && i + size_t(extra) < in.size() + 1;
        for (int k = 1; ok && k <= extra; ++k) {
            const unsigned char d = i + size_t(k) < in.size() ? static_cast<unsigned char>(in[i + size_t(k)]) : 0;
            ok = (d & 0xC0) == 0x80;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (!ok || cp > 0xFF) {
            badColumn = column;
            notLatin1 = ok;
            return false;
        }
        out += char(cp);
        i += size_t(extra) + 1;
    }
    return true;
}

struct Token {
    enum Kind { Word, String, Equals } kind;
    std::string text;
    int column;
    bool colon = false;  // a string followed at once by ':'
};

// Splits a line into words, quoted texts and '='; false with the error.
bool Tokenize(const std::string& line, size_t pos, std::vector<Token>& tokens, ProgramTextError& error) {
    tokens.clear();
    while (pos < line.size()) {
        const char c = line[pos];
        if (IsBlank(c)) {
            ++pos;
            continue;
        }
        const int column = int(pos) + 1;
        if (c == '=') {
            tokens.push_back({Token::Equals, "=", column});
            ++pos;
        } else if (c == '"') {
            std::string text;
            ++pos;
            for (;;) {
                if (pos >= line.size()) {
                    error.column = column;
                    error.message = "the quoted text has no closing '\"'";
                    return false;
                }
                char d = line[pos++];
                if (d == '"') break;
                if (d == '\\') {
                    const char e = pos < line.size() ? line[pos] : '\0';
                    if (e == '"' || e == '\\') {
                        text += e;
                        ++pos;
                    } else if (e == 'x' && pos + 2 < line.size() && HexValue(line[pos + 1]) >= 0 &&
                               HexValue(line[pos + 2]) >= 0) {
                        text += char(HexValue(line[pos + 1]) * 16 + HexValue(line[pos + 2]));
                        pos += 3;
                    } else {
                        error.column = int(pos);
                        error.message = "a '\\' in quotes is followed by '\"', '\\' or xHH";
                        return false;
                    }
                    continue;
                }
                text += d;
            }
            Token t{Token::String, text, column};
            if (pos < line.size() && line[pos] == ':') {
                t.colon = true;
                ++pos;
            }
            tokens.push_back(t);
        } else {
            const size_t start = pos;
            while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != '"' && line[pos] != '=') ++pos;
            tokens.push_back({Token::Word, line.substr(start, pos - start), column});
        }
    }
    return true;
}

bool ParseNumber(const std::string& text, long long min, long long max, long long& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || text.size() - i > 10) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    value = negative ? -v : v;
    return value >= min && value <= max;
}

class TextReader {
public:
    TextReader(ProgramFileData& out, std::vector<ProgramTextError>& errors) : out_(out), errors_(errors) {
        out_ = ProgramFileData();
        out_.moduleTypes = {kTypeMaster};
    }

    void read(const std::string& bytes) {
        size_t start = 0;
        int number = 0;
        std::string decoded, raw;
        size_t lines = 0;
        for (char c : bytes) lines += c == '\n';
        out_.lines.reserve(lines < size_t(kMaxLines) ? lines : size_t(kMaxLines));
        while (start < bytes.size() && !stopped_) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos) end = bytes.size();
            size_t stop = end;
            if (stop > start && bytes[stop - 1] == '\r') --stop;
            size_t first = start;
            start = end + 1;
            ++number;
            if (number == 1 && bytes.compare(first, 3, "\xEF\xBB\xBF") == 0 && stop - first >= 3) first += 3;
            line_ = number;
            // Measured before anything is copied: a line of many megabytes
            // costs no more than a short one.
            if (stop - first > size_t(kMaxProgramTextLineBytes)) {
                fail(1, Format("line %d holds more than %d bytes, more than any program line can hold", number,
                               kMaxProgramTextLineBytes));
                continue;
            }
            raw.assign(bytes, first, stop - first);
            int badColumn = 0;
            bool notLatin1 = false;
            if (!DecodeLine(raw, decoded, badColumn, notLatin1)) {
                fail(badColumn, notLatin1 ? "the character is not one of Latin-1; a program holds only those"
                                          : "the line is not UTF-8 text");
                continue;
            }
            readLine(decoded);
        }
    }

private:
    void fail(int column, const std::string& message, const std::string& field = std::string()) {
        if (stopped_) return;
        if (int(errors_.size()) >= kMaxProgramTextErrors) {
            errors_.push_back({line_, column, "", Format("more than %d errors; reading stopped", kMaxProgramTextErrors)});
            stopped_ = true;
            return;
        }
        errors_.push_back({line_, column, field, message});
    }

    void readLine(const std::string& line) {
        size_t pos = 0;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size()) return;
        if (line[pos] == ';') return addComment(line.substr(pos), int(pos) + 1);
        std::vector<Token>& tokens = tokens_;
        ProgramTextError error;
        if (!Tokenize(line, pos, tokens, error)) return fail(error.column, error.message);
        if (line[pos] == '.' && tokens[0].kind == Token::Word && tokens[0].text.back() != ':')
            return directive(tokens);
        if (tokens.size() == 2 && tokens[0].kind == Token::Word && tokens[0].text == kQuotedComment &&
            tokens[1].kind == Token::String && !tokens[1].colon) {
            if (tokens[1].text.empty() || tokens[1].text[0] != ';')
                return fail(tokens[1].column, "a comment begins with ';'");
            return addComment(tokens[1].text, tokens[1].column);
        }
        instruction(tokens);
    }

    bool startLine(int column) {
        if (int(out_.lines.size()) >= kMaxLines) {
            fail(column, Format("a program holds at most %d lines", kMaxLines));
            stopped_ = true;
            return false;
        }
        return true;
    }

    void addComment(const std::string& text, int column) {
        if (!startLine(column)) return;
        if (text.size() > size_t(kCommentChars))
            return fail(column, Format("a comment holds at most %d characters, ';' included", kCommentChars));
        if (text.find('\0') != std::string::npos) return fail(column, "a comment cannot hold a NUL character");
        ProgramLine line;
        line.setComment(text);
        if (UnstorableField(line))
            return fail(column, "the comment holds a line break, which a program file cannot store");
        out_.lines.push_back(line);
        out_.textLines.push_back(line_);
    }

    void directive(const std::vector<Token>& t) {
        const std::string& name = t[0].text;
        if (texts_) return fail(t[0].column, "the header comes before the first program line");
        if (name == kVersionDirective) {
            if (t.size() != 2 || t[1].text != "1") return fail(t[0].column, "this reader knows version 1: .stepwright 1");
            return;
        }
        if (name != kModuleDirective)
            return fail(t[0].column, "unknown header line; the header has .stepwright 1 and .module lines");
        if (t.size() != 3 || t[1].kind != Token::Word || t[2].kind != Token::Word)
            return fail(t[0].column, ".module takes an address and a type: .module 1 ZEL-SERVO");
        long long address = 0;
        const int expected = modulesGiven_ ? int(out_.moduleTypes.size()) : 0;
        if (!ParseNumber(t[1].text, 0, kLastModuleAddress, address) || address != expected)
            return fail(t[1].column, Format("the next module address is %d (the list runs 0, 1, 2, ... 31)", expected));
        long long type = 0;
        bool known = false;
        for (isa::Family family : isa::kFamilies)
            if (t[2].text == isa::moduleTypeName(family)) {
                type = isa::typeOfFamily(family);
                known = true;
            }
        if (!known && !ParseNumber(t[2].text, -2147483647LL - 1, 2147483647LL, type))
            return fail(t[2].column, "the type is [Master], ZEL-SERVO, ZEL-I/O, ZEL-STEP or a type code");
        if (!modulesGiven_) out_.moduleTypes.clear();
        modulesGiven_ = true;
        out_.moduleTypes.push_back(int(type));
        out_.moduleListCount = int(out_.moduleTypes.size()) - 1;
    }

    void instruction(const std::vector<Token>& tokens) {
        if (!texts_) texts_ = std::make_unique<InstructionTexts>(out_.moduleTypes);
        InstructionText t;
        size_t i = 0;
        const Token& first = tokens[0];
        if (first.kind == Token::String && first.colon) {
            t.label = first.text;
            t.labelColumn = first.column;
            ++i;
        } else if (first.kind == Token::Word && first.text.size() > 1 && first.text.back() == ':') {
            t.label = first.text.substr(0, first.text.size() - 1);
            t.labelColumn = first.column;
            ++i;
        }
        if (!startLine(first.column)) return;
        long long module = 0;
        if (i >= tokens.size() || tokens[i].kind != Token::Word || !ParseNumber(tokens[i].text, 0, 255, module) ||
            tokens[i].text[0] == '-' || tokens[i].text[0] == '+')
            return fail(i < tokens.size() ? tokens[i].column : first.column,
                        "expected the module address (0 to 31) after the label");
        t.module = int(module);
        t.moduleColumn = tokens[i++].column;
        if (i >= tokens.size() || tokens[i].kind != Token::Word)
            return fail(i < tokens.size() ? tokens[i].column : tokens[i - 1].column, "expected the command name");
        t.command = tokens[i].text;
        t.commandColumn = tokens[i++].column;
        t.fields.reserve(tokens.size() - i);

        while (i < tokens.size()) {
            const Token& tok = tokens[i];
            if (tok.kind == Token::Word && tok.text.compare(0, 2, "->") == 0) {
                if (t.hasTarget) return fail(tok.column, "the command jumps to one label only");
                t.hasTarget = true;
                t.targetColumn = tok.column;
                if (tok.text.size() > 2) {
                    t.target = tok.text.substr(2);
                    ++i;
                } else {
                    if (i + 1 >= tokens.size() || tokens[i + 1].kind == Token::Equals || tokens[i + 1].colon)
                        return fail(tok.column, "'->' is followed by the label to jump to");
                    t.target = tokens[i + 1].text;
                    t.targetColumn = tokens[i + 1].column;
                    i += 2;
                }
                if (i < tokens.size() && tokens[i].kind == Token::Word && tokens[i].text[0] == '@') {
                    const std::string& hex = tokens[i].text;
                    unsigned v = 0;
                    bool ok = hex.size() >= 2 && hex.size() <= 5;
                    for (size_t k = 1; ok && k < hex.size(); ++k) {
                        ok = HexValue(hex[k]) >= 0;
                        v = v * 16 + unsigned(ok ? HexValue(hex[k]) : 0);
                    }
                    if (!ok) return fail(tokens[i].column, "the jump address is '@' and four hexadecimal digits");
                    t.hasPatched = true;
                    t.patched = uint16_t(v);
                    t.patchedColumn = tokens[i].column;
                    ++i;
                }
                continue;
            }
            if (tok.kind != Token::Word || tok.text[0] == '@' || tok.text.back() == ':')
                return fail(tok.column, tok.kind == Token::Equals     ? "'=' follows a field name"
                                        : tok.kind == Token::String ? "a quoted text is the value of a field: name=\"...\""
                                        : tok.text[0] == '@'        ? "'@HHHH' follows the label after '->'"
                                                                    : "a label comes first on its line");
            TextField f;
            f.name = tok.text;
            f.column = tok.column;
            ++i;
            if (i < tokens.size() && tokens[i].kind == Token::Equals) {
                // The value follows '=' at once: after a blank, the next
                // word is the next field, not this one's value.
                const bool glued = i + 1 < tokens.size() && tokens[i + 1].column == tokens[i].column + 1;
                if (!glued || tokens[i + 1].kind == Token::Equals || tokens[i + 1].colon)
                    return fail(f.column, "the value is missing: it follows '=' at once (an empty text is \"\")",
                                f.name);
                f.hasValue = true;
                f.value = tokens[i + 1].text;
                i += 2;
            }
            t.fields.push_back(std::move(f));
        }

        ProgramLine line;
        LineError error;
        if (!texts_->build(t, line, error)) return fail(error.column, error.message, error.field);
        out_.lines.push_back(line);
        out_.textLines.push_back(line_);
    }

    ProgramFileData& out_;
    std::vector<ProgramTextError>& errors_;
    std::unique_ptr<InstructionTexts> texts_;  // made when the header is complete
    std::vector<Token> tokens_;                // the current line's, kept for their room
    bool modulesGiven_ = false;
    bool stopped_ = false;
    int line_ = 0;
};

}  // namespace

bool IsProgramTextPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".sws";
}

std::string FormatProgramText(const ProgramFileData& data) {
    std::string out = std::string(kVersionDirective) + " 1\n";
    for (size_t a = 0; a < data.moduleTypes.size(); ++a) {
        isa::Family family;
        const std::string name = isa::familyOfType(data.moduleTypes[a], family) ? isa::moduleTypeName(family)
                                                                                : Format("%d", data.moduleTypes[a]);
        out += Format("%s %d ", kModuleDirective, int(a)) + name + "\n";
    }
    out += "\n";
    out.reserve(out.size() + data.lines.size() * 64);
    InstructionTexts texts(data.moduleTypes);
    for (const ProgramLine& line : data.lines)
        out += (line.isComment() ? CommentLine(line.commentText()) : InstructionLine(texts.read(line))) + "\n";
    return out;
}

bool ParseProgramText(const std::string& bytes, ProgramFileData& out, std::vector<ProgramTextError>& errors) {
    errors.clear();
    TextReader reader(out, errors);
    reader.read(bytes);
    return errors.empty();
}

std::string DescribeProgramTextError(const std::string& file, const ProgramTextError& e) {
    std::string text = file + Format(":%d:%d: ", e.line, e.column);
    if (!e.field.empty()) text += "field '" + CutForMessage(e.field) + "': ";
    return text + e.message;
}

std::string ParseProgramTextFile(const std::string& bytes, const std::string& file, ProgramFileData& out) {
    std::vector<ProgramTextError> errors;
    if (ParseProgramText(bytes, out, errors)) return std::string();
    std::string text = errors.size() == 1 ? "1 error" : Format("%d errors", int(errors.size()));
    // A message box holds the first errors; the command line prints them all.
    constexpr size_t kShown = 20;
    for (size_t i = 0; i < errors.size() && i < kShown; ++i) text += "\n" + DescribeProgramTextError(file, errors[i]);
    if (errors.size() > kShown) text += Format("\n... and %d more", int(errors.size() - kShown));
    return text;
}
