// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The step watch on synthetic read cycles: steps found from the consign the
// device sends back, figures of each response, the gains in force, and the
// table's changes against a pinned row.
#include "record/StepWatch.h"
#include "device/QLMCIPMotor.h"
#include "device/RegisterTable.h"
#include "platform/HighResCounter.h"
#include "record/StepTable.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double Period = 0.002;
constexpr int Position = 5; // position trajectory
constexpr int Speed = 4;    // speed trajectory

class StepWatchTest : public ::testing::Test
{
protected:
    RegisterLock lock;
    QLMCIPMotor image{lock};
    StepWatch watch{lock, 2.0};
    ReceivedValues v;
    double now = 100;
    uint64_t sequence = 0;

    void SetUp() override
    {
        v.RegulationMode = Position;
        v.Kp = 1;
    }
    /// \a seconds of read cycles; the position follows the consign as a first
    /// order with time constant \a tau, or a damped oscillation (\a oscillating).
    void run(double seconds, double tau, bool oscillating = false)
    {
        const double start = now;
        const double from = v.Position;
        for (; now < start + seconds; now += Period) {
            const double t = now - start;
            const double y = 1 - std::exp(-t / tau) * (oscillating ? std::cos(2 * t / tau) : 1);
            v.Position = int32_t(std::lround(from + (v.Input - from) * y));
            v.Desired = v.Input;
            RegisterLockGuard guard(lock);
            // Every cycle brings the position; Kp and Ki come back along.
            ++sequence;
            for (int address : {Reg::RegulationMode, Reg::Input, Reg::Position, Reg::Speed,
                                Reg::Desired, Reg::Kp, Reg::Ki})
                image.registerAt(address)->ReceivedSequence = sequence;
            watch.readCycleDecoded(v, int64_t(std::llround(now * HighResCounter::frequency())),
                                   image);
        }
    }
};

TEST_F(StepWatchTest, FindsEachStepAndMeasuresItAgainstAPinnedReference)
{
    run(0.2, 0.05); // the first consign read is no step
    EXPECT_TRUE(watch.takeFinished().empty());

    v.Input = 1000;
    run(1.5, 0.05);
    std::vector<StepRecord> rows = watch.takeFinished();
    ASSERT_EQ(rows.size(), 1u);
    const StepRecord first = rows[0];
    EXPECT_EQ(first.number, 1);
    EXPECT_FALSE(first.speed);
    EXPECT_EQ(first.step.from, 0);
    EXPECT_EQ(first.step.to, 1000);
    ASSERT_TRUE(first.figures.settled);
    EXPECT_NEAR(*first.figures.riseTime, 0.05 * std::log(9.0), 2 * Period);
    EXPECT_EQ(first.settings.kp, 1.0);
    EXPECT_FALSE(first.settings.kd); // never received

    // Kp 2: a faster response with some overshoot, back to 0.
    v.Kp = 2;
    v.Input = 0;
    run(1.5, 0.02, true);
    rows = watch.takeFinished();
    ASSERT_EQ(rows.size(), 1u);
    const StepRecord second = rows[0];
    EXPECT_EQ(second.step.from, 1000);
    EXPECT_EQ(second.settings.kp, 2.0);
    ASSERT_TRUE(second.figures.settled);
    EXPECT_LT(*second.figures.riseTime, *first.figures.riseTime);
    EXPECT_GT(*second.figures.overshootPercent, *first.figures.overshootPercent);

    // Against the first row, pinned.
    const double riseChange = *second.figures.riseTime - *first.figures.riseTime;
    EXPECT_EQ(StepTable::cellText(second, StepTable::Rise, &first),
              QStringLiteral("%1 (%2)")
                  .arg(*second.figures.riseTime, 0, 'f', 3)
                  .arg(riseChange, 0, 'f', 3));
    EXPECT_EQ(StepTable::cellText(second, StepTable::Kp, &first),
              QStringLiteral("2.0000 (+1.0000)"));
    EXPECT_EQ(StepTable::cellText(first, StepTable::Kp, &first), QStringLiteral("1.0000"));
    EXPECT_EQ(StepTable::cellText(second, StepTable::Kd, &first), QStringLiteral("-"));
    const QList<QByteArray> lines = StepTable::csv({first, second}, 1).split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("#,Mode,From,To,Rise 10-90 % [s],"));
    EXPECT_TRUE(lines[1].startsWith("1,position,0,1000,")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(",yes"));
    EXPECT_TRUE(lines[2].endsWith(","));
}

TEST_F(StepWatchTest, UnsettledInterruptedAndOutOfRegulationSteps)
{
    run(0.1, 0.05);
    // Too slow for the two-second limit.
    v.Input = 1000;
    run(2.2, 5);
    std::vector<StepRecord> rows = watch.takeFinished();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_FALSE(rows[0].figures.settled);
    EXPECT_FALSE(rows[0].interrupted);
    EXPECT_EQ(StepTable::cellText(rows[0], StepTable::Settling),
              QStringLiteral("did not settle in 2.0 s"));
    EXPECT_EQ(StepTable::cellText(rows[0], StepTable::Overshoot), QStringLiteral("-"));

    // A step, then the next one before it settled.
    v.Input = 0;
    run(0.05, 0.05);
    v.Input = 500;
    run(1, 0.05);
    rows = watch.takeFinished();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].interrupted);
    EXPECT_EQ(StepTable::cellText(rows[0], StepTable::Settling),
              QStringLiteral("next step came first"));
    EXPECT_TRUE(rows[1].figures.settled);

    // A speed step is measured on the speed; a consign change while stopped is no step.
    v.RegulationMode = 0;
    v.Input = 100;
    run(0.5, 0.05);
    EXPECT_TRUE(watch.takeFinished().empty());
    v.RegulationMode = Speed;
    v.Input = 300;
    run(2.1, 0.05);
    rows = watch.takeFinished();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].speed);
    EXPECT_FALSE(rows[0].figures.riseTime); // the speed (0) never moved
}

} // namespace
