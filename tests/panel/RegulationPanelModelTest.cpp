// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/RegulationPanelModel.h"

#include "PanelTestSupport.h"
#include "device/RegisterTable.h"

#include <gtest/gtest.h>

using paneltest::local;
using paneltest::pendingWrite;
using paneltest::readRequested;
using Id = RegulationParameterId;

namespace {

class RegulationPanelModelTest : public ::testing::Test
{
protected:
    RegulationPanelModelTest() { paneltest::grantAll(session); }

    QLMCSession session;
    RegulationPanelModel model{session};
};

TEST(RegulationParameterTable, RowsFollowThePanel)
{
    const auto &table = regulationParameters();
    for (size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(indexOf(table[i].id), int(i));
    const RegulationParameter &arw = regulationParameter(Id::AntiResetWindup);
    EXPECT_EQ(arw.address, Reg::AntiResetWindup);
    EXPECT_STREQ(arw.editName, "EArw");
    EXPECT_EQ(arw.lineSize, 10);
    EXPECT_EQ(regulationParameter(Id::SpeedMax).trackMinimum, -1000);
    EXPECT_EQ(regulationParameter(Id::DeadZone).tickFrequency, 16383);
    EXPECT_EQ(regulationParameter(Id::VffOffset).kind, ParameterKind::SignedInteger);
    EXPECT_EQ(regulationParameter(Id::Kdff).kind, ParameterKind::Fixed24);
}

TEST(RegulationPanelModelEdit, FixedTextIsCutAfterFiveOrEightDecimals)
{
    ParameterEditCheck kp = RegulationPanelModel::checkEdit(Id::Kp, local("1.1234567"));
    ASSERT_TRUE(kp.replacementText);
    EXPECT_EQ(*kp.replacementText, local("1.12345"));
    EXPECT_TRUE(kp.valid);
    EXPECT_EQ(kp.registerValue, 73626);

    ParameterEditCheck kaff = RegulationPanelModel::checkEdit(Id::Kaff, local("0.1234567891"));
    ASSERT_TRUE(kaff.replacementText);
    EXPECT_EQ(*kaff.replacementText, local("0.12345678"));

    EXPECT_FALSE(RegulationPanelModel::checkEdit(Id::Kp, local("1.12345")).replacementText);
    EXPECT_FALSE(RegulationPanelModel::checkEdit(Id::Kaff, local("1.12345")).replacementText);
}

struct EditCase
{
    Id id;
    const char *text;
    bool valid;
};

class RegulationPanelEditValidity : public ::testing::TestWithParam<EditCase>
{};

TEST_P(RegulationPanelEditValidity, Colour)
{
    const EditCase &c = GetParam();
    EXPECT_EQ(RegulationPanelModel::checkEdit(c.id, local(c.text)).valid, c.valid) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RegulationPanelEditValidity,
    ::testing::Values(
        EditCase{Id::Kp, "2.5", true}, EditCase{Id::Kp, "32767.99998", true},
        // 40000 x 65536 is beyond 2147483647.
        EditCase{Id::Kp, "40000", false}, EditCase{Id::Kp, "32768", false},
        EditCase{Id::Kp, "-1", false}, EditCase{Id::Kp, ".", false}, EditCase{Id::Kp, ".5", true},
        EditCase{Id::Kp, "", false}, EditCase{Id::Kp, "1e3", false},
        EditCase{Id::Kaff, "127.9", true}, EditCase{Id::Kaff, "128", false},
        EditCase{Id::VffOffset, "-2147483648", true}, EditCase{Id::VffOffset, "2147483648", false},
        EditCase{Id::VffOffset, "1.5", false}, EditCase{Id::VffOffset, "-", false},
        EditCase{Id::Acceleration, "0", true}, EditCase{Id::Acceleration, "-1", false},
        EditCase{Id::Acceleration, "abc", false}, EditCase{Id::Acceleration, "2147483647", true},
        EditCase{Id::Acceleration, "9999999999", false}, EditCase{Id::SpeedMax, "5000000", true}));

TEST_F(RegulationPanelModelTest, EnterWritesFixedValueAndShowsWhatWasSent)
{
    const auto result = model.editEnter(Id::Kp, local("2.5"));
    ASSERT_TRUE(result);
    EXPECT_EQ(pendingWrite(session, Reg::Kp), 163840);
    {
        RegisterLockGuard guard(session.lock());
        const QLMCRegister *reg = session.motor().registerAt(Reg::Kp);
        EXPECT_EQ(reg->WriteValue, (std::vector<uint8_t>{0x00, 0x02, 0x80, 0x00}));
    }
    EXPECT_EQ(result->trackPosition, 8);
    EXPECT_EQ(result->editText, local("2.50000"));

    const auto cut = model.editEnter(Id::Kp, local("1.12345"));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->editText, local("1.12344"));
}

TEST_F(RegulationPanelModelTest, InvalidEnterWritesNothing)
{
    EXPECT_FALSE(model.editEnter(Id::Kp, QStringLiteral("40000")));
    EXPECT_FALSE(model.editEnter(Id::Acceleration, QStringLiteral("-1")));
    EXPECT_FALSE(pendingWrite(session, Reg::Kp));
    EXPECT_FALSE(pendingWrite(session, Reg::Acceleration));
}

TEST_F(RegulationPanelModelTest, EnterOnIntegerKinds)
{
    const auto zero = model.editEnter(Id::Acceleration, QStringLiteral("0"));
    ASSERT_TRUE(zero);
    EXPECT_EQ(pendingWrite(session, Reg::Acceleration), 0);
    EXPECT_EQ(zero->trackPosition, -200);
    EXPECT_FALSE(zero->editText);

    const auto top = model.editEnter(Id::SpeedMax, QStringLiteral("5000000"));
    ASSERT_TRUE(top);
    EXPECT_EQ(pendingWrite(session, Reg::SpeedMax), 5000000);
    EXPECT_EQ(top->trackPosition, 0);

    const auto vff = model.editEnter(Id::VffOffset, QStringLiteral("100000"));
    ASSERT_TRUE(vff);
    EXPECT_EQ(pendingWrite(session, Reg::VffOffset), 100000);
    EXPECT_EQ(vff->trackPosition, 65536);

    ASSERT_TRUE(model.editEnter(Id::VffOffset, QStringLiteral("-5")));
    EXPECT_EQ(pendingWrite(session, Reg::VffOffset), -5);
}

TEST_F(RegulationPanelModelTest, TrackBarWritesUnlessSuppressedOrDisabled)
{
    const auto moved = model.trackBarChanged(Id::Kp, 100, true);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->editText, local("32767.00000"));
    EXPECT_TRUE(moved->written);
    EXPECT_EQ(pendingWrite(session, Reg::Kp), 2147418112);

    paneltest::clearRequests(session);
    model.setSuppressTrackWrite(true);
    const auto suppressed = model.trackBarChanged(Id::AntiResetWindup, -100, true);
    ASSERT_TRUE(suppressed);
    EXPECT_EQ(suppressed->editText, QStringLiteral("43158"));
    EXPECT_FALSE(suppressed->written);
    EXPECT_FALSE(pendingWrite(session, Reg::AntiResetWindup));
    model.setSuppressTrackWrite(false);

    EXPECT_FALSE(model.trackBarChanged(Id::Kd, 50, false));
    EXPECT_FALSE(pendingWrite(session, Reg::Kd));
}

TEST(RegulationPanelModelDisplay, ReceivedValuesShowInEditAndTrackBar)
{
    ReceivedValues values;
    values.Kp = 2.5f;
    values.Kaff = 0.00390625f;
    values.SpeedMax = 2121;
    values.VffOffset = -70000;
    values.DeadZone = 0;
    const ParameterDisplay kp = RegulationPanelModel::receivedDisplay(Id::Kp, values);
    EXPECT_EQ(kp.editText, local("2.50000"));
    EXPECT_EQ(kp.trackPosition, 8);
    const ParameterDisplay kaff = RegulationPanelModel::receivedDisplay(Id::Kaff, values);
    EXPECT_EQ(kaff.editText, local("0.00390625"));
    EXPECT_EQ(kaff.trackPosition, 0);
    EXPECT_EQ(RegulationPanelModel::receivedDisplay(Id::SpeedMax, values).editText,
              QStringLiteral("2121"));
    EXPECT_EQ(RegulationPanelModel::receivedDisplay(Id::SpeedMax, values).trackPosition, -500);
    EXPECT_EQ(RegulationPanelModel::receivedDisplay(Id::VffOffset, values).trackPosition, -65536);
    EXPECT_EQ(RegulationPanelModel::receivedDisplay(Id::DeadZone, values).trackPosition, -200);
}

TEST_F(RegulationPanelModelTest, WriteConfirmsEnabledEditsInOrder)
{
    std::array<ParameterEdit, RegulationParameterCount> edits;
    for (const RegulationParameter &p : regulationParameters())
        edits[size_t(indexOf(p.id))] = {local(p.editText), true};
    edits[size_t(indexOf(Id::Kvff))].enabled = false;
    edits[size_t(indexOf(Id::Kd))].text = QStringLiteral("40000");

    const auto results = model.writeAll(edits);
    EXPECT_EQ(pendingWrite(session, Reg::Kp), 65536);
    EXPECT_FALSE(results[size_t(indexOf(Id::Kd))]);
    EXPECT_FALSE(pendingWrite(session, Reg::Kd));
    EXPECT_FALSE(results[size_t(indexOf(Id::Kvff))]);
    EXPECT_FALSE(pendingWrite(session, Reg::Kvff));
    EXPECT_EQ(pendingWrite(session, Reg::AntiResetWindup), 2000000000);
    EXPECT_EQ(pendingWrite(session, Reg::Acceleration), 43172);
    EXPECT_EQ(pendingWrite(session, Reg::SpeedMax), 2000);
    EXPECT_EQ(pendingWrite(session, Reg::EncoderRatio), 65536);
    EXPECT_EQ(results[size_t(indexOf(Id::Kp))]->editText, local("1.00000"));

    const auto &order = regulationWriteOrder();
    EXPECT_EQ(order[3], Id::AntiResetWindup);
    EXPECT_EQ(order[4], Id::VffOffset);
    EXPECT_EQ(order[12], Id::EncoderRatio);
}

TEST_F(RegulationPanelModelTest, ReadAsksForAllThirteen)
{
    model.readAll();
    for (int address : regulationReadAddresses())
        EXPECT_TRUE(readRequested(session, address)) << address;
    EXPECT_FALSE(readRequested(session, Reg::Input));
}

TEST_F(RegulationPanelModelTest, GainsAreSavedZeroedAndRestored)
{
    {
        RegisterLockGuard guard(session.lock());
        session.Received.Kp = 2.5f;
        session.Received.Ki = 0.125f;
        session.Received.Kd = 3.0f;
        // As the decoder marks them; Kd did not come in this connection.
        session.motor().registerAt(Reg::Kp)->ReceivedSequence = 1;
        session.motor().registerAt(Reg::Ki)->ReceivedSequence = 1;
    }
    model.gainsSwitchedOff();
    EXPECT_TRUE(readRequested(session, Reg::Kp));
    EXPECT_TRUE(readRequested(session, Reg::Kd));

    model.gainsTimerTick();
    EXPECT_EQ(model.savedGains().Kp, 2.5f);
    EXPECT_EQ(pendingWrite(session, Reg::Kp), 0);
    EXPECT_EQ(pendingWrite(session, Reg::Ki), 0);
    // A gain never received is neither remembered nor zeroed, nor written back.
    EXPECT_FALSE(model.savedGains().Kd);
    EXPECT_FALSE(pendingWrite(session, Reg::Kd));

    paneltest::clearRequests(session);
    model.gainsSwitchedOn();
    EXPECT_EQ(pendingWrite(session, Reg::Kp), 163840);
    EXPECT_EQ(pendingWrite(session, Reg::Ki), 8192);
    EXPECT_FALSE(pendingWrite(session, Reg::Kd));
    model.requestGainsRead();
    EXPECT_TRUE(readRequested(session, Reg::Ki));
}

TEST_F(RegulationPanelModelTest, FeedForwardIsSavedZeroedAndRestored)
{
    {
        RegisterLockGuard guard(session.lock());
        session.Received.VffOffset = -1234;
        session.Received.Kvff = 0.5f;
        session.Received.Kaff = 0.25f;
        session.Received.Kdff = -0.5f;
        for (int address : {Reg::VffOffset, Reg::Kvff, Reg::Kaff, Reg::Kdff})
            session.motor().registerAt(address)->ReceivedSequence = 1;
    }
    model.feedForwardSwitchedOff();
    EXPECT_TRUE(readRequested(session, Reg::VffOffset));
    EXPECT_TRUE(readRequested(session, Reg::Kdff));
    model.feedForwardTimerTick();
    for (int address : {Reg::VffOffset, Reg::Kvff, Reg::Kaff, Reg::Kdff})
        EXPECT_EQ(pendingWrite(session, address), 0);

    paneltest::clearRequests(session);
    model.feedForwardSwitchedOn();
    EXPECT_EQ(pendingWrite(session, Reg::VffOffset), -1234);
    EXPECT_EQ(pendingWrite(session, Reg::Kvff), 32768);
    EXPECT_EQ(pendingWrite(session, Reg::Kaff), 4194304);
    EXPECT_EQ(pendingWrite(session, Reg::Kdff), -8388608);
}

TEST_F(RegulationPanelModelTest, CalcFortyPercent)
{
    // Kvff 0: the fixed limit.
    AntiResetWindupCalculation zero =
        model.calculateAntiResetWindup(QStringLiteral("0"), QStringLiteral("2"), true);
    EXPECT_EQ(zero.editText, QStringLiteral("1000000000"));
    ASSERT_TRUE(zero.entered);
    EXPECT_EQ(pendingWrite(session, Reg::AntiResetWindup), 1000000000);

    // Kvff above 0: 26214 / Ki, rounded.
    AntiResetWindupCalculation gain =
        model.calculateAntiResetWindup(local("0.5"), QStringLiteral("2"), true);
    EXPECT_EQ(gain.editText, QStringLiteral("13107"));
    EXPECT_EQ(pendingWrite(session, Reg::AntiResetWindup), 13107);
    EXPECT_FALSE(gain.invalidGain);

    // A Kvff that is no number counts as -1: nothing at all.
    paneltest::clearRequests(session);
    AntiResetWindupCalculation stop =
        model.calculateAntiResetWindup(QStringLiteral("abc"), QStringLiteral("2"), true);
    EXPECT_FALSE(stop.editText);
    EXPECT_FALSE(stop.invalidGain);
    EXPECT_FALSE(pendingWrite(session, Reg::AntiResetWindup));

    // A disabled anti-reset-windup edit gets the text but writes nothing.
    AntiResetWindupCalculation disabled =
        model.calculateAntiResetWindup(QStringLiteral("0"), QStringLiteral("2"), false);
    EXPECT_TRUE(disabled.editText);
    EXPECT_FALSE(disabled.entered);
    EXPECT_FALSE(pendingWrite(session, Reg::AntiResetWindup));

    // A tiny Ki gives a limit beyond 32 bits: shown, invalid, not written.
    AntiResetWindupCalculation huge =
        model.calculateAntiResetWindup(QStringLiteral("1"), local("0.00001"), true);
    EXPECT_EQ(huge.editText, QStringLiteral("2621400000"));
    EXPECT_FALSE(huge.entered);
    EXPECT_FALSE(pendingWrite(session, Reg::AntiResetWindup));
}

TEST_F(RegulationPanelModelTest, CalcFortyPercentWithoutUsableKi)
{
    for (const char *ki : {"0", "", "x", ".", "0.0"}) {
        AntiResetWindupCalculation result =
            model.calculateAntiResetWindup(QStringLiteral("1"), local(ki), true);
        EXPECT_TRUE(result.invalidGain) << ki;
        EXPECT_FALSE(result.editText) << ki;
        EXPECT_FALSE(result.entered) << ki;
    }
    EXPECT_FALSE(pendingWrite(session, Reg::AntiResetWindup));
}

} // namespace
