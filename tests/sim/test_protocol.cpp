// The simulated master's side of the host protocol, byte for byte.

#include <gtest/gtest.h>

#include "SimHarness.h"

namespace {

TEST(SimProtocol, AnnouncesItselfAtPowerUpAndAfterReset) {
    Harness h;
    EXPECT_EQ(h.announce, Bytes{'#'});
    EXPECT_EQ(h.send({0x8F}), Bytes{'#'});
}

TEST(SimProtocol, StopAnswersSixBytesWithModuleCountAndAddress) {
    Harness h;
    // Byte 0 echoes the command; then count, status A, status B, address 2.
    EXPECT_EQ(h.send({0x80}), (Bytes{0x80, 4, 0x00, 0x00, 0x02, 0x00}));
    SimOptions none;
    none.moduleTypes = {};
    Harness empty(none);
    EXPECT_EQ(empty.send({0x80})[1], 0);
}

TEST(SimProtocol, VersionAnswersTwoBytes) {
    SimOptions o;
    o.version = 7;
    Harness h(o);
    EXPECT_EQ(h.send({0x88}), (Bytes{0x88, 7}));
}

TEST(SimProtocol, CommandsWithArgumentsAreAcknowledgedBeforeTheirArguments) {
    Harness h;
    for (uint8_t cmd : {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87}) {
        Harness fresh;
        EXPECT_EQ(fresh.send({cmd}), Bytes{cmd}) << int(cmd);
    }
    // Commands without arguments answer at once; unknown ones not at all.
    EXPECT_EQ(h.send({0x89}), Bytes{});
    EXPECT_EQ(h.send({0xFF}), Bytes{});
    EXPECT_EQ(h.send({0x80}).size(), 6u);
}

TEST(SimProtocol, WriteBlockStoresAndReadBlockReturnsSixteenBytesAndTheirSum) {
    Harness h;
    Bytes data;
    for (int i = 0; i < 16; ++i) data.push_back(uint8_t(0xF0 + i));
    Bytes args = Cat({LE16(0x0110), {0x10}, data});
    args.push_back(Sum8(args));
    EXPECT_EQ(h.send({0x83}), Bytes{0x83});
    EXPECT_EQ(h.send(args), Bytes{0x00});
    EXPECT_EQ(h.send({0x84}), Bytes{0x84});
    Bytes r = h.send(Cat({LE16(0x0110), {0x10}}));
    ASSERT_EQ(r.size(), 17u);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 16), data);
    EXPECT_EQ(r[16], Sum8(data));
    EXPECT_EQ(h.core->memory()[0x0110], 0xF0);
    EXPECT_EQ(h.core->memory()[0x011F], 0xFF);
}

TEST(SimProtocol, WriteBlockRejectsBadChecksumAndBlocksOutsideMemory) {
    struct Case {
        unsigned offset;
        int checksumDelta;
        const char* what;
    } cases[] = {
        {0x0000, 1, "bad checksum"},
        {0x3FF0, 1, "bad checksum at the last block"},
        {0x3FF1, 0, "block runs past 16 KB"},
        {0xFFF0, 0, "offset far outside"},
    };
    for (const Case& c : cases) {
        Harness h;
        Bytes args = Cat({LE16(c.offset), {0x10}, Bytes(16, 0x5A)});
        args.push_back(uint8_t(Sum8(args) + c.checksumDelta));
        h.send({0x83});
        EXPECT_EQ(h.send(args), Bytes{0xCC}) << c.what;
        for (int i = 0; i < sim::kMemorySize; ++i) ASSERT_EQ(h.core->memory()[i], 0) << c.what;
        // The master is back in step: the next command is understood.
        EXPECT_EQ(h.send({0x88}).size(), 2u) << c.what;
    }
    Harness last;
    Bytes args = Cat({LE16(0x3FF0), {0x10}, Bytes(16, 0x5A)});
    args.push_back(Sum8(args));
    last.send({0x83});
    EXPECT_EQ(last.send(args), Bytes{0x00});
    EXPECT_EQ(last.core->memory()[0x3FFF], 0x5A);
}

TEST(SimProtocol, ReadBlockBeyondMemoryReadsZeros) {
    Harness h;
    h.send({0x84});
    Bytes r = h.send(Cat({LE16(0x3FF8), {0x10}}));
    ASSERT_EQ(r.size(), 17u);
    EXPECT_EQ(r, Bytes(17, 0));
}

TEST(SimProtocol, ExecuteChecksTheInstructionsChecksum) {
    Harness h;
    Bytes type = Frame(1, 0x13, {0x20}, 3);
    EXPECT_EQ(type, (Bytes{0xAA, 0x01, 0x13, 0x20, 0x34, 0x03}));
    EXPECT_EQ(h.execute(type), 0x00);

    h.send({0x85});
    Bytes args{6};
    args.insert(args.end(), type.begin(), type.end());
    args.push_back(uint8_t(Sum8(type) + 1));
    EXPECT_EQ(h.send(args), Bytes{0xCC});
}

TEST(SimProtocol, ExecuteRejectsWhatCannotBeExecuted) {
    Harness h;
    struct Case {
        Bytes instruction;
        const char* what;
    } cases[] = {
        {Frame(9, 0x13, {0x20}, 3), "no module at address 9"},
        {Bytes{0xAA, 0x01, 0x13, 0x20, 0x00, 0x03}, "frame checksum wrong"},
        {Bytes{0xAA, 0x01, 0x23, 0x20, 0x44, 0x03}, "frame shorter than its command byte says"},
        {Master(0, LE16(2)), "GoTo cannot be executed at once"},
        {Master(9, LE16(100)), "Delay cannot be executed at once"},
        {Master(16), "unused code 16"},
        {Bytes{0xBB, 0x05, 0x07}, "count says more bytes than sent"},
        {Bytes{0x12, 0x34, 0x56}, "neither form"},
        {Cat({Master(18, {0, 0, 0, 0, 1, 1, 0x01, 0x00})}), "SetOutputs on a servo"},
    };
    for (const Case& c : cases) EXPECT_EQ(h.execute(c.instruction), 0xCC) << c.what;
    EXPECT_EQ(h.execute(Master(14)), 0x00);   // TavoInit
    EXPECT_EQ(h.execute(Master(7)), 0x00);    // GetStatus
}

TEST(SimProtocol, TypeRequestCollectsThreeBytesAndReadReplyAddsAFourth) {
    SimOptions o;
    o.moduleTypes = {0, 2, 3, 1};
    Harness h(o);
    const uint8_t expected[] = {0, 2, 3, 1};
    for (uint8_t i = 1; i <= 4; ++i) {
        ASSERT_EQ(h.execute(Frame(i, 0x13, {0x20}, 3)), 0x00);
        Bytes r = h.readReply(4);
        ASSERT_EQ(r.size(), 4u) << int(i);
        EXPECT_EQ(r[1], expected[i - 1]) << int(i);
        EXPECT_EQ(r[3], 0) << "only three bytes were collected";
    }
}

TEST(SimProtocol, ReadReplySendsTheCountAskedAndTheirChecksum) {
    Harness h;
    for (int n : {0, 1, 4, 10, 32, 40, 255}) {
        h.send({0x87});
        Bytes r = h.send({uint8_t(n)});
        ASSERT_EQ(r.size(), size_t(n) + 1) << n;
        EXPECT_EQ(r.back(), Sum8(r, 0, size_t(n))) << n;
        for (int i = 32; i < n; ++i) EXPECT_EQ(r[size_t(i)], 0) << "beyond the status area";
    }
}

TEST(SimProtocol, ReadReplyShowsTheProgramsRepliesOnlyWithASharedArea) {
    // The program asks servo 1 for its status byte every 5 ms; the host asks
    // the I/O module for its type and reads the reply 20 ms later.
    struct Case {
        bool shared;
        Bytes reply;
    } const cases[] = {
        {false, {0x00, 0x02, 0x0A, 0x00}},   // the I/O module's status, type and firmware
        {true, {0x09, 0x00, 0x00, 0x00}},    // servo 1's status byte (power on, move done), zeros beyond
    };
    for (const Case& c : cases) {
        SimOptions o;
        o.moduleTypes = {0, 2};
        o.sharedReplyArea = c.shared;
        Harness h(o);
        ProgramBuilder p;
        p.add(Frame(1, 0x13, {0x00}, 1)).label("L");
        p.add(WaitFor(Frame(1, 0x13, {0x00}, 1), 0, 0x00, 0xFF, 5000), 14, "L").add(GoTo(), 3, "L");
        ASSERT_TRUE(h.load(p.build()));
        ASSERT_TRUE(h.runAt(2));
        h.run(3);
        ASSERT_EQ(h.execute(Frame(2, 0x13, {0x20}, 3)), 0x00);
        h.run(20);
        EXPECT_EQ(h.readReply(4), c.reply) << (c.shared ? "shared" : "separate");
    }
}

TEST(SimProtocol, PollAnswersPrintedCharactersThenMarkerAndStatus) {
    Harness h;
    ASSERT_EQ(h.execute(Master(5, {'H', 'i', 13, 10})), 0x00);
    EXPECT_EQ(h.send({0x8E}), (Bytes{'H', 'i', 13, 10, 'U', 4, 0x00, 0x00, 0x02, 0x00}));
    // Characters are sent once.
    EXPECT_EQ(h.send({0x8E}), (Bytes{'U', 4, 0x00, 0x00, 0x02, 0x00}));
}

TEST(SimProtocol, PrintedMarkerCharactersFollowTheStatusBytes) {
    Harness h;
    ASSERT_EQ(h.execute(Master(5, {'a', 'U', 'U', 'b', 'U'})), 0x00);
    EXPECT_EQ(h.send({0x8E}), (Bytes{'a', 'U', 4, 0, 0, 2, 0, 'U', 'U'}));
    EXPECT_EQ(h.send({0x8E}), (Bytes{'b', 'U', 4, 0, 0, 2, 0, 'U'}));
    EXPECT_EQ(h.send({0x8E}), (Bytes{'U', 4, 0, 0, 2, 0}));
}

TEST(SimProtocol, BytesBelow0x80AreKeysOnlyBetweenCommands) {
    Harness h;
    EXPECT_EQ(h.send({'k'}), Bytes{});
    EXPECT_EQ(h.core->key(), 'k');
    // An argument byte below 0x80 is no key.
    h.send({0x87});
    h.send({0x05});
    EXPECT_EQ(h.core->key(), 'k');
    h.send({'z'});
    EXPECT_EQ(h.core->key(), 'z');
}

TEST(SimProtocol, AbandonsACommandWhoseArgumentsStopComing) {
    SimOptions o;
    o.argTimeoutMs = 200;
    Harness h(o);
    EXPECT_EQ(h.send({0x83}), Bytes{0x83});
    h.send({0x00});
    h.run(201);
    // 0x80 is a command again, not an argument.
    EXPECT_EQ(h.send({0x80}).size(), 6u);
}

TEST(SimProtocol, BreakpointIsSetAndCleared) {
    Harness h;
    EXPECT_TRUE(h.breakAt(0x0123));
    EXPECT_EQ(h.core->breakpoint(), 0x0123);
    EXPECT_TRUE(h.breakAt(0xFFFF));
    EXPECT_EQ(h.core->breakpoint(), 0xFFFF);
}

TEST(SimProtocol, ResetClearsTheMastersStateButKeepsTheProgram) {
    Harness h;
    ASSERT_TRUE(h.load({0xBB, 0x00, 0x04}));
    ASSERT_EQ(h.execute(Master(12, Cat({LE16(500), {2}}))), 0x00);
    h.send({'q'});
    h.breakAt(7);
    ASSERT_EQ(h.core->counter(1), 500);
    EXPECT_EQ(h.send({0x8F}), Bytes{'#'});
    EXPECT_EQ(h.core->counter(1), 0);
    EXPECT_EQ(h.core->key(), -1);
    EXPECT_EQ(h.core->breakpoint(), 0xFFFF);
    EXPECT_EQ(h.core->memory()[4], 0x04);
}

// ---------------------------------------------------------------------------
// Faults

TEST(SimFaults, SilentFromACommandAnswersNothingFromThereOn) {
    SimOptions o;
    o.faults.silentFrom = 0x85;
    Harness h(o);
    EXPECT_EQ(h.send({0x80}).size(), 6u);
    EXPECT_EQ(h.send({0x85}), Bytes{});
    EXPECT_EQ(h.send({0x80}), Bytes{});
    EXPECT_EQ(h.send({0x8F}), Bytes{});
}

TEST(SimFaults, DropAckLeavesOutOneAcknowledgeOnly) {
    SimOptions o;
    o.faults.dropAck = 2;
    o.argTimeoutMs = 100;
    Harness h(o);
    EXPECT_EQ(h.send({0x87}), Bytes{0x87});
    EXPECT_EQ(h.send({0x00}), Bytes{0x00});
    EXPECT_EQ(h.send({0x84}), Bytes{}) << "second acknowledged command";
    h.run(101);
    EXPECT_EQ(h.send({0x84}), Bytes{0x84});
}

TEST(SimFaults, CcRejectsEveryBlockAndExecute) {
    SimOptions o;
    o.faults.cc = true;
    Harness h(o);
    EXPECT_FALSE(h.load({0xBB, 0, 4}));
    EXPECT_EQ(h.core->memory()[2], 0);
    EXPECT_EQ(h.execute(Master(14)), 0xCC);
}

TEST(SimFaults, GarbageKeepsLengthsButNeverSendsMarkerOrAnnounce) {
    SimOptions o;
    o.faults.garbage = true;
    Harness h(o);
    Bytes all;
    for (int i = 0; i < 200; ++i) {
        Bytes r = h.send({0x8E});
        ASSERT_EQ(r.size(), 6u);
        all.insert(all.end(), r.begin(), r.end());
    }
    for (uint8_t b : all) {
        ASSERT_NE(b, 'U');
        ASSERT_NE(b, '#');
    }
    EXPECT_NE(all, Bytes(all.size(), all[0])) << "noise varies";
}

TEST(SimFaults, HangupAtTheNthCommand) {
    SimOptions o;
    o.faults.hangupAt = 3;
    Harness h(o);
    EXPECT_EQ(h.send({0x88}).size(), 2u);
    EXPECT_EQ(h.send({0x88}).size(), 2u);
    EXPECT_FALSE(h.core->hungUp());
    EXPECT_EQ(h.send({0x88}), Bytes{});
    EXPECT_TRUE(h.core->hungUp());
}

TEST(SimOptionsParsing, FaultsModulesAndBounds) {
    SimFaults f;
    std::string error;
    EXPECT_TRUE(ParseSimFault("silent-from=0x85", f, error));
    EXPECT_EQ(f.silentFrom, 0x85);
    EXPECT_TRUE(ParseSimFault("drop-ack=3", f, error));
    EXPECT_EQ(f.dropAck, 3);
    EXPECT_TRUE(ParseSimFault("hangup=12", f, error));
    EXPECT_EQ(f.hangupAt, 12);
    EXPECT_TRUE(ParseSimFault("cc", f, error));
    EXPECT_TRUE(ParseSimFault("garbage", f, error));
    EXPECT_TRUE(f.cc && f.garbage);
    EXPECT_TRUE(ParseSimFault("bad-count=5", f, error));
    EXPECT_EQ(f.badCountAt, 5);
    for (const char* bad : {"silent-from=0x7F", "silent-from=", "drop-ack=0", "hangup=x", "cc=1", "loud", "bad-count=0"}) {
        error.clear();
        EXPECT_FALSE(ParseSimFault(bad, f, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }

    bool shared = false;
    EXPECT_TRUE(ParseSimReplyArea("shared", shared, error) && shared);
    EXPECT_TRUE(ParseSimReplyArea("separate", shared, error) && !shared);
    EXPECT_FALSE(ParseSimReplyArea("one", shared, error));

    std::vector<int> types;
    EXPECT_TRUE(ParseSimModules("servo,servo,io,step", types, error));
    EXPECT_EQ(types, (std::vector<int>{0, 0, 2, 3}));
    EXPECT_TRUE(ParseSimModules("stepper,1,255", types, error));
    EXPECT_EQ(types, (std::vector<int>{3, 1, 255}));
    EXPECT_TRUE(ParseSimModules("", types, error));
    EXPECT_TRUE(types.empty());
    EXPECT_FALSE(ParseSimModules("servo,,io", types, error));
    EXPECT_FALSE(ParseSimModules("256", types, error));
    std::string many = "io";
    for (int i = 0; i < 31; ++i) many += ",io";
    EXPECT_FALSE(ParseSimModules(many, types, error));

    SimOptions o;
    o.moduleTypes.assign(32, 0);
    EXPECT_FALSE(ValidateSimOptions(o, error));
    o.moduleTypes.assign(31, 0);
    EXPECT_TRUE(ValidateSimOptions(o, error));
    o.paceBaud = -1;
    EXPECT_FALSE(ValidateSimOptions(o, error));
}

}  // namespace
