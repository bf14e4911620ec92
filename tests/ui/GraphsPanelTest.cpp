// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The graph pages of the main window: sample history, the speed, current and
// command scaling seen on the charts, series visibility, the tab strip, the
// position axis set by the modes and the batched redraws.
#include "UiTestSupport.h"

#include "app/TFormMain.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "platform/HighResCounter.h"
#include "ui/main/GraphsPanel.h"
#include "ui/widgets/LiveChart.h"

#include <QCheckBox>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <cmath>
#include <limits>

using uitest::child;
using uitest::waitFor;

namespace {

using Page = GraphsPanel::Page;

class GraphsTest : public ::testing::Test
{
protected:
    TFormMain main;
    GraphsPanel *panel = main.findChild<GraphsPanel *>();
    QTabWidget *tabs = main.graphPages();

    void SetUp() override
    {
        ASSERT_NE(panel, nullptr);
        main.show();
        main.graphicCheckBox()->setChecked(true);
        // The graph controls as while a controller is connected.
        main.context().connectedControls().setConnected(true);
    }

    LiveChart *chart(Page page) const { return panel->chart(page); }

    /// \a count samples through the decoder's notification, as the wire brings
    /// them, decoded one second apart (keys 0, 1, 2, ...).
    void feed(const ReceivedValues &values, int count = 1)
    {
        for (int i = 0; i < count; ++i)
            main.context().sessionBridge().graphSample(values, nextTicks());
        QApplication::processEvents();
    }
    int64_t nextTicks() { return m_seconds++ * HighResCounter::frequency(); }
    int64_t m_seconds = 0;

    /// The values the display routine shows (the base of "Reset scale").
    void display(const ReceivedValues &values)
    {
        {
            RegisterLockGuard guard(main.context().session().lock());
            main.context().session().Received = values;
        }
        main.runDisplay();
    }

    void expectRange(const LiveChart *c, double minimum, double maximum) const
    {
        EXPECT_DOUBLE_EQ(c->valueRange().lower, minimum);
        EXPECT_DOUBLE_EQ(c->valueRange().upper, maximum);
    }
};

ReceivedValues speedOf(int32_t speed)
{
    ReceivedValues v;
    v.Speed = speed;
    return v;
}

} // namespace

TEST_F(GraphsTest, EverySeriesStartsWithTwoHundredZeroPointsAndTheLegendInverted)
{
    const QStringList captions = {"Graph. position", "Graph. speed", "Command output",
                                  "Current sense", "Position um"};
    for (int page = 0; page < GraphsPanel::PageCount; ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(tabs->tabText(page), captions[page]);
        const LiveChart *c = chart(Page(page));
        for (int s = 0; s < c->seriesCount(); ++s) {
            const QCPGraphDataContainer &data = *c->series(s)->data();
            ASSERT_EQ(data.size(), LiveChart::DefaultHistorySamples);
            EXPECT_EQ(data.at(0)->key, -200);
            EXPECT_EQ(data.at(199)->key, -1);
            for (auto point = data.constBegin(); point != data.constEnd(); ++point)
                EXPECT_EQ(point->value, 0);
        }
    }
    EXPECT_EQ(chart(Page::CurrentPage)->objectName(), QStringLiteral("ChartCurentSense"));
    EXPECT_EQ(chart(Page::CurrentPage)->legendTitles(), QStringList({"Max", "Live", "Min"}));
    EXPECT_EQ(chart(Page::PositionPage)->legendTitles(),
              QStringList({"Position", "Position consign"}));
    expectRange(chart(Page::MicrometrePage), 732.5, 1060);
    // Units on the value axes, seconds on the time axes.
    EXPECT_EQ(chart(Page::SpeedPage)->valueTitle(), QStringLiteral("Speed [p/s]"));
    EXPECT_EQ(chart(Page::CurrentPage)->valueTitle(), QStringLiteral("Current [A]"));
    EXPECT_EQ(chart(Page::CommandPage)->valueTitle(), QStringLiteral("Command output [%]"));
    EXPECT_EQ(chart(Page::MicrometrePage)->valueTitle(), QStringLiteral("Value [um]"));
    EXPECT_EQ(chart(Page::PositionPage)->xAxis->label(), QStringLiteral("Time [s]"));
}

TEST_F(GraphsTest, TabsFollowTheShowAndTheIdentifiedModel)
{
    EXPECT_FALSE(panel->isPageVisible(Page::CurrentPage));
    EXPECT_FALSE(panel->isPageVisible(Page::MicrometrePage));

    panel->setMicrometreTabVisible(true);
    EXPECT_TRUE(panel->isPageVisible(Page::MicrometrePage));
    main.hide();
    main.show(); // every show hides it again
    EXPECT_FALSE(panel->isPageVisible(Page::MicrometrePage));

    tabs->setCurrentIndex(Page::SpeedPage);
    ModelProfile profile;
    profile.currentSenseTabVisible = true;
    main.applyIdentification(profile);
    EXPECT_TRUE(panel->isPageVisible(Page::CurrentPage));
    EXPECT_EQ(tabs->currentIndex(), Page::PositionPage);
    // A stepper counts micro-steps.
    profile.stepperUnits = true;
    main.applyIdentification(profile);
    EXPECT_EQ(chart(Page::PositionPage)->valueTitle(), QStringLiteral("Position [\u00B5Step]"));
    EXPECT_EQ(chart(Page::SpeedPage)->valueTitle(), QStringLiteral("Speed [\u00B5Step/s]"));
    main.applyIdentification(ModelProfile{});
    EXPECT_FALSE(panel->isPageVisible(Page::CurrentPage));
    EXPECT_EQ(chart(Page::PositionPage)->valueTitle(), QStringLiteral("Position [p]"));
}

TEST_F(GraphsTest, SeriesKeepExactlyTwoHundredPointsAndTheLastX)
{
    main.context().session().RefreshRatio = 4;
    ReceivedValues v;
    for (int i = 0; i < 450; ++i) {
        v.Position = i * 10;
        v.Input = -i;
        main.context().sessionBridge().graphSample(v, nextTicks());
    }
    QApplication::processEvents();

    const LiveChart *position = chart(Page::PositionPage);
    for (int s = 0; s < position->seriesCount(); ++s) {
        const QCPGraphDataContainer &data = *position->series(s)->data();
        ASSERT_EQ(data.size(), 200);
        EXPECT_EQ(data.at(0)->key, 250);
        EXPECT_EQ(data.at(199)->key, 449);
    }
    const QCPGraphDataContainer &positions = *position->series(1)->data();
    EXPECT_EQ(positions.at(199)->value, 4490);
    EXPECT_EQ(position->timeReference(), 449);
    EXPECT_EQ(positions.at(0)->value, 2500);
    EXPECT_EQ(position->series(0)->data()->at(199)->value, -449);
    EXPECT_DOUBLE_EQ(position->xAxis->range().upper, 449);

    // Every chart keeps the decode times, whatever the refresh setting.
    const LiveChart *micrometres = chart(Page::MicrometrePage);
    ASSERT_EQ(micrometres->series(1)->data()->size(), 200);
    EXPECT_EQ(micrometres->lastKey(), 449);
    EXPECT_EQ(micrometres->series(1)->data()->at(0)->key, 250);
}

TEST_F(GraphsTest, PlottedValuesOfTheCommandAndMicrometreCharts)
{
    ReceivedValues v;
    v.Command = 65535;
    feed(v);
    EXPECT_EQ(chart(Page::CommandPage)->valueAt(0), 100);
    v.Command = -32768;
    feed(v);
    EXPECT_EQ(chart(Page::CommandPage)->valueAt(0), -50);

    main.context().setPulsesPerMicrometre(2.5f);
    v.Position = 1000;
    v.Input = -250;
    feed(v);
    EXPECT_EQ(chart(Page::MicrometrePage)->valueAt(1), 400);
    EXPECT_EQ(chart(Page::MicrometrePage)->valueAt(0), -100);
    // A factor of 0 plots a gap, not an infinite value.
    main.context().setPulsesPerMicrometre(0);
    feed(v);
    EXPECT_TRUE(std::isnan(chart(Page::MicrometrePage)->valueAt(1)));
}

TEST_F(GraphsTest, SpeedAxisWidensWithTheSpeedAndResetScaleShrinksIt)
{
    LiveChart *speed = chart(Page::SpeedPage);
    feed(speedOf(5000)); // margin (5000 - 0) x 0.05
    expectRange(speed, -20, 5250);
    feed(speedOf(5000), 10);
    expectRange(speed, -20, 5250);

    display(speedOf(1000));
    panel->speedResetButton()->click();
    expectRange(speed, 980, 1020);
    feed(speedOf(1000), 20); // constant: no margin, no change
    expectRange(speed, 980, 1020);
    feed(speedOf(1100));
    expectRange(speed, 980, 1105);
    feed(speedOf(900)); // the margin follows the extremes seen: 10
    expectRange(speed, 890, 1105);
}

TEST_F(GraphsTest, CurrentAxisWidensAroundTheExtremesAndResetsAroundTheDisplayedValues)
{
    LiveChart *current = chart(Page::CurrentPage);
    ReceivedValues v;
    v.CurrentMax = 2.0f;
    v.CurrentMin = -0.5f;
    v.CurrentLive = 1.0f;
    feed(v);
    expectRange(current, -1, 2.125);
    EXPECT_EQ(current->valueAt(0), -0.5);
    EXPECT_EQ(current->valueAt(1), 1.0);
    EXPECT_EQ(current->valueAt(2), 2.0);

    v.CurrentMax = 0.5f;
    v.CurrentMin = -0.25f;
    display(v);
    panel->currentResetButton()->click();
    expectRange(current, -0.35, 0.6);
}

TEST_F(GraphsTest, ConsignHiddenInSpeedTrajectoryAndDesiredHiddenForSteppers)
{
    child<QRadioButton>(main, "RBSpePID")->click();
    feed(ReceivedValues{});
    for (Page page : {Page::PositionPage, Page::MicrometrePage}) {
        EXPECT_FALSE(chart(page)->isSeriesVisible(0));
        EXPECT_TRUE(chart(page)->isSeriesVisible(1));
        EXPECT_EQ(chart(page)->legendTitles(), QStringList({"Position"}));
    }
    child<QRadioButton>(main, "RBTraj")->click();
    feed(ReceivedValues{});
    EXPECT_TRUE(chart(Page::PositionPage)->isSeriesVisible(0));
    EXPECT_TRUE(chart(Page::MicrometrePage)->isSeriesVisible(0));

    EXPECT_TRUE(chart(Page::SpeedPage)->isSeriesVisible(0));
    main.context().setStepperUnits(true);
    feed(ReceivedValues{});
    EXPECT_FALSE(chart(Page::SpeedPage)->isSeriesVisible(0));
    EXPECT_EQ(chart(Page::SpeedPage)->legendTitles(), QStringList({"Speed"}));
    main.context().setStepperUnits(false);
    feed(ReceivedValues{});
    EXPECT_EQ(chart(Page::SpeedPage)->legendTitles(), QStringList({"Speed", "Desired state"}));
}

TEST_F(GraphsTest, ReleaseOnTheTabStripResetsTheExtremesAndWithCtrlTheAxis)
{
    QTabBar *bar = tabs->tabBar();
    feed(speedOf(3000));
    ASSERT_EQ(panel->scaling().speedMaxSeen(), 3000);
    display(speedOf(200));

    // Without Ctrl: the extremes only.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(Page::SpeedPage).center());
    ASSERT_EQ(tabs->currentIndex(), Page::SpeedPage);
    EXPECT_EQ(panel->scaling().speedMaxSeen(), 200);
    expectRange(chart(Page::SpeedPage), -20, 3150);

    // With Ctrl on the speed page: the axis around the displayed speed too.
    QTest::mouseClick(bar, Qt::LeftButton, Qt::ControlModifier,
                      bar->tabRect(Page::SpeedPage).center());
    expectRange(chart(Page::SpeedPage), 180, 220);

    // With Ctrl on another page: no axis changes.
    feed(speedOf(900));
    QTest::mouseClick(bar, Qt::LeftButton, Qt::ControlModifier,
                      bar->tabRect(Page::CommandPage).center());
    EXPECT_EQ(panel->scaling().speedMaxSeen(), 200);
    EXPECT_DOUBLE_EQ(chart(Page::SpeedPage)->valueRange().upper, 900 + 35);
}

TEST_F(GraphsTest, UncheckingGraphicFreezesTheChartsAndCheckingResumes)
{
    feed(speedOf(10), 5);
    const double last = chart(Page::SpeedPage)->lastKey();
    ASSERT_EQ(last, 4);

    main.graphicCheckBox()->click();
    EXPECT_FALSE(main.context().session().GraphicEnabled.load());
    main.context().sessionBridge().graphSample(speedOf(20), nextTicks()); // already on its way
    QApplication::processEvents();
    EXPECT_EQ(chart(Page::SpeedPage)->lastKey(), last);
    EXPECT_EQ(chart(Page::SpeedPage)->valueAt(1), 10);

    main.graphicCheckBox()->click();
    EXPECT_TRUE(main.context().session().GraphicEnabled.load());
    feed(speedOf(30));
    EXPECT_EQ(chart(Page::SpeedPage)->lastKey(), last + 2); // decoded two seconds later
    EXPECT_EQ(chart(Page::SpeedPage)->valueAt(1), 30);
}

TEST_F(GraphsTest, PositionAxisFollowsTheModesAndTheRangeEdits)
{
    LiveChart *position = chart(Page::PositionPage);
    emit main.context().positionAxisRequested(AxisSetting{-500, 800, true});
    expectRange(position, -500, 800);
    EXPECT_FALSE(position->valueAutoScale());

    emit main.context().positionAxisEndRequested(true, -300, -150);
    emit main.context().positionAxisEndRequested(false, 600,
                                                 std::numeric_limits<double>::quiet_NaN());
    expectRange(position, -300, 600);
    expectRange(chart(Page::MicrometrePage), -150, 1060);

    emit main.context().positionAxisAutomatic();
    ReceivedValues v;
    v.Position = 7000;
    v.Input = 9000;
    feed(v);
    position->redrawNow();
    expectRange(position, 0, 9000);

    // Through the mode buttons: "Position traj." before any input limits were
    // read fixes the axis to the range 0 .. 0, shown around 0.
    child<QRadioButton>(main, "RBTraj")->click();
    EXPECT_FALSE(position->valueAutoScale());
    expectRange(position, -1, 1);
    child<QRadioButton>(main, "RBSpePID")->click();
    EXPECT_TRUE(position->valueAutoScale());
}

TEST_F(GraphsTest, MicrometreChartGroupsThousands)
{
    LiveChart *micrometres = chart(Page::MicrometrePage);
    micrometres->setValueRange(0, 5000);
    micrometres->redrawNow();
    QLocale grouped;
    grouped.setNumberOptions(QLocale::DefaultNumberOptions);
    const QList<double> ticks = micrometres->yAxis->tickVector().toList();
    const QStringList labels = micrometres->yAxis->tickVectorLabels().toList();
    ASSERT_EQ(ticks.size(), labels.size());
    ASSERT_GE(ticks.size(), 2);
    for (qsizetype i = 0; i < ticks.size(); ++i)
        EXPECT_EQ(labels[i], grouped.toString(ticks[i], 'f', 0));
    EXPECT_TRUE(labels.contains(grouped.toString(5000.0, 'f', 0)))
        << labels.join(' ').toStdString();
}

TEST_F(GraphsTest, RedrawsAreBatchedAndOnlyTheShownChartDraws)
{
    LiveChart *position = chart(Page::PositionPage);
    LiveChart *speed = chart(Page::SpeedPage);
    tabs->setCurrentIndex(Page::PositionPage);
    int positionDraws = 0;
    int speedDraws = 0;
    QObject::connect(position, &QCustomPlot::afterReplot, [&] { ++positionDraws; });
    QObject::connect(speed, &QCustomPlot::afterReplot, [&] { ++speedDraws; });
    QTest::qWait(2 * LiveChart::RedrawIntervalMs);
    positionDraws = speedDraws = 0;

    QTest::qWait(3 * LiveChart::RedrawIntervalMs); // nothing changed
    EXPECT_EQ(positionDraws, 0);

    feed(speedOf(5), 50);
    EXPECT_TRUE(position->redrawPending());
    ASSERT_TRUE(waitFor([&] { return positionDraws > 0; }, 1000));
    QTest::qWait(2 * LiveChart::RedrawIntervalMs);
    EXPECT_EQ(positionDraws, 1);
    EXPECT_EQ(speedDraws, 0); // hidden behind its tab

    tabs->setCurrentIndex(Page::SpeedPage);
    EXPECT_TRUE(waitFor([&] { return speedDraws == 1; }, 1000));
}

TEST(LiveChart, LongValueTitleBreaksAfterItsDashOnlyWhenTheAxisIsTooShort)
{
    LiveChart chart(QStringLiteral("Chart"));
    chart.addSeries(QStringLiteral("s"), Qt::red);
    const QString title = QStringLiteral("Value (32 bits) - 100% = 65'536");
    chart.setAxisTitles(title, QStringLiteral("Time "));
    chart.resize(600, 500);
    chart.show();
    chart.redrawNow();
    chart.redrawNow();
    EXPECT_EQ(chart.yAxis->label(), title);

    chart.resize(600, 180);
    QApplication::processEvents();
    chart.redrawNow();
    EXPECT_EQ(chart.valueTitle(), title);
    EXPECT_EQ(chart.yAxis->label(), QStringLiteral("Value (32 bits) -\n100% = 65'536"));
}
