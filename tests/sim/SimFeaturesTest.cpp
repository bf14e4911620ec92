// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SimDeviceAccess.h"

#include "device/RegisterTable.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace simtest;

namespace {

constexpr uint32_t WarnNoHome = 1u << 10;
constexpr uint32_t WarnLimit2 = 1u << 16;

bool enhanced(SimController &c, uint8_t options, int8_t function, int32_t goal)
{
    const uint32_t g = uint32_t(goal);
    const uint8_t b[6] = {options,          uint8_t(function), uint8_t(g >> 24),
                          uint8_t(g >> 16), uint8_t(g >> 8),   uint8_t(g)};
    return c.writeRegister(Reg::EnhancedInput, b);
}

void writeLoops(SimController &c, uint32_t denominator, uint32_t numerator, uint32_t pulses)
{
    uint8_t b[12];
    for (int i = 0; i < 4; ++i) {
        b[i] = uint8_t(denominator >> (24 - 8 * i));
        b[4 + i] = uint8_t(numerator >> (24 - 8 * i));
        b[8 + i] = uint8_t(pulses >> (24 - 8 * i));
    }
    ASSERT_TRUE(c.writeRegister(Reg::LoopsConfig, b));
}

uint32_t homingOptions(int type, int speedIndex = 11, int timeIndex = 9)
{
    // Current ratio 100 %, acceleration ratio 100 %.
    return uint32_t(type) | (11u << 8) | (uint32_t(speedIndex) << 12) | (11u << 16)
           | (uint32_t(timeIndex) << 20);
}

} // namespace

TEST(SimHoming, LimitSwitchHomingSetsThePositionAndGoesToTheHomingInput)
{
    auto c = makeController("NETEC-A");
    c->setLimitSwitchPositions(-3000, 30000);
    write32(*c, Reg::Position, 777); // the counter means nothing before homing
    write32(*c, Reg::HomingOption, homingOptions(8));
    write32(*c, Reg::HomingPosition, -100);
    write32(*c, Reg::HomingInput, 500);
    ASSERT_TRUE(command(*c, Reg::HomingStart));
    c->advance(100ms);
    EXPECT_LT(readInt(*c, Reg::Speed), -500); // searching towards limit 1
    EXPECT_NE(readInt(*c, Reg::Warning) & WarnNoHome, 0);
    c->advance(5s);
    // The switch closed 3000 pulses below the start; that point is now -100.
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 5);
    EXPECT_EQ(readInt(*c, Reg::Input), 500);
    EXPECT_NEAR(double(readInt(*c, Reg::Position)), 500.0, 3.0);
    EXPECT_EQ(readInt(*c, Reg::Warning) & WarnNoHome, 0);
    write32(*c, Reg::Input, -100);
    c->advance(3s);
    // Back at the switch position.
    std::vector<uint8_t> io;
    ASSERT_TRUE(c->readRegister(Reg::IoState, io));
    EXPECT_EQ(io[1] & 1, 1) << "limit 1 input active at home";
}

TEST(SimHoming, OtherHomingTypes)
{
    { // Already at home: position set, motor stays.
        auto c = makeController("NETDC-A");
        write32(*c, Reg::HomingOption, homingOptions(0));
        write32(*c, Reg::HomingPosition, 4242);
        command(*c, Reg::HomingStart);
        c->advance(500ms);
        EXPECT_NEAR(double(readInt(*c, Reg::Position)), 4242.0, 1.0);
        EXPECT_EQ(readInt(*c, Reg::Input), 4242);
    }
    { // Index mark: once per turn (2000 pulses); starting at 0 going up, the
        // next mark is one turn away.
        auto c = makeController("NETDC-A");
        write32(*c, Reg::Input, 500);
        write8(*c, Reg::RegulationMode, 5);
        c->advance(2s);
        write32(*c, Reg::HomingOption, homingOptions(3, 9));
        write32(*c, Reg::HomingPosition, 0);
        write32(*c, Reg::HomingInput, 0);
        command(*c, Reg::HomingStart);
        c->advance(6s);
        EXPECT_EQ(readInt(*c, Reg::RegulationMode), 5);
        EXPECT_NEAR(double(readInt(*c, Reg::Position)), 0.0, 3.0);
    }
    { // Current rise against the end stop beyond limit switch 1.
        auto c = makeController("BUSEC-A");
        c->setLimitSwitchPositions(-2000, 30000);
        write32(*c, Reg::HomingOption, homingOptions(4) & ~0xF00u); // current ratio 2 %
        writeFixed16(*c, Reg::CurrentMax, 10.0);                    // 0.2 A at the stop
        write32(*c, Reg::HomingPosition, 0);
        write32(*c, Reg::HomingInput, 1000);
        command(*c, Reg::HomingStart);
        c->advance(8s);
        EXPECT_EQ(readInt(*c, Reg::Warning) & WarnNoHome, 0);
        EXPECT_NEAR(double(readInt(*c, Reg::Position)), 1000.0, 3.0);
    }
}

TEST(SimHoming, StopAbortsAndTimeOutFails)
{
    auto c = makeController("NETEC-A");
    write32(*c, Reg::HomingOption, homingOptions(9, 11, 0)); // limit 1 upwards: never found, 2 s
    command(*c, Reg::HomingStart);
    c->advance(500ms);
    EXPECT_GT(readInt(*c, Reg::Speed), 500);
    ASSERT_TRUE(command(*c, Reg::HomingStop));
    c->advance(1s);
    EXPECT_LE(std::abs(readInt(*c, Reg::Speed)), 5);
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 3);
    EXPECT_NE(readInt(*c, Reg::Warning) & WarnNoHome, 0);

    command(*c, Reg::HomingStart);
    c->advance(4s);
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 3); // given up after 2 s
    c->advance(1s);
    EXPECT_LE(std::abs(readInt(*c, Reg::Speed)), 5);

    write32(*c, Reg::HomingOption, 14); // no such homing type
    command(*c, Reg::HomingStart);
    c->advance(10ms);
    EXPECT_NE(readInt(*c, Reg::Warning) & WarnNoHome, 0);
}

TEST(SimAutoTuning, RunsThenWritesGains)
{
    auto c = makeController("NETEC-A");
    ASSERT_TRUE(write8(*c, Reg::AutoTuning, 0x11));
    c->advance(1s);
    EXPECT_EQ(readInt(*c, Reg::AutoTuning), 0x03);
    EXPECT_NE(readInt(*c, Reg::Speed), 0); // the motor is being excited
    c->advance(4s);
    EXPECT_EQ(readInt(*c, Reg::AutoTuning), 0x00);
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 0);
    EXPECT_EQ(readFixed16(*c, Reg::Kp), 1.25);
    EXPECT_EQ(readInt(*c, Reg::AntiResetWindup), 17476);
    EXPECT_GT(readFixed16(*c, Reg::Kvff), 0.9);
    EXPECT_GT(readInt(*c, Reg::Kaff), 0);
    EXPECT_GT(readInt(*c, Reg::SpeedMax), 2000);

    // The tuned gains drive a position move well.
    write32(*c, Reg::Input, 20000);
    write8(*c, Reg::RegulationMode, 5);
    c->advance(3s);
    EXPECT_NEAR(double(readInt(*c, Reg::Position)), 20000.0, 3.0);
}

TEST(SimAutoTuning, ErrorAbortAndReset)
{
    auto c = makeController("BUSDC-C");
    c->setAutoTuneOutcome(SimAutoTuneOutcome::Error);
    write8(*c, Reg::AutoTuning, 0x01);
    c->advance(4s);
    EXPECT_EQ(readInt(*c, Reg::AutoTuning), 0x14);
    EXPECT_EQ(readFixed16(*c, Reg::Kp), 1.0); // nothing written
    write8(*c, Reg::AutoTuning, 0x00);
    EXPECT_EQ(readInt(*c, Reg::AutoTuning), 0x00);

    c->setAutoTuneOutcome(SimAutoTuneOutcome::Success);
    write8(*c, Reg::AutoTuning, 0x01);
    c->advance(1s);
    write8(*c, Reg::AutoTuning, 0x02);
    EXPECT_EQ(readInt(*c, Reg::AutoTuning), 0x04);
    c->advance(5s);
    EXPECT_EQ(readInt(*c, Reg::AutoTuning), 0x04);
    EXPECT_EQ(readFixed16(*c, Reg::Kp), 1.0);
    EXPECT_EQ(readInt(*c, Reg::Speed), 0);
}

TEST(SimEnhanced, GoalPlusLoopsAndNumberedCommands)
{
    auto c = makeController("NETEC-A");
    writeLoops(*c, 2, 1, 1000); // 1000.5 pulses per loop
    ASSERT_TRUE(enhanced(*c, 0x80, 2, 300));
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 5);
    EXPECT_EQ(readInt(*c, Reg::Input), 2301); // 300 + 2 x 1000.5, rounded
    c->advance(3s);
    EXPECT_NEAR(double(readInt(*c, Reg::Position)), 2301.0, 3.0);
    EXPECT_EQ(readBytes(*c, Reg::EnhancedInput),
              (std::vector<uint8_t>{0x80, 0x02, 0x00, 0x00, 0x01, 0x2C}));

    // Absolute: the goal itself; percent: a share of one loop.
    enhanced(*c, 0x84, 5, 100);
    EXPECT_EQ(readInt(*c, Reg::Input), 100);
    enhanced(*c, 0x90, 0, 0x7FFFFF); // 50 % of a loop, in the loop the motor is in
    EXPECT_EQ(readInt(*c, Reg::Input), 2501);

    enhanced(*c, 0x80, 110, 1500); // infinite positive loops at 1500 p/s
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 4);
    c->advance(2s);
    EXPECT_NEAR(double(readInt(*c, Reg::Speed)), 1500.0, 30.0);

    enhanced(*c, 0x80, 107, 0); // brake, then hold where it stopped
    c->advance(2s);
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 5);
    EXPECT_EQ(readInt(*c, Reg::Speed), 0);
    EXPECT_NEAR(double(readInt(*c, Reg::Input)), double(readInt(*c, Reg::Position)), 3.0);

    const int64_t here = readInt(*c, Reg::Position);
    enhanced(*c, 0x80, 109, -250);
    EXPECT_EQ(readInt(*c, Reg::Input), here - 250);
    enhanced(*c, 0x80, 108, 50);
    EXPECT_EQ(readInt(*c, Reg::Input), here - 200);
    c->advance(2s);

    // Range: the counter is folded into one loop, the goal with it.
    enhanced(*c, 0x80, 113, 0);
    const int64_t folded = readInt(*c, Reg::Position);
    EXPECT_GE(folded, 0);
    EXPECT_LE(folded, 1001);
    c->advance(1s);
    EXPECT_NEAR(double(readInt(*c, Reg::Position)), double(folded), 3.0);
}

TEST(SimEnhanced, AnyCommandByteIsSafe)
{
    auto c = makeController("BUSST-D");
    writeLoops(*c, 0, 7, 0); // a broken loop configuration
    for (int function = -128; function <= 127; ++function) {
        for (const uint8_t options : {0x80, 0x9C, 0x04, 0xFF}) {
            ASSERT_TRUE(enhanced(*c, options, int8_t(function), function * 1000003));
            c->advance(5ms);
        }
    }
    c->advance(1s);
    EXPECT_EQ(readBytes(*c, Reg::Position).size(), 4u);
}

TEST(SimLimits, UsedLimitSwitchesActOnceAndRaiseWarnings)
{
    auto c = makeController("NETDC-A");
    c->setLimitSwitchPositions(-30000, 4000);
    // Limit 2: used, active on 1, change mode to wait mode, set position 9000.
    write32(*c, Reg::Limit2Setup, 0x0F);
    write8(*c, Reg::Limit2ControlMode, 3);
    write32(*c, Reg::Limit2Position, 9000);
    write32(*c, Reg::Input, 1500);
    write8(*c, Reg::RegulationMode, 4);
    c->advance(4s);
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 3);
    EXPECT_EQ(readInt(*c, Reg::Speed), 0);
    const int64_t position = readInt(*c, Reg::Position);
    EXPECT_GT(position, 9000); // set to 9000 at the switch, then braked
    EXPECT_LT(position, 9200);
    const uint32_t warnings = uint32_t(readInt(*c, Reg::Warning));
    EXPECT_EQ(warnings & (3u << 16), 3u << 16); // present and latched

    // Clearing keeps present bits and drops latched ones.
    c->setLimitSwitch(2, false);
    c->advance(10ms);
    EXPECT_EQ(uint32_t(readInt(*c, Reg::Warning)) & (3u << 16), 2u << 16);
    ASSERT_TRUE(write32(*c, Reg::Warning, 0));
    EXPECT_EQ(uint32_t(readInt(*c, Reg::Warning)) & (3u << 16), 0u);

    // Injected warnings show like real ones.
    c->setForcedWarnings(1u << 28);
    c->advance(10ms);
    EXPECT_EQ(uint32_t(readInt(*c, Reg::Warning)) & (3u << 28), 3u << 28);
    EXPECT_EQ(uint32_t(readInt(*c, Reg::Warning)) & WarnLimit2, 0u);
}

TEST(SimOptions, InvertedDirectionRunsAPositiveConsignIntoLimit1)
{
    auto c = makeController("NETDC-A");
    c->setLimitSwitchPositions(-3000, 30000);
    // Limit 1: used, active on 1, change mode to "Driver Stop".
    write32(*c, Reg::Limit1Setup, 0x07);
    write8(*c, Reg::Limit1ControlMode, 0);
    write32(*c, Reg::Options, 1u << 1);
    write32(*c, Reg::Input, 1500);
    write8(*c, Reg::RegulationMode, 4);
    c->advance(500ms);
    EXPECT_GT(readInt(*c, Reg::Speed), 500); // the counter runs up ...
    c->advance(4s);
    // ... while the motor turned towards limit 1, which stopped it.
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 0);
    const int64_t position = readInt(*c, Reg::Position);
    EXPECT_GT(position, 2900);
    EXPECT_LT(position, 3400);
    EXPECT_NE(uint32_t(readInt(*c, Reg::Warning)) & (1u << 14), 0u);
}

TEST(SimOptions, AutoDissipationIgnores0x2F)
{
    // A dissipation voltage below the supply clamps it there (fixed
    // dissipation); with bit 16 the drive's own level applies instead.
    auto supply = [](uint32_t options) {
        auto c = makeController("NETEC-A");
        write32(*c, Reg::Options, options);
        write32(*c, Reg::DissipationVoltage, 10 * 65536);
        c->advance(50ms);
        return readFixed16(*c, Reg::Voltage);
    };
    EXPECT_NEAR(supply(0), 10.0, 0.01);
    EXPECT_NEAR(supply(1u << 16), 24.0, 0.2);
}
