#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

class CliLink;
class QLMCSession;

/// The tarvine-cli commands of the limits and options windows, over the same
/// core: "limits" and "options" print the decoded registers, "option N=0|1"
/// read-modify-writes one option bit.
namespace OptionsCommands {

/// What a command needs from the runner.
struct Context
{
    QLMCSession &session;
    QTextStream &out;
    QTextStream &err;
    /// Reads and writes that count only what this connection answered.
    CliLink &link;
};

/// True for "limits", "options" and "option".
bool handles(const QString &command);
/// The usage lines of the commands.
QString usage();
/// A one-line error for wrong arguments, or nullopt when they are fine.
std::optional<QString> checkArguments(const QString &command, const QStringList &arguments);
/// Runs the command once the device is identified; returns the exit code
/// (CliRunner::ExitCode values).
int run(const QString &command, const QStringList &arguments, Context &context);

} // namespace OptionsCommands
