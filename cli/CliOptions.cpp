#include "cli/CliOptions.h"
#include "cli/FeatureCommands.h"

#include "cli/EnhancedCommands.h"
#include "cli/OptionsCommands.h"
#include "cli/NetworkCommands.h"
#include "cli/DiscoveryCommands.h"
#include "cli/RemoteCommands.h"
#include "panel/ChartPages.h"

QString CliOptions::usage()
{
    return QStringLiteral(
        "usage: tarvine-cli --ip ADDR [--udp | --i2c N] [--port P] [--timeout MS]\n"
        "                   [--answer-timeout MS] [--verbose] COMMAND\n"
        "\n"
        "Connects to one controller (TCP port 8010 by default, UDP port 7010 with --udp,\n"
        "or the module at I2C address N behind an Ethernet-to-I2C gateway on TCP 8010),\n"
        "identifies it and runs COMMAND:\n"
        "  identify                      model name, firmware version and window caption\n"
        "  read REG...                   read registers (decimal or 0x-hex addresses)\n"
        "  write REG=VALUE...            write registers, then read them back\n"
        "  poll [--seconds S] [--refresh MS] [--csv FILE]\n"
        "                                one line of live values per read cycle, then one\n"
        "                                statistics line; keeps polling through lost and\n"
        "                                damaged answers and reopens a lost connection;\n"
        "                                --csv writes the lines to FILE as the desktop\n"
        "                                tool's \"Record live values...\" does\n"
        "  save FILE [--groups G,...]    save the registers to a .qmc parameter file\n"
        "                                (groups: communication, global, regulation,\n"
        "                                homing, limit1, limit2, loops; default all)\n"
        "  view FILE                     list the registers of a parameter file (no --ip)\n"
        "  send FILE [--only REG,...]    send a parameter file and verify the read-back\n"
        "  diff FILE                     list the registers that differ from the file\n"
        "  chart PAGE FILE [--refresh MS]\n"
        "                                poll 200 samples and write the CSV of one chart\n"
        "                                (position, speed, command, current, micrometres)\n"
        "%1"
        "%2"
        "%3"
        "%4"
        "%5"
        "\n"
        "--timeout MS (default 5000) bounds the identification, which asks again until\n"
        "the device answers, and each set of reads or writes. --answer-timeout MS\n"
        "(default 250) is how long one answer is awaited before it counts as lost.\n"
        "\n"
        "--verbose also prints the tool's internal error log (time-outs, unknown\n"
        "registers) on standard error. --version alone prints the version.\n"
        "\n"
        "Only values the device sent in this connection, after the command's own\n"
        "request, are printed or compared; a register that did not come back is named\n"
        "on standard error (\"0x2C not received\"), never shown as a value.\n"
        "\n"
        "Exit codes: 0 success, 1 usage, 2 connection refused or lost (refused, closed\n"
        "or reset: nothing after the loss is reported as read, written, sent or\n"
        "saved), 3 registers unanswered or time-out (poll: nothing came back for the\n"
        "whole run), 4 device type refused, 5 register not granted or value refused\n"
        "(option: the device kept the bit), 6 bad or unreadable parameter file, a\n"
        "chart file that cannot be written or an auto-tuning error result, 7 the\n"
        "device did not take what was written (write, send, enhanced, loops, peak,\n"
        "set-name: the read-back differs) or registers differ from the file (diff).\n\n")
               .arg(EnhancedCommands::usage(), OptionsCommands::usage(), FeatureCommands::usage(),
                    NetworkCommands::usage(), RemoteCommands::usage())
           + DiscoveryCommands::usage();
}

std::optional<CliOptions> CliOptions::parse(const QStringList &args, QString &error)
{
    CliOptions o;
    if (DiscoveryCommands::handles(args)) {
        // Discovery needs no device address; it parses its own options.
        o.command = QStringLiteral("scan");
        o.arguments = args;
        o.verbose = args.contains(QStringLiteral("--verbose"));
        return o;
    }
    bool udp = false;
    bool i2c = false;
    auto needValue = [&](int &i) -> std::optional<QString> {
        if (i + 1 >= args.size()) {
            error = QStringLiteral("option %1 needs a value").arg(args[i]);
            return std::nullopt;
        }
        return args[++i];
    };
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
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--ip")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            o.ip = *v;
        } else if (a == QLatin1String("--udp")) {
            udp = true;
        } else if (a == QLatin1String("--i2c")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            auto n = toInt(*v, 1, 127, QStringLiteral("--i2c"));
            if (!n)
                return std::nullopt;
            i2c = true;
            o.i2cAddress = *n;
        } else if (a == QLatin1String("--port")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            auto n = toInt(*v, 1, 65535, QStringLiteral("--port"));
            if (!n)
                return std::nullopt;
            o.port = *n;
        } else if (a == QLatin1String("--timeout")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            auto n = toInt(*v, 100, 600000, QStringLiteral("--timeout"));
            if (!n)
                return std::nullopt;
            o.timeoutMs = *n;
        } else if (a == QLatin1String("--answer-timeout")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            auto n = toInt(*v, 10, 60000, QStringLiteral("--answer-timeout"));
            if (!n)
                return std::nullopt;
            o.answerTimeoutMs = *n;
        } else if (a == QLatin1String("--seconds")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            bool ok = false;
            o.seconds = v->toDouble(&ok);
            if (!ok || o.seconds <= 0 || o.seconds > 86400) {
                error = QStringLiteral("--seconds must be a positive number of seconds");
                return std::nullopt;
            }
        } else if (a == QLatin1String("--refresh")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            auto n = toInt(*v, 2, 200, QStringLiteral("--refresh"));
            if (!n)
                return std::nullopt;
            o.refreshMs = *n;
        } else if (a == QLatin1String("--csv")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            o.csvFile = *v;
        } else if (a == QLatin1String("--groups") || a == QLatin1String("--only")) {
            auto v = needValue(i);
            if (!v)
                return std::nullopt;
            (a == QLatin1String("--groups") ? o.groups : o.only) = *v;
        } else if (a == QLatin1String("--verbose")) {
            o.verbose = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            error.clear();
            return std::nullopt;
        } else if (bool takesValue = false; FeatureCommands::isOption(a, takesValue)) {
            o.arguments << a;
            if (takesValue) {
                auto v = needValue(i);
                if (!v)
                    return std::nullopt;
                o.arguments << *v;
            }
        } else if (a.startsWith(QLatin1String("--")) && !EnhancedCommands::handles(o.command)) {
            error = QStringLiteral("unknown option %1").arg(a);
            return std::nullopt;
        } else if (o.command.isEmpty()) {
            o.command = a;
        } else {
            o.arguments << a;
        }
    }
    if (udp && i2c) {
        error = QStringLiteral("--udp and --i2c exclude each other");
        return std::nullopt;
    }
    o.comMode = udp ? 1 : (i2c ? 2 : 0);
    if (RemoteCommands::handles(o.command)) {
        error = RemoteCommands::checkArguments(o.arguments);
        if (!error.isEmpty())
            return std::nullopt;
        return o;
    }
    if (o.ip.isEmpty() && o.command != QLatin1String("view")) {
        error = QStringLiteral("--ip ADDR is required");
        return std::nullopt;
    }
    const QStringList commands{QStringLiteral("identify"), QStringLiteral("read"),
                               QStringLiteral("write"), QStringLiteral("poll"),
                               QStringLiteral("save"),  QStringLiteral("view"),
                               QStringLiteral("send"),  QStringLiteral("diff"),
                               QStringLiteral("chart")};
    if (FeatureCommands::handles(o.command)) {
        error = FeatureCommands::checkArguments(o.command, o.arguments);
        if (!error.isEmpty())
            return std::nullopt;
        return o;
    }
    if (!commands.contains(o.command) && !EnhancedCommands::handles(o.command)
        && !OptionsCommands::handles(o.command) && !NetworkCommands::handles(o.command)) {
        error = o.command.isEmpty() ? QStringLiteral("a COMMAND is required")
                                    : QStringLiteral("unknown command %1").arg(o.command);
        return std::nullopt;
    }
    if ((o.command == QLatin1String("read") || o.command == QLatin1String("write"))
        && o.arguments.isEmpty()) {
        error = QStringLiteral("%1 needs at least one register").arg(o.command);
        return std::nullopt;
    }
    if (!o.csvFile.isEmpty() && o.command != QLatin1String("poll")) {
        error = QStringLiteral("--csv goes with poll only");
        return std::nullopt;
    }
    if (o.command == QLatin1String("chart")) {
        if (o.arguments.size() != 2) {
            error = QStringLiteral("chart needs a PAGE and a FILE");
            return std::nullopt;
        }
        if (ChartPages::find(o.arguments[0]) < 0) {
            error = QStringLiteral("unknown chart %1 (position, speed, command, current, "
                                   "micrometres)")
                        .arg(o.arguments[0]);
            return std::nullopt;
        }
    }
    const QStringList fileCommands{QStringLiteral("save"), QStringLiteral("view"),
                                   QStringLiteral("send"), QStringLiteral("diff")};
    if (fileCommands.contains(o.command) && o.arguments.size() != 1) {
        error = QStringLiteral("%1 needs one FILE").arg(o.command);
        return std::nullopt;
    }
    if (const auto enhancedError = EnhancedCommands::checkArguments(o.command, o.arguments)) {
        error = *enhancedError;
        return std::nullopt;
    }
    if (const auto wrong = NetworkCommands::checkArguments(o.command, o.arguments)) {
        error = *wrong;
        return std::nullopt;
    }
    if (OptionsCommands::handles(o.command)) {
        if (const auto wrong = OptionsCommands::checkArguments(o.command, o.arguments)) {
            error = *wrong;
            return std::nullopt;
        }
    }
    return o;
}
