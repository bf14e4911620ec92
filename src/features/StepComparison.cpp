// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/StepComparison.h"

#include "device/QLMCSession.h"

#include <cmath>

namespace {

/// Gains not sent after this many timer ticks end the sequence.
constexpr int WriteTicks = 30;

/// One move of the sequence: the gains in force, out to start + size or back
/// to the start, measured or only waited for.
struct Leg
{
    StepComparison::Side gains;
    bool out;
    bool measured;
    const char *text;
};
constexpr Leg Legs[] = {
    {StepComparison::Side::Before, true, true, "Step with the previous gains..."},
    {StepComparison::Side::After, false, false, "Back to the start with the new gains..."},
    {StepComparison::Side::After, true, true, "Step with the new gains..."},
    {StepComparison::Side::After, false, false, "Back to the start..."},
};

} // namespace

const std::vector<int> &StepComparison::gainRegisters()
{
    static const std::vector<int> registers{
        Reg::Kp,           Reg::Ki,           Reg::Kd,       Reg::AntiResetWindup,
        Reg::Acceleration, Reg::Deceleration, Reg::SpeedMax, Reg::DeadZone,
        Reg::VffOffset,    Reg::Kvff,         Reg::Kaff,     Reg::Kdff};
    return registers;
}

StepComparison::StepComparison(QLMCSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    m_timer.setInterval(StepMeasurement::CheckEveryMs);
    connect(&m_timer, &QTimer::timeout, this, &StepComparison::tick);
}

QString StepComparison::start(std::vector<RegisterWrite> before, std::vector<RegisterWrite> after,
                              double size)
{
    if (running())
        return QStringLiteral("A step measurement is running");
    if (!(std::abs(size) >= 1))
        return QStringLiteral("The step size is not set");
    {
        RegisterLockGuard guard(m_session.lock());
        const QLMCRegister *mode = m_session.motor().registerAt(Reg::RegulationMode);
        const std::optional<bool> speed =
            mode && mode->received()
                ? StepMeasurement::isSpeedStep(m_session.Received.RegulationMode)
                : std::nullopt;
        if (!speed)
            return QStringLiteral("Steps need position or speed trajectory regulation");
        m_speedStep = *speed;
    }
    if (before.empty() || after.empty())
        return QStringLiteral("No gains from before and after the run");
    m_gains = {std::move(before), std::move(after)};
    m_figures = {};
    m_size = size;
    m_origin.reset();
    m_gainsSent.reset();
    startLeg(0);
    if (m_phase == Phase::Idle)
        return QStringLiteral("The previous gains were refused");
    m_timer.start();
    return {};
}

bool StepComparison::request(std::span<const RegisterWrite> batch)
{
    const std::vector<RegisterRefusal> refused = RegisterRules::requestWrites(m_session, batch);
    if (!refused.empty()) {
        end(false, QStringLiteral("Step measurement ended: ") + refused.front().reason);
        return false;
    }
    for (const RegisterWrite &w : batch)
        m_pending.push_back(w.address);
    return true;
}

void StepComparison::startLeg(size_t leg)
{
    m_leg = leg;
    m_phase = Phase::Gains;
    m_ticks = 0;
    m_pending.clear();
    const Side side = Legs[leg].gains;
    if (m_gainsSent == side)
        return; // in force already: the next tick goes on
    if (!request(m_gains[size_t(side)]))
        return;
    m_gainsSent = side;
    emit progress(side == Side::Before ? QStringLiteral("Writing the previous gains...")
                                       : QStringLiteral("Writing the new gains..."));
}

bool StepComparison::writesPending() const
{
    RegisterLockGuard guard(m_session.lock());
    for (const int address : m_pending)
        if (m_session.motor().registerAt(address)->WriteRequest)
            return true;
    return false;
}

void StepComparison::tick()
{
    ++m_ticks;
    switch (m_phase) {
    case Phase::Idle:
        m_timer.stop();
        return;
    case Phase::Gains:
        if (writesPending()) {
            if (m_ticks >= WriteTicks)
                end(false, QStringLiteral("Step measurement ended: the gains were not sent"));
            return;
        }
        // The cycles from now on tell where the step starts.
        m_measurement = std::make_unique<StepMeasurement>(m_session);
        m_phase = Phase::Baseline;
        m_ticks = 0;
        return;
    case Phase::Baseline: {
        if (m_measurement->baseline() == StepMeasurement::Baseline::Waiting)
            return;
        const std::optional<double> from = m_measurement->startConsign();
        if (!from) {
            end(false, QStringLiteral("Step measurement ended: no consign (0x21) came back"));
            return;
        }
        if (!m_origin)
            m_origin = *from;
        const Leg &leg = Legs[m_leg];
        const double to = leg.out ? *m_origin + m_size : *m_origin;
        const int64_t target = int64_t(std::llround(to));
        m_measurement->begin(*from, double(target), m_speedStep);
        m_pending.clear();
        const RegisterWrite step = RegisterRules::write(Reg::Input, target);
        if (!request(std::span(&step, 1)))
            return;
        m_phase = Phase::Stepping;
        m_ticks = 0;
        emit progress(QString::fromLatin1(leg.text));
        return;
    }
    case Phase::Stepping: {
        m_measurement->update();
        if (!m_measurement->done(StepSeconds))
            return;
        const Leg &leg = Legs[m_leg];
        if (leg.measured) {
            m_figures[size_t(leg.gains)] = m_measurement->figures();
            emit measured(leg.gains);
        }
        m_measurement.reset();
        if (m_leg + 1 < std::size(Legs))
            startLeg(m_leg + 1);
        else
            end(true, QStringLiteral("Measured with the previous and the new gains"));
        return;
    }
    }
}

void StepComparison::abort(const QString &why)
{
    if (running())
        end(false, why);
}

void StepComparison::end(bool complete, const QString &text)
{
    const bool giveBack = m_gainsSent == Side::Before;
    m_phase = Phase::Idle;
    m_timer.stop();
    m_measurement.reset();
    m_pending.clear();
    // The run's gains stay in force whatever stopped the sequence.
    if (giveBack)
        RegisterRules::requestWrites(m_session, m_gains[size_t(Side::After)]);
    m_gainsSent.reset();
    emit progress(text);
    emit finished(complete);
}
