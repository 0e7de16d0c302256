#pragma once
// One description per control of a window: its object name, kind, place,
// the label that names it, its fixed accessible name and what a user's action
// on it runs.  A window builds its widgets from its table in table order
// (which is also the tab order); the binder of the control's kind creates,
// connects and draws each one.  Captions and hints of the main window's
// controls live in their records (Form); a control without a record carries
// its fixed caption here.

#include <span>
#include <string>
#include <vector>

#include "app/Form.h"

struct MainState;
using Handler = void (*)(MainState&);

// What a control is beyond its kind.
enum ControlOption : unsigned {
    kCentred = 1u << 0,     // a label's text stands in the middle
    kColoured = 1u << 1,    // the background shows the record's colour
    kNoFocus = 1u << 2,     // never takes the keyboard focus
    kTwoColumns = 1u << 3,  // a radio group's items fill two columns
    kNoRecord = 1u << 4,    // drawn from other state than a Ctl record
};

struct ControlPlace {
    int x, y, w, h;
};

struct ControlDesc {
    const char* name;                 // object name; also the record's name in Form::controls()
    const char* parent;               // an earlier entry's name, "" for the window itself
    CtlKind kind;
    ControlPlace place;
    Handler handler = nullptr;        // click, choice, or typing in the edit
    const char* buddy = nullptr;      // a label: the control it names
    const char* accessible = nullptr;  // fixed accessible name
    Handler doubleClick = nullptr;
    unsigned options = 0;
    const char* caption = nullptr;    // fixed caption of a control without a record
    // An edit that stands on the row of a radio group's item.
    struct Beside {
        const char* group = nullptr;
        int item = -1;
    } beside = {};
};

// The main window's controls, in tab order.
std::span<const ControlDesc> MainFormControls();
// The buttons of the communications settings window and of the terminal
// window (their other controls draw state of their own).
std::span<const ControlDesc> ComFormButtons();
std::span<const ControlDesc> TerminalFormButtons();

// Checks a table against the records it draws: every record has exactly one
// entry of the same kind and every entry with a record has one; parents,
// buddies and beside-groups name earlier (parents) or existing entries.
// Returns the first fault found, or "" when there is none.
std::string CheckControlTable(std::span<const ControlDesc> table, const std::vector<CtlRef>& records);
