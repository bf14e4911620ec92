// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/DisplayText.h"

#include "base/FloatText.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"

#include <algorithm>

namespace DisplayText {

QString voltageText(float volts)
{
    return fixedText(volts, 4, 1) + QStringLiteral(" [V]");
}

QString temperatureText(float degrees)
{
    return fixedText(degrees, 4, 1) + QStringLiteral(" [\u00B0C]");
}

QString timeInServiceText(uint32_t seconds)
{
    return QString::number(seconds) + QStringLiteral(" [s]");
}

QString powerUpText(uint32_t count)
{
    return QStringLiteral("#PUp : ") + QString::number(count);
}

QString stepperPositionText(int32_t position)
{
    // Micro-step positions: 256 micro-steps per step.
    return fixedText(double(position) / 256.0, 15, 3);
}

} // namespace DisplayText

RefreshSetting refreshSetting(int position)
{
    const int p = std::clamp(position, 1, 100);
    RefreshSetting setting;
    setting.refreshRatio = 2 * p;
    setting.displayDivider = 50 / p;
    setting.label = QString::number(setting.refreshRatio);
    setting.micrometreBottomIncrement = p * 100;
    return setting;
}

void applyRefreshSetting(QLMCSession &session, const RefreshSetting &setting)
{
    session.RefreshRatio = setting.refreshRatio;
    session.DisplayDivider = setting.displayDivider;
}

DisplayUpdate displayUpdate(const ReceivedValues &values, const NewValueFlags &flags,
                            bool stepperUnits, bool modeSync)
{
    DisplayUpdate update;
    const auto raised = [&flags](ValueFlag flag) { return flags.isRaised(flag); };

    if (raised(ValueFlag::Position)) {
        update.positionBig = QString::number(values.Position);
        if (stepperUnits)
            update.desiredBig = DisplayText::stepperPositionText(values.Position);
    }
    if (raised(ValueFlag::Speed))
        update.speedBig = QString::number(values.Speed);
    if (raised(ValueFlag::Desired) && !stepperUnits)
        update.desiredBig = QString::number(values.Desired);
    if (raised(ValueFlag::Input) && raised(ValueFlag::ShowInput))
        update.consText = QString::number(values.Input);
    if (raised(ValueFlag::Version))
        update.version = RegisterText::versionText(values.Version);
    if (raised(ValueFlag::Voltage))
        update.voltage = DisplayText::voltageText(values.Voltage);
    if (raised(ValueFlag::TimeInService))
        update.timeInService = DisplayText::timeInServiceText(values.TimeInService);
    if (raised(ValueFlag::PowerUpCount))
        update.powerUps = DisplayText::powerUpText(values.PowerUpCount);
    if (raised(ValueFlag::Temperature))
        update.temperature = DisplayText::temperatureText(values.Temperature);
    if (raised(ValueFlag::LoopTimeOption))
        update.loopTimeOption = values.LoopTimeOption;
    if (raised(ValueFlag::RegulationMode) && modeSync)
        update.regulationMode = values.RegulationMode;
    for (const RegulationParameter &parameter : regulationParameters()) {
        if (raised(parameter.flag))
            update.parameters.push_back(parameter.id);
    }
    update.warning = raised(ValueFlag::Warning);
    update.io = raised(ValueFlag::IOConfig) || raised(ValueFlag::IOState);
    update.ioConfig = raised(ValueFlag::IOConfig);
    return update;
}
