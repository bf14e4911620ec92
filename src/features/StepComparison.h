// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/RegisterRules.h"
#include "record/StepMeasurement.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class QLMCSession;

/// "Measure step" on the auto-tuning result page: the same consign step with
/// the gains from before the run and with the run's gains, each measured as
/// `tarvine-cli step` measures it (StepMeasurement).
///
/// The sequence, paced by a timer on the owner's thread: the previous gains
/// are written and sent; the consign the device sends is the start; the step
/// to start + size goes out and is recorded until it settled or the time is
/// up; the run's gains are written and sent, and the consign goes back to the
/// start (waited for, not measured); the same step is measured again; the
/// consign goes back to the start. The motor ends where it began, with the
/// run's gains in force.
///
/// abort() (STOP, a lost connection) ends the sequence at once: no further
/// consign is written, and when the previous gains were sent the run's gains
/// are written back. Nothing is ever written but by start().
class StepComparison : public QObject
{
    Q_OBJECT

public:
    enum class Side { Before = 0, After = 1 };
    /// The registers written for "the gains": the regulator and trajectory
    /// settings the auto-tuning changes.
    static const std::vector<int> &gainRegisters();
    /// A step that has not settled after this long is recorded no further.
    static constexpr double StepSeconds = 2.0;

    explicit StepComparison(QLMCSession &session, QObject *parent = nullptr);

    /// Starts the two steps of \a size (position pulses or speed) with the
    /// gains \a before and then \a after (writes of gainRegisters()).
    /// Returns the reason when it cannot start (nothing written then).
    QString start(std::vector<RegisterWrite> before, std::vector<RegisterWrite> after,
                  double size);
    /// Stops a running sequence (nothing when idle), saying \a why.
    void abort(const QString &why);
    bool running() const { return m_phase != Phase::Idle; }

    /// The figures of each step once measured.
    const std::optional<StepFigures> &figures(Side side) const
    {
        return m_figures[size_t(side)];
    }

signals:
    /// What the sequence does now, or how it ended.
    void progress(const QString &text);
    /// A step was measured.
    void measured(StepComparison::Side side);
    /// The sequence ended; \a complete when both steps were measured.
    void finished(bool complete);

private:
    enum class Phase { Idle, Gains, Baseline, Stepping };
    void tick();
    bool writesPending() const;
    bool request(std::span<const RegisterWrite> batch);
    void startLeg(size_t leg);
    void end(bool complete, const QString &text);

    QLMCSession &m_session;
    QTimer m_timer;
    Phase m_phase = Phase::Idle;
    size_t m_leg = 0; ///< the step of the sequence under way
    std::array<std::vector<RegisterWrite>, 2> m_gains;
    std::vector<int> m_pending; ///< writes not sent yet
    std::optional<Side> m_gainsSent; ///< the gains written last
    double m_size = 0;
    std::optional<double> m_origin; ///< the consign the first step starts from
    bool m_speedStep = false;
    int m_ticks = 0;
    std::unique_ptr<StepMeasurement> m_measurement;
    std::array<std::optional<StepFigures>, 2> m_figures;
};
