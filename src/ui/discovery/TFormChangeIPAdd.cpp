// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/discovery/TFormChangeIPAdd.h"

#include "base/Diagnostics.h"
#include "discovery/DiscoveryNetworkChoice.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "ui/discovery/DiscoveryListViews.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedLayout>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr const char *Source = "ChangeIPAddForm";
}

TFormChangeIPAdd::TFormChangeIPAdd(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormChangeIPAdd"),
                 QStringLiteral("Change IP Address"))
    , m_ownNetwork(makeDiscoveryNetwork())
    , m_engine(std::make_unique<QLMCScanQuelmoDevice>(ScanWaitMs, *m_ownNetwork))
{
    // The three groups share one place; the stack shows one at a time.
    m_stack = new QStackedLayout;
    m_stack->addWidget(buildScanGroup());
    m_stack->addWidget(buildBoardGroup());
    m_stack->addWidget(buildChangeGroup());
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(m_stack);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("LChangeResult"));
    outer->addWidget(m_result);
    resize(640, 330);

    m_scanTimer.setSingleShot(true);
    m_scanTimer.setInterval(0);
    connect(&m_scanTimer, &QTimer::timeout, this, &TFormChangeIPAdd::runScan);
}

TFormChangeIPAdd::~TFormChangeIPAdd() = default;

QGroupBox *TFormChangeIPAdd::buildScanGroup()
{
    m_scanGroup = new QGroupBox(QStringLiteral("Scan Quelmo device"), this);
    m_scanGroup->setObjectName(QStringLiteral("GBScanDevice"));
    auto *grid = new QGridLayout(m_scanGroup);
    grid->addWidget(
        new QLabel(QStringLiteral("Select the Quelmo device you want to change the IP Address:"),
                   m_scanGroup),
        0, 0);
    m_scan = new QPushButton(QStringLiteral("Scan"), m_scanGroup);
    m_scan->setObjectName(QStringLiteral("BScan"));
    grid->addWidget(m_scan, 0, 1);
    m_devices = DiscoveryListViews::create(
        m_scanGroup, "ListViewScanQuelmoDevices",
        {QStringLiteral("MAC Address"), QStringLiteral("IP Address"), QStringLiteral("Type"),
         QStringLiteral("Ver FW"), QStringLiteral("Ver HW"), QStringLiteral("Name")},
        DiscoveryListViews::widestDeviceTexts());
    grid->addWidget(m_devices, 1, 0, 1, 2);
    connect(m_scan, &QPushButton::clicked, this, &TFormChangeIPAdd::BScanClick);
    connect(m_devices, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { ListViewScanQuelmoDevicesClick(item); });
    return m_scanGroup;
}

QGroupBox *TFormChangeIPAdd::buildBoardGroup()
{
    m_boardGroup = new QGroupBox(QStringLiteral("Network board on your PC"), this);
    m_boardGroup->setObjectName(QStringLiteral("GBScanNetBoard"));
    auto *layout = new QVBoxLayout(m_boardGroup);
    layout->addWidget(
        new QLabel(QStringLiteral("Select the network board connected to the desired network:"),
                   m_boardGroup));
    m_boards =
        DiscoveryListViews::create(m_boardGroup, "ListViewScanNetworkBoard",
                                   {QStringLiteral("Name"), QStringLiteral("IP Address"),
                                    QStringLiteral("MAC Address"), QStringLiteral("Description")},
                                   {QStringLiteral("Local Area Connection"),
                                    QStringLiteral("255.255.255.255"),
                                    QStringLiteral("DD-DD-DD-DD-DD-DD"), QString()});
    layout->addWidget(m_boards);
    connect(m_boards, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { ListViewScanNetworkBoardClick(item); });
    return m_boardGroup;
}

QGroupBox *TFormChangeIPAdd::buildChangeGroup()
{
    m_changeGroup = new QGroupBox(QStringLiteral("Change device IP address"), this);
    m_changeGroup->setObjectName(QStringLiteral("GBChangeIPAddDevice"));
    auto *grid = new QGridLayout(m_changeGroup);
    grid->addWidget(new QLabel(QStringLiteral("Device MAC address:"), m_changeGroup), 0, 0);
    m_macValue = new QLabel(QStringLiteral("---"), m_changeGroup);
    m_macValue->setObjectName(QStringLiteral("LMACAddVal"));
    grid->addWidget(m_macValue, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Device IP address:"), m_changeGroup), 1, 0);
    auto *fields = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        m_address[size_t(i)] = new QLineEdit(QStringLiteral("255"), m_changeGroup);
        m_address[size_t(i)]->setObjectName(QStringLiteral("EIPAdd%1").arg(i));
        m_address[size_t(i)]->setAlignment(Qt::AlignCenter);
        m_address[size_t(i)]->setFixedWidth(
            m_address[size_t(i)]->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
        if (i > 0)
            fields->addWidget(new QLabel(QStringLiteral("."), m_changeGroup));
        fields->addWidget(m_address[size_t(i)]);
    }
    fields->addStretch(1);
    grid->addLayout(fields, 1, 1);
    auto *warningTitle = new QLabel(QStringLiteral("Warning !"), m_changeGroup);
    warningTitle->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    grid->addWidget(warningTitle, 2, 0);
    auto *warning = new QLabel(
        QStringLiteral("IP Address will be changed only if there is no active TCP/IP connection. "),
        m_changeGroup);
    warning->setWordWrap(true);
    grid->addWidget(warning, 2, 1);
    m_change = new QPushButton(QStringLiteral("Change IP address device"), m_changeGroup);
    m_change->setObjectName(QStringLiteral("BChangeIPAddDevice"));
    m_back = new QPushButton(QStringLiteral("Back"), m_changeGroup);
    m_back->setObjectName(QStringLiteral("BBack"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_change);
    buttons->addWidget(m_back);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);
    connect(m_change, &QPushButton::clicked, this, &TFormChangeIPAdd::BChangeIPAddDeviceClick);
    connect(m_back, &QPushButton::clicked, this, &TFormChangeIPAdd::BBackClick);
    return m_changeGroup;
}

void TFormChangeIPAdd::useNetwork(DiscoveryNetwork &network, uint16_t port, int scanWaitMs)
{
    m_engine = std::make_unique<QLMCScanQuelmoDevice>(scanWaitMs, network, port);
    m_ownNetwork.reset();
}

void TFormChangeIPAdd::showGroup(QGroupBox *group)
{
    m_stack->setCurrentWidget(group);
}

void TFormChangeIPAdd::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    if (event->spontaneous())
        return;
    m_result->clear();
    m_devices->setEnabled(true);
    showGroup(m_scanGroup);
    BScanClick();
}

void TFormChangeIPAdd::hideEvent(QHideEvent *event)
{
    m_scanTimer.stop();
    m_scan->setEnabled(true);
    ToolWindow::hideEvent(event);
}

void TFormChangeIPAdd::BScanClick()
{
    m_scan->setEnabled(false);
    DiscoveryListViews::showProcessing(m_devices);
    repaint();
    m_scanTimer.start();
}

void TFormChangeIPAdd::runScan()
{
    m_engine->scanNetworkBoard();
    m_engine->scanQuelmoDevice();
    DiscoveryListViews::fillDevices(m_devices, *m_engine);
    m_scan->setEnabled(true);
    if (m_changedTo) {
        // After a change: does the device answer at its new address?
        m_result->setText(m_engine->checkChange(m_deviceKey, *m_changedTo).text);
        m_changedTo.reset();
    }
    if (m_engine->unknownVariableCount() > 0)
        MessageBoxes::show(this, QStringLiteral("Error"),
                           QStringLiteral("Unknown variable in IP Packet."), MessageIcon::Critical);
}

void TFormChangeIPAdd::ListViewScanQuelmoDevicesClick(QTreeWidgetItem *item)
{
    const QString key = DiscoveryListViews::key(item);
    if (!m_engine->findDevice(key))
        return; // "Processing..."
    m_deviceKey = key;
    m_engine->scanNetworkBoard();
    DiscoveryListViews::fillBoards(m_boards, m_engine->BoardList);
    if (m_boards->topLevelItemCount() == 1) {
        m_boards->setCurrentItem(m_boards->topLevelItem(0));
        ListViewScanNetworkBoardClick(m_boards->topLevelItem(0));
        return;
    }
    showGroup(m_boardGroup);
}

void TFormChangeIPAdd::ListViewScanNetworkBoardClick(QTreeWidgetItem *item)
{
    const QLMCNetBoard *board = m_engine->findBoard(DiscoveryListViews::key(item));
    if (!board || !m_engine->findDevice(m_deviceKey))
        return;
    m_boardKey = board->IPText;
    showGroup(m_changeGroup);
    m_macValue->setText(m_deviceKey);
    for (size_t i = 0; i < 3; ++i)
        m_address[i]->setText(QString::number(board->IP[i]));
    m_address[3]->setText(QStringLiteral("?"));
    m_address[3]->setFocus();
    m_address[3]->selectAll();
}

void TFormChangeIPAdd::BBackClick()
{
    showGroup(m_scanGroup);
    BScanClick();
}

void TFormChangeIPAdd::setChangeButtonsEnabled(bool enabled)
{
    m_change->setEnabled(enabled);
    m_back->setEnabled(enabled);
}

void TFormChangeIPAdd::BChangeIPAddDeviceClick()
{
    if (m_address[3]->text() == QLatin1String("?"))
        return;
    const QString text = m_address[0]->text() + '.' + m_address[1]->text() + '.'
                         + m_address[2]->text() + '.' + m_address[3]->text();
    const QLMCQuelmoDevice *found = m_engine->findDevice(m_deviceKey);
    const QLMCNetBoard *foundBoard = m_engine->findBoard(m_boardKey);
    if (!found || !foundBoard)
        return;
    const QLMCQuelmoDevice device = *found;
    const QLMCNetBoard board = *foundBoard;
    setChangeButtonsEnabled(false);
    auto failed = [this] {
        LOG_ERROR(Source, "TFormChangeIPAdd::BChangeIPAddDeviceClick",
                  QStringLiteral("changeIPAdd failed"));
        setChangeButtonsEnabled(true);
    };
    // The address is checked before anything is sent, the ping included.
    const auto address = QLMCScanQuelmoDevice::checkNewAddress(text, board);
    if (!address) {
        m_engine->changeIPAdd(device, board, text); // reports the bad format, sends nothing
        failed();
        return;
    }
    const PingResult ping = m_engine->testPing(*address);
    if (ping != PingResult::NoReply) {
        const QString question =
            ping == PingResult::Reply
                ? QStringLiteral("This IP Address is already used in your network. Do you "
                                 "really want to change it?")
                : QStringLiteral("The IP address could not be tested. Do you really want to "
                                 "change it?");
        if (!MessageBoxes::ask(this, QStringLiteral("Warning"), question, MessageIcon::Warning)) {
            setChangeButtonsEnabled(true);
            return;
        }
    }
    if (!m_engine->changeIPAdd(device, board, text)) {
        failed();
        return;
    }
    setChangeButtonsEnabled(true);
    m_changedTo = address;
    m_deviceKey = device.MACText;
    showGroup(m_scanGroup);
    BScanClick();
}
