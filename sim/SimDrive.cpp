#include "sim/SimDrive.h"

#include "sim/SimEnhancedCommand.h"

#include <algorithm>
#include <cmath>

namespace {

// Regulation modes of register 0x20.
enum Mode : int {
    DriverStop = 0,
    DriverOpen = 1,
    OpenLoop = 2,
    WaitMode = 3,
    SpeedTrajectory = 4,
    PositionTrajectory = 5,
    Standby = 6,
};

// Present bits of the warning register; the latched bit is the next one up.
namespace Warn {
constexpr uint32_t UnderVoltage = 1u << 2;
constexpr uint32_t OverVoltage = 1u << 4;
constexpr uint32_t InputNotReached = 1u << 6;
constexpr uint32_t OutputSaturated = 1u << 8;
constexpr uint32_t NoHome = 1u << 10;
constexpr uint32_t OverCurrent = 1u << 12;
constexpr uint32_t Limit1 = 1u << 14;
constexpr uint32_t Limit2 = 1u << 16;
constexpr uint32_t OverTemperature = 1u << 18;
constexpr uint32_t PeakCurrent = 1u << 20;
constexpr uint32_t Dissipation = 1u << 22;
constexpr uint32_t OutputError = 1u << 24;
constexpr uint32_t PresentMask = 0x55555555u;
} // namespace Warn

// Bits of the options register 0x2C that the drive honours.
namespace Opt {
constexpr uint32_t InvertDirection = 1u << 1;
constexpr uint32_t DecreaseIntegratorFast = 1u << 3;
constexpr uint32_t LimitPullUp = 1u << 5;
constexpr uint32_t SavePosition = 1u << 6;
constexpr uint32_t LeakageIntegrator = 1u << 7;
constexpr uint32_t OverCurrentStopsIntegrator = 1u << 9;
constexpr uint32_t LinearDeadZone = 1u << 12;
constexpr uint32_t AutoDissipation = 1u << 16;
constexpr uint32_t StandbyAfterPosition = 1u << 17;
constexpr uint32_t StandbyAtStartup = 1u << 18;
} // namespace Opt

// Limit setup bits (0x50, 0x58).
namespace Lim {
constexpr uint32_t Used = 0x01;
constexpr uint32_t ActiveOn1 = 0x02;
constexpr uint32_t ChangeMode = 0x04;
constexpr uint32_t SetPosition = 0x08;
} // namespace Lim

constexpr double NominalSupply = 24.0;
constexpr double SupplyResistance = 0.05;      // ohm, supply and wiring
constexpr double DefaultAmbient = 25.0;        // degrees Celsius
constexpr double ThermalResistance = 4.0;      // K/W, driver and winding to air
constexpr double ThermalTimeConstant = 120.0;  // s
constexpr double StepperCoilResistance = 1.5;  // ohm per phase
constexpr double StepperPulsesPerRev = 3200.0; // 200 steps x 16 micro-steps
constexpr double FollowingErrorLimit = 1000.0; // pulses
constexpr double EndStopBeyondSwitch = 1000.0; // pulses
constexpr double FullScale = 65535.0;
/// Where the drive's own dissipation circuit clamps the supply (option bit 16).
constexpr double AutoDissipationVolts = NominalSupply + 4.0;

/// The peak current each model's driver is built for (16.16 amperes in 0x2A).
double modelCurrentMax(const SimModel &m)
{
    switch (m.typeCode) {
    case 2:
        return 3.0;
    case 6:
    case 25:
        return 15.0;
    case 3:
        return m.subType >= 200 && m.subType <= 299 ? 2.5 : 2.0;
    case 43:
        return m.subType == 2 || m.subType == 102 ? 0x2666 / 65536.0 : 1.5;
    default:
        return 2.0;
    }
}

int32_t wrapToInt32(double v)
{
    if (!std::isfinite(v))
        return 0;
    const double wrapped = std::fmod(std::round(v), 4294967296.0);
    return int32_t(uint32_t(int64_t(wrapped)));
}

int16_t fixed8_8(double v)
{
    return int16_t(std::clamp(std::lround(v * 256.0), -32768L, 32767L));
}

uint64_t splitmix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

/// The settings the drive reads from the register image at every loop.
struct SimDrive::Settings
{
    int mode = 0;
    int64_t input = 0;
    int32_t inputMin = 0;
    int32_t inputMax = 0;
    double currentMax = 0;
    uint32_t options = 0;
    double maxOutput = -1; ///< volts; negative: no limit
    double dissipation = 0;
    SimRegulatorSettings regulator;
    double acceleration = 1;
    double deceleration = 1;
    double topSpeed = 0;
    double standbySeconds = 0;
    std::array<uint32_t, 2> limitSetup{};
    std::array<uint8_t, 2> limitMode{};
    std::array<int32_t, 2> limitPosition{};
    std::array<int32_t, 2> limitInput{};
    double peakCurrent = 0;
    double peakSeconds = 0;
    double pulsesPerLoop = 1;
};

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

bool SimDrive::isLive(int address)
{
    switch (address) {
    case Reg::Voltage:
    case Reg::Warning:
    case Reg::Position:
    case Reg::Speed:
    case Reg::Temperature:
    case Reg::CurrentSense:
    case Reg::Desired:
    case Reg::Feedback:
    case Reg::Command:
    case Reg::IntegralDelta:
    case Reg::DerivationOfDelta:
    case Reg::AutoTuning:
    case Reg::IoState:
        return true;
    default:
        return false;
    }
}

void SimDrive::render(int address)
{
    SimRegisterImage &r = m_image;
    const int mode = r.u8(Reg::RegulationMode);
    const bool speedSetPoint = m_homing.active() ? m_homing.search() != SimHoming::Search::MoveTo
                                                 : mode == SpeedTrajectory;
    switch (address) {
    case Reg::Voltage:
        r.setFixed16(address, m_voltage);
        break;
    case Reg::Warning:
        r.setU32(address, m_present | m_latched);
        break;
    case Reg::Position:
        r.setS32(address, wrapToInt32(position()));
        break;
    case Reg::Speed:
        r.setS32(address, SimRegisterImage::saturate(std::round(speed())));
        break;
    case Reg::Temperature:
        r.setFixed16(address, m_temperature);
        break;
    case Reg::CurrentSense: {
        // The live value comes first, then the lowest and the highest of the
        // last moments.
        const double live = m_current + (m_current != 0.0 ? 0.005 * noise(3) : 0.0);
        const int16_t values[3] = {fixed8_8(std::clamp(live, m_currentLow, m_currentHigh)),
                                   fixed8_8(m_currentLow), fixed8_8(m_currentHigh)};
        for (int i = 0; i < 3; ++i)
            r.setU16(address, uint16_t(values[i]), i * 2);
        break;
    }
    case Reg::Desired:
        if (!m_homing.active() && mode == OpenLoop && !m_stepper)
            r.setS32(address, SimRegisterImage::saturate(effectiveInput(settings())));
        else if (speedSetPoint && m_regulating)
            r.setS32(address, SimRegisterImage::saturate(std::round(m_trajectory.speed())));
        else if (m_regulating)
            r.setS32(address, wrapToInt32(m_trajectory.position()));
        else
            r.setS32(address, wrapToInt32(position()));
        break;
    case Reg::Feedback:
        r.setS32(address, speedSetPoint && m_regulating
                              ? SimRegisterImage::saturate(std::round(speed()))
                              : wrapToInt32(position()));
        break;
    case Reg::Command:
        r.setS32(address, SimRegisterImage::saturate(std::round(m_command)));
        break;
    case Reg::IntegralDelta:
        r.setS32(address, SimRegisterImage::saturate(std::round(m_regulator.integral())));
        break;
    case Reg::DerivationOfDelta:
        r.setS32(address, SimRegisterImage::saturate(std::round(m_regulator.errorDelta())));
        break;
    case Reg::AutoTuning:
        r.setU8(address, m_tuner.status());
        break;
    case Reg::IoState: {
        const uint16_t config = r.u16(Reg::IoConfig);
        const Settings s = settings();
        const uint8_t limits = uint8_t((limitActive(0, s) ? 1 : 0) | (limitActive(1, s) ? 2 : 0));
        const uint8_t bytes[4] = {0, limits, ioLine((config >> 4) & 0x0F, 2),
                                 ioLine(config & 0x0F, 1)};
        r.setBytes(address, bytes);
        break;
    }
    default:
        break;
    }
}

bool SimDrive::write(int address, std::span<const uint8_t> value)
{
    switch (address) {
    case Reg::Warning: {
        // Writing clears the latched bits written as 0 (the tool writes 0).
        const uint32_t v = value.size() == 4
                               ? (uint32_t(value[0]) << 24) | (uint32_t(value[1]) << 16)
                                     | (uint32_t(value[2]) << 8) | value[3]
                               : 0u;
        m_latched &= v & ~Warn::PresentMask;
        return true;
    }
    case Reg::RegulationMode:
        if (value.empty() || value[0] > Standby)
            return false;
        if (m_homing.active()) {
            m_homing.stop();
            m_motor.setEndStops({}, {});
            m_homingFailed = true;
        }
        if (m_tuner.running()) {
            m_tuner.command(m_tuner.predictive() ? SimAutoTuner::AbortPredictive
                                                 : SimAutoTuner::AbortPid);
            m_motor.setEndStops({}, {});
        }
        setMode(value[0]);
        return true;
    case Reg::Position: {
        m_image.setBytes(address, value);
        shiftCounter(double(m_image.s32(address)) - position());
        return true;
    }
    case Reg::LoopTimeOption:
        if (value.empty() || value[0] > 6)
            return false;
        m_image.setBytes(address, value);
        return true;
    case Reg::IntegralDelta:
        m_image.setBytes(address, value);
        m_regulator.setIntegral(m_image.s32(address));
        return true;
    case Reg::AutoTuning: {
        if (value.empty())
            return false;
        const bool noCurrent = m_image.fixed16(Reg::CurrentMax) <= 0.0;
        const SimAutoTuner::Event event = m_tuner.command(value[0], noCurrent);
        if (event == SimAutoTuner::Event::Started) {
            m_homing.stop();
            m_motor.setEndStops({}, {});
            if (m_tuner.holdsRotor()) // the motor is excited but does not turn
                m_motor.setEndStops(physical(), physical());
            m_brakeThenCopy = false;
        } else if (event == SimAutoTuner::Event::Stopped) {
            m_motor.setEndStops({}, {});
            setMode(DriverStop);
        }
        return true;
    }
    case Reg::HomingStart:
        startHoming();
        return true;
    case Reg::HomingStop:
        if (m_homing.active())
            endHoming(SimHoming::Result::Failed);
        return true;
    case Reg::EnhancedInput: {
        m_image.setBytes(address, value);
        const Settings s = settings();
        const SimEnhancedAction action = SimEnhancedCommand::decode(
            m_image.bytes(address), position(), speed(), m_image.s32(Reg::Input), s.pulsesPerLoop);
        if (action.positionShift != 0.0) {
            shiftCounter(action.positionShift);
            if (action.shiftInput)
                setInput(double(m_image.s32(Reg::Input)) + action.positionShift);
        }
        if (action.input)
            setInput(*action.input);
        if (action.mode) {
            if (m_homing.active()) {
                m_homing.stop();
                m_motor.setEndStops({}, {});
            }
            setMode(*action.mode);
        }
        m_brakeThenCopy = action.brakeThenCopy;
        if (action.peakCurrent)
            m_peakLeft = s.peakSeconds;
        return true;
    }
    default:
        m_image.setBytes(address, value);
        return true;
    }
}
