// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliContext.h"
#include "cli/CliLink.h"
#include "cli/CliOptions.h"
#include "device/SessionListener.h"
#include "platform/ThreadHandOver.h"

#include <QObject>
#include <QTextStream>

#include <memory>

struct CliCommand;
class QLMCConnection;
class QLMCSession;

/// Runs one tarvine-cli command over the same core objects the desktop tool
/// uses. It keeps the connection's lifecycle: opens the link (when the
/// command needs a device), waits for the identification and its read,
/// hands the command a CliContext, and closes. What the commands do is in
/// their families' files, listed by the command table.
class CliRunner : public QObject, public SessionListener
{
    Q_OBJECT

public:
    CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err);
    ~CliRunner() override;

    /// Runs the command to its end and returns the exit code (CliExit).
    int run();

    // SessionListener: with a display divider of 0 every decoded answer arms
    // the display, which tells the runner that an answer came in.
    void armMainDisplay() override;
    /// 0x5B arrived: a parameter-file save may write its file.
    void limitsReceived() override;
    void startWindowDisplay(Display window) override;

private:
    int runOn(const CliCommand &command);
    /// Opens the link and waits for the identification; then, unless
    /// \a keepPolling, for the identification's read of every register.
    int openAndIdentify(bool keepPolling);
    /// The one line of a link that failed while opening, and its exit code.
    int openFailed();
    /// Opens and identifies again after a lost link; true when identified.
    bool reopen();
    void close();
    bool linkLost() const;
    /// Writes the one-line error \a message and returns \a code.
    int fail(int code, const QString &message);

    CliOptions m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    /// Calls from the sender thread (UDP answers) to this one; declared
    /// before the connection, so it outlives the sender.
    ThreadHandOver m_handOver;
    std::unique_ptr<QLMCSession> m_session;
    std::unique_ptr<QLMCConnection> m_connection;
    std::unique_ptr<CliLink> m_link;
    CliEvents m_events;
    bool m_identified = false;
    bool m_refused = false;
    QString m_refusal;
};
