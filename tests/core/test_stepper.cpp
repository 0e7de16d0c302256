#include <algorithm>
#include <cstring>
#include <iterator>
#include <functional>
#include <string>

#include "BuilderFixture.h"

namespace {

enum { kMove, kStop, kSetParam, kSetOutputs, kResetPosition, kStartHoming, kGetStatus, kIfGoTo, kWaitFor };

struct StepperTest : BuilderTest {
    void SetUp() override { AddModules({kTypeStepper, kTypeStepper, kTypeStepper, kTypeStepper, kTypeStepper}); }
};

using Fill = std::function<void(StepPanel&)>;

// The optional controls of the stepper panel (not StepGroup, StepCBox or the Step button).
bool IsPanelControl(const std::string& name) {
    for (const char* prefix : {"StepLabel", "StepEdit", "StepCheck", "StepRG", "StepIfCBox"})
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

void PosMove(StepPanel& p, const char* pos, const char* speed, const char* accel) {
    p.StepEdit[1].text = pos;
    p.StepEdit[2].text = speed;
    p.StepEdit[3].text = accel;
}
void VelMove(StepPanel& p, const char* speed, const char* accel, bool reverse) {
    p.StepCheck[1].checked = true;
    p.StepCheck[2].checked = reverse;
    p.StepEdit[2].text = speed;
    p.StepEdit[3].text = accel;
}

TEST_F(StepperTest, EncodesEveryCommandToItsBytesListingAndExecuteNowLength) {
    struct Case {
        int module, index;
        Fill fill;
        Bytes bytes;
        int patch, executeNow;
        const char *gotoLabel, *listing;
    } cases[] = {
        {4, kMove, [](StepPanel& p) { PosMove(p, "-500", "100", "20"); },
         {0xAA, 0x04, 0x74, 0x87, 0x0C, 0xFE, 0xFF, 0xFF, 0x64, 0x14, 0x7F, 0x01}, 0, 12, "", "Move - Pos. -500"},
        {4, kMove, [](StepPanel& p) { VelMove(p, "100", "20", true); }, {0xAA, 0x04, 0x34, 0x96, 0x64, 0x14, 0x46, 0x01},
         0, 8, "", "Move - Vel. -100"},
        {1, kMove, [](StepPanel& p) { VelMove(p, "250", "255", false); },
         {0xAA, 0x01, 0x34, 0x86, 0xFA, 0xFF, 0xB4, 0x01}, 0, 8, "", "Move - Vel. 250"},
        {4, kSetParam, [](StepPanel&) {}, {0xAA, 0x04, 0x56, 0x03, 0x01, 0x14, 0x0A, 0x00, 0x7C, 0x01}, 0, 10, "",
         "SetParam"},
        {4, kSetParam,  // speed 2x and 8x with every flag
         [](StepPanel& p) {
             p.StepCheck[2].checked = false;
             p.StepCheck[3].checked = p.StepCheck[6].checked = true;
             p.StepCheck[1].checked = p.StepCheck[4].checked = p.StepCheck[7].checked = true;
         },
         {0xAA, 0x04, 0x56, 0x1E, 0x01, 0x14, 0x0A, 0x00, 0x97, 0x01}, 0, 10, "", "SetParam"},
        {4, kSetParam, [](StepPanel& p) { p.StepCheck[2].checked = false; p.StepCheck[6].checked = true; },
         {0xAA, 0x04, 0x56, 0x00, 0x01, 0x14, 0x0A, 0x00, 0x79, 0x01}, 0, 10, "", "SetParam"},
        {4, kSetOutputs, [](StepPanel&) {}, {0xAA, 0x04, 0x18, 0x0E, 0x2A, 0x01}, 0, 6, "", "SetOutputs"},
        {4, kSetOutputs,
         [](StepPanel& p) {
             p.StepCheck[1].checked = p.StepCheck[5].checked = true;
             p.StepCheck[2].checked = p.StepCheck[3].checked = p.StepCheck[4].checked = false;
         },
         {0xAA, 0x04, 0x18, 0x11, 0x2D, 0x01}, 0, 6, "", "SetOutputs"},
        {4, kGetStatus, [](StepPanel&) {}, {0xAA, 0x04, 0x13, 0x08, 0x1F, 0x02}, 0, 6, "", "GetStatus"},
        {5, kResetPosition, [](StepPanel&) {}, {0xAA, 0x05, 0x00, 0x05, 0x01}, 0, 5, "", "ResetPosition"},
        {4, kStop, [](StepPanel& p) { p.StepRG.index = 1; }, {0xAA, 0x04, 0x17, 0x08, 0x23, 0x01}, 0, 6, "",
         "Stop - Motor Off"},
        {4, kStop, [](StepPanel& p) { p.StepRG.index = 1; p.StepCheck[7].checked = true; },
         {0xAA, 0x04, 0x17, 0x09, 0x24, 0x01}, 0, 6, "", "Stop Smoothly"},
        {4, kStop, [](StepPanel& p) { p.StepCheck[7].checked = true; }, {0xAA, 0x04, 0x17, 0x05, 0x20, 0x01}, 0, 6, "",
         "Stop Abruptly"},
        {4, kStartHoming,
         [](StepPanel& p) {
             for (int i : {1, 2, 4, 7}) p.StepCheck[i].checked = true;
             p.StepRG.index = 1;
         },
         {0xAA, 0x04, 0x19, 0x2B, 0x48, 0x01}, 0, 6, "", "StartHoming"},
        {4, kStartHoming, [](StepPanel& p) { p.StepCheck[2].checked = true; p.StepRG.index = 1; },  // no stop on home
         {0xAA, 0x04, 0x19, 0x08, 0x25, 0x01}, 0, 6, "", "StartHoming"},
        {4, kIfGoTo, [](StepPanel& p) { p.StepIfCBox.index = 20; p.StepEdit[1].text = "DONE"; },
         {0xBB, 5, 3, 0xFF, 0xFF, 1, 0x04, 0x04}, 3, -1, "DONE", "If-GoTo DONE"},
        {4, kIfGoTo, [](StepPanel& p) { p.StepIfCBox.index = 15; }, {0xBB, 5, 3, 0xFF, 0xFF, 1, 0x00, 0x20}, 3, -1, "",
         "If-GoTo "},
        {4, kWaitFor, [](StepPanel& p) { p.StepIfCBox.index = 1; p.StepEdit[1].text = "300"; p.StepEdit[2].text = "W"; },
         {0xBB, 13, 10, 0xAA, 0x04, 0x13, 0x08, 0x1F, 0x02, 0, 0x00, 0x01, 0x2C, 0x01, 0xFF, 0xFF}, 14, -1, "W",
         "WaitFor [timeout->W]"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.listing);
        ChooseStep(c.module, c.index);
        s->form.LabelEdit.text = "LBL";
        c.fill(step());
        ASSERT_EQ(BuildInstruction(*s), 0);
        ExpectBuilt(c.bytes, c.index == kMove ? 0x74 : c.bytes[2], c.patch, c.gotoLabel, "LBL",
                    "LBL       " + std::to_string(c.module) + " " + c.listing, c.executeNow);
    }
}

TEST_F(StepperTest, NumericFieldLimits) {
    const char* range = "Value out of range";
    const char* invalid = "Invalid numeric value";
    struct Case {
        int index;
        Fill fill;
        const char* message;  // "" = accepted
    } cases[] = {
        {kMove, [](StepPanel& p) { PosMove(p, "-2147483646", "1", "1"); }, ""},
        {kMove, [](StepPanel& p) { PosMove(p, "2147483647", "250", "255"); }, ""},
        {kMove, [](StepPanel& p) { PosMove(p, "-2147483647", "1", "1"); }, range},
        {kMove, [](StepPanel& p) { PosMove(p, "2147483648", "1", "1"); }, range},
        {kMove, [](StepPanel& p) { PosMove(p, "0", "0", "1"); }, range},
        {kMove, [](StepPanel& p) { PosMove(p, "0", "251", "1"); }, range},
        {kMove, [](StepPanel& p) { PosMove(p, "0", "1", "0"); }, range},
        {kMove, [](StepPanel& p) { PosMove(p, "0", "1", "256"); }, range},
        {kMove, [](StepPanel& p) { PosMove(p, "", "", ""); }, invalid},   // Position read first
        {kMove, [](StepPanel& p) { PosMove(p, "x", "0", "0"); }, invalid},  // later fields not read
        {kMove, [](StepPanel& p) { VelMove(p, "0", "1", false); }, range},
        {kMove, [](StepPanel& p) { VelMove(p, "251", "1", false); }, range},
        {kMove, [](StepPanel& p) { VelMove(p, "1", "0", false); }, range},
        {kMove, [](StepPanel& p) { VelMove(p, "1", "256", false); }, range},
        {kMove, [](StepPanel& p) { VelMove(p, "", "", false); }, invalid},
        {kMove, [](StepPanel& p) { p.StepEdit[1].text = "abc"; VelMove(p, "1", "1", false); }, ""},  // not read
        {kMove, [](StepPanel& p) { p.StepEdit[1].text = "99999999999"; VelMove(p, "1", "1", false); }, ""},
        {kSetParam, [](StepPanel& p) { p.StepEdit[1].text = "0"; }, ""},
        {kSetParam, [](StepPanel& p) { p.StepEdit[1].text = "250"; }, ""},
        {kSetParam, [](StepPanel& p) { p.StepEdit[1].text = "251"; }, range},
        {kSetParam, [](StepPanel& p) { p.StepEdit[1].text = "-1"; }, range},
        {kSetParam, [](StepPanel& p) { p.StepEdit[2].text = "256"; }, range},
        {kSetParam, [](StepPanel& p) { p.StepEdit[3].text = "256"; }, range},
        {kSetParam, [](StepPanel& p) { p.StepEdit[7].text = "256"; }, range},
        {kSetParam, [](StepPanel& p) { p.StepEdit[7].text = "hot"; }, invalid},
        {kWaitFor, [](StepPanel& p) { p.StepIfCBox.index = 0; p.StepEdit[1].text = "60000"; }, ""},
        {kWaitFor, [](StepPanel& p) { p.StepIfCBox.index = 0; p.StepEdit[1].text = "60001"; }, range},
        {kWaitFor, [](StepPanel& p) { p.StepIfCBox.index = 0; p.StepEdit[1].text = "-1"; }, range},
        {kWaitFor, [](StepPanel& p) { p.StepIfCBox.index = 0; }, invalid},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        ui.messages.clear();
        ChooseStep(4, cases[i].index);
        cases[i].fill(step());
        const bool accepted = std::string(cases[i].message).empty();
        EXPECT_EQ(BuildInstruction(*s), accepted ? 0 : -1);
        EXPECT_EQ(ui.messages, accepted ? std::vector<std::string>{} : std::vector<std::string>{cases[i].message});
    }
}

TEST_F(StepperTest, ConditionlessIfAndWaitAreRefusedUntouched) {
    for (int index : {kIfGoTo, kWaitFor}) {
        for (int item : {-1, 22}) {
            ui.messages.clear();
            ChooseStep(4, index);
            step().StepIfCBox.index = item;
            step().StepIfCBox.text = "Moving";  // typed text does not count
            step().StepEdit[1].text = "100";
            ExpectRefusedUntouched("Choose a condition.");
        }
    }
}

TEST_F(StepperTest, PanelSetupShowsOnlyTheCommandsControls) {
    struct Case {
        int index;
        std::vector<std::string> shown;
        const char* cls;
        uint8_t byte0;
    } cases[] = {
        {kMove, {"StepLabel1", "StepEdit1", "StepLabel2", "StepEdit2", "StepLabel3", "StepEdit3", "StepCheck1", "StepCheck2"},
         "Step", 0xAA},
        {kStop, {"StepCheck7", "StepRG"}, "Step", 0xAA},
        {kSetParam, {"StepLabel1", "StepEdit1", "StepLabel2", "StepEdit2", "StepLabel3", "StepEdit3", "StepLabel7",
                     "StepEdit7", "StepCheck1", "StepCheck2", "StepCheck3", "StepCheck4", "StepCheck5", "StepCheck6",
                     "StepCheck7"}, "Step", 0xAA},
        {kSetOutputs, {"StepCheck1", "StepCheck2", "StepCheck3", "StepCheck4", "StepCheck5"}, "Step", 0xAA},
        {kResetPosition, {}, "Step", 0xAA},
        {kStartHoming, {"StepLabel10", "StepCheck1", "StepCheck2", "StepCheck4", "StepCheck7", "StepRG"}, "Step", 0xAA},
        {kGetStatus, {}, "Step", 0xAA},
        {kIfGoTo, {"StepLabel1", "StepEdit1", "StepLabel10", "StepIfCBox"}, "Master", 0xBB},
        {kWaitFor, {"StepLabel1", "StepEdit1", "StepLabel2", "StepEdit2", "StepLabel10", "StepIfCBox"}, "Master", 0xBB},
    };
    // Start from a panel where everything is shown, checked and filled.
    for (auto& ref : s->form.controls())
        if (IsPanelControl(ref.name)) ref.ctl->visible = ref.ctl->checked = true;
    for (auto& c : cases) {
        SCOPED_TRACE(kStepCommands[c.index]);
        ChooseStep(4, c.index);
        for (auto& ref : s->form.controls()) {
            if (!IsPanelControl(ref.name)) continue;
            bool expected = std::find(c.shown.begin(), c.shown.end(), ref.name) != c.shown.end();
            EXPECT_EQ(ref.ctl->visible, expected) << ref.name;
        }
        EXPECT_TRUE(step().StepGroup.visible);
        EXPECT_EQ(s->form.CmdClassEdit.text, c.cls);
        EXPECT_EQ(s->form.CmdEdit.text, kStepCommands[c.index]);
        EXPECT_EQ(s->builderLine.bytes[0], c.byte0);
        EXPECT_TRUE(s->form.AddInstrButton.enabled);
    }
    ChooseStep(4, kSetOutputs);
    EXPECT_EQ(step().StepCheck[4].caption, "Run Mode");
    EXPECT_TRUE(step().StepCheck[4].checked);
    EXPECT_FALSE(step().StepCheck[5].checked);
    ChooseStep(4, kWaitFor);
    EXPECT_EQ(step().StepLabel[10].caption, "Select a WaitFor Condition:");
    EXPECT_EQ(step().StepIfCBox.index, -1);
}

TEST_F(StepperTest, ListingRowsOfStoredBytes) {
    struct Case {
        uint8_t code, b3, b4, b5, b6, b7;
        const char* text;
    } cases[] = {
        {0x74, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, "Move - Pos. 2147483647"},
        {0x74, 0x87, 0x00, 0x00, 0x00, 0x80, "Move - Pos. -2147483648"},
        {0x74, 0x96, 0, 20, 0, 0, "Move - Vel. 0"},
        {0x17, 0x04, 0, 0, 0, 0, "Stop - Motor Off"},
        {0x17, 0x0D, 0, 0, 0, 0, "Stop Abruptly"},
        {0x17, 0x01, 0, 0, 0, 0, "Stop "},
        {0x55, 0, 0, 0, 0, 0, ""},
    };
    for (auto& c : cases) {
        ProgramLine line{};
        line.moduleAddress = 4;
        line.commandCode = c.code;
        const uint8_t b[] = {0xAA, 4, c.code, c.b3, c.b4, c.b5, c.b6, c.b7};
        std::memcpy(line.bytes, b, sizeof b);
        EXPECT_EQ(FormatListingText(*s, line), std::string(9, ' ') + " 4 " + c.text);
    }
}

TEST_F(StepperTest, LoaderFillsThePanel) {
    ChooseStep(4, kMove);
    VelMove(step(), "100", "20", true);
    ASSERT_EQ(BuildInstruction(*s), 0);
    ProgramLine vel = s->builderLine;
    Load(vel);
    EXPECT_EQ(s->form.StepCBox.index, kMove);
    EXPECT_TRUE(step().StepCheck[1].checked);
    EXPECT_TRUE(step().StepCheck[2].checked);
    EXPECT_EQ(step().StepEdit[1].text, "0");
    EXPECT_EQ(step().StepEdit[2].text, "100");
    EXPECT_EQ(step().StepEdit[3].text, "20");

    ChooseStep(4, kSetParam);
    step().StepCheck[2].checked = false;
    step().StepCheck[3].checked = step().StepCheck[6].checked = true;
    ASSERT_EQ(BuildInstruction(*s), 0);
    Load(s->builderLine);
    EXPECT_FALSE(step().StepCheck[2].checked);
    EXPECT_TRUE(step().StepCheck[3].checked);
    EXPECT_FALSE(step().StepCheck[6].checked);  // factor 2 checks "Speed 2x" alone

    ChooseStep(4, kIfGoTo);
    step().StepIfCBox.index = 20;
    ASSERT_EQ(BuildInstruction(*s), 0);
    Load(s->builderLine);
    EXPECT_EQ(step().StepIfCBox.index, 20);
    EXPECT_EQ(step().StepIfCBox.text, "Input2 HI");

    ProgramLine odd = s->builderLine;
    odd.bytes[5] = 2;  // no condition has selector 2
    Load(odd);
    EXPECT_EQ(step().StepIfCBox.index, -1);

    // Stop: the amplifier box from 0x01, the stop mode from 0x04, else 0x08;
    // with neither the panel keeps its default "Stop Abruptly".
    const struct {
        uint8_t control;
        bool amp;
        int mode;
    } stops[] = {{0x05, true, 0}, {0x08, false, 1}, {0x0D, true, 0}, {0x01, true, 0}, {0x00, false, 0}};
    for (const auto& c : stops) {
        ProgramLine stop{};
        const uint8_t b[] = {0xAA, 4, 0x17, c.control, uint8_t(4 + 0x17 + c.control), 1};
        std::memcpy(stop.bytes, b, sizeof b);
        stop.length = 6;
        stop.commandCode = 0x17;
        stop.moduleAddress = 4;
        step().StepRG.index = 1 - c.mode;
        Load(stop);
        EXPECT_EQ(step().StepCheck[7].checked, c.amp) << int(c.control);
        EXPECT_EQ(step().StepRG.index, c.mode) << int(c.control);
    }
}

TEST_F(StepperTest, CodeWithoutRowLoadsNothing) {
    ProgramLine line{};
    line.moduleAddress = 4;
    line.commandCode = 0x55;
    line.bytes[0] = 0xAA;
    Load(line);
    EXPECT_EQ(s->form.StepCBox.index, -1);
    EXPECT_FALSE(step().StepGroup.visible);
    EXPECT_FALSE(s->form.AddInstrButton.enabled);
}

}  // namespace
