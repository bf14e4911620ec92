// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>
#include <optional>

/// Reading the numbers typed into the main panel's edits.
namespace PanelNumberText {

/// Reads a typed decimal number: optional "-", digits and at most one locale
/// decimal separator, with at least one digit. nullopt for anything else.
std::optional<double> parseDecimal(const QString &text);

/// Reads a typed integer that passes isNumberText (no separator; a sign only
/// when \a negativeAllowed). nullopt when it does not, or when it has more
/// than 18 significant digits (no 32-bit number has).
std::optional<int64_t> parseInteger(const QString &text, bool negativeAllowed);

/// True when \a value lies in the signed 32-bit range.
inline bool fitsInt32(int64_t value)
{
    return value >= INT32_MIN && value <= INT32_MAX;
}

/// \a value truncated toward zero and clamped to the signed 32-bit range.
int32_t truncToInt32(long double value);

} // namespace PanelNumberText
