// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"
#include "panel/AxisSetting.h"
#include "panel/ChartScaling.h"

#include <QObject>

#include <array>

class LiveChart;
class QPushButton;
class QTabWidget;
class WindowContext;
struct ModelProfile;

/// The graph pages of the main window (`PageControlGraph`): position, speed,
/// command output, current sense and position in micrometres, fed by the
/// decoder's chart samples while "Graphic" is checked, with the self-widening
/// speed and current axes and their "Reset scale".
class GraphsPanel : public QObject
{
    Q_OBJECT

public:
    /// Tab indexes of the pages (hidden pages keep their index).
    enum Page : int {
        PositionPage = 0,
        SpeedPage = ChartScaling::SpeedPage,
        CommandPage = 2,
        CurrentPage = ChartScaling::CurrentPage,
        MicrometrePage = 4,
    };
    static constexpr int PageCount = 5;

    /// Adds the chart tabs to \a pages, the main window's `PageControlGraph`.
    GraphsPanel(WindowContext &context, QTabWidget *pages);

    LiveChart *chart(Page page) const { return m_charts[size_t(page)]; }
    QWidget *page(Page page) const { return m_pages[size_t(page)]; }
    QPushButton *speedResetButton() const { return m_resetSpeed; }
    QPushButton *currentResetButton() const { return m_resetCurrent; }
    ChartScaling &scaling() { return m_scaling; }

    /// One sample of the live values: widens the speed and current axes,
    /// appends a point to every series and applies the series visibility.
    /// Ignored while "Graphic" is unchecked (samples still on their way).
    /// \a ticks is the decode time (HighResCounter::now()).
    void addSample(const ReceivedValues &values, qint64 ticks);

    /// The position chart's left axis follows the data (regulation modes).
    void setPositionAxisAutomatic();
    /// The position chart's left axis is fixed to \a setting.
    void setPositionAxis(const AxisSetting &setting);
    /// One end of the position chart's left axis (\a minimum: its minimum),
    /// and of the micrometre chart's unless \a micrometres is NaN.
    void setPositionAxisEnd(bool minimum, double value, double micrometres);

    /// The "Position um" tab (shown by the wavelength remote, hidden at every show
    /// of the main window).
    void setMicrometreTabVisible(bool visible);
    /// The micrometre chart's left axis, manual over \a minimum .. \a maximum.
    void setMicrometreAxis(double minimum, double maximum);
    /// The micrometre chart's value labels grouped, with at most \a decimals decimals.
    void setMicrometreLabels(int decimals);
    bool isPageVisible(Page page) const;
    /// Marks the newest sample of every chart with \a label (ChartMarkers).
    void markCharts(const QString &label);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    LiveChart *addPage(Page page, const char *tabName, const QString &caption,
                       const char *chartName);
    void BResetScaleSpeedClick();
    void BResetScaleCurrentClick();
    void tabStripReleased(bool ctrlHeld);
    void applyAxis(LiveChart *chart, const AxisSetting &setting);
    void deviceIdentified(const ModelProfile &profile);

    WindowContext &m_context;
    QTabWidget *m_tabs;
    ChartScaling m_scaling;
    std::array<QWidget *, PageCount> m_pages{};
    std::array<LiveChart *, PageCount> m_charts{};
    QPushButton *m_resetSpeed = nullptr;
    QPushButton *m_resetCurrent = nullptr;
};
