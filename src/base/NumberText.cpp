// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/NumberText.h"

#include <QLocale>

QChar localeDecimalSeparator()
{
    const QString separator = QLocale::system().decimalPoint();
    return separator.isEmpty() ? QChar('.') : separator.at(0);
}

bool isNumberText(const QString &text, bool negativeAllowed, bool separatorAllowed)
{
    return isNumberText(text, negativeAllowed, separatorAllowed, localeDecimalSeparator());
}

bool isNumberText(const QString &text, bool negativeAllowed, bool separatorAllowed,
                  QChar separator)
{
    if (text.isEmpty())
        return false;
    qsizetype start = 0;
    if (negativeAllowed && text.size() > 1 && text.at(0) == QLatin1Char('-'))
        start = 1;
    int separators = 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            continue;
        if (separatorAllowed && c == separator && ++separators == 1)
            continue;
        return false;
    }
    return true;
}
