// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The command table of tarvine-cli: usage errors are one line and exit 1,
// --help and the README list every verb with its usage line and the exit
// codes, and each kind of failed link gives its own line and exit code.
#include "cli/CliCommand.h"
#include "cli/CliExit.h"
#include "cli/CliHelp.h"
#include "support/CliRun.h"
#include "support/FloodPeers.h"
#include "support/TcpPeers.h"

#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using testsupport::CliResult;
using testsupport::runCli;

TEST(CliTable, UsageErrorsAreOneLineAndExitOne)
{
    const QStringList at{"--ip", "127.0.0.37"};
    const struct
    {
        QStringList args;
        const char *says;
    } rows[] = {
        {{}, "a COMMAND is required"},
        {{"fly"}, "unknown command fly"},
        {{"identify"}, "--ip ADDR is required"},
        {at + QStringList{"--udp", "--i2c", "3", "identify"}, "--udp and --i2c exclude each other"},
        {at + QStringList{"--i2c", "200", "identify"}, "--i2c must be a number from 1 to 127"},
        {at + QStringList{"identify", "--bogus"}, "unknown option --bogus"},
        {at + QStringList{"identify", "now"}, "usage: identify"},
        {at + QStringList{"read"}, "usage: read REG..."},
        {at + QStringList{"read", "0x09"}, "0x09 is not a register address"},
        {at + QStringList{"read", "0x26", "--csv", "x.csv"}, "--csv goes with poll, step only"},
        {at + QStringList{"write", "0x33=abc"}, "0x33=abc: not a value for register 0x33"},
        {at + QStringList{"write", "0x33"}, "0x33: expected REG=VALUE"},
        {at + QStringList{"write", "0x4D=1000"}, "takes its 6 bytes as [0x.. ..]"},
        {at + QStringList{"poll", "--seconds", "0"}, "--seconds must be a positive number"},
        {at + QStringList{"poll", "--refresh", "1"}, "--refresh must be a number from 2 to 200"},
        {at + QStringList{"chart", "torque", "t.csv"}, "unknown chart torque"},
        {at + QStringList{"save", "f.qmc", "--groups", "nope"}, "unknown group nope"},
        {at + QStringList{"send", "f.qmc", "--only", "Kq"}, "Kq is not a register address"},
        {at + QStringList{"option", "25=1"}, "option needs one N=0|1 with N from 0 to 24"},
        {at + QStringList{"limits", "1"}, "usage: limits"},
        {at + QStringList{"autotune", "--pid", "--current", "inf"}, "--current needs a plain decimal"},
        {at + QStringList{"autotune", "--pid", "--current", "1", "--voltage", "60"},
         "--voltage must be 5.0 .. 50.0 volts"},
        {at + QStringList{"enhanced", "--loops", "x"}, "--loops needs a whole number"},
        {at + QStringList{"peak", "one", "100"}, "usage: peak AMPERES"},
        {at + QStringList{"homing"}, "homing needs one of --start and --stop"},
        {at + QStringList{"set-name", QString::fromUtf8("\xe2\x82\xac")}, "outside the 8-bit set"},
        {at + QStringList{"bus-scan", "x"}, "usage: bus-scan"},
        {{"--ip", "127.0.0.1.1", "identify"}, "Wrong IP address: 127.0.0.1.1"},
        {{"view"}, "usage: view FILE"},
        {at + QStringList{"view", "f.qmc"}, "view needs no device"},
        {{"scan", "--wait", "0"}, "--wait must be a number from 1 to 60000"},
        {{"set-ip", "zz", "127.0.0.38", "--loopback", "127.0.0.38-127.0.0.39"},
         "not a MAC address: zz"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const CliResult r = runCli(row.args);
        EXPECT_EQ(r.code, CliExit::Usage);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("tarvine-cli: ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.endsWith("; see tarvine-cli --help\n")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(row.says))) << r.err.toStdString();
    }
}

TEST(CliTable, HelpListsEveryVerbAndExitCode)
{
    const CliResult r = runCli({"--help"});
    ASSERT_EQ(r.code, CliExit::Ok);
    EXPECT_TRUE(r.err.isEmpty());
    // Long usage lines are wrapped: compare with the white space made plain.
    const QString help = r.out.simplified();
    QStringList names;
    for (const CliCommand &command : cliCommands()) {
        names << QString::fromLatin1(command.name);
        EXPECT_TRUE(help.contains(QString::fromLatin1(command.usage).simplified())) << command.name;
        EXPECT_TRUE(help.contains(QString::fromLatin1(command.description).simplified()))
            << command.name;
        // The usage line is the grammar: it names the command first.
        EXPECT_TRUE(QString::fromLatin1(command.usage).startsWith(names.back())) << command.name;
    }
    names.removeDuplicates();
    EXPECT_EQ(names.size(), qsizetype(cliCommands().size())) << "two entries with one name";
    for (const CliExit::Meaning &m : CliExit::meanings())
        EXPECT_TRUE(help.contains(QStringLiteral("%1 %2").arg(int(m.code)).arg(QLatin1String(m.text))))
            << m.text;
    for (const QString &line : r.out.split('\n'))
        EXPECT_LE(line.size(), 79) << line.toStdString();
}

TEST(CliTable, TheReadmeCarriesTheGeneratedTables)
{
    QFile readme(QStringLiteral(TARVINE_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const QString begin = QStringLiteral("<!-- tarvine-cli --help --markdown -->\n");
    const QString end = QStringLiteral("<!-- end of tarvine-cli --help --markdown -->");
    const qsizetype from = text.indexOf(begin);
    const qsizetype to = text.indexOf(end);
    ASSERT_TRUE(from >= 0 && to > from) << "README.md lacks the markers";
    EXPECT_EQ(text.mid(from + begin.size(), to - from - begin.size()).toStdString(),
              (CliHelp::markdown() + '\n').toStdString())
        << "run scripts/update-readme-cli";
}

TEST(CliTable, UsageLinesAreTheGrammar)
{
    const CliSyntax setIp = CliSyntax::of("set-ip MAC ADDR [--board NAME|IP] [--force]");
    EXPECT_EQ(setIp.minArguments, 2);
    EXPECT_EQ(setIp.maxArguments, 2);
    EXPECT_EQ(setIp.valued, QStringList{"--board"});
    EXPECT_EQ(setIp.flags, QStringList{"--force"});
    const CliSyntax enhanced = CliSyntax::of(
        "enhanced (--loops N | --command 101..117) [--goal PULSES | --percent P] [--peak]");
    EXPECT_EQ(enhanced.valued, (QStringList{"--loops", "--command", "--goal", "--percent"}));
    EXPECT_EQ(enhanced.flags, QStringList{"--peak"});
    EXPECT_EQ(enhanced.maxArguments, 0);
    const CliSyntax autotune = CliSyntax::of("autotune --pid|--predictive --current A");
    EXPECT_EQ(autotune.flags, (QStringList{"--pid", "--predictive"}));
    EXPECT_EQ(autotune.valued, QStringList{"--current"});
    const CliSyntax loops = CliSyntax::of("loops PULSES [NUM/DEN]");
    EXPECT_EQ(loops.minArguments, 1);
    EXPECT_EQ(loops.maxArguments, 2);
    const CliSyntax read = CliSyntax::of("read REG...");
    EXPECT_EQ(read.minArguments, 1);
    EXPECT_EQ(read.maxArguments, -1);
}

// Each kind of failed link, as the connection reports it, gives its own line
// and exit code; nothing is printed on standard output.
TEST(CliLinkFailure, EachKindHasItsLineAndExitCode)
{
    using testsupport::FloodPeer;
    using testsupport::TcpPeer;
    const std::string address = "127.0.0.36";
    const QString ip = QString::fromStdString(address);
    const QString failed = QStringLiteral("tarvine-cli: connection to %1 failed: ").arg(ip);

    uint16_t refusedPort = 0;
    const int bound = TcpPeer::boundPort(address, refusedPort);
    TcpPeer closing(TcpPeer::Kind::Closing, address);
    TcpPeer resetting(TcpPeer::Kind::Resetting, address);
    TcpPeer silent(TcpPeer::Kind::Silent, address);
    FloodPeer tcpFlood(FloodPeer::Kind::Tcp, address);
    FloodPeer udpFlood(FloodPeer::Kind::Udp, address);
    ASSERT_TRUE(closing.listening() && resetting.listening() && silent.listening()
                && tcpFlood.listening() && udpFlood.listening());

    const struct
    {
        const char *name;
        QStringList mode;
        uint16_t port;
        int code;
        QString line;
    } rows[] = {
        {"refused", {}, refusedPort, CliExit::LinkLost, "connection refused"},
        {"closed by peer", {}, closing.port(), CliExit::LinkLost, "closed by the controller"},
        {"reset", {}, resetting.port(), CliExit::LinkLost, "connection reset"},
        {"never answers", {}, silent.port(), CliExit::Unanswered,
         "timed out (no answer within 600 ms)"},
        {"TCP overrun", {}, tcpFlood.port(), CliExit::LinkLost,
         "the controller sent more than its answers could hold"},
        {"UDP overrun", {"--udp"}, udpFlood.port(), CliExit::LinkLost,
         "the controller sent more than its answers could hold"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const CliResult r =
            runCli(QStringList{"--ip", ip, "--port", QString::number(row.port), "--timeout", "600",
                               "--answer-timeout", "100"}
                   + row.mode + QStringList{"identify"});
        EXPECT_EQ(r.code, row.code) << r.err.toStdString();
        EXPECT_EQ(r.err, failed + row.line + '\n');
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    ::close(bound);
}

} // namespace
