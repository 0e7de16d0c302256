#pragma once
// A small JSON value and its writer, for the command line's --json answers.
// Strings hold bytes, one per character (Latin-1), as everywhere in the
// system; the writer encodes them as UTF-8 and escapes every control byte.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace json {

class Value {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Value() = default;
    Value(bool b) : kind_(Kind::Bool), number_(b ? 1 : 0) {}
    Value(int n) : kind_(Kind::Number), number_(n) {}
    Value(int64_t n) : kind_(Kind::Number), number_(n) {}
    Value(const char* s) : kind_(Kind::String), text_(s) {}
    Value(std::string s) : kind_(Kind::String), text_(std::move(s)) {}

    static Value array() { return Value(Kind::Array); }
    static Value object() { return Value(Kind::Object); }

    Kind kind() const { return kind_; }
    // Read back: a string's text, an array's elements, an object's keys and
    // values (parallel).
    const std::string& text() const { return text_; }
    const std::vector<Value>& items() const { return items_; }
    const std::vector<std::string>& keys() const { return keys_; }

    // Arrays: appends an element.
    Value& push(Value v);
    // Objects: the member named key, added (null) when missing; members keep
    // the order in which they were first set.
    Value& operator[](const std::string& key);
    // Objects: sets every member of other (an object) in this one.
    void merge(const Value& other);

    // The document as text: two-space indentation, a line feed at the end.
    std::string write() const;

private:
    explicit Value(Kind k) : kind_(k) {}
    void writeTo(std::string& out, int indent) const;

    Kind kind_ = Kind::Null;
    int64_t number_ = 0;
    std::string text_;
    std::vector<Value> items_;                 // array elements, or object values
    std::vector<std::string> keys_;            // object keys, parallel to items_
};

// A JSON string literal (quotes included) for bytes taken as Latin-1.
std::string Quote(const std::string& bytes);

}  // namespace json
