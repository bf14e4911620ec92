// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <optional>

/// The "Input track bar auto change" choice.
enum class AutoChange : uint8_t {
    No,     ///< the auto-change thread is suspended
    MinMax, ///< toggle the input track bar between its ends
    Step,   ///< walk the consign through its range in steps
};

/// The consign state one auto-change tick works on.
struct AutoChangeState
{
    AutoChange mode = AutoChange::No;
    int32_t consignValue = 0;
    int32_t consignMin = 0;
    int32_t consignMax = 1000;
    int32_t autoStep = 100;
    bool minMaxHigh = true; ///< the next "Min-Max" tick goes to the upper end
    bool stepUp = true;     ///< "Step" counts upwards
    int trackMinimum = 0;   ///< input track bar range
    int trackMaximum = 1000;

    friend bool operator==(const AutoChangeState &, const AutoChangeState &) = default;
};

/// The control updates and the register write that one tick asks for. They
/// are carried out on the user-interface thread (the write of 0x21 may be made
/// from the auto-change thread under the RegisterLock).
struct AutoChangeUpdate
{
    bool moveTrackBar = false;
    int trackPosition = 0;
    /// "Step": the move must not run the track bar's change behaviour
    /// (SkipTrackChange); "Min-Max": it must, so that the consign is computed
    /// and written from the new position.
    bool skipChangeEvent = false;
    /// "Step": the new consign, shown in ECons and written to 0x21 whatever
    /// the state of CBActiveTBCons.
    std::optional<int32_t> consign;
};

/// A tick's result: the next state and what to show and write.
struct AutoChangeResult
{
    AutoChangeState state;
    AutoChangeUpdate update;
};

/// One tick of the auto-change timer. "Min-Max" moves the track bar to its
/// maximum (minimum) when minMaxHigh is on (off) and toggles it. "Step"
/// counts the consign up or down by autoStep, turning at the range ends, and
/// places the track bar at trunc((consign - min) / ((max - min) / track max));
/// an empty range (max = min) places it at its minimum. "No" changes nothing.
/// Sums and differences are taken in 64 bits.
AutoChangeResult computeAutoChangeTick(const AutoChangeState &state);

/// The input track bar's position for \a consign in \a min .. \a max (the
/// "Step" formula), kept within the track bar's range.
int stepTrackPosition(int32_t consign, int32_t min, int32_t max, int trackMinimum,
                      int trackMaximum);
