// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/ChartCsv.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <vector>

class LiveChart;
class QAbstractButton;
class QCPItemStraightLine;
class QCPItemText;
class QCPItemTracer;
class QCPRange;
class QMenu;
class QPushButton;

/// The tools of one live chart, built on QCustomPlot's own interactions and
/// items: "Pause"/"Resume" in the chart's corner (a paused chart keeps what it
/// shows while the samples go on behind it; the wheel zooms and a drag pans
/// both axes, "Reset scale" shows the whole history again, fitted), "Fit"
/// beside it (the value axis follows the data shown), a cursor
/// read-out under the mouse (a vertical line, the time and the value of every
/// shown series), and a context menu with "Save image..." and "Export CSV...",
/// both written atomically.
class ChartTools : public QObject
{
    Q_OBJECT

public:
    /// Asks for the file to write; an empty answer cancels.
    using FileChooser =
        std::function<QString(QWidget *parent, const QString &caption, const QString &filter)>;
    /// Installs \a chooser in place of the file dialog (an empty one restores
    /// it) and returns the chooser it replaces.
    static FileChooser setFileChooser(FileChooser chooser);

    /// Tools for \a chart; \a pageName completes the controls' names
    /// (`BChartPause<pageName>`, `BChartReset<pageName>`). A chart that has a
    /// "Reset scale" button already passes it as \a resetButton: it then also
    /// restores the paused view, and no second one is made.
    ChartTools(LiveChart *chart, const QString &pageName, QAbstractButton *resetButton = nullptr);

    QPushButton *pauseButton() const { return m_pause; }
    QPushButton *fitButton() const { return m_fit; }
    QAbstractButton *resetButton() const { return m_reset; }
    QMenu *contextMenu() const { return m_menu; }

    bool isPaused() const { return m_paused; }
    void setPaused(bool paused);
    /// The paused view shows the whole history again.
    void resetView();

    /// The points shown now: every point of every shown series, in series order.
    ChartColumns shownColumns() const;
    /// Writes the chart as shown (PNG) or its shown points (CSV) to \a path; a
    /// failure says so in a box, keeps the old file and returns false.
    bool saveImage(const QString &path);
    bool exportCsv(const QString &path);

    /// The cursor read-out at \a pixel (chart coordinates), as the mouse puts it.
    void showCursorAt(const QPoint &pixel);
    void hideCursor();
    bool isCursorShown() const { return m_cursorShown; }
    /// The read-out as the next redraw shows it.
    QString cursorText() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateCursor();
    void keepViewInHistory(const QCPRange &range);
    void chooseAndWrite(const QString &caption, const QString &filter, const QString &suffix,
                        bool (ChartTools::*write)(const QString &));
    bool writeFile(const QString &path, const QByteArray &bytes, const QString &what);

    LiveChart *m_chart;
    QPushButton *m_pause;
    QPushButton *m_fit;
    QAbstractButton *m_reset;
    QMenu *m_menu;
    bool m_ownReset = false;
    bool m_paused = false;
    bool m_clamping = false;

    bool m_cursorShown = false;
    QPoint m_cursorPixel;
    QCPItemStraightLine *m_line;
    QCPItemText *m_label;
    std::vector<QCPItemTracer *> m_tracers;
};
