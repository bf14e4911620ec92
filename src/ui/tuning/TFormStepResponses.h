// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "record/StepWatch.h"
#include "ui/widgets/ToolWindow.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QAction;
class QLabel;
class QPushButton;
class QTableWidget;
class QLMCSession;
class WindowContext;

/// The "Step responses" window (`TFormStepResponses`): one row per consign
/// step the device made in position or speed regulation (whatever sent it),
/// with the figures of its response and the gains and trajectory parameters
/// in force. A row can be pinned as the reference: every other row then shows
/// its change against it. "Export CSV..." writes all rows. The position or
/// speed chart gets a marker at each step and at its settling time.
class TFormStepResponses : public ToolWindow
{
    Q_OBJECT

public:
    /// How often finished steps are collected.
    static constexpr int CollectIntervalMs = 100;
    /// At most this many rows; the oldest unpinned row goes first.
    static constexpr int MostRows = 200;

    TFormStepResponses(WindowContext &context, QWidget *mainWindow);
    ~TFormStepResponses() override;

    /// Creates the window and makes \a menuItem ("Step responses...") show it.
    static TFormStepResponses *install(WindowContext &context, QAction *menuItem);

    /// Collects the steps finished since the last call (the timer's work).
    void collect();
    const std::vector<StepRecord> &rows() const { return m_rows; }
    /// The number of the pinned row, 0 when none.
    int referenceNumber() const { return m_reference; }
    /// Pins the selected row as the reference (or releases it when it is pinned).
    void BStepPinClick();
    void BStepClearClick();
    /// Writes all rows to \a path; a failure says so in a box.
    bool exportCsv(const QString &path);
    QTableWidget *table() const { return m_table; }

    /// Asks for the export file: the dialog, or a test's stand-in.
    using Chooser = std::function<QString(QWidget *parent)>;
    static Chooser setChooser(Chooser chooser);

private:
    void addRow(const StepRecord &row);
    void refill();
    void markStep(const StepRecord &row, bool settled);
    void updateStatus();

    WindowContext &m_context;
    QLMCSession *m_session;
    StepWatch m_watch;
    std::vector<StepRecord> m_rows;
    int m_reference = 0;
    double m_markedStep = 0;
    QTableWidget *m_table;
    QLabel *m_status;
    QPushButton *m_pin;
    QTimer m_collectTimer;
};
