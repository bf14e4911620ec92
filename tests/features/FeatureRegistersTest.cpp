// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Warning, I/O and homing registers: captions, composing and decoding,
// refused input, and the entries their requests put on the wire.
#include "FeatureTestSupport.h"

#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "features/HomingSetup.h"
#include "features/IOLines.h"
#include "features/WarningRegister.h"

#include <gtest/gtest.h>

using featuretest::takeRead;
using featuretest::takeWriteEntry;

TEST(WarningRegister, CaptionsTitleAndBits)
{
    EXPECT_EQ(WarningRegister::initialGroupTitle(),
              QStringLiteral("0x08 - Warning :  [0x-- -- -- -- -- --]"));
    EXPECT_EQ(WarningRegister::groupTitle(0x00000003),
              QStringLiteral("0x08 - Warning :  [0x00 00 00 03]"));
    EXPECT_EQ(WarningRegister::caption(0), QStringLiteral("Enable not activated"));
    EXPECT_EQ(WarningRegister::caption(15), QStringLiteral("Reserved"));
    EXPECT_TRUE(WarningRegister::caption(16).isEmpty());
    // 0x80000000: only the latched bit of "Reserved".
    for (int bit = 0; bit < 32; ++bit)
        EXPECT_EQ(WarningRegister::bitSet(0x80000000u, bit), bit == 31) << bit;
    EXPECT_FALSE(WarningRegister::bitSet(~0u, 32));
}

TEST(WarningRegister, ClearWritesFourZeroBytes)
{
    QLMCSession session;
    EXPECT_FALSE(WarningRegister::requestClear(session));
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::Warning), "08 00 00 00 00");
}

TEST(WarningRegister, LatchHistoryStampsFirstSightUntilClear)
{
    WarningRegister::LatchHistory history;
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1000);
    history.observe(0x00000003, t0);
    history.observe(0x00000003, t0.addSecs(5));
    EXPECT_EQ(history.firstSeen(0), t0);
    EXPECT_FALSE(history.firstSeen(1));
    history.observe(0x00000001, t0.addSecs(6)); // cleared on the device
    EXPECT_FALSE(history.firstSeen(0));
    history.observe(0x00000002, t0.addSecs(7));
    history.clear();
    EXPECT_FALSE(history.firstSeen(0));
    EXPECT_TRUE(history.toolTip(0).startsWith(QStringLiteral("Not seen")));
}

TEST(IOLines, ItemsComposeAndDecode)
{
    const QStringList items = IOLines::configItems();
    ASSERT_EQ(items.size(), 16);
    EXPECT_EQ(items[7], QStringLiteral("7 - Dead zone IN"));
    EXPECT_EQ(items[15], QStringLiteral("15 - Reserved"));
    EXPECT_EQ(IOLines::itemOf(0x0173, 1), 3);
    EXPECT_EQ(IOLines::itemOf(0x0173, 2), 7);
    EXPECT_EQ(IOLines::compose(0x0173, 1, 1), uint16_t(0x0071)); // high byte cleared
    EXPECT_EQ(IOLines::compose(0x0173, 2, 2), uint16_t(0x0023));
    EXPECT_FALSE(IOLines::compose(0x0173, 1, -1)); // no selection
    EXPECT_FALSE(IOLines::compose(0x0173, 1, 16));
    EXPECT_FALSE(IOLines::compose(0x0173, 3, 1));
}

TEST(IOLines, QuickChoicesComposeWithTheLastWrittenValue)
{
    QLMCSession session;
    session.IO.Config = 0x0173; // as decoded
    EXPECT_EQ(IOLines::choose(session, 1, 1), uint16_t(0x0071));
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::IoConfig), "55 00 71");
    // The second choice before any read-back keeps the first one.
    EXPECT_EQ(IOLines::choose(session, 2, 0), uint16_t(0x0001));
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::IoConfig), "55 00 01");
    EXPECT_FALSE(IOLines::choose(session, 1, -1));
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::IoConfig), "");
}

TEST(IOLines, StateBytesInDisplayOrder)
{
    QLMCSession session;
    session.connection().ComMode = ComModes::TcpDirect;
    QLMCIPPacket packet;
    const uint8_t payload[] = {0x56, 0x01, 0x02, 0x03, 0x04};
    std::copy(std::begin(payload), std::end(payload), packet.Data.begin());
    packet.Function = 0x21;
    packet.Length = 5;
    session.DataReceived(packet);
    EXPECT_EQ(session.IO.State, (std::array<uint8_t, 4>{4, 3, 2, 1}));
    EXPECT_EQ(IOLines::stateCaptions()[3], QStringLiteral("I/O State Byte 3 :"));
}

TEST(HomingSetup, OptionsDecodeAndCompose)
{
    const HomingSetup::Options read = HomingSetup::decode(0x00A32187);
    EXPECT_EQ(read, (HomingSetup::Options{7, true, 1, 2, 3, 10}));
    EXPECT_EQ(HomingSetup::ratioItems()[size_t(read.timeMax)], QStringLiteral("75"));
    EXPECT_EQ(HomingSetup::compose(read), 0x00A32187u);
    // Bits 4..6 and 24..31 of a read value are dropped; every index masked.
    EXPECT_EQ(HomingSetup::compose(HomingSetup::decode(0xFFFFFFFF)), 0x00FFFF8Fu);
    EXPECT_EQ(HomingSetup::compose({8, false, 0, 0, 0, 0}), 0x00000008u);
    // A list with nothing selected (-1) or an index past the list is refused.
    EXPECT_FALSE(HomingSetup::compose({-1, false, 0, 0, 0, 0}));
    EXPECT_FALSE(HomingSetup::compose({0, false, 0, 0, 0, 16}));
}

TEST(HomingSetup, ValueTexts)
{
    struct Case
    {
        const char *text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"-2147483648", INT32_MIN},   {"2147483647", INT32_MAX}, {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt}, {"12345678901234567890", std::nullopt},
        {"-0", 0},                    {"", std::nullopt},       {"-", std::nullopt},
        {"1.5", std::nullopt},        {"0x10", std::nullopt},   {"0042", 42},
    };
    for (const Case &c : cases)
        EXPECT_EQ(HomingSetup::parseValue(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(HomingSetup, WritesAndCommandsOnTheImage)
{
    QLMCSession session;
    QLMCIPMotor &motor = session.motor();
    EXPECT_TRUE(HomingSetup::writeValueSet(session, {8, false, 0, 0, 0, 0},
                                           QStringLiteral("-2147483648"), QStringLiteral("100")));
    EXPECT_EQ(takeWriteEntry(motor, Reg::HomingOption), "48 00 00 00 08");
    EXPECT_EQ(takeWriteEntry(motor, Reg::HomingPosition), "4B 80 00 00 00");
    EXPECT_EQ(takeWriteEntry(motor, Reg::HomingInput), "4C 00 00 00 64");
    // A refused text or no selection sends nothing at all.
    EXPECT_FALSE(HomingSetup::writeValueSet(session, {8, false, 0, 0, 0, 0},
                                            QStringLiteral("2147483648"), QStringLiteral("1")));
    EXPECT_FALSE(HomingSetup::writeValueSet(session, {-1, false, 0, 0, 0, 0}, QStringLiteral("1"),
                                            QStringLiteral("1")));
    EXPECT_EQ(takeWriteEntry(motor, Reg::HomingOption), "");
    EXPECT_EQ(takeWriteEntry(motor, Reg::HomingPosition), "");
    EXPECT_FALSE(HomingSetup::writeStartInput(session, QStringLiteral("99999999999")));
    EXPECT_TRUE(HomingSetup::writeStartInput(session, QStringLiteral("-1")));
    EXPECT_EQ(takeWriteEntry(motor, Reg::HomingStartInput), "47 FF FF FF FF");
    // Start and Stop are size-0 writes: the entry is the address alone.
    EXPECT_TRUE(HomingSetup::requestStart(session));
    HomingSetup::requestStop(motor);
    EXPECT_EQ(takeWriteEntry(motor, Reg::HomingStart), "49");
    EXPECT_EQ(takeWriteEntry(motor, Reg::HomingStop), "4A");
    HomingSetup::requestValueSet(motor);
    for (const int address : {Reg::HomingOption, Reg::HomingPosition, Reg::HomingInput})
        EXPECT_TRUE(takeRead(motor, address));
}

TEST(HomingSetup, RuleBookRefusesWhatTheModelLacksAndSendsNothing)
{
    QLMCSession session;
    session.setProfile(
        std::make_shared<const ModelProfile>(identifyDevice(0x00020001, 0x00070012))); // NETDC-A
    // Type 14 is "-" on NETDC-A: its reason, and none of the three registers goes out.
    const HomingSetup::WriteOutcome refused = HomingSetup::writeValueSet(
        session, {14, false, 0, 0, 0, 0}, QStringLiteral("1"), QStringLiteral("2"));
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.refusal.contains(QStringLiteral("homing type 14 is not offered on NETDC-A")))
        << refused.refusal.toStdString();
    for (const int address : {Reg::HomingOption, Reg::HomingPosition, Reg::HomingInput})
        EXPECT_EQ(takeWriteEntry(session.motor(), address), "") << address;
    EXPECT_TRUE(HomingSetup::writeValueSet(session, {4, false, 0, 0, 0, 0}, QStringLiteral("1"),
                                           QStringLiteral("2")));
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::HomingOption), "48 00 00 00 04");
    // The stop is never judged.
    HomingSetup::requestStop(session.motor());
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::HomingStop), "4A");
}

TEST(IOLines, ReservedCodeIsRefusedAndTheValueInForceKept)
{
    QLMCSession session;
    session.setProfile(
        std::make_shared<const ModelProfile>(identifyDevice(0x00060004, 0x00070012))); // NETEC-A
    session.IO.Config = 0x0073;
    QString refusal;
    EXPECT_FALSE(IOLines::choose(session, 1, 9, &refusal));
    EXPECT_TRUE(refusal.contains(QStringLiteral("I/O 1 code 9 is reserved")))
        << refusal.toStdString();
    EXPECT_EQ(session.IO.Config, 0x0073);
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::IoConfig), "");
    EXPECT_EQ(IOLines::choose(session, 1, 1, &refusal), uint16_t(0x0071));
}
