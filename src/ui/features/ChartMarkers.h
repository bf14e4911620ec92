#pragma once

#include <QString>

class LiveChart;
class QWidget;

/// Marks a moment on the live charts: a dashed vertical line at the newest
/// sample with a short label at its top ("101", "+2 loops"). A marker scrolls
/// with the samples and goes once it has left the chart.
namespace ChartMarkers {

/// Marks every live chart under \a root (the main window).
void markAll(QWidget *root, const QString &label);
void mark(LiveChart *chart, const QString &label);
/// The markers a chart carries now.
int count(const LiveChart *chart);

} // namespace ChartMarkers
