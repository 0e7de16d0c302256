// Servo family: panel set-up and listing rows on the builder; frame and
// master-form bytes, rejected fields, conditions and what loading shows
// through the codec, by field id.
#include "BuilderFixture.h"
#include "CodecCases.h"

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

using codec::Field;

struct EncodeCase {
    int address, index;
    std::vector<Field> fields;
    Bytes bytes;
    int patch;
    const char* gotoLabel;
};

TEST(ServoCodec, EncodesEveryCommand) {
    const std::vector<Field> move = {{"position", "1000"}, {"velocity", "5000"}, {"acceleration", "100"}};
    auto with = [&move](std::vector<Field> extra) {
        extra.insert(extra.begin(), move.begin(), move.end());
        return extra;
    };
    auto moveBytes = [](uint8_t c, uint8_t sum) {
        return Bytes{0xAA, 1, 0xE4, c, 0xE8, 3, 0, 0, 0x88, 0x13, 0, 0, 0x64, 0, 0, 0, 0, sum, 1};
    };
    const EncodeCase cases[] = {
        {1, 0, move, moveBytes(0x9F, 0x6E), 0, ""},
        {1, 0, with({{"move-relative", "1"}}), moveBytes(0xDF, 0xAE), 0, ""},
        {1, 0, with({{"pwm-mode", "1"}, {"move-relative", "1"}}), moveBytes(0x8F, 0x5E), 0, ""},
        {1, 0, with({{"vel-mode", "1"}, {"reverse", "1"}}), moveBytes(0xFF, 0xCE), 0, ""},
        {1, 0, {{"position", "-2147483646"}, {"velocity", "0"}, {"acceleration", "2147483647"}, {"pwm", "255"}},
         {0xAA, 1, 0xE4, 0x9F, 2, 0, 0, 0x80, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x81, 1}, 0, ""},
        {2, 1, {{"enable-amplifier", "1"}, {"stop-mode", "stop-abruptly"}}, {0xAA, 2, 0x17, 0x25, 0x3E, 1}, 0, ""},
        {2, 1, {}, {0xAA, 2, 0x17, 0x22, 0x3B, 1}, 0, ""},
        {2, 1, {{"stop-mode", "stop-smoothly"}}, {0xAA, 2, 0x17, 0x28, 0x41, 1}, 0, ""},
        {2, 1, {{"stop-mode", "-1"}}, {0xAA, 2, 0x17, 0x20, 0x39, 1}, 0, ""},
        {1, 2, {}, {0xAA, 1, 0xE6, 0x64, 0, 0xE8, 3, 0, 0, 0, 0, 0xFF, 0, 0xD0, 7, 1, 0, 0x0D, 1}, 0, ""},
        {1, 2, {{"kp", "32767"}, {"kd", "32767"}, {"ki", "32767"}, {"il", "32767"}, {"ol", "255"}, {"cl", "255"},
                {"el", "16383"}, {"sr", "255"}, {"dc", "255"}},
         {0xAA, 1, 0xE6, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x3F, 0xFF, 0xFF, 0x19, 1}, 0, ""},
        {1, 3, {{"relative-to-home", "1"}}, {0xAA, 1, 0x10, 1, 0x12, 1}, 0, ""},
        {1, 3, {}, {0xAA, 1, 0x10, 0, 0x11, 1}, 0, ""},
        {1, 4, {{"limit-1", "1"}, {"limit-2", "1"}, {"index", "1"}, {"stop-on-home", "1"}, {"stop-mode", "stop-abruptly"}},
         {0xAA, 1, 0x19, 0x1B, 0x35, 1}, 0, ""},
        {1, 4, {{"pos-error", "1"}, {"cur-limit", "1"}, {"stop-mode", "stop-smoothly"}}, {0xAA, 1, 0x19, 0xC0, 0xDA, 1}, 0, ""},
        {1, 4, {{"stop-on-home", "1"}}, {0xAA, 1, 0x19, 0x04, 0x1E, 1}, 0, ""},
        {1, 4, {{"stop-on-home", "1"}, {"stop-mode", "stop-smoothly"}}, {0xAA, 1, 0x19, 0x20, 0x3A, 1}, 0, ""},
        {3, 5, {}, {0xAA, 3, 0x13, 0, 0x16, 1}, 0, ""},
        {1, 6, {}, {0xAA, 1, 0x0B, 0x0C, 1}, 0, ""},
        {1, 7, {{"->", "L1"}, {"condition", "limit2-lo"}}, {0xBB, 5, 3, 0xFF, 0xFF, 0, 0, 0x40}, 3, "L1"},
        {1, 8, {{"condition", "move-done"}, {"timeout", "1000"}, {"->", "T"}},
         {0xBB, 13, 10, 0xAA, 1, 0x13, 0, 0x14, 1, 0, 1, 1, 0xE8, 3, 0xFF, 0xFF}, 14, "T"},
        {3, 8, {{"condition", "homing-done"}, {"timeout", "60000"}},
         {0xBB, 13, 10, 0xAA, 3, 0x13, 0, 0x16, 1, 0, 0, 0x80, 0x60, 0xEA, 0xFF, 0xFF}, 14, ""},
    };
    for (const EncodeCase& c : cases) {
        const isa::CommandDesc& command = codec::Command(isa::Family::Servo, c.index);
        SCOPED_TRACE(testing::Message() << command.name << " " << (c.fields.empty() ? "" : c.fields.back().value));
        const isa::EncodeResult r = isa::encode(command, codec::Values(command, c.fields), uint8_t(c.address));
        const isa::Encoded* e = std::get_if<isa::Encoded>(&r);
        ASSERT_NE(e, nullptr) << codec::MessagesOf(r)[0];
        EXPECT_EQ(codec::BytesOf(r), c.bytes);
        EXPECT_EQ(e->patchOffset, c.patch);
        EXPECT_EQ(e->gotoLabel, c.gotoLabel);
        codec::ExpectRebuilds(command, *e, uint8_t(c.address));
    }
}

TEST(ServoCodec, EveryConditionEncodesAndDecodesBack) {
    const uint8_t expected[14][2] = {{1, 1}, {0, 1}, {8, 8}, {0, 8}, {4, 4}, {0, 4}, {0x10, 0x10},
                                     {0, 0x10}, {0x20, 0x20}, {0, 0x20}, {0x40, 0x40}, {0, 0x40}, {0x80, 0x80}, {0, 0x80}};
    const isa::CommandDesc& ifGoTo = codec::Command(isa::Family::Servo, 7);
    for (int i = 0; i < 14; ++i) {
        const isa::EncodeResult r = isa::encode(ifGoTo, codec::Values(ifGoTo, {{"condition", std::to_string(i)}}), 1);
        const Bytes b = codec::BytesOf(r);
        ASSERT_EQ(b.size(), 8u) << i;
        EXPECT_EQ(b[6], expected[i][0]) << i;
        EXPECT_EQ(b[7], expected[i][1]) << i;
        EXPECT_EQ(isa::decode(std::get<isa::Encoded>(r), kTypeServo).values.find("condition")->asInt(), i);
    }
}

struct RejectCase {
    int index;
    std::vector<Field> fields;
    std::vector<std::string> messages;
};

TEST(ServoCodec, RejectsBadFieldsWithTheFirstBadFieldsMessage) {
    const char* const choose = "Choose a condition.";
    const RejectCase cases[] = {
        {0, {}, {kInv}}, {0, {{"position", "-2147483647"}}, {kOut}}, {0, {{"position", "-2147483648"}}, {kOut}},
        {0, {{"position", "2147483648"}}, {kOut}}, {0, {{"position", "x"}, {"velocity", "-1"}}, {kInv}},
        {0, {{"position", "0"}, {"velocity", "-1"}}, {kOut}}, {0, {{"position", "0"}}, {kInv}},
        {0, {{"position", "0"}, {"velocity", "0"}, {"acceleration", "-1"}}, {kOut}},
        {0, {{"position", "0"}, {"velocity", "0"}, {"acceleration", "0"}, {"pwm", "256"}}, {kOut}},
        {0, {{"position", "0"}, {"velocity", "0"}, {"acceleration", "0"}, {"pwm", ""}}, {kInv}},
        {2, {{"kp", "x"}, {"dc", "999"}}, {kInv}},
        {7, {{"->", "L1"}}, {choose}}, {8, {}, {choose}},
        {8, {{"condition", "-1"}, {"timeout", "5"}}, {choose}},
        {8, {{"condition", "1"}, {"timeout", "60001"}}, {kOut}}, {8, {{"condition", "1"}, {"timeout", "-1"}}, {kOut}},
        {8, {{"condition", "1"}}, {kInv}},
    };
    for (const RejectCase& c : cases) {
        const isa::CommandDesc& command = codec::Command(isa::Family::Servo, c.index);
        SCOPED_TRACE(testing::Message() << command.name << " " << (c.fields.empty() ? "" : c.fields[0].value));
        EXPECT_EQ(codec::MessagesOf(isa::encode(command, codec::Values(command, c.fields), 1)), c.messages);
    }
}

TEST(ServoCodec, GainFieldRangesOnBothSides) {
    const char* const ids[9] = {"kp", "kd", "ki", "il", "ol", "cl", "el", "sr", "dc"};
    const int lo[9] = {0, 0, 0, 0, 0, 0, 0, 1, 0};
    const int hi[9] = {32767, 32767, 32767, 32767, 255, 255, 16383, 255, 255};
    const isa::CommandDesc& setGain = codec::Command(isa::Family::Servo, 2);
    for (int i = 0; i < 9; ++i) {
        for (const auto& [text, message] : std::vector<std::pair<std::string, const char*>>{
                 {std::to_string(lo[i] - 1), kOut}, {std::to_string(hi[i] + 1), kOut}, {"", kInv}, {"?", kInv}})
            EXPECT_EQ(codec::MessagesOf(isa::encode(setGain, codec::Values(setGain, {{ids[i], text}}), 1)),
                      std::vector<std::string>{message})
                << ids[i] << " " << text;
        for (int v : {lo[i], hi[i]})
            EXPECT_EQ(codec::BytesOf(isa::encode(setGain, codec::Values(setGain, {{ids[i], std::to_string(v)}}), 1)).size(),
                      19u)
                << ids[i] << " " << v;
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

// Decoding beyond what the encoder produces (every encoded case is also
// decoded and built again above).
TEST(ServoCodec, DecodingGivesWhatThePanelShows) {
    const auto move = [](uint8_t control, int32_t position, int32_t velocity, uint8_t pwm) {
        const ProgramLine l = MoveLine(control, position, velocity, pwm);
        return codec::Stored(l.commandCode, Bytes(l.bytes, l.bytes + l.length));
    };
    const std::pair<isa::Encoded, std::string> rows[] = {
        {move(0xDF, -2147483646, 7, 9), "position=-2147483646 velocity=7 acceleration=0 pwm=9 move-relative"},
        {move(0xCF, 0, 0, 0), "position=0 velocity=0 acceleration=0 pwm=0 pwm-mode reverse"},
        {move(0xFF, 0, 0, 0), "position=0 velocity=0 acceleration=0 pwm=0 vel-mode reverse"},
        {codec::Stored(0x17, {0xAA, 2, 0x17, 0x2E, 0, 1}), "stop-mode=motor-off"},
        {codec::Stored(0x17, {0xAA, 2, 0x17, 0x2D, 0, 1}), "enable-amplifier stop-mode=stop-abruptly"},
        {codec::Stored(0x17, {0xAA, 2, 0x17, 0x20, 0, 1}), ""},
        {codec::Stored(0x10, {0xAA, 1, 0x10, 3, 0x14, 1}), ""},
        {codec::Stored(0x10, {0xAA, 1, 0x10, 1, 0x12, 1}), "relative-to-home"},
        {codec::Stored(0x19, {0xAA, 1, 0x19, 0x1B, 0x35, 1}), "limit-1 limit-2 index stop-on-home stop-mode=stop-abruptly"},
        {codec::Stored(0x19, {0xAA, 1, 0x19, 0x3C, 0, 1}), "index stop-on-home stop-mode=motor-off"},
        {codec::Stored(0x19, {0xAA, 1, 0x19, 0xC3, 0, 1}), "limit-1 limit-2 pos-error cur-limit"},
        {codec::Stored(3, {0xBB, 5, 3, 0xFF, 0xFF, 0, 0, 0x40}, "L1"), "->=L1 condition=limit2-lo"},
        {codec::Stored(3, {0xBB, 5, 3, 0xFF, 0xFF, 0, 3, 3}, "L1"), "->=L1"},
        {codec::Stored(10, {0xBB, 13, 10, 0xAA, 1, 0x13, 0, 0x14, 1, 0, 1, 1, 0x60, 0xEA, 0xFF, 0xFF}, "T"),
         "timeout=60000 ->=T condition=move-done"},
        {codec::Stored(0x55, {0xAA, 1, 0x55}), "(nothing)"},
    };
    for (const auto& [stored, text] : rows) EXPECT_EQ(codec::Shown(isa::decode(stored, kTypeServo)), text);
}

}  // namespace
