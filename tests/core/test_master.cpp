// Master family: panel set-up, bytes, rejected fields, listing rows, loading.
#include "BuilderFixture.h"

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

struct EncodeCase {
    int index;
    std::vector<Set> settings;
    Bytes bytes;
    int patch;
    const char* gotoLabel;
};

TEST_F(Master, EncodesEveryCommand) {
    const EncodeCase cases[] = {
        {0, {{"MasterEdit1", "LOOP"}, {"LabelEdit", "TOP"}}, {0xBB, 2, 0, 0xFF, 0xFF}, 3, "LOOP"},
        {1, {{"MasterEdit1", "SUBROUTINE_NAME_TOO_LONG"}}, {0xBB, 2, 1, 0xFF, 0xFF}, 3, "SUBROUTINE_NAME"},
        {2, {}, {0xBB, 0, 2}, 0, ""}, {4, {}, {0xBB, 0, 4}, 0, ""}, {7, {}, {0xBB, 0, 7}, 0, ""},
        {11, {}, {0xBB, 0, 11}, 0, ""}, {14, {}, {0xBB, 0, 14}, 0, ""}, {15, {}, {0xBB, 0, 15}, 0, ""},
        {3, {{"MasterEdit1", "L1"}, {"RadioGroup2", "0"}, {"MasterEdit3", "AB"}}, {0xBB, 5, 3, 0xFF, 0xFF, 3, 'A', 0xFF}, 3, "L1"},
        {3, {{"MasterEdit1", "L1"}, {"RadioGroup2", "0"}}, {0xBB, 5, 3, 0xFF, 0xFF, 3, 0, 0xFF}, 3, "L1"},
        {3, {{"RadioGroup2", "1"}}, {0xBB, 5, 3, 0xFF, 0xFF, 3, 0, 0x80}, 3, ""},
        {3, {{"RadioGroup2", "2"}}, {0xBB, 5, 3, 0xFF, 0xFF, 2, 0x10, 0x10}, 3, ""},
        {3, {{"RadioGroup2", "3"}, {"MasterEdit4", "0"}}, {0xBB, 5, 3, 0xFF, 0xFF, 24, 0, 0xFF}, 3, ""},
        {3, {{"RadioGroup2", "4"}, {"MasterEdit5", "7"}}, {0xBB, 5, 3, 0xFF, 0xFF, 26, 7, 0xFF}, 3, ""},
        {3, {{"RadioGroup2", "6"}, {"MasterEdit7", "255"}}, {0xBB, 5, 3, 0xFF, 0xFF, 30, 255, 0xFF}, 3, ""},
        {3, {{"RadioGroup2", "7"}, {"MasterEdit8", "31"}, {"MasterEdit4", "x"}}, {0xBB, 5, 3, 0xFF, 0xFF, 0, 31, 0xFF}, 3, ""},
        {5, {{"MasterEdit1", "Hi"}, {"MasterCheck1", "1"}, {"MasterCheck2", "1"}}, {0xBB, 4, 5, 'H', 'i', 13, 10}, 0, ""},
        {5, {{"MasterCheck1", "0"}, {"MasterCheck2", "0"}}, {0xBB, 0, 5}, 0, ""},
        {5, {{"MasterEdit1", "ABCDEFGHIJKLMNOPQRST"}, {"MasterCheck1", "1"}, {"MasterCheck2", "1"}},
         {0xBB, 17, 5, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 13, 10}, 0, ""},
        {5, {{"MasterEdit1", "\xE9t\xE9"}, {"MasterCheck1", "0"}, {"MasterCheck2", "1"}}, {0xBB, 4, 5, 0xE9, 't', 0xE9, 10}, 0, ""},
        {6, {{"MasterEdit1", "60000"}}, {0xBB, 2, 6, 0x60, 0xEA}, 0, ""},
        {8, {{"MasterEdit1", "SUB"}}, {0xBB, 2, 8, 0xFF, 0xFF}, 3, "SUB"},
        {9, {{"MasterEdit1", "0"}}, {0xBB, 2, 9, 0, 0}, 0, ""},
        {10, {{"RadioGroup1", "1"}, {"MasterEdit1", "500"}, {"MasterEdit2", "T1"}},
         {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 0, 0x80, 0xF4, 0x01, 0xFF, 0xFF}, 14, "T1"},
        {10, {{"MasterEdit1", "0"}, {"MasterEdit3", "q"}}, {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 0, 0x80, 0, 0, 0xFF, 0xFF}, 14, ""},
        {10, {{"RadioGroup1", "0"}, {"MasterEdit1", "60000"}, {"MasterEdit3", "q"}},
         {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 'q', 0xFF, 0x60, 0xEA, 0xFF, 0xFF}, 14, ""},
        {12, {{"MasterEdit1", "3"}, {"MasterEdit2", "100"}}, {0xBB, 3, 12, 100, 0, 4}, 0, ""},
        {12, {{"MasterEdit1", "1"}, {"MasterEdit2", "60000"}}, {0xBB, 3, 12, 0x60, 0xEA, 0}, 0, ""},
        {13, {{"MasterEdit1", "4"}, {"MasterEdit2", "LOOP"}}, {0xBB, 3, 13, 0xFF, 0xFF, 6}, 3, "LOOP"},
        {16, {}, {0xBB, 1, 19, 0x0F}, 0, ""}, {16, {{"MasterEdit1", "9600"}}, {0xBB, 1, 19, 0x20}, 0, ""},
        {16, {{"MasterEdit1", "2400"}}, {0xBB, 1, 19, 0x81}, 0, ""}, {16, {{"MasterEdit1", "1200"}}, {0xBB, 1, 19, 0xFF}, 0, ""},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << kMasterCommands[c.index] << " " << (c.settings.empty() ? "" : c.settings[0].value));
        DirtyPanels();
        s->builderLine.setGotoLabel("STALE");
        ChooseMaster(c.index);
        Apply(c.settings);
        ASSERT_EQ(BuildInstruction(*s), 0);
        EXPECT_EQ(Built(), c.bytes);
        EXPECT_EQ(s->builderLine.patchOffset, c.patch);
        EXPECT_EQ(s->builderLine.gotoLabelText(), c.gotoLabel);
        EXPECT_TRUE(ui.messages.empty());
        ExpectRebuilds();
    }
}

struct RejectCase {
    int index;
    std::vector<Set> settings;
    std::vector<std::string> messages;
};

TEST_F(Master, RejectsBadFieldsWithTheFirstBadFieldsMessage) {
    const RejectCase cases[] = {
        {6, {{"MasterEdit1", "60001"}}, {kOut}}, {6, {{"MasterEdit1", "-1"}}, {kOut}},
        {6, {{"MasterEdit1", ""}}, {kInv}}, {9, {{"MasterEdit1", "sec"}}, {kInv}}, {9, {{"MasterEdit1", "60001"}}, {kOut}},
        {10, {{"MasterEdit1", "60001"}}, {kOut}}, {10, {{"MasterEdit1", ""}}, {kInv}},
        {12, {{"MasterEdit2", "x"}, {"MasterEdit1", "5"}}, {kInv}}, {12, {{"MasterEdit2", "60001"}, {"MasterEdit1", "5"}}, {kOut}},
        {12, {{"MasterEdit2", "1"}, {"MasterEdit1", "0"}}, {kOut}}, {12, {{"MasterEdit2", "1"}}, {kInv}},
        {13, {{"MasterEdit1", "0"}}, {kOut}}, {13, {{"MasterEdit1", "5"}}, {kOut}}, {13, {{"MasterEdit1", ""}}, {kInv}},
        {3, {{"RadioGroup2", "3"}, {"MasterEdit4", "256"}}, {kOut}}, {3, {{"RadioGroup2", "6"}, {"MasterEdit7", "-1"}}, {kOut}},
        {3, {{"RadioGroup2", "7"}}, {kInv}}, {3, {{"MasterEdit1", "L"}}, {"Choose a jump condition."}},
        {16, {{"MasterEdit1", "4800"}}, {kBaud}}, {16, {{"MasterEdit1", "38400"}}, {kOut, kBaud}},
        {16, {{"MasterEdit1", "1199"}}, {kOut, kBaud}}, {16, {{"MasterEdit1", "baud"}}, {kInv, kBaud}},
    };
    for (const RejectCase& c : cases) {
        SCOPED_TRACE(testing::Message() << kMasterCommands[c.index] << " " << c.settings[0].value);
        ui.messages.clear();
        ChooseMaster(c.index);
        Apply(c.settings);
        EXPECT_EQ(BuildInstruction(*s), -1);
        EXPECT_EQ(ui.messages, c.messages);
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

// Loading beyond what the encoder produces (every encoded case is also loaded
// back and rebuilt above).
TEST_F(Master, LoadingFillsThePanel) {
    const std::pair<ProgramLine, std::string> rows[] = {
        {MakeLine(0, 5, {0xBB, 4, 5, 'H', 'i', 13, 10}), "MasterEdit1=Hi MasterCheck1 MasterCheck2"},
        {MakeLine(0, 5, {0xBB, 3, 5, 'A', 10, 'B'}), "MasterEdit1=A MasterCheck2"},
        {MakeLine(0, 6, {0xBB, 2, 6, 0x60, 0xEA}), "MasterEdit1=60000"},
        {MakeLine(0, 19, {0xBB, 1, 19, 0x55}), "MasterEdit1=19200"},
        {MakeLine(0, 10, {0xBB, 13, 10, 0xBB, 0, 7, 0, 0, 0, 3, 'z', 0xFF, 0xF4, 1, 0xFF, 0xFF}, "T1"),
         "RadioGroup1#0 MasterEdit1=500 MasterEdit2=T1 MasterEdit3=z"},
    };
    for (const auto& [line, text] : rows) {
        LoadOverDirtyPanels(line);
        EXPECT_EQ(Visible(kMasterCtls, false), text);
    }
    // If-GoTo: status selector, compare value and mask to the jump condition.
    const int conditions[][4] = {{2, 0x10, 0x10, 2}, {2, 0x10, 0x20, -1}, {3, 'k', 0xFF, 0}, {3, 'k', 0x7F, 1},
                                 {24, 1, 0xFF, 3}, {30, 1, 0, 6}, {0, 4, 0xFF, 7}, {99, 4, 0xFF, -1}};
    for (const auto& c : conditions) {
        LoadOverDirtyPanels(MakeLine(0, 3, {0xBB, 5, 3, 0xFF, 0xFF, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])}, "L1"));
        EXPECT_EQ(s->form.master.RadioGroup2.index, c[3]) << c[0] << " " << c[2];
        EXPECT_EQ(s->form.master.MasterEdit[1].text, "L1");
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
