#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <atomic>
#include <functional>

class CliLink;
class QLMCConnection;
class QLMCSession;
struct CliOptions;

/// tarvine-cli's feature commands over the same core as the windows:
///   autotune --pid|--predictive --current A [--voltage V]
///   warnings [--clear]
///   homing --start|--stop
namespace FeatureCommands {

/// Exit code of an auto-tuning run that ended in an error status.
constexpr int TuningFailed = 6;

/// What a command needs of the runner.
struct Context
{
    QLMCSession &session;
    QLMCConnection &connection;
    const CliOptions &options;
    QTextStream &out;
    QTextStream &err;
    /// Decoded 0x39 values so far (raised by the runner's listener).
    const std::atomic<int> &tuningStatuses;
    std::function<bool(const std::function<bool()> &, int)> waitFor;
    /// Reads and writes that count only what this connection answered.
    CliLink &link;
    std::function<int(int, const QString &)> fail;
};

bool handles(const QString &command);
/// True for an option of these commands; \a takesValue tells whether the next
/// argument is its value. The parser passes both on as arguments.
bool isOption(const QString &option, bool &takesValue);
/// A usage error of the arguments (empty when they are fine).
QString checkArguments(const QString &command, const QStringList &arguments);
/// Usage lines for the help text.
QString usage();

int run(Context &context);

} // namespace FeatureCommands
