#pragma once
// Test fixture for the stepper and I/O builders: a started main state with a
// module list, command choice as the combo boxes make it, and loading of a line
// as selecting it in the listing does.

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
#include "isa/Commands.h"
#include "isa/Instruction.h"
#include "isa/Io.h"
#include "isa/Stepper.h"
#include "modules/ModuleList.h"

using Bytes = std::vector<uint8_t>;

struct FamilyBuilder : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);

    // Module addresses 1, 2, ... get the given types, in order.
    void AddModules(std::initializer_list<int> types) {
        StartTimerTimer(*s);
        for (int t : types) {
            if (t == kTypeStepper) AddStepModule1Click(*s);
            if (t == kTypeIo) AddIOModule1Click(*s);
        }
        ui.messages.clear();
    }

    StepPanel& step() { return s->form.step; }
    IoPanel& io() { return s->form.io; }

    void ChooseStep(int module, int index) {
        SelectModule(*s, module);
        s->form.StepCBox.index = index;
        StepCBoxClick(*s);
    }
    void ChooseIo(int module, int index) {
        SelectModule(*s, module);
        s->form.IoCBox.index = index;
        IoCBoxClick(*s);
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
};
