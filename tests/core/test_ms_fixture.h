#pragma once
// Builder fixture for the master and servo family tests: the master at
// address 0 and servo modules at 1, 2 and 3; controls are set by object name.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestPlatform.h"
#include "app/MainState.h"
#include "isa/Commands.h"
#include "isa/Instruction.h"
#include "isa/Master.h"
#include "isa/Servo.h"
#include "modules/ModuleList.h"

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

    void SetUp() override {
        s->moduleTypes[0] = kTypeMaster;
        for (int i = 0; i < 3; ++i) AddServoModule1Click(*s);
        ui.messages.clear();
    }
    void chooseMaster(int index) {
        SelectModule(*s, 0);
        s->form.MasterCBox.index = index;
        MasterCBoxClick(*s);
    }
    void chooseServo(int address, int index) {
        SelectModule(*s, address);
        s->form.ServoCBox.index = index;
        ServoCBoxClick(*s);
    }
    void apply(const std::vector<Set>& settings) {
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
    void expectChosen(const Ctl& panel, const Ctl& otherPanel, const char* classText, const char* command,
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
    Bytes built() const { return Bytes(s->builderLine.bytes, s->builderLine.bytes + s->builderLine.length); }

    // The load dispatch as selecting a listing line runs it, over dirty panels.
    void load(const ProgramLine& line) {
        dirtyPanels();
        s->builderLine = line;
        SelectModule(*s, line.moduleAddress);
        LoadInstruction(*s);
        s->form.LabelEdit.text = line.labelText();
    }
    // Loads the line just built back into the panel and builds again: the
    // same bytes, label, goto-label and patch position must result.
    void expectRebuilds() {
        const ProgramLine original = s->builderLine;
        load(original);
        ASSERT_EQ(BuildInstruction(*s), 0);
        EXPECT_EQ(built(), Bytes(original.bytes, original.bytes + original.length));
        EXPECT_EQ(s->builderLine.labelText(), original.labelText());
        EXPECT_EQ(s->builderLine.gotoLabelText(), original.gotoLabelText());
        EXPECT_EQ(s->builderLine.patchOffset, original.patchOffset);
    }

    // The visible controls whose names start with one of the prefixes, in
    // form order: labels with [caption], edits with =text, checks with
    // [caption] and * when checked, radio groups and combos with #index.
    // Without captions, labels are left out and checks appear only when checked.
    std::string visible(const std::vector<std::string>& prefixes, bool captions = true) {
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
    // Every panel control shown, filled and checked, so that set-up must undo it.
    void dirtyPanels() {
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
