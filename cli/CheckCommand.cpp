// stepwright-cli check: each program file checked before it moves a machine,
// one finding a line as compilers write them, or as JSON or SARIF for tools.
// A file the reader refuses is a finding too (rule file-refused), in every
// form, and the exit code says so.

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/DataPaths.h"
#include "app/MainState.h"
#include "cli/Cli.h"
#include "isa/Vocabulary.h"
#include "program/Check.h"
#include "machine/Machine.h"
#include "machine/MachineCheck.h"
#include "program/ProgramFile.h"
#include "program/InstructionText.h"
#include "program/ProgramText.h"
#include "sim/SimOptions.h"

#ifndef STEPWRIGHT_DOC_PATH
#define STEPWRIGHT_DOC_PATH "/usr/share/doc/stepwright"
#endif

namespace cli {

namespace {

constexpr const char* kRefused = "file-refused";

struct CheckOptions {
    std::vector<std::string> files;
    bool sarif = false;
    bool modulesGiven = false;
    std::vector<int> modules;   // addresses 1, 2, ...
    check::Options tuning;
    std::string machine;        // --machine FILE, "" when not given
};

// A rule id the check knows and the command line may tune.
std::string TunableRule(const std::string& id, const std::string& option) {
    const auto& own = machine::MachineRules();
    const bool machineRule =
        std::any_of(own.begin(), own.end(), [&](const check::Rule& r) { return id == r.id; });
    if (!check::FindRule(id) && !machineRule) throw UsageError{option + ": unknown rule " + id};
    if (id == kRefused) throw UsageError{option + ": " + id + " cannot be tuned"};
    return id;
}

CheckOptions ParseCheckOptions(const Args& args) {
    CheckOptions o;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a == "--sarif") {
            o.sarif = true;
        } else if (!optionsEnded && a == "--modules") {
            if (i + 1 >= args.size()) throw UsageError{"--modules needs a list"};
            std::string error;
            if (!ParseSimModules(args[++i], o.modules, error)) throw UsageError{error};
            o.modulesGiven = true;
        } else if (!optionsEnded && a == "--machine") {
            if (i + 1 >= args.size()) throw UsageError{"--machine needs a machine description file"};
            o.machine = args[++i];
        } else if (!optionsEnded && a == "--disable") {
            if (i + 1 >= args.size()) throw UsageError{"--disable needs a rule id"};
            o.tuning.disabled.push_back(TunableRule(args[++i], a));
        } else if (!optionsEnded && a == "--severity") {
            if (i + 1 >= args.size()) throw UsageError{"--severity needs RULE-ID=error|warning|note"};
            const std::string& v = args[++i];
            const size_t eq = v.find('=');
            if (eq == std::string::npos) throw UsageError{"--severity needs RULE-ID=error|warning|note"};
            const std::string level = v.substr(eq + 1);
            check::Severity severity;
            if (level == "error") severity = check::Severity::Error;
            else if (level == "warning") severity = check::Severity::Warning;
            else if (level == "note") severity = check::Severity::Note;
            else throw UsageError{"--severity: " + level + " is not error, warning or note"};
            o.tuning.severities.push_back({TunableRule(v.substr(0, eq), a), severity});
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            o.files.push_back(a);
        }
    }
    if (o.files.empty()) throw UsageError{"missing program file"};
    return o;
}

// Why the reader refused a file, at a place in it (1-based; a refusal of
// the whole file stands at line 1, column 1).
struct Refusal {
    int line = 1;
    int column = 1;
    std::string message;
};

struct Checked {
    std::string file;
    std::vector<check::Finding> findings;
    std::vector<std::string> fingerprints;
    std::vector<int> fileLines;   // the file line of each program line
    std::vector<Refusal> refusals;
};

// The line in the file of a finding: the program text's line of a .sws, the
// line where the line's block starts in a .stw.
int FileLine(const Checked& c, const check::Finding& f) {
    if (f.line >= 0 && size_t(f.line) < c.fileLines.size()) return c.fileLines[size_t(f.line)];
    return check::ListingLine(f);
}

// Bytes of a path as a URI path: the unreserved set and '/' stay, every
// other byte is percent-encoded.
std::string UriPath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char ch : path) {
        if (std::isalnum(ch) || ch == '-' || ch == '.' || ch == '_' || ch == '~' || ch == '/') {
            out += char(ch);
        } else {
            out += '%';
            out += hex[ch >> 4];
            out += hex[ch & 15];
        }
    }
    return out;
}

// The base of relative file names in a SARIF log: the working directory.
constexpr const char* kBaseId = "SRCROOT";

// A file name as a SARIF artifact location: an absolute name as a file://
// URI, a relative one relative to kBaseId.
json::Value ArtifactLocation(const std::string& path) {
    json::Value location = json::Value::object();
    if (!path.empty() && path[0] == '/') {
        location["uri"] = "file://" + UriPath(path);
    } else {
        location["uri"] = UriPath(path);
        location["uriBaseId"] = kBaseId;
    }
    return location;
}

std::string WorkingDirectoryUri() {
    std::string dir;
    if (char* cwd = ::getcwd(nullptr, 0)) {
        dir = cwd;
        std::free(cwd);
    }
    if (dir.empty() || dir.back() != '/') dir += '/';
    return "file://" + UriPath(dir);
}

// The guide as installed, and a rule's section in it: the copy beside the
// running program's installation (<executable dir>/../share/doc/stepwright),
// else where the build's install rules put it.
std::string GuideUri() {
    static const std::string uri = [] {
        std::string path = STEPWRIGHT_DOC_PATH "/manual.md";
        const std::string dir = ExecutableDirectory();
        if (!dir.empty())
            if (char* found = ::realpath((dir + "/../share/doc/stepwright/manual.md").c_str(), nullptr)) {
                path = found;
                std::free(found);
            }
        return "file://" + UriPath(path);
    }();
    return uri;
}
std::string RuleHelpUri(const std::string& id) { return GuideUri() + "#" + id; }

const char* SuppressionName(check::Suppression s) {
    return s == check::Suppression::InSource ? "in-source" : "disabled";
}

// A refusal's fingerprint: its message hashed (FNV-1a), as the check's are,
// so that it stays when the lines above it change.
std::string RefusalFingerprint(const Refusal& r) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char ch : std::string(kRefused) + '\0' + r.message) h = (h ^ ch) * 0x100000001b3ull;
    char hex[17];
    for (int i = 0; i < 16; ++i) hex[i] = "0123456789abcdef"[(h >> (60 - 4 * i)) & 15];
    hex[16] = '\0';
    return std::string(hex) + ":1";
}

json::Value JsonDocument(const std::vector<Checked>& checked) {
    json::Value doc = json::Value::object();
    json::Value& files = doc["files"] = json::Value::array();
    for (const Checked& c : checked) {
        json::Value file = json::Value::object();
        file["file"] = c.file;
        file["refused"] = !c.refusals.empty();
        json::Value& findings = file["findings"] = json::Value::array();
        for (const Refusal& r : c.refusals) {
            json::Value v = json::Value::object();
            v["line"] = r.line;
            v["column"] = r.column;
            v["rule"] = kRefused;
            v["severity"] = "error";
            v["message"] = r.message;
            v["suppressed"] = false;
            findings.push(std::move(v));
        }
        for (size_t i = 0; i < c.findings.size(); ++i) {
            const check::Finding& f = c.findings[i];
            json::Value v = json::Value::object();
            v["line"] = FileLine(c, f);
            v["listingLine"] = check::ListingLine(f);
            v["rule"] = f.rule;
            v["severity"] = check::SeverityName(f.severity);
            v["message"] = f.message;
            v["suppressed"] = f.suppressed();
            if (f.suppressed()) v["suppression"] = SuppressionName(f.suppression);
            v["fingerprint"] = c.fingerprints[i];
            findings.push(std::move(v));
        }
        files.push(std::move(file));
    }
    return doc;
}

json::Value SarifResult(const check::Rule& rule, int ruleIndex, const char* level, const std::string& message,
                        const std::string& file, int line, int column) {
    json::Value result = json::Value::object();
    result["ruleId"] = rule.id;
    result["ruleIndex"] = ruleIndex;
    result["level"] = level;
    result["message"]["text"] = message;
    json::Value location = json::Value::object();
    json::Value& physical = location["physicalLocation"] = json::Value::object();
    physical["artifactLocation"] = ArtifactLocation(file);
    physical["region"]["startLine"] = line;
    if (column > 0) physical["region"]["startColumn"] = column;
    result["locations"] = json::Value::array();
    result["locations"].push(std::move(location));
    return result;
}

json::Value SarifDocument(const std::vector<Checked>& checked, bool withMachine) {
    json::Value doc = json::Value::object();
    doc["$schema"] = "https://json.schemastore.org/sarif-2.1.0.json";
    doc["version"] = "2.1.0";
    json::Value run = json::Value::object();
    json::Value& driver = run["tool"]["driver"] = json::Value::object();
    driver["name"] = "stepwright-cli";
    driver["version"] = STEPWRIGHT_VERSION;
    driver["semanticVersion"] = STEPWRIGHT_VERSION;
    driver["informationUri"] = GuideUri();
    json::Value& rules = driver["rules"] = json::Value::array();
    std::vector<check::Rule> all = check::Rules();
    if (withMachine) all.insert(all.end(), machine::MachineRules().begin(), machine::MachineRules().end());
    auto indexOf = [&](const std::string& id) {
        for (size_t i = 0; i < all.size(); ++i)
            if (id == all[i].id) return int(i);
        return -1;
    };
    for (const check::Rule& r : all) {
        json::Value rule = json::Value::object();
        const std::string level = check::SeverityName(r.severity);
        std::string summary = r.summary;
        if (!summary.empty()) summary[0] = char(std::toupper(static_cast<unsigned char>(summary[0])));
        rule["id"] = r.id;
        rule["shortDescription"]["text"] = summary + ".";
        rule["fullDescription"]["text"] = "Rule " + std::string(r.id) + " (" + level + "): " + r.summary + ".";
        rule["help"]["text"] = std::string("The guide's \"Checking a program\" gives a wrong and a right example of ") +
                               r.id + ". Suppress it on a line with a comment line \"; check: ignore " + r.id +
                               "\" right above it.";
        rule["helpUri"] = RuleHelpUri(r.id);
        rule["defaultConfiguration"]["level"] = level;
        rules.push(std::move(rule));
    }
    bool anyRelative = false;
    // Built apart and put in at the end: a reference to a member does not
    // outlive the next member added.
    json::Value artifacts = json::Value::array();
    json::Value results = json::Value::array();
    for (const Checked& c : checked) {
        anyRelative = anyRelative || c.file.empty() || c.file[0] != '/';
        json::Value artifact = json::Value::object();
        artifact["location"] = ArtifactLocation(c.file);
        artifacts.push(std::move(artifact));
        const int refusedIndex = indexOf(kRefused);
        for (const Refusal& r : c.refusals) {
            json::Value result =
                SarifResult(all[size_t(refusedIndex)], refusedIndex, "error", r.message, c.file, r.line, r.column);
            result["partialFingerprints"]["stepwrightLineHash/v1"] = RefusalFingerprint(r);
            results.push(std::move(result));
        }
        for (size_t i = 0; i < c.findings.size(); ++i) {
            const check::Finding& f = c.findings[i];
            const int index = indexOf(f.rule);
            if (index < 0) continue;
            json::Value result = SarifResult(all[size_t(index)], index, check::SeverityName(f.severity), f.message,
                                             c.file, FileLine(c, f), 0);
            result["partialFingerprints"]["stepwrightLineHash/v1"] = c.fingerprints[i];
            result["properties"]["listingLine"] = check::ListingLine(f);
            if (f.suppressed()) {
                json::Value suppression = json::Value::object();
                suppression["kind"] = f.suppression == check::Suppression::InSource ? "inSource" : "external";
                result["suppressions"] = json::Value::array();
                result["suppressions"].push(std::move(suppression));
            }
            results.push(std::move(result));
        }
    }
    run["artifacts"] = std::move(artifacts);
    run["results"] = std::move(results);
    if (anyRelative) run["originalUriBaseIds"][kBaseId]["uri"] = WorkingDirectoryUri();
    json::Value invocation = json::Value::object();
    invocation["executionSuccessful"] = true;
    run["invocations"] = json::Value::array();
    run["invocations"].push(std::move(invocation));
    doc["runs"] = json::Value::array();
    doc["runs"].push(std::move(run));
    return doc;
}

// Reads and parses one file; the reader's refusals when it refuses it.
std::vector<Refusal> ReadChecked(const std::string& path, ProgramFileData& data) {
    std::string bytes;
    if (!ReadProgramBytes(path, bytes)) return {{1, 1, "cannot be read"}};
    if (bytes.size() > kMaxProgramFileBytes) return {{1, 1, "the file is too large to be a program"}};
    std::vector<Refusal> refusals;
    if (IsProgramTextPath(path)) {
        std::vector<ProgramTextError> errors;
        if (ParseProgramText(bytes, data, errors)) return refusals;
        for (const ProgramTextError& e : errors)
            refusals.push_back({e.line > 0 ? e.line : 1, e.column > 0 ? e.column : 1,
                                (e.field.empty() ? "" : "field '" + CutForMessage(e.field) + "': ") + e.message});
        if (refusals.empty()) refusals.push_back({1, 1, "refused"});
        return refusals;
    }
    std::string why = ParseProgramFile(bytes, data);
    if (why.empty()) return refusals;
    // The reader names the line it stopped on: "line N: why".
    Refusal r;
    if (why.compare(0, 5, "line ") == 0) {
        size_t p = 5;
        int line = 0;
        while (p < why.size() && std::isdigit(static_cast<unsigned char>(why[p])) && line < 100000000)
            line = line * 10 + (why[p++] - '0');
        if (line > 0 && why.compare(p, 2, ": ") == 0) {
            r.line = line;
            why.erase(0, p + 2);
        }
    }
    r.message = why;
    return {r};
}

}  // namespace

int CmdCheck(Context& c, const Args& args) {
    const CheckOptions o = ParseCheckOptions(args);
    if (o.sarif && c.options.json) throw UsageError{"--json and --sarif exclude each other"};
    if (c.options.portGiven || c.options.simulator)
        throw UsageError{"check reads program files only: --port and --simulator are not used"};

    // The machine description is read and checked before any program: a
    // malformed one stops the run, one line per error.
    machine::Machine machineDescription;
    if (!o.machine.empty()) {
        std::vector<std::string> errors;
        if (!machine::LoadMachine(o.machine, machineDescription, errors)) {
            for (const std::string& e : errors) c.ui.message(e);
            return kExitFile;
        }
    }

    std::vector<Checked> checked;
    bool refused = false;
    for (const std::string& path : o.files) {
        ProgramFileData data;
        Checked one;
        one.file = path;
        one.refusals = ReadChecked(path, data);
        if (!one.refusals.empty()) {
            refused = true;
            checked.push_back(std::move(one));
            continue;
        }
        std::vector<int> types = data.moduleTypes;
        if (o.modulesGiven) {
            types = {kTypeMaster};
            types.insert(types.end(), o.modules.begin(), o.modules.end());
        }
        const int count = int(data.lines.size());
        one.findings = check::CheckProgram(data.lines.data(), count, types, o.tuning);
        if (!o.machine.empty())
            one.findings = machine::CheckAgainstMachine(data.lines.data(), count, types, machineDescription,
                                                        std::move(one.findings), o.tuning);
        one.fingerprints = check::Fingerprints(data.lines.data(), count, one.findings);
        one.fileLines = data.textLines;
        checked.push_back(std::move(one));
    }

    bool fails = false;
    for (const Checked& one : checked) fails = fails || check::Fails(one.findings);
    if (c.options.json) {
        WriteOut(JsonDocument(checked).write());
    } else if (o.sarif) {
        WriteOut(SarifDocument(checked, !o.machine.empty()).write());
    } else {
        for (const Checked& one : checked) {
            for (const Refusal& r : one.refusals)
                WriteOut(Format("%s:%d:%d: error: ", one.file.c_str(), r.line, r.column) + VisibleText(r.message) +
                         " [" + kRefused + "]\n");
            for (const check::Finding& f : one.findings)
                if (!f.suppressed())
                    WriteOut(Format("%s:%d: %s: ", one.file.c_str(), FileLine(one, f), check::SeverityName(f.severity)) +
                             VisibleText(f.message) + " [" + f.rule + "]\n");
        }
    }
    if (refused) return kExitFile;
    return fails ? kExitCheckFailed : kExitOk;
}

}  // namespace cli
