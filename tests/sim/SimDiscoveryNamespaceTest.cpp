// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Discovery by broadcast, end to end, between two network namespaces the test
// creates and joins with a veth pair. Needs root; skipped otherwise. Nothing
// leaves the namespaces.
#include "SimWireClient.h"
#include "support/NamespacePair.h"

#include "sim/SimController.h"
#include "sim/SimServer.h"

#include <gtest/gtest.h>

using simtest::Bytes;
using simtest::frame;
using testsupport::NamespacePair;

namespace {

TEST(SimDiscoveryNamespace, BroadcastAndUnicastIdentifyAndIpChangeReachTheDevice)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "network namespaces need root";
    NamespacePair net;
    if (!net.ok())
        GTEST_SKIP() << "cannot create network namespaces here";

    auto controller = std::make_shared<SimController>(
        *parseSimModel("NETEC-B"),
        SimIdentity{
            {0x00, 0x50, 0xC2, 0x00, 0x00, 0x33}, {10, 77, 0, 2}, {255, 255, 255, 0}, "Netns"});
    SimServerConfig config;
    config.bindAddress = "0.0.0.0";
    config.allowAnyAddress = true;
    auto server = std::make_unique<SimServer>(config, controller);
    std::string error;
    bool started = false;
    ASSERT_TRUE(NamespacePair::runIn(net.device, [&] { started = server->start(&error); }));
    ASSERT_TRUE(started) << error;
    const uint16_t port = server->udpPort();

    const Bytes identify = simtest::hexBytes("00 21 00 00 00 04 00 11 01 15 FE B4");
    std::vector<std::pair<std::string, Bytes>> answers;
    ASSERT_TRUE(NamespacePair::runIn(net.client, [&] {
        simtest::UdpClient udp("10.77.0.1");
        const int on = 1;
        ::setsockopt(udp.fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        // Out of this interface only: the namespace has no default route.
        ::setsockopt(udp.fd(), SOL_SOCKET, SO_BINDTODEVICE, net.clientLink.c_str(),
                     socklen_t(net.clientLink.size()));
        for (const char *target : {"255.255.255.255", "10.77.0.2"}) {
            udp.sendTo(target, port, identify);
            std::string from;
            Bytes answer = udp.receive(2000, &from);
            answers.emplace_back(from, std::move(answer));
        }
        // IP change by broadcast, addressed by MAC; not answered.
        udp.sendTo(
            "255.255.255.255", port,
            frame(0x002A, 1, {0x00, 0x50, 0xC2, 0x00, 0x00, 0x33, 10, 77, 0, 9, 255, 255, 255, 0}));
        answers.emplace_back("", udp.receive(200));
    }));

    ASSERT_EQ(answers.size(), 3u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(answers[i].first, "10.77.0.2") << i;
        const Bytes &answer = answers[i].second;
        ASSERT_EQ(answer.size(), 42u) << i;
        EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 6),
                  (Bytes{0x00, 0x23, 0x00, 0x00, 0x00, 0x22}));
        EXPECT_EQ(Bytes(answer.begin() + 6, answer.begin() + 11),
                  (Bytes{0x00, 0x00, 0x06, 0x00, 0x03}));
        EXPECT_EQ(Bytes(answer.begin() + 11, answer.begin() + 18),
                  (Bytes{0x11, 0x00, 0x50, 0xC2, 0x00, 0x00, 0x33}));
        EXPECT_TRUE(simtest::checksumValid(answer));
    }
    EXPECT_TRUE(answers[2].second.empty());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (controller->identity().ip != std::array<uint8_t, 4>{10, 77, 0, 9}
           && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(controller->identity().ip, (std::array<uint8_t, 4>{10, 77, 0, 9}));
    EXPECT_EQ(server->address(), "0.0.0.0");
    server->stop();
}

} // namespace
