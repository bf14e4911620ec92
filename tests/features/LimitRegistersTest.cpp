// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Limit registers: setup bits both ways, control-mode radios, hex lines, the
// write set, and the LimitsModel routing into the shown limit only.
#include "features/LimitRegisters.h"
#include "features/LimitsModel.h"

#include "device/QLMCSession.h"

#include <gtest/gtest.h>

#include <random>

using namespace LimitRegisters;

TEST(LimitRegisters, SetupExample0x75BothWays)
{
    // 0x75: Used, Change control mode, bit 4, input measured+offset.
    const LimitSetupBits bits = decodeSetup(0x75);
    EXPECT_EQ(bits, (LimitSetupBits{true, false, true, false, 3}));
    EXPECT_EQ(composeSetup(0x75, bits), 0x75u); // bit 4 carried
    EXPECT_EQ(composeSetup(0, bits), 0x65u);
}

TEST(LimitRegisters, ComposeChangesOnlyItsOwnBits)
{
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        const uint32_t v = random();
        EXPECT_EQ(composeSetup(0, decodeSetup(v)) | (v & ~ControlledMask), v);
        EXPECT_EQ(composeSetup(v, decodeSetup(v)), v);
        // Bits 4 and 7..31 come from the carried value, whatever the controls say.
        const uint32_t other = random();
        EXPECT_EQ(composeSetup(v, decodeSetup(other)) & ~ControlledMask, v & ~ControlledMask);
        EXPECT_EQ(composeSetup(v, decodeSetup(other)) & ControlledMask, other & ControlledMask);
    }
    // Items 0..3 of the input list: bits 5 and 6.
    for (int item = 0; item < 4; ++item) {
        LimitSetupBits bits;
        bits.xInputItem = item;
        EXPECT_EQ(composeSetup(0xFFFFFFFF, bits), 0xFFFFFF90u | (uint32_t(item) << 5)) << item;
    }
}

TEST(LimitRegisters, ControlModeRadiosAndCaptions)
{
    for (int mode = 0; mode < 6; ++mode)
        EXPECT_EQ(controlModeRadio(uint8_t(mode)), mode);
    EXPECT_FALSE(controlModeRadio(6));
    EXPECT_FALSE(controlModeRadio(255));
    EXPECT_EQ(controlModeCaption(0), QStringLiteral("Driver Stop"));
    EXPECT_EQ(controlModeCaption(5), QStringLiteral("Position trajectory"));
    EXPECT_EQ(xInputCaption(3), QStringLiteral("Input measured+offset"));
}

TEST(LimitRegisters, LinesAndWriteSetOfEachLimit)
{
    const LimitSettings s{0x000150AF, 7, -2, 0x01020304};
    const auto l1 = lines(0, s);
    EXPECT_EQ(l1[0].caption, QStringLiteral("0x50 - Setup :"));
    EXPECT_EQ(l1[0].hex, QStringLiteral("[0x00 01 50 AF]"));
    EXPECT_EQ(l1[1].caption, QStringLiteral("0x51 - Regulation mode :"));
    EXPECT_EQ(l1[1].hex, QStringLiteral("[0x07]"));
    EXPECT_EQ(l1[2].hex, QStringLiteral("[0xFF FF FF FE]"));
    EXPECT_EQ(l1[3].caption, QStringLiteral("0x53 - X input :"));
    const auto l2 = lines(1, s);
    EXPECT_EQ(l2[0].caption, QStringLiteral("0x58 - Setup :"));
    EXPECT_EQ(l2[2].caption, QStringLiteral("0x5A - Position :"));
    EXPECT_EQ(l2[3].caption, QStringLiteral("0x5B - X input :"));

    const auto w = writes(1, s);
    EXPECT_EQ(w[0].address, 0x58);
    EXPECT_EQ(w[1].address, 0x59);
    EXPECT_EQ(w[2].address, 0x5A);
    EXPECT_EQ(w[3].address, 0x5B);
    EXPECT_EQ(w[2].value, -2);
    EXPECT_EQ(writes(0, s)[0].address, 0x50);
}

namespace {

std::vector<int> pendingWrites(QLMCSession &session)
{
    RegisterLockGuard guard(session.lock());
    std::vector<int> out;
    for (const QLMCRegister &reg : session.motor().registers())
        if (reg.WriteRequest)
            out.push_back(reg.Address);
    return out;
}

} // namespace

TEST(LimitsModel, ControlsChangeOnlyTheShownLimit)
{
    QLMCSession session;
    session.Limits.Setup = {0x10, 0x80};
    LimitsModel model(session);
    model.showLimit(1);
    model.setSetupBit(UsedBit, true);
    model.setXInputItem(2);
    model.setControlMode(0);
    model.setControlMode(9); // not a mode: ignored
    model.setPosition(-5000);
    model.setXInput(42);
    EXPECT_EQ(model.settings(0), (LimitSettings{0x10, 0, 0, 0}));
    EXPECT_EQ(model.settings(1), (LimitSettings{0xC1, 0, -5000, 42}));

    model.write();
    EXPECT_EQ(pendingWrites(session), (std::vector<int>{0x58, 0x59, 0x5A, 0x5B}));
    RegisterLockGuard guard(session.lock());
    EXPECT_EQ(session.motor().registerAt(0x5A)->WriteValue,
              (std::vector<uint8_t>{0xFF, 0xFF, 0xEC, 0x78}));
}

TEST(LimitsModel, ChangedLinesCompareWithTheLastReceivedValue)
{
    QLMCSession session;
    LimitsModel model(session);
    EXPECT_EQ(model.changedLines(), (std::array<bool, 4>{false, false, false, false}));
    model.setControlMode(3);
    EXPECT_EQ(model.changedLines(), (std::array<bool, 4>{false, true, false, false}));
    {
        RegisterLockGuard guard(session.lock());
        session.motor().registerAt(0x51)->Value = {3};
    }
    EXPECT_EQ(model.changedLines(), (std::array<bool, 4>{false, false, false, false}));
}
