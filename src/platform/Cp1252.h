// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

/// Conversion between Windows-1252 text (the system code page of files written on
/// Windows) and Unicode.
///
/// Every byte maps to one character and back, the five bytes the code page leaves
/// undefined included (to U+0081, U+008D, U+008F, U+0090, U+009D, as Windows maps
/// them), so bytes survive a round trip exactly.
class Cp1252
{
public:
    static QString toUnicode(QByteArrayView bytes);
    /// Characters outside the code page become '?'.
    static QByteArray fromUnicode(QStringView text);
    static QChar toUnicode(unsigned char byte);
    /// The byte of \a c, or -1 when the code page has no such character.
    static int fromUnicode(QChar c);
};
