// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/fleet/TFormFleet.h"

#include "device/ChangeHistory.h"
#include "features/LimitRegisters.h"
#include "fleet/FleetOperations.h"
#include "link/QLMCConnection.h"
#include "protocol/ConnectionState.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const char *const Titles[TFormFleet::ColumnCount] = {
    "MAC Address", "IP Address", "Model", "Firmware", "Name", "Mode", "Warnings", "Temp.", "State"};
// The list fields shown in the columns ColMac..ColTemperature, in order.
const char *const Fields[] = {"mac",  "address", "model",    "firmware",
                              "name", "mode",    "warnings", "temperature"};

FleetSettings monitorSettings()
{
    FleetSettings settings;
    settings.limitMs = 5000; // a live link that stalls is given up (and tried again) soon
    settings.journalPath = ChangeHistory::defaultJournalPath();
    return settings;
}

TFormFleet::Chooser &chooser()
{
    static TFormFleet::Chooser c = [](QWidget *parent, bool folder) {
        if (folder)
            return QFileDialog::getExistingDirectory(parent, QStringLiteral("Save all into"));
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Parameter file"), QString(),
                                            QStringLiteral("Qmc files (*.qmc);;All files (*)"));
    };
    return c;
}

TFormFleet::Confirmer &confirmer()
{
    static TFormFleet::Confirmer c = [](QWidget *parent, const QString &text) {
        QDialog dialog(parent);
        dialog.setObjectName(QStringLiteral("DialogFleetSend"));
        dialog.setWindowTitle(QStringLiteral("Send file to selected"));
        auto *layout = new QVBoxLayout(&dialog);
        auto *list = new QPlainTextEdit(text, &dialog);
        list->setReadOnly(true);
        list->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(list);
        auto *buttons =
            new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Send"));
        buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(buttons);
        dialog.resize(640, 420);
        return dialog.exec() == QDialog::Accepted;
    };
    return c;
}

QString rowName(const FleetRow &row)
{
    const QString name = row.field(QStringLiteral("name"));
    return name.isEmpty() ? row.target.label()
                          : row.target.label() + QStringLiteral(" (") + name + QLatin1Char(')');
}

} // namespace

TFormFleet::Chooser TFormFleet::setChooser(Chooser c)
{
    Chooser previous = chooser();
    chooser() = std::move(c);
    return previous;
}

TFormFleet::Confirmer TFormFleet::setConfirmer(Confirmer c)
{
    Confirmer previous = confirmer();
    confirmer() = std::move(c);
    return previous;
}

TFormFleet::TFormFleet(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("TFormFleet"), QStringLiteral("Fleet"))
    , m_context(context)
    , m_monitor(monitorSettings())
    , m_status(new QLabel(this))
    , m_grid(new QTableWidget(0, ColumnCount, this))
    , m_scan(new QPushButton(QStringLiteral("Scan"), this))
    , m_saveAll(new QPushButton(QStringLiteral("Save all..."), this))
    , m_compare(new QPushButton(QStringLiteral("Compare with file..."), this))
    , m_sendSelected(new QPushButton(QStringLiteral("Send file to selected..."), this))
    , m_result(new QPlainTextEdit(this))
{
    m_status->setObjectName(QStringLiteral("LFleetStatus"));
    m_grid->setObjectName(QStringLiteral("GridFleet"));
    m_scan->setObjectName(QStringLiteral("BScan"));
    m_saveAll->setObjectName(QStringLiteral("BSaveAll"));
    m_compare->setObjectName(QStringLiteral("BCompare"));
    m_sendSelected->setObjectName(QStringLiteral("BSendSelected"));
    m_result->setObjectName(QStringLiteral("MemoFleetResult"));
    m_result->setReadOnly(true);
    m_result->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_result->setPlaceholderText(
        QStringLiteral("The results of Save all, Compare and Send show here."));
    m_result->setMaximumHeight(90);

    QStringList titles;
    for (const char *title : Titles)
        titles << QLatin1String(title);
    m_grid->setHorizontalHeaderLabels(titles);
    m_grid->verticalHeader()->setVisible(false);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    const int widths[ColumnCount] = {150, 85, 70, 60, 105, 120, 65, 65, 120};
    for (int c = 0; c < ColumnCount; ++c)
        m_grid->setColumnWidth(c, widths[c]);
    m_grid->setToolTip(QStringLiteral("Tick the controllers a file is sent to; a double-click "
                                      "connects the main window to one."));

    auto *top = new QHBoxLayout;
    top->addWidget(m_status, 1);
    top->addWidget(m_scan);
    auto *tickAll = new QCheckBox(QStringLiteral("Tick all"), this);
    tickAll->setObjectName(QStringLiteral("CBTickAll"));
    connect(tickAll, &QCheckBox::toggled, this, [this](bool on) {
        for (int i = 0; i < m_grid->rowCount(); ++i)
            if (QTableWidgetItem *item = m_grid->item(i, ColMac))
                item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(tickAll);
    buttons->addSpacing(12);
    buttons->addWidget(m_saveAll);
    buttons->addWidget(m_compare);
    buttons->addWidget(m_sendSelected);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_result);
    resize(920, 480);

    connect(m_scan, &QPushButton::clicked, this, &TFormFleet::BScanClick);
    connect(m_saveAll, &QPushButton::clicked, this, &TFormFleet::BSaveAllClick);
    connect(m_compare, &QPushButton::clicked, this, &TFormFleet::BCompareClick);
    connect(m_sendSelected, &QPushButton::clicked, this, &TFormFleet::BSendSelectedClick);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { GridFleetDoubleClick(row); });
    connect(&m_monitor, &FleetMonitor::discovered, this, [this](const QString &error) {
        if (!isVisible())
            m_monitor.stop(); // hidden meanwhile: nothing is polled
        fill();
        setBusy(false, error);
        if (error.isEmpty())
            showSummary();
    });
    connect(&m_monitor, &FleetMonitor::rowsChanged, this, [this](const QList<int> &indexes) {
        const std::vector<FleetMonitorRow> rows = m_monitor.rows();
        for (int i : indexes)
            if (size_t(i) < rows.size() && i < m_grid->rowCount())
                showRow(i, rows[size_t(i)]);
        if (!m_monitor.busy())
            showSummary();
    });
    connect(&m_monitor, &FleetMonitor::operationProgress, this, &TFormFleet::progress);
    connect(&m_monitor, &FleetMonitor::operationFinished, this, &TFormFleet::finished);
    setBusy(false, QStringLiteral("No controller yet: Scan finds them."));
}

TFormFleet::~TFormFleet() = default;

void TFormFleet::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    if (!event->spontaneous())
        BScanClick();
}

void TFormFleet::hideEvent(QHideEvent *event)
{
    // Nothing is polled while the window is hidden.
    if (!m_monitor.busy())
        m_monitor.stop();
    ToolWindow::hideEvent(event);
}

void TFormFleet::setBusy(bool busy, const QString &status)
{
    m_scan->setEnabled(!busy);
    m_saveAll->setEnabled(!busy && m_grid->rowCount() > 0);
    m_compare->setEnabled(!busy && m_grid->rowCount() > 0);
    m_sendSelected->setEnabled(!busy && m_grid->rowCount() > 0);
    if (!status.isNull())
        m_status->setText(status);
}

void TFormFleet::BScanClick()
{
    if (m_monitor.discover())
        setBusy(true, QStringLiteral("Scanning..."));
}

void TFormFleet::fill()
{
    const std::vector<FleetMonitorRow> rows = m_monitor.rows();
    m_grid->setRowCount(int(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        for (int c = 0; c < ColumnCount; ++c)
            m_grid->setItem(int(i), c, new QTableWidgetItem);
        m_grid->item(int(i), ColMac)
            ->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        m_grid->item(int(i), ColMac)->setCheckState(Qt::Unchecked);
        showRow(int(i), rows[i]);
    }
}

void TFormFleet::showRow(int index, const FleetMonitorRow &row)
{
    const bool failed = row.state == FleetMonitorRow::State::Failed;
    const QColor text =
        palette().color(failed ? QPalette::Disabled : QPalette::Active, QPalette::Text);
    for (int c = 0; c < ColumnCount; ++c) {
        QString value;
        if (c == ColState) {
            value = row.state == FleetMonitorRow::State::Live ? QStringLiteral("live")
                    : row.state == FleetMonitorRow::State::Connecting
                        ? QStringLiteral("connecting...")
                        : QStringLiteral("unreachable: ") + row.reason;
        } else {
            value = row.field(QLatin1String(Fields[c]));
            bool number = false;
            const double degrees = value.toDouble(&number);
            if (c == ColTemperature && number)
                value = QString::number(degrees, 'f', 1) + QStringLiteral(" \u00B0C");
            if (c == ColMode && number && !LimitRegisters::controlModeCaption(int(degrees)).isEmpty())
                value = LimitRegisters::controlModeCaption(int(degrees));
            // Until the controller sends them: the discovery's MAC and the target's address.
            if (value.isEmpty() && c == ColMac)
                value = row.target.discoveredMac;
            if (value.isEmpty() && c == ColAddress)
                value = row.target.label();
        }
        if (value.isEmpty())
            value = QStringLiteral("-"); // never a value the controller did not send
        QTableWidgetItem *item = m_grid->item(index, c);
        if (!item)
            continue;
        if (item->text() != value)
            item->setText(value);
        if (item->foreground().color() != text)
            item->setForeground(text);
        if (c == ColState)
            item->setToolTip(failed ? row.reason : QString());
    }
}

std::vector<int> TFormFleet::tickedRows() const
{
    std::vector<int> rows;
    for (int i = 0; i < m_grid->rowCount(); ++i)
        if (m_grid->item(i, ColMac) && m_grid->item(i, ColMac)->checkState() == Qt::Checked)
            rows.push_back(i);
    return rows;
}

void TFormFleet::showSummary()
{
    int live = 0;
    int failed = 0;
    const std::vector<FleetMonitorRow> rows = m_monitor.rows();
    for (const FleetMonitorRow &row : rows) {
        live += row.state == FleetMonitorRow::State::Live;
        failed += row.state == FleetMonitorRow::State::Failed;
    }
    m_status->setText(QStringLiteral("%1 controllers: %2 live, %3 unreachable")
                          .arg(rows.size())
                          .arg(live)
                          .arg(failed));
}

void TFormFleet::BSaveAllClick()
{
    const QString folder = chooser()(this, true);
    if (folder.isEmpty())
        return;
    if (m_monitor.saveAll(folder))
        setBusy(true, QStringLiteral("Saving..."));
}

void TFormFleet::BCompareClick()
{
    const QString path = chooser()(this, false);
    if (path.isEmpty())
        return;
    const ParameterFileContent content = ParameterFile::readPath(path);
    if (!content.ok()) {
        MessageBoxes::show(this, QStringLiteral("Error"), content.error, MessageIcon::Warning);
        return;
    }
    std::vector<int> all;
    for (int i = 0; i < m_grid->rowCount(); ++i)
        all.push_back(i);
    if (m_monitor.compare(content, all))
        setBusy(true, QStringLiteral("Comparing..."));
}

void TFormFleet::BSendSelectedClick()
{
    const std::vector<int> ticked = tickedRows();
    if (ticked.empty()) {
        MessageBoxes::show(this, QStringLiteral("Send file to selected"),
                           QStringLiteral("Tick the controllers to send the file to first."),
                           MessageIcon::Information);
        return;
    }
    const QString path = chooser()(this, false);
    if (path.isEmpty())
        return;
    const ParameterFileContent content = ParameterFile::readPath(path);
    if (!content.ok() || FleetOperations::fileModel(content).isEmpty()) {
        MessageBoxes::show(this, QStringLiteral("Error"),
                           content.ok() ? QStringLiteral("The file names no model this tool knows: "
                                                         "it is not sent.")
                                        : content.error,
                           MessageIcon::Warning);
        return;
    }
    // First what would change on each: nothing is sent before the OK.
    m_sendContent = content;
    m_sendRows = ticked;
    if (m_monitor.previewSend(content, ticked))
        setBusy(true, QStringLiteral("Reading the selected controllers..."));
}

void TFormFleet::progress(FleetMonitor::Operation operation, int done, int total, int failed)
{
    const char *what = operation == FleetMonitor::Operation::SaveAll   ? "Saving"
                       : operation == FleetMonitor::Operation::Compare ? "Comparing"
                       : operation == FleetMonitor::Operation::Send    ? "Sending"
                                                                       : "Reading";
    m_status->setText(QStringLiteral("%1: %2/%3 done, %4 failed")
                          .arg(QLatin1String(what))
                          .arg(done)
                          .arg(total)
                          .arg(failed));
}

void TFormFleet::finished(FleetMonitor::Operation operation, const std::vector<FleetRow> &rows,
                          const QString &error)
{
    QStringList lines;
    int failed = 0;
    for (const FleetRow &row : rows) {
        failed += row.failed();
        QString line =
            rowName(row) + QStringLiteral(": ") + FleetOperations::statusWord(row.status);
        if (!row.reason.isEmpty())
            line += QStringLiteral(", ") + row.reason;
        if (operation == FleetMonitor::Operation::SaveAll && row.ok())
            line += QStringLiteral(", ") + row.field(QStringLiteral("file"));
        lines << line;
        for (const QString &detail : row.details)
            if (!detail.startsWith(QLatin1String("identity ")))
                lines << QStringLiteral("    ") + detail;
    }
    if (!error.isEmpty())
        lines.prepend(error);

    if (operation == FleetMonitor::Operation::Preview) {
        setBusy(false, QString());
        showSummary();
        QStringList text;
        text << QStringLiteral("The file goes to %1 controllers. Each keeps its own address "
                               "(0x12) and name (0x15); a value the model's rules refuse fails "
                               "that controller and nothing of it is written.")
                    .arg(rows.size())
             << QString();
        for (const FleetRow &row : rows) {
            if (row.status == FleetStatus::Skipped) {
                text << rowName(row) + QStringLiteral(": not sent, ") + row.reason;
                continue;
            }
            if (row.failed()) {
                text << rowName(row) + QStringLiteral(": cannot be read now, ") + row.reason;
                continue;
            }
            QStringList changes;
            for (const QString &detail : row.details)
                if (!detail.startsWith(QLatin1String("identity ")))
                    changes << QStringLiteral("    ") + detail;
            text << rowName(row)
                        + (changes.isEmpty() ? QStringLiteral(": no change")
                                             : QStringLiteral(": %1 changes").arg(changes.size()));
            text << changes;
        }
        if (confirmer()(this, text.join(QLatin1Char('\n')))) {
            if (m_monitor.send(m_sendContent, m_sendRows))
                setBusy(true, QStringLiteral("Sending..."));
        } else {
            m_result->setPlainText(QStringLiteral("Send cancelled: nothing was sent."));
        }
        return;
    }
    if (!isVisible())
        m_monitor.stop();
    m_result->setPlainText(lines.join(QLatin1Char('\n')));
    setBusy(false, QString());
    const char *what = operation == FleetMonitor::Operation::SaveAll   ? "Saved"
                       : operation == FleetMonitor::Operation::Compare ? "Compared"
                                                                       : "Sent";
    m_status->setText(QStringLiteral("%1: %2 controllers, %3 failed%4")
                          .arg(QLatin1String(what))
                          .arg(rows.size())
                          .arg(failed)
                          .arg(error.isEmpty() ? QString() : QStringLiteral("; ") + error));
}

void TFormFleet::GridFleetDoubleClick(int row)
{
    const std::vector<FleetMonitorRow> rows = m_monitor.rows();
    TFormParamIP *paramIP = m_context.toolWindows().paramIP;
    if (row < 0 || size_t(row) >= rows.size() || !paramIP)
        return;
    const FleetTarget &target = rows[size_t(row)].target;
    QLMCConnection &link = paramIP->connection();
    if (link.isConnected() && link.comMode() == ComModes::TcpDirect && link.ipText() == target.ip)
        return; // already connected to it
    link.close();
    paramIP->setTarget(ComModes::TcpDirect, target.ip);
    paramIP->BOpenClick();
}
