// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "integration/SimFixture.h"
#include "link/QLMCThreadSendPacket.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

struct ModelRow
{
    const char *preset;
    const char *caption;
    bool feedForward;
    int32_t maxPeakCurrent;
};

// The presets of the virtual controller report recent firmware (major 7 or
// more), so feed-forward is granted to every family but the steppers.
const ModelRow Rows[] = {
    {"NETDC-A", "Ethernet Motor Controller - NETDC-A  (TYPE = 2.1)", true, 0x30000},
    {"NETEC-B", "Ethernet Motor Controller - NETEC-B  (TYPE = 6.3)", true, 0xF0000},
    {"NETEC-A", "Ethernet Motor Controller - NETEC-A  (TYPE = 6.4)", true, 0xF0000},
    {"BUSDC-C", "Ethernet Motor Controller - BUSDC-C  (TYPE = 3.5)", true, 0x20000},
    {"BUSDC-A", "Ethernet Motor Controller - BUSDC-A  (TYPE = 3.100)", true, 0x20000},
    {"BUSDC-B", "Ethernet Motor Controller - BUSDC-B  (TYPE = 3.200)", true, 0x28000},
    {"BUSEC-A", "Ethernet Motor Controller - BUSEC-A  (TYPE = 25.1)", true, 0xF0000},
    {"BUSST-A", "Ethernet Motor Controller - BUSST-A  (TYPE = 43.1)", false, 0x18000},
    {"BUSST-B", "Ethernet Motor Controller - BUSST-B  (TYPE = 43.2)", false, 0x2666},
    {"BUSST-C", "Ethernet Motor Controller - BUSST-C  (TYPE = 43.3)", false, 0x18000},
    {"BUSST-D", "Ethernet Motor Controller - BUSST-D  (TYPE = 43.4)", false, 0x18000},
};

class EveryModel : public ::testing::TestWithParam<std::tuple<ModelRow, int>>
{};

TEST_P(EveryModel, IsIdentifiedAndReadInFull)
{
    const auto &[row, mode] = GetParam();
    SimConnection c;
    if (mode == ComModes::TcpGateway)
        c.startGateway(row.preset, {16, 17});
    else
        c.startDirect(row.preset);
    ASSERT_TRUE(c.openAndIdentify(mode)) << row.preset;
    const ModelProfile &profile = c.connection.profile();
    EXPECT_EQ(profile.caption.toStdString(), row.caption);
    EXPECT_FALSE(c.warned);
    EXPECT_EQ(profile.feedForward, row.feedForward);
    EXPECT_EQ(profile.maxPeakCurrent, row.maxPeakCurrent);
    ASSERT_TRUE(c.waitSettled());
    // Every granted register was asked once and answered; nothing else was asked.
    RegisterLockGuard guard(c.session.lock());
    for (const QLMCRegister &reg : c.session.motor().registers()) {
        EXPECT_EQ(reg.Readable,
                  profile.isReadable(reg.Address < 0 ? 0x09 : reg.Address) && reg.Address >= 0)
            << row.preset << " " << reg.Address;
    }
    EXPECT_EQ(c.session.motor().registerAt(Reg::Kvff)->Readable, row.feedForward);
    EXPECT_EQ(c.session.commErrors(), 0);
}

std::string rowName(const ::testing::TestParamInfo<std::tuple<ModelRow, int>> &info)
{
    std::string name = std::get<0>(info.param).preset;
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    const int mode = std::get<1>(info.param);
    return name + (mode == ComModes::TcpDirect ? "Tcp" : mode == ComModes::Udp ? "Udp" : "Gateway");
}

INSTANTIATE_TEST_SUITE_P(Connections, EveryModel,
                         ::testing::Combine(::testing::ValuesIn(Rows),
                                            ::testing::Values(ComModes::TcpDirect, ComModes::Udp,
                                                              ComModes::TcpGateway)),
                         rowName);

TEST(Identification, RefusedTypeClosesTheConnection)
{
    SimConnection c;
    c.startDirect("7.1");
    c.connection.setComMode(ComModes::TcpDirect);
    c.connection.open(QString::fromStdString(c.address()));
    ASSERT_TRUE(waitFor([&] { return c.refused; }));
    EXPECT_TRUE(waitFor([&] { return c.lastStatus(0) == QLatin1String("TCP closed"); }));
    EXPECT_EQ(c.connection.profile().caption,
              QStringLiteral("Ethernet Motor Controller -   (TYPE = 7.1)"));
}

TEST(Identification, NewerSubTypeIsUsedWithAWarning)
{
    SimConnection c;
    c.startDirect("2.3");
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    EXPECT_TRUE(c.warned);
    EXPECT_TRUE(
        c.warning.startsWith(QStringLiteral("Your device model is not completely supported")));
    EXPECT_EQ(c.connection.profile().modelName, QStringLiteral("NETDC-A"));
}

TEST(Connection, StatusPanelsThroughOpenAndClose)
{
    SimConnection c;
    c.startGateway("BUSDC-A", {16});
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpGateway, 16));
    EXPECT_EQ(c.lastStatus(0), QStringLiteral("TCP open"));
    EXPECT_EQ(c.lastStatus(1), QString::fromStdString(c.address()));
    EXPECT_EQ(c.lastStatus(2), QStringLiteral("I2C 0x10 - 16"));
    EXPECT_EQ(c.lastStatus(3), QStringLiteral("Com error : 0"));
    c.connection.closeFromMenu();
    EXPECT_TRUE(waitFor([&] { return c.lastStatus(0) == QLatin1String("TCP closed"); }));
    EXPECT_EQ(c.connection.comMode(), ComModes::Closed);

    // The next open works and starts from a fresh image.
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpGateway, 16));
}

TEST(Connection, UdpOpensAtOnce)
{
    SimConnection c;
    c.startDirect("NETDC-A");
    c.connection.setComMode(ComModes::Udp);
    c.connection.open(QString::fromStdString(c.address()));
    EXPECT_EQ(c.lastStatus(0), QStringLiteral("UDP open"));
    EXPECT_EQ(c.lastStatus(2), QStringLiteral("-"));
    EXPECT_TRUE(c.connection.isConnected());
    c.connection.close();
    EXPECT_EQ(c.lastStatus(0), QStringLiteral("UDP closed"));
    EXPECT_FALSE(c.connection.isConnected());
}

TEST(Connection, RefusedConnectionShowsTcpError)
{
    SimConnection c;
    c.startDirect("NETDC-A");
    c.connection.setPorts(1, 1); // nothing listens on port 1
    c.connection.setComMode(ComModes::TcpDirect);
    c.connection.open(QStringLiteral("127.0.0.2"));
    EXPECT_TRUE(waitFor([&] { return c.lastStatus(0) == QLatin1String("TCP Error"); }));
    EXPECT_EQ(c.connection.comMode(), ComModes::Closed);
}

TEST(Polling, ReadPacketCarriesTheLiveRegisters)
{
    SimConnection c;
    c.startDirect("NETEC-A");
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    c.wire.clear();
    // Three polling cycles, however slowly a loaded machine runs them.
    const auto reads = [&] {
        std::vector<SimWireEvent> found;
        for (const SimWireEvent &request : c.wire.requests())
            if (request.function == 0x21)
                found.push_back(request);
        return found;
    };
    ASSERT_TRUE(waitFor([&] { return reads().size() >= 3; }, 10000));
    for (const SimWireEvent &request : reads())
        EXPECT_EQ(hexText(request.payload), "07 0C 20 21 26 28 29 2B 30 32");
}

TEST(Polling, ReadWriteAndInputOnlyCycle)
{
    SimConnection c;
    c.startDirect("NETEC-A");
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    c.session.PollingEnabled = false;
    ASSERT_TRUE(c.waitSettled());
    c.wire.clear();
    {
        RegisterLockGuard guard(c.session.lock());
        c.session.motor().RequestWrite(Reg::Kp, 163840);
        c.session.motor().RequestWrite(Reg::Input, 500);
        c.session.motor().RequestRead(Reg::Kp);
    }
    ASSERT_TRUE(c.waitSettled());
    std::vector<std::string> frames;
    for (const SimWireEvent &request : c.wire.requests())
        frames.push_back((request.function == 0x21 ? "R " : "W ") + hexText(request.payload));
    // Writes and reads go in separate packets; 0x33 waits for a full write
    // packet, while 0x21 may already leave in an input-only packet.
    ASSERT_GE(frames.size(), 2u);
    const bool together =
        std::find(frames.begin(), frames.end(), "W 21 00 00 01 F4 33 00 02 80 00") != frames.end();
    const bool apart =
        std::find(frames.begin(), frames.end(), "W 21 00 00 01 F4") != frames.end()
        && std::find(frames.begin(), frames.end(), "W 33 00 02 80 00") != frames.end();
    EXPECT_TRUE(together || apart);
    // The read of 0x33 waits for its pending write: it brings the new value.
    const auto read = std::find(frames.begin(), frames.end(), "R 33");
    ASSERT_NE(read, frames.end());
    EXPECT_TRUE(std::any_of(frames.begin(), read, [](const std::string &f) {
        return f.find("33 00 02 80 00") != std::string::npos;
    })) << ::testing::PrintToString(frames);
    RegisterLockGuard guard(c.session.lock());
    EXPECT_FLOAT_EQ(c.session.Received.Kp, 2.5f);
}

TEST(Polling, BudgetSplitsTheFullRead)
{
    SimConnection c;
    c.startDirect("NETEC-A");
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    int packets = 0;
    for (const SimWireEvent &request : c.wire.requests()) {
        if (request.function != 0x21)
            continue;
        int answer = 0;
        for (uint8_t address : request.payload)
            answer += 1 + QLMCIPMotor::RegisterSize(address);
        EXPECT_LE(answer, 110);
        ++packets;
    }
    EXPECT_GE(packets, 5);
}

TEST(Polling, TransactionNumbersWrapAfter65535)
{
    SimConnection c;
    c.startDirect("NETDC-A");
    c.session.connection().TransactionCounter = 65533;
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    std::vector<int> transactions;
    for (const SimWireEvent &request : c.wire.requests())
        transactions.push_back(request.transaction);
    ASSERT_GE(transactions.size(), 4u);
    EXPECT_EQ(std::vector<int>(transactions.begin(), transactions.begin() + 4),
              (std::vector<int>{65533, 65534, 65535, 0}));
}

TEST(Faults, DroppedAnswersShowAsLostPackets)
{
    SimConnection c;
    c.startDirect("NETDC-A");
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    c.server->faults().setDrop(SimFaultRate::every(2));
    // A dropped answer costs the sender its 3 s wait; then the next one counts it.
    EXPECT_TRUE(waitFor([&] { return c.lastStatus(3).endsWith(QLatin1String("(PKT)")); }, 8000));
    EXPECT_TRUE(c.lastStatus(3).startsWith(QLatin1String("Com error : ")));
    EXPECT_GE(c.session.statistics().shown.lostPackets, 1);
}

TEST(Faults, CorruptedChecksumsAreCounted)
{
    SimConnection c;
    c.startDirect("NETDC-A");
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    c.server->faults().setCorrupt(SimFaultRate::always());
    EXPECT_TRUE(
        waitFor([&] { return c.lastStatus(3) == QLatin1String("Com error : 1 (CS)"); }, 5000));
    c.server->faults().clear();
    // Polling goes on once the answers are good again.
    const int answers = c.session.statistics().answersDecoded;
    EXPECT_TRUE(waitFor([&] { return c.session.statistics().answersDecoded > answers + 3; }, 8000));
}

TEST(Faults, SplitMergedAndGarbageAnswersKeepTheToolRunning)
{
    SimConnection c;
    c.startDirect("NETEC-A");
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    c.server->faults().setSplit(SimFaultRate::always(), 3, 2);
    int answers = c.session.statistics().answersDecoded;
    EXPECT_TRUE(waitFor([&] { return c.session.statistics().answersDecoded > answers + 5; }));
    EXPECT_EQ(c.session.commErrors(), 0);

    // A held answer leaves only with the next one, which is sent once the
    // held one is given up: a wait that follows the link (not the 3 s of an
    // unmeasured one) keeps every other answer coming.
    ASSERT_TRUE(waitFor([&] {
        return c.session.statistics().shown.answerTimeoutMs.load() < QLMCThreadSendPacket::AnswerTimeoutMs;
    }));
    c.server->faults().clear();
    c.server->faults().setMerge(SimFaultRate::every(2));
    answers = c.session.statistics().answersDecoded;
    EXPECT_TRUE(
        waitFor([&] { return c.session.statistics().answersDecoded > answers + 5; }, 10000));

    c.server->faults().clear();
    c.server->faults().setGarbage(SimFaultRate::every(3));
    c.server->faults().setOversize(SimFaultRate::every(5));
    waitFor([] { return false; }, 300);
    c.server->faults().clear();
    answers = c.session.statistics().answersDecoded;
    EXPECT_TRUE(
        waitFor([&] { return c.session.statistics().answersDecoded > answers + 3; }, 10000));
    EXPECT_TRUE(c.connection.isConnected());
}

TEST(Faults, ClosedByTheDeviceThenReopened)
{
    SimConnection c;
    c.startDirect("NETDC-A");
    c.server->faults().setCloseAfter(5);
    c.connection.setComMode(ComModes::TcpDirect);
    c.connection.open(QString::fromStdString(c.address()));
    EXPECT_TRUE(waitFor([&] { return c.lastStatus(0) == QLatin1String("TCP closed"); }));
    c.server->faults().clear();
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    EXPECT_TRUE(c.waitSettled());
}

TEST(Faults, UdpLostAnswersDoNotFreezeTheLock)
{
    SimConnection c;
    c.startDirect("NETDC-A");
    ASSERT_TRUE(c.openAndIdentify(ComModes::Udp));
    c.server->faults().setDrop(SimFaultRate::always());
    waitFor([] { return false; }, 100);
    // While the sender waits for a datagram, the lock stays free for the windows.
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 20; ++i) {
        RegisterLockGuard guard(c.session.lock());
        QThread::msleep(10);
    }
    EXPECT_LT(timer.elapsed(), 800);
}

} // namespace
