// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli for scripts: registers by name, --json output with its
// documented fields, the register list, stop, the manual page and the bash
// completion made from the command table.
#include "cli/CliCommand.h"
#include "cli/CliExit.h"
#include "cli/CliManual.h"
#include "device/RegisterNames.h"
#include "device/RegisterTable.h"
#include "protocol/QLMCIPPacket.h"
#include "sim/SimRequestLog.h"
#include "sim/SimServer.h"
#include "support/CliRun.h"
#include "support/DiscoverySims.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

namespace {

using testsupport::CliResult;
using testsupport::runCli;

TEST(RegisterNames, NameFormsAndUnknownNames)
{
    const struct
    {
        const char *text;
        int address; ///< -1: no register
    } rows[] = {
        {"Kp", 0x33},
        {"kp", 0x33},
        {"KP", 0x33},
        {"0x33", 0x33},
        {"51", 0x33},
        {"Regulation mode", 0x20},
        {"regulation_mode", 0x20},
        {"Regulation-Mode", 0x20},
        {"I/O config", 0x55},
        {"IO_config", 0x55},
        {"Max output volage", 0x2E}, // as the controllers store it
        {"Max output voltage", 0x2E},
        {"Integral delta", 0x37},
        {"Auto_tuning", 0x39},
        {"limit2_xinput", 0x5B},
        {"Kq", -1},
        {"0x09", -1}, // an empty slot
        {"0x65", -1},
        {"", -1},
        {"__", -1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        const auto address = RegisterNames::parse(QString::fromUtf8(row.text));
        EXPECT_EQ(address.value_or(-1), row.address);
    }
    // Every one-word name reads back as its own register, and no two agree.
    QSet<QString> lower;
    for (const RegisterInfo &info : registerTable()) {
        if (info.address < 0)
            continue;
        const QString word = RegisterNames::word(info.address);
        EXPECT_EQ(RegisterNames::parse(word).value_or(-1), info.address) << word.toStdString();
        EXPECT_FALSE(word.contains(' '));
        lower.insert(word.toLower());
    }
    EXPECT_EQ(lower.size(), RegisterNames::words().size());
}

TEST(CliScripting, NameUsageErrorsAreOneLine)
{
    const QStringList at{"--ip", "127.0.0.37"};
    const struct
    {
        QStringList args;
        const char *says;
    } rows[] = {
        {at + QStringList{"read", "Kq"}, "Kq is not a register address or name"},
        {at + QStringList{"read", "Kp", "--json", "0x09"}, "0x09 is not a register address or name"},
        {at + QStringList{"write", "Kq=1"}, "Kq=1: expected REG=VALUE with a register address or name"},
        {at + QStringList{"write", "kp=abc"}, "kp=abc: not a value for register 0x33"},
        {at + QStringList{"send", "f.qmc", "--only", "Kp,Kq"}, "Kq is not a register address or name"},
        {{"registers", "--model", "NETXX"}, "unknown model NETXX"},
        {at + QStringList{"registers", "--model", "NETDC-A"}, "registers needs no device"},
        {{"registers"}, "--ip ADDR is required"},
        {at + QStringList{"poll", "--json", "--csv", "x.csv"}, "--json and --csv exclude each other"},
        {at + QStringList{"write", "0x33=1", "--json"}, "--json goes with"},
        {{"--completion", "zsh"}, "--completion takes bash"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const CliResult r = runCli(row.args);
        EXPECT_EQ(r.code, CliExit::Usage);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(row.says))) << r.err.toStdString();
    }
}

/// Each line of \a out parsed as a JSON object with exactly the fields the
/// entry of \a verb documents.
void expectJsonLines(const QString &out, const char *verb, int atLeast = 1)
{
    const CliCommand *command = findCliCommand(QString::fromLatin1(verb));
    ASSERT_TRUE(command && command->json) << verb;
    QStringList documented = command->jsonFields();
    documented.sort();
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    EXPECT_GE(lines.size(), atLeast) << verb;
    for (const QString &line : lines) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << verb << ": " << line.toStdString();
        ASSERT_TRUE(doc.isObject()) << line.toStdString();
        EXPECT_EQ(doc.object().keys(), documented) << verb << ": " << line.toStdString();
    }
}

class CliOnDevice : public ::testing::Test
{
protected:
    std::shared_ptr<SimRequestLog> log = std::make_shared<SimRequestLog>();
    std::mutex mutex;
    std::vector<SimWireEvent> writes;
    std::unique_ptr<SimServer> server;
    QStringList at;

    void start(const char *model, bool gateway)
    {
        log->setCallback([this](const SimWireEvent &event) {
            std::lock_guard guard(mutex);
            if (event.kind == SimWireEvent::Kind::Request
                && (event.function == Function::Write || event.function == Function::GatewayTransfer))
                writes.push_back(event);
        });
        SimServerConfig config;
        config.bindAddress = "127.0.0.41";
        if (gateway) {
            std::map<int, std::shared_ptr<SimController>> modules;
            modules[16] = std::make_shared<SimController>(*parseSimModel(model), SimIdentity{});
            modules[17] = std::make_shared<SimController>(*parseSimModel(model), SimIdentity{});
            server = std::make_unique<SimServer>(config, SimGatewayIdentity{}, modules);
        } else {
            server = std::make_unique<SimServer>(
                config, std::make_shared<SimController>(*parseSimModel(model), SimIdentity{}));
        }
        server->setLog(log);
        ASSERT_TRUE(server->start());
        at = QStringList{"--ip", QString::fromStdString(server->address()), "--port",
                         QString::number(server->tcpPort())};
    }
};

TEST_F(CliOnDevice, NamesReadAsTheirAddresses)
{
    start("NETEC-A", false);
    ASSERT_EQ(runCli(at + QStringList{"write", "kp=2.5", "Regulation_mode=3"}).code, 0);
    const CliResult byName = runCli(at + QStringList{"read", "Kp", "regulation_mode"});
    const CliResult byAddress = runCli(at + QStringList{"read", "0x33", "0x20"});
    ASSERT_EQ(byName.code, 0) << byName.err.toStdString();
    EXPECT_EQ(byName.out, byAddress.out);
    EXPECT_EQ(byName.out.toStdString(), "0x33 Kp = 2.50000\n0x20 Regulation mode = 3\n");
}

TEST_F(CliOnDevice, JsonOfEachCommandHasTheDocumentedFields)
{
    start("NETDC-A", false);
    CliResult r = runCli(at + QStringList{"identify", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    expectJsonLines(r.out, "identify");
    const QJsonObject identity = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(identity["model"].toString(), "NETDC-A");
    EXPECT_EQ(identity["type"].toInt(), 2);

    r = runCli(at + QStringList{"read", "--json", "Kp", "Name", "Ethernet_MAC"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    expectJsonLines(r.out, "read", 3);
    const QJsonObject kp = QJsonDocument::fromJson(r.out.section('\n', 0, 0).toUtf8()).object();
    EXPECT_EQ(kp["address"].toInt(), 0x33);
    EXPECT_EQ(kp["value"].toDouble(), 1.0);
    EXPECT_EQ(kp["raw"].toString(), "[0x00 01 00 00]");

    r = runCli(at + QStringList{"registers", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    expectJsonLines(r.out, "registers", 60);

    r = runCli(at + QStringList{"poll", "--json", "--seconds", "0.3"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    expectJsonLines(r.out, "poll", 3);
    EXPECT_TRUE(r.err.startsWith("statistics: ")) << "statistics stay on standard error";

    QTemporaryDir dir;
    const QString file = dir.filePath("p.qmc");
    ASSERT_EQ(runCli(at + QStringList{"save", file, "--groups", "regulation"}).code, 0);
    ASSERT_EQ(runCli(at + QStringList{"write", "Ki=0.5"}).code, 0);
    r = runCli(at + QStringList{"diff", file, "--json"});
    EXPECT_EQ(r.code, CliExit::Differs) << r.err.toStdString();
    expectJsonLines(r.out, "diff");
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).object()["name"].toString(), "Ki");
}

TEST_F(CliOnDevice, RegistersListTheModelsAccess)
{
    const CliResult named = runCli({"registers", "--model", "busst-a", "--no-header"});
    ASSERT_EQ(named.code, 0) << named.err.toStdString();
    EXPECT_TRUE(named.out.contains("0x26\tPosition\t\u00B5Step\t4\tread-write\n")) << named.out.toStdString();
    EXPECT_TRUE(named.out.contains("0x02\tReset proc\t\t0\tcommand\n"));
    EXPECT_TRUE(named.out.contains("0x62\tKvff\t\t4\tnone\n")) << "no feed-forward on steppers";

    start("NETDC-A", false);
    const CliResult connected = runCli(at + QStringList{"registers"});
    ASSERT_EQ(connected.code, 0) << connected.err.toStdString();
    EXPECT_TRUE(connected.out.startsWith("ADDRESS\tNAME\tUNIT\tSIZE\tACCESS\n"));
    EXPECT_TRUE(connected.out.contains("0x62\tKvff\t\t4\tread-write\n")) << connected.out.toStdString();
    EXPECT_TRUE(connected.out.contains("0x28\tSpeed\tp/s\t4\tread\n"));
}

TEST_F(CliOnDevice, StopPutsDriverStopOnTheWire)
{
    for (const bool gateway : {false, true}) {
        SCOPED_TRACE(gateway ? "gateway module 17" : "direct");
        writes.clear();
        start(gateway ? "BUSDC-A" : "NETDC-A", gateway);
        ASSERT_EQ(runCli(at + (gateway ? QStringList{"--i2c", "17"} : QStringList{})
                         + QStringList{"write", "0x20=3"})
                      .code,
                  0);
        writes.clear();
        const CliResult r =
            runCli(at + (gateway ? QStringList{"--i2c", "17"} : QStringList{}) + QStringList{"stop"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.toStdString(), "0x20 Regulation mode = 0\n");
        // Direct: a write packet "20 00"; through the gateway, a write item
        // to module 17 (0x11): "11 02 20 00 ..." (the reads are "11 01 ...").
        const std::vector<uint8_t> expected =
            gateway ? std::vector<uint8_t>{0x11, 0x02, 0x20, 0x00} : std::vector<uint8_t>{0x20, 0x00};
        std::lock_guard guard(mutex);
        int stops = 0;
        int otherWrites = 0;
        for (const SimWireEvent &event : writes) {
            const bool isWrite = gateway ? event.payload.size() > 1 && event.payload[1] == 0x02
                                         : event.function == Function::Write;
            if (!isWrite)
                continue;
            const bool isStop = event.payload.size() >= expected.size()
                                && std::equal(expected.begin(), expected.end(), event.payload.begin());
            (isStop ? stops : otherWrites)++;
        }
        EXPECT_EQ(stops, 1);
        EXPECT_EQ(otherWrites, 0);
        server.reset();
    }
    EXPECT_EQ(runCli(at + QStringList{"--timeout", "300", "stop"}).code, CliExit::LinkLost)
        << "nobody listens any more";
}

TEST(CliScan, HeaderModelAndJson)
{
    testsupport::DiscoverySims sims;
    sims.add(101);
    const QStringList args{"scan", "--loopback", "127.0.0.100-127.0.0.102", "--port",
                           QString::number(sims.port), "--wait", "150"};
    CliResult r = runCli(args);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "MAC\tIP\tTYPE\tMODEL\tFW\tHW\tNAME\n"
                     "00-50-C2-00-00-65\t127.0.0.101\t6.4\tNETEC-A\t7.18\t-.-\tVirtual-1\n");
    r = runCli(args + QStringList{"--no-header"});
    EXPECT_FALSE(r.out.startsWith("MAC"));
    r = runCli(args + QStringList{"--json"});
    expectJsonLines(r.out, "scan");
}

TEST(CliManualPage, HasEverySectionAndVerb)
{
    qputenv("SOURCE_DATE_EPOCH", "1767225600");
    const QString page = CliManual::page();
    qunsetenv("SOURCE_DATE_EPOCH");
    EXPECT_TRUE(page.contains(".TH TARVINE\\-CLI 1 2026-01-01 ")) << "the date of SOURCE_DATE_EPOCH";
    for (const char *section : {"NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "OPTIONS",
                                "EXIT STATUS", "FILES", "EXAMPLES"})
        EXPECT_TRUE(page.contains(QStringLiteral("\n.SH %1\n").arg(QLatin1String(section)))) << section;
    for (const CliCommand &command : cliCommands())
        EXPECT_TRUE(page.contains(QStringLiteral(".TP\n\\fB%1\\fR")
                                      .arg(QString::fromLatin1(command.name).replace("-", "\\-"))))
            << command.name;
    for (const QString &line : page.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
}

/// What the completion offers for the command line \a words (the last one
/// being completed).
QStringList complete(const QStringList &words)
{
    QTemporaryDir dir;
    const QString script = dir.filePath("completion.bash");
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(CliManual::bashCompletion().toUtf8());
    file.close();
    QStringList quoted;
    for (const QString &w : words)
        quoted << "'" + w + "'";
    QProcess bash;
    bash.start("bash", {"-c", QStringLiteral("source '%1'; COMP_WORDS=(%2); COMP_CWORD=%3; "
                                             "_tarvine_cli; printf '%s\\n' \"${COMPREPLY[@]}\"")
                                  .arg(script, quoted.join(' '))
                                  .arg(words.size() - 1)});
    bash.waitForFinished(10000);
    return QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

TEST(CliCompletion, OffersVerbsOptionsAndRegisterNames)
{
    QStringList verbs;
    for (const CliCommand &command : cliCommands())
        verbs << QString::fromLatin1(command.name);
    QStringList offered = complete({"tarvine-cli", "--ip", "127.0.0.1", ""});
    offered.sort();
    verbs.sort();
    EXPECT_EQ(offered, verbs);
    EXPECT_EQ(complete({"tarvine-cli", "re"}), (QStringList{"read", "registers", "revert", "remote-settings"}));
    EXPECT_TRUE(complete({"tarvine-cli", "read", "reg"}).contains("Regulation_mode"));
    EXPECT_EQ(complete({"tarvine-cli", "write", "kv"}), QStringList{"Kvff="});
    EXPECT_EQ(complete({"tarvine-cli", "send", "f.qmc", "--only", "kp,k"}),
              (QStringList{"kp,Kp", "kp,Ki", "kp,Kd", "kp,Kvff", "kp,Kaff", "kp,Kdff"}));
    EXPECT_TRUE(complete({"tarvine-cli", "poll", "--j"}).contains("--json"));
    EXPECT_TRUE(complete({"tarvine-cli", "registers", "--model", "BUSST-"}).contains("BUSST-D"));
    EXPECT_TRUE(complete({"tarvine-cli", "--ip", "x", "--"}).contains("--timeout"));
}

} // namespace
