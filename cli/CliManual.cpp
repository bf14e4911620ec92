// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliManual.h"

#include "cli/CliCommand.h"
#include "cli/CliExit.h"
#include "cli/CliHelp.h"
#include "cli/CliOptions.h"
#include "device/ModelCatalogue.h"
#include "device/RegisterNames.h"

#include <TarvineVersion.h>

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

namespace CliManual {

namespace {

/// \a text safe as roff: backslashes and hyphens escaped, and a line that
/// would start with "." or "'" guarded.
QString escape(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\e"));
    text.replace(QLatin1Char('-'), QLatin1String("\\-"));
    if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\'')))
        text.prepend(QLatin1String("\\&"));
    return text;
}

/// One word of a usage line in roff fonts: the command's and the options'
/// names bold, the placeholders (NAME, FILE, REG=VALUE...) italic, the
/// brackets and bars roman.
QString usageWord(const QString &word, bool name)
{
    static const QRegularExpression split(QStringLiteral("^([\\[\\(]*)(.*?)([\\]\\)]*)$"));
    const QRegularExpressionMatch m = split.match(word);
    const QString open = m.captured(1);
    const QString core = m.captured(2);
    const QString close = m.captured(3);
    QStringList pieces;
    // "--pid|--predictive", "NAME|IP": each alternative in its font.
    for (const QString &piece : core.split(QLatin1Char('|'))) {
        if (piece.isEmpty())
            pieces << QString();
        else if (name || piece.startsWith(QLatin1String("--")))
            pieces << QStringLiteral("\\fB%1\\fR").arg(escape(piece));
        else if (piece.contains(QRegularExpression(QStringLiteral("[A-Z]"))))
            pieces << QStringLiteral("\\fI%1\\fR").arg(escape(piece));
        else
            pieces << escape(piece);
    }
    return escape(open) + pieces.join(QLatin1Char('|')) + escape(close);
}

QString usage(const QString &line)
{
    QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i)
        words[i] = usageWord(words[i], i == 0);
    return words.join(QLatin1Char(' '));
}

QString optionUsage(const CliGlobalOption &option)
{
    QString text = QStringLiteral("\\fB%1\\fR").arg(escape(QString::fromLatin1(option.name)));
    if (option.value)
        text += QStringLiteral(" \\fI%1\\fR").arg(escape(QString::fromLatin1(option.value)));
    return text;
}

constexpr int LineBytes = 78;

/// Roff text cut into input lines of at most LineBytes at spaces (the
/// formatter fills them again); \a tag joins them with "\" line ends, so
/// that they stay one line for a macro such as .TP's tag.
QString fill(const QString &roff, bool tag = false)
{
    QStringList lines;
    QString line;
    for (const QString &word : roff.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > LineBytes - (tag ? 2 : 0)) {
            lines << line;
            line.clear();
        }
        if (line.isEmpty() && (word.startsWith(QLatin1Char('.')) || word.startsWith(QLatin1Char('\''))))
            line = QStringLiteral("\\&");
        else if (!line.isEmpty())
            line += QLatin1Char(' ');
        line += word;
    }
    lines << line;
    return lines.join(tag ? QStringLiteral(" \\\n") : QStringLiteral("\n")) + QLatin1Char('\n');
}

/// A paragraph of plain text; the first after a section heading needs no .PP.
QString paragraph(const QString &text, bool first = false)
{
    return (first ? QString() : QStringLiteral(".PP\n")) + fill(escape(text));
}

QString item(const QString &tag, const QString &text)
{
    return QStringLiteral(".TP\n") + fill(tag, true) + fill(escape(text));
}

QString example(const QString &what, const QString &command, bool first = false)
{
    return paragraph(what, first) + QStringLiteral(".RS 4\n.EX\n") + escape(command)
           + QStringLiteral("\n.EE\n.RE\n");
}

} // namespace

QString date()
{
    bool ok = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&ok);
    const QDateTime when = ok && epoch >= 0 ? QDateTime::fromSecsSinceEpoch(epoch, Qt::UTC)
                                            : QDateTime::currentDateTimeUtc();
    return when.toString(QStringLiteral("yyyy-MM-dd"));
}

QString page()
{
    QString t;
    t += QStringLiteral(".\\\" Made by tarvine-cli --help --man from its command table.\n");
    t += QStringLiteral(".TH TARVINE\\-CLI 1 %1 \"tarvine %2\" \"User Commands\"\n")
             .arg(date(), QLatin1String(TARVINE_VERSION));
    t += QStringLiteral(".SH NAME\ntarvine\\-cli \\- command\\-line front end for Ethernet motor "
                        "controllers\n");

    t += QStringLiteral(".SH SYNOPSIS\n");
    QStringList connection;
    for (const CliGlobalOption &option : CliOptions::globalOptions())
        connection << QStringLiteral("[") + optionUsage(option) + QStringLiteral("]");
    t += QStringLiteral(".B tarvine\\-cli\n")
         + fill(connection.join(QLatin1Char(' ')) + QStringLiteral(" \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]"))
         + QStringLiteral(".br\n");
    t += QStringLiteral(".B tarvine\\-cli\n\\fB\\-\\-help\\fR [\\fB\\-\\-markdown\\fR | "
                        "\\fB\\-\\-man\\fR]\n.br\n");
    t += QStringLiteral(".B tarvine\\-cli\n\\fB\\-\\-version\\fR\n.br\n");
    t += QStringLiteral(".B tarvine\\-cli\n\\fB\\-\\-completion\\fR \\fBbash\\fR\n");

    t += QStringLiteral(".SH DESCRIPTION\n");
    t += paragraph(CliHelp::summary(), true);
    t += paragraph(QStringLiteral("A register is named by its address, in decimal or 0x-hex "
                                  "(0x33, 51), or by its name as the outputs print it, in any "
                                  "case, with \"_\" for the spaces (Kp, regulation_mode); "
                                  "tarvine-cli registers lists them."));
    t += paragraph(CliHelp::outputRules());
    t += paragraph(CliHelp::jsonRules());

    t += QStringLiteral(".SH COMMANDS\n");
    for (const CliHelp::Section &section : CliHelp::sections()) {
        t += QStringLiteral(".SS %1\n").arg(QLatin1String(section.heading));
        for (const CliCommand &command : cliCommands()) {
            if (!CliHelp::inSection(section, command))
                continue;
            t += item(usage(QString::fromLatin1(command.usage)), CliHelp::describe(command) + '.');
            if (!command.json)
                continue;
            t += QStringLiteral(".IP\nWith \\fB\\-\\-json\\fR, the fields:\n.RS\n");
            for (const QString &field : QString::fromLatin1(command.json).split(QStringLiteral("; ")))
                t += item(QStringLiteral("\\fB%1\\fR").arg(escape(field.section(QLatin1Char(':'), 0, 0))),
                          field.section(QLatin1Char(':'), 1).trimmed());
            t += QStringLiteral(".RE\n");
        }
    }

    t += QStringLiteral(".SH OPTIONS\n");
    for (const CliGlobalOption &option : CliOptions::globalOptions())
        t += item(optionUsage(option), QString::fromLatin1(option.text));
    t += item(QStringLiteral("\\fB\\-\\-help\\fR, \\fB\\-h\\fR"),
              QStringLiteral("print the usage, the commands, the options and the exit codes; "
                             "with --markdown as the README's tables, with --man as this page"));
    t += item(QStringLiteral("\\fB\\-\\-version\\fR"),
              QStringLiteral("print the version, the copyright and the licence"));
    t += item(QStringLiteral("\\fB\\-\\-completion\\fR \\fBbash\\fR"),
              QStringLiteral("print the bash completion of the commands, their options and the "
                             "register names"));

    t += QStringLiteral(".SH EXIT STATUS\n");
    for (const CliExit::Meaning &m : CliExit::meanings())
        t += item(QString::number(int(m.code)), QString::fromLatin1(m.text));
    t += paragraph(QStringLiteral("A command's own reading of a code follows its description "
                                  "under COMMANDS."));

    t += QStringLiteral(".SH ENVIRONMENT\n");
    t += item(QStringLiteral("\\fBTARVINE_DISCOVERY\\fR"),
              QStringLiteral("\"loopback\": scan, adapters and set-ip use the loopback network "
                             "instead of the machine's."));
    t += item(QStringLiteral("\\fBSOURCE_DATE_EPOCH\\fR"),
              QStringLiteral("the date --help --man gives this page (seconds since 1970)."));

    t += QStringLiteral(".SH FILES\n");
    t += item(QStringLiteral("\\fI*.qmc\\fR"),
              QStringLiteral("parameter files, written by save and read by send, diff and view."));
    t += item(QStringLiteral("\\fI/usr/share/bash\\-completion/completions/tarvine\\-cli\\fR"),
              QStringLiteral("the bash completion, as --completion bash prints it."));

    t += QStringLiteral(".SH EXAMPLES\n");
    t += example(QStringLiteral("Identify the controller at 192.168.0.50:"),
                 QStringLiteral("tarvine-cli --ip 192.168.0.50 identify"), true);
    t += example(QStringLiteral("Read Kp and the speed by name, then set Kp:"),
                 QStringLiteral("tarvine-cli --ip 192.168.0.50 read Kp Speed\n"
                                "tarvine-cli --ip 192.168.0.50 write Kp=2.5"));
    t += example(QStringLiteral("Ten seconds of live values as JSON, one object per line:"),
                 QStringLiteral("tarvine-cli --ip 192.168.0.50 poll --seconds 10 --json"));
    t += example(QStringLiteral("Stop the motor of module 16 behind a gateway:"),
                 QStringLiteral("tarvine-cli --ip 192.168.0.60 --i2c 16 stop"));
    t += example(QStringLiteral("List the controllers on every network, without the header:"),
                 QStringLiteral("tarvine-cli scan --no-header"));

    t += QStringLiteral(".SH SEE ALSO\n.BR tarvine (1),\n.BR tarvine\\-sim (1)\n");
    return t;
}

QString bashCompletion()
{
    QStringList verbs;
    QStringList cases;
    for (const CliCommand &command : cliCommands()) {
        const QString name = QString::fromLatin1(command.name);
        verbs << name;
        const CliSyntax syntax = CliSyntax::of(command.usage);
        const QStringList options = syntax.flags + syntax.valued;
        cases << QStringLiteral("    %1) verb_options=\"%2\" ;;").arg(name, options.join(QLatin1Char(' ')));
    }
    QStringList global;
    QStringList valued;
    for (const CliGlobalOption &option : CliOptions::globalOptions()) {
        global << QString::fromLatin1(option.name);
        if (option.value)
            valued << QString::fromLatin1(option.name);
    }
    QStringList models;
    for (const KnownModel &model : knownModels())
        models << QString::fromLatin1(model.name);

    QString t = QStringLiteral(
        "# bash completion for tarvine-cli (made by tarvine-cli --completion bash)\n"
        "_tarvine_cli_registers() # PREFIX SUFFIX [HEAD]: register names, any case\n"
        "{\n"
        "  local w\n"
        "  COMPREPLY=()\n"
        "  for w in %3; do\n"
        "    [[ ${w,,} == \"${1,,}\"* ]] && COMPREPLY+=(\"$3$w$2\")\n"
        "  done\n"
        "}\n"
        "_tarvine_cli()\n"
        "{\n"
        "  local cur prev verb word i\n"
        "  cur=${COMP_WORDS[COMP_CWORD]}\n"
        "  prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        "  local verbs=\"%1\"\n"
        "  local global=\"%2\"\n"

        "  verb=\n"
        "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "    word=${COMP_WORDS[i]}\n"
        "    case \" %7 \" in *\" $word \"*) ((i++)); continue ;; esac\n"
        "    case $word in -*) continue ;; esac\n"
        "    verb=$word\n"
        "    break\n"
        "  done\n"
        "  case $prev in\n"
        "    --model) COMPREPLY=($(compgen -W \"%5\" -- \"$cur\")); return ;;\n"
        "    --only) word=\n"
        "      [[ $cur == *,* ]] && word=${cur%,*},\n"
        "      _tarvine_cli_registers \"${cur##*,}\" \"\" \"$word\"; return ;;\n"
        "    --csv|--file) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
        "    %4) return ;;\n"
        "  esac\n"
        "  local verb_options=\n"
        "  case $verb in\n"
        "%6\n"
        "  esac\n"
        "  if [[ $cur == -* ]]; then\n"
        "    COMPREPLY=($(compgen -W \"$global $verb_options --help --version\" -- \"$cur\"))\n"
        "    return\n"
        "  fi\n"
        "  case $verb in\n"
        "    '') COMPREPLY=($(compgen -W \"$verbs\" -- \"$cur\")) ;;\n"
        "    read) _tarvine_cli_registers \"$cur\" \"\" ;;\n"
        "    write) compopt -o nospace 2>/dev/null\n"
        "           _tarvine_cli_registers \"$cur\" = ;;\n"
        "    save|send|diff|view|chart) COMPREPLY=($(compgen -f -- \"$cur\")) ;;\n"
        "  esac\n"
        "}\n"
        "complete -F _tarvine_cli tarvine-cli\n");
    QStringList valuedAll = valued;
    for (const CliCommand &command : cliCommands())
        for (const QString &option : CliSyntax::of(command.usage).valued)
            if (!valuedAll.contains(option))
                valuedAll << option;
    return t.arg(verbs.join(QLatin1Char(' ')), global.join(QLatin1Char(' ')),
                 RegisterNames::words().join(QLatin1Char(' ')), valuedAll.join(QLatin1Char('|')),
                 models.join(QLatin1Char(' ')), cases.join(QLatin1Char('\n')),
                 valuedAll.join(QLatin1Char(' ')));
}

} // namespace CliManual
