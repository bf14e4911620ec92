// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliExit.h"
#include "cli/CliOptions.h"

#include <QString>
#include <QTextStream>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

class CliLink;
class QLMCConnection;
class QLMCSession;

/// What the decoder told the runner (its session listener), for the commands.
class CliEvents
{
public:
    /// An answer was decoded since a command cleared this (user-interface thread).
    bool answered = false;
    /// Decoded 0x39 values so far (any thread).
    std::atomic<int> tuningStatuses{0};
    /// Called on the user-interface thread when 0x5B arrived (a file save waits for it).
    std::function<void()> limitsArrived;

    /// One decoded answer's time in ms (any thread).
    void addAnswerTime(float ms);
    /// Every answer time so far.
    std::vector<float> answerTimes() const;

private:
    mutable std::mutex m_mutex;
    std::vector<float> m_answerTimes;
};

/// What a command gets from the runner: the command line, the two output
/// streams (data on out, diagnostics on err) and, for a command on a device,
/// the session, its connection and the link that counts only what this
/// connection answered. One for every command family.
struct CliContext
{
    const CliOptions &options;
    QTextStream &out;
    QTextStream &err;
    QLMCSession &session;
    QLMCConnection &connection;
    CliLink &link;
    CliEvents &events;
    /// Opens and identifies again after a lost link; true when identified (poll).
    std::function<bool()> reopen;

    /// The words after the verb (its arguments and options).
    const QStringList &arguments() const { return options.arguments; }
    /// Runs the event loop until \a done or \a timeoutMs; false on a time-out.
    bool waitFor(const std::function<bool()> &done, int timeoutMs) const;
    /// Writes the one-line error \a message and returns \a code.
    int fail(int code, const QString &message) const;
};

/// Runs the event loop until \a done or \a timeoutMs; false on a time-out.
bool cliWaitFor(const std::function<bool()> &done, int timeoutMs);

/// The one line of an error on standard error: "tarvine-cli: MESSAGE", and
/// for a usage error the pointer to the help text.
QString cliErrorLine(int code, const QString &message);
