// Encode, load the line back into the builder, encode again: the stepper and
// I/O loaders must restore every field so that an unedited Change rebuilds the
// same instruction.

#include <functional>
#include <string>
#include <vector>

#include "BuilderFixture.h"

namespace {

constexpr int kStepper = 1, kIo = 2;  // module addresses in the fixture's list

struct Case {
    std::string what;
    int module, index;
    std::function<void(Form&)> fill;
};

std::string Num(long long v) { return std::to_string(v); }

void Bits(IoPanel& p, unsigned pattern) {
    for (int k = 1; k <= 12; ++k) p.IoCheck[k].checked = (pattern >> (k - 1)) & 1;
}

std::vector<Case> StepperCases() {
    std::vector<Case> v;
    for (long long pos : {-2147483646LL, -1LL, 0LL, 1LL, 2147483647LL})
        for (auto [speed, accel] : {std::pair{1, 1}, std::pair{250, 255}, std::pair{100, 20}})
            v.push_back({"move pos " + Num(pos), kStepper, 0, [=](Form& f) {
                             f.step.StepEdit[1].text = Num(pos);
                             f.step.StepEdit[2].text = Num(speed);
                             f.step.StepEdit[3].text = Num(accel);
                         }});
    for (int speed : {1, 250})
        for (bool reverse : {false, true})
            v.push_back({"move vel " + Num(speed), kStepper, 0, [=](Form& f) {
                             f.step.StepCheck[1].checked = true;
                             f.step.StepCheck[2].checked = reverse;
                             f.step.StepEdit[1].text = "junk";
                             f.step.StepEdit[2].text = Num(speed);
                             f.step.StepEdit[3].text = Num(256 - speed);
                         }});
    // A Stop always has a stop mode: the panel's radio group starts on one
    // (a stored Stop without one is loaded in LoaderFillsThePanel).
    for (int rg : {0, 1})
        for (bool amp : {false, true})
            v.push_back({"stop " + Num(rg), kStepper, 1, [=](Form& f) {
                             f.step.StepRG.index = rg;
                             f.step.StepCheck[7].checked = amp;
                         }});
    for (unsigned m = 0; m < 64; ++m)
        v.push_back({"setparam " + Num(m), kStepper, 2, [=](Form& f) {
                         const int boxes[6] = {1, 2, 3, 4, 5, 6};
                         for (int i = 0; i < 6; ++i) f.step.StepCheck[boxes[i]].checked = (m >> i) & 1;
                         f.step.StepCheck[7].checked = m & 1;
                         f.step.StepEdit[1].text = Num(m * 3 % 251);
                         f.step.StepEdit[2].text = Num(255 - m);
                         f.step.StepEdit[3].text = Num(m);
                         f.step.StepEdit[7].text = Num(m * 4);
                     }});
    for (unsigned m = 0; m < 32; ++m)
        v.push_back({"setoutputs " + Num(m), kStepper, 3, [=](Form& f) {
                         for (int i = 1; i <= 5; ++i) f.step.StepCheck[i].checked = (m >> (i - 1)) & 1;
                     }});
    v.push_back({"resetposition", kStepper, 4, [](Form&) {}});
    v.push_back({"getstatus", kStepper, 6, [](Form&) {}});
    for (unsigned m = 0; m < 16; ++m)
        for (int rg : {0, 1})
            v.push_back({"starthoming " + Num(m), kStepper, 5, [=](Form& f) {
                             const int boxes[4] = {1, 2, 4, 7};
                             for (int i = 0; i < 4; ++i) f.step.StepCheck[boxes[i]].checked = (m >> i) & 1;
                             f.step.StepRG.index = rg;
                         }});
    for (int cond = 0; cond < 22; ++cond) {
        v.push_back({"if " + Num(cond), kStepper, 7, [=](Form& f) {
                         f.step.StepIfCBox.index = cond;
                         f.step.StepEdit[1].text = cond % 2 ? "" : "TARGET_LABEL_15";
                     }});
        v.push_back({"waitfor " + Num(cond), kStepper, 8, [=](Form& f) {
                         f.step.StepIfCBox.index = cond;
                         f.step.StepEdit[1].text = Num(cond * 2857);
                         f.step.StepEdit[2].text = "W";
                     }});
    }
    return v;
}

std::vector<Case> IoCases() {
    std::vector<Case> v;
    for (unsigned pattern : {0x000u, 0xFFFu, 0x801u, 0xA5Au, 0x100u, 0x080u})
        for (int rg : {0, 1}) {
            v.push_back({"makeoutputs " + Num(pattern), kIo, 0, [=](Form& f) { Bits(f.io, pattern); }});
            v.push_back({"setoutputs " + Num(pattern), kIo, 1, [=](Form& f) {
                             Bits(f.io, pattern);
                             f.io.IoRG.index = rg;
                         }});
        }
    for (auto [a, b] : {std::pair{0, 0}, std::pair{255, 0}, std::pair{17, 255}})
        v.push_back({"setpwms", kIo, 2, [=](Form& f) {
                         f.io.IoEdit[1].text = Num(a);
                         f.io.IoEdit[2].text = Num(b);
                     }});
    v.push_back({"getstatus", kIo, 3, [](Form&) {}});
    for (int k = 1; k <= 12; ++k)
        for (int rg : {0, 1}) {
            v.push_back({"if bit " + Num(k), kIo, 4, [=](Form& f) {
                             Bits(f.io, 1u << (k - 1));
                             f.io.IoRG.index = rg;
                             f.io.IoEdit[1].text = "L" + Num(k);
                         }});
            v.push_back({"waitfor bit " + Num(k), kIo, 5, [=](Form& f) {
                             Bits(f.io, 1u << (k - 1));
                             f.io.IoRG.index = rg;
                             f.io.IoEdit[1].text = Num(k * 5000);
                             f.io.IoEdit[2].text = "";
                         }});
        }
    return v;
}

struct RoundTrip : BuilderTest {
    void SetUp() override { AddModules({kTypeStepper, kTypeIo}); }

    void Choose(const Case& c, int index) {
        if (c.module == kStepper)
            ChooseStep(c.module, index);
        else
            ChooseIo(c.module, index);
    }

    // Leaves the panel as another command with other values would.
    void Scramble(const Case& c) {
        Choose(c, (c.index + 1) % (c.module == kStepper ? 9 : 6));
        Form& f = s->form;
        for (int i = 1; i <= 7; ++i) f.step.StepCheck[i].checked = true;
        for (int i = 1; i <= 9; ++i) f.step.StepEdit[i].text = "7";
        f.step.StepRG.index = 1;
        f.step.StepIfCBox.index = 3;
        Bits(f.io, 0xFFF);
        f.io.IoRG.index = 1 - f.io.IoRG.index;
        f.io.IoEdit[1].text = f.io.IoEdit[2].text = "9";
        f.LabelEdit.text = "OTHER";
    }

    void Run(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            Choose(c, c.index);
            s->form.LabelEdit.text = c.what.substr(0, 20);
            c.fill(s->form);
            ASSERT_EQ(BuildInstruction(*s), 0);
            const ProgramLine first = s->builderLine;
            Scramble(c);
            Load(first);
            ASSERT_EQ(BuildInstruction(*s), 0);
            const ProgramLine& again = s->builderLine;
            EXPECT_EQ(Bytes(again.bytes, again.bytes + again.length), Bytes(first.bytes, first.bytes + first.length));
            EXPECT_EQ(again.labelText(), first.labelText());
            EXPECT_EQ(again.gotoLabelText(), first.gotoLabelText());
            EXPECT_EQ(again.patchOffset, first.patchOffset);
            EXPECT_EQ(again.commandCode, first.commandCode);
            EXPECT_EQ(again.moduleAddress, c.module);
        }
        EXPECT_TRUE(ui.messages.empty());
    }
};

TEST_F(RoundTrip, StepperLinesRebuildUnchanged) { Run(StepperCases()); }

TEST_F(RoundTrip, IoLinesRebuildUnchanged) { Run(IoCases()); }

}  // namespace
