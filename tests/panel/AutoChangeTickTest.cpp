// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/AutoChangeTick.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int32_t> stepSequence(AutoChangeState state, int ticks,
                                  std::vector<int> *positions = nullptr)
{
    std::vector<int32_t> consigns;
    for (int i = 0; i < ticks; ++i) {
        const AutoChangeResult result = computeAutoChangeTick(state);
        EXPECT_TRUE(result.update.consign);
        EXPECT_TRUE(result.update.skipChangeEvent);
        consigns.push_back(result.update.consign.value_or(0));
        if (positions)
            positions->push_back(result.update.trackPosition);
        state = result.state;
    }
    return consigns;
}

TEST(AutoChangeTick, StepWalksUpAndDownThroughTheRange)
{
    AutoChangeState state;
    state.mode = AutoChange::Step;
    state.consignMin = 0;
    state.consignMax = 1000;
    state.autoStep = 300;
    std::vector<int> positions;
    EXPECT_EQ(stepSequence(state, 10, &positions),
              (std::vector<int32_t>{300, 600, 900, 1000, 700, 400, 100, 0, 300, 600}));
    EXPECT_EQ(positions, (std::vector<int>{300, 600, 900, 1000, 700, 400, 100, 0, 300, 600}));
}

TEST(AutoChangeTick, StepOnAWiderRangeScalesTheTrackBar)
{
    AutoChangeState state;
    state.mode = AutoChange::Step;
    state.consignValue = -2000;
    state.consignMin = -2000;
    state.consignMax = 2000;
    state.autoStep = 1000;
    std::vector<int> positions;
    EXPECT_EQ(stepSequence(state, 6, &positions),
              (std::vector<int32_t>{-1000, 0, 1000, 2000, 1000, 0}));
    EXPECT_EQ(positions, (std::vector<int>{250, 500, 750, 1000, 750, 500}));
}

TEST(AutoChangeTick, StepBelowTheMinimumTurnsAround)
{
    // Counting up from below the range lands on the minimum and turns down.
    AutoChangeState state;
    state.mode = AutoChange::Step;
    state.consignValue = -500;
    state.consignMin = 0;
    state.consignMax = 1000;
    state.autoStep = 300;
    AutoChangeResult first = computeAutoChangeTick(state);
    EXPECT_EQ(first.state.consignValue, 0);
    EXPECT_FALSE(first.state.stepUp);
    AutoChangeResult second = computeAutoChangeTick(first.state);
    EXPECT_EQ(second.state.consignValue, 0);
    EXPECT_TRUE(second.state.stepUp);
}

TEST(AutoChangeTick, StepSumsDoNotOverflow)
{
    AutoChangeState state;
    state.mode = AutoChange::Step;
    state.consignValue = INT32_MAX - 1;
    state.consignMin = INT32_MIN;
    state.consignMax = INT32_MAX;
    state.autoStep = INT32_MAX;
    AutoChangeResult up = computeAutoChangeTick(state);
    EXPECT_EQ(up.state.consignValue, INT32_MAX);
    EXPECT_EQ(up.update.trackPosition, 1000);
    AutoChangeResult down = computeAutoChangeTick(up.state);
    EXPECT_EQ(down.state.consignValue, 0);
    EXPECT_EQ(down.update.trackPosition, 500);
}

TEST(AutoChangeTick, EmptyRangeLeavesTheTrackBarAtItsMinimum)
{
    AutoChangeState state;
    state.mode = AutoChange::Step;
    state.consignValue = 500;
    state.consignMin = 500;
    state.consignMax = 500;
    AutoChangeResult result = computeAutoChangeTick(state);
    EXPECT_EQ(result.state.consignValue, 500);
    EXPECT_EQ(result.update.trackPosition, 0);
    EXPECT_EQ(stepTrackPosition(7, 7, 7, 0, 1000), 0);
}

TEST(AutoChangeTick, MinMaxTogglesBetweenTheTrackBarEnds)
{
    AutoChangeState state;
    state.mode = AutoChange::MinMax;
    std::vector<int> positions;
    for (int i = 0; i < 4; ++i) {
        const AutoChangeResult result = computeAutoChangeTick(state);
        EXPECT_TRUE(result.update.moveTrackBar);
        EXPECT_FALSE(result.update.skipChangeEvent);
        EXPECT_FALSE(result.update.consign);
        positions.push_back(result.update.trackPosition);
        state = result.state;
    }
    EXPECT_EQ(positions, (std::vector<int>{1000, 0, 1000, 0}));
}

TEST(AutoChangeTick, NoChangesNothing)
{
    AutoChangeState state;
    state.consignValue = 123;
    const AutoChangeResult result = computeAutoChangeTick(state);
    EXPECT_EQ(result.state, state);
    EXPECT_FALSE(result.update.moveTrackBar);
    EXPECT_FALSE(result.update.consign);
}

} // namespace
