// export and import: a program between its file (.stw) and its text (.sws).

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/MainState.h"
#include "cli/Cli.h"
#include "program/ProgramFile.h"
#include "program/ProgramText.h"

namespace cli {

namespace {

struct Conversion {
    std::string input;
    std::string output;  // "" = standard output
};

Conversion ParseConversion(const Args& args, const char* what) {
    Conversion c;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) throw UsageError{a + " needs a file name"};
            c.output = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else if (c.input.empty()) {
            c.input = a;
        } else {
            throw UsageError{"unexpected argument " + a};
        }
    }
    if (c.input.empty()) throw UsageError{std::string("missing ") + what};
    return c;
}

// Opens the program as Open does, and writes it to the output as text or as
// a program file.  A program file is written only when Save would write it.
int Convert(Context& c, const Conversion& conv, bool toText) {
    if (!CheckProgramText(c, conv.input) || !OpenProgramFile(c.s, conv.input)) {
        if (std::FILE* f = std::fopen(conv.input.c_str(), "rb")) std::fclose(f);
        else c.ui.message("stepwright-cli: " + conv.input + ": " + std::strerror(errno));
        return kExitFile;
    }
    if (!toText) {
        const std::string refusal = SaveRefusal(c.s);
        if (!refusal.empty()) {
            c.ui.message("stepwright-cli: " + conv.input + ": " + refusal);
            return kExitFile;
        }
    }
    const std::string data = toText ? FormatProgramText(c.s) : FormatProgramFile(c.s);
    if (conv.output.empty()) {
        std::fwrite(data.data(), 1, data.size(), stdout);
        return kExitOk;
    }
    const std::string failure = WriteFileData(conv.output, data);
    if (!failure.empty()) {
        c.ui.message("stepwright-cli: " + conv.output + ": " + failure);
        return kExitFile;
    }
    return kExitOk;
}

}  // namespace

bool CheckProgramText(Context& c, const std::string& path) {
    if (!IsProgramTextPath(path)) return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) return true;  // Open says why
    std::stringstream bytes;
    bytes << in.rdbuf();
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    if (ParseProgramText(bytes.str(), data, errors)) return true;
    for (const ProgramTextError& e : errors) c.ui.message(DescribeProgramTextError(path, e));
    return false;
}

int CmdExport(Context& c, const Args& args) { return Convert(c, ParseConversion(args, "FILE.stw"), true); }

int CmdImport(Context& c, const Args& args) { return Convert(c, ParseConversion(args, "FILE.sws"), false); }

}  // namespace cli
