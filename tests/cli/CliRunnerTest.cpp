// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliRunner.h"
#include "support/CliRun.h"
#include "cli/CliOptions.h"
#include "sim/SimServer.h"
#include "support/FloodPeers.h"

#include <gtest/gtest.h>

#include <cctype>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QStringList>
#include <QTextStream>

namespace {

using testsupport::CliResult;
using testsupport::runCli;

class Cli : public ::testing::Test
{
protected:
    std::unique_ptr<SimServer> server;

    void startDirect(const char *model)
    {
        SimServerConfig config;
        config.bindAddress = "127.0.0.31";
        server = std::make_unique<SimServer>(
            config, std::make_shared<SimController>(*parseSimModel(model), SimIdentity{}));
        ASSERT_TRUE(server->start());
    }
    void startGateway(const char *model)
    {
        SimServerConfig config;
        config.bindAddress = "127.0.0.32";
        std::map<int, std::shared_ptr<SimController>> modules;
        modules[16] = std::make_shared<SimController>(*parseSimModel(model), SimIdentity{});
        server = std::make_unique<SimServer>(config, SimGatewayIdentity{}, modules);
        ASSERT_TRUE(server->start());
    }
    QString ip() const { return QString::fromStdString(server->address()); }
    QString tcp() const { return QString::number(server->tcpPort()); }
    QString udp() const { return QString::number(server->udpPort()); }
};

TEST_F(Cli, IdentifiesOverEachConnectionKind)
{
    startDirect("NETDC-A");
    CliResult r = runCli({"--ip", ip(), "--port", tcp(), "identify"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "Model: NETDC-A\nFirmware: Ver 7.18\n"
                                   "Ethernet Motor Controller - NETDC-A  (TYPE = 2.1)\n");
    r = runCli({"--ip", ip(), "--udp", "--port", udp(), "identify"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("(TYPE = 2.1)"));

    startGateway("BUSDC-A");
    r = runCli({"--ip", ip(), "--i2c", "16", "--port", tcp(), "identify"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Ethernet Motor Controller - BUSDC-A  (TYPE = 3.100)"));
    r = runCli({"--ip", ip(), "--i2c", "20", "--port", tcp(), "--timeout", "800", "identify"});
    EXPECT_EQ(r.code, CliExit::Unanswered);
    EXPECT_TRUE(r.err.contains("module 20 does not acknowledge")) << r.err.toStdString();
}

TEST_F(Cli, WritesAndReadsRegisters)
{
    startDirect("NETEC-A");
    CliResult r = runCli({"--ip", ip(), "--port", tcp(), "write", "0x33=2.5", "0x20=3"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "0x33 Kp = 2.50000\n0x20 Regulation mode = 3\n");
    r = runCli({"--ip", ip(), "--port", tcp(), "read", "51", "0x15"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "0x33 Kp = 2.50000\n0x15 Name = \"Virtual         \"\n");

    r = runCli({"--ip", ip(), "--port", tcp(), "write", "0x28=5"}); // Speed is read-only
    EXPECT_EQ(r.code, CliExit::ValueRefused);
    r = runCli({"--ip", ip(), "--port", tcp(), "read", "0x09"});
    EXPECT_EQ(r.code, CliExit::Usage);
}

TEST_F(Cli, PollPrintsOneLinePerReadCycle)
{
    startDirect("NETDC-A");
    const CliResult r =
        runCli({"--ip", ip(), "--port", tcp(), "poll", "--seconds", "0.5", "--refresh", "20"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 6);
    EXPECT_TRUE(lines[0].startsWith("time_ms position speed"));
    EXPECT_EQ(lines[1].split(' ').size(), 10);
}

TEST_F(Cli, ChartWritesTheTwoHundredSamplesOfOnePage)
{
    startDirect("NETDC-A");
    QTemporaryDir dir;
    const QString file = dir.filePath("speed.csv");
    const CliResult r =
        runCli({"--ip", ip(), "--port", tcp(), "chart", "micrometres", file, "--refresh", "4"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile csv(file);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    ASSERT_EQ(lines.size(), 202);
    // Decode times in seconds relative to the newest sample, to the millisecond,
    // rising by at least the refresh period (4 ms) per read cycle.
    EXPECT_EQ(lines[0], "Time [s],Position consign,Position");
    EXPECT_TRUE(lines[200].startsWith("0.000,")) << lines[200].toStdString();
    double previous = -1e9;
    for (int row = 1; row <= 200; ++row) {
        const QByteArray time = lines[row].split(',').value(0);
        ASSERT_EQ(time.size() - time.indexOf('.'), 4) << time.toStdString();
        EXPECT_GT(time.toDouble(), previous) << row;
        previous = time.toDouble();
    }
    EXPECT_LE(lines[1].split(',').value(0).toDouble(), -199 * 0.004 + 0.001);

    // --seconds: every sample of that time, not 200.
    csv.close();
    const CliResult timed = runCli({"--ip", ip(), "--port", tcp(), "chart", "speed", file,
                                    "--refresh", "2", "--seconds", "1"});
    ASSERT_EQ(timed.code, 0) << timed.err.toStdString();
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = csv.readAll().split('\n');
    csv.close();
    EXPECT_GT(rows.size(), 202);
    EXPECT_GE(rows[1].split(',').value(0).toDouble(), -1.0);

    const struct
    {
        QStringList args;
        int code;
    } refused[] = {{{"chart", "torque", file}, CliExit::Usage},
                   {{"chart", "speed"}, CliExit::Usage},
                   {{"chart", "speed", dir.path()}, 6},
                   {{"chart", "speed", file, "--seconds", "61"}, CliExit::Usage}};
    for (const auto &c : refused) {
        const CliResult bad = runCli(QStringList{"--ip", ip(), "--port", tcp()} + c.args);
        EXPECT_EQ(bad.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_FALSE(bad.err.isEmpty());
    }
}

TEST_F(Cli, FailuresEndWithAClearCodeAndNoHang)
{
    startDirect("7.1");
    CliResult r = runCli({"--ip", ip(), "--port", tcp(), "identify"});
    EXPECT_EQ(r.code, CliExit::DeviceRefused);
    EXPECT_TRUE(r.err.contains("This application does not support this device type !"));

    r = runCli({"--ip", "127.0.0.31", "--port", "1", "identify"});
    EXPECT_EQ(r.code, CliExit::LinkLost);

    startDirect("NETDC-A");
    server->faults().setDrop(SimFaultRate::always());
    r = runCli({"--ip", ip(), "--port", tcp(), "--timeout", "500", "identify"});
    EXPECT_EQ(r.code, CliExit::Unanswered);
    EXPECT_EQ(r.err.count('\n'), 1);
}

TEST_F(Cli, IdentifyRetriesUntilTheDeviceAnswers)
{
    startDirect("NETDC-A");
    server->faults().setDrop(SimFaultRate::first(3));
    const CliResult r = runCli({"--ip", ip(), "--port", tcp(), "--answer-timeout", "100",
                                "--timeout", "2000", "identify"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Model: NETDC-A"));
}

// poll under each fault of the virtual controller: it keeps going for its
// whole run, prints at least one line a second and closes with statistics
// that match the controller's own count of requests.
class CliPollFault : public Cli, public ::testing::WithParamInterface<const char *>
{};

TEST_P(CliPollFault, KeepsPollingThroughTheFault)
{
    startDirect("NETDC-A");
    ASSERT_TRUE(server->faults().apply(GetParam()));
    const CliResult r = runCli({"--ip", ip(), "--port", tcp(), "--answer-timeout", "150",
                                "--timeout", "3000", "poll", "--seconds", "1.5"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    std::vector<qint64> times;
    for (qsizetype i = 1; i < lines.size(); ++i)
        times.push_back(lines[i].section(' ', 0, 0).toLongLong());
    ASSERT_FALSE(times.empty());
    times.push_back(1500);
    qint64 previous = 0;
    for (qint64 t : times) {
        EXPECT_LE(t - previous, 1000) << GetParam() << ": a second without a line";
        previous = t;
    }
    // The statistics line is a diagnostic: the last line of standard error.
    const QStringList diagnostics = r.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(diagnostics.isEmpty());
    const QString closing = diagnostics.back();
    const QRegularExpression pattern(
        "^statistics: requests (\\d+), answers (\\d+), lost (-?\\d+), checksum errors (\\d+), "
        "answer time median [0-9.]+ ms, max [0-9.]+ ms(, reopened \\d+)?$");
    const QRegularExpressionMatch m = pattern.match(closing);
    ASSERT_TRUE(m.hasMatch()) << closing.toStdString();
    const qint64 requests = m.captured(1).toLongLong();
    const qint64 answers = m.captured(2).toLongLong();
    EXPECT_EQ(m.captured(3).toLongLong(), requests - answers);
    // Every request reached the controller. The last one may still be on its
    // way, or reached it while the sender had not yet counted it as sent.
    const SimServerStats stats = server->stats();
    EXPECT_LE(qint64(stats.requests), requests + 1);
    EXPECT_GE(qint64(stats.requests), requests - 1);
    EXPECT_LE(answers, qint64(stats.answers));
}

INSTANTIATE_TEST_SUITE_P(Faults, CliPollFault,
                         ::testing::Values("drop=0.2", "delay=30", "corrupt=5", "split", "merge=3",
                                           "garbage=7", "oversize=7", "malformed=7",
                                           "close-after=40"),
                         [](const auto &info) {
                             std::string name = info.param;
                             for (char &c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST_F(Cli, GatewayModuleAnsweringStatusOnlyIsReportedAsNoAcknowledge)
{
    startGateway("BUSDC-A");
    server->faults().setNackStatusOnly(true);
    const CliResult r =
        runCli({"--ip", ip(), "--i2c", "20", "--port", tcp(), "--timeout", "600", "identify"});
    EXPECT_EQ(r.code, CliExit::Unanswered);
    EXPECT_TRUE(r.err.contains("module 20 does not acknowledge")) << r.err.toStdString();
}

TEST_F(Cli, OptionsLimitsAndOneOptionBit)
{
    startDirect("NETEC-A");
    CliResult r = runCli({"--ip", ip(), "--port", tcp(), "option", "5=1"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(),
              "0x2C Options = [0x00 00 00 20]  Bit 5 - Pull up/#down for limits = 1\n");
    // Over UDP: the read-modify-write keeps bit 5.
    r = runCli({"--ip", ip(), "--udp", "--port", udp(), "option", "16=1"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("[0x00 01 00 20]")) << r.out.toStdString();

    r = runCli({"--ip", ip(), "--port", tcp(), "options"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    for (const char *line :
         {"0x2C Options = 0x00010020\n", "  [x] Bit 5 - Pull up/#down for limits\n",
          "  [ ] Bit 4 - PWM 35kHz (else 69kHz)\n", "0x2A Current max = 15.00000 A\n",
          "0x2E Max output voltage = inactive\n", "0x2F Dissipation voltage = 30.0 V\n",
          "0x24 Input min = -100000\n", "0x0D Standby timer = 1000 ms\n"})
        EXPECT_TRUE(r.out.contains(QLatin1String(line))) << line << r.out.toStdString();

    r = runCli({"--ip", ip(), "--port", tcp(), "limits"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Limit 2\n  0x58 - Setup : [0x00 00 00 02]  Used=0 Active on 1=1"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("0x59 - Regulation mode : [0x03]  Wait mode"));
}

TEST(CliFlood, IdentifyAgainstAFloodingPeerFailsWithExit2)
{
    // A peer that streams bytes (TCP) or datagrams (UDP) without pause: the
    // command ends on the flood, not on its time-out, with one line.
    using testsupport::FloodPeer;
    for (const bool udp : {false, true}) {
        FloodPeer peer(udp ? FloodPeer::Kind::Udp : FloodPeer::Kind::Tcp, "127.0.0.35");
        ASSERT_TRUE(peer.listening());
        QStringList args{"--ip", "127.0.0.35", "--port", QString::number(peer.port()),
                         "--timeout", "3000", "identify"};
        if (udp)
            args.prepend("--udp");
        const CliResult r = runCli(args);
        EXPECT_EQ(r.code, CliExit::LinkLost) << r.err.toStdString();
        EXPECT_EQ(r.err, QStringLiteral("tarvine-cli: connection to 127.0.0.35 failed: the "
                                        "controller sent more than its answers could hold\n"));
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST(CliOptions, RefusesBadCommandLines)
{
    QString error;
    EXPECT_FALSE(CliOptions::parse({"identify"}, error));
    EXPECT_EQ(error, "--ip ADDR is required");
    EXPECT_FALSE(CliOptions::parse({"--ip", "1.2.3.4", "--udp", "--i2c", "3", "identify"}, error));
    EXPECT_FALSE(CliOptions::parse({"--ip", "1.2.3.4", "--i2c", "200", "identify"}, error));
    EXPECT_FALSE(CliOptions::parse({"--ip", "1.2.3.4", "fly"}, error));
    EXPECT_FALSE(CliOptions::parse({"--ip", "1.2.3.4", "read"}, error));
    for (const char *bad : {"25=1", "5=2", "5", "x=1"}) {
        EXPECT_FALSE(CliOptions::parse({"--ip", "1.2.3.4", "option", bad}, error)) << bad;
        EXPECT_EQ(error, "option needs one N=0|1 with N from 0 to 24");
    }
    EXPECT_FALSE(CliOptions::parse({"--ip", "1.2.3.4", "limits", "1"}, error));
    const auto ok = CliOptions::parse({"--ip", "1.2.3.4", "--i2c", "0x10", "read", "0x26"}, error);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->comMode, 2);
    EXPECT_EQ(ok->i2cAddress, 16);
    EXPECT_EQ(ok->arguments, QStringList{"0x26"});
}

} // namespace
