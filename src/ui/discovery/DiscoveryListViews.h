// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
struct QLMCNetBoard;
struct QLMCQuelmoDevice;
class QLMCScanQuelmoDevice;

/// The list views of the discovery windows: report view, whole-row selection,
/// no sorting by header clicks; rows kept in ascending order of their first
/// column (8-bit text order) and keyed by it (Qt::UserRole), never by pointer.
namespace DiscoveryListViews {

/// A list view with \a columns, each as wide as its title or the widest text
/// it holds, \a widest (measured with the view's own font and margins); the
/// last column takes the rest.
QTreeWidget *create(QWidget *parent, const char *objectName, const QStringList &columns,
                    const QStringList &widest);
/// The widest texts of the device lists' columns (MAC, IP, type, versions, name).
QStringList widestDeviceTexts();
/// One row "Processing..." (no key).
void showProcessing(QTreeWidget *view);
/// Rows of MACText, IPText, TypeText, FWVersionText, HWVersionText, NameText.
/// An IP in no adapter's subnet of \a engine is shown red with a hint.
void fillDevices(QTreeWidget *view, const QLMCScanQuelmoDevice &engine);
/// Rows of FriendlyName, IPText, MACText, Description.
void fillBoards(QTreeWidget *view, const std::vector<QLMCNetBoard> &boards);
/// The key of \a item (empty for "Processing..." and null).
QString key(const QTreeWidgetItem *item);

} // namespace DiscoveryListViews
