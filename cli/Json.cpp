// The JSON writer of the command line.

#include "cli/Json.h"

namespace json {

Value& Value::push(Value v) {
    if (kind_ != Kind::Array) *this = array();
    items_.push_back(std::move(v));
    return items_.back();
}

Value& Value::operator[](const std::string& key) {
    if (kind_ != Kind::Object) *this = object();
    for (size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i] == key) return items_[i];
    keys_.push_back(key);
    items_.emplace_back();
    return items_.back();
}

void Value::merge(const Value& other) {
    for (size_t i = 0; i < other.keys_.size(); ++i) (*this)[other.keys_[i]] = other.items_[i];
}

std::string Quote(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else if (c >= 0x80) {
                    // Latin-1 byte c is the code point U+00c: two UTF-8 bytes.
                    out += char(0xC0 | (c >> 6));
                    out += char(0x80 | (c & 0x3F));
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

void Value::writeTo(std::string& out, int indent) const {
    const std::string pad(size_t(indent + 2), ' ');
    switch (kind_) {
        case Kind::Null: out += "null"; return;
        case Kind::Bool: out += number_ ? "true" : "false"; return;
        case Kind::Number: out += std::to_string(number_); return;
        case Kind::String: out += Quote(text_); return;
        case Kind::Array:
        case Kind::Object: break;
    }
    const bool isObject = kind_ == Kind::Object;
    if (items_.empty()) {
        out += isObject ? "{}" : "[]";
        return;
    }
    out += isObject ? "{\n" : "[\n";
    for (size_t i = 0; i < items_.size(); ++i) {
        out += pad;
        if (isObject) out += Quote(keys_[i]) + ": ";
        items_[i].writeTo(out, indent + 2);
        out += i + 1 < items_.size() ? ",\n" : "\n";
    }
    out += std::string(size_t(indent), ' ') + (isObject ? "}" : "]");
}

std::string Value::write() const {
    std::string out;
    writeTo(out, 0);
    return out + "\n";
}

}  // namespace json
