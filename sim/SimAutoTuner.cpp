// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimAutoTuner.h"

#include <algorithm>
#include <cmath>

namespace {

// A PID run measures for 3 s, a run with feed-forward 4.5 s.
constexpr double PidSeconds = 3.0;
constexpr double PredictiveSeconds = 4.5;

} // namespace

void SimAutoTuner::reset()
{
    m_status = StatusDone;
    m_running = false;
    m_predictive = false;
    m_elapsed = 0;
}

SimAutoTuner::Event SimAutoTuner::command(uint8_t value, bool noCurrent)
{
    switch (value) {
    case StartPid:
    case StartPredictive:
        if (m_running)
            return Event::None;
        m_running = true;
        m_predictive = value == StartPredictive;
        m_elapsed = 0;
        m_runOutcome = noCurrent ? SimAutoTuneOutcome::Error : m_outcome;
        m_status = m_runOutcome == SimAutoTuneOutcome::RunningHigh ? StatusRunningHigh
                                                                     : StatusRunning;
        return Event::Started;
    case AbortPid:
    case AbortPredictive:
        if (!m_running)
            return Event::None;
        m_running = false;
        m_status = StatusAborted;
        return Event::Stopped;
    case 0:
        m_status = StatusDone;
        if (!m_running)
            return Event::None;
        m_running = false;
        return Event::Stopped;
    default:
        return Event::None;
    }
}

SimAutoTuner::Event SimAutoTuner::step(double dt)
{
    if (!m_running)
        return Event::None;
    m_elapsed += dt;
    if (m_elapsed < (m_predictive ? PredictiveSeconds : PidSeconds))
        return Event::None;
    m_running = false;
    switch (m_runOutcome) {
    case SimAutoTuneOutcome::Success:
    case SimAutoTuneOutcome::RunningHigh:
        m_status = StatusDone;
        return Event::Finished;
    case SimAutoTuneOutcome::Error:
        m_status = StatusNoSpeed;
        break;
    case SimAutoTuneOutcome::NoSpeedHall:
        m_status = StatusNoSpeedHall;
        break;
    case SimAutoTuneOutcome::Oscillation:
        m_status = StatusOscillation;
        break;
    case SimAutoTuneOutcome::Undefined:
        m_status = StatusUndefined;
        break;
    }
    return Event::Failed;
}

bool SimAutoTuner::holdsRotor() const
{
    return m_running
           && (m_runOutcome == SimAutoTuneOutcome::Error
               || m_runOutcome == SimAutoTuneOutcome::NoSpeedHall);
}

double SimAutoTuner::excitation() const
{
    if (!m_running)
        return 0.0;
    if (m_runOutcome == SimAutoTuneOutcome::Oscillation) {
        // The loop under test rings: a growing 6 Hz oscillation.
        const double ringing = 6553.5 * (0.5 + std::min(2.5, m_elapsed));
        return ringing * std::sin(2.0 * 3.14159265358979 * 6.0 * m_elapsed);
    }
    // Half-second half-periods, amplitude from 10 % to 30 % of full scale.
    const double amplitude = 6553.5 * (1.0 + std::min(2.0, m_elapsed));
    return std::fmod(m_elapsed, 1.0) < 0.5 ? amplitude : -amplitude;
}
