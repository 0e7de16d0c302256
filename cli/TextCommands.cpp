// export and import: a program between its file (.stw) and its text (.sws).

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/MainState.h"
#include "cli/Cli.h"
#include "app/Files.h"
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
        // Only asked, never opened: a pipe would wait for a writer.
        if (::access(conv.input.c_str(), R_OK) != 0)
            c.ui.message("stepwright-cli: " + conv.input + ": " + std::strerror(errno));
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
    // Never over its own input, under any name or link.
    if (SameFile(conv.output, conv.input)) {
        c.ui.message("stepwright-cli: " + conv.output + " is the program file itself; it is not overwritten");
        return kExitFile;
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
    // Read as Open reads; a file Open refuses unread is left to Open to say why.
    std::string bytes;
    if (!ReadProgramBytes(path, bytes) || bytes.size() > kMaxProgramFileBytes) return true;
    ProgramFileData data;
    std::vector<ProgramTextError> errors;
    if (ParseProgramText(bytes, data, errors)) return true;
    for (const ProgramTextError& e : errors) c.ui.message(DescribeProgramTextError(path, e));
    return false;
}

int CmdExport(Context& c, const Args& args) { return Convert(c, ParseConversion(args, "FILE.stw"), true); }

int CmdImport(Context& c, const Args& args) { return Convert(c, ParseConversion(args, "FILE.sws"), false); }

}  // namespace cli
