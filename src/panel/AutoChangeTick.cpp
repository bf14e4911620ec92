// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/AutoChangeTick.h"

#include <algorithm>
#include <cmath>

int stepTrackPosition(int32_t consign, int32_t min, int32_t max, int trackMinimum, int trackMaximum)
{
    const int64_t span = int64_t(max) - int64_t(min);
    // An empty range has no position to compute; the track bar rests at its start.
    if (span == 0 || trackMaximum == 0)
        return trackMinimum;
    const long double unit = static_cast<long double>(span) / trackMaximum;
    const long double position = static_cast<long double>(int64_t(consign) - int64_t(min)) / unit;
    if (std::isnan(position))
        return trackMinimum;
    const long double clamped =
        std::clamp(std::trunc(position), static_cast<long double>(trackMinimum),
                   static_cast<long double>(trackMaximum));
    return static_cast<int>(clamped);
}

AutoChangeResult computeAutoChangeTick(const AutoChangeState &state)
{
    AutoChangeResult result{state, {}};
    AutoChangeState &next = result.state;
    AutoChangeUpdate &update = result.update;

    if (state.mode == AutoChange::MinMax) {
        update.moveTrackBar = true;
        update.trackPosition = state.minMaxHigh ? state.trackMaximum : state.trackMinimum;
        next.minMaxHigh = !state.minMaxHigh;
        return result;
    }
    if (state.mode != AutoChange::Step)
        return result;

    const int64_t min = state.consignMin;
    const int64_t max = state.consignMax;
    if (!state.stepUp) {
        const int64_t down = int64_t(state.consignValue) - state.autoStep;
        if (down > min && down < max) {
            next.consignValue = int32_t(down);
        } else {
            next.consignValue = down <= min ? state.consignMin : state.consignMax;
            next.stepUp = true;
        }
    } else {
        const int64_t up = int64_t(state.consignValue) + state.autoStep;
        if (up < max) {
            if (up > min) {
                next.consignValue = int32_t(up);
            } else {
                next.consignValue = state.consignMin;
                next.stepUp = false;
            }
        } else {
            next.consignValue = state.consignMax;
            next.stepUp = false;
        }
    }
    update.consign = next.consignValue;
    update.moveTrackBar = true;
    update.skipChangeEvent = true;
    update.trackPosition = stepTrackPosition(next.consignValue, state.consignMin, state.consignMax,
                                             state.trackMinimum, state.trackMaximum);
    return result;
}
