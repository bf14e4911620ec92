// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

/// Set-point generator of the regulator: a speed ramp or a trapezoidal move
/// to a position goal, limited by acceleration, deceleration and top speed.
/// Positions in pulses, speeds in pulses/s.
class SimTrajectory
{
public:
    /// Puts the set-point on \a position moving at \a speed (bumpless hand-over).
    void follow(double position, double speed);
    /// Moves the set-point by \a delta (the position counter was redefined).
    void shift(double delta) { m_position += delta; }

    /// One step of a speed ramp towards \a target.
    void runSpeed(double target, double acceleration, double deceleration, double dt);
    /// One step of a move to \a goal; deceleration starts in time to stop on it.
    void runPosition(double goal, double topSpeed, double acceleration, double deceleration,
                     double dt);

    double position() const { return m_position; }
    double speed() const { return m_speed; }
    /// Acceleration of the last step, pulses/s^2.
    double acceleration() const { return m_acceleration; }
    /// True when the last step ended at rest on its goal (or at zero speed for a ramp).
    bool settled() const { return m_settled; }

private:
    double m_position = 0.0;
    double m_speed = 0.0;
    double m_acceleration = 0.0;
    bool m_settled = true;
};
