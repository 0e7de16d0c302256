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
            if (l.isComment()) continue;   // a guess between two families' identical bytes
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
        if (l.label[0] && !l.isComment()) {
            EXPECT_TRUE(seen.insert(l.labelText()).second) << l.labelText();
            EXPECT_EQ(l.labelText(), TargetLabel(l.address));
        }
    EXPECT_EQ(int(seen.size()), d.labels);
    ExpectExact(image, d);
}

// A program for servo, servo, I/O and stepper read back where only the two
// servos answer: the I/O and stepper If-GoTos and WaitFors are raw lines, but
// master instructions hold their jump where their command puts it, so every
// target still gets its label and every jump its goto-label; a line put in
// front moves the targets, and assembly moves the jumps with them.
TEST_F(Disassembler, JumpsOfAbsentModulesKeepTheirLabels) {
    const std::vector<int> servosOnly = {kTypeMaster, kTypeServo, kTypeServo};
    for (int round = 0; round < 20; ++round) {
        const std::vector<uint8_t> image = Assemble(RandomProgram(rng, 30 + int(rng() % 80)));
        const Disassembly full = Disassemble(image, kNetwork);
        const Disassembly part = Disassemble(image, servosOnly);
        ASSERT_GT(part.rawLines, 0);
        EXPECT_EQ(part.labels, full.labels) << "round " << round;
        // A raw WaitFor of an absent module still names it, from its status request.
        for (const ProgramLine& l : part.program.lines)
            if (!l.isComment() && l.bytes[0] == kMasterMarker && l.commandCode == MasterCmd::kWaitFor &&
                l.bytes[3] == kFrameHeader) {
                EXPECT_EQ(l.moduleAddress, l.bytes[4]);
            }
        EXPECT_EQ(part.jumpsInside, 0) << "round " << round;
        ExpectExact(image, part);

        std::vector<ProgramLine> moved = part.program.lines;
        ProgramLine stop;
        std::memset(&stop, 0, sizeof stop);
        stop.length = uint8_t(PutMasterInstruction(stop.bytes, MasterCmd::kStopProgram));
        stop.commandCode = MasterCmd::kStopProgram;
        moved.insert(moved.begin(), stop);
        Assemble(moved);
        int jumps = 0;
        for (int i = 0; i < s->lineCount; ++i) {
            const ProgramLine& l = s->lines[i];
            if (l.isComment() || !l.gotoLabel[0] || l.gotoLabelText() == "NULL") continue;
            const uint16_t target = uint16_t(l.bytes[l.patchOffset] | (l.bytes[l.patchOffset + 1] << 8));
            EXPECT_EQ(target, FindLabel(*s, l.gotoLabelText())) << l.gotoLabelText();
            ++jumps;
        }
        EXPECT_GT(jumps, 0);
        if (HasFailure()) return;
    }
}

// If-GoTos of two module families can make the same bytes: the module
// addressed last before it tells which it is; without one the choice is a
// guess, and a comment line before it says so.
TEST_F(Disassembler, IdenticalBytesOfTwoFamiliesFollowTheModuleAddressedLast) {
    const auto imageOf = [](uint8_t before, const std::vector<uint8_t>& instruction) {
        uint8_t frame[6];
        const int n = before ? PutStatusRequest(frame, before, kItemPosition, 5) : 0;
        std::vector<uint8_t> image(2 + size_t(n) + instruction.size(), 0);
        image[0] = uint8_t(image.size());
        std::memcpy(image.data() + 2, frame, size_t(n));
        std::memcpy(image.data() + 2 + n, instruction.data(), instruction.size());
        return image;
    };
    std::vector<uint8_t> ifGoTo;
    uint8_t built = 0, guessed = 0;
    for (int tries = 0; tries < 200 && ifGoTo.empty(); ++tries)
        for (const ProgramLine& l : RandomProgram(rng, 50)) {
            if (l.moduleAddress == 0 || l.bytes[0] != kMasterMarker || l.commandCode != MasterCmd::kIfGoTo) continue;
            std::vector<uint8_t> bytes(l.bytes, l.bytes + l.length);
            bytes[l.patchOffset] = bytes[l.patchOffset + 1] = 0xFF;
            const Disassembly d = Disassemble(imageOf(0, bytes), kNetwork);
            if (d.guesses != 1) continue;
            ifGoTo = bytes;
            built = l.moduleAddress;
            guessed = d.program.lines.back().moduleAddress;
            break;
        }
    ASSERT_FALSE(ifGoTo.empty()) << "no If-GoTo that another family's makes too";
    isa::Family builtFamily, guessedFamily;
    ASSERT_TRUE(isa::familyOfType(kNetwork[built], builtFamily));
    ASSERT_TRUE(isa::familyOfType(kNetwork[guessed], guessedFamily));
    const uint8_t other = builtFamily != guessedFamily ? guessed : uint8_t(0);

    // {module addressed before it (0: none), module it is taken for (0: a guess)}
    std::vector<std::pair<uint8_t, uint8_t>> cases = {{0, 0}, {built, built}};
    if (other) cases.push_back({other, other});
    for (const auto& [before, taken] : cases) {
        const std::vector<uint8_t> image = imageOf(before, ifGoTo);
        const Disassembly d = Disassemble(image, kNetwork);
        EXPECT_EQ(d.guesses, taken ? 0 : 1) << int(before);
        const ProgramLine& last = d.program.lines.back();
        const ProgramLine& comment = d.program.lines[d.program.lines.size() - 2];
        if (taken) {
            EXPECT_EQ(last.moduleAddress, taken) << int(before);
            EXPECT_FALSE(comment.isComment()) << comment.commentText();
        } else {
            ASSERT_TRUE(comment.isComment());
            EXPECT_EQ(comment.commentText().rfind(";Guessed module " + std::to_string(last.moduleAddress) + " (", 0), 0u)
                << comment.commentText();
            EXPECT_NE(comment.commentText().find("makes the same bytes"), std::string::npos);
        }
        ExpectExact(image, d);
    }
}

// Near the end of memory lines are cut so that none starts above 16344:
// every image up to 16368 bytes assembles back exactly; a longer one cannot.
TEST_F(Disassembler, NearFullImagesAssembleBackExactly) {
    for (int length : {16344, 16345, 16346, 16350, 16360, 16367, 16368, 16369, 16384}) {
        std::vector<uint8_t> image(size_t(length), 0);
        for (int at = 2; at + 3 <= length; at += 3) {
            image[size_t(at)] = kMasterMarker;
            image[size_t(at + 2)] = MasterCmd::kStopProgram;
        }
        image[0] = uint8_t(length);
        image[1] = uint8_t(length >> 8);
        const Disassembly d = Disassemble(image, kNetwork);
        EXPECT_EQ(d.fits, length <= 16368) << length;
        if (!d.fits) continue;
        for (const ProgramLine& l : d.program.lines) EXPECT_LE(l.address, 16344) << length;
        ExpectExact(image, d);
    }
}

}  // namespace
