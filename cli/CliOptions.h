// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include <span>

struct CliCommand;
enum class CliNeeds;

/// An option every command line may carry (the connection and the waits).
struct CliGlobalOption
{
    const char *name;  ///< "--ip"
    const char *value; ///< "ADDR", nullptr for a flag
    const char *text;  ///< one line for --help
};

/// The command line of tarvine-cli: the connection options, then the verb
/// (an entry of the command table) and the words after it.
struct CliOptions
{
    QString ip;
    int comMode = 0; ///< 0 TCP direct, 1 UDP, 2 gateway
    int i2cAddress = 1;
    int port = 0;              ///< 0: the mode's standard port
    int timeoutMs = 5000;      ///< longest wait for the connection and each answer set
    int answerTimeoutMs = 250; ///< the sender's wait for one answer before it counts it lost
    bool verbose = false;      ///< internal errors of the log on standard error
    QString command;           ///< the verb
    const CliCommand *verb = nullptr; ///< its table entry
    /// The words after the verb, in order: its arguments, and its own options
    /// with their values (a command reads them with CliArguments).
    QStringList arguments;

    /// The arguments that are not options of the verb.
    QStringList positional() const;
    /// What the verb needs on this command line (a verb that takes a model
    /// or a device needs nothing when --model names one).
    CliNeeds needs() const;

    /// The options before or after the verb that are not the verb's own.
    static std::span<const CliGlobalOption> globalOptions();

    /// Parses argv (without the program name) against the command table. On
    /// failure returns nullopt and sets \a error to a one-line message; an
    /// empty \a error means help was asked for (--help, -h).
    static std::optional<CliOptions> parse(const QStringList &args, QString &error);
};
