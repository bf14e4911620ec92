// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/DiscoveryCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "support/CliRun.h"
#include "support/DiscoverySims.h"

#include <gtest/gtest.h>

#include <QTextStream>

namespace {

using Result = testsupport::CliResult;
using testsupport::runCli;

class DiscoveryCli : public ::testing::Test
{
protected:
    testsupport::DiscoverySims sims;

    /// Runs through the same entry as tarvine-cli: options, then the runner.
    Result run(QStringList args)
    {
        args << QStringLiteral("--port") << QString::number(sims.port) << QStringLiteral("--wait")
             << QStringLiteral("150");
        return runCli(args);
    }
};

TEST_F(DiscoveryCli, ScanListsDevicesByMacAndFailsWhenNoneAnswers)
{
    sims.add(103);
    sims.add(101);
    const Result none = run({"scan", "--loopback", "127.0.0.110-127.0.0.112"});
    EXPECT_EQ(none.code, 3);
    EXPECT_EQ(none.err, QStringLiteral("tarvine-cli: no device answered\n"));
    const Result found = run({"scan", "--loopback", "127.0.0.100-127.0.0.105"});
    EXPECT_EQ(found.code, 0) << found.err.toStdString();
    EXPECT_EQ(found.out,
              QStringLiteral("MAC\tIP\tTYPE\tMODEL\tFW\tHW\tNAME\n"
                             "00-50-C2-00-00-65\t127.0.0.101\t6.4\tNETEC-A\t7.18\t-.-\tVirtual-2\n"
                             "00-50-C2-00-00-67\t127.0.0.103\t6.4\tNETEC-A\t7.18\t-.-\tVirtual-1\n"));
    const Result boards = run({"adapters", "--loopback", "127.0.0.100-127.0.0.105"});
    EXPECT_EQ(boards.out, QStringLiteral("Virtual network\t127.0.0.254\t00-00-00-00-00-00\t"
                                         "Loopback (virtual controllers)\n"));
}

TEST_F(DiscoveryCli, SetIpRefusesBadInputAndAddressesInUse)
{
    sims.add(101);
    sims.add(102);
    const QString range = QStringLiteral("127.0.0.100-127.0.0.110");
    const std::vector<std::pair<QStringList, int>> cases = {
        {{"set-ip", "00-50-C2-00-00-65"}, 1},
        {{"set-ip", "00-50-C2-00-00-6", "127.0.0.108"}, 1},
        {{"set-ip", "00-50-C2-00-00-65", "127.0.0.1x"}, 1},
        {{"set-ip", "00-50-C2-00-00-65", "127.0.0.0"}, 1},
        {{"set-ip", "00-50-C2-00-00-65", "127.0.0.108", "--board", "eth9"}, 1},
        {{"set-ip", "00-50-C2-00-00-99", "127.0.0.108"}, 3},
        {{"set-ip", "00-50-C2-00-00-65", "127.0.0.102"}, 5},
    };
    for (const auto &[args, code] : cases) {
        QStringList full = args;
        full << "--loopback" << range;
        const Result r = run(full);
        EXPECT_EQ(r.code, code) << full.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }
    EXPECT_EQ(sims.servers[0]->address(), "127.0.0.101");
    // The loopback network never sends off loopback.
    EXPECT_EQ(run({"scan", "--loopback", "10.0.0.1-10.0.0.2"}).code, 1);
}

TEST_F(DiscoveryCli, SetIpVerifiesTheNewAddress)
{
    sims.add(101);
    const Result r = run({"set-ip", "00:50:c2:00:00:65", "127.0.0.108", "--verify", "--loopback",
                          "127.0.0.100-127.0.0.110"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("00-50-C2-00-00-65 answers at 127.0.0.108\n")))
        << r.out.toStdString();
    EXPECT_EQ(sims.servers[0]->address(), "127.0.0.108");
}

TEST_F(DiscoveryCli, SetIpVerifiesTheAddressAsParsed)
{
    // "0109" is .109: sent, verified and reported as 127.0.0.109.
    sims.add(101);
    const Result r = run({"set-ip", "00-50-C2-00-00-65", "127.0.0.0109", "--verify", "--loopback",
                          "127.0.0.100-127.0.0.110"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("IP change sent to 00-50-C2-00-00-65: 127.0.0.109 mask "
                                    "255.0.0.0\n00-50-C2-00-00-65 answers at 127.0.0.109\n"));
    EXPECT_EQ(sims.servers[0]->address(), "127.0.0.109");
}

TEST(DiscoveryCliText, ControlCharactersAreEscaped)
{
    EXPECT_EQ(DiscoveryCommands::escaped(QStringLiteral("a\tb\nc\\")),
              QStringLiteral("a\\x09b\\x0ac\\x5c"));
}

} // namespace
