#include "app/MainState.h"


#include "app/Progress.h"
#include "app/StatusText.h"
#include "app/Terminal.h"
#include "link/ProtocolBytes.h"
#include "app/Editing.h"

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

MainState::MainState(Platform& platform) : ui(platform) { host = this; }

// The window's reaction to a master that stopped answering: the execution
// group is greyed and the program counts as not loaded.
void MainState::linkLost() {
    form.ProgExeGroup.enabled = false;
    form.ProgExeGroup.caption = "Program Execution (disabled)";
    form.ExeNowButton.enabled = false;
    // Off line nothing is known to run: Stop falls back to the loaded state.
    UpdateExecutionButtons(*this);
    form.LoadLabel.caption = "Not Loaded";
    form.LoadLabel.color = kRed;
}

void MainState::portMessage(const std::string& text, const PortProblem& problem) {
    message(text + "\n" + PortProblemText(*this, problem));
}

// The port's device is gone: nothing is known of the master any more, so
// nothing may say that a program runs or which program the master holds.
void MainState::portGone() {
    form.RunLEDShape.color = kRed;
    status.statusB = uint8_t(status.statusB & ~kStatusBRunning);
    followFlag = false;
    masterVerdict = MasterVerdict::Unknown;
    UpdateExecutionButtons(*this);
}

void MainState::showProgress(int which) { ShowProgress(*this, which); }
void MainState::hideProgress() { HideProgress(*this); }
void MainState::printed(uint8_t c) { AppendTerminalChar(*this, c); }

void MainState::programStopped(uint16_t address) {
    ShowLineAtAddress(*this, address);
    UpdateExecutionButtons(*this);
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
