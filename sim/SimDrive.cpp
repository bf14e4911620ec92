// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimDriveInternal.h"

#include "sim/SimEnhancedCommand.h"

using namespace simdrive;


SimDrive::SimDrive(const SimModel &model, SimRegisterImage &image, uint64_t seed)
    : m_model(model)
    , m_stepper(model.isStepper())
    , m_image(image)
    , m_seed(seed)
{
    m_temperature = DefaultAmbient + double(seed % 30) / 10.0;
}

void SimDrive::writeFactoryDefaults(const SimModel &model, SimRegisterImage &image)
{
    const double currentMax = modelCurrentMax(model);
    const double pulsesPerRev =
        model.isStepper() ? StepperPulsesPerRev : SimMotorParams{}.pulsesPerRev;
    image.setU16(Reg::StandbyTimer, 1000);
    image.setU32(Reg::ComOptions, 0);
    image.setU8(Reg::TcpWatchdog, 30);
    image.setU8(Reg::RegulationMode, DriverStop);
    image.setS32(Reg::Input, 0);
    image.setS32(Reg::InputOffset, 0);
    image.setS32(Reg::InputOffsetMeasured, 0);
    image.setS32(Reg::InputMin, -100000);
    image.setS32(Reg::InputMax, 100000);
    image.setS32(Reg::PositionOffset, 0);
    image.setFixed16(Reg::CurrentMax, currentMax);
    image.setU32(Reg::Options, 0);
    image.setU8(Reg::LoopTimeOption, 5); // 1 ms
    image.setS32(Reg::MaxOutputVoltage, -1);
    image.setFixed16(Reg::DissipationVoltage, 30.0);
    image.setFixed16(Reg::Kp, 1.0);
    image.setFixed16(Reg::Ki, 1.0);
    image.setFixed16(Reg::Kd, 1.0);
    image.setS32(Reg::AntiResetWindup, 2000000000);
    image.setS32(Reg::Acceleration, 43172);
    image.setS32(Reg::Deceleration, 43172);
    image.setS32(Reg::SpeedMax, 2000);
    image.setS32(Reg::DeadZone, 0);
    image.setFixed16(Reg::EncoderRatio, 1.0);
    image.setU16(Reg::LoopRest, 0);
    image.setS32(Reg::HomingStartInput, 0);
    image.setU32(Reg::HomingOption, 0);
    image.setS32(Reg::HomingPosition, 0);
    image.setS32(Reg::HomingInput, 0);
    const uint8_t enhanced[6] = {0x80, 0, 0, 0, 0, 0};
    image.setBytes(Reg::EnhancedInput, enhanced);
    image.setU32(Reg::LoopsConfig, 1, 0); // denominator
    image.setU32(Reg::LoopsConfig, 0, 4); // numerator
    image.setU32(Reg::LoopsConfig, uint32_t(pulsesPerRev), 8);
    image.setU32(Reg::EnhancedParams, 0, 0);
    image.setU16(Reg::EnhancedParams, 100, 4); // ms
    image.setU16(Reg::EnhancedParams, uint16_t(std::min(65535.0, currentMax * 1.5 * 256.0)), 6);
    for (const int base : {Reg::Limit1Setup, Reg::Limit2Setup}) {
        image.setU32(base, Lim::ActiveOn1);
        image.setU8(base + 1, WaitMode);
        image.setS32(base + 2, 0);
        image.setS32(base + 3, 0);
    }
    image.setU16(Reg::IoConfig, 0);
    image.setS32(Reg::VffOffset, 0);
    image.setS32(Reg::Kvff, 0);
    image.setS32(Reg::Kaff, 0);
    image.setS32(Reg::Kdff, 0);
}

SimDrive::Settings SimDrive::settings() const
{
    const SimRegisterImage &r = m_image;
    Settings s;
    s.mode = r.u8(Reg::RegulationMode);
    s.input = int64_t(r.s32(Reg::Input)) + r.s32(Reg::InputOffset);
    s.inputMin = r.s32(Reg::InputMin);
    s.inputMax = r.s32(Reg::InputMax);
    s.currentMax = std::max(0.0, r.fixed16(Reg::CurrentMax));
    s.options = r.u32(Reg::Options);
    s.maxOutput = r.s32(Reg::MaxOutputVoltage) < 0 ? -1.0 : r.fixed16(Reg::MaxOutputVoltage);
    s.dissipation = r.fixed16(Reg::DissipationVoltage);
    SimRegulatorSettings &g = s.regulator;
    g.kp = r.fixed16(Reg::Kp);
    g.ki = r.fixed16(Reg::Ki);
    g.kd = r.fixed16(Reg::Kd);
    g.antiResetWindup = r.s32(Reg::AntiResetWindup);
    g.vffOffset = r.s32(Reg::VffOffset);
    g.kvff = r.fixed16(Reg::Kvff);
    g.kaff = r.fixed24(Reg::Kaff);
    g.kdff = r.fixed24(Reg::Kdff);
    g.deadZone = r.s32(Reg::DeadZone);
    g.linearDeadZone = s.options & Opt::LinearDeadZone;
    g.leakageIntegrator = s.options & Opt::LeakageIntegrator;
    g.fastIntegratorDecrease = s.options & Opt::DecreaseIntegratorFast;
    g.holdIntegrator = (s.options & Opt::OverCurrentStopsIntegrator) && m_currentLimited;
    s.acceleration = std::max(1.0, std::abs(double(r.s32(Reg::Acceleration))));
    s.deceleration = std::max(1.0, std::abs(double(r.s32(Reg::Deceleration))));
    s.topSpeed = std::abs(double(r.s32(Reg::SpeedMax)));
    s.standbySeconds = r.u16(Reg::StandbyTimer) / 1000.0;
    for (int i = 0; i < 2; ++i) {
        const int base = i == 0 ? Reg::Limit1Setup : Reg::Limit2Setup;
        s.limitSetup[size_t(i)] = r.u32(base);
        s.limitMode[size_t(i)] = r.u8(base + 1);
        s.limitPosition[size_t(i)] = r.s32(base + 2);
        s.limitInput[size_t(i)] = r.s32(base + 3);
    }
    s.peakSeconds = r.u16(Reg::EnhancedParams, 4) / 1000.0;
    s.peakCurrent = r.u16(Reg::EnhancedParams, 6) / 256.0;
    const uint32_t denominator = r.u32(Reg::LoopsConfig, 0);
    const uint32_t numerator = r.u32(Reg::LoopsConfig, 4);
    s.pulsesPerLoop = double(r.u32(Reg::LoopsConfig, 8))
                      + (denominator ? double(numerator) / double(denominator) : 0.0);
    return s;
}

int64_t SimDrive::loopNanoseconds() const
{
    static constexpr int64_t Loop[7] = {50'000'000, 20'000'000, 10'000'000, 5'000'000,
                                        2'000'000,  1'000'000,  500'000};
    return Loop[std::min<int>(m_image.u8(Reg::LoopTimeOption), 6)];
}

double SimDrive::physical() const
{
    return m_stepper ? m_stepperPosition : m_motor.position();
}

double SimDrive::position() const
{
    return m_direction * physical() + m_offset;
}

void SimDrive::followDirection(uint32_t options)
{
    // Option bit 1 turns motor and counter round together: a positive consign
    // runs towards limit switch 1. The counter keeps its value on the switch.
    const double direction = (options & Opt::InvertDirection) ? -1.0 : 1.0;
    if (direction == m_direction)
        return;
    const double counter = position();
    m_direction = direction;
    m_offset = counter - m_direction * physical();
}

double SimDrive::speed() const
{
    return m_direction * (m_stepper ? m_stepperSpeed : m_motor.speed());
}

double SimDrive::effectiveInput(const Settings &s) const
{
    double v = double(s.input);
    if (s.inputMin <= s.inputMax)
        v = std::clamp(v, double(s.inputMin), double(s.inputMax));
    return v;
}

double SimDrive::noise(uint64_t salt) const
{
    const uint64_t x = splitmix(m_seed ^ (m_steps * 0x100000001B3ull) ^ (salt << 56));
    return double(x >> 11) / double(1ull << 52) - 1.0;
}

void SimDrive::setMode(int mode)
{
    m_image.setU8(Reg::RegulationMode, uint8_t(mode));
    m_atGoalTime = 0;
    m_brakeThenCopy = false;
}

void SimDrive::setInput(double value)
{
    m_image.setS32(Reg::Input, SimRegisterImage::saturate(std::round(value)));
}

void SimDrive::shiftCounter(double delta)
{
    if (!std::isfinite(delta))
        return;
    m_offset += delta;
    m_trajectory.shift(delta);
}

void SimDrive::setLimitSwitchPositions(double limit1, double limit2)
{
    m_limitPosition = {limit1, limit2};
}

void SimDrive::setLimitSwitchOverride(int limit, std::optional<bool> closed)
{
    if (limit == 1 || limit == 2)
        m_limitOverride[size_t(limit - 1)] = closed;
}

void SimDrive::powerUp()
{
    const uint32_t options = m_image.u32(Reg::Options);
    m_motor.setEndStops({}, {});
    m_motor.place(m_motor.position());
    m_stepperSpeed = 0;
    followDirection(options);
    if (!(options & Opt::SavePosition))
        m_offset = -m_direction * physical();
    m_regulator.reset();
    m_trajectory.follow(position(), 0.0);
    m_regulating = false;
    m_homing.stop();
    m_tuner.reset();
    m_homingFailed = false;
    m_peakLeft = 0;
    m_settledTime = 0;
    m_present = 0;
    m_latched = 0;
    m_limitWasActive = {};
    m_command = 0;
    setMode(options & Opt::StandbyAtStartup ? Standby : DriverStop);
    m_image.setS32(Reg::Input, 0);
    m_previousPhysical = physical();
    if (m_image.u32(Reg::HomingOption) & 0x80) // autorun at start-up
        startHoming();
}

void SimDrive::step()
{
    const double dt = double(loopNanoseconds()) * 1e-9;
    ++m_steps;
    const Settings s = settings();
    followDirection(s.options);
    const double physicalBefore = m_direction * physical();

    bool regulate = false;
    bool bridge = true;
    double output = 0.0;
    double currentLimit = s.currentMax;
    if (m_peakLeft > 0.0) {
        currentLimit = std::max(currentLimit, s.peakCurrent);
        m_peakLeft -= dt;
    }

    if (m_tuner.running()) {
        output = m_tuner.excitation();
    } else if (m_homing.active()) {
        regulate = true;
        currentLimit = std::min(currentLimit, m_homing.currentLimit());
        if (m_homing.search() == SimHoming::Search::MoveTo)
            m_trajectory.runPosition(m_homing.moveGoal(), m_homing.speed(), m_homing.acceleration(),
                                     m_homing.acceleration(), dt);
        else
            m_trajectory.runSpeed(m_homing.direction() * m_homing.speed(), m_homing.acceleration(),
                                  m_homing.acceleration(), dt);
    } else {
        switch (s.mode) {
        case DriverStop:
            break; // bridge on with zero output: the motor brakes
        case OpenLoop:
            if (m_stepper) {
                regulate = true;
                m_trajectory.runSpeed(effectiveInput(s) / 65536.0 * s.topSpeed, s.acceleration,
                                      s.deceleration, dt);
            } else {
                output = std::clamp(effectiveInput(s), -FullScale, FullScale);
            }
            break;
        case WaitMode:
            regulate = true;
            m_trajectory.runSpeed(0.0, s.acceleration, s.deceleration, dt);
            break;
        case SpeedTrajectory:
            regulate = true;
            m_trajectory.runSpeed(std::clamp(effectiveInput(s), -s.topSpeed, s.topSpeed),
                                  s.acceleration, s.deceleration, dt);
            break;
        case PositionTrajectory:
            regulate = true;
            m_trajectory.runPosition(effectiveInput(s), s.topSpeed, s.acceleration, s.deceleration,
                                     dt);
            break;
        default: // driver open, standby: the bridge is off
            bridge = false;
            break;
        }
    }
    if (regulate && !m_regulating)
        m_regulator.reset();

    if (m_stepper) {
        // Open-loop stepping: the rotor follows the set-point exactly.
        if (regulate) {
            m_stepperPosition = m_direction * (m_trajectory.position() - m_offset);
            m_stepperSpeed = m_direction * m_trajectory.speed();
        } else {
            m_stepperSpeed = 0;
        }
        double share = 0.7;
        if (!regulate && s.mode == Standby)
            share = 0.3;
        else if (!regulate && (s.mode == DriverStop || s.mode == DriverOpen))
            share = 0.0;
        m_current = share * s.currentMax;
        m_command = 0;
        m_saturated = false;
        m_currentLimited = false;
    } else {
        if (regulate)
            output = m_regulator.update(m_trajectory.position(), m_trajectory.speed(),
                                        m_trajectory.acceleration(), position(),
                                        m_trajectory.settled(), s.regulator, dt);
        const double commanded = std::clamp(output, -FullScale, FullScale);
        double volts = commanded / FullScale * m_voltage;
        bool limited = std::abs(output) >= FullScale;
        if (s.maxOutput >= 0.0 && std::abs(volts) > s.maxOutput) {
            volts = std::copysign(s.maxOutput, volts);
            limited = true;
        }
        m_saturated = bridge && limited;
        m_command = bridge ? volts / m_voltage * FullScale : 0.0;
        if (m_homing.search() == SimHoming::Search::Current) {
            if (m_homing.direction() * m_direction < 0)
                m_motor.setEndStops(m_limitPosition[0] - EndStopBeyondSwitch, {});
            else
                m_motor.setEndStops({}, m_limitPosition[1] + EndStopBeyondSwitch);
        }
        m_motor.run(m_direction * volts, bridge, currentLimit, dt);
        m_current = m_motor.current();
        m_currentLimited = m_motor.currentLimited();
    }
    if (!regulate)
        m_trajectory.follow(position(), speed());
    m_regulating = regulate;

    if (m_homing.active()) {
        SimHoming::Observation o;
        o.position = position();
        o.previousPhysical = physicalBefore;
        o.physical = m_direction * physical();
        o.current = m_current;
        o.limit1Active = limitActive(0, s);
        o.setPointAtRest = m_trajectory.settled();
        o.dt = dt;
        const SimHoming::Result result = m_homing.observe(o);
        if (result != SimHoming::Result::Running)
            endHoming(result);
    }
    if (m_tuner.running()) {
        const SimAutoTuner::Event event = m_tuner.step(dt);
        if (event == SimAutoTuner::Event::Finished)
            applyTuning();
        if (event == SimAutoTuner::Event::Finished || event == SimAutoTuner::Event::Failed) {
            m_motor.setEndStops({}, {});
            setMode(DriverStop);
        }
    }
    if (!m_homing.active() && !m_tuner.running())
        updateLimits(s);

    const int mode = m_image.u8(Reg::RegulationMode);
    if (m_brakeThenCopy && mode == WaitMode && m_trajectory.settled()) {
        setInput(position());
        setMode(PositionTrajectory);
    }
    if ((s.options & Opt::StandbyAfterPosition) && mode == PositionTrajectory && m_regulating
        && m_trajectory.settled()
        && std::abs(m_trajectory.position() - position()) <= std::max(1.0, s.regulator.deadZone)) {
        m_atGoalTime += dt;
        if (m_atGoalTime >= s.standbySeconds)
            setMode(Standby);
    } else {
        m_atGoalTime = 0;
    }

    updateSupplyAndHeat(s, dt);
    updateWarnings(s, dt, regulate, m_saturated);
    m_previousPhysical = physical();
}
