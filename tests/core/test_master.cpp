// Master family: panel set-up, listing rows and loading on the builder; bytes,
// rejected fields and what loading shows through the codec, by field id.
#include "BuilderFixture.h"
#include "CodecCases.h"

namespace {

const std::vector<std::string> kMasterCtls = {"RadioGroup", "MasterLabel", "MasterEdit", "MasterCheck"};
const char* const kOut = "Value out of range";
const char* const kInv = "Invalid numeric value";
const char* const kBaud = "Baud rate must equal 1200, 2400, 9600 or 19200";
const std::string P = "          0 ";  // unlabelled master line: label and address columns

class Master : public BuilderTest {};

TEST_F(Master, PanelSetUpShowsOnlyTheCommandsControls) {
    const uint8_t codes[17] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 19};
    const std::string edits38 = " MasterEdit3= MasterEdit4= MasterEdit5= MasterEdit6= MasterEdit7= MasterEdit8=";
    const std::string expected[17] = {
        "MasterLabel1[GoTo Label] MasterEdit1=", "MasterLabel1[Call Label] MasterEdit1=", "",
        "RadioGroup2#-1 MasterLabel1[GoTo Label] MasterEdit1=" + edits38, "",
        "MasterLabel1[Print Chars] MasterEdit1= MasterCheck1[Add Carriage return]* MasterCheck2[Add Line feed]*",
        "MasterLabel1[Timeout (.01 sec)] MasterEdit1=", "", "MasterLabel1[Subroutine Label] MasterEdit1=",
        "MasterLabel1[Time (.01 sec)] MasterEdit1=",
        "RadioGroup1#-1 MasterLabel1[Timeout (.01 sec)] MasterLabel2[GoTo on Timeout] MasterEdit1= MasterEdit2= "
        "MasterEdit3=",
        "", "MasterLabel1[Counter (1 - 4)] MasterLabel2[Initial Value] MasterEdit1= MasterEdit2=",
        "MasterLabel1[Counter (1 - 4)] MasterLabel2[LoopTo if not 0] MasterEdit1= MasterEdit2=", "", "",
        "MasterLabel1[Baud Rate] MasterEdit1=19200"};
    for (int i = 0; i < 17; ++i) {
        SCOPED_TRACE(kMasterCommands[i]);
        s->online = i % 2 == 0;
        DirtyPanels();
        s->form.servo.ServoGroup.visible = true;
        s->form.LabelEdit.text = "OLD";
        ChooseMaster(i);
        EXPECT_EQ(Visible(kMasterCtls), expected[i]);
        ExpectChosen(s->form.master.MasterGroup, s->form.servo.ServoGroup, "Master", kMasterCommands[i], 0xBB,
                     codes[i]);
    }
}

using codec::Field;

struct EncodeCase {
    int index;
    std::vector<Field> fields;
    Bytes bytes;
    int patch;
    const char* gotoLabel;
};

TEST(MasterCodec, EncodesEveryCommand) {
    const EncodeCase cases[] = {
        {0, {{"->", "LOOP"}}, {0xBB, 2, 0, 0xFF, 0xFF}, 3, "LOOP"},
        {1, {{"->", "SUBROUTINE_NAME_TOO_LONG"}}, {0xBB, 2, 1, 0xFF, 0xFF}, 3, "SUBROUTINE_NAME"},
        {2, {}, {0xBB, 0, 2}, 0, ""}, {4, {}, {0xBB, 0, 4}, 0, ""}, {7, {}, {0xBB, 0, 7}, 0, ""},
        {11, {}, {0xBB, 0, 11}, 0, ""}, {14, {}, {0xBB, 0, 14}, 0, ""}, {15, {}, {0xBB, 0, 15}, 0, ""},
        {3, {{"->", "L1"}, {"condition", "key"}, {"key", "AB"}}, {0xBB, 5, 3, 0xFF, 0xFF, 3, 'A', 0xFF}, 3, "L1"},
        {3, {{"->", "L1"}, {"condition", "key"}}, {0xBB, 5, 3, 0xFF, 0xFF, 3, 0, 0xFF}, 3, "L1"},
        {3, {{"condition", "any-key"}}, {0xBB, 5, 3, 0xFF, 0xFF, 3, 0, 0x80}, 3, ""},
        {3, {{"condition", "timeout"}}, {0xBB, 5, 3, 0xFF, 0xFF, 2, 0x10, 0x10}, 3, ""},
        {3, {{"condition", "counter-1"}, {"counter-1", "0"}}, {0xBB, 5, 3, 0xFF, 0xFF, 24, 0, 0xFF}, 3, ""},
        {3, {{"condition", "counter-2"}, {"counter-2", "7"}}, {0xBB, 5, 3, 0xFF, 0xFF, 26, 7, 0xFF}, 3, ""},
        {3, {{"condition", "counter-4"}, {"counter-4", "255"}}, {0xBB, 5, 3, 0xFF, 0xFF, 30, 255, 0xFF}, 3, ""},
        {3, {{"condition", "mod"}, {"mod", "31"}, {"counter-1", "x"}}, {0xBB, 5, 3, 0xFF, 0xFF, 0, 31, 0xFF}, 3, ""},
        {5, {{"print-chars", "Hi"}, {"add-carriage-return", "1"}, {"add-line-feed", "1"}}, {0xBB, 4, 5, 'H', 'i', 13, 10}, 0, ""},
        {5, {}, {0xBB, 0, 5}, 0, ""},
        {5, {{"print-chars", "ABCDEFGHIJKLMNOPQRST"}, {"add-carriage-return", "1"}, {"add-line-feed", "1"}},
         {0xBB, 17, 5, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 13, 10}, 0, ""},
        {5, {{"print-chars", "\xE9t\xE9"}, {"add-line-feed", "1"}}, {0xBB, 4, 5, 0xE9, 't', 0xE9, 10}, 0, ""},
        {6, {{"timeout", "60000"}}, {0xBB, 2, 6, 0x60, 0xEA}, 0, ""},
        {8, {{"->", "SUB"}}, {0xBB, 2, 8, 0xFF, 0xFF}, 3, "SUB"},
        {9, {{"time", "0"}}, {0xBB, 2, 9, 0, 0}, 0, ""},
        {10, {{"condition", "any-key"}, {"timeout", "500"}, {"->", "T1"}},
         {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 0, 0x80, 0xF4, 0x01, 0xFF, 0xFF}, 14, "T1"},
        {10, {{"timeout", "0"}, {"key", "q"}}, {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 0, 0x80, 0, 0, 0xFF, 0xFF}, 14, ""},
        {10, {{"condition", "key"}, {"timeout", "60000"}, {"key", "q"}},
         {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 'q', 0xFF, 0x60, 0xEA, 0xFF, 0xFF}, 14, ""},
        {12, {{"counter", "3"}, {"initial-value", "100"}}, {0xBB, 3, 12, 100, 0, 4}, 0, ""},
        {12, {{"counter", "1"}, {"initial-value", "60000"}}, {0xBB, 3, 12, 0x60, 0xEA, 0}, 0, ""},
        {13, {{"counter", "4"}, {"->", "LOOP"}}, {0xBB, 3, 13, 0xFF, 0xFF, 6}, 3, "LOOP"},
        {16, {}, {0xBB, 1, 19, 0x0F}, 0, ""}, {16, {{"baud-rate", "9600"}}, {0xBB, 1, 19, 0x20}, 0, ""},
        {16, {{"baud-rate", "2400"}}, {0xBB, 1, 19, 0x81}, 0, ""}, {16, {{"baud-rate", "1200"}}, {0xBB, 1, 19, 0xFF}, 0, ""},
    };
    for (const EncodeCase& c : cases) {
        const isa::CommandDesc& command = codec::Command(isa::Family::Master, c.index);
        SCOPED_TRACE(testing::Message() << command.name << " " << (c.fields.empty() ? "" : c.fields[0].value));
        const isa::EncodeResult r = isa::encode(command, codec::Values(command, c.fields), 0);
        const isa::Encoded* e = std::get_if<isa::Encoded>(&r);
        ASSERT_NE(e, nullptr) << codec::MessagesOf(r)[0];
        EXPECT_EQ(codec::BytesOf(r), c.bytes);
        EXPECT_EQ(e->patchOffset, c.patch);
        EXPECT_EQ(e->gotoLabel, c.gotoLabel);
        codec::ExpectRebuilds(command, *e, 0);
    }
}

struct RejectCase {
    int index;
    std::vector<Field> fields;
    std::vector<std::string> messages;
};

TEST(MasterCodec, RejectsBadFieldsWithTheFirstBadFieldsMessage) {
    const RejectCase cases[] = {
        {6, {{"timeout", "60001"}}, {kOut}}, {6, {{"timeout", "-1"}}, {kOut}},
        {6, {{"timeout", ""}}, {kInv}}, {9, {{"time", "sec"}}, {kInv}}, {9, {{"time", "60001"}}, {kOut}},
        {10, {{"timeout", "60001"}}, {kOut}}, {10, {{"timeout", ""}}, {kInv}},
        {12, {{"initial-value", "x"}, {"counter", "5"}}, {kInv}}, {12, {{"initial-value", "60001"}, {"counter", "5"}}, {kOut}},
        {12, {{"initial-value", "1"}, {"counter", "0"}}, {kOut}}, {12, {{"initial-value", "1"}}, {kInv}},
        {13, {{"counter", "0"}}, {kOut}}, {13, {{"counter", "5"}}, {kOut}}, {13, {{"counter", ""}}, {kInv}},
        {3, {{"condition", "counter-1"}, {"counter-1", "256"}}, {kOut}},
        {3, {{"condition", "counter-4"}, {"counter-4", "-1"}}, {kOut}},
        {3, {{"condition", "mod"}}, {kInv}}, {3, {{"->", "L"}}, {"Choose a jump condition."}},
        {16, {{"baud-rate", "4800"}}, {kBaud}}, {16, {{"baud-rate", "38400"}}, {kOut, kBaud}},
        {16, {{"baud-rate", "1199"}}, {kOut, kBaud}}, {16, {{"baud-rate", "baud"}}, {kInv, kBaud}},
    };
    for (const RejectCase& c : cases) {
        const isa::CommandDesc& command = codec::Command(isa::Family::Master, c.index);
        SCOPED_TRACE(testing::Message() << command.name << " " << c.fields[0].value);
        EXPECT_EQ(codec::MessagesOf(isa::encode(command, codec::Values(command, c.fields), 0)), c.messages);
    }
}

TEST_F(Master, ListingRows) {
    Bytes print = {0xBB, 200, 5};  // a data count past the record: only the stored bytes are shown
    for (int i = 0; i < 21; ++i) print.push_back(uint8_t('a' + i));
    const std::pair<ProgramLine, std::string> rows[] = {
        {MakeLine(0, 0, {0xBB, 2, 0, 0xFF, 0xFF}, "DONE", "LOOP"), "LOOP      0 GoTo DONE"},
        {MakeLine(0, 1, {0xBB, 2, 1, 0xFF, 0xFF}, "SUB"), P + "Call SUB"},
        {MakeLine(0, 2, {0xBB, 0, 2}, "", "ABCDEFGHIJ"), "ABCDEFGH  0 Return"},
        {MakeLine(0, 3, {0xBB, 5, 3, 0xFF, 0xFF, 2, 0x10, 0x10}, "L1"), P + "If-GoTo L1"},
        {MakeLine(0, 4, {0xBB, 0, 4}), P + "StopProgram"},
        {MakeLine(0, 5, {0xBB, 4, 5, 'H', 'i', 13, 10}), P + "Print 'Hi\r\n'"},
        {MakeLine(0, 5, print), P + "Print 'abcdefghijklmnopqrstu'"},
        {MakeLine(0, 6, {0xBB, 2, 6, 0x60, 0xEA}), P + "SetTimer 60000"},
        {MakeLine(0, 7, {0xBB, 0, 7}), P + "GetStatus"},
        {MakeLine(0, 8, {0xBB, 2, 8, 0xFF, 0xFF}, "MON"), P + "MonitorSub MON"},
        {MakeLine(0, 9, {0xBB, 2, 9, 0xFF, 0xFF}), P + "Delay 65535"},
        {MakeLine(0, 10, {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 0, 0x80, 0xF4, 1, 0xFF, 0xFF}, "T1"), P + "WaitFor [timeout->T1]"},
        {MakeLine(0, 11, {0xBB, 0, 11}), P + "ClearKey"},
        {MakeLine(0, 12, {0xBB, 3, 12, 100, 0, 4}), P + "SetCounter 3 = 100"},
        {MakeLine(0, 13, {0xBB, 3, 13, 0xFF, 0xFF, 6}, "LOOP"), P + "CountDown 4, LoopTo LOOP"},
        {MakeLine(0, 14, {0xBB, 0, 14}), P + "TavoInit"}, {MakeLine(0, 15, {0xBB, 0, 15}), P + "Reset"},
        {MakeLine(2, 18, {0xBB, 2, 18, 1, 0}), "          2 SetOutputs"},
        {MakeLine(0, 19, {0xBB, 1, 19, 0x0F}), P + "ChangeBaud 19200"},
        {MakeLine(0, 19, {0xBB, 1, 19, 0x20}), P + "ChangeBaud 9600"},
        {MakeLine(0, 19, {0xBB, 1, 19, 0x81}), P + "ChangeBaud 2400"},
        {MakeLine(0, 19, {0xBB, 1, 19, 0xFF}), P + "ChangeBaud 1200"},
        {MakeLine(0, 19, {0xBB, 1, 19, 0x10}), P}, {MakeLine(0, 16, {0xBB, 0, 16}), P},
        {MakeLine(0, 17, {0xBB, 0, 17}), P}, {MakeLine(0, 20, {0xBB, 0, 20}), P},
    };
    for (const auto& [line, text] : rows) EXPECT_EQ(FormatListingText(*s, line), text);
}

// Loading beyond what the encoder produces (every encoded case is also
// decoded and built again above).
TEST(MasterCodec, DecodingGivesWhatThePanelShows) {
    const std::pair<isa::Encoded, std::string> rows[] = {
        {codec::Stored(5, {0xBB, 4, 5, 'H', 'i', 13, 10}), "print-chars=Hi add-carriage-return add-line-feed"},
        {codec::Stored(5, {0xBB, 3, 5, 'A', 10, 'B'}), "print-chars=A add-line-feed"},
        {codec::Stored(6, {0xBB, 2, 6, 0x60, 0xEA}), "timeout=60000"},
        {codec::Stored(19, {0xBB, 1, 19, 0x55}), "baud-rate=19200"},
        {codec::Stored(10, {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 'z', 0xFF, 0xF4, 1, 0xFF, 0xFF}, "T1"),
         "timeout=500 ->=T1 condition=key key=z"},
        {codec::Stored(12, {0xBB, 3, 12, 100, 0, 4}), "counter=3 initial-value=100"},
    };
    for (const auto& [stored, text] : rows) EXPECT_EQ(codec::Shown(isa::decode(stored, kTypeMaster)), text);
    // If-GoTo: status selector, compare value and mask to the jump condition.
    const int conditions[][4] = {{2, 0x10, 0x10, 2}, {2, 0x10, 0x20, -1}, {3, 'k', 0xFF, 0}, {3, 'k', 0x7F, 1},
                                 {24, 1, 0xFF, 3}, {30, 1, 0, 6}, {0, 4, 0xFF, 7}, {99, 4, 0xFF, -1}};
    for (const auto& c : conditions) {
        const isa::Decoded d =
            isa::decode(codec::Stored(3, {0xBB, 5, 3, 0xFF, 0xFF, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])}, "L1"),
                        kTypeMaster);
        EXPECT_EQ(d.values.find("condition")->asInt(), c[3]) << c[0] << " " << c[2];
        EXPECT_EQ(d.values.find("->")->asText(), "L1");
    }
}

TEST_F(Master, CodesWithoutARowLoadNothing) {
    for (const ProgramLine& line : {MakeLine(0, 16, {0xBB, 0, 16}), MakeLine(0, 17, {0xBB, 0, 17}),
                                    MakeLine(0, 18, {0xBB, 0, 18}), MakeLine(0, 20, {0xBB, 0, 20}),
                                    MakeLine(1, 0x55, {0xAA, 1, 0x55})}) {
        LoadOverDirtyPanels(line);
        EXPECT_EQ(s->form.MasterCBox.index, -1);
        EXPECT_EQ(s->form.ServoCBox.index, -1);
        EXPECT_FALSE(s->form.master.MasterGroup.visible || s->form.servo.ServoGroup.visible);
        EXPECT_EQ(s->form.CmdEdit.text, "");
        EXPECT_FALSE(s->form.AddInstrButton.enabled);
    }
}

}  // namespace
