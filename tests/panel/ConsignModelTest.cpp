// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ConsignModel.h"

#include "PanelTestSupport.h"
#include "panel/DisplayText.h"
#include "protocol/QLMCIPPacket.h"

#include <gtest/gtest.h>

using paneltest::pendingWrite;
using paneltest::readRequested;
using Mode = RegulationMode;

namespace {

class ConsignModelTest : public ::testing::Test
{
protected:
    ConsignModelTest() { paneltest::grantAll(session); }

    ModeClickResult click(Mode mode, bool enabled = true, double axisMinimum = -200)
    {
        return model.modeClicked(mode, enabled, false, axisMinimum);
    }

    void receiveMode(uint8_t mode)
    {
        QLMCIPPacket answer;
        answer.Function = Function::ReadAnswer;
        answer.Length = 2;
        answer.Data[0] = uint8_t(Reg::RegulationMode);
        answer.Data[1] = mode;
        session.DataReceived(answer);
    }

    void setTopSpeed(int32_t speed)
    {
        RegisterLockGuard guard(session.lock());
        session.Received.SpeedMax = speed;
    }

    void setInputLimits(int32_t min, int32_t max)
    {
        RegisterLockGuard guard(session.lock());
        session.Options.InputMin = min;
        session.Options.InputMax = max;
    }

    QLMCSession session;
    ConsignModel model{session};
};

TEST(ModeTable, CaptionsTitlesAndRules)
{
    EXPECT_STREQ(modeInfo(Mode::SpeedTraj).buttonName, "RBSpePID");
    EXPECT_EQ(modeInfo(Mode::SpeedTraj).inputGroupCaption(true),
              QString::fromUtf8("0x21-Input (Speed Consign [\u00B5Step/s])"));
    EXPECT_EQ(modeInfo(Mode::PositionTraj).inputGroupCaption(true),
              QString::fromUtf8("0x21-Input (Position Consign [\u00B5Step])"));
    EXPECT_EQ(modeInfo(Mode::PositionTraj).inputGroupCaption(false),
              QStringLiteral("0x21-Input (Position Consign [p])"));
    EXPECT_TRUE(modeInfo(Mode::SpeedTraj).isTitleRed(RegulationParameterId::Acceleration));
    EXPECT_FALSE(modeInfo(Mode::SpeedTraj).isTitleRed(RegulationParameterId::Deceleration));
    EXPECT_TRUE(modeInfo(Mode::PositionTraj).isTitleRed(RegulationParameterId::EncoderRatio));
    EXPECT_FALSE(modeInfo(Mode::OpenLoop).isTitleRed(RegulationParameterId::Kp));
    EXPECT_EQ(modeInfo(Mode::Standby).positionAxis, PositionAxisRule::Unchanged);
    EXPECT_EQ(modeInfo(Mode::WaitMode).positionAxis, PositionAxisRule::FixedToRange);
    EXPECT_EQ(ConsignModel::modeToShow(6), Mode::Standby);
    EXPECT_FALSE(ConsignModel::modeToShow(7));
    EXPECT_FALSE(ConsignModel::modeToShow(255));
}

TEST_F(ConsignModelTest, ClickWritesTheModeAndDropsTheNextAnswer)
{
    const ModeClickResult result = click(Mode::OpenLoop);
    EXPECT_TRUE(result.written);
    EXPECT_EQ(pendingWrite(session, Reg::RegulationMode), 2);
    EXPECT_EQ(result.inputCaption, QStringLiteral("0x21-Input (PWM Consign)"));

    // The first answer after the click may still carry the old mode: not shown.
    receiveMode(0);
    EXPECT_FALSE(session.Flags.isRaised(ValueFlag::RegulationMode));
    EXPECT_TRUE(session.ModeSync.load());
    receiveMode(2);
    EXPECT_TRUE(session.Flags.isRaised(ValueFlag::RegulationMode));
    const DisplayUpdate update =
        displayUpdate(session.Received, session.Flags, false, session.ModeSync.load());
    EXPECT_EQ(update.regulationMode, 2);
}

TEST_F(ConsignModelTest, DisplayedModeDoesNotWrite)
{
    model.beginModeDisplay();
    // The window disables the button while it checks it.
    const ModeClickResult shown = click(Mode::SpeedTraj, false);
    model.endModeDisplay();
    EXPECT_FALSE(shown.written);
    EXPECT_FALSE(pendingWrite(session, Reg::RegulationMode));
    EXPECT_EQ(model.checkedMode(), Mode::SpeedTraj);

    // Even an enabled button checked while the display runs does not write.
    model.beginModeDisplay();
    EXPECT_FALSE(click(Mode::DriverStop).written);
    model.endModeDisplay();
    EXPECT_FALSE(pendingWrite(session, Reg::RegulationMode));
}

TEST_F(ConsignModelTest, TitlesAndPositionAxisFollowTheMode)
{
    const ModeClickResult speed = click(Mode::SpeedTraj);
    EXPECT_EQ(std::count(speed.redTitles.begin(), speed.redTitles.end(), true), 9);
    EXPECT_EQ(speed.positionAxis, PositionAxisRule::Automatic);

    setInputLimits(-500, 800);
    const ModeClickResult position = click(Mode::PositionTraj, true, -200);
    EXPECT_EQ(std::count(position.redTitles.begin(), position.redTitles.end(), true), 13);
    EXPECT_EQ(position.positionAxis, PositionAxisRule::FixedToRange);
    EXPECT_EQ(position.positionAxisRange, (AxisSetting{-500, 800, true}));

    // A range entirely below the axis: the minimum goes first.
    setInputLimits(-5000, -1000);
    model.connectionOpened();
    const ModeClickResult below = click(Mode::PositionTraj, true, -200);
    EXPECT_EQ(below.positionAxisRange, (AxisSetting{-5000, -1000, false}));
}

TEST_F(ConsignModelTest, SpeedRangeIsSetOnFirstUseAndKept)
{
    setTopSpeed(2000);
    const ModeClickResult first = click(Mode::SpeedTraj);
    EXPECT_EQ(first.minText, QStringLiteral("-2000"));
    EXPECT_EQ(first.maxText, QStringLiteral("2000"));

    ASSERT_TRUE(model.rangeMaxEnter(QStringLiteral("1500"), 1.0f));
    setTopSpeed(3000);
    click(Mode::OpenLoop);
    EXPECT_EQ(model.consignMin(), -65536);
    EXPECT_EQ(model.consignMax(), 65536);
    const ModeClickResult back = click(Mode::SpeedTraj);
    EXPECT_EQ(back.minText, QStringLiteral("-2000"));
    EXPECT_EQ(back.maxText, QStringLiteral("1500"));

    // A new connection initialises the ranges again on their next use.
    EXPECT_EQ(model.connectionOpened(), 500);
    click(Mode::SpeedTraj);
    EXPECT_EQ(model.consignMax(), 3000);
}

TEST_F(ConsignModelTest, ModesWithoutRangeKeepTheConsignRange)
{
    click(Mode::OpenLoop);
    const ModeClickResult stop = click(Mode::DriverStop);
    EXPECT_FALSE(stop.minText);
    EXPECT_EQ(model.consignMin(), -65536);
    ASSERT_TRUE(model.rangeMinEnter(QStringLiteral("-10"), 1.0f));
    EXPECT_EQ(model.consignMin(), -10);
    EXPECT_EQ(model.range(ConsignRangeKind::OpenLoop).minimum, -65536);
}

TEST_F(ConsignModelTest, PositionRangeFromTheInputLimits)
{
    // Before the options window has read the limits they are 0 .. 0.
    click(Mode::PositionTraj);
    EXPECT_EQ(model.consignMin(), 0);
    EXPECT_EQ(model.consignMax(), 0);

    model.connectionOpened();
    setInputLimits(-50000000, 50000000);
    click(Mode::Standby);
    EXPECT_EQ(model.consignMin(), -50000000);
    EXPECT_EQ(model.consignMax(), 50000000);

    // Limits further apart than 100000000 (in 64 bits) give -100 .. 100.
    model.connectionOpened();
    setInputLimits(INT32_MIN, INT32_MAX);
    click(Mode::PositionTraj);
    EXPECT_EQ(model.consignMin(), -100);
    EXPECT_EQ(model.consignMax(), 100);
}

TEST_F(ConsignModelTest, ConsignEditsAndButtons)
{
    EXPECT_TRUE(ConsignModel::checkConsign(QStringLiteral("-2147483648")));
    EXPECT_FALSE(ConsignModel::checkConsign(QStringLiteral("2147483648")));
    EXPECT_FALSE(ConsignModel::checkConsign(QStringLiteral("1.5")));
    EXPECT_FALSE(ConsignModel::checkConsign(QStringLiteral("-")));

    EXPECT_FALSE(model.consignEnter(QStringLiteral("x")));
    EXPECT_FALSE(pendingWrite(session, Reg::Input));
    EXPECT_EQ(model.consignEnter(QStringLiteral("-1234")), -1234);
    EXPECT_EQ(pendingWrite(session, Reg::Input), -1234);
    EXPECT_EQ(model.consignValue(), -1234);

    model.readInputClicked();
    EXPECT_TRUE(readRequested(session, Reg::Input));
    EXPECT_TRUE(session.Flags.isRaised(ValueFlag::ShowInput));

    model.resetPositionClicked();
    EXPECT_EQ(pendingWrite(session, Reg::Position), 0);
}

TEST_F(ConsignModelTest, TrackBarMapsItsPositionOntoTheRange)
{
    EXPECT_EQ(model.trackBarChanged(1000, true)->consign, 1000);
    EXPECT_EQ(pendingWrite(session, Reg::Input), 1000);
    EXPECT_EQ(model.trackBarChanged(500, true)->consign, 500);
    const auto left = model.trackBarChanged(0, true);
    EXPECT_EQ(left->consign, 0);
    EXPECT_EQ(left->consText, QStringLiteral("0"));

    paneltest::clearRequests(session);
    const auto inactive = model.trackBarChanged(250, false);
    EXPECT_EQ(inactive->consign, 250);
    EXPECT_FALSE(inactive->written);
    EXPECT_FALSE(pendingWrite(session, Reg::Input));

    // CBActiveTBCons checked again: the position in force is sent.
    EXPECT_FALSE(model.activeTrackBarClicked(false, 250));
    EXPECT_EQ(model.activeTrackBarClicked(true, 250)->consign, 250);
    EXPECT_EQ(pendingWrite(session, Reg::Input), 250);

    // Negative range, and a full-width range whose top stays at the top.
    setTopSpeed(2000);
    click(Mode::SpeedTraj);
    EXPECT_EQ(model.trackBarChanged(0, true)->consign, -2000);
    EXPECT_EQ(model.trackBarChanged(1000, true)->consign, 2000);
    EXPECT_EQ(model.trackBarChanged(500, true)->consign, 0);
}

TEST_F(ConsignModelTest, RangeEditsCheckOrderAndFeedTheAxes)
{
    // Min 2000 while Max is 1000: red, and Enter ignores it.
    EXPECT_FALSE(model.checkRangeMin(QStringLiteral("2000")));
    EXPECT_FALSE(model.rangeMinEnter(QStringLiteral("2000"), 1.0f));
    EXPECT_EQ(model.consignMin(), 0);
    EXPECT_FALSE(model.checkRangeMax(QStringLiteral("0")));
    EXPECT_TRUE(model.checkRangeMax(QStringLiteral("1")));
    EXPECT_FALSE(model.checkRangeMax(QStringLiteral("99999999999")));

    // Leaving the edit shows the value in force.
    EXPECT_EQ(model.rangeMinText(), QStringLiteral("0"));
    EXPECT_EQ(model.rangeMaxText(), QStringLiteral("1000"));

    // Outside the position modes the charts are not touched.
    click(Mode::OpenLoop);
    const auto open = model.rangeMaxEnter(QStringLiteral("30000"), 2.0f);
    ASSERT_TRUE(open);
    EXPECT_FALSE(open->positionAxisValue);
    EXPECT_EQ(model.range(ConsignRangeKind::OpenLoop).maximum, 30000);

    setInputLimits(0, 10000);
    click(Mode::PositionTraj);
    const auto position = model.rangeMaxEnter(QStringLiteral("5000"), 2.0f);
    ASSERT_TRUE(position);
    EXPECT_EQ(position->positionAxisValue, 5000.0);
    EXPECT_EQ(position->micrometreAxisValue, 2500.0);
    EXPECT_EQ(model.range(ConsignRangeKind::Position).maximum, 5000);

    click(Mode::WaitMode);
    const auto wait = model.rangeMinEnter(QStringLiteral("100"), 0.0f);
    ASSERT_TRUE(wait);
    EXPECT_EQ(wait->positionAxisValue, 100.0);
    EXPECT_FALSE(wait->micrometreAxisValue); // no finite micrometre value
    // Wait mode keeps no range of its own.
    EXPECT_EQ(model.range(ConsignRangeKind::Position).minimum, 0);
}

TEST_F(ConsignModelTest, StepAndTimerEdits)
{
    EXPECT_TRUE(ConsignModel::checkStep(QStringLiteral("-300")));
    EXPECT_FALSE(ConsignModel::checkStep(QStringLiteral("3.5")));
    EXPECT_EQ(model.stepEnter(QStringLiteral("3.5")), StepEnterResult::NotStored);
    EXPECT_EQ(model.stepEnter(QStringLiteral("4294967296")), StepEnterResult::NotStored);
    EXPECT_EQ(model.stepEnter(QStringLiteral("300")), StepEnterResult::Stored);
    EXPECT_EQ(model.autoStep(), 300);
    EXPECT_EQ(model.stepText(), QStringLiteral("300"));

    EXPECT_FALSE(ConsignModel::checkTimerPeriod(QStringLiteral("9")));
    EXPECT_TRUE(ConsignModel::checkTimerPeriod(QStringLiteral("10")));
    EXPECT_TRUE(ConsignModel::checkTimerPeriod(QStringLiteral("1000000000")));
    EXPECT_FALSE(ConsignModel::checkTimerPeriod(QStringLiteral("1000000001")));
    EXPECT_FALSE(ConsignModel::checkTimerPeriod(QStringLiteral("-100")));
    EXPECT_FALSE(model.timerEnter(QStringLiteral("5")));
    EXPECT_EQ(model.autoPeriodMs(), 1000);
    EXPECT_EQ(model.timerEnter(QStringLiteral("250")), 250);
    EXPECT_EQ(model.timerText(), QStringLiteral("250"));

    // The ends are the range's ends exactly, whatever the span (no Max + 1,
    // and no end a fraction short once truncated).
    struct Range
    {
        const char *min, *max;
        int32_t middle;
    };
    for (const Range &r : {Range{"-7", "3", -2}, Range{"0", "999", 499},
                           Range{"-2147483648", "2147483647", 0}, Range{"1", "5000", 2500}}) {
        ASSERT_TRUE(model.rangeMinEnter(QStringLiteral("-2147483648"), 1.0f));
        ASSERT_TRUE(model.rangeMaxEnter(QLatin1String(r.max), 1.0f));
        ASSERT_TRUE(model.rangeMinEnter(QLatin1String(r.min), 1.0f));
        EXPECT_EQ(model.trackBarChanged(0, true)->consign, QString::fromLatin1(r.min).toInt());
        EXPECT_EQ(model.trackBarChanged(1000, true)->consign, QString::fromLatin1(r.max).toInt());
        EXPECT_EQ(model.trackBarChanged(500, true)->consign, r.middle) << r.min << ".." << r.max;
    }
}

TEST_F(ConsignModelTest, MinMaxWritesBothEndsThroughTheTrackBar)
{
    EXPECT_TRUE(model.selectAutoChange(AutoChange::MinMax));
    std::vector<int64_t> written;
    int trackPosition = 500;
    for (int i = 0; i < 4; ++i) {
        const AutoChangeUpdate update = model.autoChangeTick();
        ASSERT_TRUE(update.moveTrackBar);
        model.prepareTrackMove(trackPosition, update);
        trackPosition = update.trackPosition;
        // The window's track bar raises its change event.
        const auto change = model.trackBarChanged(trackPosition, true);
        ASSERT_TRUE(change);
        written.push_back(pendingWrite(session, Reg::Input).value_or(-1));
    }
    EXPECT_EQ(written, (std::vector<int64_t>{1000, 0, 1000, 0}));
    EXPECT_FALSE(model.selectAutoChange(AutoChange::No));
}

TEST_F(ConsignModelTest, StepWritesDirectlyAndSkipsTheTrackChange)
{
    ASSERT_EQ(model.stepEnter(QStringLiteral("300")), StepEnterResult::Stored);
    model.selectAutoChange(AutoChange::Step);
    std::vector<int64_t> written;
    int trackPosition = 0;
    for (int i = 0; i < 9; ++i) {
        const AutoChangeUpdate update = model.autoChangeTick();
        ASSERT_TRUE(update.consign);
        written.push_back(pendingWrite(session, Reg::Input).value_or(-1));
        model.prepareTrackMove(trackPosition, update);
        trackPosition = update.trackPosition;
        // The move's change event is swallowed: the consign stays as stepped.
        EXPECT_FALSE(model.trackBarChanged(trackPosition, true));
        EXPECT_EQ(model.consignValue(), *update.consign);
    }
    EXPECT_EQ(written, (std::vector<int64_t>{300, 600, 900, 1000, 700, 400, 100, 0, 300}));
}

TEST_F(ConsignModelTest, StepThatLeavesTheTrackBarInPlaceSkipsNoUserMove)
{
    // 0 .. 100000 in steps of 10: the track bar does not move on the first tick.
    setInputLimits(0, 100000);
    click(Mode::PositionTraj);
    ASSERT_EQ(model.stepEnter(QStringLiteral("10")), StepEnterResult::Stored);
    model.selectAutoChange(AutoChange::Step);
    const AutoChangeUpdate update = model.autoChangeTick();
    EXPECT_EQ(update.trackPosition, 0);
    model.prepareTrackMove(0, update);
    EXPECT_FALSE(model.skipTrackChange());
    model.selectAutoChange(AutoChange::No);
    // The user's next move is not lost.
    EXPECT_TRUE(model.trackBarChanged(600, true));
}

TEST_F(ConsignModelTest, SelectingAnAutoChangeRestartsItsDirection)
{
    model.selectAutoChange(AutoChange::MinMax);
    model.autoChangeTick();
    EXPECT_FALSE(model.autoChangeState().minMaxHigh);
    model.selectAutoChange(AutoChange::MinMax);
    EXPECT_TRUE(model.autoChangeState().minMaxHigh);

    ASSERT_EQ(model.consignEnter(QStringLiteral("1000")), 1000);
    model.selectAutoChange(AutoChange::Step);
    model.autoChangeTick();
    EXPECT_FALSE(model.autoChangeState().stepUp);
    model.selectAutoChange(AutoChange::Step);
    EXPECT_TRUE(model.autoChangeState().stepUp);
}

} // namespace
