// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The last decoded values of the feature windows. The decoder writes them under
// the RegisterLock and then notifies the window, which reads them (under the
// lock) when its display timer fires.

/// Options window: option register, input limits, standby timer, output limits.
struct OptionsRecord
{
    uint32_t OptionBits = 0;   ///< 0x2C
    int32_t InputMin = 0;      ///< 0x24
    int32_t InputMax = 0;      ///< 0x25
    uint16_t StandbyTimer = 0; ///< 0x0D
    QString CurrentMaxText;    ///< 0x2A as amperes with 5 decimals (locale separator)
    int32_t CurrentMaxRaw = 0; ///< 0x2A, 16.16 amperes
    bool CurrentMaxReceived = false;
    bool OutputVoltageLimited = false; ///< 0x2E is not -1
    int OutputVoltageTenths = 0;       ///< 0x2E in tenths of a volt, halves to even
    int32_t OutputVoltageRaw = -1;     ///< 0x2E, 16.16 volts, -1 without a limit
    bool OutputVoltageReceived = false;
    int DissipationTenths = 0;     ///< 0x2F in tenths of a volt, halves to even
    int32_t DissipationRaw = 0;    ///< 0x2F, 16.16 volts
    bool DissipationReceived = false;
};

/// Auto-tuning window: the run state.
struct AutoTuningRecord
{
    uint8_t State = 0; ///< 0x39
};

/// Warning window: the warning bits.
struct WarningRecord
{
    uint32_t Bits = 0; ///< 0x08
};

/// Calibration (homing) window values.
struct CalibrationRecord
{
    int32_t StartInput = 0;     ///< 0x47
    uint32_t HomingOptions = 0; ///< 0x48
    int32_t HomingPosition = 0; ///< 0x4B
    int32_t HomingInput = 0;    ///< 0x4C
};

/// Enhanced-command window: the command, the loops configuration and parameters.
struct EnhancedCmdRecord
{
    uint8_t Options = 0;                   ///< 0x4D byte 0
    uint8_t Function = 0;                  ///< 0x4D byte 1
    uint32_t Goal = 0;                     ///< 0x4D bytes 2-5
    std::array<uint32_t, 3> RangeConfig{}; ///< 0x4E
    uint32_t ParamWord = 0;                ///< 0x4F bytes 0-3
    uint16_t ParamHigh = 0;                ///< 0x4F bytes 4-5
    uint16_t ParamLow = 0;                 ///< 0x4F bytes 6-7
};

/// Limits window values for the two limit inputs.
struct LimitsRecord
{
    std::array<uint32_t, 2> Setup{};      ///< 0x50, 0x58
    std::array<uint8_t, 2> ControlMode{}; ///< 0x51, 0x59
    std::array<int32_t, 2> Position{};    ///< 0x52, 0x5A
    std::array<int32_t, 2> XInput{};      ///< 0x53, 0x5B
};

/// I/O window: configuration and state.
struct IORecord
{
    uint16_t Config = 0;            ///< 0x55
    std::array<uint8_t, 4> State{}; ///< 0x56 bytes 3, 2, 1, 0
};

/// Connection window values set straight from answers.
struct ConnectionRecord
{
    uint8_t TcpWatchdog = 0;    ///< 0x14
    QString DeviceName;         ///< 0x15, 16 characters
    uint32_t DeviceType = 0;    ///< 0x00
    uint32_t DeviceVersion = 0; ///< 0x01
    /// Connection generation of the last answer that carried both 0x00 and 0x01.
    uint32_t TypeVersionGeneration = 0xFFFFFFFF;
};
