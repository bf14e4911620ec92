// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/PanelNumberText.h"

#include "base/NumberText.h"

#include <charconv>
#include <cmath>
#include <string>

namespace PanelNumberText {

std::optional<double> parseDecimal(const QString &text)
{
    if (!isNumberText(text, true, true))
        return std::nullopt;
    const QChar separator = localeDecimalSeparator();
    std::string plain;
    plain.reserve(size_t(text.size()));
    bool digit = false;
    for (const QChar c : text) {
        if (c == separator) {
            plain += '.';
        } else {
            digit = digit || c.isDigit();
            plain += char(c.toLatin1());
        }
    }
    if (!digit)
        return std::nullopt;
    double value = 0;
    const char *first = plain.data();
    const char *last = plain.data() + plain.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

std::optional<int64_t> parseInteger(const QString &text, bool negativeAllowed)
{
    if (!isNumberText(text, negativeAllowed, false))
        return std::nullopt;
    const bool negative = text.startsWith(QLatin1Char('-'));
    QStringView digits = QStringView(text).mid(negative ? 1 : 0);
    while (digits.size() > 1 && digits.front() == QLatin1Char('0'))
        digits = digits.mid(1);
    // Eleven digits already exceed every 32-bit value; more cannot fit in 64 bits safely.
    if (digits.size() > 18)
        return std::nullopt;
    int64_t value = 0;
    for (const QChar c : digits)
        value = value * 10 + (c.unicode() - '0');
    return negative ? -value : value;
}

int32_t truncToInt32(long double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<long double>(INT32_MAX))
        return INT32_MAX;
    if (value <= static_cast<long double>(INT32_MIN))
        return INT32_MIN;
    return static_cast<int32_t>(std::trunc(value));
}

} // namespace PanelNumberText
