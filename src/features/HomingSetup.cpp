// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/HomingSetup.h"

#include "base/PanelNumberText.h"
#include "device/QLMCIPMotor.h"
#include "device/RegisterRules.h"

namespace HomingSetup {

namespace {

WriteOutcome outcomeOf(const std::optional<QString> &refusal)
{
    return refusal ? WriteOutcome{false, *refusal} : WriteOutcome{true, {}};
}

} // namespace

QStringList startTypes()
{
    return {QStringLiteral("Already at home, stay"),
            QStringLiteral("Already at home, set input"),
            QStringLiteral("- with index"),
            QStringLiteral("+ with index"),
            QStringLiteral("Current -"),
            QStringLiteral("Current +"),
            QStringLiteral("Current - with index"),
            QStringLiteral("Current + with index"),
            QStringLiteral("Limit 1 -"),
            QStringLiteral("Limit 1 +"),
            QStringLiteral("Limit 1 - with index"),
            QStringLiteral("Limit 1 + with index"),
            QStringLiteral("Start input"),
            QStringLiteral("Start input + Limit 1"),
            QStringLiteral("-"),
            QStringLiteral("-")};
}

QStringList ratioItems()
{
    return {QStringLiteral("2"),   QStringLiteral("3"),    QStringLiteral("4"),
            QStringLiteral("6"),   QStringLiteral("9"),    QStringLiteral("12"),
            QStringLiteral("18"),  QStringLiteral("25"),   QStringLiteral("37.5"),
            QStringLiteral("50"),  QStringLiteral("75"),   QStringLiteral("100"),
            QStringLiteral("150"), QStringLiteral("200"),  QStringLiteral("300"),
            QStringLiteral("400")};
}

Options decode(uint32_t value)
{
    Options o;
    o.type = int(value & 0x0F);
    o.autorun = (value & AutorunBit) != 0;
    o.currentRatio = int((value >> 8) & 0x0F);
    o.speedRatio = int((value >> 12) & 0x0F);
    o.accelerationRatio = int((value >> 16) & 0x0F);
    o.timeMax = int((value >> 20) & 0x0F);
    return o;
}

std::optional<uint32_t> compose(const Options &o)
{
    for (const int index : {o.type, o.currentRatio, o.speedRatio, o.accelerationRatio, o.timeMax})
        if (index < 0 || index >= ListSize)
            return std::nullopt;
    return uint32_t(o.type) + (o.autorun ? AutorunBit : 0u) + (uint32_t(o.currentRatio) << 8)
           + (uint32_t(o.speedRatio) << 12) + (uint32_t(o.accelerationRatio) << 16)
           + (uint32_t(o.timeMax) << 20);
}

std::optional<int32_t> parseValue(const QString &text)
{
    const std::optional<int64_t> value = PanelNumberText::parseInteger(text, true);
    if (!value || !PanelNumberText::fitsInt32(*value))
        return std::nullopt;
    return int32_t(*value);
}

WriteOutcome writeValueSet(QLMCSession &session, const Options &options,
                           const QString &positionText, const QString &inputText)
{
    const std::optional<uint32_t> value = compose(options);
    const std::optional<int32_t> position = parseValue(positionText);
    const std::optional<int32_t> input = parseValue(inputText);
    if (!value || !position || !input)
        return {};
    const RegisterWrite batch[] = {RegisterRules::write(Reg::HomingOption, *value),
                                   RegisterRules::write(Reg::HomingPosition, *position),
                                   RegisterRules::write(Reg::HomingInput, *input)};
    return outcomeOf(RegisterRules::requestExplained(session, batch, "HomingSetup::writeValueSet",
                                                     "Homing"));
}

WriteOutcome writeStartInput(QLMCSession &session, const QString &text)
{
    const std::optional<int32_t> value = parseValue(text);
    if (!value)
        return {};
    const RegisterWrite write = RegisterRules::write(Reg::HomingStartInput, *value);
    return outcomeOf(RegisterRules::requestExplained(session, {&write, 1},
                                                     "HomingSetup::writeStartInput", "Homing"));
}

void requestValueSet(QLMCIPMotor &motor)
{
    RegisterLockGuard guard(motor.lock());
    motor.RequestRead(Reg::HomingOption);
    motor.RequestRead(Reg::HomingPosition);
    motor.RequestRead(Reg::HomingInput);
}

void requestStartInput(QLMCIPMotor &motor)
{
    RegisterLockGuard guard(motor.lock());
    motor.RequestRead(Reg::HomingStartInput);
}

WriteOutcome requestStart(QLMCSession &session)
{
    const RegisterWrite write{Reg::HomingStart, {}};
    return outcomeOf(
        RegisterRules::requestExplained(session, {&write, 1}, "HomingSetup::requestStart", "Homing"));
}

void requestStop(QLMCIPMotor &motor)
{
    RegisterLockGuard guard(motor.lock());
    motor.RequestWrite(Reg::HomingStop, 0);
}

} // namespace HomingSetup
