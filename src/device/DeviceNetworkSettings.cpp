// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/DeviceNetworkSettings.h"

#include "device/RegisterRules.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"

#include <QRegularExpression>

namespace DeviceNetworkSettings {

namespace {

/// A plain decimal number 0..max (no sign, no spaces, at most 3 digits).
std::optional<int> plainNumber(const QString &text, int max)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value > max)
        return std::nullopt;
    return value;
}

} // namespace

int watchdogValue(int seconds)
{
    if (seconds <= 0)
        return 0;
    return std::clamp(seconds, WatchdogMin, WatchdogMax);
}

std::optional<std::array<uint8_t, 4>> addressBytes(const QStringList &fields, int *badField)
{
    std::array<uint8_t, 4> bytes{};
    for (int i = 0; i < 4; ++i) {
        const std::optional<int> value =
            i < fields.size() ? plainNumber(fields[i], 255) : std::nullopt;
        if (!value) {
            if (badField)
                *badField = i;
            return std::nullopt;
        }
        bytes[size_t(i)] = uint8_t(*value);
    }
    return bytes;
}

QString nameText(const QString &text)
{
    return text.left(NameLength);
}

std::optional<std::array<uint8_t, NameLength>> nameBytes(const QString &text)
{
    std::array<uint8_t, NameLength> bytes;
    bytes.fill(0x20);
    const QString cut = nameText(text);
    for (qsizetype i = 0; i < cut.size(); ++i) {
        const char16_t code = cut[i].unicode();
        if (code > 0xFF)
            return std::nullopt;
        bytes[size_t(i)] = uint8_t(code);
    }
    return bytes;
}

QString scanEntryText(int module)
{
    return QStringLiteral("Mod. 0x%1 - %2")
        .arg(QString::number(module, 16).rightJustified(2, QLatin1Char('0')).toUpper())
        .arg(module);
}

std::optional<int> scanEntryAddress(const QString &entry)
{
    const std::optional<int> value = plainNumber(entry.mid(12), ModuleMax);
    if (!value || *value < ModuleMin)
        return std::nullopt;
    return value;
}

std::vector<uint8_t> validModules(std::span<const uint8_t> payload, int *rejected)
{
    std::vector<uint8_t> modules;
    int wrong = 0;
    for (const uint8_t byte : payload) {
        if (byte >= ModuleMin && byte <= ModuleMax)
            modules.push_back(byte);
        else
            ++wrong;
    }
    if (rejected)
        *rejected = wrong;
    return modules;
}

QStringList arpResetArgv(const QString &ipText)
{
    const QStringList fields = ipText.split(QLatin1Char('.'));
    if (fields.size() != 4 || !addressBytes(fields))
        return {};
    return {QStringLiteral("ip"), QStringLiteral("neigh"), QStringLiteral("flush"),
            QStringLiteral("to"), ipText};
}

void writeWatchdog(QLMCSession &session, int seconds)
{
    const RegisterWrite write{Reg::TcpWatchdog, {uint8_t(watchdogValue(seconds))}};
    RegisterRules::requestChecked(session, {&write, 1}, "DeviceNetworkSettings::writeWatchdog", "Connection window");
}

void writeAddress(QLMCSession &session, const std::array<uint8_t, 4> &bytes)
{
    const RegisterWrite write{Reg::AddressIp, {bytes.begin(), bytes.end()}};
    RegisterRules::requestChecked(session, {&write, 1}, "DeviceNetworkSettings::writeAddress", "Connection window");
}

void writeName(QLMCSession &session, const std::array<uint8_t, NameLength> &bytes)
{
    const RegisterWrite write{Reg::Name, {bytes.begin(), bytes.end()}};
    RegisterRules::requestChecked(session, {&write, 1}, "DeviceNetworkSettings::writeName", "Connection window");
}

} // namespace DeviceNetworkSettings
