// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"
#include "panel/ParameterConversion.h"

#include <QString>

#include <array>
#include <cstdint>

/// The thirteen regulation parameters, in the order of the panel (and of the
/// display routine).
enum class RegulationParameterId : uint8_t {
    Kp,
    Ki,
    Kd,
    VffOffset,
    Kvff,
    Kaff,
    Kdff,
    AntiResetWindup,
    Acceleration,
    Deceleration,
    SpeedMax,
    DeadZone,
    EncoderRatio,
};

inline constexpr int RegulationParameterCount = 13;

/// One regulation parameter of the main panel: its register, controls and kind.
struct RegulationParameter
{
    RegulationParameterId id;
    int address;              ///< register, 4 bytes big-endian
    const char *title;        ///< initial title label text
    const char *editName;     ///< objectName of the edit
    const char *editText;     ///< initial edit text
    int editMaxLength;        ///< 0: no limit
    const char *trackBarName; ///< objectName of the track bar
    int trackMinimum;
    int trackMaximum;
    int trackPosition; ///< initial position
    int tickFrequency;
    int lineSize; ///< track-bar step of the arrow keys
    ParameterKind kind;
    ValueFlag flag; ///< raised when the decoder stores a new value

    /// The value as the panel shows it (a float for the fixed kinds, the
    /// register value otherwise), taken from the live values.
    double receivedValue(const ReceivedValues &values) const;
};

/// The parameter table in panel order (index = RegulationParameterId).
const std::array<RegulationParameter, RegulationParameterCount> &regulationParameters();

/// The row of \a id.
const RegulationParameter &regulationParameter(RegulationParameterId id);

/// The order in which "Write" confirms the edits: Kp, Ki, Kd, anti-reset
/// windup, VffOffset, Kvff, Kaff, Kdff, acceleration, deceleration, top speed,
/// dead zone, encoder ratio.
const std::array<RegulationParameterId, RegulationParameterCount> &regulationWriteOrder();

/// The registers "Read" asks for, in request order.
const std::array<int, RegulationParameterCount> &regulationReadAddresses();

/// The index of \a id in the table.
inline constexpr int indexOf(RegulationParameterId id)
{
    return static_cast<int>(id);
}
