// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/VirtualControllerDialog.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QAction;
class SimServer;
class WindowContext;

/// The Communication menu's "Virtual controller..." item: runs a virtual
/// controller inside the tool on the first free loopback address 127.0.0.N
/// (N from 2) with the standard ports, and opens the connection to it through
/// the connection window. The virtual controller stops when that connection
/// closes, or with the program.
class VirtualController : public QObject
{
    Q_OBJECT

public:
    /// The addresses tried: 127.0.0.FirstHost .. 127.0.0.LastHost, in order.
    static constexpr int FirstHost = 2;
    static constexpr int LastHost = 254;
    static constexpr quint16 TcpPort = 8010;
    static constexpr quint16 UdpPort = 7010;

    /// Takes \a menuItem (titled, named and wired here); it is enabled only
    /// while no connection is open.
    VirtualController(WindowContext &context, QAction *menuItem);
    ~VirtualController() override;

    /// The item's click: shows the dialog; accepting it runs start() and opens.
    void MenuComVirtualClick();
    /// The dialog the item shows (nullptr before the first click).
    VirtualControllerDialog *dialog() const { return m_dialog; }

    /// Starts a virtual controller for \a choice on the first 127.0.0.N whose
    /// ports are free; false, with the reason in \a error, when none is.
    bool start(const VirtualControllerChoice &choice, QString *error = nullptr);
    /// Starts for \a choice and opens the connection to it; a message box
    /// tells when no address is free. False when nothing was opened (also
    /// while another connection is being opened).
    bool startAndConnect(const VirtualControllerChoice &choice);
    void stop();
    bool isRunning() const;
    /// Narrows the addresses tried to 127.0.0.\a first .. 127.0.0.\a last (tests).
    void setHostRange(int first, int last);
    /// The address served ("127.0.0.2"), empty when stopped.
    QString address() const;
    SimServer *server() const { return m_server.get(); }

private:
    void dialogFinished(int result);
    bool openConnection(const VirtualControllerChoice &choice);
    void connectionStateChanged(bool connected);

    WindowContext &m_context;
    QAction *m_menuItem;
    QPointer<VirtualControllerDialog> m_dialog;
    std::unique_ptr<SimServer> m_server;
    bool m_watchingConnection = false;
    int m_firstHost = FirstHost;
    int m_lastHost = LastHost;
};
