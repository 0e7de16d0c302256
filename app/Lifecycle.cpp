#include "app/Lifecycle.h"

#include "app/DataPaths.h"
#include "app/MainState.h"
#include "isa/Vocabulary.h"
#include "app/Files.h"
#include "app/ModuleListBox.h"
#include "modules/ModuleList.h"
#include "program/ProgramFile.h"

void StartTimerTimer(MainState& s) {
    s.startTimerOn = false;
    s.listing.add(kEndMarker);
    s.listing.select(0);
    s.currentLine = 0;
    s.moduleTypes[0] = kTypeMaster;
    SelectModule(s, 0);
    s.com.visible = true;
}

void ExitButtonClick(MainState& s) { s.ui.closeMainWindow(); }

bool FormCloseQuery(MainState& s) {
    // The window closes only when the program was written: a cancelled or
    // failed save keeps it open so that nothing is lost.
    return SaveFirstIfUnsaved(s, "Program not saved - save before exiting?");
}

void HelpButtonClick(MainState& s) {
    // Looked for beside the program and where it is installed before the
    // current directory, so that Help works wherever the tool was started.
    const std::string guide = FindUserGuide(s.ui.executableDirectory(), s.ui.currentDirectory());
    if (guide.empty())
        HelpFailed(s);
    else if (!s.ui.openDocument(guide))
        HelpViewerFailed(s, guide);
}

void HelpFailed(MainState& s) { s.message("Acrobat Reader or 'stepwright.pdf' not found"); }

// The guide is there: only the viewer is missing or failed.
void HelpViewerFailed(MainState& s, const std::string& guide) {
    s.message(Format("No PDF viewer could be started to show %s", guide.c_str()));
}
