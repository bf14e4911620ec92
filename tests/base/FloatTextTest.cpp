// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/FloatText.h"
#include "base/NumberText.h"

#include <gtest/gtest.h>

namespace {

QString local(QString text)
{
    return text.replace(QLatin1Char('.'), localeDecimalSeparator());
}

struct Case
{
    double value;
    int precision;
    int decimals;
    const char *text;
};

} // namespace

TEST(FloatText, RoundsOnceToTheTighterLimitAndPads)
{
    const Case cases[] = {
        {24.25, 4, 1, "24.3"}, // half away from zero
        {-0.25, 4, 1, "-0.3"},      {0.0, 4, 1, "0.0"},
        {-0.01, 4, 1, "0.0"},      // no negative zero
        {1234.56, 4, 1, "1235.0"}, // four significant digits leave no decimal
        {3.90625, 15, 3, "3.906"},  {0.001234, 6, 2, "0.00"},
        {12.345678, 6, 2, "12.35"}, {123456.4, 6, 2, "123456.00"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(fixedText(c.value, c.precision, c.decimals), local(QString::fromLatin1(c.text)));
    }
}

TEST(FloatText, TooManyIntegerDigitsGiveTheExponentForm)
{
    EXPECT_EQ(fixedText(12345.6, 4, 1), local(QStringLiteral("1.235E4")));
    EXPECT_EQ(fixedText(-1000000.0, 6, 2), QStringLiteral("-1E6"));
    // Rounding that carries into one more digit than allowed.
    EXPECT_EQ(fixedText(9999.96, 4, 1), QStringLiteral("1E4"));
}
