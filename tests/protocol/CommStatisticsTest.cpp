// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The answer-time percentile over the last 1000 answers.
#include "protocol/CommStatistics.h"

#include <gtest/gtest.h>

namespace {

/// One request and its answer \a ms later (a 1 kHz counter).
void answerAfter(CommStatistics &s, int64_t &clock, int ms)
{
    s.requestSent(false, 1, clock);
    clock += ms;
    s.answerDecoded(clock, 1000);
}

} // namespace

TEST(CommStatistics, P99OfTheLastThousandAnswers)
{
    CommStatistics s;
    int64_t clock = 0;
    EXPECT_EQ(s.answerTimeP99Ms(), 0.0f);
    // 990 quick answers and 10 slow ones: the 99th percentile is the quick time.
    for (int i = 0; i < 990; ++i)
        answerAfter(s, clock, 2);
    for (int i = 0; i < 10; ++i)
        answerAfter(s, clock, 50);
    EXPECT_FLOAT_EQ(s.answerTimeP99Ms(), 2.0f);
    EXPECT_FLOAT_EQ(s.shown.answerTimeMaxMs.load(), 50.0f);
    // One more slow answer pushes out a quick one: 11 slow of 1000.
    answerAfter(s, clock, 50);
    EXPECT_FLOAT_EQ(s.answerTimeP99Ms(), 50.0f);
    // A thousand newer answers replace every older one.
    for (int i = 0; i < 1000; ++i)
        answerAfter(s, clock, 3);
    EXPECT_FLOAT_EQ(s.answerTimeP99Ms(), 3.0f);
    s.clearAnswerTimes();
    EXPECT_EQ(s.answerTimeP99Ms(), 0.0f);
}
