#include "ui/features/AutoTuningResultView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QHeaderView>
#include <QTableWidget>

#include <qcustomplot.h>

AutoTuningResultView::AutoTuningResultView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("PlotAutoTuning"));
    m_plot->setMinimumSize(300, 200);
    m_plot->addGraph();
    m_plot->graph(0)->setName(QStringLiteral("Command"));
    m_plot->graph(0)->setPen(QPen(Qt::red));
    m_plot->addGraph(m_plot->xAxis, m_plot->yAxis2);
    m_plot->graph(1)->setName(QStringLiteral("Speed"));
    m_plot->graph(1)->setPen(QPen(Qt::blue));
    m_plot->xAxis->setLabel(QStringLiteral("[s]"));
    m_plot->yAxis->setLabel(QStringLiteral("Command [%]"));
    m_plot->yAxis2->setLabel(QStringLiteral("Speed [p/s]"));
    m_plot->yAxis2->setVisible(true);
    // The legend in a row of its own under the axes: it never covers a trace.
    auto *legendRow = new QCPLayoutGrid;
    m_plot->plotLayout()->addElement(1, 0, legendRow);
    legendRow->setMargins(QMargins(5, 0, 5, 5));
    legendRow->addElement(0, 0, m_plot->legend);
    m_plot->plotLayout()->setRowStretchFactor(1, 0.001);
    m_plot->legend->setFillOrder(QCPLegend::foColumnsFirst);
    m_plot->legend->setVisible(true);
    QFont small = m_plot->legend->font();
    small.setPointSize(7);
    m_plot->legend->setFont(small);
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
    layout->addLayout(right, 2);
}

void AutoTuningResultView::setRestoreStatus(const QString &text)
{
    m_restoreStatus->setText(text);
}

void AutoTuningResultView::showResponse(const std::vector<TuningSample> &samples)
{
    QVector<double> t, command, speed;
    t.reserve(qsizetype(samples.size()));
    for (const TuningSample &s : samples) {
        t << s.seconds;
        command << double(s.command) * 100.0 / 65535.0; // as the command chart: 100 % = 65535
        speed << s.speed;
    }
    m_plot->graph(0)->setData(t, command, true);
    m_plot->graph(1)->setData(t, speed, true);
    m_plot->rescaleAxes();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
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
