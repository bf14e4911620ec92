// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/ChartMarkers.h"

#include "ui/widgets/LiveChart.h"

namespace ChartMarkers {

namespace {

const char *const MarkerProperty = "tarvineMarker";

/// Removes the markers that scrolled out of \a chart (run before every redraw).
void prune(LiveChart *chart)
{
    // The oldest point shown, not the axis: a zoomed chart keeps its markers.
    const double oldest = chart->shownKeyRange().lower;
    for (int i = chart->itemCount() - 1; i >= 0; --i) {
        QCPAbstractItem *item = chart->item(i);
        if (!item->property(MarkerProperty).isValid())
            continue;
        if (item->property(MarkerProperty).toDouble() < oldest)
            chart->removeItem(item);
    }
}

} // namespace

void mark(LiveChart *chart, const QString &label)
{
    if (chart)
        markAt(chart, chart->lastKey(), label);
}

void markAt(LiveChart *chart, double key, const QString &label)
{
    if (!chart || key < chart->shownKeyRange().lower)
        return;
    if (!chart->property(MarkerProperty).toBool()) {
        chart->setProperty(MarkerProperty, true);
        QObject::connect(chart, &QCustomPlot::beforeReplot, chart, [chart] { prune(chart); });
    }
    auto *line = new QCPItemStraightLine(chart);
    line->point1->setCoords(key, 0);
    line->point2->setCoords(key, 1);
    line->setPen(QPen(QColor(200, 0, 200), 1, Qt::DashLine));
    line->setProperty(MarkerProperty, key);
    auto *text = new QCPItemText(chart);
    text->position->setTypeX(QCPItemPosition::ptPlotCoords);
    text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    text->position->setCoords(key, 0.02);
    text->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setText(label);
    text->setColor(QColor(200, 0, 200));
    text->setPadding(QMargins(3, 0, 0, 0));
    text->setProperty(MarkerProperty, key);
    chart->requestRedraw();
}

int count(const LiveChart *chart)
{
    int n = 0;
    for (int i = 0; i < chart->itemCount(); ++i)
        if (chart->item(i)->property(MarkerProperty).isValid())
            ++n;
    return n / 2;
}

} // namespace ChartMarkers
