// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/DisplayText.h"

#include "PanelTestSupport.h"
#include "panel/DeviceCommand.h"
#include "panel/LoopTimeMenu.h"

#include <gtest/gtest.h>

using paneltest::local;
using paneltest::pendingWrite;
using paneltest::readRequested;

namespace {

TEST(DisplayText, StatusBarTexts)
{
    EXPECT_EQ(DisplayText::voltageText(24.25f), local("24.3 [V]"));
    // Halves round away from zero.
    EXPECT_EQ(DisplayText::voltageText(123.25f), local("123.3 [V]"));
    EXPECT_EQ(DisplayText::voltageText(-0.25f), local("-0.3 [V]"));
    // Four significant digits win over the decimal.
    EXPECT_EQ(DisplayText::voltageText(1234.56f), local("1235.0 [V]"));
    EXPECT_EQ(DisplayText::temperatureText(0),
              QString::fromUtf8("0") + localeDecimalSeparator() + QString::fromUtf8("0 [\u00B0C]"));
    EXPECT_EQ(DisplayText::temperatureText(-5.5f), local("-5.5") + QString::fromUtf8(" [\u00B0C]"));
    EXPECT_EQ(DisplayText::timeInServiceText(3600), QStringLiteral("3600 [s]"));
    EXPECT_EQ(DisplayText::powerUpText(17), QStringLiteral("#PUp : 17"));
}

TEST(DisplayText, StepperPosition)
{
    EXPECT_EQ(DisplayText::stepperPositionText(1000), local("3.906"));
    EXPECT_EQ(DisplayText::stepperPositionText(-256), local("-1.000"));
    EXPECT_EQ(DisplayText::stepperPositionText(INT32_MAX), local("8388607.996"));
}

TEST(RefreshSetting, FollowsTheTrackBar)
{
    const RefreshSetting one = refreshSetting(1);
    EXPECT_EQ(one.refreshRatio, 2);
    EXPECT_EQ(one.displayDivider, 50);
    EXPECT_EQ(one.label, QStringLiteral("2"));
    EXPECT_EQ(one.micrometreBottomIncrement, 100);
    const RefreshSetting initial = refreshSetting(10);
    EXPECT_EQ(initial.refreshRatio, 20);
    EXPECT_EQ(initial.displayDivider, 5);
    const RefreshSetting top = refreshSetting(100);
    EXPECT_EQ(top.refreshRatio, 200);
    EXPECT_EQ(top.displayDivider, 0);
    EXPECT_EQ(refreshSetting(0).refreshRatio, 2);

    QLMCSession session;
    applyRefreshSetting(session, top);
    EXPECT_EQ(session.RefreshRatio.load(), 200);
    EXPECT_EQ(session.DisplayDivider.load(), 0);
}

TEST(DisplayUpdate, OnlyRaisedValuesChange)
{
    ReceivedValues values;
    values.Position = 1000;
    values.Desired = 77;
    values.Input = -5;
    values.Version = 0x01020304;
    values.Kp = 1;
    values.EncoderRatio = 1;
    NewValueFlags flags;
    flags.raise(ValueFlag::Position);
    flags.raise(ValueFlag::Desired);
    flags.raise(ValueFlag::Input);
    flags.raise(ValueFlag::Version);
    flags.raise(ValueFlag::EncoderRatio);
    flags.raise(ValueFlag::Kp);
    flags.raise(ValueFlag::RegulationMode);

    const DisplayUpdate pulses = displayUpdate(values, flags, false, true);
    EXPECT_EQ(pulses.positionBig, QStringLiteral("1000"));
    EXPECT_EQ(pulses.desiredBig, QStringLiteral("77"));
    EXPECT_FALSE(pulses.speedBig);
    EXPECT_FALSE(pulses.consText); // only after the input "Read"
    EXPECT_EQ(pulses.version, QStringLiteral("Hw 1.2 Fw 3.4"));
    EXPECT_EQ(pulses.regulationMode, 0);
    EXPECT_EQ(pulses.parameters,
              (std::vector<RegulationParameterId>{RegulationParameterId::Kp,
                                                  RegulationParameterId::EncoderRatio}));

    // Stepper units: the third read-out shows the position in steps.
    flags.raise(ValueFlag::ShowInput);
    const DisplayUpdate stepper = displayUpdate(values, flags, true, false);
    EXPECT_EQ(stepper.desiredBig, local("3.906"));
    EXPECT_EQ(stepper.consText, QStringLiteral("-5"));
    EXPECT_FALSE(stepper.regulationMode);
}

TEST(LoopTimeMenu, ItemsAndCheckMarks)
{
    const auto &items = LoopTimeMenu::items();
    EXPECT_STREQ(items[3].caption, "  5 [ms]");
    EXPECT_STREQ(items[6].name, "MenuLoopTime05ms");
    EXPECT_EQ(LoopTimeMenu::itemForValue(6), 6);
    EXPECT_FALSE(LoopTimeMenu::itemForValue(7));
    EXPECT_FALSE(LoopTimeMenu::itemForValue(-1));

    EXPECT_TRUE(LoopTimeMenu::selectable(ComModes::TcpDirect, true));
    EXPECT_TRUE(LoopTimeMenu::selectable(ComModes::TcpGateway, true));
    EXPECT_FALSE(LoopTimeMenu::selectable(ComModes::Udp, true));
    EXPECT_FALSE(LoopTimeMenu::selectable(ComModes::TcpDirect, false));
}

TEST(LoopTimeMenu, SelectWritesOnlyOverTcp)
{
    QLMCSession session;
    paneltest::grantAll(session);
    session.connection().ComMode = ComModes::Udp;
    EXPECT_FALSE(LoopTimeMenu::select(session, 6, true));
    EXPECT_FALSE(pendingWrite(session, Reg::LoopTimeOption));

    session.connection().ComMode = ComModes::TcpDirect;
    EXPECT_EQ(LoopTimeMenu::select(session, 6, true), 6);
    EXPECT_EQ(pendingWrite(session, Reg::LoopTimeOption), 6);

    LoopTimeMenu::requestValue(session);
    EXPECT_TRUE(readRequested(session, Reg::LoopTimeOption));
}

TEST(DeviceCommand, RestoreReadsTheParametersBackOnTheNextAnswer)
{
    QLMCSession session;
    paneltest::grantAll(session);
    EXPECT_EQ(sendDeviceCommand(session, DeviceCommand::RestoreUser), 0);
    EXPECT_TRUE(session.RestorePending.load());
    {
        RegisterLockGuard guard(session.lock());
        EXPECT_TRUE(session.motor().registerAt(Reg::RestoreParams)->WriteRequest);
    }
    EXPECT_EQ(sendDeviceCommand(session, DeviceCommand::SaveFactory), 2);
    EXPECT_EQ(sendDeviceCommand(session, DeviceCommand::SaveUser), 1);

    QLMCIPPacket answer;
    answer.Function = Function::ReadAnswer;
    answer.Length = 5;
    answer.Data[0] = uint8_t(Reg::Position);
    session.DataReceived(answer);
    EXPECT_FALSE(session.RestorePending.load());
    for (int address : regulationReadAddresses())
        EXPECT_TRUE(readRequested(session, address)) << address;
}

} // namespace
