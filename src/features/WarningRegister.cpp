// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/WarningRegister.h"

#include "device/QLMCSession.h"
#include "device/RegisterRules.h"
#include "device/RegisterText.h"

namespace WarningRegister {

namespace {
const char *const Captions[WarningCount] = {
    "Enable not activated",
    "Under voltage",
    "Over voltage",
    "Input not reached",
    "Output saturated",
    "Homing / no home",
    "Over current           stop integrator",
    "Limit 1 [ home ]",
    "Limit 2",
    "Over temperature",
    "Peak current",
    "PWR dissipation",
    "Output error",
    "Index line",
    "ComWatchDog",
    "Reserved",
};
const QString Prefix = QStringLiteral("0x08 - Warning :  ");
} // namespace

QString caption(int warning)
{
    if (warning < 0 || warning >= WarningCount)
        return {};
    return QString::fromLatin1(Captions[warning]);
}

QString initialGroupTitle()
{
    return Prefix + QStringLiteral("[0x-- -- -- -- -- --]");
}

QString groupTitle(uint32_t bits)
{
    const uint8_t bytes[4] = {uint8_t(bits >> 24), uint8_t(bits >> 16), uint8_t(bits >> 8),
                              uint8_t(bits)};
    return Prefix + RegisterText::trace(bytes);
}

std::optional<QString> requestClear(QLMCSession &session)
{
    const RegisterWrite write = RegisterRules::write(Reg::Warning, ClearValue);
    return RegisterRules::requestExplained(session, {&write, 1}, "WarningRegister::requestClear",
                                           "Warning");
}

void LatchHistory::observe(uint32_t bits, const QDateTime &now)
{
    for (int k = 0; k < WarningCount; ++k) {
        if (!bitSet(bits, 2 * k + 1))
            m_seen[size_t(k)].reset();
        else if (!m_seen[size_t(k)])
            m_seen[size_t(k)] = now;
    }
}

void LatchHistory::clear()
{
    m_seen.fill(std::nullopt);
}

std::optional<QDateTime> LatchHistory::firstSeen(int warning) const
{
    if (warning < 0 || warning >= WarningCount)
        return std::nullopt;
    return m_seen[size_t(warning)];
}

QString LatchHistory::toolTip(int warning) const
{
    const std::optional<QDateTime> seen = firstSeen(warning);
    if (!seen)
        return QStringLiteral("Not seen since the last clear");
    return QStringLiteral("First seen %1").arg(seen->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

} // namespace WarningRegister
