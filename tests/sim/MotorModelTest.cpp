// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SimDeviceAccess.h"

#include "device/RegisterTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

using namespace simtest;

namespace {

struct MoveTrace
{
    double maxSpeed = 0; ///< motor, pulses/s
    double maxSetPointSpeed = 0;
    double maxSetPointAccel = 0;
    int64_t finalPosition = 0;
    int64_t finalSpeed = 0;
    double maxOvershoot = 0;
    double maxFollowingError = 0; ///< motor behind the set-point
};

/// Samples a position move every \a sample until \a duration has passed.
MoveTrace samplePositionMove(SimController &c, int32_t goal, std::chrono::milliseconds duration,
                             std::chrono::milliseconds sample = 10ms)
{
    MoveTrace t;
    const int64_t start = readInt(c, Reg::Position);
    const double direction = goal >= start ? 1.0 : -1.0;
    write32(c, Reg::Input, goal);
    write8(c, Reg::RegulationMode, 5);
    const double dt = std::chrono::duration<double>(sample).count();
    double lastDesired = double(readInt(c, Reg::Desired));
    double lastSetSpeed = 0;
    for (auto elapsed = 0ms; elapsed < duration; elapsed += sample) {
        c.advance(sample);
        const double desired = double(readInt(c, Reg::Desired));
        const double setSpeed = (desired - lastDesired) / dt;
        t.maxSetPointSpeed = std::max(t.maxSetPointSpeed, std::abs(setSpeed));
        t.maxSetPointAccel = std::max(t.maxSetPointAccel, std::abs(setSpeed - lastSetSpeed) / dt);
        lastDesired = desired;
        lastSetSpeed = setSpeed;
        t.maxSpeed = std::max(t.maxSpeed, std::abs(double(readInt(c, Reg::Speed))));
        t.maxFollowingError =
            std::max(t.maxFollowingError, std::abs(desired - double(readInt(c, Reg::Position))));
        t.maxOvershoot =
            std::max(t.maxOvershoot, (double(readInt(c, Reg::Position)) - goal) * direction);
    }
    t.finalPosition = readInt(c, Reg::Position);
    t.finalSpeed = readInt(c, Reg::Speed);
    return t;
}

} // namespace

TEST(MotorModel, PositionMoveReachesGoalWithinTopSpeedAndAcceleration)
{
    auto c = makeController("NETEC-A");
    // 50 ms samples: whole pulses then blur the acceleration by less than 2 %.
    const MoveTrace t = samplePositionMove(*c, 10000, 8000ms, 50ms);
    EXPECT_NEAR(double(t.finalPosition), 10000.0, 3.0);
    EXPECT_EQ(t.finalSpeed, 0);
    EXPECT_LE(t.maxSetPointSpeed, 2000.0 * 1.01);
    EXPECT_GE(t.maxSetPointSpeed, 2000.0 * 0.99); // the move is long enough to cruise
    EXPECT_LE(t.maxSetPointAccel, 43172.0 * 1.02);
    EXPECT_LE(t.maxSpeed, 2000.0 * 1.05);
    // Without feed-forward the integral carries the back-EMF and the friction
    // and overshoots a little when the set-point stops.
    EXPECT_LE(t.maxOvershoot, 20.0);
}

TEST(MotorModel, FeedForwardRemovesOvershootAndLag)
{
    auto c = makeController("NETEC-A");
    writeFixed16(*c, Reg::Kvff, 1.0);
    write32(*c, Reg::Kaff, int64_t(0.0343 * 16777216));
    write32(*c, Reg::Kdff, int64_t(0.0343 * 16777216));
    write32(*c, Reg::VffOffset, 437); // the friction
    const MoveTrace t = samplePositionMove(*c, 10000, 8000ms, 50ms);
    EXPECT_NEAR(double(t.finalPosition), 10000.0, 2.0);
    EXPECT_LE(t.maxOvershoot, 2.0);
    EXPECT_LE(t.maxFollowingError, 4.0);
}

TEST(MotorModel, PositionMoveHonoursChangedLimitsAndDeadZone)
{
    auto c = makeController("NETDC-A");
    write32(*c, Reg::SpeedMax, 5000);
    write32(*c, Reg::Acceleration, 20000);
    write32(*c, Reg::Deceleration, 10000);
    write32(*c, Reg::DeadZone, 10);
    const MoveTrace t = samplePositionMove(*c, -20000, 10000ms, 50ms);
    EXPECT_NEAR(double(t.finalPosition), -20000.0, 10.0 + 3.0);
    EXPECT_LE(t.maxSetPointSpeed, 5000.0 * 1.01);
    EXPECT_LE(t.maxSetPointAccel, 20000.0 * 1.02);
    EXPECT_LE(t.maxSpeed, 5000.0 * 1.05);
}

TEST(MotorModel, InputLimitsClampThePositionGoal)
{
    auto c = makeController("NETDC-A");
    write32(*c, Reg::InputMax, 3000);
    samplePositionMove(*c, 50000, 4000ms);
    EXPECT_NEAR(double(readInt(*c, Reg::Position)), 3000.0, 3.0);
    EXPECT_EQ(readInt(*c, Reg::Input), 50000); // the register keeps what was written
}

TEST(MotorModel, EveryLoopTimeStaysStable)
{
    for (uint8_t option = 0; option <= 6; ++option) {
        SCOPED_TRACE(int(option));
        auto c = makeController("NETDC-A");
        ASSERT_TRUE(write8(*c, Reg::LoopTimeOption, option));
        EXPECT_EQ(readInt(*c, Reg::LoopTimeOption), option);
        const MoveTrace t = samplePositionMove(*c, 8000, 9000ms, 50ms);
        EXPECT_NEAR(double(t.finalPosition), 8000.0, 3.0);
        EXPECT_EQ(t.finalSpeed, 0);
        // Slower loops are derated, so they lag and overshoot more, but settle.
        const double loopSeconds =
            std::array{0.05, 0.02, 0.01, 0.005, 0.002, 0.001, 0.0005}[option];
        EXPECT_LE(t.maxOvershoot, 20.0 + 4000.0 * loopSeconds);
        // Still at rest a while later: no limit cycle.
        c->advance(2s);
        EXPECT_NEAR(double(readInt(*c, Reg::Position)), 8000.0, 3.0);
    }
    auto c = makeController("NETDC-A");
    EXPECT_FALSE(write8(*c, Reg::LoopTimeOption, 7));
    EXPECT_EQ(readInt(*c, Reg::LoopTimeOption), 5);
}

TEST(MotorModel, SpeedConsignSettlesNearConsign)
{
    for (const int32_t consign : {1500, -800}) {
        auto c = makeController("BUSEC-A");
        write32(*c, Reg::Input, consign);
        write8(*c, Reg::RegulationMode, 4);
        c->advance(1500ms);
        EXPECT_NEAR(double(readInt(*c, Reg::Speed)), consign, std::abs(consign) * 0.02);
        EXPECT_EQ(readInt(*c, Reg::Desired), consign); // the ramp has arrived
        EXPECT_EQ(readInt(*c, Reg::Warning) & (1 << 6), 0) << "no following error";
        // Above top speed the consign is limited.
        write32(*c, Reg::Input, consign * 10);
        c->advance(2s);
        EXPECT_NEAR(std::abs(double(readInt(*c, Reg::Speed))), 2000.0, 40.0);
        // Wait mode brakes to a stop and holds.
        write8(*c, Reg::RegulationMode, 3);
        c->advance(1s);
        const int64_t held = readInt(*c, Reg::Position);
        c->advance(1s);
        EXPECT_EQ(readInt(*c, Reg::Speed), 0);
        EXPECT_NEAR(double(readInt(*c, Reg::Position)), double(held), 2.0);
    }
}

TEST(MotorModel, OpenLoopMovesInTheSignOfThePwm)
{
    auto c = makeController("NETDC-A");
    write32(*c, Reg::Input, 16384); // 25 %
    write8(*c, Reg::RegulationMode, 2);
    c->advance(1s);
    const int64_t quarter = readInt(*c, Reg::Speed);
    EXPECT_GT(quarter, 10000);
    EXPECT_GT(readInt(*c, Reg::Position), 0);
    EXPECT_EQ(readInt(*c, Reg::Command), 16384);
    EXPECT_EQ(readInt(*c, Reg::Desired), 16384);

    write32(*c, Reg::Input, -32768);
    c->advance(2s);
    EXPECT_LT(readInt(*c, Reg::Speed), -quarter * 3 / 2); // faster, the other way

    // An output voltage limit of 3 V caps the speed.
    writeFixed16(*c, Reg::MaxOutputVoltage, 3.0);
    c->advance(2s);
    const int64_t capped = readInt(*c, Reg::Speed);
    EXPECT_LT(capped, 0);
    EXPECT_GT(capped, -quarter);
    EXPECT_NEAR(double(readInt(*c, Reg::Command)), -3.0 / 24.0 * 65535, 400.0);
    EXPECT_NE(readInt(*c, Reg::Warning) & (1 << 8), 0) << "output saturated";
}

TEST(MotorModel, DriverStopBrakesFasterThanDriverOpen)
{
    auto distanceAfterCut = [](uint8_t mode) {
        auto c = makeController("NETDC-A");
        write32(*c, Reg::Input, 32768);
        write8(*c, Reg::RegulationMode, 2);
        c->advance(1s);
        const int64_t from = readInt(*c, Reg::Position);
        write8(*c, Reg::RegulationMode, mode);
        c->advance(10s);
        EXPECT_EQ(readInt(*c, Reg::Speed), 0);
        EXPECT_EQ(readInt(*c, Reg::Command), 0);
        return readInt(*c, Reg::Position) - from;
    };
    const int64_t braked = distanceAfterCut(0);
    const int64_t coasted = distanceAfterCut(1);
    EXPECT_GT(braked, 0);
    EXPECT_GT(coasted, braked * 2);
}

TEST(MotorModel, StepperFollowsTheTrajectoryExactly)
{
    auto c = makeController("BUSST-A");
    write32(*c, Reg::Input, 6400);
    write8(*c, Reg::RegulationMode, 5);
    for (int i = 0; i < 400; ++i) {
        c->advance(10ms);
        ASSERT_EQ(readInt(*c, Reg::Position), readInt(*c, Reg::Desired));
        ASSERT_LE(std::abs(readInt(*c, Reg::Speed)), 2000);
    }
    EXPECT_EQ(readInt(*c, Reg::Position), 6400);
    EXPECT_EQ(readInt(*c, Reg::Speed), 0);

    write32(*c, Reg::Input, -1000);
    write8(*c, Reg::RegulationMode, 4);
    c->advance(1s);
    EXPECT_EQ(readInt(*c, Reg::Speed), -1000);
}

TEST(MotorModel, CurrentLimitTemperatureAndCurrentSense)
{
    auto c = makeController("NETEC-A");
    writeFixed16(*c, Reg::CurrentMax, 1.0);
    write32(*c, Reg::Input, 65536);
    write8(*c, Reg::RegulationMode, 2);
    c->advance(20ms); // accelerating at the current limit
    EXPECT_NE(readInt(*c, Reg::Warning) & (1 << 12), 0) << "over current";
    const std::vector<uint8_t> sense = readBytes(*c, Reg::CurrentSense);
    ASSERT_EQ(sense.size(), 6u);
    // Decoded in reverse order: first value the live current, then min, then max.
    const double live = int16_t((sense[0] << 8) | sense[1]) / 256.0;
    const double low = int16_t((sense[2] << 8) | sense[3]) / 256.0;
    const double high = int16_t((sense[4] << 8) | sense[5]) / 256.0;
    EXPECT_NEAR(live, 1.0, 0.05);
    EXPECT_LE(low, live);
    EXPECT_GE(high, live);
    const double coldTemperature = readFixed16(*c, Reg::Temperature);
    EXPECT_GE(coldTemperature, 24.0);
    EXPECT_LE(coldTemperature, 30.0);

    // Reversing at full output keeps the winding current high: it warms up.
    writeFixed16(*c, Reg::CurrentMax, 10.0);
    for (int i = 0; i < 30; ++i) {
        write32(*c, Reg::Input, i % 2 ? -65536 : 65536);
        c->advance(200ms);
    }
    EXPECT_GT(readFixed16(*c, Reg::Temperature), coldTemperature + 2.0);
    EXPECT_NEAR(readFixed16(*c, Reg::Voltage), 24.0, 0.5);
}
