// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>

/// The decoded forms of the option registers' raw values, shared by the
/// decoder (which stores them in OptionsRecord) and the options window's rules
/// (OptionRegisters), so both show a received value the same way.
namespace OptionValues {

/// The edit text of a received 0x2A (16.16 amperes): fixed-point, 10
/// significant digits, 5 decimals, the locale's separator.
QString currentText(int32_t raw);

/// Register 0x2E/0x2F to track-bar position (tenths of a volt): raw x 10 /
/// 65,536 rounded to the nearest integer, halves to even.
int voltagePosition(int32_t raw);

} // namespace OptionValues
