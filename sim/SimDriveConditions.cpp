// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The drive's conditions: limit switches, supply and heat, warnings, homing,
// tuning and the I/O lines.

#include "sim/SimDriveInternal.h"

#include "sim/SimEnhancedCommand.h"

using namespace simdrive;

bool SimDrive::limitActive(int index, const Settings &s) const
{
    const size_t i = size_t(index);
    bool closed = index == 0 ? physical() <= m_limitPosition[0] : physical() >= m_limitPosition[1];
    if (m_limitOverride[i])
        closed = *m_limitOverride[i];
    // With the pull-up an open switch reads 1 and a closed one 0; with the
    // pull-down the other way round.
    const bool level = (s.options & Opt::LimitPullUp) ? !closed : closed;
    return level == bool(s.limitSetup[i] & Lim::ActiveOn1);
}

void SimDrive::updateLimits(const Settings &s)
{
    for (int index = 0; index < 2; ++index) {
        const size_t i = size_t(index);
        const uint32_t setup = s.limitSetup[i];
        const bool active = (setup & Lim::Used) && limitActive(index, s);
        if (active && !m_limitWasActive[i]) {
            if (setup & Lim::SetPosition)
                shiftCounter(double(s.limitPosition[i]) - position());
            switch ((setup >> 5) & 0x03) {
            case 1:
                setInput(s.limitInput[i]);
                break;
            case 2:
                m_image.setS32(Reg::InputOffset, s.limitInput[i]);
                break;
            case 3:
                m_image.setS32(Reg::InputOffsetMeasured, s.limitInput[i]);
                break;
            default:
                break;
            }
            if ((setup & Lim::ChangeMode) && s.limitMode[i] <= Standby)
                setMode(s.limitMode[i]);
        }
        m_limitWasActive[i] = active;
    }
}

void SimDrive::updateSupplyAndHeat(const Settings &s, double dt)
{
    const double loss = m_stepper ? m_current * m_current * StepperCoilResistance * 2.0
                                  : m_current * m_current * m_motor.params().resistance;
    const double drawn = m_stepper ? loss : m_motor.supplyPower();
    double volts = NominalSupply - SupplyResistance * drawn / m_voltage + 0.02 * noise(1);
    // Energy fed back while braking raises the supply until the dissipation
    // circuit clamps it: at 0x2F, or with auto dissipation (option bit 16)
    // at the drive's own level, 0x2F ignored.
    const double clamp = (s.options & Opt::AutoDissipation) ? AutoDissipationVolts : s.dissipation;
    m_dissipating = false;
    if (clamp > 5.0 && volts > clamp) {
        volts = clamp;
        m_dissipating = true;
    }
    m_voltage = volts;
    const double ambient = DefaultAmbient + double(m_seed % 30) / 10.0;
    m_temperature += (ambient + ThermalResistance * loss - m_temperature)
                     * std::min(1.0, dt / ThermalTimeConstant);

    const double live = m_current + (m_current != 0.0 ? 0.005 * noise(2) : 0.0);
    const double follow = std::min(1.0, dt / 0.2);
    m_currentHigh = std::max(live, m_currentHigh + (live - m_currentHigh) * follow);
    m_currentLow = std::min(live, m_currentLow + (live - m_currentLow) * follow);
}

void SimDrive::updateWarnings(const Settings &s, double dt, bool regulating, bool saturated)
{
    uint32_t present = 0;
    if (m_voltage < 18.0)
        present |= Warn::UnderVoltage;
    if (m_voltage > 32.0)
        present |= Warn::OverVoltage;
    const double error = std::abs(m_trajectory.position() - position());
    m_settledTime = regulating && m_trajectory.settled() ? m_settledTime + dt : 0.0;
    const double deadZone = std::max(0.0, s.regulator.deadZone);
    if (regulating
        && (error > FollowingErrorLimit + deadZone
            || (m_settledTime > 0.5 && error > deadZone + 2.0)))
        present |= Warn::InputNotReached;
    if (saturated)
        present |= Warn::OutputSaturated;
    if (m_homing.active() || m_homingFailed)
        present |= Warn::NoHome;
    if (m_currentLimited)
        present |= Warn::OverCurrent;
    if (m_limitWasActive[0])
        present |= Warn::Limit1;
    if (m_limitWasActive[1])
        present |= Warn::Limit2;
    if (m_temperature > 80.0)
        present |= Warn::OverTemperature;
    if (m_peakLeft > 0.0)
        present |= Warn::PeakCurrent;
    if (m_dissipating)
        present |= Warn::Dissipation;
    present |= m_forcedWarnings;
    m_present = present;
    m_latched |= present << 1;
}

void SimDrive::startHoming()
{
    if (m_tuner.running())
        return;
    SimHoming::Setup setup;
    setup.options = m_image.u32(Reg::HomingOption);
    setup.topSpeed = m_image.s32(Reg::SpeedMax);
    setup.acceleration = m_image.s32(Reg::Acceleration);
    setup.currentMax = std::max(0.0, m_image.fixed16(Reg::CurrentMax));
    setup.startPosition = m_image.s32(Reg::HomingStartInput);
    setup.pulsesPerIndex = m_stepper ? StepperPulsesPerRev : m_motor.params().pulsesPerRev;
    m_homing.start(setup, position());
    m_homingFailed = false;
    m_brakeThenCopy = false;
}

void SimDrive::endHoming(SimHoming::Result result)
{
    m_homing.stop();
    m_motor.setEndStops({}, {});
    if (result != SimHoming::Result::Found) {
        m_homingFailed = true;
        setMode(WaitMode);
        return;
    }
    m_homingFailed = false;
    shiftCounter(double(m_image.s32(Reg::HomingPosition)) - m_homing.eventPosition());
    // "Already at home, stay" keeps the motor where it is; every other type
    // goes on to the homing input.
    if (SimHoming::type(m_image.u32(Reg::HomingOption)) == 0)
        setInput(position());
    else
        setInput(m_image.s32(Reg::HomingInput));
    setMode(PositionTrajectory);
}

void SimDrive::applyTuning()
{
    // What the run "measured": the motor's own constants.
    const SimMotorParams &p = m_motor.params();
    const double unitsPerVolt = FullScale / NominalSupply;
    const double currentMax = std::max(0.1, m_image.fixed16(Reg::CurrentMax));
    const double maxAcceleration =
        p.torqueConstant * currentMax / p.inertia * m_motor.pulsesPerRadian();
    const double ki = 1.5;
    m_image.setFixed16(Reg::Kp, 1.25);
    m_image.setFixed16(Reg::Ki, ki);
    m_image.setFixed16(Reg::Kd, 1.125);
    m_image.setS32(Reg::AntiResetWindup, int32_t(26214.0 / ki + 0.5));
    m_image.setS32(Reg::Acceleration, SimRegisterImage::saturate(maxAcceleration * 0.25));
    m_image.setS32(Reg::Deceleration, SimRegisterImage::saturate(maxAcceleration * 0.25));
    m_image.setS32(Reg::SpeedMax,
                   SimRegisterImage::saturate(m_motor.noLoadSpeed(NominalSupply) * 0.5));
    m_image.setS32(Reg::DeadZone, 1);
    m_image.setU8(Reg::LoopTimeOption, 5);
    if (m_tuner.predictive()) {
        const double kaff =
            p.resistance * p.inertia / p.torqueConstant / m_motor.pulsesPerRadian() * unitsPerVolt;
        m_image.setS32(Reg::VffOffset,
                       SimRegisterImage::saturate(p.coulombFriction / p.torqueConstant
                                                  * p.resistance * unitsPerVolt));
        m_image.setFixed16(Reg::Kvff, 0.984375);
        m_image.setFixed24(Reg::Kaff, kaff);
        m_image.setFixed24(Reg::Kdff, kaff * 0.75);
    }
    m_image.setS32(Reg::Input, 0);
}

uint8_t SimDrive::ioLine(int config, int line) const
{
    constexpr uint32_t hardwareErrors = Warn::OverCurrent | Warn::OverTemperature
                                        | Warn::OutputError | Warn::UnderVoltage
                                        | Warn::OverVoltage;
    switch (config) {
    case 0:
        return m_inputLevels[size_t(line == 2)] ? 1 : 0; // the level applied to the input
    case 1:
        return 1; // output high
    case 3:
        return (m_present & hardwareErrors) ? 1 : 0;
    case 4:
        return ((m_present | (m_latched >> 1)) & hardwareErrors) ? 1 : 0;
    case 7:
        return m_regulating && m_trajectory.settled()
                       && std::abs(m_trajectory.position() - position())
                              <= std::max<double>(0.0, m_image.s32(Reg::DeadZone))
                   ? 1
                   : 0;
    default:
        return 0; // inputs read low, output low, reserved
    }
}
