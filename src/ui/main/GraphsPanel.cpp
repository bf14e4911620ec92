// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/GraphsPanel.h"

#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "panel/ChartPages.h"
#include "panel/ConsignModel.h"
#include "platform/HighResCounter.h"
#include "ui/main/RefreshPanel.h"
#include "ui/widgets/ChartMarkers.h"
#include "ui/widgets/ChartTools.h"
#include "ui/widgets/LiveChart.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QColor Red(0xFF, 0x00, 0x00);  // clRed
const QColor Blue(0x00, 0x00, 0xFF); // clBlue
const QColor Lime(0x00, 0xFF, 0x00); // clLime

const QString &TimeTitle = ChartPages::TimeTitle;

// The first series of the position charts and of the speed chart.
constexpr int ConsignSeries = 0;
constexpr int DesiredSeries = 0;

} // namespace

GraphsPanel::GraphsPanel(WindowContext &context, QTabWidget *pages)
    : QObject(context.mainWindow())
    , m_context(context)
    , m_tabs(pages)
{
    setObjectName(QStringLiteral("GraphsPanel"));

    LiveChart *position = addPage(PositionPage, "TabSheetPosition",
                                  QStringLiteral("Graph. position"), "ChartPosition");
    position->addSeries(QStringLiteral("Position consign"), Red);
    position->addSeries(QStringLiteral("Position"), Blue);
    position->setValueRange(-200, 200);
    position->setValueIncrement(10);
    position->setAxisTitles(ChartPages::valueTitle(PositionPage, false), TimeTitle);

    LiveChart *speed =
        addPage(SpeedPage, "TabSheetSpeed", QStringLiteral("Graph. speed"), "ChartSpeed");
    speed->addSeries(QStringLiteral("Desired state"), Red);
    speed->addSeries(QStringLiteral("Speed"), Blue);
    const AxisRange speedAxis = m_scaling.speedAxis();
    speed->setValueRange(speedAxis.minimum, speedAxis.maximum);
    speed->setValueIncrement(10);
    speed->setAxisTitles(ChartPages::valueTitle(SpeedPage, false), TimeTitle);
    m_resetSpeed = new QPushButton(QStringLiteral("Reset scale"));
    m_resetSpeed->setObjectName(QStringLiteral("BResetScaleSpeed"));
    speed->addCornerButton(m_resetSpeed);
    connect(m_resetSpeed, &QPushButton::clicked, this, &GraphsPanel::BResetScaleSpeedClick);

    LiveChart *command =
        addPage(CommandPage, "TabSheetCommand", QStringLiteral("Command output"), "ChartCommand");
    command->addSeries(QStringLiteral("Command output"), Red);
    command->setValueRange(-120, 120);
    command->setValueIncrement(25);
    command->setAxisTitles(ChartPages::valueTitle(CommandPage, false), TimeTitle);

    // The chart's name is spelt so.
    LiveChart *current = addPage(CurrentPage, "TabSheetCurrentSense",
                                 QStringLiteral("Current sense"), "ChartCurentSense");
    current->addSeries(QStringLiteral("Min"), Blue);
    current->addSeries(QStringLiteral("Live"), Lime);
    current->addSeries(QStringLiteral("Max"), Red);
    const AxisRange currentAxis = m_scaling.currentAxis();
    current->setValueRange(currentAxis.minimum, currentAxis.maximum);
    current->setValueIncrement(0.05);
    current->setAxisTitles(ChartPages::valueTitle(CurrentPage, false), TimeTitle);
    m_resetCurrent = new QPushButton(QStringLiteral("Reset scale"));
    m_resetCurrent->setObjectName(QStringLiteral("BResetScaleCurrent"));
    current->addCornerButton(m_resetCurrent);
    connect(m_resetCurrent, &QPushButton::clicked, this, &GraphsPanel::BResetScaleCurrentClick);

    LiveChart *micrometres = addPage(MicrometrePage, "TabSheetPosition_um",
                                     QStringLiteral("Position um"), "ChartPosition_um");
    micrometres->addSeries(QStringLiteral("Position consign"), Red);
    micrometres->addSeries(QStringLiteral("Position"), Blue);
    micrometres->setValueRange(732.5, 1060);
    micrometres->setGroupedValueLabels(0); // "#,##0"
    micrometres->setAxisTitles(ChartPages::valueTitle(MicrometrePage, false), TimeTitle);

    // Pause, zoom, cursor read-out and export on every page.
    const std::array<const char *, PageCount> toolNames{"Position", "Speed", "Command", "Current",
                                                        "Position_um"};
    for (int p = 0; p < PageCount; ++p)
        new ChartTools(m_charts[size_t(p)], QLatin1String(toolNames[size_t(p)]),
                       p == SpeedPage     ? m_resetSpeed
                       : p == CurrentPage ? m_resetCurrent
                                          : nullptr);

    // Shown per model by the identification.
    m_tabs->setTabVisible(CurrentPage, false);
    m_tabs->setCurrentIndex(PositionPage);

    // Releases over the tab strip: on the tabs, and on the free strip beside them.
    m_tabs->tabBar()->installEventFilter(this);
    m_tabs->installEventFilter(this);

    m_context.connectedControls().addWhileConnected(m_resetSpeed);
    m_context.connectedControls().addWhileConnected(m_resetCurrent);

    connect(&m_context.sessionBridge(), &GuiSessionBridge::graphSampleArrived, this,
            &GraphsPanel::addSample);
    connect(&m_context, &WindowContext::formShown, this,
            [this] { setMicrometreTabVisible(false); });
    connect(&m_context, &WindowContext::deviceIdentified, this, &GraphsPanel::deviceIdentified);
    connect(&m_context, &WindowContext::positionAxisAutomatic, this,
            &GraphsPanel::setPositionAxisAutomatic);
    connect(&m_context, &WindowContext::positionAxisRequested, this, &GraphsPanel::setPositionAxis);
    connect(&m_context, &WindowContext::positionAxisEndRequested, this,
            &GraphsPanel::setPositionAxisEnd);
    connect(&m_context, &WindowContext::micrometreTabRequested, this,
            &GraphsPanel::setMicrometreTabVisible);
    connect(&m_context, &WindowContext::micrometreAxisRequested, this,
            &GraphsPanel::setMicrometreAxis);
    connect(&m_context, &WindowContext::micrometreLabelsRequested, this,
            &GraphsPanel::setMicrometreLabels);
}

void GraphsPanel::markCharts(const QString &label)
{
    for (LiveChart *chart : m_charts)
        ChartMarkers::mark(chart, label);
}

LiveChart *GraphsPanel::addPage(Page page, const char *tabName, const QString &caption,
                                const char *chartName)
{
    auto *sheet = new QWidget;
    sheet->setObjectName(QLatin1String(tabName));
    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *chart = new LiveChart(QLatin1String(chartName), sheet);
    layout->addWidget(chart);
    m_tabs->insertTab(page, sheet, caption);
    m_pages[size_t(page)] = sheet;
    m_charts[size_t(page)] = chart;
    return chart;
}

void GraphsPanel::addSample(const ReceivedValues &values, qint64 ticks)
{
    const RefreshPanel *refresh = m_context.panels().refresh;
    if (refresh && !refresh->graphic()->isChecked())
        return;

    const ChartScaling::Widened widened = m_scaling.addSample(values);
    if (widened.speedAxis) {
        const AxisRange axis = m_scaling.speedAxis();
        chart(SpeedPage)->setValueRange(axis.minimum, axis.maximum);
    }
    if (widened.currentAxis) {
        const AxisRange axis = m_scaling.currentAxis();
        chart(CurrentPage)->setValueRange(axis.minimum, axis.maximum);
    }

    const std::array<double, 2> speed{double(values.Desired), double(values.Speed)};
    const double seconds = double(ticks) / double(HighResCounter::frequency());
    chart(SpeedPage)->addSampleAt(speed, seconds);
    const std::array<double, 3> current{values.CurrentMin, values.CurrentLive, values.CurrentMax};
    chart(CurrentPage)->addSampleAt(current, seconds);
    const std::array<double, 2> position{double(values.Input), double(values.Position)};
    chart(PositionPage)->addSampleAt(position, seconds);
    const float factor = m_context.pulsesPerMicrometre();
    const std::array<double, 2> micrometres{ChartScaling::micrometres(values.Input, factor),
                                            ChartScaling::micrometres(values.Position, factor)};
    chart(MicrometrePage)->addSampleAt(micrometres, seconds);

    chart(SpeedPage)->setSeriesVisible(
        DesiredSeries, ChartScaling::desiredSeriesVisible(m_context.stepperUnits()));
    const bool consign = ChartScaling::consignSeriesVisible(m_context.consignModel().checkedMode());
    chart(PositionPage)->setSeriesVisible(ConsignSeries, consign);
    chart(MicrometrePage)->setSeriesVisible(ConsignSeries, consign);

    const std::array<double, 1> command{double(ChartScaling::commandPercent(values.Command))};
    chart(CommandPage)->addSampleAt(command, seconds);
}

void GraphsPanel::applyAxis(LiveChart *chart, const AxisSetting &setting)
{
    // Both ends are set in one step, so the order the setting gives (which keeps
    // the minimum below the maximum on the way) cannot fail here.
    chart->setValueRange(setting.minimum, setting.maximum);
}

void GraphsPanel::BResetScaleSpeedClick()
{
    applyAxis(chart(SpeedPage), m_scaling.resetSpeedScale(m_context.frame().displayedValues()));
}

void GraphsPanel::BResetScaleCurrentClick()
{
    applyAxis(chart(CurrentPage), m_scaling.resetCurrentScale(m_context.frame().displayedValues()));
}

void GraphsPanel::tabStripReleased(bool ctrlHeld)
{
    const ChartScaling::TabRelease release = m_scaling.tabStripReleased(
        ctrlHeld, m_tabs->currentIndex(), m_context.frame().displayedValues());
    if (release.speedAxis)
        applyAxis(chart(SpeedPage), *release.speedAxis);
    if (release.currentAxis)
        applyAxis(chart(CurrentPage), *release.currentAxis);
}

bool GraphsPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QTabBar *bar = m_tabs->tabBar();
        bool onStrip = watched == bar;
        if (watched == m_tabs) {
            // The tab widget itself gets the releases on the free part of the
            // strip (and those the tab bar passed on, already seen there).
            const QPoint point = mouse->position().toPoint();
            const QRect tabs = bar->geometry();
            onStrip =
                point.y() >= tabs.top() && point.y() <= tabs.bottom() && !tabs.contains(point);
        }
        if (onStrip)
            tabStripReleased(mouse->modifiers().testFlag(Qt::ControlModifier));
    }
    return QObject::eventFilter(watched, event);
}

void GraphsPanel::setPositionAxisAutomatic()
{
    chart(PositionPage)->setValueAutoScale(true);
}

void GraphsPanel::setPositionAxis(const AxisSetting &setting)
{
    applyAxis(chart(PositionPage), setting);
}

void GraphsPanel::setPositionAxisEnd(bool minimum, double value, double micrometres)
{
    LiveChart *position = chart(PositionPage);
    LiveChart *micrometre = chart(MicrometrePage);
    if (minimum) {
        position->setValueMinimum(value);
        if (!std::isnan(micrometres))
            micrometre->setValueMinimum(micrometres);
    } else {
        position->setValueMaximum(value);
        if (!std::isnan(micrometres))
            micrometre->setValueMaximum(micrometres);
    }
}

void GraphsPanel::setMicrometreTabVisible(bool visible)
{
    m_tabs->setTabVisible(MicrometrePage, visible);
}

void GraphsPanel::setMicrometreAxis(double minimum, double maximum)
{
    chart(MicrometrePage)->setValueRange(minimum, maximum);
}

void GraphsPanel::setMicrometreLabels(int decimals)
{
    chart(MicrometrePage)->setGroupedValueLabels(decimals);
}

bool GraphsPanel::isPageVisible(Page page) const
{
    return m_tabs->isTabVisible(page);
}

void GraphsPanel::deviceIdentified(const ModelProfile &profile)
{
    m_tabs->setTabVisible(CurrentPage, profile.currentSenseTabVisible);
    // The value axes name the unit of this model (micro-steps for a stepper).
    for (int p = 0; p < PageCount; ++p)
        m_charts[size_t(p)]->setAxisTitles(ChartPages::valueTitle(p, profile.stepperUnits),
                                           TimeTitle);
    m_tabs->setCurrentIndex(profile.firstGraphPage);
}
