// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli enhanced, loops, peak and the trace form of write, against the
// virtual controller on 127.0.0.143.
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "support/CliRun.h"
#include "sim/SimServer.h"

#include "device/RegisterTable.h"

#include <gtest/gtest.h>

#include <QTextStream>

namespace {

using testsupport::CliResult;
using testsupport::runCli;

class EnhancedCli : public ::testing::Test
{
protected:
    std::unique_ptr<SimServer> server;

    void SetUp() override
    {
        SimServerConfig config;
        config.bindAddress = "127.0.0.143";
        server = std::make_unique<SimServer>(
            config, std::make_shared<SimController>(*parseSimModel("NETEC-A"), SimIdentity{}));
        ASSERT_TRUE(server->start());
    }
    void TearDown() override { server->stop(); }

    CliResult run(QStringList args)
    {
        args = QStringList{"--ip", QString::fromStdString(server->address()), "--port",
                           QString::number(server->tcpPort())}
               + args;
        return runCli(args);
    }
    std::vector<uint8_t> device(int address)
    {
        std::vector<uint8_t> b;
        server->controller()->readRegister(address, b);
        return b;
    }
};

} // namespace

TEST_F(EnhancedCli, WritesPrintsTheTraceAndTheReadBack)
{
    CliResult r = run({"loops", "1000", "1/2"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(),
              "0x4E-Enhanced range config : [0x00 00 00 02 00 00 00 01 00 00 03 E8]\n"
              "0x4E-Enhanced range config : [0x00 00 00 02 00 00 00 01 00 00 03 E8]\n"
              "Total pulses per loop : 1'000.50000\n");

    r = run({"enhanced", "--loops", "2", "--goal", "300"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "0x4D-Enhanced cmd :          [0x80 02 00 00 01 2C]\n"
                                   "0x4D-Enhanced cmd : [0x80 02 00 00 01 2C]\n"
                                   "function +2 loops, EnGoal 300 pulses\n");
    EXPECT_EQ(device(Reg::Input), (std::vector<uint8_t>{0x00, 0x00, 0x08, 0xFD})); // 2301

    r = run({"enhanced", "--command", "110", "--percent", "50", "--peak", "--absolute"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("0x4D-Enhanced cmd :          [0x9C 6E 00 7F FF FF]\n"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("function 110 [S] Infinite positive movement with EnGoal as speed, "
                               "EnGoal 50.000 %, peak current, absolute"))
        << r.out.toStdString();

    r = run({"peak", "1.0039", "100"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith("0x4F-Enhanced parameters : [0x00 00 00 00 00 64 01 01]\n"
                               "Peak current : 1.004 A, Duration : 100 ms\n"))
        << r.out.toStdString();

    r = run({"write", "0x4D=[0x80 65 00 00 03 E8]"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(device(Reg::EnhancedInput), (std::vector<uint8_t>{0x80, 0x65, 0x00, 0x00, 0x03, 0xE8}));
}

TEST_F(EnhancedCli, RefusesWhatTheWindowRefuses)
{
    struct Row
    {
        QStringList args;
        int code;
        const char *message;
    };
    const Row rows[] = {
        {{"enhanced", "--loops", "100"}, 5, "Bad Counter value, write aborted."},
        {{"enhanced", "--loops", "1", "--goal", "1000000001"}, 5, "Bad Input value, write aborted."},
        {{"enhanced", "--command", "101", "--percent", "100.5"}, 5, "Bad Input value, write aborted."},
        {{"loops", "1000", "5/5"}, 5, "Bad values, write aborted."},
        {{"loops", "1000", "1/0"}, 5, "Bad values, write aborted."},
        {{"peak", "255.999", "100"}, 5, "Bad values, write aborted."},
        {{"peak", "2", "70000"}, 5, "Bad values, write aborted."},
        {{"write", "0x4D=1000"}, 1, "takes its 6 bytes as [0x.. ..]"},
        {{"write", "0x4E=[0x00 00 00 01]"}, 1, "takes its 12 bytes"},
        {{"enhanced", "--command", "118"}, 1, "--command must be a number from 101 to 117"},
        {{"enhanced", "--goal", "5"}, 1, "either --loops N or --command"},
        {{"enhanced", "--loops", "1", "--goal", "1", "--percent", "1"}, 1, "exclude each other"},
        {{"loops", "1000", "7"}, 1, "usage: loops"},
        {{"peak", "1"}, 1, "usage: peak"},
    };
    const std::vector<uint8_t> before = device(Reg::EnhancedInput);
    for (const Row &row : rows) {
        const CliResult r = run(row.args);
        EXPECT_EQ(r.code, row.code) << row.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(row.message)))
            << row.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_EQ(device(Reg::EnhancedInput), before);
}
