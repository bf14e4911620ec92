// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/Cp1252.h"

#include <gtest/gtest.h>

TEST(Cp1252, EveryByteRoundTripsAndKnownCharactersMap)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = Cp1252::toUnicode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(Cp1252::fromUnicode(text), all);
    EXPECT_EQ(text[0x80], QChar(0x20AC));
    EXPECT_EQ(text[0x9F], QChar(0x0178));
    EXPECT_EQ(text[0xE9], QChar(0x00E9));
    EXPECT_EQ(Cp1252::fromUnicode(QString::fromUtf8("Préréglage ∑ €")),
              QByteArray("Pr\xE9r\xE9glage ? \x80"));
}
