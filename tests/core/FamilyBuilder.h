#pragma once
// Test fixture for the stepper and I/O builders: a started main state with a
// module list, command choice as the combo boxes make it, and loading of a line
// as selecting it in the listing does.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
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

    // What selecting the line in the listing does: copy, select its module, load, label.
    void Load(const ProgramLine& line) {
        s->builderLine = line;
        SelectModule(*s, line.moduleAddress);
        LoadInstruction(*s);
        s->form.LabelEdit.text = line.labelText();
    }
};
