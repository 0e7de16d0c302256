// Master and servo lines through the listing: Add shows the line, selecting
// it loads the panel, and rebuilding (Change without edits) gives the same line.
#include "BuilderFixture.h"

#include "app/Lifecycle.h"
#include "app/Editing.h"

namespace {

class RoundTrip : public BuilderTest {
protected:
    void SetUp() override {
        BuilderTest::SetUp();
        StartTimerTimer(*s);
    }
    void choose(int address, int index) { address == 0 ? ChooseMaster(index) : ChooseServo(address, index); }
};

TEST_F(RoundTrip, AddShowsTheListingLineAndRefusalAddsNothing) {
    ChooseServo(1, 0);
    Apply({{"ServoEdit1", "1000"}, {"ServoEdit2", "5000"}, {"ServoEdit3", "100"}, {"LabelEdit", "GO"}});
    AddInstrButtonClick(*s);
    ChooseMaster(5);
    Apply({{"MasterEdit1", "Hi"}, {"MasterCheck1", "1"}, {"MasterCheck2", "1"}});
    AddInstrButtonClick(*s);
    ChooseMaster(6);
    Apply({{"MasterEdit1", "60001"}});
    AddInstrButtonClick(*s);

    EXPECT_EQ(ui.messages, std::vector<std::string>{"Value out of range"});
    ASSERT_EQ(s->lineCount, 2);
    ASSERT_EQ(s->listing.count(), 3);
    EXPECT_EQ(s->listing.text(0), "GO        1 Move - Pos. 1000");
    EXPECT_EQ(s->listing.text(1), "          0 Print 'Hi\r\n'");
    EXPECT_EQ(s->listing.text(2), kEndMarker);
    EXPECT_EQ(Bytes(s->lines[0].bytes, s->lines[0].bytes + s->lines[0].length),
              (Bytes{0xAA, 1, 0xE4, 0x9F, 0xE8, 3, 0, 0, 0x88, 0x13, 0, 0, 0x64, 0, 0, 0, 0, 0x6E, 1}));
    EXPECT_EQ(s->lines[0].labelText(), "GO");
    EXPECT_EQ(s->lines[1].length, 7);
}

struct Case {
    int address, index;
    std::vector<Set> settings;
};

// Every command is loaded back and rebuilt in the family tests; here a few
// go the whole way: Add, select the listing line, Change without edits.
TEST_F(RoundTrip, SelectedLinesChangeToTheSameLine) {
    const Case cases[] = {
        {0, 0, {{"MasterEdit1", "LOOP"}, {"LabelEdit", "LONGLABELNAME123"}}},
        {0, 5, {{"MasterEdit1", "a b\xE9"}, {"MasterCheck1", "0"}, {"MasterCheck2", "1"}}},
        {0, 10, {{"RadioGroup1", "0"}, {"MasterEdit1", "0"}, {"MasterEdit3", "x"}, {"MasterEdit2", "T1"}}},
        {0, 13, {{"MasterEdit1", "2"}, {"MasterEdit2", "LOOP"}}},
        {2, 0, {{"ServoEdit1", "-7"}, {"ServoEdit2", "9"}, {"ServoEdit3", "77"}, {"ServoCheck7", "1"}}},
        {1, 4, {{"ServoCheck4", "1"}, {"ServoCheck7", "1"}, {"ServoRG", "2"}, {"LabelEdit", "HOME"}}},
        {3, 8, {{"ServoIfCBox", "13"}, {"ServoEdit1", "60000"}, {"ServoEdit2", "W"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "address " << c.address << " command " << c.index);
        choose(c.address, c.index);
        Apply(c.settings);
        const int before = s->lineCount;
        AddInstrButtonClick(*s);
        ASSERT_EQ(s->lineCount, before + 1);
        const int k = s->currentLine - 1;
        const ProgramLine original = s->lines[k];

        DirtyPanels();
        ChooseMaster(3);  // leave another command's panel behind
        s->listing.userFocus(k);
        ProgramListBoxClick(*s);
        ChangeButtonClick(*s);
        ASSERT_EQ(s->lineCount, before + 1);
        const ProgramLine& b = s->lines[k];
        EXPECT_EQ(Bytes(b.bytes, b.bytes + b.length), Bytes(original.bytes, original.bytes + original.length));
        EXPECT_EQ(b.labelText(), original.labelText());
        EXPECT_EQ(b.gotoLabelText(), original.gotoLabelText());
        EXPECT_EQ(b.patchOffset, original.patchOffset);
        EXPECT_EQ(b.commandCode, original.commandCode);
        EXPECT_EQ(b.moduleAddress, c.address);
        EXPECT_EQ(s->listing.text(k), FormatListingText(*s, original));
        EXPECT_TRUE(ui.messages.empty());
        s->currentLine = s->lineCount;  // next line goes before the end marker
    }
    EXPECT_EQ(s->lines[0].labelText(), "LONGLABELNAME12");
}

}  // namespace
