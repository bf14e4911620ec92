// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimMotor.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Longest integration sub-step: well below the mechanical time constant of
// any plausible motor, and the regulation loops (0.5 ms and up) divide into it.
constexpr double MaxSubStep = 0.00025;

} // namespace

SimMotor::SimMotor(const SimMotorParams &params)
    : m_params(params)
{}

double SimMotor::pulsesPerRadian() const
{
    return m_params.pulsesPerRev / (2.0 * std::numbers::pi);
}

double SimMotor::noLoadSpeed(double volts) const
{
    return volts / m_params.torqueConstant * pulsesPerRadian();
}

void SimMotor::setEndStops(std::optional<double> low, std::optional<double> high)
{
    m_low = low;
    m_high = high;
}

void SimMotor::place(double position)
{
    m_position = position;
    m_speed = 0.0;
}

void SimMotor::run(double volts, bool bridgeOn, double currentLimit, double seconds)
{
    m_limited = false;
    if (!(seconds > 0.0))
        return;
    const int steps = std::max(1, int(std::ceil(seconds / MaxSubStep - 1e-9)));
    const double h = seconds / steps;
    const double k = pulsesPerRadian();
    const double kt = m_params.torqueConstant;
    const double limit = std::max(0.0, currentLimit);
    double currentSum = 0.0;
    double powerSum = 0.0;
    double w = m_speed / k; // rad/s
    for (int i = 0; i < steps; ++i) {
        double current = 0.0;
        if (bridgeOn) {
            current = (volts - kt * w) / m_params.resistance;
            if (std::abs(current) > limit) {
                current = std::copysign(limit, current);
                m_limited = true;
            }
        }
        double torque = kt * current - m_params.viscousFriction * w;
        const double coulomb = m_params.coulombFriction;
        double next = w;
        if (w == 0.0) {
            if (std::abs(torque) > coulomb)
                next = (torque - std::copysign(coulomb, torque)) / m_params.inertia * h;
        } else {
            next = w + (torque - std::copysign(coulomb, w)) / m_params.inertia * h;
            if (next * w < 0.0)
                next = 0.0; // friction stops the rotor within the step
        }
        m_position += (w + next) * 0.5 * h * k;
        w = next;
        if (m_low && m_position < *m_low) {
            m_position = *m_low;
            w = std::max(w, 0.0);
        }
        if (m_high && m_position > *m_high) {
            m_position = *m_high;
            w = std::min(w, 0.0);
        }
        currentSum += current;
        powerSum += bridgeOn ? volts * current : 0.0;
    }
    m_speed = w * k;
    m_current = currentSum / steps;
    m_supplyPower = powerSum / steps;
}
