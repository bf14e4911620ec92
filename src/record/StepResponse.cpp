// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/StepResponse.h"

#include <algorithm>
#include <cmath>

namespace StepResponse {

namespace {

/// The time at which the line from (t0, y0) to (t1, y1) reaches \a level.
double crossing(double t0, double y0, double t1, double y1, double level)
{
    if (y1 == y0)
        return t1;
    return t0 + (t1 - t0) * std::clamp((level - y0) / (y1 - y0), 0.0, 1.0);
}

} // namespace

StepFigures analyse(std::span<const StepSample> samples, const StepDefinition &step,
                    const StepLimits &limits)
{
    StepFigures f;
    const double size = step.to - step.from;
    if (size == 0 || !std::isfinite(size))
        return f;
    // The response as a fraction of the step: 0 before, 1 at the goal.
    const auto fraction = [&](double value) { return (value - step.from) / size; };
    const double band = std::abs(limits.band);

    size_t first = 0;
    while (first < samples.size() && samples[first].time < step.time)
        ++first;

    // One pass: crossings, peak, last sample outside the band, extremes.
    std::optional<double> t10;
    std::optional<double> t90;
    double peak = -INFINITY;
    double lastT = step.time;
    double lastY = NAN;
    double lastOutside = NAN;    ///< time the response last left or was outside the band
    double lastOutsideEnd = NAN; ///< interpolated re-entry after it
    bool inside = false;
    double followingError = 0;
    bool haveDesired = false;
    double peakCurrent = 0;
    bool haveCurrent = false;
    std::optional<double> trajectoryTime;
    const double goalTolerance = std::max(std::abs(size) * 0.001, 0.5);
    for (size_t i = first; i < samples.size(); ++i) {
        const StepSample &s = samples[i];
        if (std::isfinite(s.desired)) {
            haveDesired = true;
            if (std::isfinite(s.actual)
                && std::abs(s.desired - s.actual) > std::abs(followingError))
                followingError = s.desired - s.actual;
            if (!trajectoryTime && std::abs(s.desired - step.to) <= goalTolerance)
                trajectoryTime = s.time - step.time;
        }
        if (std::isfinite(s.current)) {
            haveCurrent = true;
            peakCurrent = std::max(peakCurrent, std::abs(s.current));
        }
        if (!std::isfinite(s.actual))
            continue;
        const double y = fraction(s.actual);
        const double previousY = std::isfinite(lastY) ? lastY : 0.0;
        if (!t10 && y >= 0.1)
            t10 = crossing(lastT, previousY, s.time, y, 0.1);
        if (!t90 && y >= 0.9)
            t90 = crossing(lastT, previousY, s.time, y, 0.9);
        peak = std::max(peak, y);
        const double error = std::abs(y - 1);
        if (error > band) {
            lastOutside = s.time;
            inside = false;
        } else if (!inside) {
            inside = true;
            // Entering the band: between the previous sample and this one.
            const double previousError = std::isfinite(lastY) ? std::abs(lastY - 1) : 1.0;
            lastOutsideEnd = std::isfinite(lastY) && previousError > band
                                 ? crossing(lastT, previousError, s.time, error, band)
                                 : (std::isfinite(lastY) ? s.time : step.time);
        }
        lastT = s.time;
        lastY = y;
        ++f.samples;
    }
    if (f.samples == 0)
        return f;
    f.valid = true;
    f.recorded = lastT - step.time;
    if (t10 && t90)
        f.riseTime = *t90 - *t10;
    if (haveDesired)
        f.followingError = followingError;
    if (haveCurrent)
        f.peakCurrent = peakCurrent;
    f.trajectoryTime = trajectoryTime;

    // Settled: in the band at the end, for at least the hold time.
    const double enteredAt = std::isnan(lastOutside) ? step.time : lastOutsideEnd;
    f.settled = inside && std::isfinite(enteredAt) && lastT - enteredAt >= limits.hold;
    if (!f.settled)
        return f;
    f.settlingTime = std::max(0.0, enteredAt - step.time);
    f.overshootPercent = std::max(0.0, peak - 1) * 100;
    // The steady state: the mean over the last hold time.
    double sum = 0;
    int count = 0;
    for (size_t i = samples.size(); i-- > first;) {
        if (samples[i].time < lastT - limits.hold)
            break;
        if (std::isfinite(samples[i].actual)) {
            sum += samples[i].actual;
            ++count;
        }
    }
    if (count > 0)
        f.steadyStateError = step.to - sum / count;
    return f;
}

} // namespace StepResponse
