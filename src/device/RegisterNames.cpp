// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/RegisterNames.h"

#include "device/ModelProfile.h"
#include "device/RegisterTable.h"
#include "device/RegisterText.h"

namespace RegisterNames {

namespace {

/// The name reduced to what parse() compares: lower case, letters and digits.
QString key(QStringView text)
{
    QString k;
    for (const QChar c : text)
        if (c.isLetterOrNumber())
            k += c.toLower();
    return k;
}

/// Right spellings of the names the controllers store misspelt.
struct Alias
{
    const char *name;
    int address;
};
constexpr Alias Aliases[] = {
    {"Max output voltage", Reg::MaxOutputVoltage},
    {"Integral delta", Reg::IntegralDelta},
    {"Auto tuning", Reg::AutoTuning},
};

/// "[p/s²]" of a window title, without the brackets.
QString bracketed(const QString &title)
{
    const qsizetype open = title.lastIndexOf(QLatin1Char('['));
    const qsizetype close = title.lastIndexOf(QLatin1Char(']'));
    return open >= 0 && close > open ? title.mid(open + 1, close - open - 1) : QString();
}

} // namespace

std::optional<int> parse(const QString &text)
{
    if (const auto address = RegisterText::parseAddress(text))
        return isRegisterAddress(*address) ? address : std::nullopt;
    const QString wanted = key(text);
    if (wanted.isEmpty())
        return std::nullopt;
    for (const RegisterInfo &info : registerTable())
        if (info.address >= 0
            && key(QString::fromLatin1(info.name.data(), qsizetype(info.name.size()))) == wanted)
            return info.address;
    for (const Alias &alias : Aliases)
        if (key(QString::fromLatin1(alias.name)) == wanted)
            return alias.address;
    return std::nullopt;
}

QString word(int address)
{
    if (!isRegisterAddress(address))
        return {};
    const std::string_view name = registerInfo(address)->name;
    QString w = QString::fromLatin1(name.data(), qsizetype(name.size()));
    w.remove(QLatin1Char('/'));
    w.replace(QLatin1Char(' '), QLatin1Char('_'));
    return w;
}

QStringList words()
{
    QStringList list;
    for (const RegisterInfo &info : registerTable())
        if (info.address >= 0)
            list << word(info.address);
    return list;
}

QString unit(int address, const ModelProfile &profile)
{
    const QString pulses = profile.stepperUnits ? QStringLiteral("\u00B5Step") : QStringLiteral("p");
    switch (address) {
    case Reg::Voltage:
    case Reg::MaxOutputVoltage:
    case Reg::DissipationVoltage:
        return QStringLiteral("V");
    case Reg::TimeInService:
        return QStringLiteral("s");
    case Reg::Temperature:
        return QStringLiteral("\u00B0C");
    case Reg::CurrentMax:
    case Reg::CurrentSense:
        return QStringLiteral("A");
    // As the main window titles them for this model.
    case Reg::Position:
        return bracketed(profile.titles.position);
    case Reg::Speed:
        return bracketed(profile.titles.speed);
    case Reg::Desired:
        return bracketed(profile.titles.desired);
    case Reg::Acceleration:
        return bracketed(profile.titles.acceleration);
    case Reg::Deceleration:
        return bracketed(profile.titles.deceleration);
    case Reg::SpeedMax:
        return bracketed(profile.titles.topSpeed);
    case Reg::PositionOffset:
    case Reg::DeadZone:
    case Reg::HomingPosition:
    case Reg::Limit1Position:
    case Reg::Limit2Position:
        return pulses;
    default:
        return {};
    }
}

} // namespace RegisterNames
