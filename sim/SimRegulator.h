// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

/// Regulator settings as the registers hold them (gains as numbers).
struct SimRegulatorSettings
{
    double kp = 1.0;
    double ki = 1.0;
    double kd = 1.0;
    double antiResetWindup = 2.0e9; ///< bound of the integral, command units / Ki
    double kvff = 0.0;
    double kaff = 0.0;
    double kdff = 0.0;
    double vffOffset = 0.0;
    double deadZone = 0.0;
    bool linearDeadZone = false; ///< subtract the dead zone from the error
    bool leakageIntegrator = false;
    bool fastIntegratorDecrease = false; ///< halve the integral when the error changes sign
    bool holdIntegrator = false;         ///< do not integrate this loop (over-current)
};

/// Position PID with anti-reset windup and velocity/acceleration feed-forward.
/// The output is in command units: 65535 is the full supply voltage.
///
/// Gain scales: Kp 1 gives 64 units per pulse of error, Ki 1 gives 256 units
/// per pulse-second, Kd 1 gives 4 units per pulse/s of error change, Kvff 1
/// gives the back-EMF voltage of the standard motor at the set-point speed,
/// Kaff and Kdff give units per pulse/s^2 while accelerating / decelerating,
/// VffOffset is added in the direction of motion. For loops slower than 5 ms
/// the feedback gains are reduced in proportion, which keeps the loop stable
/// at every loop time.
class SimRegulator
{
public:
    static constexpr double KpUnitsPerPulse = 64.0;
    static constexpr double KiUnitsPerPulseSecond = 256.0;
    static constexpr double KdUnitsPerPulsePerSecond = 4.0;
    static constexpr double KvffUnitsPerPulsePerSecond = 0.4289;
    static constexpr double ReferenceLoopSeconds = 0.005;

    void reset();

    /// One loop: returns the command (not yet clamped).
    double update(double setPosition, double setSpeed, double setAcceleration, double position,
                  bool setPointAtRest, const SimRegulatorSettings &settings, double dt);

    /// Integral accumulator (before Ki).
    double integral() const { return m_integral; }
    void setIntegral(double value) { m_integral = value; }
    /// Error of the last loop, pulses.
    double error() const { return m_error; }
    /// Error change over the last loop, pulses.
    double errorDelta() const { return m_delta; }

private:
    double m_integral = 0.0;
    double m_error = 0.0;
    double m_delta = 0.0;
    bool m_started = false;
};
