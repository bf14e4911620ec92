// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/ChangeRevert.h"

#include "device/QLMCSession.h"

RevertResult revertChanges(QLMCSession &session, const std::vector<ChangeRecord> &newestFirst,
                           const QString &source, bool force)
{
    RevertResult result;
    const QString device = session.deviceLabel();
    std::vector<RegisterWrite> batch;
    for (const ChangeRecord &change : newestFirst) {
        const QString label = QStringLiteral("#%1 %2").arg(change.number).arg(
            RegisterRules::registerLabel(change.address));
        if (!change.before)
            result.skipped << label + QStringLiteral(": the value before is missing");
        else if (change.device != device)
            result.skipped << label + QStringLiteral(": made to %1, not to %2")
                                          .arg(change.device, device);
        else
            batch.push_back({change.address, *change.before});
    }
    const ChangeSource named(source);
    result.refused = RegisterRules::requestWrites(session, batch, force);
    if (result.refused.empty())
        result.requested = int(batch.size());
    return result;
}
