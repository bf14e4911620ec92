// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/connection/TFormParamIPChangeBoxes.h"

#include "base/Diagnostics.h"
#include "device/DeviceNetworkSettings.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "platform/CommandRunner.h"
#include "ui/connection/LinkCloseQuestion.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/widgets/GuiSessionBridge.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace NS = DeviceNetworkSettings;

namespace {

const char *const Source = "ChangeParametersBoxes";
const char *const NewAddressDefaults[4] = {"192", "168", "16", "150"};

QLabel *label(const QString &text, const char *name, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

void setRed(QLineEdit *edit, bool red)
{
    setEditValid(edit, !red);
}

/// The watchdog in seconds: 0 is off (shown "off"); the arrows step from off
/// to the lowest time and back, the device takes 30..60.
class WatchdogSpinBox : public QSpinBox
{
public:
    explicit WatchdogSpinBox(QWidget *parent)
        : QSpinBox(parent)
    {
        setRange(0, NS::WatchdogMax);
        setSpecialValueText(QStringLiteral("off"));
    }
    void stepBy(int steps) override
    {
        if (value() == 0 && steps > 0)
            setValue(NS::WatchdogMin + steps - 1);
        else if (value() > 0 && value() + steps < NS::WatchdogMin)
            setValue(0);
        else
            QSpinBox::stepBy(steps);
    }
};

} // namespace

ChangeParametersBoxes::ChangeParametersBoxes(TFormParamIP &window, WindowContext &context,
                                             QSpinBox *addressI2C)
    : QObject(&window)
    , m_window(window)
    , m_context(context)
    , m_addressI2C(addressI2C)
{
    m_waitClose.setObjectName(QStringLiteral("TimerWaitClose"));
    m_waitClose.setInterval(50);
    buildTcpBox();
    buildI2CBox();
    wire();
    // Both boxes share one place: it is as tall as the taller one.
    const int height = std::max(m_window.comTcpBox()->sizeHint().height(),
                                m_window.comI2CBox()->sizeHint().height());
    m_window.comTcpBox()->setMinimumHeight(height);
    m_window.comI2CBox()->setMinimumHeight(height);
}

void ChangeParametersBoxes::buildTcpBox()
{
    QWidget *box = m_window.comTcpBox();
    QGridLayout *grid = m_window.comTcpLayout();
    grid->addWidget(label(QStringLiteral("TCP Watchdog time:"), "LTCPWatchDog", box), 0, 0, 1, 2);
    m_watchdog = new WatchdogSpinBox(box);
    m_watchdog->setObjectName(QStringLiteral("SpinETCPWatchDog"));
    m_watchdog->setValue(NS::WatchdogMin);
    auto *watchdogRow = new QHBoxLayout;
    watchdogRow->addWidget(m_watchdog);
    watchdogRow->addWidget(label(QStringLiteral("[s]"), "LTCPWatchDogUnit", box));
    watchdogRow->addStretch(1);
    grid->addLayout(watchdogRow, 1, 0);
    m_changeWatchdog = button(QStringLiteral("Change "), "BChangeTCPWatchDog", box);
    grid->addWidget(m_changeWatchdog, 1, 1);

    grid->addWidget(label(QStringLiteral("IP Address:"), "LIPAddressChange", box), 2, 0, 1, 2);
    auto *fields = new QHBoxLayout;
    fields->setSpacing(2);
    for (int i = 0; i < 4; ++i) {
        m_newAddress[i] = new QLineEdit(QLatin1String(NewAddressDefaults[i]), box);
        m_newAddress[i]->setObjectName(QStringLiteral("EAdd%1Change").arg(i));
        m_newAddress[i]->setAlignment(Qt::AlignCenter);
        m_newAddress[i]->setFixedWidth(
            m_newAddress[i]->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
        if (i > 0)
            fields->addWidget(new QLabel(QStringLiteral("."), box));
        fields->addWidget(m_newAddress[i]);
    }
    fields->addStretch(1);
    grid->addLayout(fields, 3, 0);
    m_changeIp = button(QStringLiteral("Change "), "BChangeIP", box);
    grid->addWidget(m_changeIp, 3, 1);

    grid->addWidget(label(QStringLiteral("ModuleName:"), "LNameIPMod", box), 4, 0, 1, 2);
    m_nameIp = new QLineEdit(box);
    m_nameIp->setObjectName(QStringLiteral("ENameIPMod"));
    m_nameIp->setMaxLength(NS::NameLength);
    grid->addWidget(m_nameIp, 5, 0);
    m_changeNameIp = button(QStringLiteral("Change"), "BChangeNameIPMod", box);
    grid->addWidget(m_changeNameIp, 5, 1);
}

void ChangeParametersBoxes::buildI2CBox()
{
    QWidget *box = m_window.comI2CBox();
    QGridLayout *grid = m_window.comI2CLayout();
    // Row 0 holds "Address I2C" and its spin (the connection window's own).
    m_scan = button(QStringLiteral("Scan I2C bus"), "BScanI2CBus", box);
    grid->addWidget(m_scan, 1, 0, 1, 2);
    m_list = new QListWidget(box);
    m_list->setObjectName(QStringLiteral("ListBScanI2C"));
    m_list->setFixedHeight(m_list->fontMetrics().height() * 4 + 8);
    grid->addWidget(m_list, 2, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("Name Module:"), "LNameI2CMod", box), 3, 0, 1, 2);
    m_nameI2C = new QLineEdit(box);
    m_nameI2C->setObjectName(QStringLiteral("ENameI2CMod"));
    m_nameI2C->setMaxLength(NS::NameLength);
    grid->addWidget(m_nameI2C, 4, 0);
    m_changeNameI2C = button(QStringLiteral("Change"), "BChangeNameI2CMod", box);
    grid->addWidget(m_changeNameI2C, 4, 1);
}

void ChangeParametersBoxes::wire()
{
    connect(m_changeWatchdog, &QPushButton::clicked, this,
            &ChangeParametersBoxes::BChangeTCPWatchDogClick);
    connect(m_changeIp, &QPushButton::clicked, this, &ChangeParametersBoxes::BChangeIPClick);
    connect(m_changeNameIp, &QPushButton::clicked, this,
            &ChangeParametersBoxes::BChangeNameIPModClick);
    connect(m_changeNameI2C, &QPushButton::clicked, this,
            &ChangeParametersBoxes::BChangeNameIPModClick);
    connect(m_scan, &QPushButton::clicked, this, &ChangeParametersBoxes::BScanI2CBusClick);
    // Only a user's click reconnects; the scan's own choice of the first entry does not.
    connect(m_list, &QListWidget::itemClicked, this, [this] { ListBScanI2CClick(true); });
    connect(&m_waitClose, &QTimer::timeout, this, &ChangeParametersBoxes::TimerWaitCloseTimer);
    for (QLineEdit *edit : {m_nameIp, m_nameI2C})
        connect(edit, &QLineEdit::textEdited, this, [edit] { setRed(edit, false); });

    QLMCConnection &connection = m_window.connection();
    connect(&connection, &QLMCConnection::scanFinished, this, &ChangeParametersBoxes::scanFinished);
    connect(&connection, &QLMCConnection::scanEnded, this, &ChangeParametersBoxes::scanEnded);
    connect(&m_context.sessionBridge(), &GuiSessionBridge::directValueArrived, this,
            &ChangeParametersBoxes::directValue);

    ConnectedControls &controls = m_context.connectedControls();
    for (QWidget *widget :
         {static_cast<QWidget *>(m_changeWatchdog), static_cast<QWidget *>(m_changeIp),
          static_cast<QWidget *>(m_changeNameIp), static_cast<QWidget *>(m_changeNameI2C)})
        controls.addWhileConnected(widget);
    // Requests follow the module address at once: it changes only while closed.
    controls.addWhileClosed(m_addressI2C);
}

void ChangeParametersBoxes::BChangeTCPWatchDogClick()
{
    const int value = NS::watchdogValue(m_watchdog->value());
    if (value != 0 && value != m_watchdog->value())
        m_watchdog->setValue(value);
    NS::writeWatchdog(m_context.session(), value);
}

void ChangeParametersBoxes::BChangeIPClick()
{
    QStringList fields;
    for (const QLineEdit *field : m_newAddress)
        fields << field->text();
    int bad = 0;
    const auto bytes = NS::addressBytes(fields, &bad);
    if (!bytes) {
        MessageBoxes::show(&m_window, QStringLiteral("Error"),
                           QStringLiteral("IP Address field %1: '%2' is not a number 0..255")
                               .arg(bad + 1)
                               .arg(fields.value(bad)),
                           MessageIcon::Warning);
        return;
    }
    NS::writeAddress(m_context.session(), *bytes);
}

void ChangeParametersBoxes::BChangeNameIPModClick()
{
    const int mode = m_window.connection().comMode();
    QLineEdit *edit = nullptr;
    if (mode == ComModes::TcpDirect || mode == ComModes::Udp)
        edit = m_nameIp;
    else if (mode == ComModes::TcpGateway)
        edit = m_nameI2C;
    const QString text = edit ? NS::nameText(edit->text()) : QString();
    const auto bytes = NS::nameBytes(text);
    if (!bytes) {
        setRed(edit, true);
        return;
    }
    if (edit)
        setRed(edit, false);
    m_context.frame().setStatusText(9, text);
    NS::writeName(m_context.session(), *bytes);
}

void ChangeParametersBoxes::BScanI2CBusClick()
{
    // The bus scan goes over a gateway link to this address; any other open
    // link (a controller, UDP, another gateway) closes first, if the user agrees.
    QLMCConnection &connection = m_window.connection();
    const bool overThisGateway = connection.comMode() == ComModes::TcpGateway
                                 && connection.isTcpActive()
                                 && connection.ipText() == m_window.ipText();
    if (!overThisGateway && connection.isConnected()) {
        if (!LinkCloseQuestion::mayClose(&m_window, m_context.session(), connection))
            return;
        connection.close();
    }
    m_list->clear();
    m_list->setEnabled(false);
    m_scan->setEnabled(false);
    m_window.connection().startBusScan(m_window.ipText());
}

void ChangeParametersBoxes::ListBScanI2CClick(bool userClick)
{
    QListWidgetItem *item = m_list->currentItem();
    if (!item || !item->isSelected())
        return;
    const std::optional<int> module = NS::scanEntryAddress(item->text());
    if (!module)
        return;
    QLMCConnection &connection = m_window.connection();
    if (userClick && connection.comMode() == ComModes::TcpGateway && connection.isTcpActive()) {
        // The module changes once the old connection is gone, then it reopens.
        m_pendingModule = *module;
        connection.close();
        m_waitClose.start();
        return;
    }
    m_addressI2C->setValue(*module);
}

void ChangeParametersBoxes::TimerWaitCloseTimer()
{
    QLMCConnection &connection = m_window.connection();
    if (connection.isTcpActive())
        return;
    m_waitClose.stop();
    if (m_pendingModule != 0)
        m_addressI2C->setValue(m_pendingModule);
    m_pendingModule = 0;
    connection.setComMode(m_window.checkedComMode());
    connection.open(m_window.ipText());
}

void ChangeParametersBoxes::scanFinished(const QStringList &entries)
{
    m_list->clear();
    m_list->addItems(entries);
    scanEnded();
    if (m_list->count() > 0) {
        m_list->setCurrentRow(0);
        ListBScanI2CClick(false);
    }
}

void ChangeParametersBoxes::scanEnded()
{
    m_list->setEnabled(true);
    m_scan->setEnabled(true);
}

void ChangeParametersBoxes::directValue(SessionListener::DirectValue value)
{
    if (value != SessionListener::DirectValue::TcpWatchdog
        && value != SessionListener::DirectValue::DeviceName)
        return;
    int watchdog;
    QString name;
    {
        RegisterLockGuard guard(m_context.session().lock());
        watchdog = m_context.session().Device.TcpWatchdog;
        name = m_context.session().Device.DeviceName;
    }
    if (value == SessionListener::DirectValue::TcpWatchdog) {
        const QSignalBlocker block(m_watchdog);
        // 0 is off and stays so: a Change writes it back unless the user changes it.
        m_watchdog->setValue(std::clamp(watchdog, 0, NS::WatchdogMax));
        return;
    }
    const qsizetype zero = name.indexOf(QChar(0));
    if (zero >= 0)
        name.truncate(zero);
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    for (QLineEdit *edit : {m_nameIp, m_nameI2C}) {
        const QSignalBlocker block(edit);
        edit->setText(name);
        setRed(edit, false);
    }
}

void ChangeParametersBoxes::resetArp(CommandRunner &runner)
{
    const QString address = m_window.connection().ipText();
    const QStringList argv = NS::arpResetArgv(address);
    if (argv.isEmpty()) {
        LogMessage(Source, __LINE__, "ChangeParametersBoxes::resetArp", LogOutput::Default,
                   LogLevelInfo, LogActionNone,
                   address.isEmpty()
                       ? QStringLiteral("Reset ARP: no connection was opened yet")
                       : QStringLiteral("Reset ARP: '%1' is not one IPv4 address").arg(address));
        return;
    }
    runner.run(argv);
}
