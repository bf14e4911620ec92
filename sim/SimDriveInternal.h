// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the drive's source files share: register bits, physical constants,
// small numeric helpers and the settings read at every loop.

#include "sim/SimDrive.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace simdrive {

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
inline double modelCurrentMax(const SimModel &m)
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

inline int32_t wrapToInt32(double v)
{
    if (!std::isfinite(v))
        return 0;
    const double wrapped = std::fmod(std::round(v), 4294967296.0);
    return int32_t(uint32_t(int64_t(wrapped)));
}

inline int16_t fixed8_8(double v)
{
    return int16_t(std::clamp(std::lround(v * 256.0), -32768L, 32767L));
}

inline uint64_t splitmix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace simdrive

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
