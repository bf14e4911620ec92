// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/DeviceRecords.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

/// The four registers of one limit input, as the limits window edits them.
struct LimitSettings
{
    uint32_t Setup = 0;      ///< 0x50 / 0x58
    uint8_t ControlMode = 0; ///< 0x51 / 0x59
    int32_t Position = 0;    ///< 0x52 / 0x5A
    int32_t XInput = 0;      ///< 0x53 / 0x5B
    friend bool operator==(const LimitSettings &, const LimitSettings &) = default;
};

/// The controls' view of a limit setup word: bits 0..3 and the input item of
/// bits 5..6.
struct LimitSetupBits
{
    bool used = false;        ///< bit 0, CBUsed
    bool activeOn1 = false;   ///< bit 1, CBActiveOn1
    bool controlMode = false; ///< bit 2, CBControlMode
    bool position = false;    ///< bit 3, CBPosition
    int xInputItem = 0;       ///< bits 5..6, ComboBXInput item 0..3
    friend bool operator==(const LimitSetupBits &, const LimitSetupBits &) = default;
};

/// One hexadecimal line of the limits window: caption, register and its bytes.
struct LimitLine
{
    int address = 0;
    QString caption; ///< "0x50 - Setup :"
    QString hex;     ///< "[0x00 00 00 75]"
};

/// One register write of a limit, value as RequestWrite takes it.
struct LimitWrite
{
    int address = 0;
    int64_t value = 0;
};

/// Composing and decoding of the limit registers 0x50..0x53 and 0x58..0x5B.
namespace LimitRegisters {

inline constexpr uint32_t UsedBit = 0x01;
inline constexpr uint32_t ActiveOn1Bit = 0x02;
inline constexpr uint32_t ControlModeBit = 0x04;
inline constexpr uint32_t PositionBit = 0x08;
inline constexpr uint32_t XInputMask = 0x60;
/// Bits the controls own; every other bit is carried as last read.
inline constexpr uint32_t ControlledMask = 0x6F;
inline constexpr int ControlModeCount = 6;

/// First register of limit \a limit (0: 0x50, 1: 0x58).
int baseAddress(int limit);

LimitSetupBits decodeSetup(uint32_t setup);
/// \a setup with bits 0..3, 5 and 6 taken from \a bits (bit 4 and 7..31 carried).
uint32_t composeSetup(uint32_t setup, const LimitSetupBits &bits);

/// The radio button index (0..5) of a control-mode byte; nullopt above 5.
std::optional<int> controlModeRadio(uint8_t mode);
/// "Driver Stop" .. "Position trajectory" for 0..5, empty otherwise.
QString controlModeCaption(int mode);
/// "None", "Input", "Input offset", "Input measured+offset" for 0..3.
QString xInputCaption(int item);

/// The four caption/hex lines of limit \a limit, in register order.
std::array<LimitLine, 4> lines(int limit, const LimitSettings &settings);
/// The write set of limit \a limit: setup, control mode, position, x input.
std::array<LimitWrite, 4> writes(int limit, const LimitSettings &settings);
/// The register bytes (most significant first) of register \a index 0..3 of a limit.
std::array<uint8_t, 4> bytes(int index, const LimitSettings &settings, int *size);

LimitSettings fromRecord(const LimitsRecord &record, int limit);
void toRecord(LimitsRecord &record, int limit, const LimitSettings &settings);

} // namespace LimitRegisters
