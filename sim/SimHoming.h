// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>

/// A homing run of the controller: searches the home event chosen by the
/// homing options (index mark, current rise at an end stop, limit switch 1,
/// start position), then reports where it happened. It only plans motion and
/// detects events; the drive moves the motor and applies the result.
class SimHoming
{
public:
    enum class Search : uint8_t { None, Index, Current, Limit1, MoveTo };
    enum class Result : uint8_t { Running, Found, Failed };

    /// What a homing run is set up with.
    struct Setup
    {
        uint32_t options = 0;     ///< register 0x48
        double topSpeed = 0;      ///< pulses/s, register 0x42
        double acceleration = 0;  ///< pulses/s^2, register 0x40
        double currentMax = 0;    ///< amperes, register 0x2A
        double startPosition = 0; ///< register 0x47 in the counter's coordinates
        double pulsesPerIndex = 2000;
    };

    /// What the drive observed in the last loop.
    struct Observation
    {
        double position = 0; ///< counter coordinates
        double previousPhysical = 0;
        double physical = 0; ///< physical coordinates (index marks are multiples of a turn)
        double current = 0;  ///< amperes
        bool limit1Active = false;
        bool setPointAtRest = false;
        double dt = 0;
    };

    /// Homing type from the options: bits 0..3.
    static int type(uint32_t options) { return int(options & 0x0F); }
    /// Percentage of the ratio lists of the homing options.
    static double ratioPercent(int index);

    /// Starts a run; types 0 and 1 (already at home) are found at once.
    void start(const Setup &setup, double position);
    void stop() { m_active = false; }
    bool active() const { return m_active; }

    /// Current search phase and its direction (+1 or -1).
    Search search() const;
    int direction() const;
    double speed() const { return m_speed; }
    double acceleration() const { return m_acceleration; }
    double currentLimit() const { return m_currentLimit; }
    double moveGoal() const { return m_setup.startPosition; }

    /// Checks the phase's event; on the last event the run ends with Found and
    /// eventPosition() tells where home is.
    Result observe(const Observation &o);
    double eventPosition() const { return m_eventPosition; }

private:
    struct Phase
    {
        Search search = Search::None;
        int direction = 0;
    };

    Setup m_setup;
    std::array<Phase, 2> m_phases{};
    int m_phase = 0;
    bool m_active = false;
    double m_elapsed = 0;
    double m_timeLimit = 0;
    double m_speed = 0;
    double m_acceleration = 0;
    double m_currentLimit = 0;
    double m_highCurrentTime = 0;
    double m_eventPosition = 0;
};
