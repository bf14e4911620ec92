// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/ToolWindow.h"

#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class DiscoveryNetwork;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLMCScanQuelmoDevice;
class QPushButton;
class QStackedLayout;
class QTreeWidget;
class QTreeWidgetItem;
class WindowContext;

/// The IP-change window: gives a controller found on the network a new address.
/// Three groups share one place, one visible at a time: the device scan, the
/// local adapters, the new address. It has its own discovery engine.
class TFormChangeIPAdd : public ToolWindow
{
    Q_OBJECT

public:
    static constexpr int ScanWaitMs = 500;

    explicit TFormChangeIPAdd(WindowContext &context);
    ~TFormChangeIPAdd() override;

    /// Discovery through \a network on \a port from now on (tests).
    void useNetwork(DiscoveryNetwork &network, uint16_t port, int scanWaitMs = ScanWaitMs);
    QLMCScanQuelmoDevice &engine() { return *m_engine; }

    void BScanClick();
    void ListViewScanQuelmoDevicesClick(QTreeWidgetItem *item);
    void ListViewScanNetworkBoardClick(QTreeWidgetItem *item);
    void BBackClick();
    void BChangeIPAddDeviceClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QGroupBox *buildScanGroup();
    QGroupBox *buildBoardGroup();
    QGroupBox *buildChangeGroup();
    void showGroup(QGroupBox *group);
    void runScan();
    void setChangeButtonsEnabled(bool enabled);

    std::unique_ptr<DiscoveryNetwork> m_ownNetwork;
    std::unique_ptr<QLMCScanQuelmoDevice> m_engine;
    QStackedLayout *m_stack = nullptr;
    QGroupBox *m_scanGroup = nullptr;
    QGroupBox *m_boardGroup = nullptr;
    QGroupBox *m_changeGroup = nullptr;
    QPushButton *m_scan = nullptr;
    QTreeWidget *m_devices = nullptr;
    QTreeWidget *m_boards = nullptr;
    QLabel *m_macValue = nullptr;
    std::array<QLineEdit *, 4> m_address{};
    QPushButton *m_change = nullptr;
    QPushButton *m_back = nullptr;
    QLabel *m_result = nullptr;
    QTimer m_scanTimer;
    QString m_deviceKey; ///< MACText of the chosen device
    QString m_boardKey;  ///< IPText of the chosen adapter
    /// The address sent by the last change (as parsed), for the result line.
    std::optional<std::array<uint8_t, 4>> m_changedTo;
};
