// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <span>

struct CliContext;
struct CliOptions;

/// What a tarvine-cli command needs before it runs.
enum class CliNeeds {
    Nothing,    ///< no device (files, discovery): no --ip, no connection
    Address,    ///< an address (--ip); the command opens the link itself (bus-scan)
    Device,     ///< an identified device whose identification read has settled
    LiveDevice, ///< an identified device, polling on from the identification (poll)
    /// A model named with --model (no device), else an identified device.
    ModelOrDevice,
};

/// One verb of tarvine-cli: one entry of the command table. Each command
/// family exports its entries from its own file; CliCommandTable.cpp lists
/// them, and the parser, the help text and the README's command list are made
/// from that list.
struct CliCommand
{
    const char *name;
    /// The usage line: the name, its arguments, then its options. It is also
    /// the grammar: the options a command takes are the "--x" it names (one
    /// followed by a word that is not an option takes a value), its arguments
    /// the other words ([X] optional, X... one or more).
    const char *usage;
    /// One line for --help.
    const char *description;
    CliNeeds needs;
    int (*run)(CliContext &context);
    /// Checks of the arguments the usage line cannot tell (values, choices,
    /// options needed); returns a one-line error, empty when they are fine.
    QString (*check)(const CliOptions &options) = nullptr;
    /// The exit codes that mean something particular for this command
    /// ("3 no device answered"); nullptr when the common meanings say it all.
    const char *exits = nullptr;
    /// The fields of the objects --json prints, "name: meaning; name: meaning"
    /// (one object per line); nullptr for a command without --json. Scripts
    /// rely on the names: a field is never renamed or removed, only added.
    const char *json = nullptr;

    /// The field names of json, in order.
    QStringList jsonFields() const;
};

/// The options and argument counts a usage line allows.
struct CliSyntax
{
    QStringList flags;       ///< options without a value
    QStringList valued;      ///< options taking a value
    int minArguments = 0;    ///< arguments that are not options
    int maxArguments = 0;    ///< -1: no limit

    static CliSyntax of(const char *usage);
    bool takes(const QString &option) const { return flags.contains(option) || takesValue(option); }
    bool takesValue(const QString &option) const { return valued.contains(option); }
};

/// The command table, in the order of the help text.
std::span<const CliCommand> cliCommands();
/// The entry named \a name, or nullptr.
const CliCommand *findCliCommand(const QString &name);

/// Reading a command's arguments (the words after the verb, its options
/// among them).
namespace CliArguments {

/// The value after \a option, or \a fallback when it is absent.
QString value(const QStringList &arguments, const QString &option, const QString &fallback = {});
/// True when \a option is among the arguments.
bool has(const QStringList &arguments, const QString &option);
/// The arguments that are neither options of \a command nor their values.
QStringList positional(const CliCommand &command, const QStringList &arguments);
/// Empty when \a option is absent or an integer from \a min to \a max;
/// otherwise the one-line error.
QString checkInteger(const QStringList &arguments, const QString &option, int min, int max);
/// True for a plain decimal: an optional sign, digits, optionally "." and digits.
bool isDecimal(const QString &text);
/// True for a plain integer: an optional sign and digits.
bool isInteger(const QString &text);

} // namespace CliArguments
