// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/discovery/TFormScanUDP.h"

#include "ui/connection/TFormParamIPChangeBoxes.h"

#include "discovery/DiscoveryNetworkChoice.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "link/QLMCConnection.h"
#include "protocol/ConnectionState.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/discovery/DiscoveryListViews.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

TFormScanUDP::TFormScanUDP(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormScanUDP"),
                 QStringLiteral("Scan devices"))
    , m_context(context)
    , m_ownNetwork(makeDiscoveryNetwork())
    , m_engine(std::make_unique<QLMCScanQuelmoDevice>(ScanWaitMs, *m_ownNetwork))
{
    auto *grid = new QGridLayout(this);
    auto *stateTitle = new QLabel(QStringLiteral("State UDP :"), this);
    m_stateUdp = new QLabel(QStringLiteral("----"), this);
    m_stateUdp->setObjectName(QStringLiteral("LStateUDP"));
    auto *scanTitle = new QLabel(QStringLiteral("IP Scan address: "), this);
    m_ipScan = new QLabel(QStringLiteral("----"), this);
    m_ipScan->setObjectName(QStringLiteral("LIPScan"));
    m_scan = new QPushButton(QStringLiteral("Scan"), this);
    m_scan->setObjectName(QStringLiteral("BScan"));
    grid->addWidget(stateTitle, 0, 0);
    grid->addWidget(m_stateUdp, 0, 1);
    grid->addWidget(m_scan, 0, 3, 2, 1);
    grid->addWidget(scanTitle, 1, 0);
    grid->addWidget(m_ipScan, 1, 1);
    grid->setColumnStretch(2, 1);
    grid->addWidget(new QLabel(QStringLiteral("List of connected devices:"), this), 2, 0, 1, 4);
    m_devices = DiscoveryListViews::create(
        this, "LVDevices",
        {QStringLiteral("MAC Address"), QStringLiteral("IP Address"), QStringLiteral("Type"),
         QStringLiteral("Ver FW"), QStringLiteral("Ver HW"), QStringLiteral("Name")},
        DiscoveryListViews::widestDeviceTexts());
    grid->addWidget(m_devices, 3, 0, 1, 4);
    resize(620, 320);

    m_scanTimer.setSingleShot(true);
    m_scanTimer.setInterval(0);
    connect(&m_scanTimer, &QTimer::timeout, this, &TFormScanUDP::runScan);
    connect(m_scan, &QPushButton::clicked, this, &TFormScanUDP::BScanClick);
    connect(m_devices, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { LVDevicesClick(item); });
}

TFormScanUDP::~TFormScanUDP() = default;

void TFormScanUDP::useNetwork(DiscoveryNetwork &network, uint16_t port, int scanWaitMs)
{
    m_engine = std::make_unique<QLMCScanQuelmoDevice>(scanWaitMs, network, port);
    m_ownNetwork.reset();
}

void TFormScanUDP::placeOnShow()
{
    if (QWidget *main = mainWindow())
        move(main->pos() + QPoint(10, 40));
}

void TFormScanUDP::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    // Every show scans anew.
    if (!event->spontaneous())
        BScanClick();
}

void TFormScanUDP::hideEvent(QHideEvent *event)
{
    m_scanTimer.stop();
    m_devices->clear();
    m_scan->setEnabled(true);
    ToolWindow::hideEvent(event);
}

void TFormScanUDP::BScanClick()
{
    m_stateUdp->setText(QStringLiteral("Start scanning..."));
    m_ipScan->setText(QStringLiteral("255.255.255.255"));
    m_scan->setEnabled(false);
    DiscoveryListViews::showProcessing(m_devices);
    repaint();
    // The scan blocks for its waits: it runs once "Processing..." is on screen.
    m_scanTimer.start();
}

void TFormScanUDP::runScan()
{
    m_engine->scanNetworkBoard();
    m_engine->scanQuelmoDevice();
    DiscoveryListViews::fillDevices(m_devices, *m_engine);
    m_scan->setEnabled(true);
    m_stateUdp->setText(QStringLiteral("Scan finished"));
    if (m_engine->unknownVariableCount() > 0)
        MessageBoxes::show(this, QStringLiteral("Error"),
                           QStringLiteral("Unknown variable in IP Packet."), MessageIcon::Critical);
}

void TFormScanUDP::LVDevicesClick(QTreeWidgetItem *item)
{
    const QLMCQuelmoDevice *found = m_engine->findDevice(DiscoveryListViews::key(item));
    TFormParamIP *paramIP = m_context.toolWindows().paramIP;
    if (!found || !paramIP)
        return; // "Processing..." or a row of an older scan
    const QLMCQuelmoDevice device = *found;
    int mode;
    if (device.TypeCode == 1 || device.TypeCode == 8) {
        mode = ComModes::TcpGateway;
    } else if ((device.TypeCode == 2 && device.SubType > 1)
               || (device.TypeCode == 6 && device.SubType != 0)) {
        mode = ComModes::TcpDirect;
    } else {
        MessageBoxes::show(this, QStringLiteral("Error"),
                           QStringLiteral("This application does not support this device type !"),
                           MessageIcon::Warning);
        return;
    }
    QStringList fields;
    for (const uint8_t field : device.IP)
        fields << QString::number(field);
    const QString address = fields.join(QLatin1Char('.'));
    // The open link closes only for another device: picking the controller
    // already connected leaves it alone, and a gateway already connected is
    // scanned over its own link.
    QLMCConnection &link = paramIP->connection();
    const bool connectedToIt =
        link.isConnected() && link.comMode() == mode && link.ipText() == address;
    if (connectedToIt && mode == ComModes::TcpDirect) {
        close();
        return;
    }
    // The close decides by ComMode what to close: it runs before the mode
    // changes, and the close of a TCP link sets ComMode to closed at once.
    if (!connectedToIt)
        link.close();
    paramIP->setTarget(mode, address);
    close();
    if (mode == ComModes::TcpDirect) {
        paramIP->BOpenClick();
    } else {
        paramIP->show();
        // The connection window's own scan: its list and button follow it.
        paramIP->changeBoxes().BScanI2CBusClick();
    }
}
