// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ChartCsv.h"

#include "base/CsvField.h"

#include <QLocale>

#include <cmath>

namespace {

QString number(double value)
{
    if (!std::isfinite(value))
        return QString();
    // The C locale's shortest form that reads back to the same double.
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString timeTitleOf(const QString &title)
{
    const QString trimmed = title.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("Time") : trimmed;
}

} // namespace

namespace ChartCsv {

QByteArray compose(const ChartColumns &columns)
{
    QString text = csvField(timeTitleOf(columns.timeTitle), QLatin1Char(','));
    for (const ChartColumns::Series &series : columns.series)
        text += QLatin1Char(',') + csvField(series.title, QLatin1Char(','));
    text += QLatin1Char('\n');
    for (size_t row = 0; row < columns.keys.size(); ++row) {
        text += columns.timeDecimals >= 0 ? timeNumber(columns.keys[row], columns.timeDecimals)
                                          : number(columns.keys[row]);
        for (const ChartColumns::Series &series : columns.series) {
            text += QLatin1Char(',');
            if (row < series.values.size())
                text += number(series.values[row]);
        }
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

QString readoutNumber(double value, int digits, QChar decimalPoint)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    // Whole numbers (positions, speeds, sample numbers) in full, others
    // rounded to the digits a reader can take in.
    QString text = value == std::trunc(value) && std::abs(value) < 1e15
                       ? QString::number(value, 'f', 0)
                       : QString::number(value, 'g', digits);
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}

QString timeNumber(double seconds, int decimals, QChar decimalPoint)
{
    if (!std::isfinite(seconds))
        return QString();
    QString text = QString::number(seconds, 'f', decimals);
    if (text.startsWith(QLatin1Char('-')) && text.toDouble() == 0)
        text.remove(0, 1);
    text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}

QString readout(const QString &timeTitle, double key, const std::vector<QString> &titles,
                const std::vector<double> &values, QChar decimalPoint, int timeDecimals)
{
    QString text = timeTitleOf(timeTitle) + QStringLiteral(": ")
                   + (timeDecimals >= 0 ? timeNumber(key, timeDecimals, decimalPoint)
                                        : readoutNumber(key, 10, decimalPoint));
    for (size_t i = 0; i < titles.size(); ++i)
        text += QLatin1Char('\n') + titles[i] + QStringLiteral(": ")
                + (i < values.size() ? readoutNumber(values[i], 7, decimalPoint)
                                     : QStringLiteral("-"));
    return text;
}

} // namespace ChartCsv
