// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QChar>
#include <QString>

/// \a text as one field of a line whose fields are joined by \a separator:
/// unchanged unless it holds the separator, a double quote or a line break;
/// then quoted, its quotes doubled, so a spreadsheet keeps the columns.
QString csvField(const QString &text, QChar separator);
