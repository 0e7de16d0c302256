// Disassembly of program images: assembling the lines it gives back yields
// the image byte for byte, for builder-made programs (every instruction then
// a line of its command, read back by the program text as such) and for
// images of any bytes (raw lines); labels at jump targets, "NULL" for FFFF.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <variant>

#include "RandomProgram.h"
#include "TestPlatform.h"
#include "app/MainState.h"
#include "isa/Codec.h"
#include "isa/Vocabulary.h"
#include "program/Assembly.h"
#include "program/Disassemble.h"
#include "program/InstructionText.h"
#include "app/Editing.h"
#include "program/ProgramText.h"

namespace {

const std::vector<int>& kNetwork = kDefaultNetwork;

struct Disassembler : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    std::mt19937 rng{28};

    std::vector<uint8_t> Assemble(const std::vector<ProgramLine>& lines) {
        s->lineCount = 0;
        for (const ProgramLine& l : lines) s->lines[s->lineCount++] = l;
        RebuildListing(*s);
        EXPECT_EQ(AssembleProgram(*s), 0) << (ui.messages.empty() ? "" : ui.messages.back());
        return {s->programImage, s->programImage + s->imageLength};
    }

    // Assembled again, the disassembly gives image; the text form keeps it.
    void ExpectExact(const std::vector<uint8_t>& image, const Disassembly& d) {
        EXPECT_EQ(Assemble(d.program.lines), image);
        std::vector<ProgramTextError> errors;
        ProgramFileData back;
        ASSERT_TRUE(ParseProgramText(FormatProgramText(d.program), back, errors))
            << (errors.empty() ? "" : errors[0].message) << "\n" << FormatProgramText(d.program);
        EXPECT_EQ(Assemble(back.lines), image);
    }
};

TEST_F(Disassembler, BuilderProgramsComeBackAsTheirCommands) {
    for (int round = 0; round < 40; ++round) {
        const std::vector<ProgramLine> program = RandomProgram(rng, 5 + int(rng() % 150));
        const std::vector<uint8_t> image = Assemble(program);
        const Disassembly d = Disassemble(image, kNetwork);
        ASSERT_EQ(d.rawLines, 0) << "round " << round;
        EXPECT_EQ(d.instructionLines, int(program.size()));
        EXPECT_EQ(d.jumpsInside, 0);
        InstructionTexts texts(kNetwork);
        for (const ProgramLine& l : d.program.lines) {
            EXPECT_NE(texts.read(l).command, kRawCommand) << "command code " << int(l.commandCode);
            if (l.patchOffset) {
                EXPECT_TRUE(l.gotoLabelText() == "NULL" || l.gotoLabelText().rfind("L_", 0) == 0);
            }
        }
        ExpectExact(image, d);
        if (HasFailure()) return;
    }
}

TEST_F(Disassembler, BytesNoCommandBuildsBecomeRawLines) {
    // {image after the header, network, raw lines, instruction lines, labels, jumps kept as addresses}
    struct Case {
        const char* what;
        std::vector<uint8_t> body;
        std::vector<int> network;
        int raw, instructions, labels, inside;
    };
    const std::vector<Case> cases = {
        {"GoTo FFFF", {0xBB, 0x02, 0x00, 0xFF, 0xFF}, kNetwork, 0, 1, 0, 0},
        {"GoTo itself", {0xBB, 0x02, 0x00, 0x02, 0x00}, kNetwork, 0, 1, 1, 0},
        {"GoTo inside itself", {0xBB, 0x02, 0x00, 0x03, 0x00}, kNetwork, 0, 1, 0, 1},
        {"GoTo past the end", {0xBB, 0x02, 0x00, 0x07, 0x00}, kNetwork, 0, 1, 0, 1},
        {"CountDown at the end, to the start",
         {0xBB, 0x00, 0x04, 0xBB, 0x03, 0x0D, 0x02, 0x00, 0x00}, kNetwork, 0, 2, 1, 0},
        {"frame for a module not on the network",
         {0xAA, 0x07, 0x13, 0x01, 0x1B, 0x01, 0xBB, 0x00, 0x04}, kNetwork, 1, 1, 0, 0},
        {"frame with a bad checksum, then StopProgram",
         {0xAA, 0x01, 0x13, 0x01, 0x00, 0x01, 0xBB, 0x00, 0x04}, kNetwork, 1, 1, 0, 0},
        {"unknown master code", {0xBB, 0x00, 0x7E}, kNetwork, 1, 0, 0, 0},
        {"two stray bytes", {0x01, 0x02}, kNetwork, 1, 0, 0, 0},
        {"jump into stray bytes splits them", {0xBB, 0x02, 0x00, 0x09, 0x00, 1, 2, 3, 4, 5, 6}, kNetwork, 2, 1, 1, 0},
        {"servo frame on a network without modules", {0xAA, 0x01, 0x13, 0x01, 0x15, 0x01}, {kTypeMaster}, 1, 0, 0, 0},
        {"60 stray bytes: raw lines of at most 24", std::vector<uint8_t>(60, 0x55), kNetwork, 3, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image(c.body.size() + 2);
        image[0] = uint8_t(image.size());
        std::copy(c.body.begin(), c.body.end(), image.begin() + 2);
        const Disassembly d = Disassemble(image, c.network);
        EXPECT_EQ(d.rawLines, c.raw) << c.what;
        EXPECT_EQ(d.instructionLines, c.instructions) << c.what;
        EXPECT_EQ(d.labels, c.labels) << c.what;
        EXPECT_EQ(d.jumpsInside, c.inside) << c.what;
        EXPECT_EQ(d.program.moduleListCount, int(c.network.size()) - 1) << c.what;
        ExpectExact(image, d);
    }
}

// 1100 GoTos to themselves: assembly takes 1024 labels, the rest keep their address.
TEST_F(Disassembler, TargetsPastTheLabelTableKeepTheirAddress) {
    std::vector<uint8_t> image(2 + 1100 * 5);
    for (int k = 0; k < 1100; ++k) {
        const int at = 2 + 5 * k;
        const uint8_t goTo[5] = {0xBB, 0x02, 0x00, uint8_t(at), uint8_t(at >> 8)};
        std::memcpy(image.data() + at, goTo, 5);
    }
    image[0] = uint8_t(image.size());
    image[1] = uint8_t(image.size() >> 8);
    const Disassembly d = Disassemble(image, kNetwork);
    EXPECT_EQ(d.labels, 1024);
    EXPECT_EQ(d.jumpsInside, 76);
    ExpectExact(image, d);
}

TEST_F(Disassembler, AnyBytesAssembleBackExactly) {
    for (int round = 0; round < 200; ++round) {
        // Builder instructions with random bytes between them and over them.
        std::vector<uint8_t> image = Assemble(RandomProgram(rng, 1 + int(rng() % 20)));
        for (int k = int(rng() % 12); k > 0; --k) {
            const size_t at = 2 + rng() % (image.size() - 1);
            if (rng() % 2) image.insert(image.begin() + long(at), uint8_t(rng()));
            else if (at < image.size()) image[at] = uint8_t(rng());
        }
        image[0] = uint8_t(image.size());
        image[1] = uint8_t(image.size() >> 8);
        ExpectExact(image, Disassemble(image, kNetwork));
        if (HasFailure()) return;
    }
}

TEST_F(Disassembler, FullImageLabelsAreUniqueAndShowTheirAddress) {
    // As many random lines as fit in memory (the last may start at 16344).
    std::vector<ProgramLine> program = RandomProgram(rng, 4000, 300);
    size_t used = 2, fit = 0;
    while (fit < program.size() && used <= 16344 && used + program[fit].length <= 16384) used += program[fit++].length;
    program.resize(fit);
    const std::vector<uint8_t> image = Assemble(program);
    ASSERT_GT(image.size(), 16344u);
    const Disassembly d = Disassemble(image, kNetwork);
    EXPECT_EQ(d.rawLines, 0);
    std::set<std::string> seen;
    for (const ProgramLine& l : d.program.lines)
        if (l.label[0]) {
            EXPECT_TRUE(seen.insert(l.labelText()).second) << l.labelText();
            EXPECT_EQ(l.labelText(), TargetLabel(l.address));
        }
    EXPECT_EQ(int(seen.size()), d.labels);
    ExpectExact(image, d);
}

}  // namespace
