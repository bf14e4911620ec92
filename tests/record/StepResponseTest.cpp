// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/StepResponse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr double Period = 0.002;    // 500 samples a second
constexpr double StepTime = 1.0007; // between two samples

/// Samples of \a response (a fraction of the step, of the time since the step)
/// from 0.5 s before the step for \a seconds after it, from \a from to \a to.
std::vector<StepSample> record(const std::function<double(double)> &response, double from,
                               double to, double seconds)
{
    std::vector<StepSample> samples;
    for (double t = StepTime - 0.5; t < StepTime + seconds; t += Period) {
        const double y = t < StepTime ? 0 : response(t - StepTime);
        samples.push_back({t, from + (to - from) * y, NAN, NAN});
    }
    return samples;
}

/// A unit second-order response with damping \a zeta and natural frequency \a wn.
std::function<double(double)> secondOrder(double zeta, double wn)
{
    return [zeta, wn](double t) {
        if (zeta == 1)
            return 1 - (1 + wn * t) * std::exp(-wn * t);
        const double wd = wn * std::sqrt(1 - zeta * zeta);
        return 1
               - std::exp(-zeta * wn * t) / std::sqrt(1 - zeta * zeta)
                     * std::sin(wd * t + std::acos(zeta));
    };
}

/// The textbook figures of \a y, found on a grid a hundred times finer.
struct Reference
{
    double rise;
    double settling;
};
Reference reference(const std::function<double(double)> &y, double seconds)
{
    constexpr double Fine = Period / 100;
    double t10 = -1, t90 = -1, lastOutside = 0;
    for (double t = 0; t < seconds; t += Fine) {
        const double v = y(t);
        if (t10 < 0 && v >= 0.1)
            t10 = t;
        if (t90 < 0 && v >= 0.9)
            t90 = t;
        if (std::abs(v - 1) > 0.02)
            lastOutside = t;
    }
    return {t90 - t10, lastOutside};
}

TEST(StepResponse, AnalyticResponsesGiveTheTextbookFigures)
{
    const double tau = 0.05;
    const struct
    {
        const char *what;
        std::function<double(double)> y;
        double overshoot; ///< % of the step
    } cases[] = {
        {"first order", [tau](double t) { return 1 - std::exp(-t / tau); }, 0},
        {"zeta 0.2", secondOrder(0.2, 40), 100 * std::exp(-M_PI * 0.2 / std::sqrt(1 - 0.04))},
        {"zeta 0.5", secondOrder(0.5, 40), 100 * std::exp(-M_PI * 0.5 / std::sqrt(1 - 0.25))},
        {"zeta 0.7", secondOrder(0.7, 40), 100 * std::exp(-M_PI * 0.7 / std::sqrt(1 - 0.49))},
        {"critically damped", secondOrder(1, 40), 0},
    };
    for (const auto &c : cases) {
        for (const auto &[from, to] : {std::pair{0.0, 1000.0}, std::pair{5000.0, -3000.0}}) {
            SCOPED_TRACE(testing::Message() << c.what << " from " << from << " to " << to);
            const std::vector<StepSample> samples = record(c.y, from, to, 3);
            const StepFigures f = StepResponse::analyse(samples, {from, to, StepTime});
            const Reference r = reference(c.y, 3);
            ASSERT_TRUE(f.valid);
            ASSERT_TRUE(f.settled);
            ASSERT_TRUE(f.riseTime && f.settlingTime && f.overshootPercent && f.steadyStateError);
            EXPECT_NEAR(*f.overshootPercent, c.overshoot, 0.5);
            EXPECT_NEAR(*f.riseTime, r.rise, Period);
            EXPECT_NEAR(*f.settlingTime, r.settling, Period);
            EXPECT_NEAR(*f.steadyStateError, 0, std::abs(to - from) * 0.001);
            if (std::string(c.what) == "first order") {
                EXPECT_NEAR(*f.riseTime, tau * std::log(9.0), Period);
                EXPECT_NEAR(*f.settlingTime, tau * std::log(50.0), Period);
            }
            // Nothing the recording did not hold.
            EXPECT_FALSE(f.followingError);
            EXPECT_FALSE(f.peakCurrent);
            EXPECT_FALSE(f.trajectoryTime);
        }
    }
}

TEST(StepResponse, AResponseThatDoesNotSettleGivesNoMadeUpFigures)
{
    const struct
    {
        const char *what;
        std::function<double(double)> y;
        bool rises;
    } cases[] = {
        {"undamped oscillation", secondOrder(0, 40), true},
        {"stuck at half the step", [](double) { return 0.5; }, false},
        {"still creeping", [](double t) { return 1 - std::exp(-t / 2); }, false},
        {"in the band for less than the hold time", [](double t) { return t < 0.95 ? 0.5 : 1.0; },
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const StepFigures f = StepResponse::analyse(record(c.y, 0, 100, 1), {0, 100, StepTime});
        EXPECT_TRUE(f.valid);
        EXPECT_FALSE(f.settled);
        EXPECT_FALSE(f.settlingTime);
        EXPECT_FALSE(f.overshootPercent);
        EXPECT_FALSE(f.steadyStateError);
        EXPECT_EQ(bool(f.riseTime), c.rises);
        EXPECT_NEAR(f.recorded, 1, 2 * Period);
    }
    // No step, or nothing after it: no figures at all.
    const std::vector<StepSample> samples = record(secondOrder(0.5, 40), 0, 100, 1);
    EXPECT_FALSE(StepResponse::analyse(samples, {100, 100, StepTime}).valid);
    EXPECT_FALSE(StepResponse::analyse(samples, {0, 100, StepTime + 5}).valid);
}

// A speed step on a trajectory: the desired speed ramps to the goal at the
// acceleration, the speed follows it a fixed delay behind.
TEST(StepResponse, SpeedStepFollowingTheTrajectory)
{
    const double acceleration = 20000; // per s^2
    const double top = 2000;
    const double delay = 0.03;
    const auto ramp = [&](double t) { return std::clamp(acceleration * t, 0.0, top); };
    std::vector<StepSample> samples;
    for (double t = StepTime - 0.2; t < StepTime + 1; t += Period) {
        const double since = t - StepTime;
        samples.push_back({t, since < 0 ? 0 : ramp(since - delay), since < 0 ? 0 : ramp(since),
                           since < 0 ? 0.1 : 1.5 - since});
    }
    const StepFigures f = StepResponse::analyse(samples, {0, top, StepTime});
    ASSERT_TRUE(f.settled);
    EXPECT_NEAR(*f.riseTime, 0.8 * top / acceleration, Period);
    EXPECT_NEAR(*f.settlingTime, 0.98 * top / acceleration + delay, Period);
    EXPECT_NEAR(*f.trajectoryTime, top / acceleration, Period);
    EXPECT_NEAR(*f.followingError, acceleration * delay, acceleration * Period);
    EXPECT_NEAR(*f.peakCurrent, 1.5, 0.01);
    EXPECT_DOUBLE_EQ(*f.overshootPercent, 0);
    EXPECT_DOUBLE_EQ(*f.steadyStateError, 0);
}

} // namespace
