// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/connection/LinkCloseQuestion.h"

#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "link/QLMCConnection.h"
#include "panel/ModeTable.h"
#include "ui/widgets/MessageBoxes.h"

namespace LinkCloseQuestion {

QString text(const QString &address, const QString &mode)
{
    return QStringLiteral("Close the connection to %1? The motor is in mode %2.").arg(address, mode);
}

QString reportedMode(QLMCSession &session)
{
    int32_t value;
    {
        RegisterLockGuard guard(session.lock());
        // The image is new at every open: received means received on this link.
        const QLMCRegister *mode = session.motor().registerAt(Reg::RegulationMode);
        if (!mode || !mode->received())
            return QStringLiteral("unknown");
        value = session.Received.RegulationMode;
    }
    if (const std::optional<RegulationMode> mode = modeForValue(value))
        return QLatin1String(modeInfo(*mode).caption);
    return QString::number(value);
}

bool mayClose(QWidget *parent, QLMCSession &session, const QLMCConnection &connection)
{
    if (!connection.isConnected())
        return true;
    return MessageBoxes::ask(parent, QStringLiteral("Confirm"),
                             text(connection.ipText(), reportedMode(session)),
                             MessageIcon::Warning);
}

} // namespace LinkCloseQuestion
