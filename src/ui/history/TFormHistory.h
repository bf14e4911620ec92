// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/ToolWindow.h"

#include <QTimer>

#include <cstdint>
#include <vector>

class QAction;
class QLabel;
class QPushButton;
class QTreeWidget;
class WindowContext;

/// "History": the changes the tool made in this session to the registers a
/// parameter file holds, newest first, and "Revert", which writes back the
/// value before of the selected changes (newest first, through the rule book).
/// The same lines go to the journal in the data folder.
class TFormHistory : public ToolWindow
{
    Q_OBJECT

public:
    /// Takes \a menuItem (titled, named and wired here): it shows the window.
    TFormHistory(WindowContext &context, QAction *menuItem);

    /// Rebuilds the list when the history has grown (the selection is kept).
    void Refresh();
    /// Selects the changes numbered \a numbers (tests).
    void selectChanges(const std::vector<uint64_t> &numbers);
    void BRevertClick();

    QTreeWidget *list() const { return m_list; }
    QLabel *status() const { return m_status; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    std::vector<uint64_t> selectedNumbers() const;

    WindowContext &m_context;
    QTreeWidget *m_list;
    QPushButton *m_revert;
    QLabel *m_status;
    QLabel *m_journal;
    QTimer m_timerRefresh; ///< follows the history while the window is shown
    size_t m_shown = 0;    ///< changes listed
};
