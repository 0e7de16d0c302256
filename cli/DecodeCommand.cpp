// stepwright-cli decode: the exchanges of a saved link log; and --log FILE,
// the link log of any command that opens a port.

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/MainState.h"
#include "cli/Cli.h"
#include "link/LinkLog.h"
#include "program/SafeFile.h"

namespace cli {

namespace {

// The most bytes decode reads.  The fullest log the window or --log keeps (a
// ring of 2 MiB of bytes in about a million runs) is written in under 32 MiB.
constexpr size_t kMaxLinkLogBytes = size_t(64) << 20;

}  // namespace

bool WritesLinkLog(const std::string& command) {
    return UsesPort(command) && command != "export" && command != "import" && command != "test";
}

std::string LinkLogPath(const GlobalOptions& options) {
    const std::string& path = options.logFile;
    if (options.ports.size() < 2) return path;
    // Several ports: one file each, the port's name before the extension
    // ("line.log" and /dev/ttyUSB1 give "line-ttyUSB1.log", /dev/pts/3
    // "line-pts-3.log", COM2 "line-COM2.log").
    std::string name = PortLabel(options.port);
    if (name.compare(0, 5, "/dev/") == 0) name.erase(0, 5);
    while (!name.empty() && name[0] == '/') name.erase(0, 1);
    std::replace(name.begin(), name.end(), '/', '-');
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + "-" + name;
    return path.substr(0, dot) + "-" + name + path.substr(dot);
}

int SaveLinkLog(MainState& s, const LinkLog& log, const GlobalOptions& options) {
    LinkRuns runs;
    log.copyRuns(0, runs);
    int32_t types[32];
    for (int i = 0; i < 32; ++i) types[i] = s.moduleListDefined && i <= s.moduleListCount ? s.moduleTypes[i] : -1;
    const std::string path = LinkLogPath(options);
    const std::string error = WriteFileData(path, FormatLinkLog(runs, types));
    if (error.empty()) return kExitOk;
    s.message("stepwright-cli: the link log was not written: " + error);
    return kExitFile;
}

int CmdDecode(Context& c, const Args& args) {
    std::string file;
    bool hex = false, optionsEnded = false;
    for (const std::string& a : args) {
        if (!optionsEnded && a == "--")
            optionsEnded = true;
        else if (!optionsEnded && a == "--hex")
            hex = true;
        else if (!optionsEnded && a.size() > 1 && a[0] == '-')
            throw UsageError{"unknown option " + a};
        else if (file.empty())
            file = a;
        else
            throw UsageError{"decode takes one file"};
    }
    if (file.empty()) throw UsageError{"missing link log file"};
    if (c.prepareOnly) return kPrepared;

    // Read as every file is read: regular files only, without waiting, and
    // no more than a link log can hold.
    std::string text;
    int err = 0;
    switch (ReadFileBounded(file, kMaxLinkLogBytes, text, &err)) {
        case BoundedRead::Read: break;
        case BoundedRead::CannotOpen:
            c.ui.message(file + ": " + (err ? std::strerror(err) : "not a regular file"));
            return kExitFile;
        case BoundedRead::TooLarge:
            c.ui.message(file + Format(": larger than %d MiB, more than a link log holds", int(kMaxLinkLogBytes >> 20)));
            return kExitFile;
    }
    LinkRuns runs;
    int32_t types[32];
    if (std::string error = ParseLinkLog(text, runs, types); !error.empty()) {
        c.ui.message(file + ": " + error);
        return kExitFile;
    }
    const std::vector<LinkExchange> exchanges = DecodeLinkRuns(runs, types);
    std::string out;
    for (const LinkExchange& e : exchanges) {
        out += c.options.json ? LinkExchangeJson(e) : LinkExchangeLine(e);
        out += '\n';
        if (hex && !c.options.json) {
            if (!e.sent.empty()) out += "    > " + LinkHex(e.sent) + "\n";
            if (!e.received.empty()) out += "    < " + LinkHex(e.received) + "\n";
        }
        if (out.size() > (1 << 16)) {
            WriteOut(out);
            out.clear();
        }
    }
    WriteOut(out);
    return kExitOk;
}

}  // namespace cli
