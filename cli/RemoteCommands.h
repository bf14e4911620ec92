#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

/// tarvine-cli's wavelength remote command (no connection):
///   remote-settings FILE   what the remote window loads from FILE
namespace RemoteCommands {

/// Exit code of a file that cannot be read.
constexpr int BadFile = 6;

bool handles(const QString &command);
/// A usage error of the arguments (empty when they are fine).
QString checkArguments(const QStringList &arguments);
QString usage();
/// Prints the factor, the presets and the chart's micrometre range, or the
/// window's message for a rejected header (exit 1).
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace RemoteCommands
