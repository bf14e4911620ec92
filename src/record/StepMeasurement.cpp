// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/StepMeasurement.h"

#include "device/QLMCSession.h"
#include "panel/ModeTable.h"
#include "platform/HighResCounter.h"

namespace {

double seconds(int64_t ticks)
{
    return double(ticks) / double(HighResCounter::frequency());
}

} // namespace

StepMeasurement::StepMeasurement(QLMCSession &session)
    : m_session(session)
    , m_collector(session)
    , m_created(HighResCounter::now())
{
}

StepMeasurement::Baseline StepMeasurement::baseline()
{
    collect();
    const double elapsedMs = 1000 * seconds(HighResCounter::now() - m_created);
    if (elapsedMs < BaselineMs)
        return Baseline::Waiting;
    if (startConsign())
        return Baseline::Ready;
    return elapsedMs < BaselineLimitMs ? Baseline::Waiting : Baseline::Missing;
}

std::optional<bool> StepMeasurement::isSpeedStep(int32_t regulationMode)
{
    if (regulationMode == modeInfo(RegulationMode::PositionTraj).value)
        return false;
    if (regulationMode == modeInfo(RegulationMode::SpeedTraj).value)
        return true;
    return std::nullopt;
}

void StepMeasurement::collect()
{
    for (DecodedCycle &cycle : m_collector.take())
        m_cycles.push_back(cycle);
}

std::optional<double> StepMeasurement::startConsign() const
{
    for (auto it = m_cycles.rbegin(); it != m_cycles.rend(); ++it)
        if (it->received.test(Reg::Input))
            return it->values.Input;
    return std::nullopt;
}

void StepMeasurement::begin(double from, double to, bool speedStep)
{
    // The baseline stays in the samples (negative times in the columns); the
    // analysis looks at what comes after the step only.
    m_begun = true;
    m_speedStep = speedStep;
    m_definition = StepDefinition{from, to, seconds(HighResCounter::now())};
}

const StepFigures &StepMeasurement::update()
{
    collect();
    if (!m_begun)
        return m_figures;
    const int actual = m_speedStep ? Reg::Speed : Reg::Position;
    for (; m_used < m_cycles.size(); ++m_used) {
        const DecodedCycle &cycle = m_cycles[m_used];
        const ReceivedValues &v = cycle.values;
        StepSample s;
        s.time = seconds(cycle.ticks);
        if (cycle.received.test(size_t(actual)))
            s.actual = m_speedStep ? v.Speed : v.Position;
        if (cycle.received.test(Reg::Desired))
            s.desired = v.Desired;
        if (cycle.received.test(Reg::CurrentSense))
            s.current = v.CurrentLive;
        m_samples.push_back(s);
    }
    m_figures = StepResponse::analyse(m_samples, m_definition);
    return m_figures;
}

bool StepMeasurement::done(double limitSeconds) const
{
    if (!m_begun)
        return false;
    if (m_figures.settled
        && m_figures.recorded >= 2 * m_figures.settlingTime.value_or(0) + StepLimits{}.hold)
        return true;
    return seconds(HighResCounter::now()) - m_definition.time >= limitSeconds;
}

StepSettings StepMeasurement::settings() const
{
    StepSettings settings;
    RegisterLockGuard guard(m_session.lock());
    const ReceivedValues &r = m_session.Received;
    const auto take = [this](int address, double value) {
        const QLMCRegister *reg = m_session.motor().registerAt(address);
        return reg && reg->received() ? std::optional<double>(value) : std::nullopt;
    };
    settings.kp = take(Reg::Kp, r.Kp);
    settings.ki = take(Reg::Ki, r.Ki);
    settings.kd = take(Reg::Kd, r.Kd);
    settings.kvff = take(Reg::Kvff, r.Kvff);
    settings.kaff = take(Reg::Kaff, r.Kaff);
    settings.kdff = take(Reg::Kdff, r.Kdff);
    settings.acceleration = take(Reg::Acceleration, r.Acceleration);
    settings.deceleration = take(Reg::Deceleration, r.Deceleration);
    settings.topSpeed = take(Reg::SpeedMax, r.SpeedMax);
    return settings;
}
