// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/OptionValues.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

/// Composing, decoding and checking of the options window's registers: the
/// option bits (0x2C), the current maximum (0x2A), the output-voltage and
/// dissipation-voltage limits (0x2E, 0x2F), the input software limits (0x24,
/// 0x25) and the standby timer (0x0D).
namespace OptionRegisters {

inline constexpr int BitCount = 25; ///< CBBit0 .. CBBit24
inline constexpr int AutoDissipationBit = 16;
inline constexpr int StandbyAfterPositionBit = 17;
inline constexpr int LimitPullUpBit = 5;
/// Bits 25..31: not shown, always written as 0.
inline constexpr uint32_t UnusedMask = 0xFE000000u;
inline constexpr int32_t VoltageInactive = -1; ///< 0x2E without a limit
inline constexpr int VoltageMinimum = 50;      ///< TBOutVoltageMax, tenths of a volt
inline constexpr int VoltageMaximum = 500;
inline constexpr int DissipationMinimum = 50; ///< TBDissipationVoltage
inline constexpr int DissipationMaximum = 550;
inline constexpr int StandbyMaximum = 0x7FFF;

using Bits = std::array<bool, BitCount>;

/// The caption of bit box \a bit ("Bit 0 - Invert encoder 1" ...), empty outside 0..24.
QString bitCaption(int bit);

/// The option value of the 25 boxes; bits 25..31 are zero.
uint32_t compose(const Bits &boxes);
/// The boxes of an option value (bits 25..31 are not shown).
Bits decode(uint32_t value);
inline bool hasUnusedBits(uint32_t value)
{
    return value & UnusedMask;
}

/// The dissipation Write button (and its track bar) is enabled exactly when
/// the group is and bit 16 ("Auto dissipation") is clear.
inline bool dissipationWritable(bool groupEnabled, const Bits &boxes)
{
    return groupEnabled && !boxes[AutoDissipationBit];
}
/// The standby-timer edit and buttons follow bit 17.
inline bool standbyEditable(const Bits &boxes)
{
    return boxes[StandbyAfterPositionBit];
}

// --- Current maximum (0x2A, 16.16 amperes) ------------------------------------
/// The text cut to five decimals when the locale decimal separator is followed
/// by more than five characters; nullopt when nothing is cut.
std::optional<QString> cutToFiveDecimals(const QString &text);
/// The raw 16.16 value of a typed current, or nullopt when the text is not a
/// number, the value is negative or not finite, or truncate(value x 65,536)
/// exceeds \a maxPeakCurrent (compared before narrowing to 32 bits).
std::optional<int32_t> currentRaw(const QString &text, int32_t maxPeakCurrent);
/// The edit text of a received 0x2A (the decoder's conversion).
using OptionValues::currentText;

// --- Voltages (0x2E, 0x2F) -----------------------------------------------------
/// Track-bar position (tenths of a volt) to register: position x 65,536 / 10,
/// integer division.
int32_t voltageRaw(int position);
/// Register to track-bar position, halves to even (the decoder's conversion).
using OptionValues::voltagePosition;
/// "5.0" for 50: position x 0.1 with one decimal (locale separator).
QString voltageText(int position);

// --- Input software limitation (0x24, 0x25) ------------------------------------
/// A typed input limit: isNumberText with a sign and no decimals, in the
/// signed 32-bit range.
std::optional<int32_t> inputLimit(const QString &text);

/// The two edits of the input limits and their red state.
struct InputLimitEdits
{
    QString minText;
    QString maxText;
    bool minRed = false;
    bool maxRed = false;
    bool writeEnabled() const { return !minRed && !maxRed; }
};
/// The change check of one edit (\a minEdited: EInputMin). When the change
/// comes from typing, the other edit's check runs first (once; no recursion).
/// A numerically valid edit is red only when the other edit is not red and
/// max < min.
void inputLimitChanged(InputLimitEdits &edits, bool minEdited, bool typing);
/// The values "Write" sends: both valid and max not below min.
std::optional<std::pair<int32_t, int32_t>> inputLimitsToWrite(const QString &minText,
                                                              const QString &maxText);

// --- Standby timer (0x0D) ------------------------------------------------------
/// The text read as an integer in 0 .. 32,767, or nullopt.
std::optional<uint16_t> standbyValue(const QString &text);

} // namespace OptionRegisters
