// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "record/CycleCollector.h"
#include "record/StepWatch.h"

#include <optional>
#include <vector>

class QLMCSession;

/// One consign step measured from the read cycles a session decodes: the
/// core of `tarvine-cli step` and of the auto-tuning page's "Measure step".
/// The caller writes the consign and paces the waits; this class collects
/// the cycles (from construction on), finds the consign the step starts
/// from, turns the cycles after the step into samples and analyses them.
///
/// Usage: construct, call baseline() until it is not Waiting, startConsign(),
/// begin(), write the new consign, then update() now and then until done().
class StepMeasurement
{
public:
    /// Values before the step, to know where it starts from.
    static constexpr int BaselineMs = 100;
    /// A slow link may need longer for its first cycle with the consign: the
    /// baseline waits for one this long before the step is given up.
    static constexpr int BaselineLimitMs = 5000;
    /// How often a caller checks the response for having settled.
    static constexpr int CheckEveryMs = 100;
    /// The fastest refresh: a read cycle every two passes (500 a second).
    static constexpr int FastestRefresh = 2;

    explicit StepMeasurement(QLMCSession &session);

    /// A position step in position trajectory, a speed step in speed
    /// trajectory; empty for any other regulation mode.
    static std::optional<bool> isSpeedStep(int32_t regulationMode);

    /// Where the start of the step stands:
    /// - Waiting while the baseline runs (BaselineMs from construction) and,
    ///   on a slow link, until a cycle brings the consign (at most
    ///   BaselineLimitMs);
    /// - Ready when startConsign() has the consign;
    /// - Missing when no consign came in time.
    /// Collects first.
    enum class Baseline { Waiting, Ready, Missing };
    Baseline baseline();
    /// Takes the cycles decoded since the last call.
    void collect();
    /// The consign the device last sent in the cycles collected (empty: none).
    std::optional<double> startConsign() const;
    /// The step from \a from to \a to is written now (its time is taken here,
    /// before the write goes out).
    void begin(double from, double to, bool speedStep);
    bool begun() const { return m_begun; }
    /// Collects and analyses what came since the step.
    const StepFigures &update();
    /// Settled and recorded twice the settling time plus the hold since, or
    /// \a limitSeconds recorded.
    bool done(double limitSeconds) const;

    const StepFigures &figures() const { return m_figures; }
    const StepDefinition &definition() const { return m_definition; }
    bool speedStep() const { return m_speedStep; }
    const std::vector<StepSample> &samples() const { return m_samples; }
    /// The settings in force as the device sent them in this connection.
    StepSettings settings() const;

private:
    QLMCSession &m_session;
    CycleCollector m_collector;
    int64_t m_created; ///< HighResCounter ticks at construction
    std::vector<DecodedCycle> m_cycles;
    size_t m_used = 0; ///< cycles turned into samples
    bool m_begun = false;
    bool m_speedStep = false;
    StepDefinition m_definition;
    std::vector<StepSample> m_samples;
    StepFigures m_figures;
};
