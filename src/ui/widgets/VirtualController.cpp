// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/VirtualController.h"

#include "link/QLMCConnection.h"
#include "protocol/ConnectionState.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QAction>

#include <algorithm>
#include <map>

namespace {

std::shared_ptr<SimController> makeController(const VirtualControllerChoice &choice, int host,
                                              const std::string &name, uint8_t macLast)
{
    SimIdentity identity;
    identity.ip = {127, 0, 0, uint8_t(host)};
    identity.mac[5] = macLast;
    identity.name = name;
    auto controller = std::make_shared<SimController>(choice.model, identity);
    controller->setAutoTuneOutcome(choice.autoTuning);
    return controller;
}

std::unique_ptr<SimServer> makeServer(const VirtualControllerChoice &choice, int host)
{
    SimServerConfig config;
    config.bindAddress = "127.0.0." + std::to_string(host);
    config.tcpPort = VirtualController::TcpPort;
    config.udpPort = VirtualController::UdpPort;
    if (choice.comMode != ComModes::TcpGateway)
        return std::make_unique<SimServer>(config, makeController(choice, host, "Virtual", 1));

    SimGatewayIdentity gateway;
    gateway.identity.ip = {127, 0, 0, uint8_t(host)};
    gateway.identity.name = "Virtual gateway";
    std::map<int, std::shared_ptr<SimController>> modules;
    for (const int address : choice.modules)
        modules[address] =
            makeController(choice, host, "Virtual-" + std::to_string(address), uint8_t(address));
    return std::make_unique<SimServer>(config, gateway, std::move(modules));
}

} // namespace

VirtualController::VirtualController(WindowContext &context, QAction *menuItem)
    : QObject(context.mainWindow())
    , m_context(context)
    , m_menuItem(menuItem)
{
    setObjectName(QStringLiteral("VirtualController"));
    m_menuItem->setText(QStringLiteral("Virtual controller..."));
    m_menuItem->setObjectName(QStringLiteral("MenuComVirtual"));
    connect(m_menuItem, &QAction::triggered, this, &VirtualController::MenuComVirtualClick);
    context.connectedControls().addWhileClosed(m_menuItem);
}

VirtualController::~VirtualController()
{
    stop();
}

void VirtualController::MenuComVirtualClick()
{
    if (!m_dialog) {
        m_dialog = new VirtualControllerDialog(m_context.mainWindow());
        connect(m_dialog, &QDialog::finished, this, &VirtualController::dialogFinished);
    }
    m_dialog->open();
}

void VirtualController::dialogFinished(int result)
{
    if (result != QDialog::Accepted || !m_dialog)
        return;
    if (const std::optional<VirtualControllerChoice> choice = m_dialog->choice())
        startAndConnect(*choice);
}

bool VirtualController::start(const VirtualControllerChoice &choice, QString *error)
{
    stop();
    std::string reason;
    for (int host = m_firstHost; host <= m_lastHost; ++host) {
        std::unique_ptr<SimServer> server = makeServer(choice, host);
        if (server->start(&reason)) {
            m_server = std::move(server);
            return true;
        }
    }
    if (error)
        *error = QString::fromStdString(reason);
    return false;
}

bool VirtualController::startAndConnect(const VirtualControllerChoice &choice)
{
    QString reason;
    if (!start(choice, &reason)) {
        MessageBoxes::show(
            m_context.mainWindow(), QStringLiteral("Virtual controller"),
            QStringLiteral("No virtual controller can be started: the ports %1 and %2 are taken on "
                           "every address from 127.0.0.%3 to 127.0.0.%4 (%5).")
                .arg(TcpPort)
                .arg(UdpPort)
                .arg(m_firstHost)
                .arg(m_lastHost)
                .arg(reason),
            MessageIcon::Warning);
        return false;
    }
    return openConnection(choice);
}

bool VirtualController::openConnection(const VirtualControllerChoice &choice)
{
    TFormParamIP *paramIP = m_context.toolWindows().paramIP;
    if (!paramIP) {
        stop();
        return false;
    }
    QLMCConnection &connection = paramIP->connection();
    if (connection.isTcpActive() || connection.isConnected()) {
        // Another connection is being opened: it is left alone.
        stop();
        return false;
    }
    if (!m_watchingConnection) {
        connect(&connection, &QLMCConnection::connectedStateChanged, this,
                &VirtualController::connectionStateChanged);
        m_watchingConnection = true;
    }

    // The connection window as the user would fill it, then its "Open".
    const bool gateway = choice.comMode == ComModes::TcpGateway && !choice.modules.empty();
    paramIP->setTarget(choice.comMode, address(), gateway ? choice.modules.front() : 0);
    connection.setPorts(TcpPort, UdpPort);
    paramIP->BOpenClick();
    return true;
}

void VirtualController::connectionStateChanged(bool connected)
{
    if (!connected)
        stop();
}

void VirtualController::stop()
{
    if (m_server) {
        m_server->stop();
        m_server.reset();
    }
}

void VirtualController::setHostRange(int first, int last)
{
    m_firstHost = std::clamp(first, 1, 254);
    m_lastHost = std::clamp(last, m_firstHost, 254);
}

bool VirtualController::isRunning() const
{
    return m_server && m_server->isRunning();
}

QString VirtualController::address() const
{
    return m_server ? QString::fromStdString(m_server->address()) : QString();
}
