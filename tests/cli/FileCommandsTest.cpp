// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli save, view, send and diff against the virtual controller.
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "device/RegisterTable.h"
#include "sim/SimServer.h"

#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

struct CliRun
{
    int code;
    QString out;
    QString err;
};

CliRun cli(const QStringList &args)
{
    QString out, err, error;
    QTextStream o(&out), e(&err);
    const auto options = CliOptions::parse(args, error);
    if (!options)
        return {CliExit::Usage, {}, error};
    CliRunner runner(*options, o, e);
    const int code = runner.run();
    return {code, out, err};
}

} // namespace

TEST(CliFiles, SaveChangeDiffSendView)
{
    SimServerConfig config;
    config.bindAddress = "127.0.0.33";
    auto device = std::make_shared<SimController>(*parseSimModel("NETDC-A"), SimIdentity{});
    SimServer server(config, device);
    ASSERT_TRUE(server.start());
    const QStringList at{"--ip", QString::fromStdString(server.address()), "--port",
                         QString::number(server.tcpPort())};
    QTemporaryDir dir;
    const QString file = dir.filePath("a.qmc");

    CliRun r = cli(at + QStringList{"save", dir.filePath("a"), "--groups", "regulation,limit2"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "saved " + file + "\n");
    EXPECT_EQ(cli(at + QStringList{"save", file, "--groups", "nope"}).code, CliExit::Usage);

    ASSERT_EQ(cli(at + QStringList{"write", "0x33=2.5"}).code, 0);
    r = cli(at + QStringList{"diff", file});
    EXPECT_EQ(r.code, 7);
    EXPECT_EQ(r.out, "0x33 Kp 2.50000 -> 1.00000\n");

    r = cli(at + QStringList{"send", file, "--only", "0x33"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "sent 1 registers\n");
    EXPECT_EQ(cli(at + QStringList{"diff", file}).code, 0);

    // A write the device acknowledges but does not take: the read-back differs.
    ASSERT_EQ(cli(at + QStringList{"write", "0x33=2.5"}).code, 0);
    device->setRegisterFaults({}, {Reg::Kp});
    r = cli(at + QStringList{"send", file});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(r.out.startsWith("0x33 Kp not taken: device 2.50000, file 1.00000\n"))
        << r.out.toStdString();
    device->setRegisterFaults({}, {});

    r = cli({"view", file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("0x33 Kp = 1.00000\n"));
    EXPECT_TRUE(r.out.contains("0x5B Limit2 xinput = "));

    QFile bad(dir.filePath("bad.qmc"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("[Register 0]\r\nReg=51\r\nSize=2\r\nValue=0x01\r\n");
    bad.close();
    for (const QStringList &args : {QStringList{"view", bad.fileName()},
                                    at + QStringList{"send", bad.fileName()},
                                    QStringList{"view", dir.filePath("none.qmc")}}) {
        r = cli(args);
        EXPECT_EQ(r.code, 6);
        EXPECT_TRUE(r.err.startsWith("tarvine-cli: Open file failed")) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1);
    }
    server.stop();
}
