// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/IOLines.h"

#include "device/QLMCSession.h"
#include "device/RegisterRules.h"

namespace IOLines {

QStringList configItems()
{
    QStringList items{QStringLiteral("0 - Input"),
                      QStringLiteral("1 - Out 1 (5V)"),
                      QStringLiteral("2 - Out 0 (0V)"),
                      QStringLiteral("3 - Hw error live"),
                      QStringLiteral("4 - Hw error hold"),
                      QStringLiteral("5 - Short circuit relay"),
                      QStringLiteral("6 - Short circuit MOS"),
                      QStringLiteral("7 - Dead zone IN")};
    for (int code = 8; code < ItemCount; ++code)
        items << QStringLiteral("%1 - Reserved").arg(code);
    return items;
}

std::array<QString, 4> stateCaptions()
{
    return {QStringLiteral("I/O State 1 :"), QStringLiteral("I/O State 2 :"),
            QStringLiteral("I/O State Byte 2 :"), QStringLiteral("I/O State Byte 3 :")};
}

std::optional<uint16_t> compose(uint16_t config, int line, int item)
{
    if (item < 0 || item >= ItemCount)
        return std::nullopt;
    if (line == 1)
        return uint16_t((item & 0x0F) + (config & 0xF0));
    if (line == 2)
        return uint16_t(((item << 4) & 0xF0) + (config & 0x0F));
    return std::nullopt;
}

int itemOf(uint16_t config, int line)
{
    return line == 2 ? (config >> 4) & 0x0F : config & 0x0F;
}

std::optional<uint16_t> choose(QLMCSession &session, int line, int item, QString *refusal)
{
    RegisterLockGuard guard(session.lock());
    const std::optional<uint16_t> value = compose(session.IO.Config, line, item);
    if (!value)
        return std::nullopt;
    const RegisterWrite write = RegisterRules::write(Reg::IoConfig, *value);
    if (const std::optional<QString> reason =
            RegisterRules::requestExplained(session, {&write, 1}, "IOLines::choose", "I/O state")) {
        if (refusal)
            *refusal = *reason;
        return std::nullopt;
    }
    session.IO.Config = *value;
    return value;
}

void requestConfigRead(QLMCSession &session)
{
    RegisterLockGuard guard(session.lock());
    session.motor().RequestRead(Reg::IoConfig);
}

} // namespace IOLines
