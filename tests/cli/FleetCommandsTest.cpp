// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/ChangeHistory.h"
#include "fleet/FleetTargets.h"
#include "sim/SimServer.h"
#include "support/CliRun.h"
#include "support/DiscoverySims.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using Result = testsupport::CliResult;
using testsupport::runCli;

TEST(FleetHosts, ParsesAddressesAndModulesAndRefusesABadLineByItsNumber)
{
    const FleetTargetList good = FleetTargets::parseHosts(
        "# machine 1\n127.0.29.1\n  127.0.29.2:17  \n\n127.0.29.1\n127.000.029.3\r\n");
    ASSERT_TRUE(good.error.isEmpty()) << good.error.toStdString();
    QStringList labels;
    for (const FleetTarget &target : good.targets)
        labels << target.label();
    EXPECT_EQ(labels, (QStringList{"127.0.29.1", "127.0.29.2:17", "127.0.29.3"}));

    const struct
    {
        QByteArray bytes;
        const char *error;
    } bad[] = {
        {"127.0.29.1\n127.0.29.300\n", "line 2: "},
        {"127.0.29\n", "line 1: "},
        {"127.0.29.1.5\n", "line 1: "},
        {"127.0.29.1:0\n", "line 1: "},
        {"127.0.29.1:128\n", "line 1: "},
        {"127.0.29.1:\n", "line 1: "},
        {"127.0.29.1\n\x01\xff\n", "line 2: not an address or address:module (1..127): \\x01\\xff"},
        {"# only a comment\n", "no address in the file"},
        {QByteArray("1.1.1.1\n").repeated(FleetTargets::MaxTargets + 1), "more than 1024 lines"},
    };
    for (const auto &row : bad) {
        const FleetTargetList list = FleetTargets::parseHosts(row.bytes);
        EXPECT_TRUE(list.targets.empty());
        EXPECT_TRUE(list.error.startsWith(QString::fromLatin1(row.error)))
            << list.error.toStdString();
        EXPECT_FALSE(list.error.contains(QLatin1Char('\n')));
    }
}

/// Twenty virtual controllers at 127.0.29.1..20 (MAC ...-00-<n>, names
/// Virtual-1..), one TCP port for all, discovered on the loopback network.
class FleetCli : public ::testing::Test
{
protected:
    static constexpr int Count = 20;
    testsupport::DiscoverySims sims;
    QTemporaryDir dir;

    void SetUp() override
    {
        sims.tcpOnSharedPort = true;
        ASSERT_NO_THROW(sims.addRange(Count, 29));
    }

    int last = Count; ///< the loopback range ends at 127.0.29.<last>

    Result run(QStringList args)
    {
        args << "--loopback" << QStringLiteral("127.0.29.1-127.0.29.%1").arg(last) << "--port"
             << QString::number(sims.port)
             << "--tcp-port" << QString::number(sims.port) << "--wait" << "500"
             // Twenty controllers and their client in one process of a loaded
             // sanitizer build: an answer may take longer than the default wait.
             << "--answer-timeout" << "1000";
        return runCli(args);
    }
    static QStringList rowsWith(const Result &result, const QString &word)
    {
        QStringList rows;
        for (const QString &line : result.out.split(QLatin1Char('\n')))
            if (line.section(QLatin1Char('\t'), 1, 1) == word)
                rows << line.section(QLatin1Char('\t'), 0, 0);
        return rows;
    }
};

TEST_F(FleetCli, SavesEveryControllerAndDiffNamesExactlyTheTwoThatDifferInKp)
{
    const Result saved = run({"fleet", "save", dir.path()});
    ASSERT_EQ(saved.code, 0) << saved.err.toStdString();
    EXPECT_EQ(rowsWith(saved, "ok").size(), Count);
    const QStringList files = QDir(dir.path()).entryList({"*.qmc"}, QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), Count);
    EXPECT_EQ(files.first(), "Virtual-10_00-50-C2-00-00-0A.qmc"); // sorted by name, then MAC
    QFile index(dir.filePath("fleet-index.tsv"));
    ASSERT_TRUE(index.open(QIODevice::ReadOnly));
    EXPECT_EQ(index.readAll().count('\n'), Count + 1);

    // Controllers 7 and 13 get another Kp (raised by 1.0 in two steps that carry).
    for (int n : {7, 13})
        for (int step = 0; step < 2; ++step)
            sims.servers[size_t(n - 1)]->controller()->raiseImageValue(0x33, 0x8000);
    const QString reference = dir.filePath("Virtual-1_00-50-C2-00-00-01.qmc");
    const Result diff = run({"fleet", "diff", reference});
    EXPECT_EQ(diff.code, 7) << diff.err.toStdString();
    EXPECT_EQ(rowsWith(diff, "differs"), (QStringList{"127.0.29.7", "127.0.29.13"}));
    EXPECT_EQ(rowsWith(diff, "ok").size(), Count - 2);
    EXPECT_EQ(diff.out.count("\t0x33 Kp 2.00000 -> 1.00000\n"), 2);
    // The identity registers are listed apart and make no controller differ.
    EXPECT_TRUE(diff.out.contains("\tidentity 0x15 Name"));
    EXPECT_TRUE(diff.err.contains("fleet diff: 20/20 done"));

    const Result json = run({"fleet", "diff", reference, "--json"});
    EXPECT_EQ(json.code, 7);
    EXPECT_EQ(json.out.count("\"result\":\"differs\""), 2);
    EXPECT_EQ(json.out.count("\"registers\":[\"0x33 Kp 2.00000 -> 1.00000\"]"), 2);
    EXPECT_EQ(json.out.count('\n'), Count);
}

TEST_F(FleetCli, AControllerThatGoesSilentMidSaveFailsWithItsReasonAndTheOthersAreSaved)
{
    // Controller 5 answers its identification, then nothing more.
    sims.servers[4]->faults().setDrop(SimFaultRate::after(2));
    const Result saved = run({"fleet", "save", dir.path(), "--limit", "5000"});
    EXPECT_EQ(saved.code, 9) << saved.err.toStdString();
    EXPECT_EQ(rowsWith(saved, "unanswered"), QStringList{"127.0.29.5"});
    EXPECT_TRUE(saved.out.contains("127.0.29.5\tunanswered\tno answer for 0x")) << saved.out.toStdString();
    EXPECT_EQ(rowsWith(saved, "ok").size(), Count - 1);
    const QStringList files = QDir(dir.path()).entryList({"*.qmc"}, QDir::Files);
    EXPECT_EQ(files.size(), Count - 1);
    EXPECT_FALSE(files.contains("Virtual-5_00-50-C2-00-00-05.qmc"));
    QFile index(dir.filePath("fleet-index.tsv"));
    ASSERT_TRUE(index.open(QIODevice::ReadOnly));
    EXPECT_TRUE(index.readAll().contains("\t127.0.29.5\t\t\tfailed\tno answer for 0x"));
    EXPECT_EQ(saved.err.count("tarvine-cli: 1 of 20 controllers failed"), 1);
}

TEST_F(FleetCli, SendMakesTheTwoDifferingControllersEqualKeepsEachIdentityAndSkipsAnotherModel)
{
    // A 21st controller of another model.
    ASSERT_NO_THROW(sims.add(Count + 1, "NETDC-A", 29));
    last = Count + 1;

    ASSERT_EQ(run({"fleet", "save", dir.path(), "--model", "NETEC-A"}).code, 0);
    const QString reference = dir.filePath("Virtual-1_00-50-C2-00-00-01.qmc");
    for (int n : {7, 13})
        sims.servers[size_t(n - 1)]->controller()->raiseImageValue(0x33, 0x10000);
    const Result before = run({"fleet", "diff", reference, "--model", "NETEC-A"});
    EXPECT_EQ(before.code, 7) << before.err.toStdString();
    EXPECT_EQ(rowsWith(before, "differs"), (QStringList{"127.0.29.7", "127.0.29.13"}));

    // The journal lives as long as the process's data folder: count from here.
    auto sendLines = [] {
        QFile journal(ChangeHistory::defaultJournalPath());
        return journal.open(QIODevice::ReadOnly)
                   ? int(QString::fromUtf8(journal.readAll()).count("| tarvine-cli fleet send"))
                   : 0;
    };
    const int journalled = sendLines();
    const Result sent = run({"fleet", "send", reference});
    EXPECT_EQ(sent.code, 0) << sent.out.toStdString() << sent.err.toStdString();
    EXPECT_EQ(rowsWith(sent, "ok").size(), Count);
    EXPECT_TRUE(sent.out.contains(
        "127.0.29.21\tskipped\tmodel NETDC-A, the file is for NETEC-A (--any-model sends it)\n"))
        << sent.out.toStdString();
    EXPECT_TRUE(sent.err.contains("fleet send: 21/21 done, 0 failed"));
    EXPECT_EQ(run({"fleet", "diff", reference, "--model", "NETEC-A"}).code, 0);
    for (int n = 1; n <= Count; ++n) {
        const SimController &c = *sims.servers[size_t(n - 1)]->controller();
        EXPECT_EQ(c.imageBytes(0x12), (std::vector<uint8_t>{127, 0, 29, uint8_t(n)})) << n;
        const std::vector<uint8_t> name = c.imageBytes(0x15); // space-padded to 16
        EXPECT_EQ(QString::fromLatin1(reinterpret_cast<const char *>(name.data()), qsizetype(name.size())).trimmed(),
                  QStringLiteral("Virtual-%1").arg(n));
    }
    // Journalled as a single send: only the two real changes (the others wrote
    // what the controller held).
    QFile journal(ChangeHistory::defaultJournalPath());
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QString lines = QString::fromUtf8(journal.readAll());
    EXPECT_EQ(sendLines() - journalled, 2) << lines.toStdString();
    EXPECT_TRUE(lines.contains("| 127.0.29.13 | 0x33 Kp | before 0x00020000 (2.00000) | written "
                               "0x00010000 (1.00000) | tarvine-cli fleet send"))
        << lines.toStdString();

    // A value the rule book refuses (a negative Kp): every controller fails
    // with the reason and nothing of the file is written to any.
    QFile file(reference);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    const QByteArray kp = "Reg=51\r\nSize=4\r\nValue=0x00010000";
    ASSERT_TRUE(bytes.contains(kp));
    bytes.replace(kp, "Reg=51\r\nSize=4\r\nValue=0xFFFF0000");
    QFile bad(dir.filePath("bad.qmc"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(bytes);
    bad.close();
    const Result refused = run({"fleet", "send", bad.fileName(), "--model", "NETEC-A"});
    EXPECT_EQ(refused.code, 9);
    EXPECT_EQ(rowsWith(refused, "value-refused").size(), Count) << refused.out.toStdString();
    EXPECT_TRUE(refused.out.contains("127.0.29.1\tvalue-refused\t0x33 Kp")) << refused.out.toStdString();
    EXPECT_EQ(sendLines() - journalled, 2);
}

} // namespace
