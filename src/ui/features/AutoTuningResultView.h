// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/TuningResponse.h"
#include "record/StepResponse.h"

#include <QWidget>

#include <array>
#include <vector>

class QCustomPlot;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

/// The result page's response plot (PlotAutoTuning: command and speed over
/// seconds), the before/after table of the re-read registers
/// (TVAutoTuningChanges, changed rows marked), "Restore previous values" and
/// "Measure step" with the step's figures before and after (TVStepFigures).
class AutoTuningResultView : public QWidget
{
    Q_OBJECT

public:
    explicit AutoTuningResultView(QWidget *parent = nullptr);

    void showResponse(const std::vector<TuningSample> &samples);
    /// A plot of a run's command and speed, as the result page shows it.
    static QCustomPlot *makeResponsePlot(QWidget *parent, const QString &name);
    static void showResponse(QCustomPlot *plot, const std::vector<TuningSample> &samples);
    /// One row per register: its name, the value before the run and now.
    struct Row
    {
        int address = 0;
        QString name;
        QString before;
        QString after;
    };
    void showChanges(const std::vector<Row> &rows);

    QCustomPlot *plot() const { return m_plot; }
    QTableWidget *table() const { return m_table; }
    /// "Restore previous values" (BRestorePrevious) and the line that says
    /// what it did (LRestoreStatus).
    QPushButton *restoreButton() const { return m_restore; }
    void setRestoreStatus(const QString &text);

    /// "Measure step" (BMeasureStep), its size (SEStepSize), what it does
    /// (LMeasureStep) and the figures (TVStepFigures: a row per figure, the
    /// columns "Before" and "After"; empty columns until measured).
    QPushButton *measureButton() const { return m_measure; }
    QSpinBox *stepSize() const { return m_stepSize; }
    QTableWidget *figuresTable() const { return m_figures; }
    void setMeasureStatus(const QString &text);
    /// Column 0 (before) or 1 (after); an empty \a figures clears it.
    void showFigures(int column, const std::optional<StepFigures> &figures, bool speed);

signals:
    void restoreRequested();
    void measureRequested();

private:
    QPushButton *m_measure;
    QSpinBox *m_stepSize;
    QLabel *m_measureStatus;
    QTableWidget *m_figures;
    QPushButton *m_restore;
    QLabel *m_restoreStatus;
    QCustomPlot *m_plot;
    QTableWidget *m_table;
};
