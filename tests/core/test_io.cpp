#include <functional>
#include <iterator>
#include <string>
#include <tuple>

#include "BuilderFixture.h"

namespace {

enum { kMakeOutputs, kSetOutputs, kSetPWMs, kGetStatus, kIfGoTo, kWaitFor };
enum { kSet, kClear };

struct IoTest : BuilderTest {
    void SetUp() override { AddModules({kTypeIo, kTypeIo, kTypeIo, kTypeIo, kTypeIo}); }
};

using Fill = std::function<void(IoPanel&)>;

void Check(IoPanel& p, std::initializer_list<int> bits) {
    for (int k : bits) p.IoCheck[k].checked = true;
}

TEST_F(IoTest, EncodesEveryCommandToItsBytesListingAndExecuteNowLength) {
    struct Case {
        int module, index;
        Fill fill;
        Bytes bytes;
        int patch, executeNow;
        const char *gotoLabel, *listing;
    } cases[] = {
        {2, kMakeOutputs, [](IoPanel& p) { Check(p, {1, 12}); }, {0xAA, 2, 0x20, 0xFE, 0xF7, 0x17, 1}, 0, 7, "",
         "MakeOutputs"},
        {2, kMakeOutputs, [](IoPanel&) {}, {0xAA, 2, 0x20, 0xFF, 0xFF, 0x20, 1}, 0, 7, "", "MakeOutputs"},
        {3, kSetOutputs, [](IoPanel& p) { Check(p, {2, 10}); p.IoRG.index = kSet; },
         {0xBB, 8, 18, 0, 0, 0, 0, 3, 1, 0x02, 0x02}, 0, 11, "", "SetOutputs"},
        {3, kSetOutputs, [](IoPanel& p) { Check(p, {2, 10}); p.IoRG.index = kClear; },
         {0xBB, 8, 18, 0, 0, 0, 0, 3, 0, 0xFD, 0xFD}, 0, 11, "", "SetOutputs"},
        {1, kSetPWMs, [](IoPanel& p) { p.IoEdit[1].text = "255"; p.IoEdit[2].text = "0"; },
         {0xAA, 1, 0x24, 0xFF, 0, 0x24, 1}, 0, 7, "", "SetPWMs"},
        {5, kGetStatus, [](IoPanel&) {}, {0xAA, 5, 0x13, 1, 0x19, 3}, 0, 6, "", "GetStatus"},
        {2, kIfGoTo, [](IoPanel& p) { Check(p, {9}); p.IoRG.index = kClear; p.IoEdit[1].text = "DONE"; },
         {0xBB, 5, 3, 0xFF, 0xFF, 2, 0, 1}, 3, -1, "DONE", "If-GoTo DONE"},
        {2, kIfGoTo, [](IoPanel& p) { Check(p, {3, 9}); p.IoRG.index = kSet; }, {0xBB, 5, 3, 0xFF, 0xFF, 1, 0xFF, 4}, 3,
         -1, "", "If-GoTo "},
        {4, kWaitFor,
         [](IoPanel& p) { Check(p, {8}); p.IoRG.index = kSet; p.IoEdit[1].text = "100"; p.IoEdit[2].text = "T1"; },
         {0xBB, 13, 10, 0xAA, 4, 0x13, 1, 0x18, 3, 1, 0xFF, 0x80, 100, 0, 0xFF, 0xFF}, 14, -1, "T1",
         "WaitFor [timeout->T1]"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.listing);
        ChooseIo(c.module, c.index);
        s->form.LabelEdit.text = "ABCDEFGHIJKLMNOPQ";
        c.fill(io());
        ASSERT_EQ(BuildInstruction(*s), 0);
        ExpectBuilt(c.bytes, c.bytes[2], c.patch, c.gotoLabel, "ABCDEFGHIJKLMNO",
                    "ABCDEFGH  " + std::to_string(c.module) + " " + c.listing, c.executeNow);
    }
}

TEST_F(IoTest, FirstCheckedBitDecides) {
    // Bit k and every bit after it checked: selector and mask come from Bit k.
    const uint8_t expected[13][2] = {{0, 0},    {1, 0x01}, {1, 0x02}, {1, 0x04}, {1, 0x08}, {1, 0x10}, {1, 0x20},
                                     {1, 0x40}, {1, 0x80}, {2, 0x01}, {2, 0x02}, {2, 0x04}, {2, 0x08}};
    for (int k = 1; k <= 12; ++k) {
        ChooseIo(1, kWaitFor);
        for (int j = k; j <= 12; ++j) io().IoCheck[j].checked = true;
        io().IoEdit[1].text = "0";
        ASSERT_EQ(BuildInstruction(*s), 0) << k;
        EXPECT_EQ(s->builderLine.bytes[9], expected[k][0]) << k;
        EXPECT_EQ(s->builderLine.bytes[11], expected[k][1]) << k;
    }
}

TEST_F(IoTest, NumericFieldLimits) {
    const char* range = "Value out of range";
    struct Case {
        int index;
        const char *edit1, *edit2, *message;  // message "" = accepted
    } cases[] = {
        {kSetPWMs, "0", "255", ""},         {kSetPWMs, "256", "0", range},
        {kSetPWMs, "0", "256", range},      {kSetPWMs, "-1", "0", range},
        {kSetPWMs, "", "0", "Invalid numeric value"},
        {kSetPWMs, "300", "x", range},  // the second field is not read
        {kWaitFor, "60000", "", ""},        {kWaitFor, "60001", "", range},
        {kWaitFor, "-1", "", range},        {kWaitFor, "soon", "", "Invalid numeric value"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        ui.messages.clear();
        ChooseIo(1, cases[i].index);
        io().IoCheck[5].checked = true;
        io().IoEdit[1].text = cases[i].edit1;
        io().IoEdit[2].text = cases[i].edit2;
        const bool accepted = std::string(cases[i].message).empty();
        EXPECT_EQ(BuildInstruction(*s), accepted ? 0 : -1);
        EXPECT_EQ(ui.messages, accepted ? std::vector<std::string>{} : std::vector<std::string>{cases[i].message});
    }
}

TEST_F(IoTest, BitlessIfAndWaitAreRefusedUntouched) {
    for (int index : {kIfGoTo, kWaitFor}) {
        ui.messages.clear();
        ChooseIo(2, index);
        io().IoEdit[1].text = "100";
        ExpectRefusedUntouched("Choose a bit.");
    }
}

TEST_F(IoTest, PanelSetupKeepsTheSetClearChoice) {
    // Which of: bit boxes, IoRG, IoEdit1, IoEdit2 each command shows; the class it reports.
    const struct {
        bool bits, rg, edit1, edit2;
        const char* cls;
    } cases[6] = {{true, false, false, false, "I/O"}, {true, true, false, false, "I/O"},
                  {false, false, true, true, "I/O"},  {false, false, false, false, "I/O"},
                  {true, true, true, false, "Master"}, {true, true, true, true, "Master"}};
    io().IoRG.index = kClear;
    for (int index = 0; index < 6; ++index) {
        SCOPED_TRACE(kIoCommands[index]);
        for (int k = 1; k <= 12; ++k) io().IoCheck[k].checked = io().IoCheck[k].visible = true;
        ChooseIo(3, index);
        for (int k = 1; k <= 12; ++k) {
            EXPECT_EQ(io().IoCheck[k].visible, cases[index].bits);
            EXPECT_FALSE(io().IoCheck[k].checked);
        }
        EXPECT_EQ(io().IoLabel[0].visible, cases[index].bits);
        EXPECT_EQ(io().IoRG.visible, cases[index].rg);
        EXPECT_EQ(io().IoRG.index, kClear);
        EXPECT_EQ(io().IoEdit[1].visible, cases[index].edit1);
        EXPECT_EQ(io().IoEdit[2].visible, cases[index].edit2);
        EXPECT_EQ(s->form.CmdClassEdit.text, cases[index].cls);
        EXPECT_EQ(s->form.CmdEdit.text, kIoCommands[index]);
    }
    EXPECT_EQ(io().IoLabel[1].caption, "Timeout (.01 sec)");
    EXPECT_EQ(io().IoLabel[2].caption, "GoTo on Timeout");
    EXPECT_EQ(io().IoLabel[0].caption, "Wait For (select a single bit):");
    ChooseIo(3, kSetPWMs);
    EXPECT_EQ(io().IoEdit[1].text + io().IoEdit[2].text, "00");
}

TEST_F(IoTest, LoaderFillsThePanel) {
    ChooseIo(4, kWaitFor);
    Check(io(), {8});
    io().IoRG.index = kSet;
    io().IoEdit[1].text = "60000";
    ASSERT_EQ(BuildInstruction(*s), 0);
    ProgramLine line = s->builderLine;
    io().IoRG.index = kClear;
    Load(line);
    EXPECT_EQ(s->form.IoCBox.index, kWaitFor);
    for (int k = 1; k <= 12; ++k) EXPECT_EQ(io().IoCheck[k].checked, k == 8) << k;
    EXPECT_EQ(io().IoRG.index, kSet);
    EXPECT_EQ(io().IoEdit[1].text, "60000");

    // A MakeOutputs whose unused high bits are clear still checks only Bit 9 to 12.
    ChooseIo(4, kMakeOutputs);
    ASSERT_EQ(BuildInstruction(*s), 0);
    line = s->builderLine;
    line.bytes[4] = 0x0E;
    Load(line);
    for (int k = 1; k <= 12; ++k) EXPECT_EQ(io().IoCheck[k].checked, k == 9) << k;

    line.commandCode = 0x55;  // no row: nothing is loaded
    Load(line);
    EXPECT_EQ(s->form.IoCBox.index, -1);
    EXPECT_FALSE(io().IoGroup.visible);
}

TEST_F(IoTest, ListingAddressColumn) {
    for (int i = 6; i <= 31; ++i) AddIOModule1Click(*s);
    for (auto [module, label, text] : {std::tuple{31, "ABCDEFGHIJ", "ABCDEFGH 1F GetStatus"},
                                       std::tuple{10, "", "          A GetStatus"}}) {
        ChooseIo(module, kGetStatus);
        s->form.LabelEdit.text = label;
        ASSERT_EQ(BuildInstruction(*s), 0);
        EXPECT_EQ(FormatListingText(*s, s->builderLine), text);
    }
    ProgramLine line = s->builderLine;
    line.commandCode = 0x21;  // no I/O row
    EXPECT_EQ(FormatListingText(*s, line), std::string(9, ' ') + " A ");
}

}  // namespace
