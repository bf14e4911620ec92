// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliCommand.h"

#include <QRegularExpression>

CliSyntax CliSyntax::of(const char *usage)
{
    // "set-ip MAC ADDR [--board NAME|IP] [--force]": after the name, each word
    // is an option ("--x"), an option's value (the word after an option that
    // is not itself an option or "|"), or an argument ([X] optional, X... any
    // number from one).
    CliSyntax syntax;
    QStringList words = QString::fromLatin1(usage).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!words.isEmpty())
        words.removeFirst();
    QStringList pieces; // words cut at "|", with the brackets of each word noted
    QList<bool> optional;
    int depth = 0;
    for (const QString &word : words) {
        const int opens = int(word.count(QLatin1Char('[')) + word.count(QLatin1Char('(')));
        const int closes = int(word.count(QLatin1Char(']')) + word.count(QLatin1Char(')')));
        QString bare = word;
        bare.remove(QRegularExpression(QStringLiteral("[\\[\\]()]")));
        const bool inBrackets = depth + opens > 0;
        if (bare == QLatin1String("|") || bare.isEmpty()) {
            pieces << QStringLiteral("|");
            optional << inBrackets;
        } else if (bare.startsWith(QLatin1String("--"))) {
            // "--pid|--predictive": alternatives; "NAME|IP" stays one value word.
            const QStringList alternatives = bare.split(QLatin1Char('|'));
            for (const QString &a : alternatives) {
                pieces << a;
                optional << inBrackets;
            }
        } else {
            pieces << bare;
            optional << inBrackets;
        }
        depth = std::max(0, depth + opens - closes);
    }
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString &piece = pieces[i];
        if (piece == QLatin1String("|"))
            continue;
        if (piece.startsWith(QLatin1String("--"))) {
            const bool value = i + 1 < pieces.size() && pieces[i + 1] != QLatin1String("|")
                               && !pieces[i + 1].startsWith(QLatin1String("--"));
            (value ? syntax.valued : syntax.flags) << piece;
            if (value)
                ++i;
            continue;
        }
        if (piece.endsWith(QLatin1String("...")))
            syntax.maxArguments = -1;
        else if (syntax.maxArguments >= 0)
            ++syntax.maxArguments;
        if (!optional[i])
            ++syntax.minArguments;
    }
    return syntax;
}

QStringList CliCommand::jsonFields() const
{
    QStringList names;
    if (json)
        for (const QString &field : QString::fromLatin1(json).split(QStringLiteral("; ")))
            names << field.section(QLatin1Char(':'), 0, 0).split(QStringLiteral(", "));
    return names;
}

const CliCommand *findCliCommand(const QString &name)
{
    for (const CliCommand &command : cliCommands())
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

namespace CliArguments {

QString value(const QStringList &arguments, const QString &option, const QString &fallback)
{
    const qsizetype i = arguments.indexOf(option);
    return i >= 0 && i + 1 < arguments.size() ? arguments[i + 1] : fallback;
}

bool has(const QStringList &arguments, const QString &option)
{
    return arguments.contains(option);
}

QStringList positional(const CliCommand &command, const QStringList &arguments)
{
    const CliSyntax syntax = CliSyntax::of(command.usage);
    QStringList result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (syntax.takesValue(arguments[i]))
            ++i;
        else if (!syntax.takes(arguments[i]))
            result << arguments[i];
    }
    return result;
}

QString checkInteger(const QStringList &arguments, const QString &option, int min, int max)
{
    if (!arguments.contains(option))
        return {};
    bool ok = false;
    const int v = value(arguments, option).toInt(&ok, 0);
    if (ok && v >= min && v <= max)
        return {};
    return QStringLiteral("%1 must be a number from %2 to %3").arg(option).arg(min).arg(max);
}

bool isDecimal(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]+(\\.[0-9]+)?$"));
    return pattern.match(text).hasMatch();
}

bool isInteger(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]+$"));
    return pattern.match(text).hasMatch();
}

} // namespace CliArguments
