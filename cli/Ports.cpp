// Runs of a command: one over a main state of its own, its JSON document, and
// several ports served at once, each from a thread of its own.

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>

#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "link/LinkLog.h"
#include "cli/Cli.h"

namespace cli {

namespace {

bool IsOneOf(const std::string& command, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return command == n; });
}

}  // namespace

bool UsesPort(const std::string& command) {
    return !IsOneOf(command, {"list", "assemble", "check", "decode", "prove"});
}

bool TakesJson(const std::string& command) {
    return IsOneOf(command,
                   {"detect", "status", "download", "verify", "compare", "assemble", "list", "watch", "check", "upload",
                    "decode", "prove"});
}

bool TakesManyPorts(const std::string& command) {
    return IsOneOf(command, {"download", "verify", "compare", "detect", "status", "reset", "upload"});
}

void RunCommand(CommandRun& r, const std::string& command, Command run, const Args& args,
                const GlobalOptions& options, bool prepareOnly, const std::vector<uint8_t>* image) {
    auto s = std::make_unique<MainState>(r.ui);
    r.ui.attach(s.get());
    // The window's start-up state: the end marker, the master selected.
    StartTimerTimer(*s);
    s->com.visible = false;
    Context context{*s, r.ui, options, r.report, prepareOnly, image};
    // --log: every byte through the port, written when the command ends.
    std::unique_ptr<LinkLog> log;
    // With a log, Ctrl+C stops the command at its next exchange rather than
    // ending the process, so that the log collected so far is written.
    std::unique_ptr<InterruptGuard> interrupts;
    if (!options.logFile.empty() && !prepareOnly) {
        log = std::make_unique<LinkLog>();
        s->linkLog = log.get();
        interrupts = std::make_unique<InterruptGuard>(true);
    }
    try {
        r.code = run(context, args);
    } catch (const UsageError& e) {
        PrintUsageError(command, e.text);
        r.report.facts["error"] = e.text;
        r.code = kExitUsage;
    } catch (const Interruption&) {
        r.interrupted = true;
        r.code = kExitNotResponding;  // never seen: the process ends by the signal
        r.ui.message("stepwright-cli: interrupted; the link log holds the exchanges so far");
    }
    // A command that failed before a byte passed leaves no file behind.
    if (log && r.code != kExitUsage && (log->endRun() > 0 || r.code == kExitOk)) {
        if (SaveLinkLog(*s, *log, options) != kExitOk && r.code == kExitOk) r.code = kExitFile;
    }
    s->linkLog = nullptr;
    interrupts.reset();
    r.image.assign(s->programImage, s->programImage + s->imageLength);
    r.ui.attach(nullptr);
}

json::Value Document(const std::string& command, const std::string& port, const CommandRun& r) {
    json::Value doc = json::Value::object();
    if (!command.empty()) doc["command"] = command;
    if (!port.empty()) doc["port"] = port;
    doc["exit"] = r.code;
    doc.merge(r.report.facts);
    json::Value& messages = doc["messages"] = json::Value::array();
    for (const auto& m : r.ui.messages) messages.push(m);
    return doc;
}

int RunOnPorts(const std::string& command, Command run, const Args& args, const GlobalOptions& options) {
    // A first pass checks the arguments and the program file once, before
    // any port is opened.
    CommandRun first;
    first.ui.printResults = false;
    RunCommand(first, command, run, args, options, true, nullptr);
    if (first.code != kPrepared) {
        if (options.json) WriteOut(Document(command, "", first).write());
        return first.code;
    }
    const std::vector<uint8_t>* image = first.image.empty() ? nullptr : &first.image;

    const size_t n = options.ports.size();
    std::vector<GlobalOptions> portOptions(n, options);
    std::vector<std::unique_ptr<CommandRun>> runs;
    std::vector<std::thread> threads;
    for (size_t i = 0; i < n; ++i) {
        portOptions[i].port = options.ports[i];
        runs.push_back(std::make_unique<CommandRun>());
        CommandRun& r = *runs.back();
        r.ui.prefix = PortLabel(options.ports[i]) + ": ";
        r.ui.printResults = false;
        try {
            threads.emplace_back([&, i] { RunCommand(*runs[i], command, run, args, portOptions[i], false, image); });
        } catch (const std::system_error& e) {
            r.ui.message(std::string("stepwright-cli: no thread to serve this port: ") + e.what());
            r.code = kExitPort;
            threads.emplace_back();
        }
    }
    for (auto& t : threads)
        if (t.joinable()) t.join();
    for (const auto& r : runs)
        if (r->interrupted) EndByInterrupt();

    int worst = kExitOk;
    for (const auto& r : runs) worst = std::max(worst, r->code);
    if (options.json) {
        json::Value doc = json::Value::object();
        doc["command"] = command;
        doc["exit"] = worst;
        json::Value& ports = doc["ports"] = json::Value::array();
        for (size_t i = 0; i < n; ++i) ports.push(Document("", options.ports[i], *runs[i]));
        WriteOut(doc.write());
        return worst;
    }
    for (size_t i = 0; i < n; ++i) {
        const CommandRun& r = *runs[i];
        std::string outcome;
        if (r.code == kExitOk) outcome = "ok: " + r.report.summary;
        else outcome = Format("exit %d: ", r.code) + (r.ui.messages.empty() ? "failed" : r.ui.messages.back());
        WriteOut(VisibleText(PortLabel(options.ports[i]) + ": " + outcome) + "\n");
    }
    return worst;
}

}  // namespace cli
