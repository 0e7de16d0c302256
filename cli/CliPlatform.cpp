// The terminal as the core's desktop: messages on standard error, questions
// answered with their default button, real waits, status windows printed.

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
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

void Put(FILE* f, const std::string& text) { std::fwrite(text.data(), 1, text.size(), f); }

void PutRow(StatusFormState& w, const char* label, const std::string& caption) {
    Put(stdout, caption + ": " + VisibleText(w.value(label)) + "\n");
}

}  // namespace

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

void CliPlatform::message(const std::string& text) {
    endProgress();
    messages.push_back(text);
    Put(stderr, VisibleText(text) + "\n");
    std::fflush(stderr);
}

void CliPlatform::note(const std::string& text) {
    endProgress();
    Put(stderr, VisibleText(text) + "\n");
    std::fflush(stderr);
}

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
    if (!state_) return;
    ++statusWindowsShown;
    StatusForms& forms = state_->statusForms;
    switch (which) {
        case StatusWindow::Servo:
            Put(stdout, VisibleText(forms.servo.caption) + "\n");
            for (const auto& row : kServoRows) PutRow(forms.servo, row.first, row.second);
            break;
        case StatusWindow::Stepper:
            Put(stdout, VisibleText(forms.stepper.caption) + "\n");
            for (const auto& row : kStepperRows) PutRow(forms.stepper, row.first, row.second);
            break;
        case StatusWindow::Io:
            Put(stdout, VisibleText(forms.io.caption) + "\n");
            for (int k = 1; k <= 12; ++k) PutRow(forms.io, ("B" + std::to_string(k) + "Lbl").c_str(), "Bit " + std::to_string(k));
            break;
        case StatusWindow::Master:
            Put(stdout, VisibleText(forms.master.caption) + "\n");
            // The version label carries its own caption.
            Put(stdout, VisibleText(forms.master.value("VersionLbl")) + "\n");
            for (const auto& row : kMasterRows) PutRow(forms.master, row.first, row.second);
            break;
    }
    std::fflush(stdout);
}

void CliPlatform::progress(const char* what, int done, int total) {
    if (total <= 0 || !isatty(STDERR_FILENO)) return;
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
