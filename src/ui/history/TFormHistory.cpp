// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/history/TFormHistory.h"

#include "device/ChangeRevert.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "ui/widgets/ConnectedControls.h"
#include "ui/widgets/WindowContext.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { Number, Time, Device, Register, Before, Written, Source, ColumnCount };

QString valueText(int address, const std::vector<uint8_t> &bytes)
{
    return RegisterText::value(address, bytes) + QStringLiteral("  ") + RegisterText::trace(bytes);
}

} // namespace

TFormHistory::TFormHistory(WindowContext &context, QAction *menuItem)
    : ToolWindow(context.mainWindow(), QStringLiteral("TFormHistory"), QStringLiteral("History"))
    , m_context(context)
{
    menuItem->setObjectName(QStringLiteral("MenuHistory"));
    menuItem->setText(QStringLiteral("History"));
    connect(menuItem, &QAction::triggered, this, [this] {
        show();
        raise();
    });

    auto *layout = new QVBoxLayout(this);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("LVHistory"));
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({QStringLiteral("#"), QStringLiteral("Time"), QStringLiteral("Device"),
                             QStringLiteral("Register"), QStringLiteral("Before"),
                             QStringLiteral("Written"), QStringLiteral("Source")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_list, 1);

    auto *row = new QHBoxLayout;
    m_revert = new QPushButton(QStringLiteral("Revert"), this);
    m_revert->setObjectName(QStringLiteral("BRevert"));
    m_revert->setToolTip(QStringLiteral("Writes back the value before of the selected changes, "
                                        "newest first"));
    connect(m_revert, &QPushButton::clicked, this, &TFormHistory::BRevertClick);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("LHistoryStatus"));
    m_status->setWordWrap(true);
    row->addWidget(m_revert);
    row->addWidget(m_status, 1);
    layout->addLayout(row);
    m_journal = new QLabel(this);
    m_journal->setObjectName(QStringLiteral("LHistoryJournal"));
    m_journal->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_journal);
    context.connectedControls().addWhileConnected(m_revert);

    resize(900, 360);
    m_timerRefresh.setInterval(500);
    connect(&m_timerRefresh, &QTimer::timeout, this, &TFormHistory::Refresh);
}

void TFormHistory::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    m_shown = size_t(-1); // rebuild: the journal may have moved, devices changed
    Refresh();
    m_timerRefresh.start();
}

void TFormHistory::hideEvent(QHideEvent *event)
{
    m_timerRefresh.stop();
    ToolWindow::hideEvent(event);
}

void TFormHistory::Refresh()
{
    const ChangeHistory &history = m_context.session().history();
    const std::vector<ChangeRecord> entries = history.entries();
    const QString journal = history.journalPath();
    m_journal->setText(journal.isEmpty() ? QStringLiteral("Journal: none")
                                         : QStringLiteral("Journal: ") + journal);
    if (entries.size() == m_shown)
        return; // a refresh never disturbs the selection or the focus
    const std::vector<uint64_t> selected = selectedNumbers();
    m_shown = entries.size();
    m_list->clear();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(Number, QString::number(it->number));
        item->setText(Time, it->time.toString(QStringLiteral("HH:mm:ss.zzz")));
        item->setText(Device, it->device);
        item->setText(Register, RegisterRules::registerLabel(it->address));
        item->setText(Before, it->before ? valueText(it->address, *it->before)
                                         : QStringLiteral("missing"));
        item->setText(Written, valueText(it->address, it->written));
        item->setText(Source, it->source);
        item->setData(Number, Qt::UserRole, QVariant::fromValue<qulonglong>(it->number));
        if (!it->before)
            item->setForeground(Before, Qt::gray);
    }
    selectChanges(selected);
}

void TFormHistory::selectChanges(const std::vector<uint64_t> &numbers)
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_list->topLevelItem(i);
        const uint64_t number = item->data(Number, Qt::UserRole).toULongLong();
        item->setSelected(std::find(numbers.begin(), numbers.end(), number) != numbers.end());
    }
}

std::vector<uint64_t> TFormHistory::selectedNumbers() const
{
    std::vector<uint64_t> numbers;
    for (const QTreeWidgetItem *item : m_list->selectedItems())
        numbers.push_back(item->data(Number, Qt::UserRole).toULongLong());
    return numbers;
}

void TFormHistory::BRevertClick()
{
    const std::vector<uint64_t> numbers = selectedNumbers();
    if (numbers.empty()) {
        m_status->setText(QStringLiteral("Select the changes to revert"));
        return;
    }
    QLMCSession &session = m_context.session();
    const RevertResult result =
        revertChanges(session, session.history().selected(numbers), QStringLiteral("History: revert"));
    QString text;
    if (!result.ok())
        text = QStringLiteral("Nothing reverted: ") + result.refused.front().reason;
    else
        text = QStringLiteral("Reverted %1 changes").arg(result.requested);
    if (!result.skipped.isEmpty())
        text += QStringLiteral("; skipped ") + result.skipped.join(QStringLiteral("; "));
    m_status->setText(text);
    Refresh();
}
