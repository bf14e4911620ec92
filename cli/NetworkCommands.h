#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

class CliLink;
class QLMCConnection;
class QLMCSession;

/// The tarvine-cli commands of the device network settings: "bus-scan" lists
/// the modules behind a gateway (one entry per line), "set-name TEXT" writes the
/// name register 0x15 and prints what the device reads back. The address and
/// the watchdog are ordinary registers for "write".
namespace NetworkCommands {

struct Context
{
    QLMCSession &session;
    QLMCConnection &connection;
    QTextStream &out;
    QTextStream &err;
    /// Runs the event loop until \a done or \a timeoutMs; false on a time-out.
    std::function<bool(const std::function<bool()> &done, int timeoutMs)> waitFor;
    /// Reads and writes that count only what this connection answered.
    CliLink &link;
    int timeoutMs = 5000;
};

/// True for "bus-scan" and "set-name".
bool handles(const QString &command);
/// True for the commands that run before any identification ("bus-scan").
bool runsWithoutIdentification(const QString &command);
QString usage();
std::optional<QString> checkArguments(const QString &command, const QStringList &arguments);
/// Returns the exit code (CliRunner::ExitCode values). "bus-scan" opens the
/// gateway at \a ipText itself; "set-name" runs on an identified device.
int run(const QString &command, const QStringList &arguments, const QString &ipText,
        Context &context);

} // namespace NetworkCommands
