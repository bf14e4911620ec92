// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

class LiveChart;

/// Marks a moment on the live charts: a dashed vertical line at the newest
/// sample with a short label at its top ("101", "+2 loops"). A marker scrolls
/// with the samples and goes once it has left the chart.
namespace ChartMarkers {

void mark(LiveChart *chart, const QString &label);
/// The same at \a key (a decode time of a timed chart); nothing when that
/// moment has already left the chart.
void markAt(LiveChart *chart, double key, const QString &label);
/// The markers a chart carries now.
int count(const LiveChart *chart);

} // namespace ChartMarkers
