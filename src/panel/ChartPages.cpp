// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ChartPages.h"

#include "panel/ChartScaling.h"

#include "device/RegisterTable.h"

namespace ChartPages {

const std::vector<Page> &pages()
{
    static const std::vector<Page> all{
        {QStringLiteral("position"),
         {QStringLiteral("Position consign"), QStringLiteral("Position")},
         {Reg::Input, Reg::Position}},
        {QStringLiteral("speed"), {QStringLiteral("Desired state"), QStringLiteral("Speed")},
         {Reg::Desired, Reg::Speed}},
        {QStringLiteral("command"), {QStringLiteral("Command output")}, {Reg::Command}},
        {QStringLiteral("current"),
         {QStringLiteral("Min"), QStringLiteral("Live"), QStringLiteral("Max")},
         {Reg::CurrentSense}},
        {QStringLiteral("micrometres"),
         {QStringLiteral("Position consign"), QStringLiteral("Position")},
         {Reg::Input, Reg::Position}},
    };
    return all;
}

QString valueTitle(int page, bool stepperUnits)
{
    const QString steps = stepperUnits ? QStringLiteral("\u00B5Step") : QStringLiteral("p");
    switch (page) {
    case Position:
        return QStringLiteral("Position [%1]").arg(steps);
    case Speed:
        return QStringLiteral("Speed [%1/s]").arg(steps);
    case Command:
        return QStringLiteral("Command output [%]");
    case Current:
        return QStringLiteral("Current [A]");
    case Micrometres:
        return QStringLiteral("Value [um]");
    default:
        return QString();
    }
}

int find(const QString &name)
{
    for (size_t i = 0; i < pages().size(); ++i)
        if (pages()[i].name == name)
            return int(i);
    return -1;
}

std::vector<double> sample(int page, const ReceivedValues &v, float pulsesPerMicrometre)
{
    switch (page) {
    case 0:
        return {double(v.Input), double(v.Position)};
    case 1:
        return {double(v.Desired), double(v.Speed)};
    case 2:
        return {double(ChartScaling::commandPercent(v.Command))};
    case 3:
        return {v.CurrentMin, v.CurrentLive, v.CurrentMax};
    case 4:
        return {ChartScaling::micrometres(v.Input, pulsesPerMicrometre),
                ChartScaling::micrometres(v.Position, pulsesPerMicrometre)};
    default:
        return {};
    }
}

} // namespace ChartPages
