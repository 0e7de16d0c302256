#pragma once
// One binder per kind of control.  A binder creates the widget of a table
// entry, connects what the user does in it back to the control's record (and
// to the entry's handlers), and draws the record into the widget.

#include "app/gui/ControlTable.h"

class QWidget;
class TMainForm;
class ControlBinder;

// A widget with the entry that describes it and the record it draws.
struct BoundControl {
    const ControlDesc* desc;
    const ControlBinder* binder;
    Ctl* ctl;                  // nullptr for an entry drawn without a record
    QWidget* widget;
    QWidget* buddy = nullptr;  // the control a label names
};

class ControlBinder {
public:
    virtual ~ControlBinder() = default;
    virtual QWidget* create(const ControlDesc& desc, QWidget* parent) const = 0;
    // Writes the user's edits, checks and choices into the record and runs the
    // entry's handlers through the window.
    virtual void connect(const BoundControl& b, TMainForm& window) const;
    // Copies the record into the widget; force: even what looks unchanged.
    virtual void draw(const BoundControl& b, bool force) const = 0;
};

const ControlBinder& BinderFor(CtlKind kind);

// Gives a widget its entry's object name, place, fixed accessible name and focus.
void PlaceControl(const ControlDesc& desc, QWidget* w);
// Creates and places the widget of an entry (with its fixed caption, if any).
QWidget* CreateControl(const ControlDesc& desc, QWidget* parent);
// Draws the record and the properties every kind shares: hint, enabled, shown.
void SyncControl(const BoundControl& b, bool force);
