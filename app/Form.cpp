#include "app/Form.h"

#include "app/panels/Panel.h"
#include "program/ProgramLine.h"

namespace {

void button(Ctl& c, const char* caption, const char* hint, bool enabled = true) {
    c.caption = caption;
    c.hint = hint;
    c.enabled = enabled;
}

void hide(Ctl& c) { c.visible = false; }

}  // namespace

Form::Form() {
    ModuleListLabel.caption = "Module List";
    ModuleListBox.items = {" 0 [Master]"};
    ModuleListBox.hint = "Double-click for status, right-click to edit";

    MCBLabel.caption = "Master Commands:";
    SCBLabel.caption = "Servo Commands:";
    STCBLabel.caption = "Stepper Commands:";
    ICBLabel.caption = "I/O Commands:";
    for (Ctl* c : {&MCBLabel, &MasterCBox, &SCBLabel, &ServoCBox, &STCBLabel, &StepCBox, &ICBLabel, &IoCBox})
        c->enabled = false;

    button(ShowTermButton, "Terminal", "Show terminal window");
    button(ComButton, "Communications", "Set COM port");
    button(HelpButton, "Help", "Display online help");
    button(ExitButton, "Exit", "Exit program");

    GroupBox2.caption = "Build a Command";
    LabelLabel.caption = "Label";
    ModAddrLabel.caption = "Module Address";
    CmdClassLabel.caption = "Command Class";
    CmdLabel.caption = "Command";
    button(CommentButton, "Comment", "Insert comment line");
    button(AddInstrButton, "Add", "Add before selected line", false);
    button(ChangeButton, "Change", "Change selected line", false);
    button(ExeNowButton, "Execute Now", "Execute instruction immediately", false);

    // The panels, all hidden; the command boxes' items and the captions and
    // items that never change come from the command descriptions.
    hide(master.MasterGroup);
    for (int i = 1; i <= 2; ++i) hide(master.MasterLabel[i]);
    for (int i = 1; i <= 8; ++i) hide(master.MasterEdit[i]);
    hide(master.MasterCheck[1]);
    hide(master.MasterCheck[2]);
    hide(master.RadioGroup1);
    hide(master.RadioGroup2);

    hide(servo.ServoGroup);
    for (int i = 1; i <= 10; ++i) hide(servo.ServoLabel[i]);
    servo.ServoLabel[10].caption = "Check all that must be true:";
    for (int i = 1; i <= 9; ++i) hide(servo.ServoEdit[i]);
    for (int i = 1; i <= 7; ++i) hide(servo.ServoCheck[i]);
    hide(servo.ServoRG);
    hide(servo.ServoIfCBox);

    hide(step.StepGroup);
    for (int i = 1; i <= 10; ++i) hide(step.StepLabel[i]);
    step.StepLabel[10].caption = "Check all that must be true:";
    for (int i = 1; i <= 9; ++i) hide(step.StepEdit[i]);
    for (int i = 1; i <= 7; ++i) hide(step.StepCheck[i]);
    hide(step.StepRG);
    hide(step.StepIfCBox);

    hide(io.IoGroup);
    for (int i = 0; i <= 2; ++i) hide(io.IoLabel[i]);
    for (int i = 1; i <= 12; ++i) hide(io.IoCheck[i]);
    hide(io.IoRG);
    hide(io.IoEdit[1]);
    hide(io.IoEdit[2]);
    SetUpPanelControls(*this);   // IoRG on "Set" when the window opens

    // Listing column
    ProgramListLabel.caption = "Program Listing";
    LoadLabel.caption = "Not Loaded";
    LoadLabel.color = kRed;
    SaveLabel.caption = "Not Saved";
    SaveLabel.color = kRed;
    RunningLabel.caption = "program running: ";
    RunLEDShape.color = kRed;
    Edit1.text = "Label              Mod.  Command";
    Edit1.color = kHeaderYellow;
    button(OpenButton, "Open", "Open a new program");
    button(SaveButton, "Save", "Save current program");
    button(CopyButton, "Copy", "Copy selected lines to copy buffer");
    button(CutButton, "Cut", "Cut selected lines to copy buffer");
    button(PasteButton, "Paste", "Paste above selected line");
    button(DeleteButton, "Delete", "Delete selected lines");
    button(ClearButton, "Clear All", "Clear entire program");
    ProgExeGroup.caption = "Program Execution (disabled)";
    ProgExeGroup.enabled = false;
    button(DownloadButton, "Load", "Download program into Stepwright");
    button(VerifyButton, "Verify", "Verify loaded program matches listing");
    button(RunButton, "Run", "Run from current line", false);
    button(StopButton, "Stop", "Stop program execution", false);
    button(StepButton, "Step", "Execute single line", false);
    button(BreakButton, "Break", "Set breakpoint at selected line", false);
    button(RestartButton, "Restart", "Reset program to the beginning");
    button(ResetButton, "Reset", "Reset hardware to powerup state");
}

std::vector<CtlRef> Form::controls() {
    using K = CtlKind;
    std::vector<CtlRef> r = {
        {"ModuleListLabel", K::Label, &ModuleListLabel}, {"ModuleListBox", K::List, &ModuleListBox},
        {"MCBLabel", K::Label, &MCBLabel}, {"MasterCBox", K::Combo, &MasterCBox},
        {"SCBLabel", K::Label, &SCBLabel}, {"ServoCBox", K::Combo, &ServoCBox},
        {"STCBLabel", K::Label, &STCBLabel}, {"StepCBox", K::Combo, &StepCBox},
        {"ICBLabel", K::Label, &ICBLabel}, {"IoCBox", K::Combo, &IoCBox},
        {"ShowTermButton", K::Button, &ShowTermButton}, {"ComButton", K::Button, &ComButton},
        {"HelpButton", K::Button, &HelpButton}, {"ExitButton", K::Button, &ExitButton},
        {"GroupBox2", K::Group, &GroupBox2},
        {"LabelLabel", K::Label, &LabelLabel}, {"LabelEdit", K::Edit, &LabelEdit},
        {"ModAddrLabel", K::Label, &ModAddrLabel}, {"ModAddrEdit", K::ReadOnlyEdit, &ModAddrEdit},
        {"CmdClassLabel", K::Label, &CmdClassLabel}, {"CmdClassEdit", K::ReadOnlyEdit, &CmdClassEdit},
        {"CmdLabel", K::Label, &CmdLabel}, {"CmdEdit", K::ReadOnlyEdit, &CmdEdit},
        {"CommentButton", K::Button, &CommentButton}, {"CommentEdit", K::Edit, &CommentEdit},
        {"AddInstrButton", K::Button, &AddInstrButton}, {"ChangeButton", K::Button, &ChangeButton},
        {"ExeNowButton", K::Button, &ExeNowButton},
        {"MasterGroup", K::Group, &master.MasterGroup},
        {"RadioGroup1", K::Radio, &master.RadioGroup1}, {"RadioGroup2", K::Radio, &master.RadioGroup2},
        {"ServoGroup", K::Group, &servo.ServoGroup}, {"ServoRG", K::Radio, &servo.ServoRG},
        {"ServoIfCBox", K::EditCombo, &servo.ServoIfCBox},
        {"StepGroup", K::Group, &step.StepGroup}, {"StepRG", K::Radio, &step.StepRG},
        {"StepIfCBox", K::EditCombo, &step.StepIfCBox},
        {"IoGroup", K::Group, &io.IoGroup}, {"IoRG", K::Radio, &io.IoRG},
        {"ProgramListLabel", K::Label, &ProgramListLabel}, {"LoadLabel", K::Label, &LoadLabel},
        {"SaveLabel", K::Label, &SaveLabel}, {"RunningLabel", K::Label, &RunningLabel},
        {"RunLEDShape", K::Shape, &RunLEDShape}, {"Edit1", K::ReadOnlyEdit, &Edit1},
        {"OpenButton", K::Button, &OpenButton}, {"SaveButton", K::Button, &SaveButton},
        {"CopyButton", K::Button, &CopyButton}, {"CutButton", K::Button, &CutButton},
        {"PasteButton", K::Button, &PasteButton}, {"DeleteButton", K::Button, &DeleteButton},
        {"ClearButton", K::Button, &ClearButton}, {"ProgExeGroup", K::Group, &ProgExeGroup},
        {"DownloadButton", K::Button, &DownloadButton}, {"VerifyButton", K::Button, &VerifyButton},
        {"RunButton", K::Button, &RunButton}, {"StopButton", K::Button, &StopButton},
        {"StepButton", K::Button, &StepButton}, {"BreakButton", K::Button, &BreakButton},
        {"RestartButton", K::Button, &RestartButton}, {"ResetButton", K::Button, &ResetButton},
    };
    auto add = [&r](const std::string& name, CtlKind kind, Ctl* c) { r.push_back({name, kind, c}); };
    for (int i = 1; i <= 2; ++i) add("MasterLabel" + std::to_string(i), K::Label, &master.MasterLabel[i]);
    for (int i = 1; i <= 8; ++i) add("MasterEdit" + std::to_string(i), K::Edit, &master.MasterEdit[i]);
    for (int i = 1; i <= 2; ++i) add("MasterCheck" + std::to_string(i), K::Check, &master.MasterCheck[i]);
    for (int i = 1; i <= 10; ++i) add("ServoLabel" + std::to_string(i), K::Label, &servo.ServoLabel[i]);
    for (int i = 1; i <= 9; ++i) add("ServoEdit" + std::to_string(i), K::Edit, &servo.ServoEdit[i]);
    for (int i = 1; i <= 7; ++i) add("ServoCheck" + std::to_string(i), K::Check, &servo.ServoCheck[i]);
    for (int i = 1; i <= 10; ++i) add("StepLabel" + std::to_string(i), K::Label, &step.StepLabel[i]);
    for (int i = 1; i <= 9; ++i) add("StepEdit" + std::to_string(i), K::Edit, &step.StepEdit[i]);
    for (int i = 1; i <= 7; ++i) add("StepCheck" + std::to_string(i), K::Check, &step.StepCheck[i]);
    for (int i = 0; i <= 2; ++i) add("IoLabel" + std::to_string(i), K::Label, &io.IoLabel[i]);
    for (int i = 1; i <= 12; ++i) add("IoCheck" + std::to_string(i), K::Check, &io.IoCheck[i]);
    for (int i = 1; i <= 2; ++i) add("IoEdit" + std::to_string(i), K::Edit, &io.IoEdit[i]);
    return r;
}

bool Form::holdsTextField(const std::string& editName) {
    if (editName == "LabelEdit" || editName == "CommentEdit") return true;
    // A panel edit holds a label when the caption beside it names one.
    size_t at = editName.find("Edit");
    if (at == std::string::npos || at == 0) return false;
    const Ctl* label = find(editName.substr(0, at) + "Label" + editName.substr(at + 4));
    if (!label || !label->visible) return false;
    const std::string& c = label->caption;
    auto endsWith = [&c](const std::string& tail) {
        return c.size() >= tail.size() && c.compare(c.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith("Label") || c.rfind("GoTo", 0) == 0 || c.rfind("LoopTo", 0) == 0;
}

std::string Form::typedText(const std::string& editName, const std::string& text) {
    return holdsTextField(editName) ? CleanTextField(text) : text;
}

Ctl* Form::find(const std::string& name) {
    for (auto& ref : controls())
        if (ref.name == name) return ref.ctl;
    return nullptr;
}
