#include "scenario/Xml.h"

#include <cstdint>
#include <cstdio>

namespace scenario {

std::string Latin1ToUtf8(const std::string& latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        const uint8_t c = uint8_t(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

// The length of the well-formed UTF-8 sequence at text[i] and its code
// point; 0 when the bytes there are no such sequence (a stray continuation
// byte, a sequence cut short, an overlong form, a surrogate, beyond U+10FFFF).
size_t Utf8At(const std::string& text, size_t i, uint32_t& cp) {
    const uint8_t c = uint8_t(text[i]);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    const size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const uint8_t b = uint8_t(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string XmlWriter::Escaped(const std::string& utf8, bool attribute) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        const size_t n = Utf8At(utf8, i, cp);
        if (n == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
            continue;
        }
        switch (cp) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            // A reader turns a line break or tab in an attribute into a blank
            // unless it is a reference; in text only the carriage return would go.
            case '\t': out += attribute ? "&#9;" : "\t"; break;
            case '\n': out += attribute ? "&#10;" : "\n"; break;
            case '\r': out += "&#13;"; break;
            default:
                if (cp < 0x20 || cp == 0xFFFE || cp == 0xFFFF) {
                    char hex[16];
                    std::snprintf(hex, sizeof hex, cp < 0x100 ? "\\x%02X" : "\\u%04X", unsigned(cp));
                    out += hex;
                } else {
                    out.append(utf8, i, n);
                }
        }
        i += n;
    }
    return out;
}

XmlWriter::XmlWriter() : out_("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") {}

void XmlWriter::start(const std::string& name, const Attributes& attributes) {
    out_.append(2 * open_.size(), ' ');
    out_ += "<" + name;
    for (const auto& [key, value] : attributes) out_ += " " + key + "=\"" + Escaped(value, true) + "\"";
}

void XmlWriter::open(const std::string& name, const Attributes& attributes) {
    start(name, attributes);
    out_ += ">\n";
    open_.push_back(name);
}

void XmlWriter::close() {
    if (open_.empty()) return;
    const std::string name = open_.back();
    open_.pop_back();
    out_.append(2 * open_.size(), ' ');
    out_ += "</" + name + ">\n";
}

void XmlWriter::element(const std::string& name, const Attributes& attributes, const std::string& text) {
    start(name, attributes);
    out_ += text.empty() ? "/>\n" : ">" + Escaped(text, false) + "</" + name + ">\n";
}

}  // namespace scenario
