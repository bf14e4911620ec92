// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimRegulator.h"

#include <algorithm>
#include <cmath>

void SimRegulator::reset()
{
    m_integral = 0.0;
    m_error = 0.0;
    m_delta = 0.0;
    m_started = false;
}

double SimRegulator::update(double setPosition, double setSpeed, double setAcceleration,
                            double position, bool setPointAtRest, const SimRegulatorSettings &s,
                            double dt)
{
    double e = setPosition - position;
    const double deadZone = std::max(0.0, s.deadZone);
    bool inDeadZone = false;
    if (s.linearDeadZone)
        e = std::abs(e) <= deadZone ? 0.0 : e - std::copysign(deadZone, e);
    else
        inDeadZone = setPointAtRest && std::abs(e) <= deadZone;

    m_delta = m_started ? e - m_error : 0.0;
    const bool signChanged = m_started && (e > 0.0) != (m_error > 0.0) && e != 0.0;
    m_error = e;
    m_started = true;

    double feedForward = s.kvff * KvffUnitsPerPulsePerSecond * setSpeed;
    const bool slowingDown = setSpeed * setAcceleration < 0.0;
    feedForward += (slowingDown ? s.kdff : s.kaff) * setAcceleration;
    if (setSpeed != 0.0)
        feedForward += std::copysign(s.vffOffset, setSpeed);

    // Inside the dead zone the motor is left alone and the integral is kept.
    if (inDeadZone)
        return 0.0;

    if (!s.holdIntegrator)
        m_integral += KiUnitsPerPulseSecond * e * dt;
    if (s.fastIntegratorDecrease && signChanged)
        m_integral *= 0.5;
    if (s.leakageIntegrator)
        m_integral -= m_integral * std::min(1.0, dt * 0.5);
    const double bound = std::max(0.0, s.antiResetWindup);
    m_integral = std::clamp(m_integral, -bound, bound);

    const double derating = std::min(1.0, ReferenceLoopSeconds / dt);
    const double feedback = s.kp * KpUnitsPerPulse * e + s.ki * m_integral
                            + s.kd * KdUnitsPerPulsePerSecond * (m_delta / dt);
    return derating * feedback + feedForward;
}
