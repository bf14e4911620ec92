// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/StepWatch.h"

#include "device/QLMCIPMotor.h"
#include "device/RegisterTable.h"
#include "panel/ModeTable.h"
#include "platform/HighResCounter.h"

namespace {

/// At most this many samples a second are kept (the fastest refresh).
constexpr double MostSamplesPerSecond = 600;

bool received(const QLMCIPMotor &image, int address)
{
    const QLMCRegister *reg = image.registerAt(address);
    return reg && reg->received();
}

/// The settings of \a v whose registers came back after answer \a sequence,
/// over those of \a s.
void updateSettings(StepSettings &s, const ReceivedValues &v, const QLMCIPMotor &image,
                    uint64_t sequence)
{
    const auto take = [&image, sequence](int address, double value,
                                         const std::optional<double> &old) {
        const QLMCRegister *reg = image.registerAt(address);
        return reg && reg->receivedAfter(sequence) ? std::optional<double>(value) : old;
    };
    s.kp = take(Reg::Kp, v.Kp, s.kp);
    s.ki = take(Reg::Ki, v.Ki, s.ki);
    s.kd = take(Reg::Kd, v.Kd, s.kd);
    s.kvff = take(Reg::Kvff, v.Kvff, s.kvff);
    s.kaff = take(Reg::Kaff, v.Kaff, s.kaff);
    s.kdff = take(Reg::Kdff, v.Kdff, s.kdff);
    s.acceleration = take(Reg::Acceleration, v.Acceleration, s.acceleration);
    s.deceleration = take(Reg::Deceleration, v.Deceleration, s.deceleration);
    s.topSpeed = take(Reg::SpeedMax, v.SpeedMax, s.topSpeed);
}

} // namespace

const std::vector<int> &StepWatch::settingsRegisters()
{
    static const std::vector<int> registers{Reg::Kp,           Reg::Ki,           Reg::Kd,
                                            Reg::Kvff,         Reg::Kaff,         Reg::Kdff,
                                            Reg::Acceleration, Reg::Deceleration, Reg::SpeedMax};
    return registers;
}

StepWatch::StepWatch(RegisterLock &lock, double timeLimit)
    : m_lock(lock)
    , m_timeLimit(timeLimit)
{}

void StepWatch::readCycleDecoded(const ReceivedValues &values, int64_t ticks,
                                 const QLMCIPMotor &image)
{
    // Called with the RegisterLock held.
    const double time = double(ticks) / double(HighResCounter::frequency());
    const bool position = values.RegulationMode == modeInfo(RegulationMode::PositionTraj).value;
    const bool speed = values.RegulationMode == modeInfo(RegulationMode::SpeedTraj).value;
    const bool regulating = received(image, Reg::RegulationMode) && (position || speed);
    if (received(image, Reg::Input)) {
        if (m_lastInput && *m_lastInput != values.Input && regulating) {
            if (m_active)
                finish(true);
            m_active = true;
            m_record = StepRecord{};
            m_record.number = ++m_count;
            m_record.speed = speed;
            m_record.step = {double(*m_lastInput), double(values.Input), time};
            // This cycle carried the position: its sequence is the answer's.
            m_stepSequence = image.registerAt(Reg::Position)->ReceivedSequence;
            m_samples.clear();
            m_samples.reserve(size_t(m_timeLimit * MostSamplesPerSecond));
        }
        m_lastInput = values.Input;
    }
    if (!m_active)
        return;
    if (!regulating || time - m_record.step.time > m_timeLimit
        || m_samples.size() >= size_t(m_timeLimit * MostSamplesPerSecond)) {
        // A mode change ends the recording; so does the time limit (takeFinished).
        if (!regulating)
            finish(true);
        return;
    }
    updateSettings(m_record.settings, values, image, m_stepSequence);
    StepSample s;
    s.time = time;
    const int actual = m_record.speed ? Reg::Speed : Reg::Position;
    if (received(image, actual))
        s.actual = m_record.speed ? values.Speed : values.Position;
    if (received(image, Reg::Desired))
        s.desired = values.Desired;
    if (received(image, Reg::CurrentSense))
        s.current = values.CurrentLive;
    m_samples.push_back(s);
}

void StepWatch::finish(bool interrupted)
{
    m_record.figures = StepResponse::analyse(m_samples, m_record.step);
    m_record.interrupted = interrupted && !m_record.figures.settled;
    m_finished.push_back(m_record);
    m_active = false;
    m_samples.clear();
}

std::vector<StepRecord> StepWatch::takeFinished()
{
    RegisterLockGuard guard(m_lock);
    if (m_active && !m_samples.empty()) {
        const StepFigures f = StepResponse::analyse(m_samples, m_record.step);
        const bool long_enough =
            f.settled && f.recorded >= 2 * f.settlingTime.value_or(0) + StepLimits{}.hold;
        if (long_enough || f.recorded >= m_timeLimit - 0.01)
            finish(false);
    }
    std::vector<StepRecord> done;
    done.swap(m_finished);
    return done;
}

std::optional<double> StepWatch::activeStepTime() const
{
    RegisterLockGuard guard(m_lock);
    return m_active ? std::optional<double>(m_record.step.time) : std::nullopt;
}

int StepWatch::activeStepNumber() const
{
    RegisterLockGuard guard(m_lock);
    return m_active ? m_record.number : 0;
}

void StepWatch::reset()
{
    RegisterLockGuard guard(m_lock);
    m_lastInput.reset();
    if (m_active)
        finish(true);
}
