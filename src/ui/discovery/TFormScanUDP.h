// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/ToolWindow.h"

#include <QTimer>

#include <memory>

class DiscoveryNetwork;
class QLabel;
class QLMCScanQuelmoDevice;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class WindowContext;

/// The scan window: lists the controllers found on every local network and hands one to the
/// connection.
class TFormScanUDP : public ToolWindow
{
    Q_OBJECT

public:
    static constexpr int ScanWaitMs = 500;

    explicit TFormScanUDP(WindowContext &context);
    ~TFormScanUDP() override;

    /// Discovery through \a network on \a port from now on (tests); the window
    /// does not own it.
    void useNetwork(DiscoveryNetwork &network, uint16_t port, int scanWaitMs = ScanWaitMs);
    QLMCScanQuelmoDevice &engine() { return *m_engine; }

    /// "Scan": shows "Processing..." now and scans from a zero-delay timer.
    void BScanClick();
    void LVDevicesClick(QTreeWidgetItem *item);

protected:
    void placeOnShow() override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void runScan();

    WindowContext &m_context;
    std::unique_ptr<DiscoveryNetwork> m_ownNetwork;
    std::unique_ptr<QLMCScanQuelmoDevice> m_engine;
    QLabel *m_stateUdp = nullptr;
    QLabel *m_ipScan = nullptr;
    QPushButton *m_scan = nullptr;
    QTreeWidget *m_devices = nullptr;
    QTimer m_scanTimer;
};
