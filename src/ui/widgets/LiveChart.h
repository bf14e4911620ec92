// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "record/SampleHistory.h"

#include <qcustomplot.h>

#include <QTimer>

#include <optional>
#include <span>
#include <vector>

class QAbstractButton;
class QGridLayout;
class QHBoxLayout;

/// A live line chart: the series keep their samples in a SampleHistory (the
/// last 200 samples by default, or the last 10 s or 60 s), a legend on grey
/// sits above the plot, the value axis is manual or scaled to the data, and
/// redraws are batched on a timer that runs only when something changed (a
/// hidden chart redraws when shown). A sample only goes into the ring; the
/// graphs get the points to draw at the redraw, thinned to at most two per
/// pixel column (each column's extremes) when there are more. The cursor
/// read-out and the export read every sample from the ring.
class LiveChart : public QCustomPlot
{
    Q_OBJECT

public:
    /// The history a chart starts with, in samples.
    static constexpr int DefaultHistorySamples = 200;
    /// The lengths a chart offers.
    static const std::vector<HistoryLength> &historyLengths();
    /// Redraws follow changes by at most this delay (about 25 frames a second).
    static constexpr int RedrawIntervalMs = 40;

    explicit LiveChart(const QString &name, QWidget *parent = nullptr);

    /// Adds a series (after the existing ones) drawn in \a colour, with the
    /// chart's samples so far (x -200 .. -1 before the first one) at y = 0;
    /// returns its index.
    int addSeries(const QString &title, const QColor &colour);
    int seriesCount() const { return m_history.seriesCount(); }
    /// The graph of a series, its points as the next redraw draws them.
    QCPGraph *series(int index) const
    {
        syncShown();
        return graph(index);
    }

    /// The history length; a shorter one drops the oldest samples at once.
    void setHistoryLength(HistoryLength length);
    HistoryLength historyLength() const { return m_history.length(); }
    /// Every sample held (live), and every sample shown (the frozen copy
    /// while frozen): what the export and the cursor read.
    const SampleHistory &history() const { return m_history; }
    const SampleHistory &shownHistory() const
    {
        return m_frozenHistory ? *m_frozenHistory : m_history;
    }

    /// One sample: every series drops its oldest point and gets \a values[i]
    /// (series order; missing values count as 0) at the last x plus \a keyStep.
    void addSample(std::span<const double> values, double keyStep = 1);
    /// One sample decoded at \a seconds on the monotonic clock. From the first
    /// one on the chart is timed: the time axis reads seconds relative to the
    /// newest sample shown (the start-up points are moved to end just before it).
    void addSampleAt(std::span<const double> values, double seconds);
    double lastKey() const;
    /// Timed charts: the key the time axis counts from (the newest sample
    /// shown); 0 for a chart that counts samples.
    double timeReference() const;
    bool isTimed() const { return m_timed; }
    /// A frozen chart keeps showing what it showed: samples and value axis
    /// changes go on in the ring and take effect when it thaws, which returns
    /// to the live view.
    void setFrozen(bool frozen);
    bool isFrozen() const { return m_frozen; }
    /// The keys of the oldest and the newest point shown (live or frozen).
    QCPRange shownKeyRange() const;
    /// The value of \a series \a age samples back (0: the newest).
    double valueAt(int series, int age = 0) const;

    void setAxisTitles(const QString &value, const QString &time);
    /// The value axis title as given (the axis may show it on two lines, or
    /// smaller, when the axis is too short for it).
    QString valueTitle() const { return m_valueTitle; }
    /// The value axis becomes manual over \a minimum .. \a maximum. Equal ends
    /// give a span of 2 centred on them; a reversed pair changes nothing.
    void setValueRange(double minimum, double maximum);
    /// One end of the manual value axis; ignored when it would pass the other end.
    void setValueMinimum(double minimum);
    void setValueMaximum(double maximum);
    QCPRange valueRange() const { return yAxis->range(); }
    /// Automatic scaling: the value axis follows the visible series at every redraw.
    void setValueAutoScale(bool on);
    bool valueAutoScale() const { return m_autoScale; }
    /// Fit: the value axis fits the data shown (with a small margin) at every
    /// redraw, whatever the manual range says; the manual range set meanwhile
    /// comes back when Fit goes off.
    void setFit(bool on);
    bool isFit() const { return m_fit; }
    /// Fits the value axis to the data shown once (Fit on or off).
    void fitOnce();

    /// Smallest distance between two value (time) axis labels; a multiple of
    /// it is used when the labels would crowd. 0: chosen freely.
    void setValueIncrement(double increment);
    void setTimeIncrement(double increment);
    double valueIncrement() const;
    double timeIncrement() const;
    /// Value labels with thousands separators and at most \a decimals decimals
    /// (trailing zeros dropped); -1 returns to plain labels.
    void setGroupedValueLabels(int decimals);

    void setSeriesVisible(int index, bool visible);
    bool isSeriesVisible(int index) const;
    /// Series titles in the legend, left to right (the series order inverted,
    /// visible series only).
    QStringList legendTitles() const;

    /// Puts \a button in the chart's top-right corner, beside the legend, at
    /// \a index in the row of corner buttons (-1: last).
    void addCornerButton(QAbstractButton *button, int index = -1);

    /// Schedules a redraw for the next timer tick (nothing when already due).
    void requestRedraw();
    bool redrawPending() const { return m_redrawTimer.isActive() || m_redrawWhenShown; }
    /// Redraws and repaints at once (measurements, screenshots).
    void redrawNow();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void syncShown() const;
    void markShownChanged();
    void rebuildLegend();
    void redrawTick();
    void applyAutoScale();
    void fitValueTitle(int room);
    QCPRange liveValueRange() const;
    void setLiveValueRange(const QCPRange &range);

    bool m_timed = false;
    SampleHistory m_history;
    /// While frozen: the samples as they were when the chart froze.
    std::optional<SampleHistory> m_frozenHistory;
    /// The graphs' points no longer match the samples or the view.
    mutable bool m_shownChanged = true;
    mutable std::vector<HistoryPoint> m_points;
    mutable QVector<QCPGraphData> m_graphPoints;

    QString m_valueTitle;
    QFont m_valueTitleFont;
    int m_valueTitleRoom = -1;
    QCPLayoutGrid *m_legendRow = nullptr;
    QGridLayout *m_overlay = nullptr;
    QHBoxLayout *m_cornerRow = nullptr;
    QTimer m_redrawTimer;
    bool m_redrawWhenShown = false;
    bool m_autoScale = false;
    bool m_fit = false;
    QCPRange m_manualRange; ///< the value axis to show once Fit goes off
    bool m_frozen = false;
    QCPRange m_heldValueRange; ///< the value axis to show when thawed
};
