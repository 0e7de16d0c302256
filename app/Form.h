#pragma once
// Plain state of every control that the windows show.  The core writes and
// reads these records; the Qt layer draws them (matching widgets by object
// name) and writes back what the user typed, checked or chose.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kHeaderYellow = 0xF9FACD;
constexpr const char* kMainCaption = "Tavo Stepwright";

struct Ctl {
    std::string caption;           // label, button, check box or group caption
    std::string text;              // edit text (combo box: its edit text)
    std::string hint;              // tool tip
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    int index = -1;                // combo box / radio group / list box selection
    uint32_t color = 0;            // background colour where the control shows one
    std::vector<std::string> items;  // list box and combo box items, radio group items
};

enum class CtlKind { Label, Button, Edit, ReadOnlyEdit, Check, Radio, Combo, EditCombo, Group, List, Shape };

struct CtlRef {
    std::string name;              // the object name of the widget
    CtlKind kind;
    Ctl* ctl;
};

// The builder panels (one per command class).
struct MasterPanel {
    Ctl MasterGroup;
    Ctl MasterLabel[3];            // [1], [2]
    Ctl MasterEdit[9];             // [1] .. [8]
    Ctl MasterCheck[3];            // [1], [2]
    Ctl RadioGroup1, RadioGroup2;
};

struct ServoPanel {
    Ctl ServoGroup;
    Ctl ServoLabel[11];            // [1] .. [10]
    Ctl ServoEdit[10];             // [1] .. [9]
    Ctl ServoCheck[8];             // [1] .. [7]
    Ctl ServoRG;
    Ctl ServoIfCBox;
};

struct StepPanel {
    Ctl StepGroup;
    Ctl StepLabel[11];             // [1] .. [10]
    Ctl StepEdit[10];              // [1] .. [9]
    Ctl StepCheck[8];              // [1] .. [7]
    Ctl StepRG;
    Ctl StepIfCBox;
};

struct IoPanel {
    Ctl IoGroup;
    Ctl IoLabel[3];                // [0], [1], [2]
    Ctl IoCheck[13];               // [1] .. [12]
    Ctl IoRG;
    Ctl IoEdit[3];                 // [1], [2]
};

// Every control of the main window.
struct Form {
    std::string caption = kMainCaption;

    // Left column
    Ctl ModuleListLabel, ModuleListBox;
    Ctl MCBLabel, MasterCBox, SCBLabel, ServoCBox, STCBLabel, StepCBox, ICBLabel, IoCBox;
    Ctl ShowTermButton, ComButton, HelpButton, ExitButton;

    // Builder
    Ctl GroupBox2, LabelLabel, LabelEdit, ModAddrLabel, ModAddrEdit, CmdClassLabel, CmdClassEdit,
        CmdLabel, CmdEdit, CommentButton, CommentEdit, AddInstrButton, ChangeButton, ExeNowButton;
    bool commentIsDefault = false;  // Enter presses Comment instead of Add
    MasterPanel master;
    ServoPanel servo;
    StepPanel step;
    IoPanel io;

    // Listing column (the listing's items live in Listing)
    Ctl ProgramListLabel, LoadLabel, SaveLabel, RunningLabel, RunLEDShape, Edit1;
    Ctl OpenButton, SaveButton, CopyButton, CutButton, PasteButton, DeleteButton, ClearButton;
    Ctl ProgExeGroup, DownloadButton, VerifyButton, RunButton, StopButton, StepButton, BreakButton,
        RestartButton, ResetButton;

    Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // All controls with their object names, for the Qt layer and the tests.
    std::vector<CtlRef> controls();
    Ctl* find(const std::string& name);

    // Whether the edit named holds a label, a goto-label or a comment now.
    bool holdsTextField(const std::string& editName);
    // What an edit keeps of text the user typed or pasted into it: a text
    // field keeps nothing that a program file could not give back.
    std::string typedText(const std::string& editName, const std::string& text);
};
