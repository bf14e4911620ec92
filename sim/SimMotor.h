// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>

/// Physical constants of a simulated DC or EC motor with its load.
struct SimMotorParams
{
    double pulsesPerRev = 2000.0;    ///< encoder pulses per revolution (4 x 500 lines)
    double torqueConstant = 0.05;    ///< N m/A, equal to the back-EMF constant in V s/rad
    double resistance = 2.0;         ///< winding resistance, ohm
    double inertia = 1.0e-4;         ///< rotor and load, kg m^2
    double viscousFriction = 1.0e-5; ///< N m s/rad
    double coulombFriction = 0.004;  ///< N m
};

/// A brushed or brushless motor driven by an H-bridge: winding current from
/// the applied voltage and the back-EMF (inductance neglected), limited by the
/// driver's current limit, torque against viscous and Coulomb friction. Runs
/// in fixed sub-steps so any regulation loop time stays accurate.
class SimMotor
{
public:
    explicit SimMotor(const SimMotorParams &params = {});

    const SimMotorParams &params() const { return m_params; }

    /// Runs \a seconds with \a volts across the winding, or with the bridge
    /// open (no current) when \a bridgeOn is false.
    void run(double volts, bool bridgeOn, double currentLimit, double seconds);

    /// Position in encoder pulses from the power-up point.
    double position() const { return m_position; }
    /// Speed in pulses per second.
    double speed() const { return m_speed; }
    /// Mean winding current of the last run, amperes.
    double current() const { return m_current; }
    /// Mean electrical power drawn from the supply in the last run, watts.
    double supplyPower() const { return m_supplyPower; }
    /// True when the current limit clamped the current during the last run.
    bool currentLimited() const { return m_limited; }

    /// Mechanical end stops (pulses); the rotor cannot pass them.
    void setEndStops(std::optional<double> low, std::optional<double> high);
    /// Puts the rotor at rest at \a position.
    void place(double position);

    /// Speed in pulses/s that \a volts reach without load (back-EMF balance).
    double noLoadSpeed(double volts) const;
    /// Pulses per radian.
    double pulsesPerRadian() const;

private:
    SimMotorParams m_params;
    double m_position = 0.0;
    double m_speed = 0.0;
    double m_current = 0.0;
    double m_supplyPower = 0.0;
    bool m_limited = false;
    std::optional<double> m_low;
    std::optional<double> m_high;
};
