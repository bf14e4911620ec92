// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>

/// The live values the main panel shows, as the decoder last stored them.
/// Every field is one 32-bit word.
struct ReceivedValues
{
    int32_t Position = 0;
    int32_t Speed = 0;
    int32_t Desired = 0;
    int32_t LoopTimeOption = 0;
    int32_t RegulationMode = 0;
    uint32_t Version = 0;
    int32_t Acceleration = 0;
    int32_t Deceleration = 0;
    int32_t SpeedMax = 0;
    int32_t DeadZone = 0;
    int32_t AntiResetWindup = 0;
    int32_t Input = 0;
    int32_t Command = 0;
    int32_t VffOffset = 0;
    uint32_t PowerUpCount = 0;
    uint32_t TimeInService = 0;
    float Voltage = 0;
    float Kp = 0;
    float Ki = 0;
    float Kd = 0;
    float Temperature = 0;
    float EncoderRatio = 0;
    float Kvff = 0;
    float Kaff = 0;
    float Kdff = 0;
    float CurrentMax = 0;
    float CurrentMin = 0;
    float CurrentLive = 0;
};

/// The "new value" flags of the main panel, one bit per shown value.
enum class ValueFlag : uint32_t {
    Position,
    Speed,
    Desired,
    LoopTimeOption,
    RegulationMode,
    Version,
    Acceleration,
    Deceleration,
    SpeedMax,
    DeadZone,
    AntiResetWindup,
    Input,
    Command,
    VffOffset,
    PowerUpCount,
    TimeInService,
    Voltage,
    Kp,
    Ki,
    Kd,
    Temperature,
    EncoderRatio,
    Kvff,
    Kaff,
    Kdff,
    Warning,   ///< 0x08 received; the value is in the warning record
    IOConfig,  ///< 0x55 received
    IOState,   ///< 0x56 received
    ShowInput, ///< one-shot: copy the next Input into the consign edit
};

/// A set of ValueFlag bits.
class NewValueFlags
{
public:
    void raise(ValueFlag flag) { m_bits |= bit(flag); }
    bool isRaised(ValueFlag flag) const { return (m_bits & bit(flag)) != 0; }
    void clear() { m_bits = 0; }
    bool any() const { return m_bits != 0; }
    uint32_t bits() const { return m_bits; }

private:
    static constexpr uint32_t bit(ValueFlag flag) { return uint32_t(1) << uint32_t(flag); }
    uint32_t m_bits = 0;
};
