// Writes the command reference, as Markdown, for the user guide.
//   make_reference OUTPUT.md
#include <cstdio>
#include <string>

#include "isa/CommandReference.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_reference OUTPUT.md\n");
        return 2;
    }
    const std::string text = CommandReferenceMarkdown();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "make_reference: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
