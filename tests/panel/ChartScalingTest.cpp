// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ChartScaling.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

ReceivedValues speedSample(int32_t speed)
{
    ReceivedValues values;
    values.Speed = speed;
    return values;
}

ReceivedValues currentSample(float min, float live, float max)
{
    ReceivedValues values;
    values.CurrentMin = min;
    values.CurrentLive = live;
    values.CurrentMax = max;
    return values;
}

TEST(ChartScaling, ConstantSpeedAfterResetKeepsItsAxis)
{
    ChartScaling scaling;
    const AxisSetting reset = scaling.resetSpeedScale(speedSample(1000));
    // 1000 is above the axis maximum 20: the maximum is set first.
    EXPECT_EQ(reset, (AxisSetting{980, 1020, true}));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(scaling.addSample(speedSample(1000)).speedAxis);
    EXPECT_EQ(scaling.speedAxis(), (AxisRange{980, 1020}));
}

TEST(ChartScaling, SpeedAxisWidensAroundThePresentSample)
{
    ChartScaling scaling;
    EXPECT_TRUE(scaling.addSample(speedSample(5000)).speedAxis);
    // Extremes 0 .. 5000: margin 250.
    EXPECT_EQ(scaling.speedAxis(), (AxisRange{-20, 5250}));
    // The margin applies around the present sample: 100 - 250 widens the minimum.
    scaling.addSample(speedSample(100));
    EXPECT_EQ(scaling.speedAxis(), (AxisRange{-150, 5250}));
    // A sample well inside changes nothing; the axis never shrinks.
    EXPECT_FALSE(scaling.addSample(speedSample(2000)).speedAxis);
    scaling.addSample(speedSample(-1000));
    // Extremes -1000 .. 5000: margin 300.
    EXPECT_EQ(scaling.speedAxis(), (AxisRange{-1300, 5250}));
    EXPECT_EQ(scaling.speedMinSeen(), -1000);
    EXPECT_EQ(scaling.speedMaxSeen(), 5000);
}

TEST(ChartScaling, FullRangeSpeedsDoNotOverflowTheMargin)
{
    ChartScaling scaling;
    scaling.addSample(speedSample(INT32_MAX));
    scaling.addSample(speedSample(INT32_MIN));
    const AxisRange axis = scaling.speedAxis();
    EXPECT_GT(axis.maximum, double(INT32_MAX));
    EXPECT_LT(axis.minimum, double(INT32_MIN));
}

TEST(ChartScaling, CurrentAxisFollowsTheExtremes)
{
    ChartScaling scaling;
    EXPECT_TRUE(scaling.addSample(currentSample(-0.5f, 0.2f, 1.5f)).currentAxis);
    // Extremes -0.5 .. 1.5: margin 0.1.
    EXPECT_DOUBLE_EQ(scaling.currentAxis().maximum, 1.6);
    EXPECT_EQ(scaling.currentAxis().minimum, -1.0);
    // The axis follows the extremes, not the present sample.
    EXPECT_FALSE(scaling.addSample(currentSample(0, 0, 0)).currentAxis);
    EXPECT_DOUBLE_EQ(scaling.currentAxis().maximum, 1.6);
}

TEST(ChartScaling, CurrentResetOrder)
{
    ChartScaling scaling;
    const AxisSetting up = scaling.resetCurrentScale(currentSample(0.5f, 1, 2));
    EXPECT_TRUE(up.maximumFirst);
    EXPECT_DOUBLE_EQ(up.maximum, 2.1);
    EXPECT_DOUBLE_EQ(up.minimum, 0.4);
    const AxisSetting down = scaling.resetCurrentScale(currentSample(-0.25f, 0, 0.25f));
    EXPECT_FALSE(down.maximumFirst);
    EXPECT_DOUBLE_EQ(down.minimum, -0.35);
    EXPECT_EQ(scaling.currentMaxSeen(), 0.25f);
    EXPECT_EQ(scaling.currentMinSeen(), -0.25f);
}

TEST(ChartScaling, SpeedResetBelowTheAxisSetsTheMinimumFirst)
{
    ChartScaling scaling;
    EXPECT_EQ(scaling.resetSpeedScale(speedSample(-500)), (AxisSetting{-520, -480, false}));
    EXPECT_EQ(scaling.speedMaxSeen(), -500);
}

TEST(ChartScaling, TabStripReleaseResetsExtremesAndWithCtrlTheAxis)
{
    ChartScaling scaling;
    scaling.addSample(speedSample(5000));
    const ReceivedValues now = speedSample(300);

    const ChartScaling::TabRelease plain =
        scaling.tabStripReleased(false, ChartScaling::SpeedPage, now);
    EXPECT_FALSE(plain.speedAxis);
    EXPECT_EQ(scaling.speedAxis(), (AxisRange{-20, 5250}));
    EXPECT_EQ(scaling.speedMaxSeen(), 300);
    EXPECT_EQ(scaling.speedMinSeen(), 300);

    const ChartScaling::TabRelease other = scaling.tabStripReleased(true, 0, now);
    EXPECT_FALSE(other.speedAxis);
    EXPECT_FALSE(other.currentAxis);

    const ChartScaling::TabRelease speed =
        scaling.tabStripReleased(true, ChartScaling::SpeedPage, now);
    ASSERT_TRUE(speed.speedAxis);
    EXPECT_EQ(scaling.speedAxis(), (AxisRange{280, 320}));

    const ChartScaling::TabRelease current =
        scaling.tabStripReleased(true, ChartScaling::CurrentPage, currentSample(-1, 0, 1));
    ASSERT_TRUE(current.currentAxis);
    EXPECT_FALSE(current.speedAxis);
}

TEST(ChartScaling, PlottedValuesAndVisibility)
{
    EXPECT_EQ(ChartScaling::commandPercent(65535), 100);
    EXPECT_EQ(ChartScaling::commandPercent(-32768), -50);
    EXPECT_EQ(ChartScaling::commandPercent(655), 0);
    EXPECT_EQ(ChartScaling::commandPercent(INT32_MAX), 3276849);

    EXPECT_EQ(ChartScaling::micrometres(1000, 4.0f), 250.0);
    EXPECT_TRUE(std::isnan(ChartScaling::micrometres(1000, 0.0f)));

    EXPECT_FALSE(ChartScaling::desiredSeriesVisible(true));
    EXPECT_TRUE(ChartScaling::desiredSeriesVisible(false));
    EXPECT_FALSE(ChartScaling::consignSeriesVisible(RegulationMode::SpeedTraj));
    EXPECT_TRUE(ChartScaling::consignSeriesVisible(RegulationMode::PositionTraj));
    EXPECT_TRUE(ChartScaling::consignSeriesVisible(std::nullopt));
}

} // namespace
