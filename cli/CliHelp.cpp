// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliHelp.h"

#include "cli/CliCommand.h"
#include "cli/CliExit.h"
#include "cli/CliOptions.h"

#include <QStringList>

namespace CliHelp {

namespace {

constexpr int Width = 79;
constexpr int TextColumn = 32;

/// \a text cut into lines of at most Width columns at spaces: the first line
/// continues \a first (already written), the others start with \a indent spaces.
QString wrap(const QString &first, const QString &text, int indent)
{
    QString result = first;
    int column = int(first.size());
    const QString pad(indent, QLatin1Char(' '));
    bool lineStart = column <= indent;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!lineStart && column + 1 + word.size() > Width) {
            result += QLatin1Char('\n') + pad;
            column = indent;
            lineStart = true;
        }
        if (!lineStart) {
            result += QLatin1Char(' ');
            ++column;
        }
        result += word;
        column += int(word.size());
        lineStart = false;
    }
    return result + QLatin1Char('\n');
}

/// "  NAME...   description" in two columns; a long NAME takes its own lines
/// (continued under its arguments).
QString entry(const QString &name, const QString &description)
{
    const QString head = QStringLiteral("  ") + name;
    if (head.size() < TextColumn - 1)
        return wrap(head.leftJustified(TextColumn, QLatin1Char(' ')), description, TextColumn);
    const int nameIndent = 3 + int(name.indexOf(QLatin1Char(' ')));
    return wrap(QStringLiteral("  "), name, nameIndent)
           + wrap(QString(TextColumn, QLatin1Char(' ')), description, TextColumn);
}

QString optionName(const CliGlobalOption &option)
{
    QString name = QString::fromLatin1(option.name);
    if (option.value)
        name += QLatin1Char(' ') + QLatin1String(option.value);
    return name;
}

QString cell(QString text)
{
    return text.replace(QLatin1Char('|'), QLatin1String("\\|"));
}

} // namespace

std::span<const Section> sections()
{
    static const Section list[] = {
        {"Commands on a device (--ip ADDR; the device is identified first):",
         "Commands on a device", {CliNeeds::Device, CliNeeds::LiveDevice, CliNeeds::ModelOrDevice},
         "a device"},
        {"Commands on an address (--ip ADDR; no identification):", "Commands on an address",
         {CliNeeds::Address}, "an address"},
        {"Commands without a device (no --ip):", "Commands without a device", {CliNeeds::Nothing},
         "nothing"},
    };
    return list;
}

bool inSection(const Section &section, const CliCommand &command)
{
    for (CliNeeds needs : section.needs)
        if (needs == command.needs)
            return true;
    return false;
}

QString describe(const CliCommand &command)
{
    QString text = QString::fromLatin1(command.description);
    if (command.exits)
        text += QStringLiteral(". Exit codes: %1").arg(QLatin1String(command.exits));
    return text;
}

QString summary()
{
    return QStringLiteral("Connects to one controller (TCP port 8010 by default, UDP port 7010 "
                          "with --udp, or the module at I2C address N behind an "
                          "Ethernet-to-I2C gateway on TCP 8010) and runs COMMAND.");
}

QString outputRules()
{
    return QStringLiteral("Only values the device sent in this connection, after the command's "
                          "own request, are printed or compared; a register that did not come "
                          "back is named on standard error (\"0x2C not received\"), never "
                          "shown as a value. Data go to standard output; errors (one line "
                          "each), warnings and statistics to standard error.");
}

QString jsonRules()
{
    QStringList verbs;
    for (const CliCommand &command : cliCommands())
        if (command.json)
            verbs << QString::fromLatin1(command.name);
    return QStringLiteral("With --json, %1 print one JSON object per line instead of text; "
                          "the field names are stable (listed in the manual page and the "
                          "README).")
        .arg(verbs.join(QStringLiteral(", ")));
}

QString text()
{
    QString t = QStringLiteral(
        "usage: tarvine-cli [--ip ADDR [--udp | --i2c N] [--port P]] [--timeout MS]\n"
        "                   [--answer-timeout MS] [--verbose] COMMAND [ARGUMENTS]\n"
        "       tarvine-cli --help [--markdown | --man] | --version\n"
        "       tarvine-cli --completion bash\n"
        "\n");
    t += wrap(QString(), summary(), 0);
    for (const Section &section : sections()) {
        t += QLatin1Char('\n') + QLatin1String(section.title) + QLatin1Char('\n');
        for (const CliCommand &command : cliCommands())
            if (inSection(section, command))
                t += entry(QString::fromLatin1(command.usage), describe(command));
    }
    t += QStringLiteral("\nOptions:\n");
    for (const CliGlobalOption &option : CliOptions::globalOptions())
        t += entry(optionName(option), QString::fromLatin1(option.text));
    t += QLatin1Char('\n');
    t += wrap(QString(), outputRules(), 0);
    t += wrap(QString(), jsonRules(), 0);
    t += QStringLiteral("\nExit codes (a command's own reading of them follows its "
                        "description):\n");
    for (const CliExit::Meaning &m : CliExit::meanings())
        t += wrap(QStringLiteral("  %1  ").arg(int(m.code)), QString::fromLatin1(m.text), 5);
    return t;
}

QString markdown()
{
    QString t = QStringLiteral("| Command | Needs | What it does |\n|---|---|---|\n");
    for (const Section &section : sections())
        for (const CliCommand &command : cliCommands())
            if (inSection(section, command))
                t += QStringLiteral("| `%1` | %2 | %3 |\n")
                         .arg(cell(QString::fromLatin1(command.usage)),
                              QLatin1String(section.markdownNeeds), cell(describe(command)));
    t += QStringLiteral("\n| Option | Meaning |\n|---|---|\n");
    for (const CliGlobalOption &option : CliOptions::globalOptions())
        t += QStringLiteral("| `%1` | %2 |\n")
                 .arg(cell(optionName(option)), cell(QString::fromLatin1(option.text)));
    t += QStringLiteral("\n| Exit code | Meaning |\n|---|---|\n");
    for (const CliExit::Meaning &m : CliExit::meanings())
        t += QStringLiteral("| %1 | %2 |\n").arg(int(m.code)).arg(cell(QString::fromLatin1(m.text)));
    t += QStringLiteral("\n| `--json` of | Field | Meaning |\n|---|---|---|\n");
    for (const CliCommand &command : cliCommands()) {
        if (!command.json)
            continue;
        for (const QString &field : QString::fromLatin1(command.json).split(QStringLiteral("; ")))
            t += QStringLiteral("| `%1` | `%2` | %3 |\n")
                     .arg(QLatin1String(command.name),
                          field.section(QLatin1Char(':'), 0, 0)
                              .replace(QStringLiteral(", "), QStringLiteral("`, `")),
                          cell(field.section(QLatin1Char(':'), 1).trimmed()));
    }
    return t;
}

} // namespace CliHelp
