// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/tuning/TFormStepResponses.h"

#include "device/QLMCSession.h"
#include "platform/AtomicFile.h"
#include "record/StepTable.h"
#include "ui/main/GraphsPanel.h"
#include "ui/widgets/ChartMarkers.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral("Step responses");
const QColor ReferenceBrush(0xFF, 0xF4, 0xC0);

TFormStepResponses::Chooser &chooser()
{
    static TFormStepResponses::Chooser c = [](QWidget *parent) {
        QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Export CSV"), QString(),
                                                    QStringLiteral("CSV files (*.csv)"));
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".csv");
        return path;
    };
    return c;
}

} // namespace

TFormStepResponses::Chooser TFormStepResponses::setChooser(Chooser c)
{
    Chooser previous = chooser();
    chooser() = c ? std::move(c) : Chooser();
    return previous;
}

TFormStepResponses::TFormStepResponses(WindowContext &context, QWidget *mainWindow)
    : ToolWindow(mainWindow, QStringLiteral("TFormStepResponses"), Caption)
    , m_context(context)
    , m_session(&context.session())
    , m_watch(context.session().lock())
    , m_table(new QTableWidget(0, StepTable::ColumnCount, this))
    , m_status(new QLabel(this))
    , m_pin(new QPushButton(QStringLiteral("Pin as reference"), this))
{
    m_table->setObjectName(QStringLiteral("TableStepResponses"));
    QStringList titles;
    for (int c = 0; c < StepTable::ColumnCount; ++c)
        titles << StepTable::title(c);
    m_table->setHorizontalHeaderLabels(titles);
    m_table->verticalHeader()->setVisible(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_status->setObjectName(QStringLiteral("LStepStatus"));
    m_pin->setObjectName(QStringLiteral("BStepPin"));
    auto *clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("BStepClear"));
    auto *exportButton = new QPushButton(QStringLiteral("Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("BStepExport"));
    connect(m_pin, &QPushButton::clicked, this, &TFormStepResponses::BStepPinClick);
    connect(clear, &QPushButton::clicked, this, &TFormStepResponses::BStepClearClick);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path = chooser()(this);
        if (!path.isEmpty())
            exportCsv(path);
    });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pin);
    buttons->addWidget(clear);
    buttons->addStretch(1);
    buttons->addWidget(exportButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    resize(900, 320);

    m_session->addReadCycleObserver(&m_watch);
    // The context (and its session) goes before the windows at the end.
    connect(&context, &QObject::destroyed, this, [this] { m_session = nullptr; });
    context.connectedControls().addHook(this, [this](bool connected) {
        if (connected)
            m_watch.reset();
    });
    m_collectTimer.setInterval(CollectIntervalMs);
    connect(&m_collectTimer, &QTimer::timeout, this, &TFormStepResponses::collect);
    m_collectTimer.start();
    updateStatus();
}

TFormStepResponses::~TFormStepResponses()
{
    if (m_session)
        m_session->removeReadCycleObserver(&m_watch);
}

TFormStepResponses *TFormStepResponses::install(WindowContext &context, QAction *menuItem)
{
    auto *window = new TFormStepResponses(context, context.mainWindow());
    menuItem->setText(Caption + QStringLiteral("..."));
    menuItem->setObjectName(QStringLiteral("MenuStepResponses"));
    connect(menuItem, &QAction::triggered, window, [window] {
        window->show();
        window->raise();
    });
    return window;
}

void TFormStepResponses::collect()
{
    // A step under way gets its marker at once.
    if (const std::optional<double> active = m_watch.activeStepTime();
        active && *active != m_markedStep) {
        m_markedStep = *active;
        // The gains in force: read back now, so the row never shows a value
        // from before a write.
        {
            RegisterLockGuard guard(m_context.session().lock());
            for (int address : StepWatch::settingsRegisters())
                if (const QLMCRegister *reg = m_context.session().motor().registerAt(address);
                    reg && reg->Readable)
                    m_context.session().motor().RequestRead(address);
        }
        StepRecord started;
        started.number = m_watch.activeStepNumber();
        started.step.time = *active;
        markStep(started, false);
    }
    for (const StepRecord &row : m_watch.takeFinished()) {
        addRow(row);
        markStep(row, true);
    }
    updateStatus();
}

void TFormStepResponses::markStep(const StepRecord &row, bool finished)
{
    GraphsPanel *graphs = m_context.panels().graphs;
    if (!graphs)
        return;
    for (GraphsPanel::Page page : {GraphsPanel::PositionPage, GraphsPanel::SpeedPage}) {
        LiveChart *chart = graphs->chart(page);
        if (!finished)
            ChartMarkers::markAt(chart, row.step.time, QStringLiteral("step %1").arg(row.number));
        else if (row.figures.settlingTime)
            ChartMarkers::markAt(chart, row.step.time + *row.figures.settlingTime,
                                 QStringLiteral("settled %1").arg(row.number));
    }
}

void TFormStepResponses::addRow(const StepRecord &row)
{
    m_rows.push_back(row);
    if (int(m_rows.size()) > MostRows) {
        auto oldest = m_rows.begin();
        if (oldest->number == m_reference)
            ++oldest;
        m_rows.erase(oldest);
    }
    refill();
    m_table->scrollToBottom();
}

void TFormStepResponses::refill()
{
    const StepRecord *reference = nullptr;
    for (const StepRecord &row : m_rows)
        if (row.number == m_reference)
            reference = &row;
    m_table->setRowCount(int(m_rows.size()));
    for (int r = 0; r < int(m_rows.size()); ++r) {
        const StepRecord &row = m_rows[size_t(r)];
        for (int c = 0; c < StepTable::ColumnCount; ++c) {
            auto *item = new QTableWidgetItem(StepTable::cellText(row, c, reference));
            item->setTextAlignment(c == StepTable::Mode ? Qt::AlignLeft | Qt::AlignVCenter
                                                        : Qt::AlignRight | Qt::AlignVCenter);
            if (row.number == m_reference)
                item->setBackground(ReferenceBrush);
            m_table->setItem(r, c, item);
        }
    }
    m_pin->setText(m_reference != 0 && m_table->currentRow() >= 0
                           && m_table->currentRow() < int(m_rows.size())
                           && m_rows[size_t(m_table->currentRow())].number == m_reference
                       ? QStringLiteral("Unpin")
                       : QStringLiteral("Pin as reference"));
}

void TFormStepResponses::BStepPinClick()
{
    const int r = m_table->currentRow();
    if (r < 0 || r >= int(m_rows.size()))
        return;
    const int number = m_rows[size_t(r)].number;
    m_reference = number == m_reference ? 0 : number;
    refill();
    updateStatus();
}

void TFormStepResponses::BStepClearClick()
{
    m_rows.clear();
    m_reference = 0;
    refill();
    updateStatus();
}

bool TFormStepResponses::exportCsv(const QString &path)
{
    QString error;
    if (writeFileAtomically(path, StepTable::csv(m_rows, m_reference), &error))
        return true;
    MessageBoxes::show(this, QStringLiteral("Tarvine"),
                       QStringLiteral("Cannot write the CSV file to %1: %2.\nThe file there is "
                                      "unchanged.")
                           .arg(QDir::toNativeSeparators(path), error),
                       MessageIcon::Warning);
    return false;
}

void TFormStepResponses::updateStatus()
{
    QString text;
    if (m_watch.activeStepTime())
        text = QStringLiteral("Recording a step response...");
    else
        text = QStringLiteral("A row for each consign step in position or speed regulation, "
                              "once it settled or after %1 s.")
                   .arg(StepWatch::DefaultTimeLimit);
    if (m_reference != 0)
        text += QStringLiteral(" Changes are against step %1.").arg(m_reference);
    if (m_status->text() != text)
        m_status->setText(text);
}
