// The command reference printed from the command descriptions: every
// command, the ranges and units of its numeric fields, conditions, example
// bytes, and the builder's tool tips.
#include <gtest/gtest.h>

#include <memory>

#include "TestPlatform.h"
#include "app/MainState.h"
#include "isa/CommandReference.h"
#include "isa/Describe.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"

namespace {

const CommandRef* Find(const std::string& family, const std::string& name) {
    for (const CommandRef& c : CommandReference())
        if (c.family == family && c.name == name) return &c;
    return nullptr;
}

const FieldRef* FindField(const CommandRef& c, const std::string& caption) {
    for (const FieldRef& f : c.fields)
        if (f.caption == caption) return &f;
    return nullptr;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += Format("%s%02X", out.empty() ? "" : " ", b);
    return out;
}

TEST(CommandReference, CoversEveryCommandOfEveryFamilyWithASummary) {
    const auto& all = CommandReference();
    ASSERT_EQ(all.size(), isa::commandTable().size());
    for (const CommandRef& c : all) {
        EXPECT_FALSE(c.summary.empty()) << c.family << " " << c.name;
        EXPECT_FALSE(c.bytes.empty()) << c.family << " " << c.name << ": the default panel did not build";
    }
    EXPECT_EQ(all.front().name, "GoTo");
    EXPECT_EQ(all.back().family, "I/O");
    EXPECT_EQ(all.back().name, "WaitFor");
}

TEST(CommandReference, NumericFieldsCarryTheEncodersRangesAndUnits) {
    struct Row {
        const char *family, *command, *caption;
        const char* range;
    };
    const Row rows[] = {
        {"Master", "SetTimer", "Timeout (.01 sec)", "0 to 60000 hundredths of a second"},
        {"Master", "SetCounter", "Counter (1 - 4)", "1 to 4"},
        {"Master", "SetCounter", "Initial Value", "0 to 60000"},
        {"Master", "If-GoTo", "Counter 3 =", "0 to 255"},
        {"Master", "If-GoTo", "# Mod. =", "0 to 255"},
        {"Master", "ChangeBaud", "Baud Rate", "1200, 2400, 9600 or 19200 baud"},
        {"Servo", "Move", "Position", "-2147483646 to 2147483647 encoder counts"},
        {"Servo", "Move", "PWM", "0 to 255"},
        {"Servo", "SetGain", "EL", "0 to 16383"},
        {"Servo", "SetGain", "SR", "1 to 255"},
        {"Servo", "WaitFor", "Timeout (.01 sec)", "0 to 60000 hundredths of a second"},
        {"Stepper", "Move", "Position", "-2147483646 to 2147483647 steps"},
        {"Stepper", "Move", "Speed", "1 to 250"},
        {"Stepper", "Move", "Acceleration", "1 to 255"},
        {"Stepper", "SetParam", "Min. Speed", "0 to 250"},
        {"I/O", "SetPWMs", "PWM 2", "0 to 255"},
        {"I/O", "WaitFor", "Timeout (.01 sec)", "0 to 60000 hundredths of a second"},
    };
    for (const Row& r : rows) {
        const CommandRef* c = Find(r.family, r.command);
        ASSERT_NE(c, nullptr) << r.command;
        const FieldRef* f = FindField(*c, r.caption);
        ASSERT_NE(f, nullptr) << r.command << " " << r.caption;
        EXPECT_EQ(f->kind, FieldRef::Number) << r.caption;
        EXPECT_EQ(FieldRange(*f), r.range) << r.family << " " << r.command << " " << r.caption;
    }
    // Jump targets and texts are told apart from numbers.
    EXPECT_EQ(FindField(*Find("Master", "CountDown"), "LoopTo if not 0")->kind, FieldRef::Target);
    EXPECT_EQ(FindField(*Find("Master", "Print"), "Print Chars")->kind, FieldRef::Text);
    EXPECT_EQ(FindField(*Find("Servo", "SetGain"), "OL")->initial, "255");
}

TEST(CommandReference, ConditionsGiveTheTripletTheEncoderWrites) {
    struct Row {
        const char *family, *command, *item;
        uint8_t selector, value, mask;
    };
    const Row rows[] = {
        {"Servo", "If-GoTo", "Limit2 LO", 0, 0x00, 0x40},
        {"Servo", "WaitFor", "Move Done", 0, 0x01, 0x01},
        {"Stepper", "If-GoTo", "Input2 HI", 1, 0x04, 0x04},
        {"Stepper", "WaitFor", "Home Sw. LO", 1, 0x00, 0x20},
        {"Master", "If-GoTo", "Timeout", 2, 0x10, 0x10},
        {"Master", "WaitFor", "Any key", 3, 0x00, 0x80},
    };
    for (const Row& r : rows) {
        const CommandRef* c = Find(r.family, r.command);
        bool found = false;
        for (const ConditionRef& k : c->conditions) {
            if (k.item != r.item) continue;
            found = true;
            EXPECT_EQ(k.selector, r.selector) << r.item;
            EXPECT_EQ(k.value, r.value) << r.item;
            EXPECT_EQ(k.mask, r.mask) << r.item;
        }
        EXPECT_TRUE(found) << r.family << " " << r.command << " " << r.item;
    }
    EXPECT_EQ(Find("Servo", "If-GoTo")->conditions.size(), 14u);
    EXPECT_EQ(Find("Stepper", "WaitFor")->conditions.size(), 22u);
    EXPECT_EQ(Find("Stepper", "If-GoTo")->conditions[16].meaning, "input byte bit 0x01 (E-Stop input high) set");
}

TEST(CommandReference, ExamplesAreTheEncodersBytesAndListing) {
    struct Row {
        const char *family, *command, *bytes, *listing;
    };
    const Row rows[] = {
        {"Servo", "SetGain", "AA 01 E6 64 00 E8 03 00 00 00 00 FF 00 D0 07 01 00 0D 01", "          1 SetGain"},
        {"Stepper", "SetParam", "AA 01 56 03 01 14 0A 00 79 01", "          1 SetParam"},
        {"Stepper", "SetOutputs", "AA 01 18 0E 27 01", "          1 SetOutputs"},
        {"I/O", "GetStatus", "AA 01 13 01 15 03", "          1 GetStatus"},
        {"Master", "ChangeBaud", "BB 01 13 0F", "          0 ChangeBaud 19200"},
        {"Master", "CountDown", "BB 03 0D FF FF 00", "          0 CountDown 1, LoopTo L1"},
        {"I/O", "If-GoTo", "BB 05 03 FF FF 01 FF 01", "          1 If-GoTo L1"},
    };
    for (const Row& r : rows) {
        const CommandRef* c = Find(r.family, r.command);
        EXPECT_EQ(Hex(c->bytes), r.bytes) << r.family << " " << r.command;
        EXPECT_EQ(c->listing, r.listing) << r.family << " " << r.command;
    }
    EXPECT_EQ(Find("Master", "WaitFor")->patchOffset, 14);
    EXPECT_EQ(Find("Master", "Return")->patchOffset, -1);
}

TEST(CommandReference, TextAndMarkdownNameEveryCommand) {
    const std::string text = CommandReferenceText();
    const std::string markdown = CommandReferenceMarkdown();
    for (const CommandRef& c : CommandReference()) {
        EXPECT_NE(text.find("\n" + c.name + "  ("), std::string::npos) << c.name;
        EXPECT_NE(markdown.find("### " + c.family + " " + c.name + "\n"), std::string::npos) << c.name;
    }
}

TEST(FieldHints, ChoosingACommandGivesItsNumericEditsTheirRange) {
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    s->moduleTypes[1] = 0;
    s->builderLine.moduleAddress = 1;
    s->form.ServoCBox.index = 2;  // SetGain
    ServoCBoxClick(*s);
    EXPECT_EQ(s->form.servo.ServoEdit[7].hint, "0 to 16383");
    EXPECT_EQ(s->form.servo.ServoEdit[8].hint, "1 to 255");
    s->form.ServoCBox.index = 7;  // If-GoTo: the goto label is no number
    ServoCBoxClick(*s);
    EXPECT_EQ(s->form.servo.ServoEdit[1].hint, "");
    EXPECT_EQ(s->form.servo.ServoEdit[7].hint, "");

    s->builderLine.moduleAddress = 0;
    s->form.MasterCBox.index = 9;  // Delay
    MasterCBoxClick(*s);
    EXPECT_EQ(s->form.master.MasterEdit[1].hint, "0 to 60000 hundredths of a second");
    s->form.MasterCBox.index = 0;  // GoTo
    MasterCBoxClick(*s);
    EXPECT_EQ(s->form.master.MasterEdit[1].hint, "");
    EXPECT_EQ(s->form.AddInstrButton.hint, "Add before selected line");
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
