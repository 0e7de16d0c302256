#pragma once
// A small XML 1.0 writer for the reports: elements, attributes and character
// data, every value escaped.  Values are UTF-8; a byte sequence that is not
// UTF-8 (a file name is the bytes the file system holds) is written as
// U+FFFD, and a control character that XML 1.0 cannot carry as the text
// \xHH, so that the document is always well-formed.

#include <string>
#include <utility>
#include <vector>

namespace scenario {

// Latin-1 bytes (text of the master and the program) as UTF-8.
std::string Latin1ToUtf8(const std::string& latin1);

class XmlWriter {
public:
    using Attributes = std::vector<std::pair<std::string, std::string>>;

    XmlWriter();
    // <name attributes>, then the content on the lines below.
    void open(const std::string& name, const Attributes& attributes = {});
    // </name> of the element opened last.
    void close();
    // <name attributes>text</name> on one line, or <name attributes/> without text.
    void element(const std::string& name, const Attributes& attributes, const std::string& text = {});
    // The document so far; whole once every element is closed.
    const std::string& document() const { return out_; }

    // Character data and attribute values as the document holds them.
    static std::string Escaped(const std::string& utf8, bool attribute);

private:
    void start(const std::string& name, const Attributes& attributes);
    std::string out_;
    std::vector<std::string> open_;
};

}  // namespace scenario
