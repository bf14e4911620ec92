// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The system discovery network end to end, inside network namespaces the
// test creates (root only, skipped otherwise): a client with two veth links,
// two devices on the first link's subnet, one on a foreign subnet behind the
// second. Nothing leaves the namespaces.
#include "discovery/QLMCScanQuelmoDevice.h"
#include "platform/SystemDiscoveryNetwork.h"
#include "sim/SimRequestLog.h"
#include "sim/SimServer.h"
#include "support/NamespacePair.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>

using testsupport::TestNamespaces;

namespace {

std::unique_ptr<SimServer> startDevice(const std::string &ns, uint8_t macLast, Ipv4Bytes ip,
                                       bool byBroadcast)
{
    SimServerConfig config;
    config.bindAddress = "0.0.0.0";
    config.allowAnyAddress = true;
    config.udpPort = 7010;
    config.answerByBroadcast = byBroadcast;
    SimIdentity identity{{0x00, 0x50, 0xC2, 0x00, 0x00, macLast}, ip, {255, 255, 255, 0}, "Netns"};
    auto server = std::make_unique<SimServer>(
        config, std::make_shared<SimController>(*parseSimModel("NETEC-A"), identity));
    bool started = false;
    TestNamespaces::runIn(ns, [&] { started = server->start(); });
    return started ? std::move(server) : nullptr;
}

TEST(DiscoveryNamespace, EveryLinkGetsOneDatagramAndAForeignDeviceIsReaddressed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "network namespaces need root";
    TestNamespaces spaces;
    const std::string id = std::to_string(::getpid());
    const std::string client = spaces.add("tvdC");
    const std::string near = spaces.add("tvdN");
    const std::string far = spaces.add("tvdF");
    const std::string farLink = "tvf" + id;
    if (client.empty() || near.empty() || far.empty()
        || !TestNamespaces::link(client, "tva" + id, "10.77.0.1/24", near, "tvn" + id,
                                 "10.77.0.2/24")
        || !TestNamespaces::link(client, "tvb" + id, "10.78.0.1/24", far, farLink,
                                 "192.168.77.5/24")
        || !testsupport::runIp({"-n", near, "addr", "add", "10.77.0.3/24", "dev", "tvn" + id})
        || !testsupport::runIp({"-n", far, "route", "add", "default", "dev", farLink}))
        GTEST_SKIP() << "cannot create network namespaces here";

    // Two devices share the near namespace's port 7010; the far one answers by broadcast.
    auto a = startDevice(near, 0x21, {10, 77, 0, 2}, false);
    auto b = startDevice(near, 0x22, {10, 77, 0, 3}, false);
    auto c = startDevice(far, 0x23, {192, 168, 77, 5}, true);
    ASSERT_TRUE(a && b && c);
    std::mutex mutex;
    std::multiset<std::string> peers;
    auto log = std::make_shared<SimRequestLog>();
    log->setCallback([&](const SimWireEvent &e) {
        if (e.kind == SimWireEvent::Kind::Request && e.function == 0x0021) {
            std::lock_guard lock(mutex);
            peers.insert(e.peer.substr(0, e.peer.find(':')));
        }
    });
    a->setLog(log);
    c->setLog(log);

    std::vector<QString> first, second;
    std::vector<QString> boards;
    PingResult used = PingResult::Unavailable, free = PingResult::Unavailable;
    bool outside = true, inside = false, changed = false;
    ASSERT_TRUE(TestNamespaces::runIn(client, [&] {
        SystemDiscoveryNetwork network;
        QLMCScanQuelmoDevice engine(300, network);
        engine.scanNetworkBoard();
        for (const QLMCNetBoard &board : engine.BoardList)
            boards.push_back(board.IPText);
        engine.scanQuelmoDevice();
        for (const QLMCQuelmoDevice &d : engine.DeviceList)
            first.push_back(d.MACText + '@' + d.IPText);
        const QLMCQuelmoDevice *foreign = engine.findDevice(QStringLiteral("00-50-C2-00-00-23"));
        if (!foreign)
            return;
        outside = engine.inAdapterSubnet(foreign->IP);
        const QLMCQuelmoDevice device = *foreign;
        changed = engine.changeIPAdd(device, *engine.findBoard(QStringLiteral("10.78.0.1")),
                                     QStringLiteral("10.78.0.9"));
        // The device's stack takes the address it was given.
        testsupport::runIp({"-n", far, "addr", "add", "10.78.0.9/24", "dev", farLink});
        engine.scanQuelmoDevice();
        for (const QLMCQuelmoDevice &d : engine.DeviceList)
            second.push_back(d.MACText + '@' + d.IPText);
        if (const QLMCQuelmoDevice *moved = engine.findDevice(QStringLiteral("00-50-C2-00-00-23")))
            inside = engine.inAdapterSubnet(moved->IP);
        used = engine.testPing({10, 77, 0, 2});
        free = engine.testPing({10, 77, 0, 99});
    }));
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    EXPECT_EQ(boards, (std::vector<QString>{"10.77.0.1", "10.78.0.1"}));
    EXPECT_EQ(first,
              (std::vector<QString>{"00-50-C2-00-00-21@10.77.0.2", "00-50-C2-00-00-22@10.77.0.3",
                                    "00-50-C2-00-00-23@192.168.77.5"}));
    EXPECT_FALSE(outside);
    EXPECT_TRUE(changed);
    EXPECT_EQ(c->identity().ip, (Ipv4Bytes{10, 78, 0, 9}));
    EXPECT_EQ(second,
              (std::vector<QString>{"00-50-C2-00-00-21@10.77.0.2", "00-50-C2-00-00-22@10.77.0.3",
                                    "00-50-C2-00-00-23@10.78.0.9"}));
    EXPECT_TRUE(inside);
    EXPECT_EQ(used, PingResult::Reply);
    EXPECT_EQ(free, PingResult::NoReply);
    // Each link got exactly one identify per scan, from its own address.
    std::lock_guard lock(mutex);
    EXPECT_EQ(peers,
              (std::multiset<std::string>{"10.77.0.1", "10.77.0.1", "10.78.0.1", "10.78.0.1"}));
}

} // namespace
