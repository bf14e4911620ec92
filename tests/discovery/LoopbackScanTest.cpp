// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The discovery engine against virtual controllers on loopback: the
// "broadcast" is one datagram to each 127.0.0.N of a range.
#include "discovery/DiscoveryFrames.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "support/DiscoverySims.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

// Long enough for the virtual controllers to answer on a loaded machine (a
// sanitizer build running beside other tests): the scan waits it out anyway.
constexpr int ScanWaitMs = 600;

NetworkAdapter adapter(const char *name, Ipv4Bytes address)
{
    NetworkAdapter a = LoopbackDiscoveryNetwork::virtualAdapter();
    a.name = a.friendlyName = name;
    a.address = address;
    return a;
}

class LoopbackScan : public ::testing::Test
{
protected:
    testsupport::DiscoverySims sims;

    void SetUp() override
    {
        for (int i = 1; i <= 3; ++i)
            sims.add(60 + i);
    }
    LoopbackDiscoveryNetwork network(std::vector<NetworkAdapter> adapters = {
                                         adapter("lo-a", {127, 0, 0, 250})})
    {
        return LoopbackDiscoveryNetwork(std::move(adapters), {127, 0, 0, 60}, {127, 0, 0, 70});
    }
    QStringList macs(const QLMCScanQuelmoDevice &engine)
    {
        QStringList list;
        for (const QLMCQuelmoDevice &d : engine.DeviceList)
            list << d.MACText + '@' + d.IPText;
        list.sort();
        return list;
    }
};

TEST_F(LoopbackScan, TwoAdaptersThreeDevicesGiveThreeRecords)
{
    auto net = network({adapter("lo-a", {127, 0, 0, 250}), adapter("lo-b", {127, 0, 0, 251})});
    QLMCScanQuelmoDevice engine(ScanWaitMs, net, sims.port);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine.scanQuelmoDevice());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(macs(engine),
              (QStringList{"00-50-C2-00-00-3D@127.0.0.61", "00-50-C2-00-00-3E@127.0.0.62",
                           "00-50-C2-00-00-3F@127.0.0.63"}));
    EXPECT_GE(took, std::chrono::milliseconds(395)); // one wait per interface, one after the other
    const QLMCQuelmoDevice *d = engine.findDevice(QStringLiteral("00-50-C2-00-00-3E"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->TypeText, QStringLiteral("6.4"));
    EXPECT_EQ(d->FWVersionText, QStringLiteral("7.18"));
    EXPECT_EQ(d->HWVersionText, QStringLiteral("-.-"));
    EXPECT_EQ(d->NameText, QStringLiteral("Virtual-2"));
}

TEST_F(LoopbackScan, BadLinksLoseOnlyTheirOwnDevice)
{
    auto net = network();
    QLMCScanQuelmoDevice engine(ScanWaitMs, net, sims.port);
    sims.servers[0]->faults().setDrop(SimFaultRate::always());
    sims.servers[1]->faults().setGarbage(SimFaultRate::always());
    sims.servers[2]->faults().setCorrupt(SimFaultRate::always());
    EXPECT_TRUE(engine.scanQuelmoDevice());
    EXPECT_TRUE(engine.DeviceList.empty());

    // Late: the answer comes after the wait and is not taken for the next scan.
    sims.servers[0]->faults().clear();
    sims.servers[1]->faults().setDelayMs(300);
    sims.servers[2]->faults().setSplit(SimFaultRate::always(), 3, 5);
    EXPECT_TRUE(engine.scanQuelmoDevice());
    EXPECT_EQ(macs(engine), QStringList{"00-50-C2-00-00-3D@127.0.0.61"});
    QThread::msleep(300);
    for (auto &s : sims.servers)
        s->faults().clear();
    EXPECT_TRUE(engine.scanQuelmoDevice());
    EXPECT_EQ(engine.DeviceList.size(), 3u);
}

TEST_F(LoopbackScan, AFailingInterfaceDoesNotHideTheOthers)
{
    // An adapter off loopback: the loopback network refuses to open it.
    auto net = network({adapter("bad", {10, 99, 0, 1}), adapter("lo-a", {127, 0, 0, 250})});
    QLMCScanQuelmoDevice engine(ScanWaitMs, net, sims.port);
    EXPECT_FALSE(engine.scanQuelmoDevice());
    EXPECT_EQ(engine.DeviceList.size(), 3u);
    ASSERT_EQ(engine.failures().size(), 1);
    EXPECT_TRUE(engine.failures()[0].startsWith(QStringLiteral("bad (10.99.0.1)")));
}

TEST_F(LoopbackScan, IpChangeMovesTheDeviceAndTheRescanShowsIt)
{
    auto net = network();
    QLMCScanQuelmoDevice engine(ScanWaitMs, net, sims.port);
    net.setPingPort(sims.port);
    ASSERT_TRUE(engine.scanQuelmoDevice());
    ASSERT_TRUE(engine.scanNetworkBoard());
    ASSERT_EQ(engine.BoardList.size(), 1u);
    const QLMCNetBoard board = engine.BoardList[0];
    EXPECT_EQ(board.MaskText, QStringLiteral("255.0.0.0"));
    const QLMCQuelmoDevice device = *engine.findDevice(QStringLiteral("00-50-C2-00-00-3E"));

    EXPECT_EQ(engine.testPing({127, 0, 0, 61}), PingResult::Reply);
    EXPECT_EQ(engine.testPing({127, 0, 0, 69}), PingResult::NoReply);
    EXPECT_FALSE(engine.changeIPAdd(device, board, QStringLiteral("127.0.0.300")));
    EXPECT_FALSE(engine.changeIPAdd(device, board, QStringLiteral("127.255.255.255")));
    ASSERT_TRUE(engine.changeIPAdd(device, board, QStringLiteral("127.0.0.69")));
    ASSERT_TRUE(
        testsupport::waitFor([&] { return sims.servers[1]->address() == "127.0.0.69"; }, 2000));
    ASSERT_TRUE(engine.scanQuelmoDevice());
    EXPECT_EQ(macs(engine),
              (QStringList{"00-50-C2-00-00-3D@127.0.0.61", "00-50-C2-00-00-3E@127.0.0.69",
                           "00-50-C2-00-00-3F@127.0.0.63"}));
}

TEST(DiscoveryFaults, MisshapenAnswersAddOnlyWholeRecords)
{
    struct Case
    {
        SimDiscoveryFault fault;
        size_t records;
        int unknown;
        size_t modules;
    };
    const std::vector<Case> cases = {
        {SimDiscoveryFault::UnknownCode, 0, 1, 0},     {SimDiscoveryFault::CutShort, 0, 0, 0},
        {SimDiscoveryFault::NameFirst, 0, 0, 0},       {SimDiscoveryFault::TwoRecords, 2, 0, 0},
        {SimDiscoveryFault::StrayModuleList, 1, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.fault));
        SimServerConfig config;
        config.bindAddress = "127.0.0.75";
        config.discoveryFault = c.fault;
        SimServer server(config,
                         std::make_shared<SimController>(*parseSimModel("NETEC-A"), SimIdentity{}));
        ASSERT_TRUE(server.start());
        LoopbackDiscoveryNetwork net({adapter("lo-a", {127, 0, 0, 250})}, {127, 0, 0, 75},
                                     {127, 0, 0, 75});
        QLMCScanQuelmoDevice engine(ScanWaitMs, net, server.udpPort());
        EXPECT_TRUE(engine.scanQuelmoDevice());
        EXPECT_EQ(engine.DeviceList.size(), c.records);
        EXPECT_EQ(engine.unknownVariableCount(), c.unknown);
        EXPECT_EQ(engine.ModuleList.size(), c.modules);
    }
}

TEST(DiscoveryBoards, AdapterListKeepsEveryAddressButLoopback)
{
    NetworkAdapter one = adapter("eth0", {10, 1, 2, 3});
    one.netmask = {255, 255, 255, 0};
    one.mac = {0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
    NetworkAdapter two = one;
    two.address = {172, 16, 0, 5};
    NetworkAdapter local = adapter("lo", {127, 0, 0, 1});
    LoopbackDiscoveryNetwork net({one, two, local}, {127, 0, 0, 1}, {127, 0, 0, 1});
    QLMCScanQuelmoDevice engine(10, net);
    ASSERT_TRUE(engine.scanNetworkBoard());
    ASSERT_EQ(engine.BoardList.size(), 2u);
    EXPECT_EQ(engine.BoardList[0].MaskText, QStringLiteral("255.0.0.0"));
    EXPECT_EQ(engine.BoardList[1].MaskText, QStringLiteral("255.255.0.0"));
    EXPECT_EQ(engine.BoardList[0].MACText, QStringLiteral("00-1B-21-0A-0B-0C"));
    EXPECT_TRUE(engine.inAdapterSubnet({10, 1, 2, 77}));
    EXPECT_FALSE(engine.inAdapterSubnet({10, 1, 3, 77})); // the real /24, not the class mask
}

} // namespace
