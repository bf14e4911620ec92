// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "discovery/DiscoveryFrames.h"
#include "discovery/QLMCNetBoard.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "platform/SystemDiscoveryNetwork.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

using namespace DiscoveryFrames;
using testsupport::hexText;

TEST(DiscoveryFrames, RequestsAreByteExact)
{
    EXPECT_EQ(hexText(identifyRequest()), "00 21 00 00 00 04 00 11 01 15 FE B4");
    EXPECT_EQ(hexText(changeIpRequest({0x00, 0x50, 0xC2, 0x00, 0x00, 0x33}, {192, 168, 0, 10},
                                      classMask({192, 168, 0, 7}))),
              "00 2A 00 01 00 0E 00 50 C2 00 00 33 C0 A8 00 0A FF FF FF 00 7D 8F");
}

TEST(DiscoveryFrames, TestIPAddressAcceptsOnlyFourPlainDecimalFields)
{
    const std::vector<std::pair<const char *, bool>> cases = {
        {"192.168.1.10", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"010.1.1.1", true},
        {"192.168.1.256", false},
        {"192.168.x.10", false},
        {"192.168.1", false},
        {"1.2.3.4.5", false},
        {"1..2.3", false},
        {"", false},
        {"-1.2.3.4", false},
        {"+1.2.3.4", false},
        {" 1.2.3.4", false},
        {"1.2.3.4 ", false},
        {"1.2.3.99999999999", false},
    };
    for (const auto &[text, valid] : cases) {
        std::array<uint8_t, 4> bytes{9, 9, 9, 9};
        EXPECT_EQ(testIPAddress(QString::fromLatin1(text), bytes), valid) << text;
        if (!valid) {
            EXPECT_EQ(bytes, (std::array<uint8_t, 4>{9, 9, 9, 9})) << text;
        }
    }
    std::array<uint8_t, 4> bytes{};
    ASSERT_TRUE(testIPAddress(QStringLiteral("192.168.1.10"), bytes));
    EXPECT_EQ(bytes, (std::array<uint8_t, 4>{192, 168, 1, 10}));
}

TEST(DiscoveryFrames, MaskFollowsTheAddressClass)
{
    EXPECT_EQ(classMask({10, 1, 2, 3}), (std::array<uint8_t, 4>{255, 0, 0, 0}));
    EXPECT_EQ(classMask({172, 16, 0, 5}), (std::array<uint8_t, 4>{255, 255, 0, 0}));
    EXPECT_EQ(classMask({192, 168, 0, 7}), (std::array<uint8_t, 4>{255, 255, 255, 0}));
}

TEST(DiscoveryFrames, NewAddressMustFitTheBoardNetwork)
{
    QLMCNetBoard board;
    board.IP = {192, 168, 0, 7};
    board.Mask = classMask(board.IP);
    QLMCNetBoard loop;
    loop.IP = {127, 0, 0, 254};
    loop.Mask = classMask(loop.IP);
    loop.loopback = true;
    const std::vector<std::tuple<std::array<uint8_t, 4>, const QLMCNetBoard *, bool>> cases = {
        {{192, 168, 0, 10}, &board, true},    {{192, 168, 0, 0}, &board, false},
        {{192, 168, 0, 255}, &board, false},  {{0, 1, 2, 3}, &board, false},
        {{224, 0, 0, 1}, &board, false},      {{240, 1, 1, 1}, &board, false},
        {{127, 0, 0, 20}, &board, false},     {{127, 0, 0, 20}, &loop, true},
        {{127, 255, 255, 255}, &loop, false},
    };
    for (const auto &[address, b, ok] : cases)
        EXPECT_EQ(acceptableNewAddress(address, *b), ok) << ipText(address).toStdString();
}

TEST(DiscoveryFrames, MacTextAndParsing)
{
    EXPECT_EQ(macText({0x00, 0x50, 0xC2, 0x0A, 0xff, 0x33}), QStringLiteral("00-50-C2-0A-FF-33"));
    EXPECT_EQ(parseMac(QStringLiteral("00:50:c2:00:00:33")),
              (std::array<uint8_t, 6>{0x00, 0x50, 0xC2, 0x00, 0x00, 0x33}));
    EXPECT_FALSE(parseMac(QStringLiteral("00-50-C2-00-00")));
    EXPECT_FALSE(parseMac(QStringLiteral("00-50-C2-00-00-3G")));
}

TEST(DiscoveryNetworks, RouteTableAndLoopbackRange)
{
    const std::string table = "Iface\tDestination\tGateway\tFlags\n"
                              "eth0\t00000000\t0100A8C0\t0003\n"
                              "eth0\t0000A8C0\t00000000\t0001\n"
                              "bad\tXYZ\n"
                              // Eight characters that strtoul would read, but not eight hex digits.
                              "signed\t+101A8C0\t00000000\t0001\n"
                              "minus\t-0000001\t00000000\t0001\n"
                              "prefix\t0x00A8C0\t00000000\t0001\n";
    EXPECT_EQ(SystemDiscoveryNetwork::parseRouteTable(table),
              (std::vector<std::string>{"0.0.0.0", "192.168.0.0"}));

    const auto range = LoopbackDiscoveryNetwork::parseRange("127.0.0.1-127.0.0.3");
    ASSERT_TRUE(range);
    EXPECT_EQ(LoopbackDiscoveryNetwork({}, range->first, range->second).targets().size(), 3u);
    for (const char *bad : {"127.0.0.3-127.0.0.1", "10.0.0.1-10.0.0.2", "127.0.0.1-192.168.0.1",
                            "127.0.0.1", "127.0.0.0-127.1.0.0"})
        EXPECT_FALSE(LoopbackDiscoveryNetwork::parseRange(bad)) << bad;
}
