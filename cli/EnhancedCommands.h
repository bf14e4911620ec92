#pragma once

#include "device/ModelProfile.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

class QLMCSession;

/// tarvine-cli's "enhanced", "loops" and "peak" commands: the enhanced-command
/// window's checks and Writes (EnhancedCmdModel) on a connected session; each
/// prints the written trace and the decoded read-back.
class EnhancedCommands
{
public:
    /// Waits until every request was answered; false after \a timeoutMs.
    using Settle = std::function<bool(int timeoutMs)>;

    static bool handles(const QString &command);
    /// The usage lines of the three commands.
    static QString usage();
    /// A one-line error when \a arguments do not make a command line of
    /// \a command; nullopt when they do (their values are checked later).
    static std::optional<QString> checkArguments(const QString &command,
                                                 const QStringList &arguments);

    EnhancedCommands(QLMCSession &session, const ModelProfile &profile, QTextStream &out,
                     QTextStream &err, Settle settle, int timeoutMs);

    /// Runs \a command; returns the tool's exit code (5 for a refused value).
    int run(const QString &command, const QStringList &arguments);

private:
    int enhanced(const QStringList &arguments);
    int loops(const QStringList &arguments);
    int peak(const QStringList &arguments);
    /// Checks that \a address is writable, writes, reads back; 0 or an exit code.
    int writeAndReadBack(int address, const std::function<QString()> &write);
    int fail(int code, const QString &message);

    QLMCSession &m_session;
    ModelProfile m_profile;
    QTextStream &m_out;
    QTextStream &m_err;
    Settle m_settle;
    int m_timeoutMs;
};
