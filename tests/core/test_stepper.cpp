#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "BuilderFixture.h"
#include "CodecCases.h"

namespace {

enum { kMove, kStop, kSetParam, kSetOutputs, kResetPosition, kStartHoming, kGetStatus, kIfGoTo, kWaitFor };

struct StepperTest : BuilderTest {
    void SetUp() override { AddModules({kTypeStepper, kTypeStepper, kTypeStepper, kTypeStepper, kTypeStepper}); }
};

using codec::Field;

// The optional controls of the stepper panel (not StepGroup, StepCBox or the Step button).
bool IsPanelControl(const std::string& name) {
    for (const char* prefix : {"StepLabel", "StepEdit", "StepCheck", "StepRG", "StepIfCBox"})
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

std::vector<Field> PosMove(const char* pos, const char* speed, const char* accel) {
    return {{"position", pos}, {"speed", speed}, {"acceleration", accel}};
}
std::vector<Field> VelMove(const char* speed, const char* accel, bool reverse) {
    return {{"velocity-mode", "1"}, {"reverse", reverse ? "1" : "0"}, {"speed", speed}, {"acceleration", accel}};
}

TEST_F(StepperTest, EncodesEveryCommandToItsBytesListingAndExecuteNowLength) {
    struct Case {
        int module, index;
        std::vector<Field> fields;
        Bytes bytes;
        int patch, executeNow;
        const char *gotoLabel, *listing;
    } cases[] = {
        {4, kMove, PosMove("-500", "100", "20"), {0xAA, 0x04, 0x74, 0x87, 0x0C, 0xFE, 0xFF, 0xFF, 0x64, 0x14, 0x7F, 0x01},
         0, 12, "", "Move - Pos. -500"},
        {4, kMove, VelMove("100", "20", true), {0xAA, 0x04, 0x34, 0x96, 0x64, 0x14, 0x46, 0x01}, 0, 8, "",
         "Move - Vel. -100"},
        {1, kMove, VelMove("250", "255", false), {0xAA, 0x01, 0x34, 0x86, 0xFA, 0xFF, 0xB4, 0x01}, 0, 8, "",
         "Move - Vel. 250"},
        {4, kSetParam, {}, {0xAA, 0x04, 0x56, 0x03, 0x01, 0x14, 0x0A, 0x00, 0x7C, 0x01}, 0, 10, "", "SetParam"},
        {4, kSetParam,  // speed 2x and 8x with every flag
         {{"speed-1x", "0"}, {"speed-2x", "1"}, {"speed-8x", "1"}, {"ignore-limits", "1"}, {"ignore-stop", "1"},
          {"off-on-e-stop", "1"}},
         {0xAA, 0x04, 0x56, 0x1E, 0x01, 0x14, 0x0A, 0x00, 0x97, 0x01}, 0, 10, "", "SetParam"},
        {4, kSetParam, {{"speed-1x", "0"}, {"speed-8x", "1"}}, {0xAA, 0x04, 0x56, 0x00, 0x01, 0x14, 0x0A, 0x00, 0x79, 0x01},
         0, 10, "", "SetParam"},
        {4, kSetOutputs, {}, {0xAA, 0x04, 0x18, 0x0E, 0x2A, 0x01}, 0, 6, "", "SetOutputs"},
        {4, kSetOutputs,
         {{"out1", "1"}, {"out5", "1"}, {"half-step", "0"}, {"slow-decay", "0"}, {"run-mode", "0"}},
         {0xAA, 0x04, 0x18, 0x11, 0x2D, 0x01}, 0, 6, "", "SetOutputs"},
        {4, kGetStatus, {}, {0xAA, 0x04, 0x13, 0x08, 0x1F, 0x02}, 0, 6, "", "GetStatus"},
        {5, kResetPosition, {}, {0xAA, 0x05, 0x00, 0x05, 0x01}, 0, 5, "", "ResetPosition"},
        {4, kStop, {{"stop-mode", "stop-smoothly"}}, {0xAA, 0x04, 0x17, 0x08, 0x23, 0x01}, 0, 6, "", "Stop - Motor Off"},
        {4, kStop, {{"stop-mode", "stop-smoothly"}, {"enable-amplifier", "1"}}, {0xAA, 0x04, 0x17, 0x09, 0x24, 0x01}, 0,
         6, "", "Stop Smoothly"},
        {4, kStop, {{"enable-amplifier", "1"}}, {0xAA, 0x04, 0x17, 0x05, 0x20, 0x01}, 0, 6, "", "Stop Abruptly"},
        {4, kStartHoming,
         {{"limit-1", "1"}, {"home-switch", "1"}, {"limit-2", "1"}, {"stop-on-home", "1"}, {"stop-mode", "stop-smoothly"}},
         {0xAA, 0x04, 0x19, 0x2B, 0x48, 0x01}, 0, 6, "", "StartHoming"},
        {4, kStartHoming, {{"home-switch", "1"}, {"stop-mode", "stop-smoothly"}},  // no stop on home
         {0xAA, 0x04, 0x19, 0x08, 0x25, 0x01}, 0, 6, "", "StartHoming"},
        {4, kIfGoTo, {{"condition", "input2-hi"}, {"->", "DONE"}}, {0xBB, 5, 3, 0xFF, 0xFF, 1, 0x04, 0x04}, 3, -1, "DONE",
         "If-GoTo DONE"},
        {4, kIfGoTo, {{"condition", "home-sw-lo"}}, {0xBB, 5, 3, 0xFF, 0xFF, 1, 0x00, 0x20}, 3, -1, "", "If-GoTo "},
        {4, kWaitFor, {{"condition", "not-moving"}, {"timeout", "300"}, {"->", "W"}},
         {0xBB, 13, 10, 0xAA, 0x04, 0x13, 0x08, 0x1F, 0x02, 0, 0x00, 0x01, 0x2C, 0x01, 0xFF, 0xFF}, 14, -1, "W",
         "WaitFor [timeout->W]"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.listing);
        const isa::CommandDesc& command = codec::Command(isa::Family::Stepper, c.index);
        const isa::EncodeResult r = isa::encode(command, codec::Values(command, c.fields), uint8_t(c.module));
        const isa::Encoded* e = std::get_if<isa::Encoded>(&r);
        ASSERT_NE(e, nullptr) << codec::MessagesOf(r)[0];
        EXPECT_EQ(codec::BytesOf(r), c.bytes);
        EXPECT_EQ(e->commandCode, c.index == kMove ? 0x74 : c.bytes[2]);
        EXPECT_EQ(e->patchOffset, c.patch);
        EXPECT_EQ(e->gotoLabel, c.gotoLabel);
        const ProgramLine line = codec::LineOf(*e, c.module);
        EXPECT_EQ(FormatListingText(*s, line), "          " + std::to_string(c.module) + " " + c.listing);
        EXPECT_EQ(ExecuteNowLength(line), c.executeNow);
        codec::ExpectRebuilds(command, *e, uint8_t(c.module));
    }
}

TEST(StepperCodec, NumericFieldLimits) {
    const char* range = "Value out of range";
    const char* invalid = "Invalid numeric value";
    struct Case {
        int index;
        std::vector<Field> fields;
        const char* message;  // "" = accepted
    } cases[] = {
        {kMove, PosMove("-2147483646", "1", "1"), ""},
        {kMove, PosMove("2147483647", "250", "255"), ""},
        {kMove, PosMove("-2147483647", "1", "1"), range},
        {kMove, PosMove("2147483648", "1", "1"), range},
        {kMove, PosMove("0", "0", "1"), range},
        {kMove, PosMove("0", "251", "1"), range},
        {kMove, PosMove("0", "1", "0"), range},
        {kMove, PosMove("0", "1", "256"), range},
        {kMove, PosMove("", "", ""), invalid},   // Position read first
        {kMove, PosMove("x", "0", "0"), invalid},  // later fields not read
        {kMove, VelMove("0", "1", false), range},
        {kMove, VelMove("251", "1", false), range},
        {kMove, VelMove("1", "0", false), range},
        {kMove, VelMove("1", "256", false), range},
        {kMove, VelMove("", "", false), invalid},
        {kMove, {{"position", "abc"}, {"velocity-mode", "1"}, {"speed", "1"}, {"acceleration", "1"}}, ""},  // not read
        {kMove, {{"position", "99999999999"}, {"velocity-mode", "1"}, {"speed", "1"}, {"acceleration", "1"}}, ""},
        {kSetParam, {{"min-speed", "0"}}, ""},
        {kSetParam, {{"min-speed", "250"}}, ""},
        {kSetParam, {{"min-speed", "251"}}, range},
        {kSetParam, {{"min-speed", "-1"}}, range},
        {kSetParam, {{"run-cur", "256"}}, range},
        {kSetParam, {{"hold-cur", "256"}}, range},
        {kSetParam, {{"therm-limit", "256"}}, range},
        {kSetParam, {{"therm-limit", "hot"}}, invalid},
        {kWaitFor, {{"condition", "0"}, {"timeout", "60000"}}, ""},
        {kWaitFor, {{"condition", "0"}, {"timeout", "60001"}}, range},
        {kWaitFor, {{"condition", "0"}, {"timeout", "-1"}}, range},
        {kWaitFor, {{"condition", "0"}}, invalid},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const isa::CommandDesc& command = codec::Command(isa::Family::Stepper, cases[i].index);
        const bool accepted = std::string(cases[i].message).empty();
        EXPECT_EQ(codec::MessagesOf(isa::encode(command, codec::Values(command, cases[i].fields), 4)),
                  accepted ? std::vector<std::string>{} : std::vector<std::string>{cases[i].message});
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

TEST(StepperCodec, DecodingGivesWhatThePanelShows) {
    const auto stored = [](uint8_t code, Bytes b) { return codec::Stored(code, b); };
    const std::pair<isa::Encoded, std::string> rows[] = {
        // Velocity mode: the position shows 0.
        {stored(0x74, {0xAA, 4, 0x34, 0x96, 0x64, 0x14, 0x46, 1}),
         "position=0 speed=100 acceleration=20 velocity-mode reverse"},
        {stored(0x74, {0xAA, 4, 0x74, 0x87, 0x0C, 0xFE, 0xFF, 0xFF, 0x64, 0x14, 0x7F, 1}),
         "position=-500 speed=100 acceleration=20"},
        // A speed factor checks exactly one box: 2 is "Speed 2x" alone.
        {stored(0x56, {0xAA, 4, 0x56, 0x1E, 1, 20, 10, 0, 0x97, 1}),
         "min-speed=1 run-cur=20 hold-cur=10 therm-limit=0 ignore-limits speed-2x ignore-stop off-on-e-stop"},
        {stored(0x56, {0xAA, 4, 0x56, 0x00, 0, 0, 0, 0, 0, 1}),
         "min-speed=0 run-cur=0 hold-cur=0 therm-limit=0 speed-8x"},
        {stored(0x18, {0xAA, 4, 0x18, 0x11, 0, 1}), "out1 out5"},
        {stored(0x19, {0xAA, 4, 0x19, 0x2B, 0, 1}), "limit-1 home-switch limit-2 stop-on-home stop-mode=stop-smoothly"},
        {stored(0x19, {0xAA, 4, 0x19, 0x0B, 0, 1}), "limit-1 home-switch limit-2"},
        {stored(3, {0xBB, 5, 3, 0xFF, 0xFF, 1, 0x04, 0x04}), "condition=input2-hi"},
        {stored(3, {0xBB, 5, 3, 0xFF, 0xFF, 2, 0x04, 0x04}), ""},   // no condition has selector 2
        {stored(10, {0xBB, 13, 10, 0xAA, 4, 0x13, 8, 0x1F, 2, 0, 0, 1, 0x2C, 1, 0xFF, 0xFF}),
         "timeout=300 condition=not-moving"},
        // Stop: the amplifier box from 0x01, the stop mode from 0x04, else
        // 0x08; with neither the panel's default "Stop Abruptly".
        {stored(0x17, {0xAA, 4, 0x17, 0x05, 0, 1}), "enable-amplifier stop-mode=stop-abruptly"},
        {stored(0x17, {0xAA, 4, 0x17, 0x08, 0, 1}), "stop-mode=stop-smoothly"},
        {stored(0x17, {0xAA, 4, 0x17, 0x0D, 0, 1}), "enable-amplifier stop-mode=stop-abruptly"},
        {stored(0x17, {0xAA, 4, 0x17, 0x01, 0, 1}), "enable-amplifier stop-mode=stop-abruptly"},
        {stored(0x17, {0xAA, 4, 0x17, 0x00, 0, 1}), "stop-mode=stop-abruptly"},
        {stored(0x55, {0xAA, 4, 0x55}), "(nothing)"},
    };
    for (const auto& [line, text] : rows) EXPECT_EQ(codec::Shown(isa::decode(line, kTypeStepper)), text);
}

// The loader chooses the command and shows the condition by its text.
TEST_F(StepperTest, LoaderFillsThePanel) {
    ChooseStep(4, kIfGoTo);
    step().StepIfCBox.index = 20;
    ASSERT_EQ(BuildInstruction(*s), 0);
    const ProgramLine line = s->builderLine;
    ChooseStep(4, kMove);
    step().StepCheck[1].checked = true;
    Load(line);
    EXPECT_EQ(s->form.StepCBox.index, kIfGoTo);
    EXPECT_EQ(step().StepIfCBox.index, 20);
    EXPECT_EQ(step().StepIfCBox.text, "Input2 HI");
    EXPECT_FALSE(step().StepCheck[1].visible || step().StepCheck[1].checked);
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
