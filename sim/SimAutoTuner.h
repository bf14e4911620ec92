// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimController.h"

#include <cstdint>

/// The controller's auto-tuning run as register 0x39 drives it: start and
/// abort commands in, a status byte out (low nibble state, high nibble error
/// detail), and an excitation of the motor while it runs.
class SimAutoTuner
{
public:
    static constexpr uint8_t StartPid = 0x01;
    static constexpr uint8_t AbortPid = 0x02;
    static constexpr uint8_t StartPredictive = 0x11;
    static constexpr uint8_t AbortPredictive = 0x12;
    static constexpr uint8_t StatusDone = 0x00;
    static constexpr uint8_t StatusRunning = 0x03;
    static constexpr uint8_t StatusAborted = 0x04;
    static constexpr uint8_t StatusNoSpeed = 0x14;     ///< error: speed measured = 0
    static constexpr uint8_t StatusNoSpeedHall = 0x24; ///< the same with Hall sensors
    static constexpr uint8_t StatusOscillation = 0x34;
    static constexpr uint8_t StatusUndefined = 0xF4;
    static constexpr uint8_t StatusRunningHigh = 0x13;

    enum class Event : uint8_t { None, Started, Stopped, Finished, Failed };

    void setOutcome(SimAutoTuneOutcome outcome) { m_outcome = outcome; }
    void reset();

    uint8_t status() const { return m_status; }
    bool running() const { return m_running; }
    bool predictive() const { return m_predictive; }

    /// A write of 0x39: starts, aborts or clears; unknown values change nothing.
    /// A run started without current (\a noCurrent: current max. 0) cannot move
    /// the motor and ends in the no-speed error whatever the chosen outcome.
    Event command(uint8_t value, bool noCurrent = false);
    /// The rotor stays still during this run (the no-speed outcomes).
    bool holdsRotor() const;
    /// Advances a run; returns Finished or Failed when it ends.
    Event step(double dt);
    /// Output while running, in command units (a square wave of rising amplitude).
    double excitation() const;

private:
    SimAutoTuneOutcome m_outcome = SimAutoTuneOutcome::Success;
    SimAutoTuneOutcome m_runOutcome = SimAutoTuneOutcome::Success; ///< of the run going on
    uint8_t m_status = StatusDone;
    bool m_running = false;
    bool m_predictive = false;
    double m_elapsed = 0;
};
