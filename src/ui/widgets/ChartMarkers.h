#pragma once

#include <QString>

class LiveChart;

/// Marks a moment on the live charts: a dashed vertical line at the newest
/// sample with a short label at its top ("101", "+2 loops"). A marker scrolls
/// with the samples and goes once it has left the chart.
namespace ChartMarkers {

void mark(LiveChart *chart, const QString &label);
/// The markers a chart carries now.
int count(const LiveChart *chart);

} // namespace ChartMarkers
