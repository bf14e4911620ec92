// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ChangeHistory.h"
#include "device/RegisterRules.h"

#include <QString>

#include <vector>

class QLMCSession;

/// What a revert did.
struct RevertResult
{
    int requested = 0;       ///< writes requested
    QStringList skipped;     ///< changes not reverted, each with its reason
    std::vector<RegisterRefusal> refused; ///< the rule book's refusals: nothing written
    bool ok() const { return refused.empty(); }
};

/// Writes back the value before of each change in \a newestFirst, newest
/// first, through the rule book (all or nothing), on behalf of \a source. A
/// change whose value before is missing, or that was made to another
/// controller than the one connected, is skipped and named.
RevertResult revertChanges(QLMCSession &session, const std::vector<ChangeRecord> &newestFirst,
                           const QString &source, bool force = false);
