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

enum class TextRead { Parsed, Refused, LeftToOpen };

// A program text (.sws) read as Open reads it and parsed, or refused after
// every error of the file is printed, one per line.  Any other file, or one
// Open refuses unread, is left to Open to read and say why.  A text accepted
// here is what Open takes: it is parsed once.
TextRead ReadProgramText(Context& c, const std::string& path, ProgramFileData& data) {
    if (!IsProgramTextPath(path)) return TextRead::LeftToOpen;
    std::string bytes;
    if (!ReadProgramBytes(path, bytes) || bytes.size() > kMaxProgramFileBytes) return TextRead::LeftToOpen;
    std::vector<ProgramTextError> errors;
    if (ParseProgramText(bytes, data, errors)) return TextRead::Parsed;
    for (const ProgramTextError& e : errors) c.ui.message(DescribeProgramTextError(path, e));
    return TextRead::Refused;
}

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

// Reads the program as Open does, and writes it to the output as text or as
// a program file.  A program file is written only when Save would write it.
// Only the records are taken: the window's listing is not needed.
int Convert(Context& c, const Conversion& conv, bool toText) {
    ProgramFileData parsed, data;
    const TextRead read = ReadProgramText(c, conv.input, parsed);
    if (read == TextRead::Refused ||
        !ReadForOpen(c.s, FullPath(conv.input), data, read == TextRead::Parsed ? &parsed : nullptr)) {
        // Only asked, never opened: a pipe would wait for a writer.
        if (::access(conv.input.c_str(), R_OK) != 0)
            c.ui.message("stepwright-cli: " + conv.input + ": " + std::strerror(errno));
        return kExitFile;
    }
    TakeModuleList(c.s, data);
    TakeLines(c.s, data);
    std::string bytes;
    if (toText) {
        bytes = FormatProgramText(c.s);
    } else if (const std::string refusal = FormatSavedProgramFile(c.s, bytes); !refusal.empty()) {
        c.ui.message("stepwright-cli: " + conv.input + ": " + refusal);
        return kExitFile;
    }
    if (conv.output.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return kExitOk;
    }
    // Never over its own input, under any name or link.
    if (SameFile(conv.output, conv.input)) {
        c.ui.message("stepwright-cli: " + conv.output + " is the program file itself; it is not overwritten");
        return kExitFile;
    }
    const std::string failure = WriteFileData(conv.output, bytes);
    if (!failure.empty()) {
        c.ui.message("stepwright-cli: " + conv.output + ": " + failure);
        return kExitFile;
    }
    return kExitOk;
}

}  // namespace

bool OpenProgram(Context& c, const std::string& path) {
    ProgramFileData data;
    const TextRead read = ReadProgramText(c, path, data);
    if (read == TextRead::Refused) return false;
    return OpenProgramFile(c.s, path, read == TextRead::Parsed ? &data : nullptr);
}

int CmdExport(Context& c, const Args& args) { return Convert(c, ParseConversion(args, "FILE.stw"), true); }

int CmdImport(Context& c, const Args& args) { return Convert(c, ParseConversion(args, "FILE.sws"), false); }

}  // namespace cli
