// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Every tarvine-cli command that prints, compares or decides from device
// values, under the faults of a bad link (the virtual controller closes the
// connection, drops 60 % of its answers on TCP and on UDP, or acknowledges
// writes without taking them): each run gives the device's true values or
// fails with the documented exit code, and never prints a value the device
// did not send in this connection.
#include "cli/CliRunner.h"
#include "device/RegisterTable.h"
#include "device/RegisterText.h"
#include "sim/SimServer.h"
#include "support/CliRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

using testsupport::CliResult;
using testsupport::runCli;

enum class Fault { CloseAfter, TcpDrop, UdpDrop, IgnoreWrite };

const char *faultName(Fault f)
{
    switch (f) {
    case Fault::CloseAfter:
        return "close after N";
    case Fault::TcpDrop:
        return "TCP 60% dropped";
    case Fault::UdpDrop:
        return "UDP 60% dropped";
    default:
        return "ignore-write";
    }
}

// Values no fresh image holds, so a zero printed for them is always invented.
const std::vector<std::pair<int, std::vector<uint8_t>>> DeviceValues = {
    {Reg::Options, {0x00, 0x00, 0x00, 0x20}},
    {Reg::Kp, {0x00, 0x03, 0x33, 0x33}},
    {Reg::Acceleration, {0x00, 0x04, 0x04, 0x04}},
    {Reg::SpeedMax, {0x00, 0x04, 0x24, 0x24}},
    {Reg::Limit2Setup, {0x00, 0x00, 0x00, 0x02}},
    {Reg::Limit2Position, {0x00, 0x00, 0x5A, 0x5A}},
};

struct Row
{
    const char *name;
    QStringList args;
    /// The exit code of a run that got the device's true values (diff: 7, the
    /// device differs from the file).
    int ok;
    /// A command that writes: its exit code when the device ignores the write
    /// (0 for a command that only reads).
    int notTaken;
    /// Lines that may appear, each prefix followed by the device's true value
    /// as the command prints it: (prefix, address, rendering of the bytes).
    std::vector<std::tuple<QString, int, std::function<QString(std::span<const uint8_t>)>>> shown;
};

QString value(int address, std::span<const uint8_t> bytes)
{
    return RegisterText::value(address, bytes);
}

class CliFaultTable : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SimServerConfig config;
        config.bindAddress = "127.0.0.147";
        device = std::make_shared<SimController>(*parseSimModel("NETEC-A"), SimIdentity{});
        server = std::make_unique<SimServer>(config, device);
        ASSERT_TRUE(server->start());
        ASSERT_TRUE(dir.isValid());
        for (int address = 0; address < RegisterCount; ++address)
            initial.push_back(device->imageBytes(address));
        writeFile("zero.qmc", {{Reg::Kp, "0x00000000"}, {Reg::Acceleration, "0x00000000"}});
        writeFile("send.qmc", {{Reg::Kp, "0x00028000"}, {Reg::Acceleration, "0x00001388"}});
    }
    void TearDown() override { server->stop(); }

    void writeFile(const QString &name, const std::vector<std::pair<int, const char *>> &entries)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        int n = 0;
        for (const auto &[address, text] : entries)
            file.write(QStringLiteral("[Register %1]\r\nReg=%2\r\nSize=4\r\nValue=%3\r\n")
                           .arg(n++)
                           .arg(address)
                           .arg(QLatin1String(text))
                           .toLatin1());
    }

    void resetDevice()
    {
        server->faults().clear();
        device->setRegisterFaults({}, {});
        // What earlier rows wrote is undone, so a run that did nothing cannot
        // read back what it meant to write.
        for (int address : {Reg::Name, Reg::EnhancedInput, Reg::LoopsConfig, Reg::VffOffset,
                            Reg::Kvff, Reg::Kaff, Reg::Kdff})
            device->setImageBytes(address, initial[size_t(address)]);
        for (const auto &[address, bytes] : DeviceValues)
            device->setImageBytes(address, bytes);
    }

    QStringList at(Fault fault) const
    {
        if (fault == Fault::UdpDrop)
            return {"--ip", ip(), "--udp", "--port", QString::number(server->udpPort())};
        return {"--ip", ip(), "--port", QString::number(server->tcpPort())};
    }
    QString ip() const { return QString::fromStdString(server->address()); }

    void applyFault(Fault fault, int closeAfter)
    {
        switch (fault) {
        case Fault::CloseAfter:
            server->faults().setCloseAfter(closeAfter);
            break;
        case Fault::TcpDrop:
        case Fault::UdpDrop:
            server->faults().setSeed(7);
            server->faults().setDrop(SimFaultRate::chance(0.6));
            break;
        case Fault::IgnoreWrite: {
            std::vector<int> every;
            for (int address = 0; address < RegisterCount; ++address)
                every.push_back(address);
            device->setRegisterFaults({}, every);
            break;
        }
        }
    }

    std::shared_ptr<SimController> device;
    std::unique_ptr<SimServer> server;
    QTemporaryDir dir;
    std::vector<std::vector<uint8_t>> initial; ///< the image at the start
};

TEST_F(CliFaultTable, TrueValuesOrTheDocumentedExitCode)
{
    const auto trace = [](std::span<const uint8_t> b) { return RegisterText::trace(b); };
    const QString saved = dir.filePath("saved.qmc");
    const std::vector<Row> rows = {
        {"read",
         {"read", "0x2C", "0x42", "0x33", "0x40"},
         0,
         0,
         {{"0x2C Options = ", Reg::Options, [](auto b) { return value(Reg::Options, b); }},
          {"0x42 Speed max = ", Reg::SpeedMax, [](auto b) { return value(Reg::SpeedMax, b); }},
          {"0x33 Kp = ", Reg::Kp, [](auto b) { return value(Reg::Kp, b); }},
          {"0x40 Acceleration = ", Reg::Acceleration,
           [](auto b) { return value(Reg::Acceleration, b); }}}},
        {"write",
         {"write", "0x40=1234"},
         0,
         CliExit::Differs,
         {{"0x40 Acceleration = ", Reg::Acceleration,
           [](auto b) { return value(Reg::Acceleration, b); }}}},
        {"diff", {"diff", dir.filePath("zero.qmc")}, CliExit::Differs, 0,
         {{"0x33 Kp ", Reg::Kp, [](auto b) { return value(Reg::Kp, b) + " -> 0.00000"; }}}},
        {"send", {"send", dir.filePath("send.qmc")}, 0, CliExit::Differs,
         {{"0x33 Kp not taken: device ", Reg::Kp,
           [](auto b) { return value(Reg::Kp, b) + ", file 2.50000"; }}}},
        {"enhanced", {"enhanced", "--loops", "3", "--goal", "1234"}, 0, CliExit::Differs,
         {{"0x4D-Enhanced cmd : ", Reg::EnhancedInput, trace}}},
        {"loops", {"loops", "1000", "1/2"}, 0, CliExit::Differs,
         {{"0x4E-Enhanced range config : ", Reg::LoopsConfig, trace}}},
        {"options", {"options"}, 0, 0,
         {{"0x2C Options = ", Reg::Options,
           [](auto b) {
               return QStringLiteral("0x%1").arg(
                   QString::number(uint(b[0] << 24 | b[1] << 16 | b[2] << 8 | b[3]), 16)
                       .rightJustified(8, '0')
                       .toUpper());
           }}}},
        {"option", {"option", "16=1"}, 0, CliExit::ValueRefused,
         {{"0x2C Options = ", Reg::Options, trace}}},
        {"limits", {"limits"}, 0, 0,
         {{"  0x58 - Setup : ", Reg::Limit2Setup, trace},
          {"  0x5A - Position : ", Reg::Limit2Position, trace}}},
        {"save", {"save", saved}, 0, 0, {}},
        {"set-name", {"set-name", "Bench"}, 0, CliExit::Differs, {}},
        {"warnings", {"warnings"}, 0, 0, {}},
        {"identify", {"identify"}, 0, 0, {}},
        {"poll", {"poll", "--seconds", "0.4"}, 0, 0, {}},
    };

    // Requests of an identification: closing right after them, or after one
    // more, lands in the command (give or take a poll read).
    resetDevice();
    const uint64_t before = server->stats().requests;
    ASSERT_EQ(runCli(at(Fault::CloseAfter) + QStringList{"identify"}).code, 0);
    const int identification = int(server->stats().requests - before);

    const std::pair<Fault, int> faults[] = {{Fault::CloseAfter, identification},
                                            {Fault::CloseAfter, identification + 1},
                                            {Fault::TcpDrop, 0},
                                            {Fault::UdpDrop, 0},
                                            {Fault::IgnoreWrite, 0}};
    for (const auto &[fault, closeAfter] : faults) {
        for (const Row &row : rows) {
            SCOPED_TRACE(std::string(faultName(fault)) + " " + std::to_string(closeAfter) + " / "
                         + row.name);
            resetDevice();
            QFile::remove(saved);
            applyFault(fault, closeAfter);
            const CliResult r = runCli(at(fault)
                                       + QStringList{"--timeout", "1500", "--answer-timeout", "60"}
                                       + row.args);
            server->faults().clear();

            // The exit code: true values (0), or the documented failure.
            std::set<int> allowed{row.ok};
            if (fault == Fault::CloseAfter)
                allowed = {row.ok, CliExit::LinkLost};
            else if (fault != Fault::IgnoreWrite)
                allowed = {row.ok, CliExit::Unanswered};
            else if (row.notTaken != 0)
                allowed = {row.notTaken};
            EXPECT_TRUE(allowed.count(r.code))
                << "exit " << r.code << "\n" << r.out.toStdString() << r.err.toStdString();

            // Every value shown is the device's.
            for (const auto &[prefix, address, render] : row.shown) {
                const std::vector<uint8_t> truth = device->imageBytes(address);
                // The last such line: a written trace comes before the read-back.
                QString shown;
                for (const QString &line : r.out.split('\n'))
                    if (line.startsWith(prefix))
                        shown = line;
                if (!shown.isEmpty()) {
                    EXPECT_TRUE(shown.startsWith(prefix + render(truth)))
                        << shown.toStdString() << " (device " << render(truth).toStdString() << ")";
                }
                // ("send" names only the registers the device did not take.)
                const bool expected = row.args[0] == "send"
                                          ? r.code == CliExit::Differs
                                          : r.code == row.ok && fault != Fault::IgnoreWrite;
                if (expected) {
                    EXPECT_FALSE(shown.isEmpty()) << prefix.toStdString() << " missing";
                }
            }
            if (r.code == CliExit::LinkLost || r.code == CliExit::Unanswered) {
                // A failed run names what failed and claims nothing was done.
                EXPECT_FALSE(r.out.contains(QRegularExpression("^(sent|saved) ",
                                                               QRegularExpression::MultilineOption)))
                    << r.out.toStdString();
                EXPECT_FALSE(r.err.isEmpty());
            }
            if (row.args[0] == "save") {
                EXPECT_EQ(QFile::exists(saved), r.code == 0);
            }
        }
    }
}

} // namespace
