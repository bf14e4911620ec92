// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli bus-scan and set-name against the virtual controller.
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "support/CliRun.h"
#include "sim/SimServer.h"

#include <gtest/gtest.h>

#include <QTextStream>

namespace {

using Result = testsupport::CliResult;
using testsupport::runCli;

std::unique_ptr<SimServer> start(const char *host, bool gateway)
{
    SimServerConfig config;
    config.bindAddress = host;
    const SimModel model = *parseSimModel("NETEC-A");
    std::unique_ptr<SimServer> server;
    if (gateway) {
        std::map<int, std::shared_ptr<SimController>> modules;
        modules[16] = std::make_shared<SimController>(model, SimIdentity{});
        modules[17] = std::make_shared<SimController>(model, SimIdentity{});
        server = std::make_unique<SimServer>(config, SimGatewayIdentity{}, modules);
    } else {
        server = std::make_unique<SimServer>(config,
                                             std::make_shared<SimController>(model, SimIdentity{}));
    }
    EXPECT_TRUE(server->start());
    return server;
}

} // namespace

TEST(NetworkCommands, BusScanListsOneModulePerLine)
{
    auto server = start("127.0.0.33", true);
    const QString port = QString::number(server->tcpPort());
    Result r = runCli({"--ip", "127.0.0.33", "--i2c", "1", "--port", port, "bus-scan"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Mod. 0x10 - 16\nMod. 0x11 - 17\n");

    SimFaultSettings faults;
    faults.dropScanAnswer = true;
    server->faults().setSettings(faults);
    r = runCli({"--ip", "127.0.0.33", "--port", port, "--timeout", "800", "bus-scan"});
    EXPECT_EQ(r.code, CliExit::Unanswered);
    EXPECT_TRUE(r.err.contains("no bus scan answer")) << r.err.toStdString();

    server.reset();
    r = runCli({"--ip", "127.0.0.33", "--port", port, "bus-scan"});
    EXPECT_EQ(r.code, CliExit::LinkLost) << r.err.toStdString();
    EXPECT_EQ(runCli({"--ip", "127.0.0.33", "bus-scan", "x"}).code, CliExit::Usage);
}

TEST(NetworkCommands, SetNameWritesAndReadsBack)
{
    auto server = start("127.0.0.34", false);
    const QString port = QString::number(server->tcpPort());
    Result r = runCli({"--ip", "127.0.0.34", "--port", port, "set-name", "Bench-1"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "name: Bench-1\n");
    r = runCli({"--ip", "127.0.0.34", "--port", port, "set-name", QString::fromUtf8("\xe2\x82\xac")});
    EXPECT_EQ(r.code, CliExit::Usage);
    EXPECT_EQ(runCli({"--ip", "127.0.0.34", "set-name"}).code, CliExit::Usage);
}
