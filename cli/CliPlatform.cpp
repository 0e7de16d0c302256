// The terminal as the core's desktop: messages on standard error, questions
// answered with their default button, real waits, status windows printed.

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include "app/MainState.h"
#include "cli/Cli.h"

namespace cli {

namespace {

// The rows of each status window, top to bottom: value label and caption.
using Rows = std::vector<std::pair<const char*, const char*>>;

const Rows kServoRows = {{"PosLabel", "Position"},   {"HomePosLabel", "Home Position"}, {"Lim1Label", "Limit 1"},
                         {"Lim2Label", "Limit 2"},   {"PowerLabel", "Power"}};
const Rows kStepperRows = {{"PosLabel", "Position"},     {"HomePosLabel", "Home Position"},
                           {"Lim1Label", "Limit 1"},     {"Lim2Label", "Limit 2"},
                           {"HomeSwLabel", "Home Sw."},  {"EStopLabel", "E-Stop"},
                           {"Input1Label", "Input 1"},   {"Input2Label", "Input 2"},
                           {"PowerLabel", "Power"}};
const Rows kMasterRows = {{"C1Lbl", "Counter 1"}, {"C2Lbl", "Counter 2"}, {"C3Lbl", "Counter 3"}, {"C4Lbl", "Counter 4"}};
const Rows kIoRows = {{"B1Lbl", "Bit 1"},   {"B2Lbl", "Bit 2"},   {"B3Lbl", "Bit 3"},   {"B4Lbl", "Bit 4"},
                      {"B5Lbl", "Bit 5"},   {"B6Lbl", "Bit 6"},   {"B7Lbl", "Bit 7"},   {"B8Lbl", "Bit 8"},
                      {"B9Lbl", "Bit 9"},   {"B10Lbl", "Bit 10"}, {"B11Lbl", "Bit 11"}, {"B12Lbl", "Bit 12"}};

void Put(FILE* f, const std::string& text) { std::fwrite(text.data(), 1, text.size(), f); }

// Lines on standard error from the threads of several ports stay whole.
std::mutex g_stderrLock;

// The errno of the first write to standard output that failed; 0 = none.
std::atomic<int> g_outError{0};

void NoteOutError(int err) {
    int none = 0;
    g_outError.compare_exchange_strong(none, err ? err : EIO);
}

// "Version:  2" → "Version", "2": a label that carries its own caption.
std::pair<std::string, std::string> SplitCaption(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return {text, ""};
    const size_t value = text.find_first_not_of(' ', colon + 1);
    return {text.substr(0, colon), value == std::string::npos ? "" : text.substr(value)};
}

}  // namespace

void WriteOut(const std::string& bytes) {
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) NoteOutError(errno);
}

int CloseOut() {
    if (std::fflush(stdout) != 0) NoteOutError(errno);
    if (std::ferror(stdout)) NoteOutError(EIO);
    if (std::fclose(stdout) != 0) NoteOutError(errno);
    return g_outError;
}

std::string VisibleText(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

void CliPlatform::printLine(const std::string& text) {
    endProgress();
    std::lock_guard<std::mutex> lock(g_stderrLock);
    Put(stderr, VisibleText(prefix + text) + "\n");
    std::fflush(stderr);
}

void CliPlatform::message(const std::string& text) {
    // Once a port names the source of each line, the tool's own name in
    // front would say it twice ("COM1: stepwright-cli: ...").
    static const std::string kTool = "stepwright-cli: ";
    const bool named = !prefix.empty() || !port.empty();
    const std::string said = named && text.compare(0, kTool.size(), kTool) == 0 ? text.substr(kTool.size()) : text;
    messages.push_back(said);
    // A box of several lines (a port's message and what happened to the
    // port) is printed line by line, each naming the port.
    size_t from = 0;
    for (size_t end; (end = said.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string line = said.substr(from, end - from);
        printLine(prefix.empty() && !port.empty() ? port + ": " + line : line);
    }
    const std::string last = said.substr(from);
    printLine(prefix.empty() && !port.empty() ? port + ": " + last : last);
}

void CliPlatform::note(const std::string& text) { printLine(text); }

Answer CliPlatform::askYesNo(const std::string& text) {
    message(text + " - No");
    return Answer::No;
}

Answer CliPlatform::askYesNoCancel(const std::string& text) {
    message(text + " - Yes");
    return Answer::Yes;
}

void CliPlatform::wait(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CliPlatform::showStatusWindow(StatusWindow which) {
    // The master's window opens even when its Version got no reply (showing
    // -1); here that is a failure of the command, not a status to print: the
    // link has gone off line, and the command reports the master silent.
    if (!state_ || !state_->online) return;
    ++statusWindowsShown;
    StatusForms& forms = state_->statusForms;
    StatusFormState* w = nullptr;
    const Rows* rows = nullptr;
    switch (which) {
        case StatusWindow::Servo: w = &forms.servo, rows = &kServoRows; break;
        case StatusWindow::Stepper: w = &forms.stepper, rows = &kStepperRows; break;
        case StatusWindow::Io: w = &forms.io, rows = &kIoRows; break;
        case StatusWindow::Master: w = &forms.master, rows = &kMasterRows; break;
    }
    json::Value shown = json::Value::object();
    shown["address"] = statusAddress;
    shown["caption"] = w->caption;
    json::Value& values = shown["values"] = json::Value::object();
    std::string text = VisibleText(w->caption) + "\n";
    statusLine = VisibleText(w->caption) + ":";
    if (which == StatusWindow::Master) {
        // The version label carries its own caption.
        const std::string version = w->value("VersionLbl");
        const auto [caption, value] = SplitCaption(version);
        values[caption] = value;
        text += VisibleText(version) + "\n";
        statusLine += " " + VisibleText(caption + " " + value) + ",";
    }
    for (const auto& [label, caption] : *rows) {
        values[caption] = w->value(label);
        text += std::string(caption) + ": " + VisibleText(w->value(label)) + "\n";
        statusLine += std::string(" ") + caption + " " + VisibleText(w->value(label)) + ",";
    }
    statusLine.pop_back();
    statusWindows.push(std::move(shown));
    if (printResults) {
        WriteOut(text);
        std::fflush(stdout);
    }
}

void CliPlatform::progress(const char* what, int done, int total) {
    if (total <= 0 || !prefix.empty()) return;
    // Asked once: a transfer reports every block, and the answer does not change.
    if (stderrIsTerminal_ < 0) stderrIsTerminal_ = isatty(STDERR_FILENO) ? 1 : 0;
    if (!stderrIsTerminal_) return;
    const int percent = int(int64_t(done) * 100 / total);
    // Redrawn only when the bar moves, so that a slow terminal never paces the transfer.
    if (progressOpen_ && percent == progressShown_ && done != total) return;
    constexpr int kWidth = 40;
    const int filled = int(int64_t(done) * kWidth / total);
    std::string bar = "\r" + std::string(what) + " [" + std::string(size_t(filled), '#') +
                      std::string(size_t(kWidth - filled), '.') + "] " +
                      Format("%3d%% %d/%d blocks", percent, done, total);
    Put(stderr, bar);
    std::fflush(stderr);
    progressOpen_ = true;
    progressShown_ = percent;
    if (done >= total) endProgress();
}

void CliPlatform::endProgress() {
    if (!progressOpen_) return;
    Put(stderr, "\n");
    std::fflush(stderr);
    progressOpen_ = false;
    progressShown_ = -1;
}

}  // namespace cli
