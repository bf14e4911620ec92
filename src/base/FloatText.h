// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

/// A number as fixed-point text, the way the windows show measured values: at
/// most \a precision significant digits and \a decimals digits after the
/// locale's decimal separator (rounded once, to whichever limit is reached
/// first, then padded with zeros to \a decimals). A value with more integer
/// digits than \a precision is written in exponent form ("1.235E5").
QString fixedText(double value, int precision, int decimals);
