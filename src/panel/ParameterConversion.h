// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>

/// How a regulation parameter's track-bar position, shown value and register
/// value relate.
enum class ParameterKind : uint8_t {
    Fixed16,       ///< 16.16 fixed point; the track bar spans 32767^(p/100)
    Fixed24,       ///< 8.24 fixed point; 32767^(p/100) / 256
    Log2e9,        ///< integer up to 2000000000 on a logarithmic track bar
    Log4_5e6,      ///< integer up to 4500000 on a logarithmic track bar
    SignedInteger, ///< integer, the track bar position is the value
};

/// Conversions between track-bar positions, shown values, edit texts and
/// register values of the regulation parameters.
///
/// "Value" is the number the edit shows: for the fixed kinds a 32-bit float
/// (held in a double), for the integer kinds the register value itself.
/// Conversions to integers truncate toward zero.
namespace ParameterConversion {

/// Decimals the edit shows: 5 for Fixed16, 8 for Fixed24, 0 for the integer kinds.
int decimals(ParameterKind kind);

/// True for Fixed16 and Fixed24.
bool isFixed(ParameterKind kind);

/// Register units per 1.0 of value: 65536, 16777216, or 1 for the integer kinds.
double scale(ParameterKind kind);

/// The value that track-bar position \a position stands for. Fixed kinds give
/// single(exp(p ln 32767 / 100)) (divided by 256 before the rounding for
/// Fixed24); Log2e9 gives trunc(single(exp(p ln 2147483647 / 200)) x 2000000000);
/// Log4_5e6 trunc(single(exp(p ln 4500000 / 1000)) x 4500000); SignedInteger p.
double valueFromPosition(ParameterKind kind, int position);

/// The register value for a shown value: trunc(value x scale), in 64 bits
/// (saturated at the 64-bit range; NaN gives 0).
int64_t registerFromValue(ParameterKind kind, double value);

/// The register value that track-bar position \a position stands for.
int64_t registerFromPosition(ParameterKind kind, int position);

/// The value a register value shows: raw / scale, or raw for the integer kinds.
double valueFromRegister(ParameterKind kind, int64_t raw);

/// The edit text of a value: fixed-point with 5 decimals and at most 10
/// significant digits (Fixed16), 8 decimals and at most 15 significant digits
/// (Fixed24), or the integer in decimal.
QString valueText(ParameterKind kind, double value);

/// The track-bar position for a value, kept within \a minimum .. \a maximum.
/// Fixed16: v > 0 gives trunc(ln(v) x 100 / ln 32767), otherwise the minimum;
/// Fixed24 the same with v x 256. Log2e9: 1 <= r <= 2000000000 gives
/// trunc((ln r - ln 2000000000) x 200 / ln 2147483647), above the maximum,
/// below 1 the minimum. Log4_5e6: 1 < r <= 4500000 gives
/// trunc((ln r - ln 4500000) x 1000 / ln 4500000), above the maximum, otherwise
/// the minimum. SignedInteger: r, clamped.
int positionFromValue(ParameterKind kind, double value, int minimum, int maximum);

} // namespace ParameterConversion
