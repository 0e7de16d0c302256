#pragma once
// The builder panels over the command descriptions (isa/Describe.h).  Each
// family file holds its panel's layout as data: for every command, the
// control that shows each of its fields.  The routines here are the same for
// every family:
//   ChooseCommand  the command box's click: lays out the panel from the
//                  descriptions' captions and defaults;
//   EncodePanel    the encoder: the panel's controls become field values, and
//                  isa::encode builds the instruction or refuses it, whose
//                  messages go through MainState::message in order;
//   LoadPanel      the loader: isa::decode, the command chosen, the values
//                  written into the controls.
// Errors: EncodePanel returns -1 after the refusal's messages (the builder
// record is left as it was), or without a message when no command of the
// family is chosen; it returns 0 when it built.  Nothing here throws.

#include <cstdint>
#include <string>
#include <vector>

#include "app/Form.h"
#include "isa/Describe.h"
#include "program/ProgramLine.h"

struct MainState;

// Where one field of a command is shown.  An edit's caption goes to the label
// of the same number; a condition box's to the panel's heading label.
struct FieldSlot {
    const char* field;     // the field's id; "" for the command's heading
    const char* control;   // the object name of the control that shows it
    bool asIs = false;     // shown as it stands: its caption is the one the window
                           // was made with, its mark or choice stays from before
};

struct CommandLayout {
    const char* command;   // as the command box lists it
    std::vector<FieldSlot> slots;
};

// A family's panel: the check boxes that choosing any of its commands
// unchecks, and the layout of each command.  A command without a layout row
// is placed by DefaultControlNames' rule.
struct PanelLayout {
    isa::Family family;
    std::vector<int> uncheckedOnChoice;   // check box numbers
    std::vector<CommandLayout> commands;
};

// The four layouts, one in each family file.
const PanelLayout& MasterLayout();
const PanelLayout& ServoLayout();
const PanelLayout& StepperLayout();
const PanelLayout& IoLayout();

// The control that shows a field of a command on form; null when the field
// has none ("" names the command's heading).
Ctl* FieldControl(Form& form, const isa::CommandDesc& command, const std::string& field);

// The object name of that control; "" when it has none.
std::string FieldControlName(const isa::CommandDesc& command, const std::string& field);

// Where a command that its family's layout does not list shows its fields,
// one object name per field ("" for a field the panel has no control left
// for): edits, check boxes and radio groups from the first, in the order the
// fields are described; the condition box; a heading on the heading label.
std::vector<std::string> DefaultControlNames(const isa::CommandDesc& command);

// The command boxes' items, and the captions and items that the panels'
// choices and as-is controls keep for the life of the window.
void SetUpPanelControls(Form& form);

void ChooseCommand(MainState& s, isa::Family family);
int EncodePanel(MainState& s, ProgramLine& line, isa::Family family);
void LoadPanel(MainState& s, isa::Family family);
