// The simulated modules: their replies and their motion.

#include <gtest/gtest.h>

#include <cmath>

#include "SimHarness.h"

namespace {

using sim::Micros;

Bytes LE32(int32_t v) {
    uint32_t u = uint32_t(v);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

int32_t ReadLE32(const Bytes& b, size_t at) {
    return int32_t(uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
                   (uint32_t(b[at + 3]) << 24));
}

Bytes Send(sim::SimModule& m, uint8_t command, const Bytes& data) {
    return m.handle(command, data.data(), int(data.size()));
}

Bytes ServoMoveData(uint8_t control, int32_t pos, int32_t vel, int32_t acc, uint8_t pwm = 0) {
    return Cat({{control}, LE32(pos), LE32(vel), LE32(acc), {pwm}});
}

// Runs m for ms milliseconds from its present time.
void Spin(sim::SimModule& m, int ms) { m.advanceTo(m.time() + Micros(ms) * 1000); }

TEST(SimServo, PositionMoveRampsToTheTargetAndSetsMoveDone) {
    sim::ServoModule s;
    EXPECT_EQ(s.statusByte(), 0x09) << "move done and power on at power-up";
    Send(s, 0xE4, ServoMoveData(0x9F, 1000, 5000, 100));
    EXPECT_EQ(s.statusByte() & 0x01, 0);
    // 10000 counts/s²: half-way after sqrt(1000 / 10000) s = 316 ms.
    Spin(s, 316);
    EXPECT_NEAR(s.position(), 500, 10);
    int32_t last = s.position();
    for (int i = 0; i < 400; ++i) {
        Spin(s, 1);
        ASSERT_GE(s.position(), last);
        ASSERT_LE(s.position(), 1000);
        last = s.position();
    }
    EXPECT_EQ(s.position(), 1000);
    EXPECT_EQ(s.statusByte() & 0x01, 0x01);
    EXPECT_EQ(s.velocity(), 0);
}

TEST(SimServo, LongMoveCruisesAtTheGivenVelocity) {
    sim::ServoModule s;
    Send(s, 0xE4, ServoMoveData(0x9F, 100000, 5000, 100));
    Spin(s, 1000);
    EXPECT_DOUBLE_EQ(s.velocity(), 5000);
    // 0.5 s ramp (1250 counts), then 0.5 s at 5000 counts/s.
    EXPECT_NEAR(s.position(), 3750, 10);
}

TEST(SimServo, RelativeMoveAndNegativeTargets) {
    sim::ServoModule s;
    Send(s, 0xE4, ServoMoveData(0x9F, -2000, 20000, 1000));
    Spin(s, 2000);
    EXPECT_EQ(s.position(), -2000);
    Send(s, 0xE4, ServoMoveData(0xDF, 500, 20000, 1000));
    Spin(s, 2000);
    EXPECT_EQ(s.position(), -1500);
}

TEST(SimServo, VelocityAndPwmModes) {
    sim::ServoModule s;
    Send(s, 0xE4, ServoMoveData(0xBF, 0, 4000, 200));   // 20000 counts/s²: 0.2 s to speed
    Spin(s, 100);
    EXPECT_EQ(s.statusByte() & 0x01, 0);
    EXPECT_NEAR(s.velocity(), 2000, 1);
    Spin(s, 150);
    EXPECT_EQ(s.statusByte() & 0x01, 0x01) << "done once at speed";
    Send(s, 0xE4, ServoMoveData(0xFF, 0, 4000, 0));   // reverse, no ramp
    Spin(s, 10);
    EXPECT_DOUBLE_EQ(s.velocity(), -4000);
    Send(s, 0xE4, ServoMoveData(0x8F, 0, 0, 0, 100));  // PWM 100
    Spin(s, 10);
    EXPECT_DOUBLE_EQ(s.velocity(), 100 * sim::ServoModule::kPwmUnit);
    EXPECT_EQ(s.statusByte() & 0x01, 0x01);
}

TEST(SimServo, MoveLoadsOnlyTheFieldsItsControlByteNamesAndStartsWith0x80) {
    sim::ServoModule s;
    Send(s, 0xE4, ServoMoveData(0x1F, 1000, 5000, 100));
    Spin(s, 500);
    EXPECT_EQ(s.position(), 0);
    EXPECT_EQ(s.statusByte() & 0x01, 0x01);
    // A one-byte Move starts what was loaded.
    Send(s, 0x14, {0x90});
    Spin(s, 1000);
    EXPECT_EQ(s.position(), 1000);
    // A velocity Move whose velocity field is missing is ignored.
    Send(s, 0x14, {0xBF});
    Spin(s, 1000);
    EXPECT_EQ(s.position(), 1000);
    EXPECT_EQ(s.velocity(), 0);
    // Only the velocity field, reverse velocity mode: 300 counts/s backwards
    // after a 30 ms ramp at the acceleration loaded before.
    Send(s, 0x54, Cat({{0xF2}, LE32(300)}));
    Spin(s, 1000);
    EXPECT_NEAR(s.position(), 1000 - 300 + 4.5, 1);
}

TEST(SimServo, StopModes) {
    struct Case {
        uint8_t control;
        bool powerAfter;
        bool stopsAtOnce;
    } cases[] = {
        {0x25, true, true},    // enable amplifier, stop abruptly
        {0x29, true, false},   // enable amplifier, stop smoothly
        {0x22, false, true},   // motor off
        {0x23, false, true},   // motor off wins over enable
        {0x24, false, true},   // abruptly without enable: amplifier off
    };
    for (const Case& c : cases) {
        sim::ServoModule s;
        Send(s, 0xE4, ServoMoveData(0xBF, 0, 10000, 100));
        Spin(s, 2000);
        ASSERT_DOUBLE_EQ(s.velocity(), 10000);
        Send(s, 0x17, {c.control});
        EXPECT_EQ(s.amplifierOn(), c.powerAfter) << int(c.control);
        EXPECT_EQ((s.statusByte() & 0x08) != 0, c.powerAfter) << int(c.control);
        if (c.stopsAtOnce) {
            EXPECT_EQ(s.velocity(), 0) << int(c.control);
        } else {
            Spin(s, 5);
            EXPECT_GT(s.velocity(), 0);
            Spin(s, 2000);
            EXPECT_EQ(s.velocity(), 0);
        }
        Spin(s, 1);
        EXPECT_EQ(s.statusByte() & 0x01, 0x01) << int(c.control);
    }
    // A Move switches the amplifier on again.
    sim::ServoModule s;
    Send(s, 0x17, {0x22});
    Send(s, 0xE4, ServoMoveData(0x9F, 10, 1000, 0));
    EXPECT_EQ(s.statusByte() & 0x08, 0x08);
}

TEST(SimServo, ResetPositionAbsoluteAndRelativeToHome) {
    sim::ServoModule s;
    Send(s, 0xE4, ServoMoveData(0x9F, 3000, 100000, 10000));
    Spin(s, 500);
    ASSERT_EQ(s.position(), 3000);
    Send(s, 0x19, {0x00});                // home here, at once
    EXPECT_EQ(s.homePosition(), 3000);
    Send(s, 0xE4, ServoMoveData(0x9F, 5000, 100000, 10000));
    Spin(s, 500);
    Send(s, 0x10, {0x01});                // relative to home
    EXPECT_EQ(s.position(), 2000);
    EXPECT_EQ(s.homePosition(), 0);
    Send(s, 0x10, {0x00});
    EXPECT_EQ(s.position(), 0);
    EXPECT_EQ(s.homePosition(), -2000);
}

TEST(SimServo, HomingOnTheIndexStopsAndRecordsHome) {
    sim::ServoModule s;
    Send(s, 0xE4, ServoMoveData(0xBF, 0, 4000, 0));
    Send(s, 0x19, {0x08 | 0x10});        // index, stop abruptly on home
    EXPECT_EQ(s.statusByte() & 0x80, 0x80);
    Spin(s, 400);
    EXPECT_EQ(s.statusByte() & 0x80, 0x80);
    Spin(s, 200);                          // crosses 2000 at 500 ms
    EXPECT_EQ(s.statusByte() & 0x80, 0);
    EXPECT_NEAR(s.homePosition(), 2000, 5);
    EXPECT_EQ(s.velocity(), 0);
    EXPECT_EQ(s.position(), s.homePosition());
}

TEST(SimServo, LimitInputsAndHomingOnALimit) {
    sim::ServoModule s;
    s.setPhysicalPosition(sim::ServoModule::kLimitPosition + 5);
    EXPECT_EQ(s.statusByte() & 0x60, 0x40);
    s.setPhysicalPosition(-sim::ServoModule::kLimitPosition);
    EXPECT_EQ(s.statusByte() & 0x60, 0x20);
    s.setPhysicalPosition(sim::ServoModule::kLimitPosition - 100);
    Send(s, 0xE4, ServoMoveData(0xBF, 0, 1000, 0));
    Send(s, 0x19, {0x02 | 0x04});        // limit 2, motor off on home
    Spin(s, 200);
    EXPECT_EQ(s.statusByte() & 0x88, 0) << "homed, amplifier off";
    EXPECT_NEAR(s.homePosition(), sim::ServoModule::kLimitPosition, 2);
}

TEST(SimServo, StatusItemsAndGains) {
    sim::ServoModule s;
    Send(s, 0xE4, ServoMoveData(0x9F, -123456, 10000000, 0));
    Spin(s, 20);
    Bytes r = Send(s, 0x13, {0x11});
    ASSERT_EQ(r.size(), 9u);
    EXPECT_EQ(r[0], 0x09);
    EXPECT_EQ(ReadLE32(r, 1), -123456);
    EXPECT_EQ(ReadLE32(r, 5), 0);
    EXPECT_EQ(Send(s, 0x13, {0x20}), (Bytes{0x09, 0x00, 0x0B}));
    EXPECT_EQ(Send(s, 0x13, {0x00}), Bytes{0x09});
    EXPECT_EQ(Send(s, 0x0B, {}), Bytes{0x09});
    Bytes gains{0x64, 0x00, 0xE8, 0x03, 0, 0, 0, 0, 0xFF, 0x00, 0xD0, 0x07, 0x01, 0x00};
    gains[0] = 0x2C;  // Kp 300
    gains[1] = 0x01;
    Send(s, 0xE6, gains);
    EXPECT_EQ(s.gains()[0], 300);
    EXPECT_EQ(s.gains()[6], 2000);
}

TEST(SimStepper, PositionMoveFromTheBuildersExample) {
    sim::StepperModule m;
    EXPECT_EQ(m.statusByte(), 0x0C);
    // Move to -500 at speed 100, acceleration 20: 2500 steps/s, 5000 steps/s².
    Send(m, 0x74, Cat({{0x87}, LE32(-500), {100, 20}}));
    Spin(m, 100);
    EXPECT_EQ(m.statusByte() & 0x01, 0x01);
    EXPECT_LT(m.position(), 0);
    Spin(m, 700);
    EXPECT_EQ(m.position(), -500);
    EXPECT_EQ(m.statusByte() & 0x11, 0);
}

TEST(SimStepper, VelocityModeReachesSpeedAndSpeedFactorScales) {
    sim::StepperModule m;
    Send(m, 0x34, {0x96, 100, 20});      // reverse, speed 100, acceleration 20
    Spin(m, 600);
    EXPECT_DOUBLE_EQ(m.velocity(), -2500);
    EXPECT_EQ(m.statusByte() & 0x11, 0x11) << "moving, at speed";
    Send(m, 0x56, {0x02, 3, 40, 12, 9});  // speed factor 2x
    EXPECT_EQ(m.speedFactor(), 2);
    EXPECT_EQ((Bytes{m.minSpeed(), m.runCurrent(), m.holdCurrent(), m.thermalLimit()}), (Bytes{3, 40, 12, 9}));
    Send(m, 0x34, {0x86, 100, 20});
    Spin(m, 1000);
    EXPECT_DOUBLE_EQ(m.velocity(), 5000);
    Send(m, 0x17, {0x05});               // enable, abruptly
    EXPECT_EQ(m.velocity(), 0);
    EXPECT_EQ(m.statusByte() & 0x05, 0x04);
    Send(m, 0x17, {0x00});               // amplifier off
    EXPECT_EQ(m.statusByte() & 0x04, 0);
}

TEST(SimStepper, LimitsStopMotionUnlessIgnored) {
    for (bool ignore : {false, true}) {
        sim::StepperModule m;
        Send(m, 0x56, {uint8_t(0x00 | (ignore ? 0x04 : 0)), 1, 20, 10, 0});   // 8x: 200 steps/s a unit
        Send(m, 0x34, {0x86, 250, 0});   // 50000 steps/s, no ramp
        Spin(m, 5000);
        Bytes r = Send(m, 0x13, {0x08});
        ASSERT_EQ(r.size(), 2u);
        EXPECT_EQ(r[1] & 0x10, 0x10) << "limit 2 high";
        if (ignore) {
            EXPECT_GT(m.position(), 240000);
        } else {
            EXPECT_EQ(r[0] & 0x01, 0) << "stopped at the limit";
            EXPECT_LE(m.position(), 200000 + 50);
        }
    }
}

TEST(SimStepper, EStopStopsAndCanSwitchTheAmplifierOff) {
    sim::StepperModule m;
    Send(m, 0x56, {0x13, 1, 20, 10, 0});  // off on E-Stop, 1x
    Send(m, 0x34, {0x86, 10, 0});
    Spin(m, 10);
    m.setExternalInputs(sim::StepperModule::EStop | sim::StepperModule::Input1);
    Spin(m, 2);
    EXPECT_EQ(m.statusByte() & 0x05, 0);
    EXPECT_EQ(m.inputByte() & 0x03, 0x03);
}

TEST(SimStepper, HomingOnTheHomeSwitchAndStatusItems) {
    sim::StepperModule m;
    Send(m, 0x34, {0x86, 40, 0});        // 1000 steps/s
    Send(m, 0x19, {0x08 | 0x10});        // home switch, stop abruptly
    EXPECT_EQ(m.statusByte() & 0x80, 0x80);
    Spin(m, 1100);
    EXPECT_EQ(m.statusByte() & 0x81, 0);
    EXPECT_NEAR(m.homePosition(), sim::StepperModule::kHomeSwitchFrom, 2);
    Bytes r = Send(m, 0x13, {0x19});
    ASSERT_EQ(r.size(), 10u);
    EXPECT_EQ(ReadLE32(r, 1), m.position());
    EXPECT_EQ(r[5] & 0x20, 0x20) << "standing on the home switch";
    EXPECT_EQ(ReadLE32(r, 6), m.homePosition());
    EXPECT_EQ(Send(m, 0x13, {0x20}), (Bytes{0x0C, 0x03, 0x0C}));
    Send(m, 0x00, {});
    EXPECT_EQ(m.position(), 0);
    Send(m, 0x18, {0x11});
    EXPECT_EQ(m.outputs(), 0x11);
}

TEST(SimIo, DirectionsOutputsInputsAndPwm) {
    sim::IoModule io;
    io.setExternalLevels(0x0F0F);
    EXPECT_EQ(Send(io, 0x13, {0x01}), (Bytes{0x00, 0x0F, 0x0F}));
    Send(io, 0x20, {0x00, 0xFF});        // Bits 1-8 outputs
    EXPECT_EQ(io.inputBits(), 0x0F00);
    io.setOutputs(true, 0x0081);
    EXPECT_EQ(io.inputBits(), 0x0F81);
    io.setOutputs(false, 0xFFFE);
    EXPECT_EQ(io.inputBits(), 0x0F80);
    Send(io, 0x24, {255, 7});
    EXPECT_EQ(io.pwm(0), 255);
    EXPECT_EQ(io.pwm(1), 7);
    EXPECT_EQ(Send(io, 0x13, {0x21}), (Bytes{0x00, 0x80, 0x0F, 0x02, 0x0A}));
}

TEST(SimModuleBasics, BareModuleReportsOnlyItsTypeAndTimeNeverRunsBackwards) {
    auto m = sim::MakeModule(1);
    EXPECT_EQ(m->typeCode(), 1);
    EXPECT_EQ(Send(*m, 0x13, {0x20}), (Bytes{0x00, 0x01, 0x01}));
    EXPECT_EQ(Send(*m, 0xE4, Bytes(14, 0)), Bytes{0x00});
    sim::ServoModule s;
    s.advanceTo(5000000);
    s.advanceTo(1000);
    EXPECT_EQ(s.time(), 5000000);
}

TEST(SimModuleBasics, PositionsWrapLikeA32BitCounter) {
    EXPECT_EQ(sim::Wrap32(int64_t(1) << 32), 0);
    EXPECT_EQ(sim::Wrap32(0x80000000LL), INT32_MIN);
    EXPECT_EQ(sim::Wrap32(-1), -1);
}

}  // namespace
