// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The scan window and the IP-change window against virtual controllers on
// loopback (the loopback discovery network, never a real interface).
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "link/QLMCConnection.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "protocol/ConnectionState.h"
#include "sim/SimRequestLog.h"
#include "support/DiscoverySims.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/discovery/DiscoveryListViews.h"
#include "ui/discovery/TFormChangeIPAdd.h"
#include "ui/discovery/TFormScanUDP.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <mutex>

using uitest::child;
using uitest::waitFor;

namespace {

class DiscoveryWindows : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    testsupport::DiscoverySims sims;
    std::unique_ptr<LoopbackDiscoveryNetwork> network;
    AppWindows windows;
    TFormMain &main = windows.main();
    TFormScanUDP &scan = windows.scanUDP();
    TFormChangeIPAdd &change = windows.changeIPAdd();
    QTreeWidget *list = nullptr;

    void SetUp() override { main.show(); }
    void TearDown() override
    {
        QLMCConnection &connection = windows.paramIP().connection();
        if (connection.isTcpActive()) {
            connection.close();
            waitFor([&] { return !connection.isTcpActive(); }, 2000);
        }
    }

    void useLoopback(std::vector<NetworkAdapter> adapters = {
                         LoopbackDiscoveryNetwork::virtualAdapter()})
    {
        network = std::make_unique<LoopbackDiscoveryNetwork>(
            std::move(adapters), Ipv4Bytes{127, 0, 0, 80}, Ipv4Bytes{127, 0, 0, 99});
        network->setPingPort(sims.port);
        scan.useNetwork(*network, sims.port, 120);
        change.useNetwork(*network, sims.port, 120);
    }

    /// Opens the scan window and waits for "Scan finished".
    void openScan()
    {
        child<QAction>(main, "MenuComScan")->trigger();
        list = child<QTreeWidget>(scan, "LVDevices");
        ASSERT_EQ(list->topLevelItemCount(), 1);
        EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("Processing..."));
        ASSERT_TRUE(waitFor([&] {
            return child<QLabel>(scan, "LStateUDP")->text() == QLatin1String("Scan finished");
        }));
    }

    /// Every column but the last (which takes the rest) shows its rows and
    /// the widest text it can hold uncut.
    static void expectColumnsFit(QTreeWidget *view)
    {
        const QStringList widest = DiscoveryListViews::widestDeviceTexts();
        for (int c = 0; c + 1 < view->columnCount(); ++c) {
            const int width = view->columnWidth(c);
            EXPECT_GT(width, view->fontMetrics().horizontalAdvance(widest[c])) << c;
            view->resizeColumnToContents(c); // what its present rows need
            EXPECT_GE(width, view->columnWidth(c)) << c;
            view->setColumnWidth(c, width);
        }
    }

    QTreeWidgetItem *row(QTreeWidget *view, const QString &caption)
    {
        for (int i = 0; i < view->topLevelItemCount(); ++i)
            if (view->topLevelItem(i)->text(0) == caption)
                return view->topLevelItem(i);
        ADD_FAILURE() << "no row " << caption.toStdString();
        return nullptr;
    }
};

TEST_F(DiscoveryWindows, ScanListsDevicesByMacAndAClickConnects)
{
    sims.add(83);
    sims.add(81);
    sims.add(82);
    useLoopback();
    main.move(100, 60);
    openScan();
    EXPECT_EQ(scan.pos(), main.pos() + QPoint(10, 40));
    ASSERT_EQ(list->topLevelItemCount(), 3);
    const QStringList expected{"00-50-C2-00-00-51", "127.0.0.81", "6.4", "7.18", "-.-",
                               "Virtual-2"};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(list->topLevelItem(0)->text(c), expected[c]) << c;
    EXPECT_EQ(list->topLevelItem(2)->text(0), QStringLiteral("00-50-C2-00-00-53"));
    EXPECT_FALSE(list->header()->sectionsClickable());
    expectColumnsFit(list);

    windows.paramIP().connection().setPorts(sims.servers[2]->tcpPort(), sims.port);
    scan.LVDevicesClick(list->topLevelItem(1));
    EXPECT_FALSE(scan.isVisible());
    EXPECT_EQ(list->topLevelItemCount(), 0); // cleared on close
    EXPECT_EQ(windows.paramIP().ipText(), QStringLiteral("127.0.0.82"));
    EXPECT_TRUE(child<QRadioButton>(windows.paramIP(), "RBPort8010_IP")->isChecked());
    EXPECT_TRUE(waitFor([&] { return main.windowTitle().contains(QLatin1String("NETEC-A")); }))
        << main.windowTitle().toStdString();
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(DiscoveryWindows, UnsupportedTypesAreRefusedAndAGatewayGetsABusScan)
{
    sims.add(84, "NETDC-A"); // 2.1: refused
    SimServerConfig config;
    config.bindAddress = "127.0.0.85";
    config.udpPort = sims.port;
    SimGatewayIdentity gateway;
    gateway.identity.mac = {0x00, 0x50, 0xC2, 0x00, 0x01, 0x85};
    gateway.identity.ip = {127, 0, 0, 85};
    std::map<int, std::shared_ptr<SimController>> modules;
    modules[16] = std::make_shared<SimController>(*parseSimModel("NETDC-A"), SimIdentity{});
    sims.servers.push_back(std::make_unique<SimServer>(config, gateway, modules));
    ASSERT_TRUE(sims.servers.back()->start());
    auto log = std::make_shared<SimRequestLog>();
    std::mutex mutex;
    std::vector<std::string> tcpRequests;
    log->setCallback([&](const SimWireEvent &e) {
        if (e.kind == SimWireEvent::Kind::Request && e.transport == SimTransport::Tcp) {
            std::lock_guard lock(mutex);
            tcpRequests.push_back(std::to_string(e.function) + ':'
                                  + std::to_string(e.payload.size()));
        }
    });
    sims.servers.back()->setLog(log);
    useLoopback();
    openScan();
    ASSERT_EQ(list->topLevelItemCount(), 2);

    scan.LVDevicesClick(row(list, QStringLiteral("00-50-C2-00-00-54")));
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes.boxes()[0].text,
              QStringLiteral("This application does not support this device type !"));
    EXPECT_TRUE(scan.isVisible());
    scan.LVDevicesClick(nullptr); // an empty part of the list
    EXPECT_TRUE(scan.isVisible());

    windows.paramIP().connection().setPorts(sims.servers[1]->tcpPort(), sims.port);
    scan.LVDevicesClick(row(list, QStringLiteral("00-50-C2-00-01-85")));
    EXPECT_FALSE(scan.isVisible());
    EXPECT_TRUE(windows.paramIP().isVisible());
    EXPECT_TRUE(child<QRadioButton>(windows.paramIP(), "RBPort8010_I2C")->isChecked());
    // The bus scan: function 0x0005 with no data (00 05 00 00 00 00 FF FA).
    EXPECT_TRUE(waitFor([&] {
        std::lock_guard lock(mutex);
        return std::find(tcpRequests.begin(), tcpRequests.end(), "5:0") != tcpRequests.end();
    }));
}

TEST_F(DiscoveryWindows, ScanLeavesATcpLinkOpenAndAsksBeforeClosingAUdpOne)
{
    sims.add(88);
    sims.add(89);
    useLoopback();
    TFormParamIP &paramIP = windows.paramIP();
    QLMCConnection &link = paramIP.connection();
    link.setPorts(sims.servers[0]->tcpPort(), sims.port);
    paramIP.setTarget(ComModes::TcpDirect, QStringLiteral("127.0.0.88"));
    paramIP.BOpenClick();
    ASSERT_TRUE(waitFor([&] { return main.windowTitle().contains(QLatin1String("NETEC-A")); }));
    const uint32_t generation = main.context().session().connection().Generation.load();

    // The scan runs beside the TCP link; picking the controller connected keeps it.
    openScan();
    EXPECT_TRUE(link.isTcpConnected());
    scan.LVDevicesClick(row(list, QStringLiteral("00-50-C2-00-00-58")));
    EXPECT_FALSE(scan.isVisible());
    EXPECT_TRUE(link.isTcpConnected());
    EXPECT_EQ(main.context().session().connection().Generation.load(), generation);
    link.close();

    // A UDP connection holds the discovery port: the scan asks first.
    paramIP.setTarget(ComModes::Udp, QStringLiteral("127.0.0.88"));
    paramIP.BOpenClick();
    ASSERT_TRUE(waitFor([&] {
        return link.isUdpOpen() && main.context().session().Identified.load();
    }));
    bool answer = false;
    QStringList asked;
    const MessageBoxes::Question previous =
        MessageBoxes::setQuestionHandler([&](const QString &, const QString &text) {
            asked << text;
            return answer;
        });
    QAction *menu = child<QAction>(main, "MenuComScan");
    menu->trigger();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith(
        QStringLiteral("Close the connection to 127.0.0.88? The motor is in mode ")))
        << asked[0].toStdString();
    EXPECT_TRUE(asked[0].endsWith(QLatin1Char('.')));
    EXPECT_TRUE(link.isUdpOpen()); // "No": the link stays, no scan
    EXPECT_FALSE(scan.isVisible());

    answer = true;
    menu->trigger();
    EXPECT_EQ(asked.size(), 2);
    EXPECT_FALSE(link.isUdpOpen());
    EXPECT_TRUE(scan.isVisible());
    MessageBoxes::setQuestionHandler(previous);
    EXPECT_TRUE(waitFor([&] {
        return child<QLabel>(scan, "LStateUDP")->text() == QLatin1String("Scan finished");
    }));
    scan.close();
}

TEST_F(DiscoveryWindows, ChangeIpMovesADeviceAndTheRescanFindsItThere)
{
    sims.add(86);
    sims.add(87);
    useLoopback();
    int asked = 0;
    bool answer = false;
    QString question;
    const auto previous =
        MessageBoxes::setQuestionHandler([&](const QString &, const QString &text) {
            ++asked;
            question = text;
            return answer;
        });
    child<QAction>(main, "MenuComIPConfig")->trigger();
    auto *devices = child<QTreeWidget>(change, "ListViewScanQuelmoDevices");
    ASSERT_TRUE(waitFor([&] { return devices->topLevelItemCount() == 2; }));
    EXPECT_TRUE(child<QGroupBox>(change, "GBScanDevice")->isVisible());
    expectColumnsFit(devices);

    // One adapter: straight to the change group.
    change.ListViewScanQuelmoDevicesClick(row(devices, QStringLiteral("00-50-C2-00-00-56")));
    EXPECT_TRUE(child<QGroupBox>(change, "GBChangeIPAddDevice")->isVisible());
    EXPECT_FALSE(child<QGroupBox>(change, "GBScanDevice")->isVisible());
    EXPECT_EQ(child<QLabel>(change, "LMACAddVal")->text(), QStringLiteral("00-50-C2-00-00-56"));
    auto *last = child<QLineEdit>(change, "EIPAdd3");
    EXPECT_EQ(child<QLineEdit>(change, "EIPAdd0")->text()
                  + child<QLineEdit>(change, "EIPAdd2")->text() + last->text(),
              QStringLiteral("1270?"));
    change.BChangeIPAddDeviceClick(); // "?": nothing
    EXPECT_EQ(asked, 0);

    last->setText(QStringLiteral("87")); // in use: asked, No sends nothing
    change.BChangeIPAddDeviceClick();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(
        question,
        QStringLiteral(
            "This IP Address is already used in your network. Do you really want to change it?"));
    EXPECT_TRUE(child<QPushButton>(change, "BBack")->isEnabled());
    last->setText(QStringLiteral("x"));
    change.BChangeIPAddDeviceClick(); // bad format: no ping, no question
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(child<QGroupBox>(change, "GBChangeIPAddDevice")->isVisible());

    last->setText(QStringLiteral("096")); // a leading zero: the same address, .96
    change.BChangeIPAddDeviceClick();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(child<QGroupBox>(change, "GBScanDevice")->isVisible());
    auto *result = child<QLabel>(change, "LChangeResult");
    ASSERT_TRUE(waitFor([&] { return !result->text().isEmpty(); }));
    EXPECT_EQ(result->text(), QStringLiteral("00-50-C2-00-00-56 answers at 127.0.0.96"));
    EXPECT_EQ(row(devices, QStringLiteral("00-50-C2-00-00-56"))->text(1),
              QStringLiteral("127.0.0.96"));

    // Two adapters: the board list comes first.
    NetworkAdapter second = LoopbackDiscoveryNetwork::virtualAdapter();
    second.friendlyName = "Second";
    second.address = {127, 0, 0, 253};
    useLoopback({LoopbackDiscoveryNetwork::virtualAdapter(), second});
    change.BScanClick();
    ASSERT_TRUE(waitFor([&] { return child<QPushButton>(change, "BScan")->isEnabled(); }));
    change.ListViewScanQuelmoDevicesClick(row(devices, QStringLiteral("00-50-C2-00-00-57")));
    EXPECT_TRUE(child<QGroupBox>(change, "GBScanNetBoard")->isVisible());
    auto *boards = child<QTreeWidget>(change, "ListViewScanNetworkBoard");
    ASSERT_EQ(boards->topLevelItemCount(), 2);
    change.ListViewScanNetworkBoardClick(row(boards, QStringLiteral("Second")));
    EXPECT_TRUE(child<QGroupBox>(change, "GBChangeIPAddDevice")->isVisible());
    EXPECT_EQ(last->text(), QStringLiteral("?"));
    MessageBoxes::setQuestionHandler(previous);
    change.close();
}

} // namespace
