#include <iterator>
#include <string>
#include <tuple>

#include "BuilderFixture.h"
#include "CodecCases.h"

namespace {

enum { kMakeOutputs, kSetOutputs, kSetPWMs, kGetStatus, kIfGoTo, kWaitFor };
enum { kSet, kClear };

struct IoTest : BuilderTest {
    void SetUp() override { AddModules({kTypeIo, kTypeIo, kTypeIo, kTypeIo, kTypeIo}); }
};

using codec::Field;

// Bit boxes checked, with more fields.
std::vector<Field> Bits(const std::vector<int>& bits, std::vector<Field> more = {}) {
    static const char* const kIds[13] = {"",      "bit-1", "bit-2", "bit-3",  "bit-4",  "bit-5", "bit-6",
                                         "bit-7", "bit-8", "bit-9", "bit-10", "bit-11", "bit-12"};
    for (int k : bits) more.push_back({kIds[k], "1"});
    return more;
}

TEST_F(IoTest, EncodesEveryCommandToItsBytesListingAndExecuteNowLength) {
    struct Case {
        int module, index;
        std::vector<Field> fields;
        Bytes bytes;
        int patch, executeNow;
        const char *gotoLabel, *listing;
    } cases[] = {
        {2, kMakeOutputs, Bits({1, 12}), {0xAA, 2, 0x20, 0xFE, 0xF7, 0x17, 1}, 0, 7, "", "MakeOutputs"},
        {2, kMakeOutputs, {}, {0xAA, 2, 0x20, 0xFF, 0xFF, 0x20, 1}, 0, 7, "", "MakeOutputs"},
        {3, kSetOutputs, Bits({2, 10}, {{"set-or-clear", "set"}}), {0xBB, 8, 18, 0, 0, 0, 0, 3, 1, 0x02, 0x02}, 0, 11, "",
         "SetOutputs"},
        {3, kSetOutputs, Bits({2, 10}, {{"set-or-clear", "clear"}}), {0xBB, 8, 18, 0, 0, 0, 0, 3, 0, 0xFD, 0xFD}, 0, 11,
         "", "SetOutputs"},
        {1, kSetPWMs, {{"pwm-1", "255"}, {"pwm-2", "0"}}, {0xAA, 1, 0x24, 0xFF, 0, 0x24, 1}, 0, 7, "", "SetPWMs"},
        {5, kGetStatus, {}, {0xAA, 5, 0x13, 1, 0x19, 3}, 0, 6, "", "GetStatus"},
        {2, kIfGoTo, Bits({9}, {{"set-or-clear", "clear"}, {"->", "DONE"}}), {0xBB, 5, 3, 0xFF, 0xFF, 2, 0, 1}, 3, -1,
         "DONE", "If-GoTo DONE"},
        {2, kIfGoTo, Bits({3, 9}, {{"set-or-clear", "set"}}), {0xBB, 5, 3, 0xFF, 0xFF, 1, 0xFF, 4}, 3, -1, "",
         "If-GoTo "},
        {4, kWaitFor, Bits({8}, {{"set-or-clear", "set"}, {"timeout", "100"}, {"->", "T1"}}),
         {0xBB, 13, 10, 0xAA, 4, 0x13, 1, 0x18, 3, 1, 0xFF, 0x80, 100, 0, 0xFF, 0xFF}, 14, -1, "T1",
         "WaitFor [timeout->T1]"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.listing);
        const isa::CommandDesc& command = codec::Command(isa::Family::Io, c.index);
        const isa::EncodeResult r = isa::encode(command, codec::Values(command, c.fields), uint8_t(c.module));
        const isa::Encoded* e = std::get_if<isa::Encoded>(&r);
        ASSERT_NE(e, nullptr) << codec::MessagesOf(r)[0];
        EXPECT_EQ(codec::BytesOf(r), c.bytes);
        EXPECT_EQ(e->commandCode, c.bytes[2]);
        EXPECT_EQ(e->patchOffset, c.patch);
        EXPECT_EQ(e->gotoLabel, c.gotoLabel);
        const ProgramLine line = codec::LineOf(*e, c.module);
        EXPECT_EQ(FormatListingText(*s, line), "          " + std::to_string(c.module) + " " + c.listing);
        EXPECT_EQ(ExecuteNowLength(line), c.executeNow);
        codec::ExpectRebuilds(command, *e, uint8_t(c.module));
    }
}

TEST(IoCodec, FirstCheckedBitDecides) {
    // Bit k and every bit after it checked: selector and mask come from Bit k.
    const uint8_t expected[13][2] = {{0, 0},    {1, 0x01}, {1, 0x02}, {1, 0x04}, {1, 0x08}, {1, 0x10}, {1, 0x20},
                                     {1, 0x40}, {1, 0x80}, {2, 0x01}, {2, 0x02}, {2, 0x04}, {2, 0x08}};
    const isa::CommandDesc& waitFor = codec::Command(isa::Family::Io, kWaitFor);
    for (int k = 1; k <= 12; ++k) {
        std::vector<int> bits;
        for (int j = k; j <= 12; ++j) bits.push_back(j);
        const Bytes b = codec::BytesOf(isa::encode(waitFor, codec::Values(waitFor, Bits(bits, {{"timeout", "0"}})), 1));
        ASSERT_EQ(b.size(), 16u) << k;
        EXPECT_EQ(b[9], expected[k][0]) << k;
        EXPECT_EQ(b[11], expected[k][1]) << k;
    }
}

TEST(IoCodec, NumericFieldLimits) {
    const char* range = "Value out of range";
    struct Case {
        int index;
        const char *first, *second, *message;  // message "" = accepted
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
        const isa::CommandDesc& command = codec::Command(isa::Family::Io, cases[i].index);
        const std::vector<Field> fields =
            cases[i].index == kSetPWMs ? std::vector<Field>{{"pwm-1", cases[i].first}, {"pwm-2", cases[i].second}}
                                       : Bits({5}, {{"timeout", cases[i].first}, {"->", cases[i].second}});
        const bool accepted = std::string(cases[i].message).empty();
        EXPECT_EQ(codec::MessagesOf(isa::encode(command, codec::Values(command, fields), 1)),
                  accepted ? std::vector<std::string>{} : std::vector<std::string>{cases[i].message});
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

TEST(IoCodec, DecodingGivesWhatThePanelShows) {
    const std::pair<isa::Encoded, std::string> rows[] = {
        {codec::Stored(10, {0xBB, 13, 10, 0xAA, 4, 0x13, 1, 0x18, 3, 1, 0xFF, 0x80, 0x60, 0xEA, 0xFF, 0xFF}),
         "timeout=60000 bit-8 set-or-clear=set"},
        // The high bit byte's unused bits count for no box.
        {codec::Stored(0x20, {0xAA, 4, 0x20, 0xFF, 0x0E, 0, 1}), "bit-9"},
        {codec::Stored(0x20, {0xAA, 4, 0x20, 0x7E, 0xF7, 0, 1}), "bit-1 bit-8 bit-12"},
        {codec::Stored(18, {0xBB, 8, 18, 0, 0, 0, 0, 4, 1, 0x02, 0x02}), "bit-2 bit-10 set-or-clear=set"},
        {codec::Stored(18, {0xBB, 8, 18, 0, 0, 0, 0, 4, 7, 0xFD, 0xFD}), "bit-2 bit-10 set-or-clear=clear"},
        {codec::Stored(0x24, {0xAA, 4, 0x24, 17, 255, 0, 1}), "pwm-1=17 pwm-2=255"},
        // If-GoTo checks every bit of the mask, in the high byte for any selector but 1.
        {codec::Stored(3, {0xBB, 5, 3, 0xFF, 0xFF, 7, 0, 0x11}, "L"), "->=L bit-9 set-or-clear=clear"},
        {codec::Stored(3, {0xBB, 5, 3, 0xFF, 0xFF, 1, 5, 0x11}), "bit-1 bit-5 set-or-clear=clear"},
        {codec::Stored(0x55, {0xAA, 4, 0x55}), "(nothing)"},
    };
    for (const auto& [stored, text] : rows) EXPECT_EQ(codec::Shown(isa::decode(stored, kTypeIo)), text);
}

// The loader puts IoRG back as the line has it; a code without a command
// loads nothing.
TEST_F(IoTest, LoaderFillsThePanel) {
    ChooseIo(4, kWaitFor);
    io().IoCheck[8].checked = true;
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

    line.commandCode = 0x55;
    SelectModule(*s, 4);
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
