// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/AutoTuningResultView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QHeaderView>
#include <QTableWidget>

#include <qcustomplot.h>

AutoTuningResultView::AutoTuningResultView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_plot = makeResponsePlot(this, QStringLiteral("PlotAutoTuning"));
    layout->addWidget(m_plot, 3);

    m_table = new QTableWidget(0, 3, this);
    m_table->setObjectName(QStringLiteral("TVAutoTuningChanges"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Register"), QStringLiteral("Before"), QStringLiteral("After")});
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(18);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->setMinimumWidth(350);
    auto *right = new QVBoxLayout;
    right->addWidget(m_table);

    auto *restoreRow = new QHBoxLayout;
    m_restore = new QPushButton(QStringLiteral("Restore previous values"), this);
    m_restore->setObjectName(QStringLiteral("BRestorePrevious"));
    m_restore->setToolTip(QStringLiteral("Writes the \"Before\" column back to the controller"));
    m_restore->setEnabled(false);
    connect(m_restore, &QPushButton::clicked, this, &AutoTuningResultView::restoreRequested);
    m_restoreStatus = new QLabel(this);
    m_restoreStatus->setObjectName(QStringLiteral("LRestoreStatus"));
    m_restoreStatus->setWordWrap(true);
    restoreRow->addWidget(m_restore);
    restoreRow->addWidget(m_restoreStatus, 1);
    right->addLayout(restoreRow);

    // "Measure step": one step with the previous gains, one back with the new.
    auto *measureRow = new QHBoxLayout;
    m_measure = new QPushButton(QStringLiteral("Measure step"), this);
    m_measure->setObjectName(QStringLiteral("BMeasureStep"));
    m_measure->setToolTip(QStringLiteral(
        "Moves the motor: a consign step with the previous gains, then one back with the new "
        "gains (STOP or Esc ends it)"));
    m_measure->setEnabled(false);
    connect(m_measure, &QPushButton::clicked, this, &AutoTuningResultView::measureRequested);
    m_stepSize = new QSpinBox(this);
    m_stepSize->setObjectName(QStringLiteral("SEStepSize"));
    m_stepSize->setRange(-1000000, 1000000);
    m_stepSize->setValue(1000);
    m_stepSize->setToolTip(QStringLiteral("The step: pulses in position, pulses/s in speed"));
    m_measureStatus = new QLabel(this);
    m_measureStatus->setObjectName(QStringLiteral("LMeasureStep"));
    m_measureStatus->setWordWrap(true);
    measureRow->addWidget(m_measure);
    measureRow->addWidget(m_stepSize);
    measureRow->addStretch();
    right->addLayout(measureRow);
    right->addWidget(m_measureStatus);

    m_figures = new QTableWidget(4, 2, this);
    m_figures->setObjectName(QStringLiteral("TVStepFigures"));
    m_figures->setHorizontalHeaderLabels({QStringLiteral("Before"), QStringLiteral("After")});
    m_figures->setVerticalHeaderLabels({QStringLiteral("Rise time 10-90 %"),
                                        QStringLiteral("Overshoot"),
                                        QStringLiteral("Settling time 2 %"),
                                        QStringLiteral("Steady-state error")});
    m_figures->verticalHeader()->setDefaultSectionSize(18);
    m_figures->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_figures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_figures->setSelectionMode(QAbstractItemView::NoSelection);
    m_figures->setFocusPolicy(Qt::NoFocus);
    m_figures->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_figures->setFixedHeight(m_figures->horizontalHeader()->sizeHint().height() + 4 * 18 + 4);
    right->addWidget(m_figures);
    layout->addLayout(right, 2);
}

QCustomPlot *AutoTuningResultView::makeResponsePlot(QWidget *parent, const QString &name)
{
    auto *plot = new QCustomPlot(parent);
    plot->setObjectName(name);
    plot->setFocusPolicy(Qt::NoFocus);
    plot->setMinimumSize(300, 200);
    plot->addGraph();
    plot->graph(0)->setName(QStringLiteral("Command"));
    plot->graph(0)->setPen(QPen(Qt::red));
    plot->addGraph(plot->xAxis, plot->yAxis2);
    plot->graph(1)->setName(QStringLiteral("Speed"));
    plot->graph(1)->setPen(QPen(Qt::blue));
    plot->xAxis->setLabel(QStringLiteral("Time [s]"));
    plot->yAxis->setLabel(QStringLiteral("Command [%]"));
    plot->yAxis2->setLabel(QStringLiteral("Speed [p/s]"));
    plot->yAxis2->setVisible(true);
    // The legend in a row of its own under the axes: it never covers a trace.
    auto *legendRow = new QCPLayoutGrid;
    plot->plotLayout()->addElement(1, 0, legendRow);
    legendRow->setMargins(QMargins(5, 0, 5, 5));
    legendRow->addElement(0, 0, plot->legend);
    plot->plotLayout()->setRowStretchFactor(1, 0.001);
    plot->legend->setFillOrder(QCPLegend::foColumnsFirst);
    plot->legend->setVisible(true);
    QFont small = plot->legend->font();
    small.setPointSize(7);
    plot->legend->setFont(small);
    return plot;
}

void AutoTuningResultView::setMeasureStatus(const QString &text)
{
    m_measureStatus->setText(text);
}

void AutoTuningResultView::showFigures(int column, const std::optional<StepFigures> &figures,
                                       bool speed)
{
    const auto number = [](const std::optional<double> &value, int decimals, const char *unit) {
        return value ? QString::number(*value, 'f', decimals) + QLatin1String(unit)
                     : QStringLiteral("-");
    };
    QStringList texts;
    if (figures) {
        const char *unit = speed ? " p/s" : " p";
        texts << number(figures->riseTime, 3, " s") << number(figures->overshootPercent, 1, " %")
              << (figures->settled ? number(figures->settlingTime, 3, " s")
                                   : QStringLiteral("does not settle"))
              << number(figures->steadyStateError, 1, unit);
    } else {
        texts << QString() << QString() << QString() << QString();
    }
    for (int row = 0; row < int(texts.size()); ++row) {
        auto *item = new QTableWidgetItem(texts[row]);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_figures->setItem(row, column, item);
    }
}

void AutoTuningResultView::setRestoreStatus(const QString &text)
{
    m_restoreStatus->setText(text);
}

void AutoTuningResultView::showResponse(const std::vector<TuningSample> &samples)
{
    showResponse(m_plot, samples);
}

void AutoTuningResultView::showResponse(QCustomPlot *plot, const std::vector<TuningSample> &samples)
{
    QVector<double> t, command, speed;
    t.reserve(qsizetype(samples.size()));
    for (const TuningSample &s : samples) {
        t << s.seconds;
        command << double(s.command) * 100.0 / 65535.0; // as the command chart: 100 % = 65535
        speed << s.speed;
    }
    plot->graph(0)->setData(t, command, true);
    plot->graph(1)->setData(t, speed, true);
    plot->rescaleAxes();
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void AutoTuningResultView::showChanges(const std::vector<Row> &rows)
{
    m_table->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const Row &row = rows[size_t(r)];
        const bool changed = row.before != row.after;
        const QString name = QStringLiteral("0x%1-%2")
                                 .arg(row.address, 2, 16, QLatin1Char('0'))
                                 .toUpper()
                                 .replace(QStringLiteral("0X"), QStringLiteral("0x"))
                                 .arg(row.name);
        const QString texts[3] = {name, row.before, row.after};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(texts[c]);
            if (changed) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
                item->setBackground(QColor(255, 240, 180));
            }
            m_table->setItem(r, c, item);
        }
    }
}
