// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

/// A new range for a chart's value axis and the order in which its two ends are
/// set, so that the axis minimum never exceeds its maximum on the way.
struct AxisSetting
{
    double minimum = 0;
    double maximum = 0;
    bool maximumFirst = false; ///< set the maximum, then the minimum; otherwise the reverse

    /// Moving an axis whose minimum is now \a currentMinimum to \a minimum ..
    /// \a maximum: the maximum goes first when it is above the current minimum.
    static AxisSetting towards(double minimum, double maximum, double currentMinimum)
    {
        return {minimum, maximum, maximum > currentMinimum};
    }

    friend bool operator==(const AxisSetting &, const AxisSetting &) = default;
};
