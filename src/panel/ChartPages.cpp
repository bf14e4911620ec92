#include "panel/ChartPages.h"

#include "panel/ChartScaling.h"

#include "device/RegisterTable.h"

namespace ChartPages {

const std::vector<Page> &pages()
{
    static const std::vector<Page> all{
        {QStringLiteral("position"), QStringLiteral("Time "),
         {QStringLiteral("Position consign"), QStringLiteral("Position")}, false,
         {Reg::Input, Reg::Position}},
        {QStringLiteral("speed"), QStringLiteral("Time "),
         {QStringLiteral("Desired state"), QStringLiteral("Speed")}, false,
         {Reg::Desired, Reg::Speed}},
        {QStringLiteral("command"), QStringLiteral("Time "), {QStringLiteral("Command output")},
         false, {Reg::Command}},
        {QStringLiteral("current"), QStringLiteral("Time "),
         {QStringLiteral("Min"), QStringLiteral("Live"), QStringLiteral("Max")}, false,
         {Reg::CurrentSense}},
        {QStringLiteral("micrometres"), QStringLiteral("Time [ms]"),
         {QStringLiteral("Position consign"), QStringLiteral("Position")}, true,
         {Reg::Input, Reg::Position}},
    };
    return all;
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
