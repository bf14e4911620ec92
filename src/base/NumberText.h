// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

/// True when \a text is a plain decimal number: not empty; a leading "-" is
/// skipped when \a negativeAllowed and the text is longer than one character;
/// every other character is a digit or, when \a separatorAllowed, the locale's
/// decimal separator, which occurs at most once. Digits around the separator
/// are not required. A lone "-" is rejected.
bool isNumberText(const QString &text, bool negativeAllowed, bool separatorAllowed);
/// isNumberText() with \a separator as the decimal separator.
bool isNumberText(const QString &text, bool negativeAllowed, bool separatorAllowed,
                  QChar separator);

/// The decimal separator of the system locale (one character).
QChar localeDecimalSeparator();
