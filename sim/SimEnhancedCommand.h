// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <optional>
#include <span>

/// What an enhanced command (register 0x4D) asks of the drive.
struct SimEnhancedAction
{
    std::optional<int> mode;     ///< regulation mode to switch to
    std::optional<double> input; ///< new consign (register 0x21)
    double positionShift = 0;    ///< added to the position counter (range commands)
    bool shiftInput = false;     ///< the consign moves with the counter
    bool brakeThenCopy = false;  ///< brake, then copy the position to the consign
    bool peakCurrent = false;    ///< options bit 3: use the peak current of 0x4F
};

/// Decodes an enhanced command: options byte, function byte, EnGoal; a goal
/// and some loops, or one of the numbered commands 101..117.
class SimEnhancedCommand
{
public:
    static constexpr uint8_t OptionPercent = 0x10;
    static constexpr uint8_t OptionPeakCurrent = 0x08;
    static constexpr uint8_t OptionAbsolute = 0x04;

    /// \a bytes are the six register bytes; \a position and \a speed the
    /// motor's, \a input the present consign, \a pulsesPerLoop from 0x4E.
    static SimEnhancedAction decode(std::span<const uint8_t> bytes, double position, double speed,
                                    double input, double pulsesPerLoop);
};
