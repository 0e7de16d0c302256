#include "app/gui/ControlTable.h"

#include <map>
#include <set>

#include "app/ComSettings.h"
#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/Lifecycle.h"
#include "app/Terminal.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"
#include "link/Download.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "app/ModuleListBox.h"
#include "app/StatusForms.h"
#include "modules/ModuleList.h"
#include "modules/StatusWindows.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"

namespace {

using K = CtlKind;

constexpr const char* kMain = "";
constexpr const char* kBuilder = "GroupBox2";
constexpr const char* kMaster = "MasterGroup";
constexpr const char* kServo = "ServoGroup";
constexpr const char* kStep = "StepGroup";
constexpr const char* kIo = "IoGroup";
constexpr const char* kExec = "ProgExeGroup";

const ControlDesc kMainForm[] = {
    // Left column
    {"ModuleListLabel", kMain, K::Label, {4, 4, 97, 14}, nullptr, "ModuleListBox"},
    {.name = "ModuleListBox", .parent = kMain, .kind = K::List, .place = {4, 20, 97, 181},
        .handler = ModuleListBoxClick, .doubleClick = ModuleListBoxDblClick},
    {"MCBLabel", kMain, K::Label, {4, 205, 97, 14}, nullptr, "MasterCBox"},
    {"MasterCBox", kMain, K::Combo, {4, 219, 97, 21}, MasterCBoxClick},
    {"SCBLabel", kMain, K::Label, {4, 243, 97, 14}, nullptr, "ServoCBox"},
    {"ServoCBox", kMain, K::Combo, {4, 257, 97, 21}, ServoCBoxClick},
    {"STCBLabel", kMain, K::Label, {4, 281, 97, 14}, nullptr, "StepCBox"},
    {"StepCBox", kMain, K::Combo, {4, 295, 97, 21}, StepCBoxClick},
    {"ICBLabel", kMain, K::Label, {4, 319, 97, 14}, nullptr, "IoCBox"},
    {"IoCBox", kMain, K::Combo, {4, 333, 97, 21}, IoCBoxClick},
    {"ShowTermButton", kMain, K::Button, {4, 359, 97, 21}, ShowTermButtonClick},
    {"ComButton", kMain, K::Button, {4, 382, 97, 21}, ComButtonClick},
    {"HelpButton", kMain, K::Button, {4, 405, 97, 21}, HelpButtonClick},
    {"ExitButton", kMain, K::Button, {4, 428, 97, 21}, ExitButtonClick},

    // The builder group
    {"GroupBox2", kMain, K::Group, {104, 8, 177, 441}},
    {"LabelLabel", kBuilder, K::Label, {6, 21, 80, 14}, nullptr, "LabelEdit"},
    {"LabelEdit", kBuilder, K::Edit, {88, 18, 81, 20}},
    {"ModAddrLabel", kBuilder, K::Label, {6, 43, 80, 14}, nullptr, "ModAddrEdit"},
    {"ModAddrEdit", kBuilder, K::ReadOnlyEdit, {88, 40, 81, 20}},
    {"CmdClassLabel", kBuilder, K::Label, {6, 65, 80, 14}, nullptr, "CmdClassEdit"},
    {"CmdClassEdit", kBuilder, K::ReadOnlyEdit, {88, 62, 81, 20}},
    {"CmdLabel", kBuilder, K::Label, {6, 87, 80, 14}, nullptr, "CmdEdit"},
    {"CmdEdit", kBuilder, K::ReadOnlyEdit, {88, 84, 81, 20}},
    {"CommentButton", kBuilder, K::Button, {6, 108, 62, 22}, CommentButtonClick},
    {"CommentEdit", kBuilder, K::Edit, {72, 109, 97, 20}, CommentEditChange, nullptr, "Comment"},

    // Master panel
    {"MasterGroup", kBuilder, K::Group, {4, 134, 169, 252}},
    {"MasterLabel1", kMaster, K::Label, {4, 4, 161, 14}, nullptr, "MasterEdit1"},
    {"MasterEdit1", kMaster, K::Edit, {4, 18, 161, 20}},
    {"MasterLabel2", kMaster, K::Label, {4, 42, 161, 14}, nullptr, "MasterEdit2"},
    {"MasterEdit2", kMaster, K::Edit, {4, 56, 161, 20}},
    {"MasterCheck1", kMaster, K::Check, {4, 42, 161, 17}},
    {"MasterCheck2", kMaster, K::Check, {4, 60, 161, 17}},
    {"RadioGroup1", kMaster, K::Radio, {4, 82, 161, 60}},
    {"RadioGroup2", kMaster, K::Radio, {4, 82, 161, 162}},
    // Beside items of the radio groups: moved onto the item rows once they are laid out
    {.name = "MasterEdit3", .parent = kMaster, .kind = K::Edit, .place = {94, 100, 67, 17},
        .beside = {"RadioGroup2", 0}},
    {.name = "MasterEdit4", .parent = kMaster, .kind = K::Edit, .place = {94, 151, 67, 17},
        .beside = {"RadioGroup2", 3}},
    {.name = "MasterEdit5", .parent = kMaster, .kind = K::Edit, .place = {94, 168, 67, 17},
        .beside = {"RadioGroup2", 4}},
    {.name = "MasterEdit6", .parent = kMaster, .kind = K::Edit, .place = {94, 185, 67, 17},
        .beside = {"RadioGroup2", 5}},
    {.name = "MasterEdit7", .parent = kMaster, .kind = K::Edit, .place = {94, 202, 67, 17},
        .beside = {"RadioGroup2", 6}},
    {.name = "MasterEdit8", .parent = kMaster, .kind = K::Edit, .place = {94, 219, 67, 17},
        .beside = {"RadioGroup2", 7}},

    // Servo panel
    {"ServoGroup", kBuilder, K::Group, {4, 134, 169, 252}},
    {"ServoLabel1", kServo, K::Label, {3, 6, 88, 14}, nullptr, "ServoEdit1"},
    {"ServoEdit1", kServo, K::Edit, {92, 4, 73, 19}},
    {"ServoLabel2", kServo, K::Label, {3, 28, 88, 14}, nullptr, "ServoEdit2"},
    {"ServoEdit2", kServo, K::Edit, {92, 26, 73, 19}},
    {"ServoLabel3", kServo, K::Label, {3, 50, 88, 14}, nullptr, "ServoEdit3"},
    {"ServoEdit3", kServo, K::Edit, {92, 48, 73, 19}},
    {"ServoLabel4", kServo, K::Label, {3, 74, 24, 14}, nullptr, "ServoEdit4"},
    {"ServoEdit4", kServo, K::Edit, {28, 72, 52, 19}},
    {"ServoLabel5", kServo, K::Label, {3, 96, 24, 14}, nullptr, "ServoEdit5"},
    {"ServoEdit5", kServo, K::Edit, {28, 94, 52, 19}},
    {"ServoLabel6", kServo, K::Label, {3, 118, 24, 14}, nullptr, "ServoEdit6"},
    {"ServoEdit6", kServo, K::Edit, {28, 116, 52, 19}},
    {"ServoLabel7", kServo, K::Label, {86, 74, 28, 14}, nullptr, "ServoEdit7"},
    {"ServoEdit7", kServo, K::Edit, {115, 72, 50, 19}},
    {"ServoLabel8", kServo, K::Label, {86, 96, 28, 14}, nullptr, "ServoEdit8"},
    {"ServoEdit8", kServo, K::Edit, {115, 94, 50, 19}},
    {"ServoLabel9", kServo, K::Label, {86, 118, 28, 14}, nullptr, "ServoEdit9"},
    {"ServoEdit9", kServo, K::Edit, {115, 116, 50, 19}},
    {"ServoLabel10", kServo, K::Label, {3, 93, 165, 14}, nullptr, "ServoIfCBox"},
    {"ServoIfCBox", kServo, K::EditCombo, {3, 109, 163, 21}},
    {"ServoCheck1", kServo, K::Check, {3, 108, 163, 17}},
    {"ServoCheck4", kServo, K::Check, {90, 108, 76, 17}},
    {"ServoCheck2", kServo, K::Check, {3, 125, 163, 17}},
    {"ServoCheck5", kServo, K::Check, {90, 125, 76, 17}},
    {"ServoCheck3", kServo, K::Check, {3, 142, 163, 17}},
    {"ServoCheck6", kServo, K::Check, {90, 142, 76, 17}},
    {"ServoCheck7", kServo, K::Check, {3, 159, 163, 17}},
    {"ServoRG", kServo, K::Radio, {3, 176, 163, 74}},

    // Stepper panel
    {"StepGroup", kBuilder, K::Group, {4, 134, 169, 252}},
    {"StepLabel1", kStep, K::Label, {3, 6, 88, 14}, nullptr, "StepEdit1"},
    {"StepEdit1", kStep, K::Edit, {92, 4, 73, 19}},
    {"StepLabel2", kStep, K::Label, {3, 28, 88, 14}, nullptr, "StepEdit2"},
    {"StepEdit2", kStep, K::Edit, {92, 26, 73, 19}},
    {"StepLabel3", kStep, K::Label, {3, 50, 88, 14}, nullptr, "StepEdit3"},
    {"StepEdit3", kStep, K::Edit, {92, 48, 73, 19}},
    {"StepLabel4", kStep, K::Label, {3, 74, 24, 14}, nullptr, "StepEdit4"},
    {"StepEdit4", kStep, K::Edit, {28, 72, 52, 19}},
    {"StepLabel5", kStep, K::Label, {3, 96, 24, 14}, nullptr, "StepEdit5"},
    {"StepEdit5", kStep, K::Edit, {28, 94, 52, 19}},
    {"StepLabel6", kStep, K::Label, {3, 118, 24, 14}, nullptr, "StepEdit6"},
    {"StepEdit6", kStep, K::Edit, {28, 116, 52, 19}},
    {"StepLabel7", kStep, K::Label, {58, 74, 62, 14}, nullptr, "StepEdit7"},
    {"StepEdit7", kStep, K::Edit, {122, 72, 43, 19}},
    {"StepLabel8", kStep, K::Label, {86, 96, 28, 14}, nullptr, "StepEdit8"},
    {"StepEdit8", kStep, K::Edit, {115, 94, 50, 19}},
    {"StepLabel9", kStep, K::Label, {86, 118, 28, 14}, nullptr, "StepEdit9"},
    {"StepEdit9", kStep, K::Edit, {115, 116, 50, 19}},
    {"StepLabel10", kStep, K::Label, {3, 93, 165, 14}, nullptr, "StepIfCBox"},
    {"StepIfCBox", kStep, K::EditCombo, {3, 109, 163, 21}},
    {"StepCheck1", kStep, K::Check, {3, 108, 163, 17}},
    {"StepCheck4", kStep, K::Check, {90, 108, 76, 17}},
    {"StepCheck2", kStep, K::Check, {3, 125, 163, 17}},
    {"StepCheck5", kStep, K::Check, {90, 125, 76, 17}},
    {"StepCheck3", kStep, K::Check, {3, 142, 163, 17}},
    {"StepCheck6", kStep, K::Check, {90, 142, 76, 17}},
    {"StepCheck7", kStep, K::Check, {3, 159, 163, 17}},
    {"StepRG", kStep, K::Radio, {3, 176, 163, 57}},

    // I/O panel
    {"IoGroup", kBuilder, K::Group, {4, 134, 169, 252}},
    {"IoLabel0", kIo, K::Label, {3, 4, 165, 14}},
    {"IoCheck1", kIo, K::Check, {3, 20, 80, 17}},
    {"IoCheck2", kIo, K::Check, {3, 37, 80, 17}},
    {"IoCheck3", kIo, K::Check, {3, 54, 80, 17}},
    {"IoCheck4", kIo, K::Check, {3, 71, 80, 17}},
    {"IoCheck5", kIo, K::Check, {3, 88, 80, 17}},
    {"IoCheck6", kIo, K::Check, {3, 105, 80, 17}},
    {"IoCheck7", kIo, K::Check, {86, 20, 80, 17}},
    {"IoCheck8", kIo, K::Check, {86, 37, 80, 17}},
    {"IoCheck9", kIo, K::Check, {86, 54, 80, 17}},
    {"IoCheck10", kIo, K::Check, {86, 71, 80, 17}},
    {"IoCheck11", kIo, K::Check, {86, 88, 80, 17}},
    {"IoCheck12", kIo, K::Check, {86, 105, 80, 17}},
    {.name = "IoRG", .parent = kIo, .kind = K::Radio, .place = {3, 126, 163, 26}, .options = kTwoColumns},
    {"IoLabel1", kIo, K::Label, {3, 158, 88, 14}, nullptr, "IoEdit1"},
    {"IoEdit1", kIo, K::Edit, {92, 156, 73, 19}},
    {"IoLabel2", kIo, K::Label, {3, 180, 88, 14}, nullptr, "IoEdit2"},
    {"IoEdit2", kIo, K::Edit, {92, 178, 73, 19}},

    {"AddInstrButton", kBuilder, K::Button, {8, 388, 78, 22}, AddInstrButtonClick},
    {"ChangeButton", kBuilder, K::Button, {91, 388, 78, 22}, ChangeButtonClick},
    {"ExeNowButton", kBuilder, K::Button, {8, 413, 161, 22}, ExeNowButtonClick},

    // Listing column
    {"ProgramListLabel", kMain, K::Label, {288, 3, 80, 14}, nullptr, "ProgramListBox"},
    {.name = "LoadLabel", .parent = kMain, .kind = K::Label, .place = {372, 2, 64, 15},
        .options = kCentred | kColoured},
    {.name = "SaveLabel", .parent = kMain, .kind = K::Label, .place = {440, 2, 60, 15},
        .options = kCentred | kColoured},
    {"RunningLabel", kMain, K::Label, {520, 3, 88, 14}},
    {"RunLEDShape", kMain, K::Shape, {612, 4, 11, 11}, nullptr, nullptr, "Stopped"},
    {.name = "Edit1", .parent = kMain, .kind = K::ReadOnlyEdit, .place = {288, 17, 341, 19},
        .accessible = "Listing columns", .options = kColoured | kNoFocus},
    {.name = "ProgramListBox", .parent = kMain, .kind = K::List, .place = {288, 36, 341, 341},
        .accessible = "Program Listing", .options = kNoRecord},
    {"OpenButton", kMain, K::Button, {288, 380, 47, 22}, OpenButtonClick},
    {"SaveButton", kMain, K::Button, {337, 380, 47, 22}, SaveButtonClick},
    {"CopyButton", kMain, K::Button, {386, 380, 47, 22}, CopyButtonClick},
    {"CutButton", kMain, K::Button, {435, 380, 47, 22}, CutButtonClick},
    {"PasteButton", kMain, K::Button, {484, 380, 47, 22}, PasteButtonClick},
    {"DeleteButton", kMain, K::Button, {533, 380, 47, 22}, DeleteButtonClick},
    {"ClearButton", kMain, K::Button, {582, 380, 47, 22}, ClearButtonClick},
    {"ProgExeGroup", kMain, K::Group, {288, 404, 341, 45}},
    {"DownloadButton", kExec, K::Button, {5, 17, 39, 22}, DownloadButtonClick},
    {"VerifyButton", kExec, K::Button, {46, 17, 39, 22}, VerifyButtonClick},
    {"RunButton", kExec, K::Button, {87, 17, 39, 22}, RunButtonClick},
    {"StopButton", kExec, K::Button, {128, 17, 39, 22}, StopButtonClick},
    {"StepButton", kExec, K::Button, {169, 17, 39, 22}, StepButtonClick},
    {"BreakButton", kExec, K::Button, {210, 17, 39, 22}, BreakButtonClick},
    {"RestartButton", kExec, K::Button, {251, 17, 39, 22}, RestartButtonClick},
    {"ResetButton", kExec, K::Button, {292, 17, 39, 22}, ResetButtonClick},
};

// The buttons of the communications settings and the terminal window.
const ControlDesc kComForm[] = {
    {.name = "SetButton", .parent = kMain, .kind = K::Button, .place = {52, 80, 75, 25}, .handler = SetButtonClick,
     .options = kNoRecord, .caption = "Set"},
    {.name = "CancelButton", .parent = kMain, .kind = K::Button, .place = {148, 80, 75, 25},
     .handler = CancelButtonClick, .options = kNoRecord, .caption = "Cancel"},
};

const ControlDesc kTerminalForm[] = {
    {.name = "ClearTermButton", .parent = kMain, .kind = K::Button, .place = {108, 206, 75, 25},
     .handler = ClearTermButtonClick, .options = kNoRecord, .caption = "Clear"},
    {.name = "CloseTermButton", .parent = kMain, .kind = K::Button, .place = {197, 206, 75, 25},
     .handler = CloseTermButtonClick, .options = kNoRecord, .caption = "Close"},
};

}  // namespace

std::span<const ControlDesc> MainFormControls() { return kMainForm; }
std::span<const ControlDesc> ComFormButtons() { return kComForm; }
std::span<const ControlDesc> TerminalFormButtons() { return kTerminalForm; }

std::string CheckControlTable(std::span<const ControlDesc> table, const std::vector<CtlRef>& records) {
    std::map<std::string, const ControlDesc*> entries;
    for (const ControlDesc& d : table) {
        const std::string name = d.name;
        if (entries.count(name)) return name + ": described twice";
        if (*d.parent && !entries.count(d.parent))
            return name + ": its parent " + d.parent + " is not an earlier entry";
        entries[name] = &d;
    }
    for (const ControlDesc& d : table) {
        const std::string name = d.name;
        if (d.buddy && !entries.count(d.buddy)) return name + ": names " + d.buddy + ", which has no entry";
        if (d.beside.group) {
            auto it = entries.find(d.beside.group);
            if (it == entries.end() || it->second->kind != CtlKind::Radio)
                return name + ": stands beside " + d.beside.group + ", which is no radio group";
        }
    }
    std::set<std::string> recorded;
    for (const CtlRef& r : records) {
        recorded.insert(r.name);
        auto it = entries.find(r.name);
        if (it == entries.end()) return r.name + ": a record without an entry";
        if (it->second->options & kNoRecord) return r.name + ": a record for an entry drawn without one";
        if (it->second->kind != r.kind) return r.name + ": the entry's kind is not the record's";
    }
    for (const ControlDesc& d : table)
        if (!(d.options & kNoRecord) && !recorded.count(d.name)) return std::string(d.name) + ": an entry without a record";
    return "";
}
