#pragma once
// The desktop the core talks to, made of Qt: message boxes and questions,
// file dialogs, the fixed waits, the busy cursor, drawing at once, the help
// viewer, closing the main window and the module status windows.

#include <QString>
#include <functional>

#include "app/Platform.h"

class TMainForm;

class QtPlatform : public Platform {
public:
    void attach(TMainForm* main) { main_ = main; }

    void message(const std::string& text) override;
    Answer askYesNo(const std::string& text) override;
    Answer askYesNoCancel(const std::string& text) override;
    void wait(int ms) override;
    void setBusyCursor(bool busy) override;
    void repaint() override;
    bool saveDialog(std::string& fileName) override;
    bool openDialog(std::string& fileName) override;
    bool openDocument(const std::string& name) override;
    void closeMainWindow() override;
    void showStatusWindow(StatusWindow which) override;
    void showMasterDifferences() override;

protected:
    enum class Box { Ok, YesNo, YesNoCancel };

    // The modal box itself (no title, plain text, brought to the front):
    // Yes/No has No as its default button, Yes/No/Cancel has Yes.
    virtual Answer showBox(const std::string& text, Box box);
    // The modal file dialog: filter "Stepwright (*.stw)", suffix "stw", no
    // overwrite question of its own (the core asks, MayReplaceFile); fileName
    // is proposed and receives the full path.
    virtual bool showFileDialog(bool save, std::string& fileName);
    // Starts the desktop's opener on a file (xdg-open, else Qt's own way);
    // false when it cannot start.  finished reports later, from the event
    // loop, whether a viewer took the file.
    virtual bool startOpener(const QString& file, const std::function<void(bool)>& finished);

    // Shows a box with the timers held (see the comment in QtPlatform.cpp).
    Answer boxed(const std::string& text, Box box);

    // Before anything that blocks or runs a nested event loop: the windows show
    // the present state, and a switched-off poll timer cannot tick meanwhile.
    void beforeBlocking();

    TMainForm* main_ = nullptr;

private:
    bool busy_ = false;
};
