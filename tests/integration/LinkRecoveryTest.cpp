// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The link on a bad line: lost and damaged answers, reconnects, peer resets
// and gateway acknowledges, against the in-process virtual controller.
#include "integration/SimFixture.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <set>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

// Short answer time-outs keep these tests fast; the tool's own is 3000 ms.
constexpr int AnswerTimeout = 250;

QString openText(int mode)
{
    return mode == ComModes::Udp ? QStringLiteral("UDP open") : QStringLiteral("TCP open");
}

struct FirstLostRow
{
    const char *name;
    const char *fault;
    int mode;
};

class FirstAnswerLost : public ::testing::TestWithParam<FirstLostRow>
{};

TEST_P(FirstAnswerLost, IdentifiesAfterOneAnswerTimeout)
{
    const FirstLostRow &row = GetParam();
    SimConnection c;
    if (row.mode == ComModes::TcpGateway)
        c.startGateway("NETDC-A", {16});
    else
        c.startDirect("NETDC-A");
    ASSERT_TRUE(c.server->faults().apply(row.fault));
    c.connection.setAnswerTimeoutMs(AnswerTimeout);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(c.openAndIdentify(row.mode, 16, 3000));
    // One time-out, then Type and Version are asked again and answered.
    EXPECT_LT(clock.elapsed(), AnswerTimeout + 200);
    EXPECT_EQ(c.connection.profile().modelName, QStringLiteral("NETDC-A"));
    const CommStatistics &s = c.session.statistics();
    EXPECT_EQ(s.identifyRetries, 1);
    EXPECT_EQ(s.answerTimeouts, 1);
    EXPECT_TRUE(c.sawStatus(0, row.mode == ComModes::Udp ? QStringLiteral("UDP no answer")
                                                         : QStringLiteral("TCP no answer")));
    EXPECT_EQ(c.lastStatus(0), openText(row.mode));
    if (std::string_view(row.fault).starts_with("malformed")) {
        EXPECT_EQ(s.datagramsDropped, 1); // the truncated datagram did not swallow the next
    }
    ASSERT_TRUE(c.waitSettled());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FirstAnswerLost,
    ::testing::Values(FirstLostRow{"DropTcp", "drop=first1", ComModes::TcpDirect},
                      FirstLostRow{"DropUdp", "drop=first1", ComModes::Udp},
                      FirstLostRow{"DropGateway", "drop=first1", ComModes::TcpGateway},
                      FirstLostRow{"CorruptTcp", "corrupt=first1", ComModes::TcpDirect},
                      FirstLostRow{"TruncatedDatagram", "malformed=first1", ComModes::Udp}),
    [](const auto &info) { return std::string(info.param.name); });

// Addresses carried by the direct read answers the controller sent undamaged.
std::set<int> answeredAddresses(const std::vector<SimWireEvent> &answers)
{
    std::set<int> addresses;
    for (const SimWireEvent &answer : answers) {
        if (answer.note.find("corrupt") != std::string::npos)
            continue;
        for (size_t i = 0; i < answer.payload.size();) {
            const int address = answer.payload[i];
            addresses.insert(address);
            i += 1 + size_t(QLMCIPMotor::RegisterSize(address));
        }
    }
    return addresses;
}

TEST(BadLink, EveryFifthAnswerCorruptedStillReadsEveryRegister)
{
    SimConnection c;
    c.startDirect("NETEC-A");
    c.server->faults().setCorrupt(SimFaultRate::every(5));
    c.connection.setAnswerTimeoutMs(AnswerTimeout);
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect, 16, 3000));
    ASSERT_TRUE(c.waitSettled(8000));
    // Every register the windows read on show arrived in an undamaged answer.
    const std::set<int> answered = answeredAddresses(c.wire.answers());
    RegisterLockGuard guard(c.session.lock());
    for (const QLMCRegister &reg : c.session.motor().registers())
        if (reg.Readable && reg.Size > 0) {
            EXPECT_EQ(answered.count(reg.Address), 1u) << "0x" << std::hex << reg.Address;
        }
    EXPECT_GE(c.session.statistics().registersReasked, 1);
    EXPECT_GE(c.session.statistics().checksumErrors, 1);
    EXPECT_TRUE(c.sawStatus(3, QStringLiteral("Com error : 1 (CS)")));
}

TEST(BadLink, LostWriteAnswerIsReadBackAndTheWriteGoesOutOnce)
{
    SimConnection c;
    c.startDirect("NETEC-A");
    c.connection.setAnswerTimeoutMs(AnswerTimeout);
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    c.connection.setPollingEnabled(false);
    ASSERT_TRUE(c.waitSettled());
    c.wire.clear();
    c.server->faults().setDrop(SimFaultRate::first(1));
    {
        RegisterLockGuard guard(c.session.lock());
        c.session.motor().RequestWrite(Reg::Kp, 163840);
    }
    ASSERT_TRUE(waitFor([&] { return c.session.statistics().registersReadBack == 1; }, 2000));
    ASSERT_TRUE(c.waitSettled());
    std::vector<std::string> frames;
    for (const SimWireEvent &request : c.wire.requests())
        frames.push_back((request.function == 0x21 ? "R " : "W ") + hexText(request.payload));
    EXPECT_EQ(frames, (std::vector<std::string>{"W 33 00 02 80 00", "R 33"}));
    RegisterLockGuard guard(c.session.lock());
    EXPECT_FLOAT_EQ(c.session.Received.Kp, 2.5f);
}

TEST(Reconnect, LateDatagramOfTheClosedDeviceIsNeverDecoded)
{
    // The old device (a type the tool refuses) answers 700 ms late over UDP;
    // the new one is a healthy controller on TCP, opened within that time.
    SimConnection c;
    c.startDirect("7.1", 2);
    c.server->faults().setDelayMs(700);
    SimServerConfig config;
    config.bindAddress = "127.0.0.3";
    WireRecorder healthyWire; // outlives the server, whose thread records into it
    SimServer healthy(config,
                      std::make_shared<SimController>(*parseSimModel("NETDC-A"), SimIdentity{}));
    ASSERT_TRUE(healthy.start());
    healthy.setLog(healthyWire.log);

    c.connection.setComMode(ComModes::Udp);
    c.connection.open(QString::fromStdString(c.address()));
    waitFor([] { return false; }, 100); // the request is out, its answer on its way
    c.connection.close();
    c.connection.setPorts(healthy.tcpPort(), healthy.udpPort());
    const auto opened = std::chrono::system_clock::now();
    c.connection.setComMode(ComModes::TcpDirect);
    c.connection.open(QStringLiteral("127.0.0.3"));
    ASSERT_TRUE(waitFor([&] { return c.identified; }, 2000));
    waitFor([] { return false; }, 900); // the late answer has come and gone
    EXPECT_FALSE(c.refused);
    EXPECT_EQ(c.identifications, 1);
    EXPECT_EQ(c.connection.profile().modelName, QStringLiteral("NETDC-A"));
    EXPECT_TRUE(c.connection.isConnected());
    const auto requests = healthyWire.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(hexText(requests.front().payload), "00 01");
    // The sender's wait for the old answer ended with the Close.
    EXPECT_LT(requests.front().time - opened, std::chrono::milliseconds(150));
    c.connection.closeFromMenu();
    waitFor([&] { return !c.connection.isTcpActive(); }, 1000);
    healthy.stop();
}

TEST(Reconnect, OneIdentificationPerOpenWhateverReadsTypeAndVersion)
{
    SimConnection c;
    c.startDirect("2.3"); // a newer sub-type: each identification would warn
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    for (int save = 0; save < 2; ++save) {
        c.session.AskRegistersFromModule(); // a parameter-file save reads 0x00..0x63
        ASSERT_TRUE(c.waitSettled());
    }
    waitFor([] { return false; }, 50);
    EXPECT_EQ(c.identifications, 1);
    EXPECT_EQ(c.warnings, 1);
    // The next open identifies again.
    c.connection.closeFromMenu();
    ASSERT_TRUE(waitFor([&] { return !c.connection.isTcpActive(); }));
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    EXPECT_EQ(c.identifications, 2);
}

TEST(PeerFaults, ResetByThePeerShowsTcpError)
{
    // A peer that accepts, reads the first request and resets the connection.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.4", &address.sin_addr);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::thread peer([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        char request[64];
        (void)::recv(fd, request, sizeof request, 0);
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd); // RST
    });
    SimConnection c;
    c.connection.setPorts(ntohs(address.sin_port), 0);
    c.connection.setComMode(ComModes::TcpDirect);
    c.connection.open(QStringLiteral("127.0.0.4"));
    EXPECT_TRUE(waitFor([&] { return c.lastStatus(0) == QLatin1String("TCP Error"); }, 3000));
    EXPECT_FALSE(c.sawStatus(0, QStringLiteral("TCP closed")));
    EXPECT_EQ(c.connection.comMode(), ComModes::Closed);
    peer.join();
    ::close(listener);
}

TEST(PeerFaults, GatewayAnsweringStatusBytesOnlyCountsAcknowledgeErrors)
{
    SimConnection c;
    c.startGateway("BUSDC-A", {16});
    c.server->faults().setNackStatusOnly(true);
    c.connection.setAnswerTimeoutMs(AnswerTimeout);
    c.connection.setComMode(ComModes::TcpGateway);
    c.connection.setI2CAddress(20); // no module there
    c.connection.open(QString::fromStdString(c.address()));
    EXPECT_TRUE(waitFor([&] { return c.lastStatus(3) == QLatin1String("Com error : 1 (ACK)"); }));
    EXPECT_FALSE(c.identified);
    const auto answers = c.wire.answers();
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(hexText(answers.front().payload), "20 20"); // two status bytes, no values
}

} // namespace
