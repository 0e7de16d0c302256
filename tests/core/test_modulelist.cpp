// The module list: its lines, the builder's class selection and the pop-up menu.
#include <gtest/gtest.h>

#include "TestPlatform.h"
#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "modules/ModuleList.h"
#include "app/ModuleListBox.h"

namespace {

struct ModuleListTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    void SetUp() override { StartTimerTimer(*s); }
    const std::vector<std::string>& items() { return s->form.ModuleListBox.items; }
    void markSaved() { s->form.SaveLabel.color = kGreen; }
};

TEST(ModuleListLine, Formats) {
    EXPECT_EQ(ModuleListLine(0, 127), " 0 [Master]");
    EXPECT_EQ(ModuleListLine(1, 0), " 1 ZEL-SERVO");
    EXPECT_EQ(ModuleListLine(12, 2), "12 ZEL-I/O");
    EXPECT_EQ(ModuleListLine(3, 3), " 3 ZEL-STEP");
    EXPECT_EQ(ModuleListLine(4, 1), " 4 UNKNOWN");
    EXPECT_EQ(ModuleListLine(31, 255), "31 UNKNOWN");
}

TEST(ModuleListLines, FromTheTables) {
    struct Case {
        int count;
        std::vector<int> types;   // addresses 1..
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {0, {0, 2}, {" 0 [Master]"}},
        // The master's code and a code without a family list as UNKNOWN.
        {4, {3, 127, 1, 2}, {" 0 [Master]", " 1 ZEL-STEP", " 2 UNKNOWN", " 3 UNKNOWN", " 4 ZEL-I/O"}},
        {2, {0, 0, 2}, {" 0 [Master]", " 1 ZEL-SERVO", " 2 ZEL-SERVO"}},
    };
    for (const Case& c : cases) {
        ModuleTables t;
        t.moduleListCount = uint8_t(c.count);
        for (size_t i = 0; i < c.types.size(); ++i) t.moduleTypes[i + 1] = c.types[i];
        EXPECT_EQ(ModuleListLines(t), c.lines) << c.count;
    }
    ModuleTables full;
    full.moduleListCount = 40;   // more than the tables hold
    for (int i = 1; i <= kMaxModules; ++i) full.moduleTypes[i] = 3;
    EXPECT_EQ(ModuleListLines(full).size(), 32u);
    EXPECT_EQ(ModuleListLines(full).back(), "31 ZEL-STEP");
}

TEST_F(ModuleListTest, AddingModulesSelectsEachAndEnablesItsClass) {
    markSaved();
    AddServoModule1Click(*s);
    AddStepModule1Click(*s);
    AddIOModule1Click(*s);
    EXPECT_EQ(items(), (std::vector<std::string>{" 0 [Master]", " 1 ZEL-SERVO", " 2 ZEL-STEP", " 3 ZEL-I/O"}));
    EXPECT_EQ(s->moduleListCount, 3);
    EXPECT_TRUE(s->moduleListDefined);
    EXPECT_EQ(s->form.ModuleListBox.index, 3);
    EXPECT_EQ(s->form.ModAddrEdit.text, " 3");
    EXPECT_EQ(s->builderLine.moduleAddress, 3);
    EXPECT_TRUE(s->form.IoCBox.enabled);
    EXPECT_TRUE(s->form.ICBLabel.enabled);
    EXPECT_FALSE(s->form.MasterCBox.enabled);
    EXPECT_FALSE(s->form.ServoCBox.enabled);
    EXPECT_FALSE(s->form.StepCBox.enabled);
    EXPECT_EQ(s->form.SaveLabel.color, kRed);
    EXPECT_TRUE(ui.messages.empty());  // off line: nothing to compare with
    EXPECT_EQ((std::vector<int>{s->moduleTypes[1], s->moduleTypes[2], s->moduleTypes[3]}),
              (std::vector<int>{0, 3, 2}));
}

TEST_F(ModuleListTest, SelectingAModuleResetsTheBuilder) {
    AddServoModule1Click(*s);
    s->form.CmdClassEdit.text = "Servo";
    s->form.CmdEdit.text = "Move";
    s->form.AddInstrButton.enabled = s->form.ChangeButton.enabled = s->form.ExeNowButton.enabled = true;
    s->form.ServoCBox.index = 0;
    s->form.servo.ServoGroup.visible = true;
    SelectModule(*s, 0);
    EXPECT_EQ(s->form.CmdClassEdit.text, "");
    EXPECT_EQ(s->form.CmdEdit.text, "");
    EXPECT_FALSE(s->form.AddInstrButton.enabled || s->form.ChangeButton.enabled || s->form.ExeNowButton.enabled);
    EXPECT_EQ(s->form.ServoCBox.index, -1);
    EXPECT_FALSE(s->form.servo.ServoGroup.visible);
    EXPECT_TRUE(s->form.MasterCBox.enabled);
    EXPECT_FALSE(s->form.ServoCBox.enabled);
    EXPECT_EQ(s->form.ModAddrEdit.text, " 0");
}

TEST_F(ModuleListTest, UnknownModuleEnablesNoClass) {
    s->form.ModuleListBox.items.push_back(" 1 UNKNOWN");
    s->moduleTypes[1] = 255;
    SelectModule(*s, 1);
    for (Ctl* c : {&s->form.MasterCBox, &s->form.ServoCBox, &s->form.StepCBox, &s->form.IoCBox})
        EXPECT_FALSE(c->enabled);
}

TEST_F(ModuleListTest, AddOnLineComparesWithDetectedTypes) {
    s->online = true;
    s->detectedTypes[1] = 0;
    AddServoModule1Click(*s);  // matches
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(s->moduleMismatch);
    AddStepModule1Click(*s);  // address 2 was never detected: -1 differs
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "New module does not match detected modules - program execution may fail.");
    EXPECT_TRUE(s->moduleMismatch);
    EXPECT_EQ(items().size(), 3u);  // added all the same
}

TEST_F(ModuleListTest, ClearLeavesOnlyTheMasterSelected) {
    AddServoModule1Click(*s);
    s->moduleMismatch = true;
    markSaved();
    ClearModuleList1Click(*s);
    EXPECT_EQ(items(), std::vector<std::string>{" 0 [Master]"});
    EXPECT_EQ(s->form.ModuleListBox.index, 0);
    EXPECT_FALSE(s->moduleListDefined);
    EXPECT_FALSE(s->moduleMismatch);
    EXPECT_EQ(s->moduleListCount, 0);
    EXPECT_EQ(s->form.SaveLabel.color, kRed);
}

TEST_F(ModuleListTest, AddBeyondAddress31IsRefused) {
    for (int i = 0; i < 31; ++i) AddIOModule1Click(*s);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(items().back(), "31 ZEL-I/O");
    AddServoModule1Click(*s);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(items().size(), 32u);
    EXPECT_EQ(s->moduleListCount, 31);
}

TEST_F(ModuleListTest, UseDetectedModules) {
    UseDetectedModules1Click(*s);
    ASSERT_EQ(ui.messages, std::vector<std::string>{"No modules detected online"});
    s->online = true;
    s->status.moduleCount = 6;
    const int detected[7] = {-1, 0, 1, 3, 2, 127, 255};
    for (int i = 1; i <= 6; ++i) s->detectedTypes[i] = detected[i];
    s->moduleMismatch = true;
    UseDetectedModules1Click(*s);
    EXPECT_EQ(items(), (std::vector<std::string>{" 0 [Master]", " 1 ZEL-SERVO", " 2 UNKNOWN", " 3 ZEL-STEP",
                                                 " 4 ZEL-I/O", " 5 UNKNOWN", " 6 UNKNOWN"}));
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(s->moduleTypes[i], detected[i]);  // the reported codes are kept
    EXPECT_FALSE(s->moduleMismatch);
    EXPECT_FALSE(s->moduleListDefined);  // not changed
    EXPECT_EQ(s->form.ModuleListBox.index, -1);

    s->status.moduleCount = 200;  // never more than 31
    UseDetectedModules1Click(*s);
    EXPECT_EQ(items().size(), 32u);
    EXPECT_EQ(s->moduleListCount, 31);
}

}  // namespace
