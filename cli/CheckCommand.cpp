// stepwright-cli check: each program file checked before it moves a machine,
// one finding a line as compilers write them, or as JSON or SARIF for tools.

#include <string>
#include <vector>

#include "app/MainState.h"
#include "cli/Cli.h"
#include "isa/Vocabulary.h"
#include "program/Check.h"
#include "program/ProgramFile.h"
#include "program/ProgramText.h"
#include "sim/SimOptions.h"

namespace cli {

namespace {

struct CheckOptions {
    std::vector<std::string> files;
    bool sarif = false;
    bool modulesGiven = false;
    std::vector<int> modules;   // addresses 1, 2, ...
};

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
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            o.files.push_back(a);
        }
    }
    if (o.files.empty()) throw UsageError{"missing program file"};
    return o;
}

struct Checked {
    std::string file;
    std::vector<check::Finding> findings;
    std::vector<int> textLines;   // program text: the text line of each program line
};

// The line a finding is shown at: 1-based, the listing line, or the text
// line of a program text.
int ShownLine(const Checked& c, int line) {
    if (line >= 0 && size_t(line) < c.textLines.size()) return c.textLines[size_t(line)];
    return line + 1;
}

// A file name as a SARIF artifact URI: relative names stay relative; bytes
// outside the URI's unreserved set (and '/') are percent-encoded.
std::string UriOf(const std::string& path) {
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

json::Value JsonDocument(const std::vector<Checked>& checked) {
    json::Value doc = json::Value::object();
    json::Value& files = doc["files"] = json::Value::array();
    for (const Checked& c : checked) {
        json::Value file = json::Value::object();
        file["file"] = c.file;
        json::Value& findings = file["findings"] = json::Value::array();
        for (const check::Finding& f : c.findings) {
            json::Value v = json::Value::object();
            v["line"] = ShownLine(c, f.line);
            v["rule"] = f.rule;
            v["severity"] = check::SeverityName(f.severity);
            v["message"] = f.message;
            findings.push(std::move(v));
        }
        files.push(std::move(file));
    }
    return doc;
}

json::Value SarifDocument(const std::vector<Checked>& checked) {
    json::Value doc = json::Value::object();
    doc["$schema"] = "https://json.schemastore.org/sarif-2.1.0.json";
    doc["version"] = "2.1.0";
    json::Value run = json::Value::object();
    json::Value& driver = run["tool"]["driver"] = json::Value::object();
    driver["name"] = "stepwright-cli";
    driver["version"] = STEPWRIGHT_VERSION;
    json::Value& rules = driver["rules"] = json::Value::array();
    const std::vector<check::Rule>& all = check::Rules();
    for (const check::Rule& r : all) {
        json::Value rule = json::Value::object();
        rule["id"] = r.id;
        rule["shortDescription"]["text"] = r.summary;
        rule["defaultConfiguration"]["level"] = check::SeverityName(r.severity);
        rules.push(std::move(rule));
    }
    json::Value& results = run["results"] = json::Value::array();
    for (const Checked& c : checked)
        for (const check::Finding& f : c.findings) {
            json::Value result = json::Value::object();
            result["ruleId"] = f.rule;
            for (size_t i = 0; i < all.size(); ++i)
                if (f.rule == all[i].id) result["ruleIndex"] = int(i);
            result["level"] = check::SeverityName(f.severity);
            result["message"]["text"] = f.message;
            json::Value location = json::Value::object();
            json::Value& physical = location["physicalLocation"] = json::Value::object();
            physical["artifactLocation"]["uri"] = UriOf(c.file);
            physical["region"]["startLine"] = ShownLine(c, f.line);
            result["locations"] = json::Value::array();
            result["locations"].push(std::move(location));
            results.push(std::move(result));
        }
    doc["runs"] = json::Value::array();
    doc["runs"].push(std::move(run));
    return doc;
}

}  // namespace

int CmdCheck(Context& c, const Args& args) {
    const CheckOptions o = ParseCheckOptions(args);
    if (o.sarif && c.options.json) throw UsageError{"--json and --sarif exclude each other"};
    if (c.options.portGiven || c.options.simulator)
        throw UsageError{"check reads program files only: --port and --simulator are not used"};

    std::vector<Checked> checked;
    bool refused = false;
    for (const std::string& path : o.files) {
        std::string bytes;
        ProgramFileData data;
        std::string why;
        if (!ReadProgramBytes(path, bytes)) {
            why = path + ": cannot be read";
        } else if (bytes.size() > kMaxProgramFileBytes) {
            why = path + ": the file is too large to be a program";
        } else if (IsProgramTextPath(path)) {
            why = ParseProgramTextFile(bytes, path, data);
            if (!why.empty()) why = path + ": " + why;
        } else {
            why = ParseProgramFile(bytes, data);
            if (!why.empty()) why = path + ": " + why;
        }
        if (!why.empty()) {
            c.ui.message(why);
            refused = true;
            continue;
        }
        std::vector<int> types = data.moduleTypes;
        if (o.modulesGiven) {
            types = {kTypeMaster};
            types.insert(types.end(), o.modules.begin(), o.modules.end());
        }
        Checked one{path, check::CheckProgram(data.lines.data(), int(data.lines.size()), types), data.textLines};
        checked.push_back(std::move(one));
    }

    bool fails = false;
    for (const Checked& one : checked) fails = fails || check::Fails(one.findings);
    if (c.options.json) {
        WriteOut(JsonDocument(checked).write());
    } else if (o.sarif) {
        WriteOut(SarifDocument(checked).write());
    } else {
        for (const Checked& one : checked)
            for (const check::Finding& f : one.findings)
                WriteOut(Format("%s:%d: %s: ", one.file.c_str(), ShownLine(one, f.line), check::SeverityName(f.severity)) +
                         VisibleText(f.message) + " [" + f.rule + "]\n");
    }
    if (refused) return kExitFile;
    return fails ? kExitCheckFailed : kExitOk;
}

}  // namespace cli
