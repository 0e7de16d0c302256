#pragma once
// The command builder fixture of every family test: a main state with a
// module list, commands chosen as the combo boxes choose them, controls set by
// object name, and lines loaded as selecting them in the listing loads them.
// By default the list holds the master at address 0 and servo modules at 1, 2
// and 3; a test that needs other modules calls AddModules in its SetUp.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/ModuleListBox.h"
#include "app/panels/Instruction.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"
#include "modules/ModuleList.h"

// The command boxes' lists, in combo box order, as the window shows them.
inline constexpr const char* kMasterCommands[17] = {
    "GoTo", "Call", "Return", "If-GoTo", "StopProgram", "Print", "SetTimer", "GetStatus", "MonitorSub",
    "Delay", "WaitFor", "ClearKey", "SetCounter", "CountDown", "TavoInit", "Reset", "ChangeBaud"};

inline constexpr const char* kServoCommands[9] = {
    "Move", "Stop", "SetGain", "ResetPosition", "StartHoming", "GetStatus", "ClearStatBits", "If-GoTo", "WaitFor"};

inline constexpr const char* kStepCommands[9] = {
    "Move", "Stop", "SetParam", "SetOutputs", "ResetPosition", "StartHoming", "GetStatus", "If-GoTo", "WaitFor"};

inline constexpr const char* kIoCommands[6] = {"MakeOutputs", "SetOutputs", "SetPWMs", "GetStatus", "If-GoTo", "WaitFor"};

using Bytes = std::vector<uint8_t>;

// One control setting: edits get the text, check boxes "1"/"0", radio groups
// and combo boxes the item index.
struct Set {
    const char* control;
    std::string value;
};

class BuilderTest : public ::testing::Test {
protected:
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);

    // The master and three servo modules, without the start-up.
    void SetUp() override {
        s->moduleTypes[0] = kTypeMaster;
        for (int i = 0; i < 3; ++i) AddServoModule1Click(*s);
        ui.messages.clear();
    }

    // After the start-up, module addresses 1, 2, ... get the given types, in order.
    void AddModules(std::initializer_list<int> types) {
        StartTimerTimer(*s);
        for (int t : types) {
            if (IsServo(t)) AddServoModule1Click(*s);
            if (IsStepper(t)) AddStepModule1Click(*s);
            if (IsIo(t)) AddIOModule1Click(*s);
        }
        ui.messages.clear();
    }

    StepPanel& step() { return s->form.step; }
    IoPanel& io() { return s->form.io; }

    // A command chosen in a class's combo box, with its module selected first.
    void ChooseMaster(int index) { Choose(0, s->form.MasterCBox, index, MasterCBoxClick); }
    void ChooseServo(int module, int index) { Choose(module, s->form.ServoCBox, index, ServoCBoxClick); }
    void ChooseStep(int module, int index) { Choose(module, s->form.StepCBox, index, StepCBoxClick); }
    void ChooseIo(int module, int index) { Choose(module, s->form.IoCBox, index, IoCBoxClick); }

    void Apply(const std::vector<Set>& settings) {
        for (const Set& v : settings) {
            bool found = false;
            for (const CtlRef& r : s->form.controls()) {
                if (r.name != v.control) continue;
                found = true;
                if (r.kind == CtlKind::Check) r.ctl->checked = v.value == "1";
                else if (r.kind == CtlKind::Radio || r.kind == CtlKind::Combo || r.kind == CtlKind::EditCombo)
                    r.ctl->index = std::stoi(v.value);
                else r.ctl->text = v.value;
            }
            ASSERT_TRUE(found) << v.control;
        }
    }

    // What choosing a command leaves, whatever the command: the class and
    // command texts, byte 0 and the command code, the family's panel shown
    // and the other hidden, LabelEdit cleared, Add and Change enabled,
    // Execute Now while on line.
    void ExpectChosen(const Ctl& panel, const Ctl& otherPanel, const char* classText, const char* command,
                      uint8_t byte0, uint8_t code) {
        EXPECT_EQ(s->form.CmdClassEdit.text, classText);
        EXPECT_EQ(s->form.CmdEdit.text, command);
        EXPECT_EQ(s->builderLine.bytes[0], byte0);
        EXPECT_EQ(s->builderLine.commandCode, code);
        EXPECT_TRUE(panel.visible);
        EXPECT_FALSE(otherPanel.visible);
        EXPECT_EQ(s->form.LabelEdit.text, "");
        EXPECT_TRUE(s->form.AddInstrButton.enabled && s->form.ChangeButton.enabled);
        EXPECT_EQ(s->form.ExeNowButton.enabled, s->online);
    }

    Bytes Built() const { return Bytes(s->builderLine.bytes, s->builderLine.bytes + s->builderLine.length); }

    // The line just built, quietly: its bytes, command code, jump target
    // (patch position and goto label), label, listing text and Execute Now length.
    void ExpectBuilt(const Bytes& bytes, uint8_t code, int patch, const std::string& gotoLabel,
                     const std::string& label, const std::string& listing, int executeNow) {
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(Built(), bytes);
        EXPECT_EQ(s->builderLine.commandCode, code);
        EXPECT_EQ(s->builderLine.patchOffset, patch);
        EXPECT_EQ(s->builderLine.gotoLabelText(), gotoLabel);
        EXPECT_EQ(s->builderLine.labelText(), label);
        EXPECT_EQ(FormatListingText(*s, s->builderLine), listing);
        EXPECT_EQ(ExecuteNowLength(s->builderLine), executeNow);
    }

    // A build refused with just this message, the record left as it was.
    void ExpectRefusedUntouched(const std::string& message) {
        const ProgramLine before = s->builderLine;
        EXPECT_EQ(BuildInstruction(*s), -1);
        EXPECT_EQ(ui.messages, std::vector<std::string>{message});
        EXPECT_EQ(std::memcmp(&before, &s->builderLine, sizeof before), 0);
    }

    // What selecting the line in the listing does: copy, select its module, load, label.
    void Load(const ProgramLine& line) {
        s->builderLine = line;
        SelectModule(*s, line.moduleAddress);
        LoadInstruction(*s);
        s->form.LabelEdit.text = line.labelText();
    }
    // The same over dirty panels, so that the loader must set every control it shows.
    void LoadOverDirtyPanels(const ProgramLine& line) {
        DirtyPanels();
        Load(line);
    }

    // Loads the line just built back into the panel and builds again: the
    // same bytes, label, goto-label and patch position must result.
    void ExpectRebuilds() {
        const ProgramLine original = s->builderLine;
        LoadOverDirtyPanels(original);
        ASSERT_EQ(BuildInstruction(*s), 0);
        EXPECT_EQ(Built(), Bytes(original.bytes, original.bytes + original.length));
        EXPECT_EQ(s->builderLine.labelText(), original.labelText());
        EXPECT_EQ(s->builderLine.gotoLabelText(), original.gotoLabelText());
        EXPECT_EQ(s->builderLine.patchOffset, original.patchOffset);
    }

    // The visible controls whose names start with one of the prefixes, in
    // form order: labels with [caption], edits with =text, checks with
    // [caption] and * when checked, radio groups and combos with #index.
    // Without captions, labels are left out and checks appear only when checked.
    std::string Visible(const std::vector<std::string>& prefixes, bool captions = true) {
        std::string out;
        for (const CtlRef& r : s->form.controls()) {
            bool match = false;
            for (const auto& p : prefixes) match = match || r.name.rfind(p, 0) == 0;
            if (!match || !r.ctl->visible || r.kind == CtlKind::Group) continue;
            if (!captions && (r.kind == CtlKind::Label || (r.kind == CtlKind::Check && !r.ctl->checked))) continue;
            out += out.empty() ? "" : " ";
            out += r.name;
            if (r.kind == CtlKind::Label) out += "[" + r.ctl->caption + "]";
            else if (r.kind == CtlKind::Check) out += captions ? "[" + r.ctl->caption + "]" + (r.ctl->checked ? "*" : "") : "";
            else if (r.kind == CtlKind::Edit) out += "=" + r.ctl->text;
            else out += "#" + std::to_string(r.ctl->index);
        }
        return out;
    }
    // Every master and servo panel control shown, filled and checked, so that
    // set-up must undo it; the builder record filled with 0x55.
    void DirtyPanels() {
        for (const CtlRef& r : s->form.controls()) {
            if (r.name.rfind("Master", 0) != 0 && r.name.rfind("Servo", 0) != 0 && r.name.rfind("Radio", 0) != 0)
                continue;
            if (r.kind == CtlKind::Group || r.name == "MasterCBox" || r.name == "ServoCBox") continue;
            r.ctl->visible = true;
            r.ctl->checked = true;
            if (r.kind == CtlKind::Edit) r.ctl->text = "junk";
            if (r.kind == CtlKind::Radio || r.kind == CtlKind::EditCombo) r.ctl->index = 1;
        }
        std::memset(s->builderLine.bytes, 0x55, sizeof s->builderLine.bytes);
    }

private:
    void Choose(int module, Ctl& box, int index, void (*click)(MainState&)) {
        SelectModule(*s, module);
        box.index = index;
        click(*s);
    }
};

// A stored line for the listing and loader tests.
inline ProgramLine MakeLine(uint8_t address, uint8_t code, const Bytes& bytes, const char* gotoLabel = "",
                            const char* label = "") {
    ProgramLine l{};
    l.moduleAddress = address;
    l.commandCode = code;
    for (size_t i = 0; i < bytes.size() && i < sizeof l.bytes; ++i) l.bytes[i] = bytes[i];
    l.length = uint8_t(bytes.size());
    l.setGotoLabel(gotoLabel);
    l.setLabel(label);
    return l;
}
