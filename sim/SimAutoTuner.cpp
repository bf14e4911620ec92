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

SimAutoTuner::Event SimAutoTuner::command(uint8_t value)
{
    switch (value) {
    case StartPid:
    case StartPredictive:
        if (m_running)
            return Event::None;
        m_running = true;
        m_predictive = value == StartPredictive;
        m_elapsed = 0;
        m_status = StatusRunning;
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
    if (m_outcome == SimAutoTuneOutcome::Error) {
        m_status = StatusNoSpeed;
        return Event::Failed;
    }
    m_status = StatusDone;
    return Event::Finished;
}

double SimAutoTuner::excitation() const
{
    if (!m_running)
        return 0.0;
    // Half-second half-periods, amplitude from 10 % to 30 % of full scale.
    const double amplitude = 6553.5 * (1.0 + std::min(2.0, m_elapsed));
    return std::fmod(m_elapsed, 1.0) < 0.5 ? amplitude : -amplitude;
}
