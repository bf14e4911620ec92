// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli and the rule book, the identity of a controller a file is sent
// to, the journal and "revert", on virtual controllers.
#include "device/RegisterTable.h"
#include "protocol/QLMCIPPacket.h"
#include "sim/SimRequestLog.h"
#include "sim/SimServer.h"
#include "support/CliRun.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::runCli;

struct Device
{
    std::shared_ptr<SimController> controller;
    std::unique_ptr<SimServer> server;
    std::shared_ptr<SimRequestLog> log = std::make_shared<SimRequestLog>();
    std::shared_ptr<std::atomic<int>> writes = std::make_shared<std::atomic<int>>(0);
    QStringList at;

    Device(const char *model, const char *address, const char *name)
    {
        SimIdentity identity;
        SimServerConfig config;
        config.bindAddress = address;
        std::sscanf(address, "%hhu.%hhu.%hhu.%hhu", &identity.ip[0], &identity.ip[1],
                    &identity.ip[2], &identity.ip[3]);
        identity.name = name;
        controller = std::make_shared<SimController>(*parseSimModel(model), identity);
        server = std::make_unique<SimServer>(config, controller);
        log->setCallback([count = writes](const SimWireEvent &event) {
            if (event.kind == SimWireEvent::Kind::Request && event.function == Function::Write)
                ++*count;
        });
        server->setLog(log);
        EXPECT_TRUE(server->start());
        at = {"--ip", address, "--port", QString::number(server->tcpPort())};
    }
    Bytes bytes(int address) const { return controller->imageBytes(address); }
};

} // namespace

TEST(CliRuleBook, RefusedValuesNameTheRuleAndWriteNothing)
{
    Device dc("NETDC-A", "127.0.0.35", "DC");
    const Bytes current = dc.bytes(Reg::CurrentMax);
    const struct {
        QStringList args;
        int code;
        const char *error; ///< part of the one error line
    } cases[] = {
        {{"write", "0x2A=5"}, 5, "above the maximum peak current 3.00000 A of NETDC-A"},
        {{"write", "0x14=10"}, 5, "0 (off) or 30..60"},
        {{"write", "0x14=-1"}, 1, "does not fit the 1 bytes"},
        {{"write", "0x12=300"}, 1, "takes an address A.B.C.D"},
        {{"write", "0x0D=40000"}, 5, "not writable on this model"},
        {{"write", "0x24=10", "0x25=5"}, 5, "the input minimum 10 is above the maximum 5"},
        {{"option", "8=1"}, 5, "option bit 8 is not offered on NETDC-A"},
        {{"autotune", "--pid", "--current", "1"}, 5, "auto-tuning is not offered on NETDC-A"},
    };
    for (const auto &c : cases) {
        const auto r = runCli(dc.at + c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.error)) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }
    EXPECT_EQ(dc.bytes(Reg::CurrentMax), current);
    EXPECT_EQ(dc.bytes(Reg::MaxOutputVoltage), dc.bytes(Reg::MaxOutputVoltage));
    // Just inside is written; --force skips the rules (never the size).
    EXPECT_EQ(runCli(dc.at + QStringList{"write", "0x2A=3"}).code, 0);
    EXPECT_EQ(dc.bytes(Reg::CurrentMax), (Bytes{0, 3, 0, 0}));
    EXPECT_EQ(runCli(dc.at + QStringList{"write", "0x14=30"}).code, 0);
    EXPECT_EQ(runCli(dc.at + QStringList{"write", "0x2A=5", "--force"}).code, 0);
    EXPECT_EQ(dc.bytes(Reg::CurrentMax), (Bytes{0, 5, 0, 0}));
}

TEST(CliRuleBook, FeatureCommandsRefusedSendNoWrite)
{
    Device dc("NETDC-A", "127.0.0.38", "DC");
    Device ec("NETEC-A", "127.0.0.39", "EC");
    const uint8_t homingType14[] = {0, 0, 0, 14}; // a type NETDC-A lists as "-"
    dc.controller->setImageBytes(Reg::HomingOption, homingType14);
    const struct {
        Device &device;
        QStringList args;
        const char *error; ///< part of the one error line
    } cases[] = {
        {dc, {"enhanced", "--loops", "1", "--absolute"}, "\"Absolute value\" is not offered"},
        {ec, {"loops", "7", "3/3"}, "Bad values"},
        {ec, {"loops", "4294967296"}, "Bad values"},
        {ec, {"peak", "15.004", "100"}, "above the maximum peak current 15.00000 A of NETEC-A"},
        {dc, {"homing", "--start"}, "homing type 14 in 0x48 is not offered on NETDC-A"},
    };
    for (const auto &c : cases) {
        const int before = c.device.writes->load();
        const auto r = runCli(c.device.at + c.args);
        EXPECT_EQ(r.code, 5) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.error))) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_EQ(c.device.writes->load(), before) << c.args.join(' ').toStdString();
    }
    // Taken once the type in force is one the model offers.
    const uint8_t homingType4[] = {0, 0, 0, 4};
    dc.controller->setImageBytes(Reg::HomingOption, homingType4);
    const auto r = runCli(dc.at + QStringList{"homing", "--start"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_GT(dc.writes->load(), 0);
}

TEST(CliRuleBook, AutotuneKeepsTheOutputVoltageLimitWithoutVoltage)
{
    Device ec("NETEC-A", "127.0.0.36", "EC");
    const Bytes voltage = ec.bytes(Reg::MaxOutputVoltage);
    const auto r = runCli(ec.at + QStringList{"autotune", "--pid", "--current", "1.5"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(ec.bytes(Reg::MaxOutputVoltage), voltage);
    EXPECT_EQ(ec.bytes(Reg::CurrentMax), (Bytes{0, 1, 0x80, 0}));
}

TEST(CliRuleBook, FileFromAToBKeepsBsIdentityUnlessAsked)
{
    Device a("NETEC-A", "127.0.0.21", "A");
    Device b("NETEC-A", "127.0.0.22", "B");
    QTemporaryDir dir;
    const QString file = dir.filePath("a.qmc");
    ASSERT_EQ(runCli(a.at + QStringList{"write", "0x33=2.5"}).code, 0);
    ASSERT_EQ(runCli(a.at + QStringList{"save", file}).code, 0);
    const Bytes bName = b.bytes(Reg::Name);

    auto r = runCli(b.at + QStringList{"send", file});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("kept the controller's 0x12 Address IP")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("kept the controller's 0x15 Name"));
    EXPECT_EQ(b.bytes(Reg::AddressIp), (Bytes{127, 0, 0, 22}));
    EXPECT_EQ(b.bytes(Reg::Name), bName);
    for (int address : {Reg::Kp, Reg::Ki, Reg::CurrentMax, Reg::Options, Reg::Limit1Setup})
        EXPECT_EQ(b.bytes(address), a.bytes(address)) << address;

    // Asked for: B takes A's address (and name); it then answers at A's address.
    r = runCli(b.at + QStringList{"send", file, "--with-identity"});
    EXPECT_EQ(b.bytes(Reg::AddressIp), (Bytes{127, 0, 0, 21}));
    EXPECT_EQ(b.bytes(Reg::Name), a.bytes(Reg::Name));
}

TEST(CliRuleBook, JournalAndRevertOfTheCommandLinesChanges)
{
    Device ec("NETEC-A", "127.0.0.37", "EC");
    const Bytes kp = ec.bytes(Reg::Kp);
    const Bytes ki = ec.bytes(Reg::Ki);
    ASSERT_EQ(runCli(ec.at + QStringList{"write", "0x33=2.5"}).code, 0);
    ASSERT_EQ(runCli(ec.at + QStringList{"write", "0x34=0.5"}).code, 0);
    auto r = runCli({"history"});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("| 127.0.0.37 | 0x34 Ki | before 0x"));
    EXPECT_TRUE(r.out.contains("| written 0x00008000 (0.50000) | tarvine-cli write\n"))
        << r.out.toStdString();

    r = runCli(ec.at + QStringList{"revert", "1"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("reverted 0x34 Ki to ")) << r.out.toStdString();
    EXPECT_EQ(ec.bytes(Reg::Ki), ki);
    EXPECT_EQ(ec.bytes(Reg::Kp), (Bytes{0, 2, 0x80, 0}));
    // A change already reverted is passed over: 0x33 is next.
    EXPECT_EQ(runCli(ec.at + QStringList{"revert", "1"}).code, 0);
    EXPECT_EQ(ec.bytes(Reg::Kp), kp);
    EXPECT_EQ(runCli(ec.at + QStringList{"revert", "0"}).code, 1);
}
