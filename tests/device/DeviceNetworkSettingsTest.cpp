// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The network settings rules and the bytes they put into the register image.
#include "device/DeviceNetworkSettings.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"

#include <gtest/gtest.h>

#include <vector>

namespace NS = DeviceNetworkSettings;

namespace {

std::vector<uint8_t> written(QLMCSession &session, int address)
{
    RegisterLockGuard guard(session.lock());
    const QLMCRegister *reg = session.motor().registerAt(address);
    EXPECT_TRUE(reg->WriteRequest);
    return {reg->WriteValue.begin(), reg->WriteValue.end()};
}

} // namespace

TEST(DeviceNetworkSettings, WatchdogRule)
{
    const std::pair<int, int> cases[] = {{0, 0}, {1, 30}, {29, 30}, {30, 30}, {45, 45}, {60, 60},
                                         {61, 60}, {-3, 0}};
    for (const auto &[in, out] : cases)
        EXPECT_EQ(NS::watchdogValue(in), out) << in;
}

TEST(DeviceNetworkSettings, AddressFieldsAreDecimalBytes)
{
    int bad = -1;
    EXPECT_EQ(NS::addressBytes({"10", "0", "0", "44"}), (std::array<uint8_t, 4>{10, 0, 0, 0x2C}));
    const struct {
        QStringList fields;
        int bad;
    } wrong[] = {{{"10", "0", "0", "300"}, 3}, {{"10", "-1", "0", "1"}, 1},
                 {{"0x10", "0", "0", "1"}, 0}, {{"10", "0", " 1", "1"}, 2},
                 {{"10", "0", "", "1"}, 2},    {{"10", "0", "0"}, 3}};
    for (const auto &c : wrong) {
        EXPECT_FALSE(NS::addressBytes(c.fields, &bad)) << c.fields.join('.').toStdString();
        EXPECT_EQ(bad, c.bad);
    }
}

TEST(DeviceNetworkSettings, NameIsCutAndPaddedWithSpaces)
{
    std::array<uint8_t, 16> ab;
    ab.fill(0x20);
    ab[0] = 'A';
    ab[1] = 'B';
    EXPECT_EQ(NS::nameBytes(QStringLiteral("AB")), ab);
    const auto cut = NS::nameBytes(QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    ASSERT_TRUE(cut);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(cut->data()), 16), "ABCDEFGHIJKLMNOP");
    // Latin-1 is what the decoder reads back; anything else is refused.
    EXPECT_EQ((*NS::nameBytes(QString::fromUtf8("\xc3\xa9")))[0], 0xE9);
    EXPECT_FALSE(NS::nameBytes(QString::fromUtf8("Motor \xe2\x82\xac")));
}

TEST(DeviceNetworkSettings, ScanEntriesAndModules)
{
    EXPECT_EQ(NS::scanEntryText(16), QStringLiteral("Mod. 0x10 - 16"));
    EXPECT_EQ(NS::scanEntryText(127), QStringLiteral("Mod. 0x7F - 127"));
    EXPECT_EQ(NS::scanEntryAddress(QStringLiteral("Mod. 0x11 - 17")), 17);
    EXPECT_FALSE(NS::scanEntryAddress(QStringLiteral("Mod. 0x00 - 0")));
    EXPECT_FALSE(NS::scanEntryAddress(QStringLiteral("Mod.")));
    const uint8_t payload[] = {0x10, 0x00, 0x11, 0x80, 0xFF, 0x7F};
    int rejected = 0;
    EXPECT_EQ(NS::validModules(payload, &rejected), (std::vector<uint8_t>{0x10, 0x11, 0x7F}));
    EXPECT_EQ(rejected, 3);
}

TEST(DeviceNetworkSettings, ArpArgvOnlyForOneAddress)
{
    EXPECT_EQ(NS::arpResetArgv(QStringLiteral("127.0.0.5")),
              (QStringList{"ip", "neigh", "flush", "to", "127.0.0.5"}));
    for (const char *text : {"0.0.0.0/0", "", "1.2.3", "1.2.3.4; reboot", "1.2.3.400"})
        EXPECT_TRUE(NS::arpResetArgv(QLatin1String(text)).isEmpty()) << text;
}

TEST(DeviceNetworkSettings, WritesFillTheRegisters)
{
    QLMCSession session;
    NS::writeWatchdog(session, 45);
    EXPECT_EQ(written(session, Reg::TcpWatchdog)[0], 45);
    NS::writeWatchdog(session, 12);
    EXPECT_EQ(written(session, Reg::TcpWatchdog)[0], 30);
    NS::writeAddress(session, {10, 0, 0, 44});
    EXPECT_EQ(written(session, Reg::AddressIp), (std::vector<uint8_t>{10, 0, 0, 44}));
    NS::writeName(session, *NS::nameBytes(QStringLiteral("Bench-1")));
    const std::vector<uint8_t> name = written(session, Reg::Name);
    ASSERT_EQ(name.size(), 16u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(name.data()), 16), "Bench-1         ");
}
