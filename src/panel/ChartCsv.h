// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

/// The points of one chart as columns: the time of every point and the values
/// of each series shown, in series order.
struct ChartColumns
{
    struct Series
    {
        QString title;
        std::vector<double> values; ///< one per key; missing ones stay empty cells
    };
    QString timeTitle;
    std::vector<double> keys;
    std::vector<Series> series;
    /// Times in seconds are written with this many decimals (3: milliseconds);
    /// -1 writes the keys as they are (sample counts).
    int timeDecimals = -1;
};

namespace ChartCsv {

/// The columns as comma-separated text for a spreadsheet: a first line with
/// the time title ("Time" when blank) and the series titles, then one line per
/// key. Numbers have a "." decimal point and as many digits as they need to
/// read back exactly; a value that is not finite is an empty cell; titles
/// with a comma, a quote or a line break are quoted.
QByteArray compose(const ChartColumns &columns);

/// A number of the cursor read-out: a whole number in full, others with at
/// most \a digits significant digits (no trailing zeros), with \a decimalPoint.
QString readoutNumber(double value, int digits = 7, QChar decimalPoint = QLatin1Char('.'));

/// A time of \a decimals decimals ("-0.000" is "0.000"), with \a decimalPoint.
QString timeNumber(double seconds, int decimals, QChar decimalPoint = QLatin1Char('.'));

/// The cursor read-out at one key: the time on the first line (with
/// \a timeDecimals decimals, or as readoutNumber() when -1), then one line
/// per series, "title: value".
QString readout(const QString &timeTitle, double key, const std::vector<QString> &titles,
                const std::vector<double> &values, QChar decimalPoint = QLatin1Char('.'),
                int timeDecimals = -1);

} // namespace ChartCsv
