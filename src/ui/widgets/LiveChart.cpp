// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/LiveChart.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const QColor LegendGrey(0x80, 0x80, 0x80); // clGray
constexpr int CornerMargin = 3;
// Average room for one axis label, in pixels.
constexpr int ValueLabelSpacing = 35;
constexpr int TimeLabelSpacing = 90;

// Axis labels at least one increment apart (a nice multiple of it when they
// would crowd), optionally with thousands separators.
class IncrementTicker : public QCPAxisTickerFixed
{
public:
    IncrementTicker()
    {
        setScaleStrategy(ssMultiples);
        setTickCount(6);
    }

    double increment = 0; ///< 0: QCustomPlot's free choice
    int groupedDecimals = -1;
    /// A view narrower than two increments gets the free choice (a zoomed frozen chart).
    bool freeWhenNarrow = false;

protected:
    double getTickStep(const QCPRange &range) override
    {
        if (increment <= 0 || (freeWhenNarrow && range.size() < 2 * increment))
            return QCPAxisTicker::getTickStep(range);
        return QCPAxisTickerFixed::getTickStep(range);
    }

    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar,
                         int precision) override
    {
        if (groupedDecimals < 0)
            return QCPAxisTickerFixed::getTickLabel(tick, locale, formatChar, precision);
        // "#,##0" and "#,##0.#": the locale's group separator, optional decimals.
        QLocale grouped = locale;
        grouped.setNumberOptions(QLocale::DefaultNumberOptions);
        QString text = grouped.toString(tick, 'f', groupedDecimals);
        if (groupedDecimals > 0) {
            const QString point = grouped.decimalPoint();
            while (text.endsWith(QLatin1Char('0')))
                text.chop(1);
            if (text.endsWith(point))
                text.chop(point.size());
        }
        if (text == QLatin1String("-0"))
            text = QStringLiteral("0");
        return text;
    }
};

// A timed chart's time axis: ticks at whole steps back from the newest sample,
// labelled with their distance to it in seconds (0 at the newest, negative before).
class RelativeTimeTicker : public IncrementTicker
{
public:
    double reference = 0;

protected:
    QVector<double> createTickVector(double tickStep, const QCPRange &range) override
    {
        QVector<double> ticks;
        if (tickStep <= 0)
            return ticks;
        const double first = std::ceil((range.lower - reference) / tickStep);
        const double last = std::floor((range.upper - reference) / tickStep);
        for (double k = first; k <= last && ticks.size() < 1000; k += 1)
            ticks.push_back(reference + k * tickStep);
        return ticks;
    }

    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar,
                         int precision) override
    {
        const double seconds = std::round((tick - reference) * 1000) / 1000;
        return QCPAxisTicker::getTickLabel(seconds == 0 ? 0 : seconds, locale, formatChar,
                                           precision);
    }
};

/// Spacing of the start-up points once the first timed sample arrives (the
/// fastest refresh).
constexpr double StartUpSpacingSeconds = 0.002;
/// A view of up to this many samples is drawn with every one of them.
constexpr size_t DrawEverySampleUpTo = 1024;

IncrementTicker *incrementTicker(QCPAxis *axis)
{
    return static_cast<IncrementTicker *>(axis->ticker().data());
}

} // namespace

LiveChart::LiveChart(const QString &name, QWidget *parent)
    : QCustomPlot(parent)
{
    setObjectName(name);
    setAutoAddPlottableToLegend(false);
    setMinimumSize(120, 80);

    xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new RelativeTimeTicker));
    yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new IncrementTicker));
    m_history.setLength(HistoryLength::samples(DefaultHistorySamples));
    for (int i = 0; i < DefaultHistorySamples; ++i)
        m_history.append(i - DefaultHistorySamples, {});
    xAxis->setRange(-DefaultHistorySamples, -1);
    yAxis->setRange(-1, 1);

    // The legend gets a row of its own above the plot, centred between two
    // empty cells that take the free width.
    axisRect()->insetLayout()->take(legend);
    plotLayout()->insertRow(0);
    m_legendRow = new QCPLayoutGrid;
    plotLayout()->addElement(0, 0, m_legendRow);
    plotLayout()->setRowStretchFactor(0, 0.001);
    plotLayout()->setRowSpacing(0);
    m_legendRow->addElement(0, 0, new QCPLayoutElement(this));
    m_legendRow->addElement(0, 1, legend);
    m_legendRow->addElement(0, 2, new QCPLayoutElement(this));
    m_legendRow->setColumnStretchFactor(1, 0.001);
    m_legendRow->setMargins(QMargins(0, CornerMargin, 0, 0));
    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setSizeConstraintRect(QCPLayoutElement::scrOuterRect);
    legend->setBrush(LegendGrey);
    legend->setTextColor(Qt::white);
    legend->setBorderPen(QPen(Qt::black));
    legend->setIconSize(22, 10);
    legend->setVisible(true);

    m_valueTitleFont = yAxis->labelFont();
    if (m_valueTitleFont.pointSizeF() <= 0)
        m_valueTitleFont.setPointSizeF(9);
    // The value title and the label density follow the axis lengths of the
    // last layout, before every redraw (resizes included).
    connect(this, &QCustomPlot::beforeReplot, this, [this] {
        const QRect plot = axisRect()->rect();
        fitValueTitle(plot.height());
        yAxis->ticker()->setTickCount(std::max(2, plot.height() / ValueLabelSpacing));
        xAxis->ticker()->setTickCount(std::max(2, plot.width() / TimeLabelSpacing));
        syncShown(); // a zoom or pan replots on its own
    });

    // A zoom or pan of a paused chart draws the samples of the new view.
    connect(xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            [this] { m_shownChanged = true; });

    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(RedrawIntervalMs);
    connect(&m_redrawTimer, &QTimer::timeout, this, &LiveChart::redrawTick);
}

int LiveChart::addSeries(const QString &title, const QColor &colour)
{
    QCPGraph *series = addGraph();
    series->setName(title);
    // One pixel: a thicker antialiased line takes about five times as long to draw.
    series->setPen(QPen(colour, 1));
    series->setAdaptiveSampling(false);
    m_history.addSeries();
    if (m_frozenHistory)
        m_frozenHistory->addSeries();
    markShownChanged();
    rebuildLegend();
    requestRedraw();
    return seriesCount() - 1;
}

const std::vector<HistoryLength> &LiveChart::historyLengths()
{
    static const std::vector<HistoryLength> lengths{
        HistoryLength::samples(DefaultHistorySamples), HistoryLength::seconds(10),
        HistoryLength::seconds(60)};
    return lengths;
}

void LiveChart::setHistoryLength(HistoryLength length)
{
    if (length == m_history.length())
        return;
    m_history.setLength(length);
    if (m_frozen)
        return; // the frozen view stays; the live one follows on thawing
    xAxis->setRange(m_history.key(0), lastKey());
    markShownChanged();
}

void LiveChart::markShownChanged()
{
    m_shownChanged = true;
    requestRedraw();
}

void LiveChart::addSample(std::span<const double> values, double keyStep)
{
    const double key = lastKey() + keyStep;
    m_history.append(key, values);
    if (m_frozen)
        return;
    xAxis->setRange(m_history.key(0), key);
    if (m_timed)
        static_cast<RelativeTimeTicker *>(xAxis->ticker().data())->reference = key;
    markShownChanged();
}

void LiveChart::addSampleAt(std::span<const double> values, double seconds)
{
    if (!m_timed) {
        m_timed = true;
        const size_t count = m_history.size();
        for (size_t age = 0; age < count; ++age)
            m_history.setKey(count - 1 - age, seconds - double(age + 1) * StartUpSpacingSeconds);
        setTimeIncrement(0);
    }
    // Keys stay sorted even if two decodes share a clock reading.
    addSample(values, std::max(0.0, seconds - lastKey()));
}

double LiveChart::timeReference() const
{
    return m_timed ? shownKeyRange().upper : 0;
}

void LiveChart::setFrozen(bool frozen)
{
    if (frozen == m_frozen)
        return;
    m_frozen = frozen;
    incrementTicker(xAxis)->freeWhenNarrow = frozen;
    if (frozen) {
        m_heldValueRange = yAxis->range();
        m_frozenHistory = m_history;
        return;
    }
    m_frozenHistory.reset();
    markShownChanged();
    xAxis->setRange(m_history.key(0), lastKey());
    if (m_timed)
        static_cast<RelativeTimeTicker *>(xAxis->ticker().data())->reference = lastKey();
    if (!m_autoScale && !m_fit)
        yAxis->setRange(m_heldValueRange);
    requestRedraw();
}

QCPRange LiveChart::shownKeyRange() const
{
    const SampleHistory &shown = shownHistory();
    return QCPRange(shown.key(0), shown.key(shown.size() - 1));
}

QCPRange LiveChart::liveValueRange() const
{
    if (m_fit)
        return m_manualRange;
    return m_frozen ? m_heldValueRange : yAxis->range();
}

void LiveChart::setLiveValueRange(const QCPRange &range)
{
    if (m_fit)
        m_manualRange = range;
    else if (m_frozen)
        m_heldValueRange = range;
    else
        yAxis->setRange(range);
}

void LiveChart::syncShown() const
{
    if (!m_shownChanged)
        return;
    m_shownChanged = false;
    // The points of the view, at most two per pixel column; the containers
    // are overwritten in place when the count stays, so a steady live chart
    // allocates nothing.
    const SampleHistory &shown = shownHistory();
    const QCPRange view = xAxis->range();
    const int columns = axisRect()->width() > 0 ? axisRect()->width() : 1000;
    for (int s = 0; s < seriesCount(); ++s) {
        shown.decimate(s, view.lower, view.upper, columns, DrawEverySampleUpTo, m_points);
        QCPGraphDataContainer &data = *graph(s)->data();
        if (data.size() == int(m_points.size())) {
            auto out = data.begin();
            for (const HistoryPoint &p : m_points) {
                out->key = p.key;
                out->value = p.value;
                ++out;
            }
            continue;
        }
        m_graphPoints.resize(qsizetype(m_points.size()));
        for (size_t i = 0; i < m_points.size(); ++i)
            m_graphPoints[qsizetype(i)] = QCPGraphData(m_points[i].key, m_points[i].value);
        data.set(m_graphPoints, true);
    }
}

double LiveChart::lastKey() const
{
    return m_history.key(m_history.size() - 1);
}

double LiveChart::valueAt(int series, int age) const
{
    if (series < 0 || series >= seriesCount() || age < 0 || size_t(age) >= m_history.size())
        return 0;
    return m_history.value(series, m_history.size() - 1 - size_t(age));
}

void LiveChart::setAxisTitles(const QString &value, const QString &time)
{
    m_valueTitle = value;
    m_valueTitleRoom = -1;
    yAxis->setLabel(value);
    xAxis->setLabel(time);
    if (axisRect()->height() > 0)
        fitValueTitle(axisRect()->height());
    requestRedraw();
}

void LiveChart::fitValueTitle(int room)
{
    if (room == m_valueTitleRoom || m_valueTitle.isEmpty() || room <= 0)
        return;
    m_valueTitleRoom = room;
    // A title longer than its axis goes on two lines, then gets smaller.
    QString text = m_valueTitle;
    QFont font = m_valueTitleFont;
    const auto width = [&text](const QFont &f) {
        const QFontMetrics metrics(f);
        int widest = 0;
        for (const QString &line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        return widest;
    };
    if (width(font) > room) {
        const int middle = int(text.size()) / 2;
        int split = -1;
        for (int i = 0; i < text.size(); ++i)
            if (text[i] == QLatin1Char(' ')
                && (split < 0 || std::abs(i - middle) < std::abs(split - middle)))
                split = i;
        // "a - b" breaks after the dash.
        if (split > 0 && text.mid(split, 3) == QLatin1String(" - "))
            split += 2;
        if (split > 0)
            text[split] = QLatin1Char('\n');
        constexpr double SmallestPoints = 6.5;
        while (width(font) > room && font.pointSizeF() - 0.5 >= SmallestPoints)
            font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    yAxis->setLabel(text);
    yAxis->setLabelFont(font);
}

void LiveChart::setValueRange(double minimum, double maximum)
{
    if (maximum < minimum)
        return;
    m_autoScale = false;
    if (maximum == minimum)
        setLiveValueRange(QCPRange(minimum - 1, maximum + 1));
    else
        setLiveValueRange(QCPRange(minimum, maximum));
    requestRedraw();
}

void LiveChart::setValueMinimum(double minimum)
{
    const QCPRange range = liveValueRange();
    if (minimum >= range.upper)
        return;
    m_autoScale = false;
    setLiveValueRange(QCPRange(minimum, range.upper));
    requestRedraw();
}

void LiveChart::setValueMaximum(double maximum)
{
    const QCPRange range = liveValueRange();
    if (maximum <= range.lower)
        return;
    m_autoScale = false;
    setLiveValueRange(QCPRange(range.lower, maximum));
    requestRedraw();
}

void LiveChart::setValueAutoScale(bool on)
{
    m_autoScale = on;
    if (on || m_fit)
        applyAutoScale();
    requestRedraw();
}

void LiveChart::applyAutoScale()
{
    syncShown(); // the column extremes are the data's extremes
    yAxis->rescale(true);
    if (!m_fit)
        return;
    // Fit: a margin, so that the extremes are not drawn on the frame.
    const QCPRange range = yAxis->range();
    const double margin = range.size() > 0 ? range.size() * 0.05 : 1;
    yAxis->setRange(range.lower - margin, range.upper + margin);
}

void LiveChart::setFit(bool on)
{
    if (on == m_fit)
        return;
    if (on) {
        m_manualRange = liveValueRange();
        m_fit = true;
        applyAutoScale();
    } else {
        m_fit = false;
        if (!m_autoScale) {
            if (m_frozen)
                m_heldValueRange = m_manualRange;
            yAxis->setRange(m_manualRange);
        }
    }
    requestRedraw();
}

void LiveChart::fitOnce()
{
    const bool fit = m_fit;
    m_fit = true;
    applyAutoScale();
    m_fit = fit;
    // A paused chart goes back to its live axis when it resumes.
    if (!fit && !m_autoScale && !m_frozen)
        setLiveValueRange(yAxis->range());
    requestRedraw();
}

void LiveChart::setValueIncrement(double increment)
{
    IncrementTicker *ticker = incrementTicker(yAxis);
    ticker->increment = increment;
    if (increment > 0)
        ticker->setTickStep(increment);
    requestRedraw();
}

void LiveChart::setTimeIncrement(double increment)
{
    IncrementTicker *ticker = incrementTicker(xAxis);
    ticker->increment = increment;
    if (increment > 0)
        ticker->setTickStep(increment);
    requestRedraw();
}

double LiveChart::valueIncrement() const
{
    return incrementTicker(yAxis)->increment;
}

double LiveChart::timeIncrement() const
{
    return incrementTicker(xAxis)->increment;
}

void LiveChart::setGroupedValueLabels(int decimals)
{
    incrementTicker(yAxis)->groupedDecimals = decimals;
    requestRedraw();
}

void LiveChart::setSeriesVisible(int index, bool visible)
{
    if (index < 0 || index >= seriesCount() || graph(index)->visible() == visible)
        return;
    graph(index)->setVisible(visible);
    rebuildLegend();
    requestRedraw();
}

bool LiveChart::isSeriesVisible(int index) const
{
    return index >= 0 && index < seriesCount() && graph(index)->visible();
}

void LiveChart::rebuildLegend()
{
    legend->clearItems();
    for (int s = seriesCount() - 1; s >= 0; --s)
        if (graph(s)->visible())
            legend->addItem(new QCPPlottableLegendItem(legend, graph(s)));
    legend->setVisible(legend->itemCount() > 0);
    // The legend keeps its natural width; the empty cells beside it take the rest.
    legend->setMaximumSize(legend->minimumOuterSizeHint());
}

QStringList LiveChart::legendTitles() const
{
    QStringList titles;
    for (int i = 0; i < legend->itemCount(); ++i)
        if (auto *item = qobject_cast<QCPPlottableLegendItem *>(legend->item(i)))
            titles << item->plottable()->name();
    return titles;
}

void LiveChart::addCornerButton(QAbstractButton *button, int index)
{
    if (!m_overlay) {
        m_overlay = new QGridLayout(this);
        m_overlay->setContentsMargins(CornerMargin, CornerMargin, CornerMargin, CornerMargin);
        m_cornerRow = new QHBoxLayout;
        m_cornerRow->setSpacing(CornerMargin);
        m_overlay->addLayout(m_cornerRow, 0, 0, Qt::AlignTop | Qt::AlignRight);
    }
    button->setParent(this);
    m_cornerRow->insertWidget(index, button);
    // The legend row is as high as the button, so the button never covers the
    // plot, and its right cell as wide as every corner button (shown or not),
    // so the buttons never cover the legend.
    m_legendRow->setMinimumSize(0, button->sizeHint().height() + CornerMargin);
    int width = CornerMargin;
    for (int i = 0; i < m_cornerRow->count(); ++i)
        if (QWidget *widget = m_cornerRow->itemAt(i)->widget())
            width += widget->sizeHint().width() + CornerMargin;
    m_legendRow->element(0, 2)->setMinimumSize(width, 0);
}

void LiveChart::requestRedraw()
{
    if (!m_redrawTimer.isActive())
        m_redrawTimer.start();
}

void LiveChart::redrawTick()
{
    if (!isVisible()) {
        m_redrawWhenShown = true;
        return;
    }
    m_redrawWhenShown = false;
    syncShown();
    if (m_autoScale || m_fit)
        applyAutoScale();
    replot(rpQueuedRefresh);
}

void LiveChart::redrawNow()
{
    m_redrawTimer.stop();
    m_redrawWhenShown = false;
    syncShown();
    if (m_autoScale || m_fit)
        applyAutoScale();
    replot(rpImmediateRefresh);
}

void LiveChart::resizeEvent(QResizeEvent *event)
{
    // The axis rectangle changes by as much as the chart: fit the title to it
    // before the redraw that the resize makes.
    m_shownChanged = true; // as many columns as the new width
    const int oldHeight = event->oldSize().height();
    if (oldHeight > 0 && axisRect()->height() > 0)
        fitValueTitle(axisRect()->height() + event->size().height() - oldHeight);
    QCustomPlot::resizeEvent(event);
}

void LiveChart::showEvent(QShowEvent *event)
{
    QCustomPlot::showEvent(event);
    if (m_redrawWhenShown)
        requestRedraw();
}
