#include "features/StepComparison.h"

#include "device/QLMCSession.h"

#include <cmath>

namespace {

/// Gains not sent after this many timer ticks end the sequence.
constexpr int WriteTicks = 30;

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
    m_beforeGainsSent = false;
    startGains(Side::Before);
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

void StepComparison::startGains(Side side)
{
    m_side = side;
    m_phase = Phase::Gains;
    m_ticks = 0;
    m_pending.clear();
    if (!request(m_gains[size_t(side)]))
        return;
    if (side == Side::Before)
        m_beforeGainsSent = true;
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
        if (m_ticks * StepMeasurement::CheckEveryMs < StepMeasurement::BaselineMs)
            return;
        m_measurement->collect();
        const std::optional<double> from = m_measurement->startConsign();
        if (!from) {
            end(false, QStringLiteral("Step measurement ended: no consign (0x21) came back"));
            return;
        }
        if (!m_origin)
            m_origin = *from;
        const double to = m_side == Side::Before ? *m_origin + m_size : *m_origin;
        const int64_t target = int64_t(std::llround(to));
        m_measurement->begin(*from, double(target), m_speedStep);
        m_pending.clear();
        const RegisterWrite step = RegisterRules::write(Reg::Input, target);
        if (!request(std::span(&step, 1)))
            return;
        m_phase = Phase::Stepping;
        m_ticks = 0;
        emit progress(m_side == Side::Before
                          ? QStringLiteral("Step with the previous gains...")
                          : QStringLiteral("Step back with the new gains..."));
        return;
    }
    case Phase::Stepping:
        m_measurement->update();
        if (!m_measurement->done(StepSeconds))
            return;
        m_figures[size_t(m_side)] = m_measurement->figures();
        m_measurement.reset();
        emit measured(m_side);
        if (m_side == Side::Before)
            startGains(Side::After);
        else
            end(true, QStringLiteral("Step measured with the previous and the new gains"));
        return;
    }
}

void StepComparison::abort(const QString &why)
{
    if (running())
        end(false, why);
}

void StepComparison::end(bool complete, const QString &text)
{
    const bool giveBack = !complete && m_beforeGainsSent && m_side == Side::Before;
    m_phase = Phase::Idle;
    m_timer.stop();
    m_measurement.reset();
    m_pending.clear();
    // The run's gains stay in force whatever stopped the sequence.
    if (giveBack)
        RegisterRules::requestWrites(m_session, m_gains[size_t(Side::After)]);
    m_beforeGainsSent = false;
    emit progress(text);
    emit finished(complete);
}
