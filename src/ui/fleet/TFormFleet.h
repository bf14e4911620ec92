// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "fleet/FleetMonitor.h"
#include "ui/widgets/ToolWindow.h"

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class WindowContext;

/// "Fleet": every controller discovery finds, with its live state (MAC,
/// address, model, firmware, name, regulation mode, warnings, temperature),
/// a tick box per row, and the fleet operations: save all into a folder,
/// compare with a file, send a file to the ticked controllers (after a
/// confirmation that lists what changes on each). A double-click connects the
/// main window to the row's controller. The window only shows; FleetMonitor
/// finds, polls and runs the operations off the user-interface thread.
class TFormFleet : public ToolWindow
{
    Q_OBJECT

public:
    /// The table's columns.
    enum Column {
        ColMac,
        ColAddress,
        ColModel,
        ColFirmware,
        ColName,
        ColMode,
        ColWarnings,
        ColTemperature,
        ColState,
        ColumnCount
    };

    explicit TFormFleet(WindowContext &context);
    ~TFormFleet() override;

    FleetMonitor &monitor() { return m_monitor; }
    QTableWidget *grid() const { return m_grid; }

    void BScanClick();
    void BSaveAllClick();
    void BCompareClick();
    void BSendSelectedClick();
    /// Connects the main window to the controller of \a row.
    void GridFleetDoubleClick(int row);

    /// Asks for a folder (save) or a parameter file (compare, send): the
    /// dialogs, or a test's stand-in; empty: cancelled.
    using Chooser = std::function<QString(QWidget *parent, bool folder)>;
    static Chooser setChooser(Chooser chooser);
    /// Asks to go ahead with \a text (what the send changes): a dialog with
    /// OK and Cancel, or a test's stand-in.
    using Confirmer = std::function<bool(QWidget *parent, const QString &text)>;
    static Confirmer setConfirmer(Confirmer confirmer);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void fill();
    void showRow(int index, const FleetMonitorRow &row);
    std::vector<int> tickedRows() const;
    void setBusy(bool busy, const QString &status);
    void progress(FleetMonitor::Operation operation, int done, int total, int failed);
    void finished(FleetMonitor::Operation operation, const std::vector<FleetRow> &rows,
                  const QString &error);
    void showSummary();

    WindowContext &m_context;
    FleetMonitor m_monitor;
    QLabel *m_status;
    QTableWidget *m_grid;
    QPushButton *m_scan;
    QPushButton *m_saveAll;
    QPushButton *m_compare;
    QPushButton *m_sendSelected;
    QPlainTextEdit *m_result;
    ParameterFileContent m_sendContent; ///< the file a confirmed send sends
    std::vector<int> m_sendRows;
};
