// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// Register values as text: the trace form and a typed reading of the bytes.
namespace RegisterText {

/// "[0x" + the bytes in wire order as upper-case hex pairs separated by spaces + "]".
QString trace(std::span<const uint8_t> bytes);

/// The value of register \a address read as its format says (decimal integers,
/// fixed-point numbers with 5 or 8 decimals, text, or the trace form).
QString value(int address, std::span<const uint8_t> bytes);

/// Parses a value typed for register \a address into the 32-bit register value
/// to write: integers in decimal or 0x-hex, fixed-point registers as decimal
/// numbers (truncated toward zero). nullopt when the text does not fit.
std::optional<int64_t> parse(int address, const QString &text);

/// Parses the trace form "[0x80 65 00 00 03 E8]" (the "0x" once, before the
/// first byte; two hexadecimal digits per byte) into exactly \a size bytes;
/// nullopt for any other text or another byte count.
std::optional<std::vector<uint8_t>> parseTrace(const QString &text, int size);

/// The firmware version as the status bar shows it: "Hw b3.b2 Fw b1.b0" when
/// the most significant byte is not 0, otherwise "Ver " + high word + "." + low word.
QString versionText(uint32_t version);

/// Parses a register address given as decimal or 0x-hex; nullopt outside 0..100.
std::optional<int> parseAddress(const QString &text);

} // namespace RegisterText
