// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/FloatText.h"

#include "base/NumberText.h"

#include <cmath>

namespace {

// Mantissa with up to \a precision significant digits, trailing zeros dropped,
// and a plain exponent: 123456 with precision 4 gives "1.235E5".
QString exponentText(double value, int precision)
{
    QString text = QString::number(value, 'e', precision - 1);
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    QString mantissa = text.left(e);
    const int exponent = text.mid(e + 1).toInt();
    if (mantissa.contains(QLatin1Char('.'))) {
        while (mantissa.endsWith(QLatin1Char('0')))
            mantissa.chop(1);
        if (mantissa.endsWith(QLatin1Char('.')))
            mantissa.chop(1);
    }
    mantissa.replace(QLatin1Char('.'), localeDecimalSeparator());
    return mantissa + QLatin1Char('E') + QString::number(exponent);
}

} // namespace

QString fixedText(double value, int precision, int decimals)
{
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == 0.0)
        value = 0.0; // no "-0"
    const int integerDigits = value == 0.0 ? 1 : int(std::floor(std::log10(std::fabs(value)))) + 1;
    if (integerDigits > precision)
        return exponentText(value, precision);

    // One rounding, to the tighter of the two limits.
    const int kept = std::min(decimals, precision - integerDigits);
    const double scale = std::pow(10.0, kept);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0;
    if (std::fabs(rounded) >= std::pow(10.0, precision))
        return exponentText(value, precision); // rounding carried into one more digit
    QString text = QString::number(rounded, 'f', decimals);
    if (decimals > 0)
        text.replace(text.size() - decimals - 1, 1, localeDecimalSeparator());
    return text;
}
