#pragma once

#include "device/TuningResponse.h"

#include <QWidget>

#include <array>
#include <vector>

class QCustomPlot;
class QLabel;
class QPushButton;
class QTableWidget;

/// The result page's response plot (PlotAutoTuning: command and speed over
/// seconds) and the before/after table of the re-read registers
/// (TVAutoTuningChanges, changed rows marked).
class AutoTuningResultView : public QWidget
{
    Q_OBJECT

public:
    explicit AutoTuningResultView(QWidget *parent = nullptr);

    void showResponse(const std::vector<TuningSample> &samples);
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

signals:
    void restoreRequested();

private:
    QPushButton *m_restore;
    QLabel *m_restoreStatus;
    QCustomPlot *m_plot;
    QTableWidget *m_table;
};
