// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliExit.h"

#include <QString>
#include <QTextStream>

#include <cstdint>
#include <functional>
#include <vector>

class QLMCSession;

/// How a tarvine-cli command asks the device and learns what came back in
/// this connection. A register counts as read only when an answer received
/// after the command's own request stored it, and a write only when the
/// answer to its write packet arrived; everything else is reported as missing
/// (one line on standard error), never shown. The exit codes say why a round
/// failed: CliExit::LinkLost (refused, closed, reset), CliExit::Unanswered
/// (registers stayed unanswered).
class CliLink
{
public:
    /// What the runner lends the link.
    struct Hooks
    {
        /// Runs the event loop until \a done or \a timeoutMs; false on time-out.
        std::function<bool(const std::function<bool()> &done, int timeoutMs)> waitFor;
        /// No request pending and no answer awaited (QLMCConnection::isSettled).
        std::function<bool()> settled;
        /// True once the connection was refused, closed or reset.
        std::function<bool()> lost;
        /// How it was lost ("closed by the controller", "connection reset").
        std::function<QString()> lostText;
    };

    CliLink(QLMCSession &session, Hooks hooks, QTextStream &err, QString ipText, int timeoutMs);

    QLMCSession &session() { return m_session; }
    int timeoutMs() const { return m_timeoutMs; }

    /// Waits until nothing is pending and no answer is awaited; false when the
    /// link was lost or \a timeoutMs went by. Says nothing of what answered.
    bool settle(int timeoutMs);
    /// True once the link was lost.
    bool lost() const;
    /// Reports the lost link (one line) and returns CliExit::LinkLost.
    int reportLost();

    /// Reads \a addresses, asking again for those that did not come (a read
    /// changes nothing) until each was received after this call, the link is
    /// lost or the time-out ends. Registers the model does not read are left
    /// to the caller. Returns Ok, or reports what is missing ("0x2C not
    /// received") and returns LinkLost or Unanswered.
    int read(const std::vector<int> &addresses);
    /// True when \a address was received since the last read() began.
    bool received(int address);
    /// Of \a addresses, those not received since the last read() began.
    std::vector<int> missing(const std::vector<int> &addresses);

    /// Notes the start of a write round: call before setting the write requests.
    void beginWrite();
    /// Waits until the writes set since beginWrite() were sent and answered
    /// (the sender reads back what a lost write answer leaves uncertain).
    /// Returns Ok, or reports "no answer to \a what" and returns LinkLost or
    /// Unanswered.
    int awaitWrite(const QString &what);
    /// True when a write packet carrying \a address was answered since beginWrite().
    bool writeAnswered(int address);

    /// "0x2C" (upper-case hexadecimal, two digits).
    static QString addressText(int address);

private:
    int reportMissing(const std::vector<int> &missing, bool lostLink);

    QLMCSession &m_session;
    Hooks m_hooks;
    QTextStream &m_err;
    QString m_ipText;
    int m_timeoutMs;
    uint64_t m_readMark = 0;
    uint64_t m_writeMark = 0;
};
