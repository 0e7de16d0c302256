// Servo family: panel set-up, frame and master-form bytes, rejected fields,
// conditions, listing rows, loading.
#include "BuilderFixture.h"

namespace {

const std::vector<std::string> kServoCtls = {"ServoRG", "ServoIfCBox", "ServoLabel", "ServoEdit", "ServoCheck"};
const char* const kOut = "Value out of range";
const char* const kInv = "Invalid numeric value";
const std::string S1 = "          1 ";  // unlabelled line of module 1

class Servo : public BuilderTest {};

ProgramLine MoveLine(uint8_t control, int32_t position, int32_t velocity, uint8_t pwm) {
    Bytes b(19, 0);
    b[0] = 0xAA, b[1] = 1, b[2] = 0xE4, b[3] = control, b[16] = pwm, b[18] = 1;
    PutU32(&b[4], uint32_t(position));
    PutU32(&b[8], uint32_t(velocity));
    b[17] = FrameChecksum(b.data(), 14);
    return MakeLine(1, 0xE4, b);
}

TEST_F(Servo, PanelSetUpShowsOnlyTheCommandsControls) {
    const uint8_t codes[9] = {0xE4, 0x17, 0xE6, 0x10, 0x19, 0x13, 0x0B, 3, 10};
    const std::string expected[9] = {
        "ServoLabel1[Position] ServoLabel2[Velocity] ServoLabel3[Acceleration] ServoLabel7[PWM] "
        "ServoLabel10[Select operating modes:] ServoEdit1= ServoEdit2= ServoEdit3= ServoEdit7=0 "
        "ServoCheck1[PWM (default=Servo Mode)] ServoCheck2[Vel. (default=Pos. Mode)] "
        "ServoCheck3[Reverse (PWM, Vel. Mode)] ServoCheck7[Move Relative]",
        "ServoRG#0 ServoCheck7[Enable Amplifier]",
        "ServoLabel1[Kp] ServoLabel2[Kd] ServoLabel3[Ki] ServoLabel4[IL] ServoLabel5[OL] ServoLabel6[CL] "
        "ServoLabel7[EL] ServoLabel8[SR] ServoLabel9[DC] ServoEdit1=100 ServoEdit2=1000 ServoEdit3=0 ServoEdit4=0 "
        "ServoEdit5=255 ServoEdit6=0 ServoEdit7=2000 ServoEdit8=1 ServoEdit9=0",
        "ServoCheck7[Relative to Home]",
        "ServoRG#0 ServoLabel10[Home on any of these conditions:] ServoCheck1[Limit 1] ServoCheck2[Limit 2] "
        "ServoCheck3[Index] ServoCheck4[Pos. Error] ServoCheck5[Cur. Limit] ServoCheck7[Stop on Home]",
        "", "",
        "ServoIfCBox#-1 ServoLabel1[GoTo Label] ServoLabel10[Select a GoTo Condition:] ServoEdit1=",
        "ServoIfCBox#-1 ServoLabel1[Timeout (.01 sec)] ServoLabel2[GoTo on Timeout] "
        "ServoLabel10[Select a WaitFor Condition:] ServoEdit1= ServoEdit2="};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(kServoCommands[i]);
        s->online = i % 2 == 1;
        DirtyPanels();
        s->form.master.MasterGroup.visible = true;
        s->form.LabelEdit.text = "OLD";
        ChooseServo(2, i);
        EXPECT_EQ(Visible(kServoCtls), expected[i]);
        ExpectChosen(s->form.servo.ServoGroup, s->form.master.MasterGroup, i < 7 ? "Servo" : "Master",
                     kServoCommands[i], i < 7 ? 0xAA : 0xBB, codes[i]);
        for (int k : {1, 2, 3, 7}) EXPECT_FALSE(s->form.servo.ServoCheck[k].checked) << k;
    }
}

struct EncodeCase {
    int address, index;
    std::vector<Set> settings;
    Bytes bytes;
    int patch;
    const char* gotoLabel;
};

TEST_F(Servo, EncodesEveryCommand) {
    const std::vector<Set> move = {{"ServoEdit1", "1000"}, {"ServoEdit2", "5000"}, {"ServoEdit3", "100"}};
    auto with = [&move](std::vector<Set> extra) {
        extra.insert(extra.begin(), move.begin(), move.end());
        return extra;
    };
    auto moveBytes = [](uint8_t c, uint8_t sum) {
        return Bytes{0xAA, 1, 0xE4, c, 0xE8, 3, 0, 0, 0x88, 0x13, 0, 0, 0x64, 0, 0, 0, 0, sum, 1};
    };
    const EncodeCase cases[] = {
        {1, 0, move, moveBytes(0x9F, 0x6E), 0, ""},
        {1, 0, with({{"ServoCheck7", "1"}}), moveBytes(0xDF, 0xAE), 0, ""},
        {1, 0, with({{"ServoCheck1", "1"}, {"ServoCheck7", "1"}}), moveBytes(0x8F, 0x5E), 0, ""},
        {1, 0, with({{"ServoCheck2", "1"}, {"ServoCheck3", "1"}}), moveBytes(0xFF, 0xCE), 0, ""},
        {1, 0, {{"ServoEdit1", "-2147483646"}, {"ServoEdit2", "0"}, {"ServoEdit3", "2147483647"}, {"ServoEdit7", "255"}},
         {0xAA, 1, 0xE4, 0x9F, 2, 0, 0, 0x80, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x81, 1}, 0, ""},
        {2, 1, {{"ServoCheck7", "1"}, {"ServoRG", "1"}}, {0xAA, 2, 0x17, 0x25, 0x3E, 1}, 0, ""},
        {2, 1, {}, {0xAA, 2, 0x17, 0x22, 0x3B, 1}, 0, ""},
        {2, 1, {{"ServoRG", "2"}}, {0xAA, 2, 0x17, 0x28, 0x41, 1}, 0, ""},
        {2, 1, {{"ServoRG", "-1"}}, {0xAA, 2, 0x17, 0x20, 0x39, 1}, 0, ""},
        {1, 2, {}, {0xAA, 1, 0xE6, 0x64, 0, 0xE8, 3, 0, 0, 0, 0, 0xFF, 0, 0xD0, 7, 1, 0, 0x0D, 1}, 0, ""},
        {1, 2, {{"ServoEdit1", "32767"}, {"ServoEdit2", "32767"}, {"ServoEdit3", "32767"}, {"ServoEdit4", "32767"},
                {"ServoEdit5", "255"}, {"ServoEdit6", "255"}, {"ServoEdit7", "16383"}, {"ServoEdit8", "255"}, {"ServoEdit9", "255"}},
         {0xAA, 1, 0xE6, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x3F, 0xFF, 0xFF, 0x19, 1}, 0, ""},
        {1, 3, {{"ServoCheck7", "1"}}, {0xAA, 1, 0x10, 1, 0x12, 1}, 0, ""},
        {1, 3, {}, {0xAA, 1, 0x10, 0, 0x11, 1}, 0, ""},
        {1, 4, {{"ServoCheck1", "1"}, {"ServoCheck2", "1"}, {"ServoCheck3", "1"}, {"ServoCheck7", "1"}, {"ServoRG", "1"}},
         {0xAA, 1, 0x19, 0x1B, 0x35, 1}, 0, ""},
        {1, 4, {{"ServoCheck4", "1"}, {"ServoCheck5", "1"}, {"ServoRG", "2"}}, {0xAA, 1, 0x19, 0xC0, 0xDA, 1}, 0, ""},
        {1, 4, {{"ServoCheck7", "1"}}, {0xAA, 1, 0x19, 0x04, 0x1E, 1}, 0, ""},
        {1, 4, {{"ServoCheck7", "1"}, {"ServoRG", "2"}}, {0xAA, 1, 0x19, 0x20, 0x3A, 1}, 0, ""},
        {3, 5, {}, {0xAA, 3, 0x13, 0, 0x16, 1}, 0, ""},
        {1, 6, {{"LabelEdit", "CLEAR"}}, {0xAA, 1, 0x0B, 0x0C, 1}, 0, ""},
        {1, 7, {{"ServoEdit1", "L1"}, {"ServoIfCBox", "11"}}, {0xBB, 5, 3, 0xFF, 0xFF, 0, 0, 0x40}, 3, "L1"},
        {1, 8, {{"ServoIfCBox", "0"}, {"ServoEdit1", "1000"}, {"ServoEdit2", "T"}},
         {0xBB, 13, 10, 0xAA, 1, 0x13, 0, 0x14, 1, 0, 1, 1, 0xE8, 3, 0xFF, 0xFF}, 14, "T"},
        {3, 8, {{"ServoIfCBox", "13"}, {"ServoEdit1", "60000"}},
         {0xBB, 13, 10, 0xAA, 3, 0x13, 0, 0x16, 1, 0, 0, 0x80, 0x60, 0xEA, 0xFF, 0xFF}, 14, ""},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << kServoCommands[c.index] << " " << (c.settings.empty() ? "" : c.settings.back().value));
        DirtyPanels();
        s->builderLine.setGotoLabel("STALE");
        ChooseServo(c.address, c.index);
        Apply(c.settings);
        ASSERT_EQ(BuildInstruction(*s), 0);
        EXPECT_EQ(Built(), c.bytes);
        EXPECT_EQ(s->builderLine.patchOffset, c.patch);
        EXPECT_EQ(s->builderLine.gotoLabelText(), c.gotoLabel);
        EXPECT_TRUE(ui.messages.empty());
        ExpectRebuilds();
    }
}

TEST_F(Servo, EveryConditionEncodesAndLoadsBack) {
    const uint8_t expected[14][2] = {{1, 1}, {0, 1}, {8, 8}, {0, 8}, {4, 4}, {0, 4}, {0x10, 0x10},
                                     {0, 0x10}, {0x20, 0x20}, {0, 0x20}, {0x40, 0x40}, {0, 0x40}, {0x80, 0x80}, {0, 0x80}};
    for (int i = 0; i < 14; ++i) {
        ChooseServo(1, 7);
        Apply({{"ServoIfCBox", std::to_string(i)}});
        ASSERT_EQ(BuildInstruction(*s), 0);
        EXPECT_EQ(s->builderLine.bytes[6], expected[i][0]) << i;
        EXPECT_EQ(s->builderLine.bytes[7], expected[i][1]) << i;
        const ProgramLine line = s->builderLine;
        LoadOverDirtyPanels(line);
        EXPECT_EQ(s->form.servo.ServoIfCBox.index, i);
        EXPECT_EQ(s->form.servo.ServoIfCBox.text, s->form.servo.ServoIfCBox.items[size_t(i)]);
    }
}

struct RejectCase {
    int index;
    std::vector<Set> settings;
    std::vector<std::string> messages;
};

TEST_F(Servo, RejectsBadFieldsWithTheFirstBadFieldsMessage) {
    const char* const choose = "Choose a condition.";
    const RejectCase cases[] = {
        {0, {}, {kInv}}, {0, {{"ServoEdit1", "-2147483647"}}, {kOut}}, {0, {{"ServoEdit1", "-2147483648"}}, {kOut}},
        {0, {{"ServoEdit1", "2147483648"}}, {kOut}}, {0, {{"ServoEdit1", "x"}, {"ServoEdit2", "-1"}}, {kInv}},
        {0, {{"ServoEdit1", "0"}, {"ServoEdit2", "-1"}}, {kOut}}, {0, {{"ServoEdit1", "0"}}, {kInv}},
        {0, {{"ServoEdit1", "0"}, {"ServoEdit2", "0"}, {"ServoEdit3", "-1"}}, {kOut}},
        {0, {{"ServoEdit1", "0"}, {"ServoEdit2", "0"}, {"ServoEdit3", "0"}, {"ServoEdit7", "256"}}, {kOut}},
        {0, {{"ServoEdit1", "0"}, {"ServoEdit2", "0"}, {"ServoEdit3", "0"}, {"ServoEdit7", ""}}, {kInv}},
        {2, {{"ServoEdit1", "x"}, {"ServoEdit9", "999"}}, {kInv}},
        {7, {{"ServoEdit1", "L1"}}, {choose}}, {8, {}, {choose}},
        {8, {{"ServoIfCBox", "-1"}, {"ServoEdit1", "5"}}, {choose}},
        {8, {{"ServoIfCBox", "1"}, {"ServoEdit1", "60001"}}, {kOut}}, {8, {{"ServoIfCBox", "1"}, {"ServoEdit1", "-1"}}, {kOut}},
        {8, {{"ServoIfCBox", "1"}}, {kInv}},
    };
    for (const RejectCase& c : cases) {
        SCOPED_TRACE(testing::Message() << kServoCommands[c.index] << " " << (c.settings.empty() ? "" : c.settings[0].value));
        ui.messages.clear();
        ChooseServo(1, c.index);
        s->form.servo.ServoIfCBox.text = "Move Done";  // typed text never counts
        Apply(c.settings);
        EXPECT_EQ(BuildInstruction(*s), -1);
        EXPECT_EQ(ui.messages, c.messages);
    }
}

TEST_F(Servo, GainFieldRangesOnBothSides) {
    const int lo[9] = {0, 0, 0, 0, 0, 0, 0, 1, 0};
    const int hi[9] = {32767, 32767, 32767, 32767, 255, 255, 16383, 255, 255};
    for (int i = 0; i < 9; ++i) {
        const std::string edit = "ServoEdit" + std::to_string(i + 1);
        for (const auto& [text, message] : std::vector<std::pair<std::string, const char*>>{
                 {std::to_string(lo[i] - 1), kOut}, {std::to_string(hi[i] + 1), kOut}, {"", kInv}, {"?", kInv}}) {
            ui.messages.clear();
            ChooseServo(1, 2);
            Apply({{edit.c_str(), text}});
            EXPECT_EQ(BuildInstruction(*s), -1) << edit << " " << text;
            EXPECT_EQ(ui.messages, std::vector<std::string>{message}) << edit << " " << text;
        }
        ChooseServo(1, 2);
        Apply({{edit.c_str(), std::to_string(lo[i])}});
        EXPECT_EQ(BuildInstruction(*s), 0) << edit;
    }
}

TEST_F(Servo, ListingRows) {
    const std::pair<ProgramLine, std::string> rows[] = {
        {MoveLine(0xDF, -5, 5000, 0), S1 + "Move - Pos. -5"},
        {MoveLine(0x8F, 1000, 5000, 0), S1 + "Move - PWM 0"}, {MoveLine(0xCF, 0, 0, 200), S1 + "Move - PWM -200"},
        {MoveLine(0xFF, 0, 5000, 0), S1 + "Move - Vel. -5000"},
        {MakeLine(2, 0x17, {0xAA, 2, 0x17, 0x25, 0x3E, 1}), "          2 Stop Abruptly"},
        {MakeLine(1, 0x17, {0xAA, 1, 0x17, 0x23, 0, 1}), S1 + "Stop - Motor Off"},
        {MakeLine(1, 0x17, {0xAA, 1, 0x17, 0x28, 0, 1}), S1 + "Stop Smoothly"},
        {MakeLine(1, 0x17, {0xAA, 1, 0x17, 0x20, 0, 1}), S1 + "Stop "},
        {MakeLine(1, 0x17, {0xAA, 1, 0x17, 0x2E, 0, 1}), S1 + "Stop - Motor OffAbruptlySmoothly"},
        {MakeLine(1, 0x10, {0xAA, 1, 0x10, 1, 0x12, 1}), S1 + "ResetPosition rel. Home"},
        {MakeLine(1, 0x10, {0xAA, 1, 0x10, 0, 0x11, 1}, "", "ORIGIN"), "ORIGIN    1 ResetPosition"},
        {MakeLine(3, 0x13, {0xAA, 3, 0x13, 0, 0x16, 1}), "          3 GetStatus"},
        {MakeLine(1, 0x0B, {0xAA, 1, 0x0B, 0x0C, 1}), S1 + "ClearStatBits"},
        {MakeLine(1, 0x19, {0xAA, 1, 0x19, 0x1B, 0x35, 1}), S1 + "StartHoming"},
        {MakeLine(1, 0xE6, {0xAA, 1, 0xE6}), S1 + "SetGain"}, {MakeLine(1, 0x55, {0xAA, 1, 0x55}), S1},
        {MakeLine(1, 3, {0xBB, 5, 3, 0xFF, 0xFF, 0, 0, 0x40}, "L1"), S1 + "If-GoTo L1"},
        {MakeLine(1, 10, {0xBB, 13, 10, 0xAA, 1, 0x13, 0, 0x14, 1, 0, 1, 1, 0xE8, 3, 0xFF, 0xFF}, "T"), S1 + "WaitFor [timeout->T]"},
    };
    for (const auto& [line, text] : rows) EXPECT_EQ(FormatListingText(*s, line), text);
}

// Loading beyond what the encoder produces (every encoded case is also loaded
// back and rebuilt above).
TEST_F(Servo, LoadingFillsThePanel) {
    const std::vector<std::string> ctls = {"ServoRG", "ServoIfCBox", "ServoEdit", "ServoCheck"};
    const std::pair<ProgramLine, std::string> rows[] = {
        {MoveLine(0xDF, -2147483646, 7, 9), "ServoEdit1=-2147483646 ServoEdit2=7 ServoEdit3=0 ServoEdit7=9 ServoCheck7"},
        {MoveLine(0xCF, 0, 0, 0), "ServoEdit1=0 ServoEdit2=0 ServoEdit3=0 ServoEdit7=0 ServoCheck1 ServoCheck3"},
        {MoveLine(0xFF, 0, 0, 0), "ServoEdit1=0 ServoEdit2=0 ServoEdit3=0 ServoEdit7=0 ServoCheck2 ServoCheck3"},
        {MakeLine(2, 0x17, {0xAA, 2, 0x17, 0x2E, 0, 1}), "ServoRG#0"},
        {MakeLine(2, 0x17, {0xAA, 2, 0x17, 0x2C, 0, 1}), "ServoRG#1"},
        {MakeLine(1, 0x10, {0xAA, 1, 0x10, 3, 0x14, 1}), ""},
        {MakeLine(1, 0x19, {0xAA, 1, 0x19, 0x1B, 0x35, 1}), "ServoRG#1 ServoCheck1 ServoCheck2 ServoCheck3 ServoCheck7"},
        {MakeLine(1, 0x19, {0xAA, 1, 0x19, 0x3C, 0, 1}), "ServoRG#0 ServoCheck3 ServoCheck7"},
        {MakeLine(1, 0x19, {0xAA, 1, 0x19, 0xC3, 0, 1}), "ServoRG#-1 ServoCheck1 ServoCheck2 ServoCheck4 ServoCheck5"},
        {MakeLine(1, 3, {0xBB, 5, 3, 0xFF, 0xFF, 0, 0, 0x40}, "L1"), "ServoIfCBox#11 ServoEdit1=L1"},
        {MakeLine(1, 3, {0xBB, 5, 3, 0xFF, 0xFF, 0, 3, 3}, "L1"), "ServoIfCBox#-1 ServoEdit1=L1"},
        {MakeLine(1, 10, {0xBB, 13, 10, 0xAA, 1, 0x13, 0, 0x14, 1, 0, 1, 1, 0x60, 0xEA, 0xFF, 0xFF}, "T"),
         "ServoIfCBox#0 ServoEdit1=60000 ServoEdit2=T"},
    };
    for (const auto& [line, text] : rows) {
        LoadOverDirtyPanels(line);
        EXPECT_EQ(Visible(ctls, false), text);
    }
}

}  // namespace
