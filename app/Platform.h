#pragma once
// What the core needs from the desktop: message boxes, questions, file
// dialogs, waits, the cursor, the help viewer and the windows it shows.  The Qt
// layer implements it; tests script it; the command line prints.

#include <string>

#include "app/DataPaths.h"

enum class Answer { Ok, Yes, No, Cancel };

enum class StatusWindow { Servo, Stepper, Io, Master };

class Platform {
public:
    virtual ~Platform() = default;

    // Acknowledgement box: task-modal, empty caption, OK only.
    virtual void message(const std::string& text) = 0;
    // Question with Yes and No; No is the default button.
    virtual Answer askYesNo(const std::string& text) = 0;
    // Question with Yes, No and Cancel; Yes is the default button.
    virtual Answer askYesNoCancel(const std::string& text) = 0;

    // The fixed waits (after Step, a terminal key, Reset, during detection).
    virtual void wait(int ms) = 0;
    // Hour-glass cursor over the whole screen while busy.
    virtual void setBusyCursor(bool busy) = 0;
    // Draw the current state at once, before the caller blocks (progress window).
    virtual void repaint() = 0;

    // File dialogs.  fileName holds the proposed name on entry and the chosen
    // full path on return; false when the user cancelled.
    virtual bool saveDialog(std::string& fileName) = 0;
    virtual bool openDialog(std::string& fileName) = 0;

    // Starts the desktop's default viewer on the document at path; false when
    // that failed at once.  A desktop whose opener reports its failure later
    // shows it with HelpViewerFailed (app/Lifecycle.h).
    virtual bool openDocument(const std::string& path) = 0;
    // The directories Help looks in for the user guide (FindUserGuide).
    virtual std::string executableDirectory() { return ExecutableDirectory(); }
    virtual std::string currentDirectory() { return CurrentDirectory(); }

    // Closes the main window as its close box does (the close query runs).
    virtual void closeMainWindow() = 0;

    // Shows a module status window modally, filled from MainState::statusForms.
    virtual void showStatusWindow(StatusWindow which) = 0;

    // Lists the lines in which the open program and the master's differ
    // (MainState::masterComparison); nothing where no window shows them.
    virtual void showMasterDifferences() {}
};
