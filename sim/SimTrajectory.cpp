// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimTrajectory.h"

#include <algorithm>
#include <cmath>

namespace {

double towards(double from, double to, double maxStep)
{
    return from + std::clamp(to - from, -maxStep, maxStep);
}

/// Next speed on the way to \a target: accelerating while the magnitude grows
/// in the same direction, decelerating otherwise, never crossing zero and
/// reversing in the same step.
double ramp(double v, double target, double acceleration, double deceleration, double dt)
{
    if (v != 0.0 && (target == 0.0 || (v > 0.0) != (target > 0.0))) {
        return towards(v, 0.0, deceleration * dt);
    }
    if (std::abs(target) > std::abs(v))
        return towards(v, target, acceleration * dt);
    return towards(v, target, deceleration * dt);
}

} // namespace

void SimTrajectory::follow(double position, double speed)
{
    m_position = position;
    m_speed = speed;
    m_acceleration = 0.0;
    m_settled = speed == 0.0;
}

void SimTrajectory::runSpeed(double target, double acceleration, double deceleration, double dt)
{
    const double v = ramp(m_speed, target, acceleration, deceleration, dt);
    m_acceleration = (v - m_speed) / dt;
    m_speed = v;
    m_position += v * dt;
    m_settled = v == 0.0 && target == 0.0;
}

void SimTrajectory::runPosition(double goal, double topSpeed, double acceleration,
                                double deceleration, double dt)
{
    const double e = goal - m_position;
    if (e == 0.0 && m_speed == 0.0) {
        m_acceleration = 0.0;
        m_settled = true;
        return;
    }
    m_settled = false;
    // Highest speed from which the set-point, slowing down by deceleration x dt
    // per step, still stops on the goal: k steps of k x D dt^2 ... 1 x D dt^2
    // cover D dt^2 k (k+1) / 2.
    const double step = deceleration * dt * dt;
    const double k = (std::sqrt(1.0 + 8.0 * std::abs(e) / step) - 1.0) * 0.5;
    const double brakeSpeed = k * deceleration * dt;
    const double target = std::copysign(std::min(topSpeed, brakeSpeed), e);
    double v = ramp(m_speed, target, acceleration, deceleration, dt);
    double next = m_position + v * dt;
    // The step that reaches the goal lands on it when stopping there keeps
    // within the deceleration; a faster set-point passes and comes back.
    if ((goal - next) * e <= 0.0 && std::abs(m_speed) <= deceleration * dt * (1.0 + 1e-9)) {
        v = 0.0;
        next = goal;
    }
    m_acceleration = (v - m_speed) / dt;
    m_speed = v;
    m_position = next;
    m_settled = v == 0.0 && next == goal;
}
