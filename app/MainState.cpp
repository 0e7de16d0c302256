#include "app/MainState.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "link/ProtocolBytes.h"

std::string& StatusFormState::value(const std::string& name) {
    for (auto& l : labels)
        if (l.first == name) return l.second;
    labels.emplace_back(name, std::string());
    return labels.back().second;
}

StatusForms::StatusForms() {
    servo.labels = {{"PosLabel", "0"}, {"HomePosLabel", "0"}, {"Lim1Label", "Low"}, {"Lim2Label", "Low"},
                    {"PowerLabel", "Off"}};
    stepper.labels = {{"PosLabel", "0"}, {"HomePosLabel", "0"}, {"Lim1Label", "Low"}, {"Lim2Label", "Low"},
                      {"HomeSwLabel", "Low"}, {"EStopLabel", "Low"}, {"Input1Label", "Low"},
                      {"Input2Label", "Low"}, {"PowerLabel", "Off"}};
    for (int k = 1; k <= 12; ++k) io.labels.emplace_back("B" + std::to_string(k) + "Lbl", "Low");
    master.labels = {{"VersionLbl", "Version:   1"}, {"C1Lbl", "0"}, {"C2Lbl", "0"}, {"C3Lbl", "0"}, {"C4Lbl", "0"}};
}

MainState::MainState(Platform& platform) : ui(platform) {
    std::memset(lines, 0, sizeof lines);
    std::memset(&builderLine, 0, sizeof builderLine);
    std::memset(copyBuffer, 0, sizeof copyBuffer);
    std::memset(labelTable, 0, sizeof labelTable);
    std::memset(programImage, 0, sizeof programImage);
    for (auto& t : moduleTypes) t = 0;
    for (auto& t : detectedTypes) t = -1;
}

ExecutionButtons ExecutionButtonsFor(bool loaded, bool running, bool online) {
    ExecutionButtons b;
    b.run = b.step = b.breakpoint = loaded;
    b.stop = loaded || (running && online);
    return b;
}

void UpdateExecutionButtons(MainState& s) {
    const bool running = (s.status.statusB & kStatusBRunning) != 0;
    const ExecutionButtons b = ExecutionButtonsFor(s.programLoaded, running, s.online);
    s.form.RunButton.enabled = b.run;
    s.form.StopButton.enabled = b.stop;
    s.form.StepButton.enabled = b.step;
    s.form.BreakButton.enabled = b.breakpoint;
}

std::string Format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return std::string();
    return std::string(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}
