// The numeric field rule, the listing columns and the Execute Now frame length.
#include <gtest/gtest.h>

#include <vector>

#include "TestPlatform.h"
#include "app/MainState.h"
#include "isa/Codec.h"
#include "app/panels/Instruction.h"

namespace {

// The numeric field rule as "%d" reads: the first 39 characters, leading
// white space, a sign, digits up to the first other character.
TEST(NumericFieldRule, ScansLikePercentD) {
    const char* const range = "Value out of range";
    const char* const invalid = "Invalid numeric value";
    const struct {
        const char* text;
        long long min, max;
        long long expected;     // when accepted
        const char* message;    // nullptr: accepted
    } cases[] = {
        {"  +25abc", 0, 255, 25, nullptr}, {"12 sec", 0, 60000, 12, nullptr},
        {"", 0, 255, 0, invalid}, {"abc", 0, 255, 0, invalid}, {"-", 0, 255, 0, invalid}, {"+", 0, 9, 0, invalid},
        {"+ 5", 0, 255, 0, invalid}, {"- 3", -9, 9, 0, invalid}, {"1e3", 0, 9, 1, nullptr},
        {"-1", 0, 60000, 0, range}, {"60001", 0, 60000, 0, range}, {"60000", 0, 60000, 60000, nullptr},
        {"\t\n 7", 1, 4, 0, range}, {"\t\n 7", 0, 9, 7, nullptr}, {"0", 1, 4, 0, range}, {"4", 1, 4, 4, nullptr},
        {"2147483647", -2147483646, 2147483647, 2147483647, nullptr},
        {"-2147483646", -2147483646, 2147483647, -2147483646, nullptr},
        {"-2147483647", -2147483646, 2147483647, 0, range}, {"2147483648", 0, 2147483647, 0, range},
        {"-99999999999999999999", 0, 255, 0, range}, {"99999999999", 0, 2147483647, 0, range},
        {"00000000000000000000000000000000000012", 0, 255, 12, nullptr},
        // Only the first 39 characters are taken: the 40th digit is not part of the number.
        {"000000000000000000000000000000000000001" "5", 0, 255, 1, nullptr},
        {"000000000000000000000000000000000000000123", 0, 99, 0, nullptr},
    };
    for (const auto& c : cases) {
        long long value = -12345;
        const char* message = isa::readNumber(c.text, c.min, c.max, value);
        EXPECT_STREQ(message, c.message) << '"' << c.text << '"';
        if (!c.message) {
            EXPECT_EQ(value, c.expected) << '"' << c.text << '"';
        }
    }
}

ProgramLine Line(const char* label, int address, std::initializer_list<uint8_t> bytes) {
    ProgramLine l{};
    l.setLabel(label);
    l.moduleAddress = uint8_t(address);
    int i = 0;
    for (uint8_t b : bytes) l.bytes[i++] = b;
    l.length = uint8_t(i);
    l.commandCode = l.bytes[2];
    return l;
}

TEST(ListingText, LabelAndAddressColumns) {
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    s->moduleTypes[0] = 127;
    s->moduleTypes[10] = 99;  // a type without rows: only the columns are shown
    s->moduleTypes[31] = 99;
    EXPECT_EQ(FormatListingText(*s, Line("", 10, {0xAA, 10, 0x13, 0, 0x1D, 1})), "          A ");
    EXPECT_EQ(FormatListingText(*s, Line("ABCDEFGHIJ", 31, {0xAA, 31, 0x13, 0, 0x32, 1})), "ABCDEFGH 1F ");
    EXPECT_EQ(FormatListingText(*s, Line("EXACTLY8", 31, {0xAA, 31, 0x13, 0, 0x32, 1})), "EXACTLY8 1F ");
    EXPECT_EQ(FormatListingText(*s, Line("L", 0, {0xBB, 0, 99})), "L         0 ");
}

TEST(ListingText, CommentShownAsStored) {
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    ProgramLine c{};
    c.setComment("; start here");
    EXPECT_EQ(FormatListingText(*s, c), "; start here");
    c.setComment(";");
    EXPECT_EQ(FormatListingText(*s, c), ";");
}

TEST(ExecuteNow, FrameLengthFromHighNibble) {
    struct Case {
        std::initializer_list<uint8_t> bytes;
        int expected;
    } cases[] = {
        {{0xAA, 1, 0x13, 0x11}, 6},       // one data byte
        {{0xAA, 4, 0x34, 0x86}, 8},       // three data bytes
        {{0xAA, 4, 0x74, 0x87}, 12},      // seven data bytes
        {{0xAA, 1, 0xE4}, 19},            // fourteen
        {{0xAA, 1, 0x0B}, 5},             // none
        {{0xBB, 8, 18}, 11},              // SetOutputs: byte 1 + 3
        {{0xBB, 5, 3}, -1},               // If-GoTo: not at once
        {{0xBB, 0, 2}, -1},               // Return
    };
    for (const auto& c : cases) {
        ProgramLine l = Line("", 1, c.bytes);
        EXPECT_EQ(ExecuteNowLength(l), c.expected) << int(l.bytes[2]);
    }
}

TEST(Bytes, LittleEndianAndChecksum) {
    uint8_t b[8] = {};
    PutU32(b, uint32_t(-500));
    EXPECT_EQ(b[0], 0x0C);
    EXPECT_EQ(b[3], 0xFF);
    EXPECT_EQ(GetI32(b), -500);
    PutU16(b + 4, 60000);
    EXPECT_EQ(b[4], 0x60);
    EXPECT_EQ(b[5], 0xEA);
    EXPECT_EQ(GetU16(b + 4), 60000);
    const uint8_t frame[] = {0xAA, 2, 0x20, 0xFE, 0xF7};
    EXPECT_EQ(FrameChecksum(frame, 2), 0x17);

    // Whole frames as detection, the status windows and WaitFor send them.
    using Bytes = std::vector<uint8_t>;
    const auto sent = [](int length, const uint8_t* p) { return Bytes(p, p + length); };
    const uint8_t data[2] = {0xFE, 0xF7};
    uint8_t f1[8], f2[8], f3[8], f4[8], f5[8];
    const struct {
        Bytes got, expected;
    } frames[] = {
        {sent(PutModuleFrame(f1, 2, 0x20, data, 2, 1), f1), {0xAA, 2, 0x20, 0xFE, 0xF7, 0x17, 1}},
        {sent(PutModuleFrame(f2, 31, 0x0B, data, 0, 1), f2), {0xAA, 31, 0x0B, 0x2A, 1}},
        {sent(PutStatusRequest(f3, 31, kItemType, 3), f3), {0xAA, 31, 0x13, 0x20, 0x52, 3}},
        {sent(PutStatusRequest(f4, 0xF0, kItemPosition | kItemHomePosition, 9), f4), {0xAA, 0xF0, 0x13, 0x11, 0x14, 9}},
        {sent(PutMasterInstruction(f5, MasterCmd::kTavoInit), f5), {0xBB, 0, 0x0E}},
    };
    for (const auto& f : frames) EXPECT_EQ(f.got, f.expected);

    // Module types: which have a family, which are slaves.
    const struct {
        int type;
        bool slave, family;
    } types[] = {{kTypeServo, true, true},   {kTypeIo, true, true},     {kTypeStepper, true, true},
                 {kTypeMaster, false, true}, {1, false, false},         {4, false, false},
                 {kTypeUnknown, false, false}, {-1, false, false}};
    for (const auto& t : types) {
        EXPECT_EQ(IsKnownSlave(t.type), t.slave) << t.type;
        EXPECT_EQ(HasFamily(t.type), t.family) << t.type;
    }
}

}  // namespace
