// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cmath>
#include <optional>
#include <span>

/// One recorded moment of a step response. A value the device did not send
/// is NaN and takes part in no figure.
struct StepSample
{
    double time = 0;      ///< seconds, monotonic (decode time)
    double actual = NAN;  ///< position or speed, as the step commands
    double desired = NAN; ///< the trajectory's desired state (0x30)
    double current = NAN; ///< live current, A
};

/// The step that was sent: the consign before and after, and when.
struct StepDefinition
{
    double from = 0;
    double to = 0;
    double time = 0; ///< seconds, on the samples' clock
};

struct StepLimits
{
    /// The settling band, as a fraction of the step (±2 %).
    double band = 0.02;
    /// A response counts as settled once it stayed in the band this long
    /// (seconds) before the recording ends.
    double hold = 0.1;
};

/// The figures of one step response. A figure that cannot be measured from
/// what was recorded is empty, never made up: no rise time when the response
/// never passed 90 %, no settling time, overshoot or steady-state error when
/// it did not settle, no following error without a desired state.
struct StepFigures
{
    bool valid = false;                     ///< a step of non-zero size with samples after it
    bool settled = false;                   ///< in the band and stayed there for the hold time
    double recorded = 0;                    ///< seconds recorded after the step
    int samples = 0;                        ///< samples after the step
    std::optional<double> riseTime;         ///< s, 10 % to 90 % of the step
    std::optional<double> overshootPercent; ///< % of the step beyond the goal
    std::optional<double> settlingTime;     ///< s from the step into ±band for good
    std::optional<double> steadyStateError; ///< goal minus the mean at the end
    std::optional<double> followingError;   ///< largest desired minus actual (signed)
    std::optional<double> peakCurrent;      ///< largest |current|, A
    std::optional<double> trajectoryTime;   ///< s until the desired state reached the goal
};

namespace StepResponse {

/// The figures of the response \a samples (sorted by time) to \a step.
/// Samples before the step are ignored. Crossing times are interpolated
/// between samples. O(n), no allocation.
StepFigures analyse(std::span<const StepSample> samples, const StepDefinition &step,
                    const StepLimits &limits = {});

} // namespace StepResponse
