#pragma once

#include <QString>

/// The documentation of tarvine-cli, made from the command table and the
/// exit codes (CliExit): the --help text, and the same in Markdown for the
/// README (a test keeps the README's copy equal to it).
namespace CliHelp {

/// The text of --help: usage, every command with its usage line, the
/// options and the exit codes.
QString text();
/// The commands, options and exit codes as Markdown tables
/// (tarvine-cli --help --markdown).
QString markdown();

} // namespace CliHelp
