// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/HistoryCommands.h"

#include "cli/CliContext.h"
#include "cli/CliExit.h"
#include "cli/CliLink.h"
#include "device/ChangeRevert.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"

#include <QFile>

#include <algorithm>

namespace HistoryCommands {

namespace {

using namespace CliExit;

const QString CliPrefix = QStringLiteral("tarvine-cli ");
const QString RevertSource = QStringLiteral("tarvine-cli revert");

int history(CliContext &c)
{
    const QString path = ChangeHistory::defaultJournalPath();
    if (path.isEmpty())
        return c.fail(BadFile, QStringLiteral("no data folder holds a change journal"));
    QFile file(path);
    if (!file.exists())
        return Ok; // no change made yet
    if (!file.open(QIODevice::ReadOnly))
        return c.fail(BadFile, QStringLiteral("%1: %2").arg(path, file.errorString()));
    c.out << QString::fromUtf8(file.readAll());
    c.out.flush();
    return Ok;
}

int revert(CliContext &c)
{
    const int count = c.arguments().value(0).toInt(); // checked at parsing
    const QString device = c.session.deviceLabel();
    const auto journal = ChangeHistory::readJournal(ChangeHistory::defaultJournalPath());
    if (!journal)
        return c.fail(BadFile, QStringLiteral("the change journal cannot be read"));
    // The command line's own changes to this device, newest first. A change
    // already reverted (a later revert line of its register wrote its value
    // before) is passed over, so "revert 1" twice undoes the last two.
    std::vector<ChangeRecord> changes;
    std::vector<const ChangeRecord *> reverts; // not yet matched with their change
    for (auto it = journal->rbegin(); it != journal->rend() && int(changes.size()) < count; ++it) {
        if (it->device != device || !it->source.startsWith(CliPrefix))
            continue;
        if (it->source == RevertSource) {
            reverts.push_back(&*it);
            continue;
        }
        const auto undone = std::find_if(reverts.begin(), reverts.end(), [&](const ChangeRecord *r) {
            return r->address == it->address && it->before && r->written == *it->before;
        });
        if (undone != reverts.end())
            reverts.erase(undone);
        else
            changes.push_back(*it);
    }
    if (changes.empty()) {
        c.out << "no change of tarvine-cli to " << device << " in the journal" << Qt::endl;
        return Ok;
    }
    c.link.beginWrite();
    const RevertResult result = revertChanges(c.session, changes, RevertSource);
    if (!result.ok())
        return c.fail(ValueRefused, result.refused.front().reason);
    for (const QString &skipped : result.skipped)
        c.err << "tarvine-cli: skipped " << skipped << Qt::endl;
    if (result.requested == 0)
        return Ok;
    if (const int code = c.link.awaitWrite(QStringLiteral("the revert")); code != Ok)
        return code;
    for (const ChangeRecord &change : changes)
        if (change.before)
            c.out << "reverted " << RegisterRules::registerLabel(change.address) << " to "
                  << RegisterText::value(change.address, *change.before) << " ("
                  << change.source << ", " << change.time.toString(Qt::ISODate) << ")"
                  << Qt::endl;
    return Ok;
}

QString checkRevert(const CliOptions &options)
{
    bool ok = false;
    const int n = options.arguments.value(0).toInt(&ok);
    return ok && n >= 1 && n <= 1000 ? QString() : QStringLiteral("revert N needs N from 1 to 1000");
}

} // namespace

const CliCommand History{"history", "history",
                         "print the journal of the changes made to the controllers' registers "
                         "(time, device, register, value before, value written, source)",
                         CliNeeds::Nothing, &history, nullptr, "6 the journal cannot be read"};
const CliCommand Revert{"revert", "revert N",
                        "write back the values before of the last N changes tarvine-cli made to "
                        "this device, newest first, through the model's rules",
                        CliNeeds::Device, &revert, &checkRevert,
                        "5 a value the model's rules refuse (nothing is written)"};

} // namespace HistoryCommands
