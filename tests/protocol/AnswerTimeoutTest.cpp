// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The answer time-out that follows the link, and the late answers' times.
#include "protocol/AnswerTimeout.h"
#include "protocol/CommStatistics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct TimeoutRow
{
    double p99Ms;
    size_t measured;
    int floorMs;
    int ceilingMs;
    int expectedMs;
};

class AdaptiveTimeout : public ::testing::TestWithParam<TimeoutRow>
{};

TEST_P(AdaptiveTimeout, FollowsTheP99WithinFloorAndCeiling)
{
    const TimeoutRow &row = GetParam();
    EXPECT_EQ(AnswerTimeout::adaptiveMs(row.p99Ms, row.measured, row.floorMs, row.ceilingMs),
              row.expectedMs);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AdaptiveTimeout,
    ::testing::Values(TimeoutRow{0.3, 19, 20, 3000, 3000}, // not enough answers measured yet
                      TimeoutRow{0.3, 20, 20, 3000, 20},   // a quick link: the floor
                      TimeoutRow{10.0, 1000, 20, 3000, 40},
                      TimeoutRow{10.1, 1000, 20, 3000, 41}, // rounded up
                      TimeoutRow{749.9, 1000, 20, 3000, 3000},
                      TimeoutRow{900.0, 1000, 20, 3000, 3000}, // the ceiling
                      TimeoutRow{100.0, 1000, 20, 250, 250},   // a shorter ceiling (the CLI)
                      TimeoutRow{1.0, 1000, 500, 250, 250},    // a floor above the ceiling
                      TimeoutRow{NAN, 1000, 20, 3000, 3000}));

TEST(AdaptiveTimeout, LongCommandsAreResetAndTheEepromCommands)
{
    for (int address = 0; address <= 0x64; ++address)
        EXPECT_EQ(AnswerTimeout::isLongCommand(address), address >= 0x02 && address <= 0x06)
            << address;
}

TEST(CommStatistics, LateAnswersAreCountedAndTheirTimeKept)
{
    // A 1 kHz counter: one tick per millisecond.
    CommStatistics s;
    s.requestSent(false, 7, 100);
    s.requestSent(false, 8, 120);
    s.lateAnswer(7, 400, 1000);   // its request went out 300 ms before
    s.lateAnswer(4711, 400, 1000); // never sent: counted, no time
    EXPECT_EQ(s.lateAnswers, 2);
    EXPECT_EQ(s.answersDecoded, 0);
    EXPECT_EQ(s.answerTimeCount(), 1u);
    EXPECT_FLOAT_EQ(s.answerTimeP99Ms(), 300.0f);
    // An open starts the link's measurements afresh.
    s.clearCounters();
    EXPECT_EQ(s.lateAnswers, 0);
    EXPECT_EQ(s.answerTimeCount(), 0u);
    s.lateAnswer(8, 500, 1000);
    EXPECT_EQ(s.answerTimeCount(), 0u);
}

} // namespace
