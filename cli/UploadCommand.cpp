// upload: reads the program back from the master as an editable program.

#include <sys/stat.h>

#include <cstring>

#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "cli/Cli.h"
#include "isa/Vocabulary.h"
#include "app/Files.h"
#include "link/Upload.h"
#include "program/ProgramFile.h"
#include "program/ProgramText.h"
#include "sim/SimOptions.h"

namespace cli {

namespace {

struct UploadOptions {
    std::string output;   // "" = standard output; a folder when several ports are served
    bool modulesGiven = false;
    std::vector<int> modules;   // types of addresses 1, 2, ...
};

bool EndsWith(const std::string& text, const char* tail) {
    const size_t n = std::strlen(tail);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(uint8_t(text[text.size() - n + i])) != tail[i]) return false;
    return true;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

UploadOptions ParseUploadOptions(Context& c, const Args& args) {
    UploadOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) throw UsageError{a + " needs a file name"};
            o.output = args[++i];
        } else if (a == "--modules") {
            if (i + 1 >= args.size()) throw UsageError{"--modules needs a list"};
            std::string error;
            if (!ParseSimModules(args[++i], o.modules, error)) throw UsageError{"--modules: " + error};
            if (o.modules.size() > size_t(kMaxModules)) throw UsageError{"--modules: at most 31 modules"};
            o.modulesGiven = true;
        } else if (a == "--") {
            continue;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            throw UsageError{"unexpected argument " + a};
        }
    }
    if (c.options.ports.size() > 1) {
        if (o.output.empty()) throw UsageError{"several ports: -o names the folder for their programs"};
        if (!IsFolder(o.output)) throw UsageError{"several ports: " + o.output + " is not a folder"};
    } else if (!o.output.empty() && !EndsWith(o.output, ".sws") && !EndsWith(o.output, ".stw")) {
        throw UsageError{"-o names a program text (.sws) or a program file (.stw)"};
    }
    return o;
}

// The file of this port's program in the folder: the port's name, its
// slashes as '_', as a program text.
std::string PortFile(const std::string& folder, const std::string& port) {
    std::string name = PortLabel(port);
    while (!name.empty() && name.front() == '/') name.erase(0, 1);
    for (char& ch : name)
        if (ch == '/' || ch == ':') ch = '_';
    return folder + (folder.back() == '/' ? "" : "/") + name + ".sws";
}

}  // namespace

int CmdUpload(Context& c, const Args& args) {
    const UploadOptions o = ParseUploadOptions(c, args);
    if (c.prepareOnly) return kPrepared;

    Connection conn(c);
    if (int r = conn.open(); r != kExitOk) return r;
    // A running program goes on running: the link comes on line with a poll,
    // and the modules are taken as given, or learnt from their type replies
    // while the program is stopped (see LearnModules).
    std::vector<int> types{kTypeMaster};
    if (int r = conn.probePoll(); r != kExitOk) return r;
    if (o.modulesGiven) {
        for (int t : o.modules) types.push_back(HasFamily(t) ? t : kTypeUnknown);
    } else {
        if (int r = LearnModules(c, conn, {}, false, "--modules LIST"); r != kExitOk) return r;
        types = NetworkTypes(c.s);
    }

    Disassembly d;
    c.s.progressHook = [&c](int done, int total) { c.ui.progress("Reading", done, total); };
    const int read = UploadProgram(c.s, types, d);
    c.s.progressHook = nullptr;
    c.ui.endProgress();
    if (read != 0) return c.s.online ? kExitRefused : conn.failure();
    TakeUploadedProgram(c.s, d);

    int imageLength = 2;
    for (const ProgramLine& l : d.program.lines) imageLength += l.length;
    c.report.facts["image_length"] = imageLength;
    c.report.facts["lines"] = int(d.program.lines.size());
    c.report.facts["raw_lines"] = d.rawLines;
    c.report.facts["labels"] = d.labels;
    c.report.facts["guesses"] = d.guesses;
    c.report.facts["assembles"] = d.fits;
    c.report.summary = Format("%d bytes, %d line(s), %d raw, %d label(s)", imageLength,
                              int(d.program.lines.size()), d.rawLines, d.labels);

    std::string path = o.output;
    if (c.options.ports.size() > 1) path = PortFile(o.output, c.options.port);
    const bool asFile = !path.empty() && EndsWith(path, ".stw");
    const std::string data = asFile ? FormatProgramFile(c.s) : FormatProgramText(c.s);
    if (path.empty()) {
        if (c.options.json) c.report.facts["program"] = data;
        else WriteOut(data);
        return kExitOk;
    }
    const std::string failure = WriteFileData(path, data);
    if (!failure.empty()) {
        c.ui.message("stepwright-cli: " + path + ": " + failure);
        return kExitFile;
    }
    c.report.facts["output"] = path;
    if (c.options.ports.size() <= 1 && !c.options.json) c.ui.note(path + ": " + c.report.summary);
    return kExitOk;
}

}  // namespace cli
