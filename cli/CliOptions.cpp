// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliOptions.h"

#include "cli/CliCommand.h"

namespace {

/// The global options that take a value.
QStringList globalValued()
{
    QStringList valued;
    for (const CliGlobalOption &option : CliOptions::globalOptions())
        if (option.value)
            valued << QString::fromLatin1(option.name);
    return valued;
}

bool isOption(const QString &word)
{
    return word.startsWith(QLatin1String("--"));
}

bool isHelp(const QString &word)
{
    return word == QLatin1String("--help") || word == QLatin1String("-h");
}

/// The position of the verb: the first word that is neither an option nor the
/// value of one (of any command: options may come before the verb).
qsizetype verbIndex(const QStringList &args)
{
    QStringList valued = globalValued();
    for (const CliCommand &command : cliCommands())
        valued << CliSyntax::of(command.usage).valued;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (valued.contains(args[i]))
            ++i;
        else if (!isOption(args[i]) && !isHelp(args[i]))
            return i;
    }
    return -1;
}

/// "--csv goes with poll only", or "unknown option --x".
QString misplacedOption(const QString &option)
{
    QStringList owners;
    for (const CliCommand &command : cliCommands())
        if (CliSyntax::of(command.usage).takes(option))
            owners << QString::fromLatin1(command.name);
    if (owners.isEmpty())
        return QStringLiteral("unknown option %1").arg(option);
    return QStringLiteral("%1 goes with %2 only").arg(option, owners.join(QStringLiteral(", ")));
}

} // namespace

std::span<const CliGlobalOption> CliOptions::globalOptions()
{
    static constexpr CliGlobalOption options[] = {
        {"--ip", "ADDR", "the controller's address (four decimal fields)"},
        {"--udp", nullptr, "UDP on port 7010 (without it: TCP on port 8010)"},
        {"--i2c", "N",
         "the module at I2C address N (1..127) behind an Ethernet-to-I2C gateway (TCP 8010)"},
        {"--port", "P", "another port than the standard one"},
        {"--timeout", "MS",
         "bounds the identification, which asks again until the device answers, and each set "
         "of reads or writes (default 5000)"},
        {"--answer-timeout", "MS",
         "how long one answer is awaited before it counts as lost (default 250)"},
        {"--verbose", nullptr,
         "also print the tool's internal error log (time-outs, unknown registers) on standard "
         "error"},
    };
    return options;
}

QStringList CliOptions::positional() const
{
    return verb ? CliArguments::positional(*verb, arguments) : arguments;
}

CliNeeds CliOptions::needs() const
{
    if (!verb)
        return CliNeeds::Nothing;
    if (verb->needs != CliNeeds::ModelOrDevice)
        return verb->needs;
    return CliArguments::has(arguments, QStringLiteral("--model")) ? CliNeeds::Nothing
                                                                    : CliNeeds::Device;
}

std::optional<CliOptions> CliOptions::parse(const QStringList &args, QString &error)
{
    error.clear();
    for (const QString &a : args)
        if (isHelp(a))
            return std::nullopt;

    CliOptions o;
    const qsizetype at = verbIndex(args);
    if (at < 0) {
        error = QStringLiteral("a COMMAND is required");
        return std::nullopt;
    }
    o.command = args[at];
    o.verb = findCliCommand(o.command);
    if (!o.verb) {
        error = QStringLiteral("unknown command %1").arg(o.command);
        return std::nullopt;
    }
    const CliSyntax syntax = CliSyntax::of(o.verb->usage);
    const QStringList global = globalValued();

    bool udp = false;
    bool i2c = false;
    bool connectionOption = false;
    auto toInt = [&](const QString &text, int min, int max,
                     const QString &what) -> std::optional<int> {
        bool ok = false;
        const int v = text.toInt(&ok, 0);
        if (!ok || v < min || v > max) {
            error = QStringLiteral("%1 must be a number from %2 to %3").arg(what).arg(min).arg(max);
            return std::nullopt;
        }
        return v;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (i == at)
            continue;
        const QString &a = args[i];
        const bool valued = syntax.takesValue(a) || (!syntax.takes(a) && global.contains(a));
        QString value;
        if (valued) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("option %1 needs a value").arg(a);
                return std::nullopt;
            }
            value = args[++i];
        }
        if (syntax.takes(a)) {
            // The command's own option (scan's --port is its own).
            o.arguments << a;
            if (valued)
                o.arguments << value;
        } else if (a == QLatin1String("--ip")) {
            o.ip = value;
            connectionOption = true;
        } else if (a == QLatin1String("--udp")) {
            udp = true;
            connectionOption = true;
        } else if (a == QLatin1String("--i2c")) {
            const auto n = toInt(value, 1, 127, a);
            if (!n)
                return std::nullopt;
            i2c = true;
            o.i2cAddress = *n;
            connectionOption = true;
        } else if (a == QLatin1String("--port")) {
            const auto n = toInt(value, 1, 65535, a);
            if (!n)
                return std::nullopt;
            o.port = *n;
            connectionOption = true;
        } else if (a == QLatin1String("--timeout")) {
            const auto n = toInt(value, 100, 600000, a);
            if (!n)
                return std::nullopt;
            o.timeoutMs = *n;
        } else if (a == QLatin1String("--answer-timeout")) {
            const auto n = toInt(value, 10, 60000, a);
            if (!n)
                return std::nullopt;
            o.answerTimeoutMs = *n;
        } else if (a == QLatin1String("--verbose")) {
            o.verbose = true;
        } else if (isOption(a)) {
            error = misplacedOption(a);
            return std::nullopt;
        } else {
            o.arguments << a;
        }
    }
    if (udp && i2c) {
        error = QStringLiteral("--udp and --i2c exclude each other");
        return std::nullopt;
    }
    o.comMode = udp ? 1 : (i2c ? 2 : 0);
    if (o.needs() == CliNeeds::Nothing && connectionOption) {
        error = QStringLiteral("%1 needs no device: no --ip, --udp, --i2c or --port").arg(o.command);
        return std::nullopt;
    }
    if (o.needs() != CliNeeds::Nothing && o.ip.isEmpty()) {
        error = QStringLiteral("--ip ADDR is required");
        return std::nullopt;
    }
    const qsizetype count = o.positional().size();
    if (count < syntax.minArguments || (syntax.maxArguments >= 0 && count > syntax.maxArguments)) {
        error = QStringLiteral("usage: %1").arg(QLatin1String(o.verb->usage));
        return std::nullopt;
    }
    if (o.verb->check) {
        error = o.verb->check(o);
        if (!error.isEmpty())
            return std::nullopt;
    }
    return o;
}
