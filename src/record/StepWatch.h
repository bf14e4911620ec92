// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReadCycleObserver.h"
#include "device/RegisterLock.h"
#include "record/StepResponse.h"

#include <optional>
#include <vector>

/// The gains and trajectory parameters in force during a step, as the device
/// sent them after the step began (empty: not read back during the step).
struct StepSettings
{
    std::optional<double> kp, ki, kd, kvff, kaff, kdff;
    std::optional<double> acceleration, deceleration, topSpeed;
};

/// One step and the figures of its response.
struct StepRecord
{
    int number = 0;     ///< 1, 2, ... in the order of the steps
    bool speed = false; ///< a speed step (else a position step)
    StepDefinition step;
    StepFigures figures;
    StepSettings settings;
    /// The next step came before this one settled.
    bool interrupted = false;
};

/// Watches the read cycles for consign steps and measures each response.
///
/// A step is a change of the consign (0x21) that the device sends back while
/// it regulates in position or speed trajectory, whatever made it (GO, Enter,
/// an auto change, an enhanced command's goal, the remote): the figures rest
/// on the device's own values only. The step's time is the decode time of the
/// first read cycle that carries the new consign. Samples are kept from then
/// until the response settled (and stayed so as long again) or \a timeLimit
/// seconds passed, or the next step came.
///
/// The decoder calls readCycleDecoded() under the RegisterLock and it only
/// appends; the owner calls takeFinished() now and then (it analyses, under the
/// same lock, the few thousand samples of a step).
///
/// The settings of a row are only those read back after its step began (a
/// gain written just before might not be in the last value read): the owner
/// asks for them (settingsRegisters()) when it sees a step begin.
class StepWatch : public ReadCycleObserver
{
public:
    static constexpr double DefaultTimeLimit = 5.0;
    /// The registers of StepSettings.
    static const std::vector<int> &settingsRegisters();

    explicit StepWatch(RegisterLock &lock, double timeLimit = DefaultTimeLimit);

    void readCycleDecoded(const ReceivedValues &values, int64_t ticks,
                          const QLMCIPMotor &image) override;

    /// The steps whose recording ended since the last call, in order.
    std::vector<StepRecord> takeFinished();
    /// The time (seconds on the decode clock) of the step being recorded.
    std::optional<double> activeStepTime() const;
    /// The number of the step being recorded (0: none).
    int activeStepNumber() const;
    /// Forgets the last consign seen (a new connection: the first consign
    /// read is no step).
    void reset();

private:
    void finish(bool interrupted);

    RegisterLock &m_lock;
    double m_timeLimit;
    // All guarded by the RegisterLock.
    std::optional<int32_t> m_lastInput;
    uint64_t m_stepSequence = 0; ///< answer sequence of the step's read cycle
    bool m_active = false;
    StepRecord m_record;
    std::vector<StepSample> m_samples;
    std::vector<StepRecord> m_finished;
    int m_count = 0;
};
