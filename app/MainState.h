#pragma once
// Everything the main window owns for the life of the application: the
// program, the builder, the module tables, the link and execution state and
// the plain state of every window's controls.  Routines of the system are free
// functions over this record.
//
// Errors: every failure reaches the user through one routine, message(), a
// modal message with an OK button; each layer's main header says how its
// routines tell their caller (app/panels/Instruction.h, program/LineStore.h,
// link/Protocol.h, modules/ModuleList.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Form.h"
#include "app/Listing.h"
#include "app/Platform.h"
#include "isa/Format.h"
#include "link/LinkState.h"
#include "program/Compare.h"
#include "program/ProgramState.h"

// A file as the file system knows it: the name it was reached by, and its
// device and inode when it existed then.
struct FileIdentity {
    std::string path;
    bool known = false;
    uint64_t device = 0;
    uint64_t inode = 0;
};

// What the last comparison of the open program with the master's found.
enum class MasterVerdict : uint8_t { Unknown, Same, Different, NotCompared, Empty };

// Terminal window (TTerminalForm).
struct TerminalState {
    bool visible = false;
    std::vector<std::string> lines;   // TerminalMemo, at most 12 lines

    // What changed since the window last drew the lines, so that it draws
    // only that.  The terminal's routines record it; the window resets it.
    struct Undrawn {
        bool all = true;              // draw every line afresh
        size_t droppedLines = 0;      // lines removed from the top
        size_t trimmed = 0;           // characters removed from the front of the
                                      // line that was the last one when drawn
        size_t newLines = 0;          // lines started after that line
    } undrawn;
};

// Progress window (TMessageForm): exactly one of the three texts is shown.
struct ProgressState {
    bool visible = false;
    bool label1Visible = false;       // "Stepwright Detected"
    bool label2Visible = false;       // "Downloading..." / "      Downloading (%d bytes)..."
    bool label3Visible = false;       // "Verifying.."
    std::string label1 = "Stepwright Detected";
    std::string label2 = "Downloading...";
    std::string label3 = "Verifying..";
};

// Communications settings dialog (TComForm).
struct ComState {
    bool visible = false;
    int choice = 0;                   // ComRG: 0-5 = COM1-COM6, 6 = Offline
    int openItem = -1;                // the COM item whose port Set opened; -1: none
    // "Reconnect automatically": a lost port is opened again as soon as its
    // device is back (off: the user clicks the status line).
    bool reconnectAutomatically = false;
};

// One module status window: its caption and its value labels by object name.
struct StatusFormState {
    std::string caption;
    std::vector<std::pair<std::string, std::string>> labels;
    std::string& value(const std::string& name);
};

struct StatusForms {
    StatusFormState servo, stepper, io, master;
    StatusForms();
};

// The program (program/ProgramState.h), the module list and the link
// (link/LinkState.h) are the lower layers' parts of this record; the window
// is the link's host, so that its reactions (greying the controls when the
// master stops answering, showing where a stopped program stands) stay here.
struct MainState : ProgramState, ModuleTables, LinkState, LinkHost {
    explicit MainState(Platform& ui);
    MainState(const MainState&) = delete;
    MainState& operator=(const MainState&) = delete;

    Platform& ui;

    // Run after every detection that ends with the module list taken from
    // the network (the window compares the open program with the master's);
    // empty in the command line.
    std::function<void()> afterDetection;
    // Whether the master holds the open program (app/MasterProgram.h), and
    // the edit and open counts it was found for: an edit or another program
    // makes it unknown again.
    MasterVerdict masterVerdict = MasterVerdict::Unknown;
    uint64_t verdictEdits = 0;
    uint64_t verdictOpens = 0;
    // The lines of the last whole comparison that found a difference (shown
    // by "Compare with master"), and the image address of the first byte
    // that the last Verify found different (-1: none).
    ProgramComparison masterComparison;
    int verifyDifferenceAt = -1;

    // Files
    std::string rememberedFile;        // the open and save dialogs' file name
    // The file the program was opened from or last saved to (untitled when
    // its path is empty), known by device and inode so that any name of that
    // file counts as the same file (app/FileTie.h).
    FileIdentity programFile;
    std::vector<std::string> recentFiles;  // opened or saved last, newest first
    // The program as its file holds it, taken at the last open or save, so
    // that an undo or redo back to it shows the program saved again.
    struct SavedContent {
        bool known = false;
        std::string path;                  // programFile.path it belongs to
        std::vector<ProgramLine> lines;
        std::vector<int32_t> moduleTypes;  // master and the listed modules
    } saved;

    // Set by Step: the poll that finds the stepped program stopped selects
    // its line (the user asked for that step).  A poll never moves the
    // selection otherwise, and a click in the listing cancels this one, so
    // that no edit acts on a line the user did not choose.
    bool stepMovesSelection = false;

    // Timers (the poll timer's switch is the link's: LinkState::pollTimerOn)
    bool startTimerOn = true;

    // Windows
    Form form;
    Listing listing;
    TerminalState terminal;
    ProgressState progress;
    ComState com;
    StatusForms statusForms;

    // The numeric edit that the builder refused last (the text form names it
    // in its errors); null until one is refused.
    const Ctl* rejectedField = nullptr;

    // The one message routine: every message of the system goes through it.
    void message(const std::string& text) override { ui.message(text); }
    void wait(int ms) override { ui.wait(ms); }
    void linkLost() override;
    void programStopped(uint16_t address) override;
    void showProgress(int which) override;
    void hideProgress() override;
    void printed(uint8_t c) override;
    void portMessage(const std::string& text, const PortProblem& problem) override;
    void portGone() override;
};

// Which of Run, Stop, Step and Break are enabled.  Run, Step and Break act
// on the loaded program, so they wait for a Load after every change; Stop is
// also enabled while the last status read shows the program running on line,
// so that a program keeps its Stop whatever is edited meanwhile.
struct ExecutionButtons {
    bool run = false, stop = false, step = false, breakpoint = false;
};
ExecutionButtons ExecutionButtonsFor(bool loaded, bool running, bool online);
// Sets the four buttons from the program's loaded state and the last status
// read; run wherever one of them changes.
void UpdateExecutionButtons(MainState& s);

