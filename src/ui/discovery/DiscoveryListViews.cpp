// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/discovery/DiscoveryListViews.h"

#include "discovery/QLMCScanQuelmoDevice.h"

#include <QBrush>
#include <QHeaderView>
#include <QTreeWidget>

#include <algorithm>

namespace DiscoveryListViews {

namespace {

/// Replaces the rows of \a view by \a items in ascending order of their
/// captions compared as 8-bit text (equal captions keep their order): one
/// sort and one insertion, so a long list costs n log n, not n squared.
void setSortedRows(QTreeWidget *view, QList<QTreeWidgetItem *> items)
{
    std::vector<std::pair<QByteArray, QTreeWidgetItem *>> keyed;
    keyed.reserve(size_t(items.size()));
    for (QTreeWidgetItem *item : items)
        keyed.emplace_back(item->text(0).toLatin1(), item);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i] = keyed[size_t(i)].second;
    view->clear();
    view->addTopLevelItems(items);
}

} // namespace

QStringList widestDeviceTexts()
{
    // Type and versions are two numbers of up to 16 and 8 bits each.
    return {QStringLiteral("DD-DD-DD-DD-DD-DD"), QStringLiteral("255.255.255.255"),
            QStringLiteral("65535.65535"), QStringLiteral("255.255"), QStringLiteral("255.255"),
            QString()};
}

QTreeWidget *create(QWidget *parent, const char *objectName, const QStringList &columns,
                    const QStringList &widest)
{
    auto *view = new QTreeWidget(parent);
    view->setObjectName(QLatin1String(objectName));
    view->setColumnCount(int(columns.size()));
    view->setHeaderLabels(columns);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSortingEnabled(false);
    view->header()->setSectionsClickable(false);
    view->header()->setStretchLastSection(true);
    // Measured on a row of the widest texts, which then goes again.
    auto *sample = new QTreeWidgetItem(widest);
    view->addTopLevelItem(sample);
    for (int column = 0; column + 1 < int(columns.size()); ++column)
        view->resizeColumnToContents(column);
    delete sample;
    return view;
}

void showProcessing(QTreeWidget *view)
{
    view->clear();
    view->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("Processing...")}));
}

void fillDevices(QTreeWidget *view, const QLMCScanQuelmoDevice &engine)
{
    QList<QTreeWidgetItem *> items;
    items.reserve(qsizetype(engine.DeviceList.size()));
    for (const QLMCQuelmoDevice &d : engine.DeviceList) {
        auto *item = new QTreeWidgetItem(QStringList{d.MACText, d.IPText, d.TypeText,
                                                     d.FWVersionText, d.HWVersionText, d.NameText});
        item->setData(0, Qt::UserRole, d.MACText);
        if (!engine.BoardList.empty() && !engine.inAdapterSubnet(d.IP)) {
            item->setForeground(1, QBrush(Qt::red));
            item->setToolTip(1, QStringLiteral("This address is in none of this computer's "
                                               "networks: give the device a fitting one with "
                                               "\"IP Adress easy config...\""));
        }
        items.append(item);
    }
    setSortedRows(view, std::move(items));
}

void fillBoards(QTreeWidget *view, const std::vector<QLMCNetBoard> &boards)
{
    QList<QTreeWidgetItem *> items;
    for (const QLMCNetBoard &b : boards) {
        auto *item =
            new QTreeWidgetItem(QStringList{b.FriendlyName, b.IPText, b.MACText, b.Description});
        item->setData(0, Qt::UserRole, b.IPText);
        items.append(item);
    }
    setSortedRows(view, std::move(items));
}

QString key(const QTreeWidgetItem *item)
{
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

} // namespace DiscoveryListViews
