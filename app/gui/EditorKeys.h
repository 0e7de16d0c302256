#pragma once
// The main window's keys.  A key stands for a button and acts only while
// that button is enabled; the listing's Cut, Copy, Paste and Delete keys act
// only in the listing, and undo and redo leave text fields their own.
//
//   Ctrl+O Open        Ctrl+S Save        Ctrl+L Load (download)
//   Ctrl+N New         Ctrl+Shift+S Save As   (and every other key of the
//                      status line's menu, app/gui/StatusLine.cpp)
//   F5 Run             Shift+F5 Stop      F10 Step       F9 Break
//   F1 Help            Ctrl+Z Undo        Ctrl+Shift+Z, Ctrl+Y Redo
//   in the listing:    Ctrl+X Cut, Ctrl+C Copy, Ctrl+V Paste, Delete
//   in the module list: Enter or Space opens the module's status window,
//                      Shift+F10 (as the Menu key) opens its menu

#include <QObject>

class TMainForm;
class QKeyEvent;

class EditorKeys : public QObject {
    Q_OBJECT
public:
    explicit EditorKeys(TMainForm& main);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handle(QWidget* target, QKeyEvent* key);
    bool press(const char* button);
    TMainForm& main_;
};
