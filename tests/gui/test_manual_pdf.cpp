// The printed user guide: its text, as a PDF reader extracts it, holds the
// source's words as written (no ligature characters), the contents page gives
// each chapter's true page, and the window pictures are in it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "GuiTest.h"

namespace {

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class ManualPdf : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Shell("command -v pdftotext").empty()) << "pdftotext missing: run scripts/deps.sh";
        text = Shell("pdftotext -enc UTF-8 '" STEPWRIGHT_PDF "' -");
        ASSERT_FALSE(text.empty()) << "no text from " STEPWRIGHT_PDF;
        source = ReadFile(STEPWRIGHT_DOCS "/manual.md") + ReadFile(STEPWRIGHT_DOCS "/messages.md");
    }
    std::string text, source;
};

TEST_F(ManualPdf, TextHoldsTheSourceWordsWithoutLigatures) {
    for (const char* ligature : {"\xEF\xAC\x80", "\xEF\xAC\x81", "\xEF\xAC\x82", "\xEF\xAC\x83", "\xEF\xAC\x84"})
        EXPECT_EQ(text.find(ligature), std::string::npos) << "a ligature character in the extracted text";
    // Every word of the source in which a ligature would form is found as typed.
    std::set<std::string> words;
    const std::regex word("[A-Za-z]*(fi|ff|fl)[A-Za-z]*");
    for (auto it = std::sregex_iterator(source.begin(), source.end(), word); it != std::sregex_iterator(); ++it)
        words.insert(it->str());
    ASSERT_GT(words.size(), 20u);
    for (const std::string& w : words) EXPECT_NE(text.find(w), std::string::npos) << w;
    // Phrases may wrap inside table cells, whose rows the layout extraction
    // interleaves: read them in the order they were written, blanks collapsed.
    const std::string raw = Shell("pdftotext -raw -enc UTF-8 '" STEPWRIGHT_PDF "' -");
    const std::string flat = std::regex_replace(raw, std::regex("\\s+"), " ");
    for (const char* phrase : {"Acrobat Reader or 'stepwright.pdf' not found", "sudo usermod -aG dialout $USER",
                               "Program not saved - save before exiting?", "Master WaitFor", "I/O commands (ZEL-I/O)"})
        EXPECT_NE(flat.find(phrase), std::string::npos) << phrase;
}

TEST_F(ManualPdf, ContentsGiveEachChaptersPage) {
    // pdftotext ends every page with a form feed.
    std::vector<std::string> pages;
    for (size_t start = 0, ff; start < text.size(); start = ff + 1) {
        ff = text.find('\f', start);
        if (ff == std::string::npos) ff = text.size();
        pages.push_back("\n" + text.substr(start, ff - start));
    }
    const std::regex heading("^# (.+)$", std::regex::ECMAScript | std::regex::multiline);
    int checked = 0;
    for (auto it = std::sregex_iterator(source.begin(), source.end(), heading); it != std::sregex_iterator(); ++it) {
        const std::string title = (*it)[1];
        if (title == "Stepwright User Guide") continue;
        std::smatch m;
        const std::regex entry("\n" + std::regex_replace(title, std::regex(R"([()\[\].*+?^$|\\])"), R"(\$&)") +
                               R"( \.\.\. (\d+)\n)");
        ASSERT_TRUE(std::regex_search(pages[0], m, entry) || std::regex_search(pages[1], m, entry)) << title;
        const size_t page = size_t(std::stoi(m[1]));
        ASSERT_LE(page, pages.size()) << title;
        EXPECT_NE(pages[page - 1].find("\n" + title + "\n"), std::string::npos)
            << title << " is not on page " << page;
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

TEST_F(ManualPdf, ChaptersAndSectionsAreBookmarks) {
    const std::string xml = Shell("pdftohtml -xml -stdout -i -q '" STEPWRIGHT_PDF "'");
    const size_t outline = xml.find("<outline>");
    ASSERT_NE(outline, std::string::npos) << "no bookmarks";
    const std::regex heading("^##? (.+)$", std::regex::ECMAScript | std::regex::multiline);
    int checked = 0;
    for (auto it = std::sregex_iterator(source.begin(), source.end(), heading); it != std::sregex_iterator(); ++it) {
        const std::string title = (*it)[1];
        if (title == "Stepwright User Guide" || title.find('"') != std::string::npos) continue;
        EXPECT_NE(xml.find(">" + title + "</item>", outline), std::string::npos) << title;
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

TEST_F(ManualPdf, HoldsThePicturesOfTheWindows) {
    const std::string list = Shell("pdfimages -list '" STEPWRIGHT_PDF "'");
    std::istringstream lines(list);
    std::string line;
    int images = 0;
    while (std::getline(lines, line))
        if (line.find(" image ") != std::string::npos) ++images;
    EXPECT_GE(images, 3) << list;
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
