// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/StepTable.h"

#include "base/CsvField.h"

#include <array>

namespace StepTable {

namespace {

struct ColumnInfo
{
    const char *title;
    int decimals;
};

constexpr std::array<ColumnInfo, ColumnCount> Columns{{
    {"#", 0},
    {"Mode", 0},
    {"From", 0},
    {"To", 0},
    {"Rise 10-90 % [s]", 3},
    {"Overshoot [%]", 1},
    {"Settling 2 % [s]", 3},
    {"Steady-state error", 1},
    {"Largest following error", 0},
    {"Peak current [A]", 3},
    {"Trajectory [s]", 3},
    {"Kp", 4},
    {"Ki", 4},
    {"Kd", 4},
    {"Kvff", 4},
    {"Kaff", 4},
    {"Kdff", 4},
    {"Acc", 0},
    {"Dec", 0},
    {"Top speed", 0},
}};

QString number(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(QLatin1Char('-')) && text.toDouble() == 0)
        text.remove(0, 1); // "-0.000"
    return text;
}

QString modeText(const StepRecord &row)
{
    return row.speed ? QStringLiteral("speed") : QStringLiteral("position");
}

} // namespace

QString title(int column)
{
    return column >= 0 && column < ColumnCount ? QLatin1String(Columns[size_t(column)].title)
                                               : QString();
}

std::optional<double> value(const StepRecord &r, int column)
{
    const StepFigures &f = r.figures;
    const StepSettings &s = r.settings;
    switch (column) {
    case Number:
        return r.number;
    case From:
        return r.step.from;
    case To:
        return r.step.to;
    case Rise:
        return f.riseTime;
    case Overshoot:
        return f.overshootPercent;
    case Settling:
        return f.settlingTime;
    case SteadyStateError:
        return f.steadyStateError;
    case FollowingError:
        return f.followingError;
    case PeakCurrent:
        return f.peakCurrent;
    case Trajectory:
        return f.trajectoryTime;
    case Kp:
        return s.kp;
    case Ki:
        return s.ki;
    case Kd:
        return s.kd;
    case Kvff:
        return s.kvff;
    case Kaff:
        return s.kaff;
    case Kdff:
        return s.kdff;
    case Acceleration:
        return s.acceleration;
    case Deceleration:
        return s.deceleration;
    case TopSpeed:
        return s.topSpeed;
    default:
        return std::nullopt;
    }
}

QString cellText(const StepRecord &row, int column, const StepRecord *reference)
{
    if (column == Mode)
        return modeText(row);
    const std::optional<double> v = value(row, column);
    if (!v) {
        if (column == Settling && row.figures.valid && !row.figures.settled)
            return row.interrupted ? QStringLiteral("next step came first")
                                   : QStringLiteral("did not settle in %1 s")
                                         .arg(number(row.figures.recorded, 1));
        return QStringLiteral("-");
    }
    const int decimals = Columns[size_t(column)].decimals;
    QString text = number(*v, decimals);
    if (reference && reference->number != row.number && column > To) {
        if (const std::optional<double> base = value(*reference, column)) {
            const QString change = number(*v - *base, decimals);
            text += QStringLiteral(" (%1%2)").arg(
                *v - *base > 0 && change != number(0, decimals) ? "+" : "", change);
        }
    }
    return text;
}

QByteArray csv(const std::vector<StepRecord> &rows, int referenceNumber)
{
    QString text;
    for (int c = 0; c < ColumnCount; ++c)
        text += csvField(title(c), QLatin1Char(',')) + QLatin1Char(',');
    text += QStringLiteral("Reference\n");
    for (const StepRecord &row : rows) {
        for (int c = 0; c < ColumnCount; ++c) {
            if (c == Mode) {
                text += modeText(row);
            } else if (const std::optional<double> v = value(row, c)) {
                text += QString::number(*v, 'g', 10);
            } else if (c == Settling && row.figures.valid && !row.figures.settled) {
                text +=
                    row.interrupted ? QStringLiteral("interrupted") : QStringLiteral("not settled");
            }
            text += QLatin1Char(',');
        }
        text += row.number == referenceNumber ? QStringLiteral("yes\n") : QStringLiteral("\n");
    }
    return text.toUtf8();
}

} // namespace StepTable
