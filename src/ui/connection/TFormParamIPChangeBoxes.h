// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/SessionListener.h"

#include <QObject>
#include <QTimer>

class CommandRunner;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSpinBox;
class WindowContext;
class TFormParamIP;

/// The controls of the connection window's two "Change parameters" boxes:
/// watchdog, address and name of a direct controller (GBComTCP), the module
/// address, bus scan and name of a gateway module (GBComI2C). The rules are in
/// DeviceNetworkSettings; this class builds and wires the controls.
class ChangeParametersBoxes : public QObject
{
    Q_OBJECT

public:
    ChangeParametersBoxes(TFormParamIP &window, WindowContext &context, QSpinBox *addressI2C);

    void BChangeTCPWatchDogClick();
    void BChangeIPClick();
    /// Both name buttons: the edit of the current mode, panel 9 at once.
    void BChangeNameIPModClick();
    /// Starts a bus scan of the gateway at the window's address (opens it when
    /// closed). Also called by the scan window.
    void BScanI2CBusClick();
    /// Applies the selected entry's module address; \a userClick reconnects a
    /// gateway connection to it.
    void ListBScanI2CClick(bool userClick);
    /// Drops the neighbour entry of the address stored at Open.
    void resetArp(CommandRunner &runner);

private:
    void buildTcpBox();
    void buildI2CBox();
    void wire();
    void TimerWaitCloseTimer();
    void scanFinished(const QStringList &entries);
    void scanEnded();
    void directValue(SessionListener::DirectValue value);

    TFormParamIP &m_window;
    WindowContext &m_context;
    QSpinBox *m_addressI2C;
    QSpinBox *m_watchdog = nullptr;
    QPushButton *m_changeWatchdog = nullptr;
    QLineEdit *m_newAddress[4] = {};
    QPushButton *m_changeIp = nullptr;
    QLineEdit *m_nameIp = nullptr;
    QPushButton *m_changeNameIp = nullptr;
    QPushButton *m_scan = nullptr;
    QListWidget *m_list = nullptr;
    QLineEdit *m_nameI2C = nullptr;
    QPushButton *m_changeNameI2C = nullptr;
    QTimer m_waitClose;
    int m_pendingModule = 0;
};
