// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/files/TFormFile.h"

#include "base/Diagnostics.h"
#include "device/QLMCSession.h"
#include "files/ParameterApply.h"
#include "link/QLMCConnection.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/files/TFormTime.h"
#include "ui/main/RegulationParametersPanel.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QColor>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char *const Source = "FileForm";

TFormFile::Chooser &chooser()
{
    // A save replaces an existing file without asking: the dialog would ask
    // only for a name typed with ".qmc", and the name is completed after it.
    static TFormFile::Chooser c = [](QWidget *parent, bool save, const QString &filter) {
        return save ? QFileDialog::getSaveFileName(parent, QString(), QString(), filter, nullptr,
                                                   QFileDialog::DontConfirmOverwrite)
                    : QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    };
    return c;
}

void report(const char *function, int line, const QString &text)
{
    LogMessage(Source, line, function, LogOutput::MessageBox, LogLevelInfo, LogActionNone, text);
}

QString addressText(int address)
{
    return QStringLiteral("0x") + QString::number(address, 16).toUpper().rightJustified(2, '0');
}

} // namespace

TFormFile::Chooser TFormFile::setChooser(Chooser c)
{
    Chooser previous = chooser();
    chooser() = std::move(c);
    return previous;
}

TFormFile::TFormFile(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormFile"),
                 QStringLiteral("Parameters file  *.qmc"))
    , m_context(context)
    , m_saveProcedure(context.session(), *this)
{
    resize(940, 460);

    // The open half: open (and send, or display), the register list, the comparison.
    m_openGroup = new QGroupBox(QStringLiteral("Open file"), this);
    m_openGroup->setObjectName(QStringLiteral("GBOpenFile"));
    m_open = new QPushButton(QStringLiteral("Open and display parameters file..."), m_openGroup);
    m_open->setObjectName(QStringLiteral("BOpen"));
    m_compare = new QPushButton(QStringLiteral("Compare with device..."), m_openGroup);
    m_compare->setObjectName(QStringLiteral("BCompare"));
    auto *openStatusCaption = new QLabel(QStringLiteral("Open status:"), m_openGroup);
    m_openStatus = new QLabel(QStringLiteral("Ready"), m_openGroup);
    m_openStatus->setObjectName(QStringLiteral("LOpenStatusVal"));
    m_memo = new QPlainTextEdit(m_openGroup);
    m_memo->setObjectName(QStringLiteral("MemoRegList"));
    m_memo->setReadOnly(true);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setMaximumWidth(160);
    m_diff = new QTreeWidget(m_openGroup);
    m_diff->setObjectName(QStringLiteral("LVDiff"));
    m_diff->setRootIsDecorated(false);
    m_diff->setHeaderLabels({QStringLiteral("Reg"), QStringLiteral("Name"),
                             QStringLiteral("Device"), QStringLiteral("File"),
                             QStringLiteral("Notes")});
    m_diff->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_diff->header()->setStretchLastSection(true);
    m_diff->setColumnWidth(0, 60);
    m_diff->setColumnWidth(1, 130);
    m_diff->setColumnWidth(2, 230);
    m_diff->setColumnWidth(3, 230);
    m_sendSelected = new QPushButton(QStringLiteral("Send selected"), m_openGroup);
    m_sendSelected->setObjectName(QStringLiteral("BSendSelected"));
    m_sendSelected->setEnabled(false);
    auto *openButtons = new QHBoxLayout;
    openButtons->addWidget(m_open);
    openButtons->addWidget(m_compare);
    openButtons->addStretch(1);
    openButtons->addWidget(openStatusCaption);
    openButtons->addWidget(m_openStatus);
    auto *lists = new QHBoxLayout;
    lists->addWidget(m_memo);
    auto *diffColumn = new QVBoxLayout;
    diffColumn->addWidget(m_diff, 1);
    diffColumn->addWidget(m_sendSelected, 0, Qt::AlignRight);
    lists->addLayout(diffColumn, 1);
    auto *openLayout = new QVBoxLayout(m_openGroup);
    openLayout->addLayout(openButtons);
    openLayout->addLayout(lists, 1);

    // The save half: one check box per group, the button and the status.
    m_saveGroup = new QGroupBox(QStringLiteral("Save file"), this);
    m_saveGroup->setObjectName(QStringLiteral("GBSaveFile"));
    auto *grid = new QGridLayout;
    int row = 0;
    for (const SaveGroupInfo &info : saveGroupTable()) {
        auto *box = new QCheckBox(QString::fromLatin1(info.caption), m_saveGroup);
        box->setObjectName(QString::fromLatin1(info.checkBoxName));
        box->setChecked(true);
        auto *label = new QLabel(QString::fromLatin1(info.label), m_saveGroup);
        label->setWordWrap(true);
        grid->addWidget(box, row, 0);
        grid->addWidget(label, row, 1);
        m_groups[size_t(info.group)] = box;
        ++row;
    }
    grid->setColumnStretch(1, 1);
    m_save = new QPushButton(QStringLiteral("Save parameters file..."), m_saveGroup);
    m_save->setObjectName(QStringLiteral("BSave"));
    m_saveStatus = new QLabel(QStringLiteral("Ready"), m_saveGroup);
    m_saveStatus->setObjectName(QStringLiteral("LSaveStatusVal"));
    auto *saveRow = new QHBoxLayout;
    saveRow->addWidget(m_save);
    saveRow->addWidget(new QLabel(QStringLiteral("Save status:"), m_saveGroup));
    saveRow->addWidget(m_saveStatus, 1);
    auto *saveLayout = new QVBoxLayout(m_saveGroup);
    saveLayout->addLayout(grid);
    saveLayout->addLayout(saveRow);
    saveLayout->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_openGroup);
    layout->addWidget(m_saveGroup);
    m_saveGroup->hide();

    m_saveProcedure.setGroupsProvider([this] { return tickedGroups(); });
    m_timerCompare.setSingleShot(true);
    m_timerCompare.setInterval(ParameterSave::SaveDelayMs);
    connect(&m_timerCompare, &QTimer::timeout, this, &TFormFile::fillComparison);
    connect(m_save, &QPushButton::clicked, this, &TFormFile::BSaveClick);
    connect(m_open, &QPushButton::clicked, this, &TFormFile::BOpenClick);
    connect(m_compare, &QPushButton::clicked, this, &TFormFile::BCompareClick);
    connect(m_sendSelected, &QPushButton::clicked, this, &TFormFile::BSendSelectedClick);
    connect(&context.sessionBridge(), &GuiSessionBridge::limitsArrived, this,
            &TFormFile::limitsArrived);
}

TFormFile::~TFormFile() = default;

QLMCConnection *TFormFile::connection() const
{
    TFormParamIP *paramIP = m_context.toolWindows().paramIP;
    return paramIP ? &paramIP->connection() : nullptr;
}

bool TFormFile::connected() const
{
    const QLMCConnection *c = connection();
    return c && c->isConnected();
}

SaveGroups TFormFile::tickedGroups() const
{
    SaveGroups groups = SaveGroups::none();
    for (size_t i = 0; i < m_groups.size(); ++i)
        groups.set(SaveGroup(i), m_groups[i]->isChecked());
    return groups;
}

void TFormFile::updateOpenCaption()
{
    if (!m_connectionWired) {
        if (QLMCConnection *c = connection()) {
            m_connectionWired = true;
            connect(c, &QLMCConnection::connectedStateChanged, this, [this](bool open) {
                updateOpenCaption();
                if (!open)
                    m_saveProcedure.connectionClosed();
            });
        }
    }
    const bool open = connected();
    m_open->setText(open ? QStringLiteral("Open and Send parameters file...")
                         : QStringLiteral("Open and display parameters file..."));
    m_open->setMinimumWidth(
        m_open->fontMetrics().horizontalAdvance("Open and display parameters file...") + 24);
    m_compare->setEnabled(open);
    if (!open) {
        m_sendSelected->setEnabled(false);
        m_diff->clear(); // a comparison belongs to the connection it was made on
    }
}

void TFormFile::showSaveGroup(bool connectionOpen)
{
    updateOpenCaption();
    m_openGroup->hide();
    m_saveGroup->show();
    if (m_saveProcedure.SavePending())
        return; // a save in progress keeps its status and its disabled button
    m_save->setEnabled(connectionOpen);
    m_saveStatus->setText(connectionOpen ? QStringLiteral("Ready")
                                         : QStringLiteral("Open communication first !"));
}

void TFormFile::showOpenGroup()
{
    updateOpenCaption();
    m_saveGroup->hide();
    m_openGroup->show();
}

void TFormFile::BSaveClick()
{
    updateOpenCaption();
    m_saveStatus->setText(QStringLiteral("Ready"));
    const QString name = chooser()(this, true, QString::fromLatin1(ParameterFile::DialogFilter));
    if (name.isEmpty())
        return;
    m_save->setEnabled(false);
    m_saveProcedure.start(name, connected());
}

void TFormFile::saveStatus(const QString &text)
{
    m_saveStatus->setText(text);
}

void TFormFile::savingIndicator(bool visible)
{
    if (TFormTime *time = m_context.toolWindows().time) {
        if (visible)
            time->show();
        else
            time->close();
    }
}

void TFormFile::saveEnded(bool written, const QString &failure)
{
    m_save->setEnabled(connected());
    if (!written)
        report("TFormFile::BSaveClick", __LINE__, failure);
}

void TFormFile::BOpenClick()
{
    updateOpenCaption();
    m_openStatus->setText(QStringLiteral("Ready"));
    const QString name = chooser()(this, false, QString::fromLatin1(ParameterFile::DialogFilter));
    if (!name.isEmpty())
        openFile(name);
    // The windows then show what the controller holds.
    m_context.session().AskRegistersFromModule();
}

bool TFormFile::openFile(const QString &path)
{
    QLMCSession &session = m_context.session();
    m_openStatus->setText(QStringLiteral("Open - Started"));
    // The whole file is checked first: a bad file changes nothing, check boxes included.
    const ParameterFileContent content = ParameterFile::readPath(path);
    if (!content.ok()) {
        report("TFormFile::openFile", __LINE__, content.error);
        m_openStatus->setText(QStringLiteral("Open - Failed"));
        return false;
    }
    // PID and feed-forward on: their click handlers run only when they were off.
    if (RegulationParametersPanel *parameters = m_context.panels().regulationParameters)
        parameters->switchPidAndFeedForwardOn();
    const bool online = session.connection().ComMode.load() != ComModes::Closed;
    const ApplyResult applied = ParameterApply::apply(session, content, online);
    m_memo->setPlainText(applied.names.join(QLatin1Char('\n')));
    if (online)
        session.ReadBackAfterSend = true;
    else
        m_context.frame().runDisplay();
    report("TFormFile::BOpenClick", __LINE__,
           content.result == 1 ? QStringLiteral("Load an old file version. The save method will "
                                                "create the new file version.")
                               : QStringLiteral("Open file successful."));
    // What the controller kept (its address and name) or refused is said here.
    const QString summary = applied.summary();
    m_openStatus->setText(summary.isEmpty() ? QStringLiteral("Open - Finished")
                                            : QStringLiteral("Open - Finished - ") + summary);
    m_openStatus->setToolTip(summary);
    return true;
}

void TFormFile::BCompareClick()
{
    updateOpenCaption();
    if (!connected())
        return;
    const QString name = chooser()(this, false, QString::fromLatin1(ParameterFile::DialogFilter));
    if (name.isEmpty())
        return;
    m_compared = ParameterFile::readPath(name);
    m_diff->clear();
    m_sentRows.clear();
    m_sendSelected->setEnabled(false);
    if (!m_compared.ok()) {
        report("TFormFile::BCompareClick", __LINE__, m_compared.error);
        m_openStatus->setText(QStringLiteral("Open - Failed"));
        return;
    }
    m_openStatus->setText(QStringLiteral("Reading the device..."));
    m_compareState = CompareState::ReadingDevice;
    QLMCSession &session = m_context.session();
    session.AskRegistersFromModule();
    RegisterLockGuard guard(session.lock());
    session.motor().RequestRead(Reg::Kdff);
}

void TFormFile::limitsArrived()
{
    m_saveProcedure.limitsReceived();
    if (m_compareState != CompareState::Idle && !m_timerCompare.isActive())
        m_timerCompare.start();
}

void TFormFile::fillComparison()
{
    if (m_compareState == CompareState::Idle)
        return;
    const bool afterSend = m_compareState == CompareState::ReadingBack;
    m_compareState = CompareState::Idle;
    const std::vector<CompareRow> rows = ParameterCompare::compare(m_context.session(), m_compared);
    m_diff->clear();
    int different = 0;
    int refused = 0;
    QTreeWidgetItem *firstDifferent = nullptr;
    for (const CompareRow &row : rows) {
        auto *item = new QTreeWidgetItem(m_diff);
        item->setText(0, addressText(row.address));
        item->setText(1, row.name);
        item->setText(2, row.deviceText + QStringLiteral("  [") + row.deviceHex + QLatin1Char(']'));
        item->setText(3, row.fileText + QStringLiteral("  [") + row.fileHex + QLatin1Char(']'));
        item->setText(4, row.notes());
        if (row.identity)
            item->setForeground(4, QColor(Qt::darkYellow));
        item->setData(0, Qt::UserRole, row.address);
        const bool sendable = row.writable;
        item->setFlags(sendable ? item->flags() | Qt::ItemIsUserCheckable
                                : item->flags() & ~Qt::ItemIsUserCheckable);
        item->setCheckState(0, row.tickedByDefault() && !afterSend ? Qt::Checked : Qt::Unchecked);
        different += row.different;
        if (row.different && !firstDifferent)
            firstDifferent = item;
        if (afterSend && m_sentRows.count(row.address) && row.different && !row.command) {
            ++refused;
            for (int c = 0; c < 5; ++c)
                item->setForeground(c, QColor(Qt::red)); // the device did not take it
        }
    }
    if (firstDifferent)
        m_diff->scrollToItem(firstDifferent, QAbstractItemView::PositionAtCenter);
    m_sendSelected->setEnabled(connected());
    QString status = afterSend ? QStringLiteral("Sent - %1 not taken").arg(refused)
                               : QStringLiteral("%1 different").arg(different);
    if (afterSend && !m_sendSummary.isEmpty())
        status += QStringLiteral(" - ") + m_sendSummary;
    else if (!afterSend && std::any_of(rows.begin(), rows.end(),
                                       [](const CompareRow &r) { return r.identity; }))
        status += QStringLiteral(" - identity rows left unticked");
    m_openStatus->setText(status);
}

void TFormFile::BSendSelectedClick()
{
    if (!connected())
        return;
    std::set<int> selected;
    for (int i = 0; i < m_diff->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_diff->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            selected.insert(item->data(0, Qt::UserRole).toInt());
    }
    if (selected.empty())
        return;
    QLMCSession &session = m_context.session();
    // A ticked identity row is the user's own choice: it is sent.
    ApplyOptions options;
    options.withIdentity = true;
    const ApplyResult applied = ParameterApply::apply(
        session, m_compared, true,
        [&selected](const FileEntry &e) { return selected.count(e.address) > 0; }, options);
    m_sentRows = std::set<int>(applied.requested.begin(), applied.requested.end());
    m_compareState = CompareState::ReadingBack;
    m_sendSummary = applied.summary();
    m_openStatus->setText(QStringLiteral("Sending..."));
    session.ReadBackAfterSend = true;
    RegisterLockGuard guard(session.lock());
    session.motor().RequestRead(Reg::Kdff);
}
