// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimAutoTuner.h"
#include "sim/SimHoming.h"
#include "sim/SimModel.h"
#include "sim/SimMotor.h"
#include "sim/SimRegisterImage.h"
#include "sim/SimRegulator.h"
#include "sim/SimTrajectory.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

/// The motion side of a simulated controller: regulation modes, trajectory,
/// regulator, motor (or stepper), limit switches, homing, enhanced commands,
/// auto-tuning, warnings, supply voltage, current and temperature. It reads
/// its settings from the register image at every loop and writes the live
/// values into it when they are read.
class SimDrive
{
public:
    SimDrive(const SimModel &model, SimRegisterImage &image, uint64_t seed);

    /// Writes the factory settings of \a model into \a image (parameters only).
    static void writeFactoryDefaults(const SimModel &model, SimRegisterImage &image);

    /// Power-up: motor stopped, volatile state from the settings in the image.
    void powerUp();
    /// One regulation loop.
    void step();
    /// Loop time in nanoseconds (register 0x2D: 50, 20, 10, 5, 2, 1, 0.5 ms).
    int64_t loopNanoseconds() const;

    /// Applies a write whose size was checked; false when the value is refused.
    bool write(int address, std::span<const uint8_t> value);
    /// True for registers whose value the drive produces (written into the
    /// image by render()).
    static bool isLive(int address);
    void render(int address);

    void setAutoTuneOutcome(SimAutoTuneOutcome outcome) { m_tuner.setOutcome(outcome); }
    /// Warning bits forced on (present bits), for fault injection.
    void setForcedWarnings(uint32_t bits) { m_forcedWarnings = bits & 0x55555555u; }
    /// Level of a line configured as input (\a line 1 or 2).
    void setInputLevel(int line, bool high)
    {
        if (line == 1 || line == 2)
            m_inputLevels[size_t(line - 1)] = high;
    }
    /// Physical positions (pulses from power-up) of limit switch 1 (closed at
    /// or below) and limit switch 2 (closed at or above).
    void setLimitSwitchPositions(double limit1, double limit2);
    /// Forces limit switch \a limit (1 or 2) closed or open; nullopt follows the position.
    void setLimitSwitchOverride(int limit, std::optional<bool> closed);

    double position() const; ///< position counter, pulses
    double speed() const;    ///< pulses/s
    double current() const { return m_current; }
    double temperature() const { return m_temperature; }
    double supplyVoltage() const { return m_voltage; }
    uint32_t warnings() const { return m_present | m_latched; }

private:
    struct Settings;
    Settings settings() const;
    double physical() const;
    void followDirection(uint32_t options);
    double effectiveInput(const Settings &s) const;
    void setMode(int mode);
    void setInput(double value);
    void shiftCounter(double delta);
    void startHoming();
    void endHoming(SimHoming::Result result);
    void applyTuning();
    void updateLimits(const Settings &s);
    void updateWarnings(const Settings &s, double dt, bool regulating, bool saturated);
    void updateSupplyAndHeat(const Settings &s, double dt);
    bool limitActive(int index, const Settings &s) const;
    uint8_t ioLine(int config, int line) const;
    double noise(uint64_t salt) const;

    const SimModel m_model;
    const bool m_stepper;
    SimRegisterImage &m_image;
    const uint64_t m_seed;
    SimMotor m_motor;
    SimTrajectory m_trajectory;
    SimRegulator m_regulator;
    SimHoming m_homing;
    SimAutoTuner m_tuner;

    double m_direction = 1.0;     ///< -1 with option bit 1 (invert direction)
    double m_offset = 0;          ///< position counter minus direction x physical position
    double m_stepperPosition = 0; ///< physical, micro-steps
    double m_stepperSpeed = 0;
    double m_previousPhysical = 0;
    double m_command = 0;
    double m_current = 0;
    double m_currentLow = 0;
    double m_currentHigh = 0;
    double m_temperature = 0;
    double m_voltage = 24.0;
    bool m_regulating = false;
    bool m_currentLimited = false;
    bool m_saturated = false;
    bool m_dissipating = false;
    bool m_homingFailed = false;
    bool m_brakeThenCopy = false;
    double m_peakLeft = 0;
    double m_atGoalTime = 0;
    double m_settledTime = 0;
    uint32_t m_present = 0;
    uint32_t m_latched = 0;
    uint32_t m_forcedWarnings = 0;
    std::array<bool, 2> m_inputLevels{};
    std::array<double, 2> m_limitPosition{-30000.0, 30000.0};
    std::array<std::optional<bool>, 2> m_limitOverride{};
    std::array<bool, 2> m_limitWasActive{};
    uint64_t m_steps = 0;
};
