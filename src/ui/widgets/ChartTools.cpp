// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/ChartTools.h"

#include "base/NumberText.h"
#include "platform/AtomicFile.h"
#include "ui/widgets/LiveChart.h"
#include "ui/widgets/MessageBoxes.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QActionGroup>
#include <QMenu>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

/// A paused view shows at least this many samples.
constexpr int SmallestView = 10;
/// Room between the cursor line and its read-out, and from the plot's top.
constexpr int ReadoutGap = 6;
const QColor CursorColour(0x40, 0x40, 0x40);
/// Times of a timed chart in the read-out and the CSV: milliseconds.
constexpr int TimeDecimals = 3;

ChartTools::FileChooser &fileChooser()
{
    static ChartTools::FileChooser chooser;
    return chooser;
}

QString chooseFile(QWidget *parent, const QString &caption, const QString &filter)
{
    if (const ChartTools::FileChooser &chooser = fileChooser())
        return chooser(parent, caption, filter);
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

/// The sample of \a history nearest to \a key.
size_t nearestSample(const SampleHistory &history, double key)
{
    const size_t at = history.lowerBound(key);
    if (at == history.size())
        return at - 1;
    if (at > 0 && key - history.key(at - 1) < history.key(at) - key)
        return at - 1;
    return at;
}

struct Reading
{
    double key = 0;
    std::vector<int> series; ///< the shown series, in legend order
    std::vector<QString> titles;
    std::vector<double> values;
};

/// What the cursor reads at pixel column \a x: the nearest sample's time and
/// the values of the shown series there, in legend order (every sample
/// counts, not only those drawn).
Reading readAt(const LiveChart &chart, int x)
{
    Reading reading;
    const SampleHistory &history = chart.shownHistory();
    const size_t sample = nearestSample(history, chart.xAxis->pixelToCoord(x));
    reading.key = history.key(sample);
    for (int s = chart.seriesCount() - 1; s >= 0; --s) {
        if (!chart.isSeriesVisible(s))
            continue;
        reading.series.push_back(s);
        reading.titles.push_back(chart.graph(s)->name());
        reading.values.push_back(history.value(s, sample));
    }
    return reading;
}

} // namespace

ChartTools::FileChooser ChartTools::setFileChooser(FileChooser chooser)
{
    FileChooser previous = std::move(fileChooser());
    fileChooser() = std::move(chooser);
    return previous;
}

ChartTools::ChartTools(LiveChart *chart, const QString &pageName, QAbstractButton *resetButton)
    : QObject(chart)
    , m_chart(chart)
    , m_pause(new QPushButton(QStringLiteral("Pause")))
    , m_fit(new QPushButton(QStringLiteral("Fit")))
    , m_reset(resetButton)
    , m_menu(new QMenu(chart))
{
    setObjectName(QStringLiteral("ChartTools"));
    m_pause->setObjectName(QStringLiteral("BChartPause") + pageName);
    chart->addCornerButton(m_pause, 0);
    connect(m_pause, &QPushButton::clicked, this, [this] { setPaused(!m_paused); });
    m_fit->setObjectName(QStringLiteral("BChartFit") + pageName);
    m_fit->setCheckable(true);
    m_fit->setToolTip(QStringLiteral("The value axis follows the data shown"));
    chart->addCornerButton(m_fit, 1);
    connect(m_fit, &QPushButton::toggled, chart, &LiveChart::setFit);
    if (!m_reset) {
        // Only a paused chart has a view to restore.
        auto *reset = new QPushButton(QStringLiteral("Reset scale"));
        reset->setObjectName(QStringLiteral("BChartReset") + pageName);
        reset->setVisible(false);
        chart->addCornerButton(reset);
        m_reset = reset;
        m_ownReset = true;
    }
    connect(m_reset, &QAbstractButton::clicked, this, [this] {
        if (m_paused)
            resetView();
        else if (m_chart->isFit())
            m_chart->fitOnce();
    });

    // Zoom and pan act on both axes, and only while paused.
    chart->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    chart->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    connect(chart->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            &ChartTools::keepViewInHistory);

    m_line = new QCPItemStraightLine(chart);
    m_line->setPen(QPen(CursorColour, 1, Qt::DashLine));
    m_line->setSelectable(false);
    m_label = new QCPItemText(chart);
    m_label->position->setType(QCPItemPosition::ptAbsolute);
    m_label->setTextAlignment(Qt::AlignLeft);
    m_label->setPadding(QMargins(5, 3, 5, 3));
    m_label->setBrush(QColor(255, 255, 255, 230));
    m_label->setPen(QPen(CursorColour));
    m_label->setColor(Qt::black);
    m_label->setSelectable(false);
    m_line->setVisible(false);
    m_label->setVisible(false);
    chart->setMouseTracking(true);
    chart->installEventFilter(this);
    connect(chart, &QCustomPlot::mouseMove, this,
            [this](QMouseEvent *event) { showCursorAt(event->position().toPoint()); });
    connect(chart, &QCustomPlot::beforeReplot, this, &ChartTools::updateCursor);

    m_menu->setObjectName(QStringLiteral("PopupChart") + pageName);
    QAction *image = m_menu->addAction(QStringLiteral("Save image..."));
    image->setObjectName(QStringLiteral("ActionChartSaveImage"));
    connect(image, &QAction::triggered, this, [this] {
        chooseAndWrite(QStringLiteral("Save image"), QStringLiteral("PNG images (*.png)"),
                       QStringLiteral("png"), &ChartTools::saveImage);
    });
    QAction *csv = m_menu->addAction(QStringLiteral("Export CSV..."));
    csv->setObjectName(QStringLiteral("ActionChartExportCsv"));
    connect(csv, &QAction::triggered, this, [this] {
        chooseAndWrite(QStringLiteral("Export CSV"), QStringLiteral("CSV files (*.csv)"),
                       QStringLiteral("csv"), &ChartTools::exportCsv);
    });
    // The history length: every sample of it is kept, drawn thinned.
    QMenu *lengths = m_menu->addMenu(QStringLiteral("History length"));
    lengths->setObjectName(QStringLiteral("PopupChartHistory") + pageName);
    auto *group = new QActionGroup(lengths);
    for (const HistoryLength &length : LiveChart::historyLengths()) {
        QAction *action = lengths->addAction(QString::fromStdString(length.label()));
        action->setObjectName(
            QStringLiteral("ActionChartHistory%1%2")
                .arg(length.amount)
                .arg(length.unit == HistoryLength::Unit::Seconds ? QStringLiteral("s")
                                                                 : QString()));
        action->setCheckable(true);
        action->setChecked(length == m_chart->historyLength());
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, length] { m_chart->setHistoryLength(length); });
    }
    chart->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chart, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_menu->popup(m_chart->mapToGlobal(pos)); });
    // Once the menu has gone, the cursor stays only if the mouse is still over the plot.
    connect(m_menu, &QMenu::aboutToHide, this, [this] {
        if (!m_chart->rect().contains(m_chart->mapFromGlobal(QCursor::pos())))
            hideCursor();
    });
}

void ChartTools::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    m_chart->setFrozen(paused);
    m_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (m_ownReset)
        m_reset->setVisible(paused);
    m_chart->setInteractions(paused ? QCP::Interactions(QCP::iRangeZoom | QCP::iRangeDrag)
                                    : QCP::Interactions());
    m_chart->requestRedraw();
}

void ChartTools::resetView()
{
    m_chart->xAxis->setRange(m_chart->shownKeyRange());
    m_chart->fitOnce();
    m_chart->requestRedraw();
}

void ChartTools::keepViewInHistory(const QCPRange &range)
{
    if (!m_paused || m_clamping)
        return;
    // The view stays inside the frozen history and never narrower than a few samples.
    const QCPRange history = m_chart->shownKeyRange();
    const double step =
        history.size() / double(std::max<size_t>(1, m_chart->shownHistory().size() - 1));
    const double size = std::clamp(range.size(), std::min(step * SmallestView, history.size()),
                                   history.size());
    const double lower = std::clamp(range.lower, history.lower, history.upper - size);
    if (lower == range.lower && lower + size == range.upper)
        return;
    m_clamping = true;
    m_chart->xAxis->setRange(lower, lower + size);
    m_clamping = false;
}

ChartColumns ChartTools::shownColumns() const
{
    ChartColumns columns;
    columns.timeTitle = m_chart->xAxis->label();
    if (m_chart->seriesCount() == 0)
        return columns;
    // A timed chart: seconds relative to the newest sample, as the axis reads.
    const double reference = m_chart->timeReference();
    if (m_chart->isTimed())
        columns.timeDecimals = TimeDecimals;
    // Every sample held, not only those drawn.
    const SampleHistory &history = m_chart->shownHistory();
    columns.keys.reserve(history.size());
    for (size_t i = 0; i < history.size(); ++i)
        columns.keys.push_back(history.key(i) - reference);
    for (int s = 0; s < m_chart->seriesCount(); ++s) {
        if (!m_chart->isSeriesVisible(s))
            continue;
        ChartColumns::Series series{m_chart->graph(s)->name(), {}};
        series.values.reserve(history.size());
        for (size_t i = 0; i < history.size(); ++i)
            series.values.push_back(history.value(s, i));
        columns.series.push_back(std::move(series));
    }
    return columns;
}

void ChartTools::chooseAndWrite(const QString &caption, const QString &filter,
                                const QString &suffix, bool (ChartTools::*write)(const QString &))
{
    QString path = chooseFile(m_chart->window(), caption, filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + suffix;
    (this->*write)(path);
}

bool ChartTools::writeFile(const QString &path, const QByteArray &bytes, const QString &what)
{
    QString error;
    if (writeFileAtomically(path, bytes, &error))
        return true;
    MessageBoxes::show(m_chart->window(), QStringLiteral("Tarvine"),
                       QStringLiteral("Cannot write the %1 to %2: %3.\nThe file there is unchanged.")
                           .arg(what, QDir::toNativeSeparators(path), error),
                       MessageIcon::Warning);
    return false;
}

bool ChartTools::saveImage(const QString &path)
{
    // The plot as shown, cursor read-out included; the corner buttons are not part of it.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!m_chart->toPixmap().save(&buffer, "PNG"))
        bytes.clear();
    return writeFile(path, bytes, QStringLiteral("image"));
}

bool ChartTools::exportCsv(const QString &path)
{
    return writeFile(path, ChartCsv::compose(shownColumns()), QStringLiteral("CSV file"));
}

void ChartTools::showCursorAt(const QPoint &pixel)
{
    if (!m_chart->axisRect()->rect().contains(pixel)) {
        hideCursor();
        return;
    }
    m_cursorShown = true;
    m_cursorPixel = pixel;
    m_chart->requestRedraw();
}

void ChartTools::hideCursor()
{
    if (!m_cursorShown)
        return;
    m_cursorShown = false;
    m_chart->requestRedraw();
}

QString ChartTools::cursorText() const
{
    if (!m_cursorShown)
        return QString();
    const Reading reading = readAt(*m_chart, m_cursorPixel.x());
    return ChartCsv::readout(m_chart->xAxis->label(), reading.key - m_chart->timeReference(),
                             reading.titles, reading.values, localeDecimalSeparator(),
                             m_chart->isTimed() ? TimeDecimals : -1);
}

void ChartTools::updateCursor()
{
    // Run before every redraw: a live chart moves under a still mouse.
    m_line->setVisible(m_cursorShown);
    m_label->setVisible(m_cursorShown);
    while (int(m_tracers.size()) < m_chart->seriesCount()) {
        // Placed on the sample read (which the thinned drawing may not hold).
        auto *tracer = new QCPItemTracer(m_chart);
        tracer->setStyle(QCPItemTracer::tsCircle);
        tracer->setSize(7);
        tracer->setPen(QPen(m_chart->graph(int(m_tracers.size()))->pen().color(), 1.5));
        tracer->setBrush(Qt::white);
        tracer->setSelectable(false);
        m_tracers.push_back(tracer);
    }
    const Reading reading = m_cursorShown ? readAt(*m_chart, m_cursorPixel.x()) : Reading{};
    for (QCPItemTracer *tracer : m_tracers)
        tracer->setVisible(false);
    for (size_t i = 0; i < reading.series.size(); ++i) {
        QCPItemTracer *tracer = m_tracers[size_t(reading.series[i])];
        tracer->setVisible(!std::isnan(reading.values[i]));
        tracer->position->setCoords(reading.key, reading.values[i]);
    }
    if (!m_cursorShown)
        return;
    m_line->point1->setCoords(reading.key, 0);
    m_line->point2->setCoords(reading.key, 1);
    m_label->setText(cursorText());
    // The read-out sits beside the line, on the side with more room.
    const QRect plot = m_chart->axisRect()->rect();
    const double x = m_chart->xAxis->coordToPixel(reading.key);
    const bool left = x > plot.center().x();
    m_label->setPositionAlignment(Qt::AlignTop | (left ? Qt::AlignRight : Qt::AlignLeft));
    m_label->position->setCoords(left ? x - ReadoutGap : x + ReadoutGap, plot.top() + ReadoutGap);
}

bool ChartTools::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_chart && event->type() == QEvent::Leave && !m_menu->isVisible())
        hideCursor();
    return QObject::eventFilter(watched, event);
}
