// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"
#include "panel/AxisSetting.h"
#include "panel/ModeTable.h"

#include <cstdint>
#include <mutex>
#include <optional>

/// A chart's vertical axis range.
struct AxisRange
{
    double minimum = 0;
    double maximum = 0;

    friend bool operator==(const AxisRange &, const AxisRange &) = default;
};

/// The scaling rules of the live charts: the speed and current axes widen when
/// values leave them and shrink back on "Reset scale"; plus the plotted values
/// and series visibility that are not plain copies of the live values.
///
/// The object holds the speed and current axis ranges as the charts are to
/// show them. Samples may come from the decoder on the sender thread; every
/// call takes an internal mutex. The chart widgets apply the returned ranges
/// on the user-interface thread.
class ChartScaling
{
public:
    /// Tab indexes of the graph pages whose axes the tab strip can reset.
    static constexpr int SpeedPage = 1;
    static constexpr int CurrentPage = 3;

    /// Speed axis -20 .. 20, current axis -1 .. 1, all extremes 0.
    ChartScaling();

    /// Which axes a sample widened.
    struct Widened
    {
        bool speedAxis = false;
        bool currentAxis = false;
    };

    /// One sample: updates the extremes seen and widens the speed axis around
    /// the present speed (margin |trunc((max seen - min seen) x 0.05)|) and
    /// the current axis around the extremes (margin |(max - min) x 0.05|).
    /// Axes never shrink here.
    Widened addSample(const ReceivedValues &values);

    /// Resets the extremes to the displayed speed and current maximum/minimum.
    void resetExtremes(const ReceivedValues &displayed);

    /// "Reset scale" of the speed page: the axis becomes speed - 20 .. speed + 20
    /// (maximum first when the speed is above the axis maximum); then the
    /// extremes are reset.
    AxisSetting resetSpeedScale(const ReceivedValues &displayed);

    /// "Reset scale" of the current page: the axis becomes CurrentMin - 0.1 ..
    /// CurrentMax + 0.1 (maximum first when the axis maximum is below
    /// CurrentMax); then the extremes are reset.
    AxisSetting resetCurrentScale(const ReceivedValues &displayed);

    /// What a mouse release over the tab strip changed.
    struct TabRelease
    {
        std::optional<AxisSetting> speedAxis;
        std::optional<AxisSetting> currentAxis;
    };

    /// Mouse button released over the page control's tab strip: with Ctrl held
    /// on the speed (current) page, the axis part of that page's reset; in
    /// every case the extremes are reset.
    TabRelease tabStripReleased(bool ctrlHeld, int activePage, const ReceivedValues &displayed);

    AxisRange speedAxis() const;
    AxisRange currentAxis() const;

    int32_t speedMaxSeen() const;
    int32_t speedMinSeen() const;
    float currentMaxSeen() const;
    float currentMinSeen() const;

    /// The command chart's value: trunc(command x 100 / 65535) (100 % = 65535).
    static int commandPercent(int32_t command);
    /// A position or consign in micrometres: value / PulsesPerMicrometre; NaN
    /// (a gap in the line) when the factor gives no finite result.
    static double micrometres(double value, float pulsesPerMicrometre);
    /// The speed chart's "Desired state" series is hidden for stepper units.
    static bool desiredSeriesVisible(bool stepperUnits);
    /// The consign series of the position charts are hidden in "Speed traj."
    /// (the consign is then a speed).
    static bool consignSeriesVisible(std::optional<RegulationMode> checkedMode);

private:
    void resetExtremesLocked(const ReceivedValues &displayed);
    AxisSetting speedResetLocked(const ReceivedValues &displayed);
    AxisSetting currentResetLocked(const ReceivedValues &displayed);

    mutable std::mutex m_mutex;
    AxisRange m_speedAxis{-20, 20};
    AxisRange m_currentAxis{-1, 1};
    int32_t m_speedMaxSeen = 0;
    int32_t m_speedMinSeen = 0;
    float m_currentMaxSeen = 0;
    float m_currentMinSeen = 0;
};
