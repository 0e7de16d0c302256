// The Download and Verify buttons: the listing is assembled into the program
// image, which the link writes into the master or reads back and compares;
// the window shows the progress, the outcome and the loaded state.

#include "app/DownloadButtons.h"

#include "app/Execution.h"
#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "app/Progress.h"
#include "link/Download.h"
#include "program/Assembly.h"
#include "app/Editing.h"
#include "program/LineStore.h"

void EnterLoadedState(MainState& s) {
    Form& f = s.form;
    if (s.programHasBaudChange) {
        // Run, Stop, Break and Step stay as the last program change left them.
        s.message("Program contains a baud rate change - cannot run interactively");
    } else {
        s.programLoaded = true;
        UpdateExecutionButtons(s);
    }
    f.LoadLabel.caption = "  Loaded  ";
    f.LoadLabel.color = kGreen;
}

void DownloadButtonClick(MainState& s) {
    s.programHasBaudChange = false;
    if (AssembleProgram(s) != 0) return;

    s.progress.label2 = Format("      Downloading (%d bytes)...", int(s.imageLength));
    ShowProgress(s, 2);
    if (WriteImage(s, s) != BlockResult::Done) return;

    HideProgress(s);
    SetMasterVerdict(s, MasterVerdict::Same);
    s.message("Download complete");
    EnterLoadedState(s);
    s.resumeFlag = false;
    ClearBreakpointMark(s);
    RestartButtonClick(s);
}

void VerifyButtonClick(MainState& s) {
    s.programHasBaudChange = false;
    if (AssembleProgram(s) != 0) return;

    ShowProgress(s, 3);
    s.verifyDifferenceAt = -1;
    switch (VerifyImage(s, s, &s.verifyDifferenceAt)) {
        case BlockResult::Done: break;
        case BlockResult::Mismatch:
            SetMasterVerdict(s, MasterVerdict::Different);
            s.message("Program listing does not match loaded program!");
            return;
        case BlockResult::NoReply: return;
    }

    HideProgress(s);
    SetMasterVerdict(s, MasterVerdict::Same);
    s.message("Loaded program matches program listing.");
    EnterLoadedState(s);
    RestartButtonClick(s);
}
