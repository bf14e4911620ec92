// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"
#include "panel/RegulationParameter.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QLMCSession;

/// Texts of the main panel's read-outs and status bar.
namespace DisplayText {

/// Status panel 5: 1 decimal, at most 4 significant digits, then " [V]".
QString voltageText(float volts);
/// Status panel 8: 1 decimal, at most 4 significant digits, then " [°C]".
QString temperatureText(float degrees);
/// Status panel 6: seconds in decimal, then " [s]".
QString timeInServiceText(uint32_t seconds);
/// Status panel 7: "#PUp : " and the count.
QString powerUpText(uint32_t count);
/// The stepper's third read-out: Position / 256 with 3 decimals (up to 15
/// significant digits).
QString stepperPositionText(int32_t position);

} // namespace DisplayText

/// The settings that follow the "Interface refresh" track bar.
struct RefreshSetting
{
    int refreshRatio = 20;                ///< 2 x position
    int displayDivider = 5;               ///< 50 / position (integer division)
    QString label;                        ///< LRefresh: the ratio in decimal
    int micrometreBottomIncrement = 1000; ///< position x 100
};

/// The settings for track-bar position \a position (kept within 1 .. 100).
RefreshSetting refreshSetting(int position);

/// Stores RefreshRatio and DisplayDivider in the session.
void applyRefreshSetting(QLMCSession &session, const RefreshSetting &setting);

/// What one display run changes, from the displayed copy of the live values
/// and the flags taken with it. Unset fields leave their control as it is.
struct DisplayUpdate
{
    std::optional<QString> positionBig;    ///< LPositionBig
    std::optional<QString> speedBig;       ///< LSpeedBig
    std::optional<QString> desiredBig;     ///< LDesiredBig
    std::optional<QString> consText;       ///< ECons (after the input "Read" only)
    std::optional<QString> version;        ///< status panel 4
    std::optional<QString> voltage;        ///< status panel 5
    std::optional<QString> timeInService;  ///< status panel 6
    std::optional<QString> powerUps;       ///< status panel 7
    std::optional<QString> temperature;    ///< status panel 8
    std::optional<int32_t> loopTimeOption; ///< show on the loop-time menu
    std::optional<int32_t> regulationMode; ///< show on the mode buttons
    /// Regulation parameters to show, in display order.
    std::vector<RegulationParameterId> parameters;
    bool warning = false; ///< let a shown warning window refresh
    bool io = false;      ///< let a visible I/O window refresh
    bool ioConfig = false; ///< 0x55 itself arrived (the I/O lists follow it)
};

/// The display run's decisions, in the routine's order. \a modeSync is the
/// session's ModeSync at the time of the run.
DisplayUpdate displayUpdate(const ReceivedValues &values, const NewValueFlags &flags,
                            bool stepperUnits, bool modeSync);
