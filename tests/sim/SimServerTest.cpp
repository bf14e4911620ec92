// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Wire tests of the virtual controller: every request kind and its exact
// answer bytes, checked with plain sockets on loopback.
#include "SimWireClient.h"

#include "sim/SimController.h"
#include "sim/SimRequestLog.h"
#include "sim/SimServer.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using simtest::Bytes;
using simtest::frame;

namespace {

constexpr int NoAnswerMs = 150;

const Bytes IdentifyRequest{0x00, 0x21, 0x00, 0x00, 0x00, 0x04, 0x00, 0x11, 0x01, 0x15, 0xFE, 0xB4};

/// Collects the events a server logs.
class EventRecorder
{
public:
    std::shared_ptr<SimRequestLog> log()
    {
        auto log = std::make_shared<SimRequestLog>();
        log->setCallback([this](const SimWireEvent &event) {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
        });
        return log;
    }
    std::vector<SimWireEvent> events(SimWireEvent::Kind kind)
    {
        std::lock_guard lock(m_mutex);
        std::vector<SimWireEvent> out;
        for (const auto &event : m_events) {
            if (event.kind == kind)
                out.push_back(event);
        }
        return out;
    }

private:
    std::mutex m_mutex;
    std::vector<SimWireEvent> m_events;
};

template<typename Predicate>
bool eventually(Predicate predicate, int timeoutMs = 2000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

Bytes nameField(const std::string &name)
{
    Bytes bytes(16, 0);
    std::copy(name.begin(), name.end(), bytes.begin());
    return bytes;
}

Bytes be32(uint32_t v)
{
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

SimModel model(const char *name)
{
    return *parseSimModel(name);
}

SimIdentity identity(uint8_t macLast, const std::string &name,
                     std::array<uint8_t, 4> ip = {127, 0, 0, 1})
{
    return SimIdentity{{0x00, 0x50, 0xC2, 0x00, 0x00, macLast}, ip, {255, 0, 0, 0}, name};
}

const Bytes KpValue{0x00, 0x02, 0x80, 0x00}; // 2.5 in 16.16
const Bytes KiValue{0x00, 0x00, 0x40, 0x00}; // 0.25 in 16.16

/// A direct controller on 127.0.0.1 with ephemeral ports.
class DirectServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        controller = std::make_shared<SimController>(model("NETEC-A"), identity(0x01, "Axis-X"));
        controller->useManualClock(true);
        server = std::make_unique<SimServer>(SimServerConfig{}, controller);
        server->setLog(recorder.log());
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        ASSERT_NE(server->tcpPort(), 0);
        ASSERT_NE(server->udpPort(), 0);
        ASSERT_TRUE(controller->writeRegister(0x33, KpValue));
        ASSERT_TRUE(controller->writeRegister(0x34, KiValue));
    }

    Bytes value(int address)
    {
        Bytes out;
        controller->readRegister(address, out);
        return out;
    }

    EventRecorder recorder; // outlives the server, which logs until it stops
    std::shared_ptr<SimController> controller;
    std::unique_ptr<SimServer> server;
};

TEST_F(DirectServerTest, TcpReadAnswersInRequestOrderAndLeavesOutUnansweredRegisters)
{
    // 0x09 is an empty slot of the register table: no device answers it.
    ASSERT_FALSE(controller->answersRead(0x09));
    simtest::TcpClient client("127.0.0.1", server->tcpPort());
    const Bytes answer = client.exchange(frame(0x0021, 7, {0x34, 0x09, 0x33}));
    EXPECT_EQ(answer, frame(0x0023, 7, concat({{0x34}, KiValue, {0x33}, KpValue})));

    // An empty read is answered with an empty payload.
    EXPECT_EQ(client.exchange(frame(0x0021, 8, {})), frame(0x0023, 8, {}));
}

TEST_F(DirectServerTest, TcpWriteAppliesEveryEntryAndAnswersWithAnEmptyPayload)
{
    simtest::TcpClient client("127.0.0.1", server->tcpPort());
    const Bytes answer =
        client.exchange(frame(0x0022, 5, {0x33, 0x00, 0x03, 0x00, 0x00, 0x14, 0x1E}));
    EXPECT_EQ(answer, simtest::hexBytes("00 23 00 05 00 00 FF D7"));
    EXPECT_EQ(value(0x33), (Bytes{0x00, 0x03, 0x00, 0x00}));
    EXPECT_EQ(value(0x14), Bytes{0x1E});

    const auto requests = recorder.events(SimWireEvent::Kind::Request);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].function, 0x0022);
    EXPECT_EQ(requests[0].transaction, 5);
    EXPECT_EQ(requests[0].payload, (Bytes{0x33, 0x00, 0x03, 0x00, 0x00, 0x14, 0x1E}));
    EXPECT_EQ(requests[0].transport, SimTransport::Tcp);
    const auto answers = recorder.events(SimWireEvent::Kind::Answer);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].function, 0x0023);
    EXPECT_TRUE(answers[0].payload.empty());
}

TEST_F(DirectServerTest, UdpReadAndWriteAnswerToTheSender)
{
    simtest::UdpClient client;
    client.sendTo("127.0.0.1", server->udpPort(), frame(0x0022, 40, concat({{0x34}, KpValue})));
    EXPECT_EQ(client.receive(2000), frame(0x0023, 40, {}));
    EXPECT_EQ(value(0x34), KpValue);

    client.sendTo("127.0.0.1", server->udpPort(), frame(0x0021, 41, {0x09, 0x34}));
    EXPECT_EQ(client.receive(2000), frame(0x0023, 41, concat({{0x34}, KpValue})));

    // Two frames in one datagram are both served, in order.
    client.sendTo("127.0.0.1", server->udpPort(),
                  concat({frame(0x0021, 42, {0x33}), frame(0x0021, 43, {0x34})}));
    EXPECT_EQ(client.receive(2000), frame(0x0023, 42, concat({{0x33}, KpValue})));
    EXPECT_EQ(client.receive(2000), frame(0x0023, 43, concat({{0x34}, KpValue})));
}

TEST_F(DirectServerTest, MalformedRequestsAreNotAnsweredAndTheServerKeepsServing)
{
    simtest::TcpClient client("127.0.0.1", server->tcpPort());
    Bytes badChecksum = frame(0x0021, 1, {0x33});
    badChecksum.back() ^= 0x01;
    const std::vector<Bytes> malformed{
        badChecksum,
        frame(0x0022, 2, {0x33, 0x00, 0x09, 0x00, 0x00, 0x34, 0x00}), // second entry truncated
        frame(0x0022, 3, {0x09, 0x01}),                               // no such register
        frame(0x0007, 4, {0x10, 0x01, 0x33, 0x04}), // gateway item to a controller
        {0x00, 0x21, 0x00, 0x05, 0x0F, 0xA1},       // announces 4001 bytes
        frame(0x0021, 6, Bytes(4000, 0x15)),        // 4000 names would not fit a 16-bit length
    };
    for (const Bytes &request : malformed) {
        ASSERT_TRUE(client.send(request));
        EXPECT_TRUE(client.receiveChunk(NoAnswerMs).empty()) << simtest::hexText(request);
    }
    // Nothing of the truncated write was applied.
    EXPECT_EQ(value(0x33), KpValue);
    EXPECT_EQ(client.exchange(frame(0x0021, 9, {0x33})),
              frame(0x0023, 9, concat({{0x33}, KpValue})));
    EXPECT_EQ(server->stats().rejected, malformed.size());
    EXPECT_EQ(recorder.events(SimWireEvent::Kind::Rejected).size(), malformed.size());

    simtest::UdpClient udp;
    udp.sendTo("127.0.0.1", server->udpPort(), badChecksum);
    EXPECT_TRUE(udp.receive(NoAnswerMs).empty());
    udp.sendTo("127.0.0.1", server->udpPort(), Bytes{0x00, 0x21, 0x00, 0x09});
    EXPECT_TRUE(udp.receive(NoAnswerMs).empty());
    udp.sendTo("127.0.0.1", server->udpPort(), frame(0x0021, 7, {0x34}));
    EXPECT_EQ(udp.receive(2000), frame(0x0023, 7, concat({{0x34}, KiValue})));
}

TEST_F(DirectServerTest, RequestsSplitAcrossSegmentsAndSeveralClientsAreServed)
{
    simtest::TcpClient first("127.0.0.1", server->tcpPort());
    simtest::TcpClient second("127.0.0.1", server->tcpPort());
    const Bytes request = frame(0x0021, 11, {0x33, 0x34});
    ASSERT_TRUE(first.send(Bytes(request.begin(), request.begin() + 3)));
    EXPECT_EQ(second.exchange(frame(0x0021, 12, {0x34})),
              frame(0x0023, 12, concat({{0x34}, KiValue})));
    ASSERT_TRUE(first.send(Bytes(request.begin() + 3, request.end())));
    EXPECT_EQ(first.receiveFrame(), frame(0x0023, 11, concat({{0x33}, KpValue, {0x34}, KiValue})));
    EXPECT_TRUE(eventually([&] { return server->stats().openConnections == 2; }));

    second.close();
    EXPECT_TRUE(eventually([&] { return server->stats().openConnections == 1; }));
    EXPECT_EQ(server->stats().connections, 2u);
}

TEST_F(DirectServerTest, IdentifyAnswerCarriesTypeMacVersionAndNameInThatOrder)
{
    simtest::UdpClient client;
    client.sendTo("127.0.0.1", server->udpPort(), IdentifyRequest);
    const Bytes answer = client.receive(2000);
    const SimModel m = controller->model();
    const Bytes expected = concat({{0x00},
                                   be32(m.typeRegister()),
                                   {0x11, 0x00, 0x50, 0xC2, 0x00, 0x00, 0x01},
                                   {0x01},
                                   be32(m.version),
                                   {0x15},
                                   nameField("Axis-X")});
    ASSERT_EQ(expected.size(), 34u);
    EXPECT_EQ(answer, frame(0x0023, 0, expected));
    EXPECT_EQ(Bytes(answer.begin() + 7, answer.begin() + 11), (Bytes{0x00, 0x06, 0x00, 0x04}));
}

TEST_F(DirectServerTest, IpChangeIsTakenOnlyByTheDeviceWithThatMacAndIsNotAnswered)
{
    simtest::UdpClient client;
    const Bytes otherMac =
        frame(0x002A, 1, {0x00, 0x50, 0xC2, 0x00, 0x00, 0x02, 127, 0, 0, 9, 255, 255, 0, 0});
    client.sendTo("127.0.0.1", server->udpPort(), otherMac);
    EXPECT_TRUE(client.receive(NoAnswerMs).empty());
    EXPECT_EQ(controller->identity().ip, (std::array<uint8_t, 4>{127, 0, 0, 1}));

    // A device outside loopback cannot be served here: the address is taken,
    // the server stays where it is and says so.
    const Bytes outside =
        frame(0x002A, 1, {0x00, 0x50, 0xC2, 0x00, 0x00, 0x01, 10, 1, 2, 3, 255, 255, 255, 0});
    client.sendTo("127.0.0.1", server->udpPort(), outside);
    EXPECT_TRUE(client.receive(NoAnswerMs).empty());
    EXPECT_TRUE(eventually([&] {
        return controller->identity().ip == std::array<uint8_t, 4>{10, 1, 2, 3};
    }));
    EXPECT_EQ(controller->identity().mask, (std::array<uint8_t, 4>{255, 255, 255, 0}));
    EXPECT_EQ(server->address(), "127.0.0.1");
    EXPECT_TRUE(eventually([&] {
        for (const auto &event : recorder.events(SimWireEvent::Kind::Notice)) {
            if (event.note.find("cannot re-bind to 10.1.2.3") != std::string::npos)
                return true;
        }
        return false;
    }));
    client.sendTo("127.0.0.1", server->udpPort(), IdentifyRequest);
    EXPECT_FALSE(client.receive(2000).empty());
}

TEST(SimServerRebind, IpChangeMovesTheServerToTheNewLoopbackAddress)
{
    auto controller =
        std::make_shared<SimController>(model("NETDC-A"), identity(0x05, "Mover", {127, 0, 0, 5}));
    SimServerConfig config;
    config.bindAddress = "127.0.0.5";
    SimServer server(config, controller);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    const uint16_t tcp = server.tcpPort();
    const uint16_t udp = server.udpPort();

    simtest::TcpClient before("127.0.0.5", tcp);
    ASSERT_TRUE(before.isOpen());
    simtest::UdpClient client;
    client.sendTo(
        "127.0.0.5", udp,
        frame(0x002A, 1, {0x00, 0x50, 0xC2, 0x00, 0x00, 0x05, 127, 0, 0, 6, 255, 0, 0, 0}));
    ASSERT_TRUE(eventually([&] { return server.address() == "127.0.0.6"; }));
    EXPECT_EQ(controller->identity().ip, (std::array<uint8_t, 4>{127, 0, 0, 6}));

    // Same ports, new address; the old address no longer takes connections,
    // while a connection made before the change goes on.
    simtest::TcpClient after("127.0.0.6", tcp);
    ASSERT_TRUE(after.isOpen());
    EXPECT_EQ(simtest::payloadOf(after.exchange(frame(0x0021, 1, {0x09}))), Bytes{});
    EXPECT_FALSE(simtest::TcpClient("127.0.0.5", tcp).isOpen());
    EXPECT_FALSE(before.exchange(frame(0x0021, 2, {0x09})).empty());
    client.sendTo("127.0.0.6", udp, IdentifyRequest);
    EXPECT_FALSE(client.receive(2000).empty());
}

TEST(SimServerConfig, RefusesAddressesOutsideLoopbackUnlessAllowed)
{
    auto controller = std::make_shared<SimController>(model("NETDC-A"), identity(1, "X"));
    for (const char *address : {"0.0.0.0", "10.0.0.1", "192.168.1.2", "not-an-address"}) {
        SimServerConfig config;
        config.bindAddress = address;
        SimServer server(config, controller);
        std::string error;
        EXPECT_FALSE(server.start(&error)) << address;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(server.isRunning());
    }
    EXPECT_TRUE(SimServer::isLoopbackAddress("127.4.5.6"));
    EXPECT_FALSE(SimServer::isLoopbackAddress("128.0.0.1"));
}

TEST(SimServerLifecycle, StopClosesConnectionsAndTheServerCanStartAgain)
{
    auto controller = std::make_shared<SimController>(model("NETDC-A"), identity(1, "X"));
    SimServer server(SimServerConfig{}, controller);
    ASSERT_TRUE(server.start());
    EXPECT_FALSE(server.start()); // already running
    simtest::TcpClient client("127.0.0.1", server.tcpPort());
    ASSERT_FALSE(client.exchange(frame(0x0021, 1, {})).empty());
    server.stop();
    EXPECT_TRUE(client.closedByPeer(2000));
    EXPECT_FALSE(server.isRunning());
    server.stop(); // twice is harmless

    ASSERT_TRUE(server.start());
    simtest::TcpClient again("127.0.0.1", server.tcpPort());
    EXPECT_EQ(again.exchange(frame(0x0021, 2, {})), frame(0x0023, 2, {}));
}

/// A gateway with modules at I2C addresses 16 and 17.
class GatewayServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        module16 = std::make_shared<SimController>(model("BUSDC-A"), identity(0x11, "Mod-16"));
        module17 = std::make_shared<SimController>(model("BUSDC-A"), identity(0x12, "Mod-17"));
        gateway.identity = identity(0x10, "Gate");
        server = std::make_unique<SimServer>(
            SimServerConfig{}, gateway,
            std::map<int, std::shared_ptr<SimController>>{{16, module16}, {17, module17}});
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        ASSERT_TRUE(module16->writeRegister(0x33, KpValue));
        ASSERT_TRUE(module17->writeRegister(0x33, KiValue));
    }

    SimGatewayIdentity gateway;
    std::shared_ptr<SimController> module16, module17;
    std::unique_ptr<SimServer> server;
};

TEST_F(GatewayServerTest, ReadItemsAnswerValueAndStatusPerItemWithoutAddresses)
{
    simtest::TcpClient client("127.0.0.1", server->tcpPort());
    const Bytes request = frame(0x0007, 9,
                                {0x10, 0x01, 0x33, 0x04,   // module 16: Kp
                                 0x12, 0x01, 0x33, 0x04,   // no module 18
                                 0x11, 0x01, 0x33, 0x04,   // module 17: its own Kp
                                 0x11, 0x01, 0x09, 0x04}); // a register no module answers
    EXPECT_EQ(client.exchange(request), frame(0x0023, 9,
                                              concat({KpValue,
                                                      {0x87},
                                                      {0xFF, 0xFF, 0xFF, 0xFF, 0x20},
                                                      KiValue,
                                                      {0x87},
                                                      {0xFF, 0xFF, 0xFF, 0xFF, 0x30}})));
}

TEST_F(GatewayServerTest, WriteItemsAnswerOneStatusBytePerItem)
{
    simtest::TcpClient client("127.0.0.1", server->tcpPort());
    const Bytes request =
        frame(0x0007, 10, {0x10, 0x05, 0x33, 0x00, 0x03, 0x00, 0x00, 0x00,   // Kp = 3.0
                           0x12, 0x05, 0x34, 0x00, 0x00, 0x00, 0x01, 0x00,   // no module 18
                           0x11, 0x05, 0x34, 0x00, 0x00, 0x00, 0x01, 0x00}); // module 17: Ki
    EXPECT_EQ(client.exchange(request), frame(0x0023, 10, {0x87, 0x20, 0x87}));
    Bytes kp;
    module16->readRegister(0x33, kp);
    EXPECT_EQ(kp, (Bytes{0x00, 0x03, 0x00, 0x00}));
    Bytes ki;
    module17->readRegister(0x34, ki);
    EXPECT_EQ(ki, (Bytes{0x00, 0x00, 0x00, 0x01}));
    Bytes untouched;
    module17->readRegister(0x33, untouched);
    EXPECT_EQ(untouched, KiValue);

    // A command register is written with its address alone and nothing to read.
    ASSERT_TRUE(module16->acceptsWrite(0x03));
    EXPECT_EQ(client.exchange(frame(0x0007, 12, {0x10, 0x01, 0x03, 0x00})),
              frame(0x0023, 12, {0x87}));

    // A truncated item makes the whole request malformed: nothing applied, no answer.
    ASSERT_TRUE(client.send(frame(0x0007, 11, {0x10, 0x05, 0x33, 0x00, 0x09, 0x00})));
    EXPECT_TRUE(client.receiveChunk(NoAnswerMs).empty());
    kp.clear();
    module16->readRegister(0x33, kp);
    EXPECT_EQ(kp, (Bytes{0x00, 0x03, 0x00, 0x00}));
}

TEST_F(GatewayServerTest, BusScanListsTheModulesAndDirectRequestsAreNotServed)
{
    simtest::TcpClient client("127.0.0.1", server->tcpPort());
    EXPECT_EQ(client.exchange(simtest::hexBytes("00 05 00 00 00 00 FF FA")),
              frame(0x0006, 0, {0x10, 0x11}));
    ASSERT_TRUE(client.send(frame(0x0021, 1, {0x33})));
    EXPECT_TRUE(client.receiveChunk(NoAnswerMs).empty());
    EXPECT_EQ(server->stats().rejected, 1u);
}

TEST_F(GatewayServerTest, DiscoveryReportsTheGatewayAndIpChangeFollowsItsMac)
{
    simtest::UdpClient client;
    client.sendTo("127.0.0.1", server->udpPort(), IdentifyRequest);
    EXPECT_EQ(client.receive(2000), frame(0x0023, 0,
                                          concat({{0x00},
                                                  be32(gateway.typeRegister),
                                                  {0x11, 0x00, 0x50, 0xC2, 0x00, 0x00, 0x10},
                                                  {0x01},
                                                  be32(gateway.version),
                                                  {0x15},
                                                  nameField("Gate")})));
    // A module's MAC is not the gateway's.
    client.sendTo(
        "127.0.0.1", server->udpPort(),
        frame(0x002A, 1, {0x00, 0x50, 0xC2, 0x00, 0x00, 0x11, 127, 0, 0, 1, 255, 255, 255, 0}));
    client.sendTo(
        "127.0.0.1", server->udpPort(),
        frame(0x002A, 1, {0x00, 0x50, 0xC2, 0x00, 0x00, 0x10, 127, 0, 0, 1, 255, 255, 0, 0}));
    EXPECT_TRUE(client.receive(NoAnswerMs).empty());
    EXPECT_TRUE(eventually([&] {
        return server->identity().mask == std::array<uint8_t, 4>{255, 255, 0, 0};
    }));
    EXPECT_EQ(module16->identity().mask, (std::array<uint8_t, 4>{255, 0, 0, 0}));
}

} // namespace
