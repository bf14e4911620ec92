// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The Communication menu's "Virtual controller...": the dialog, and the whole
// path from the menu item to an identified, polled and charted connection on
// the standard ports of a free loopback address, and back.
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "link/QLMCConnection.h"
#include "protocol/ConnectionState.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/main/GraphsPanel.h"
#include "ui/widgets/LiveChart.h"
#include "ui/widgets/VirtualController.h"
#include "ui/widgets/VirtualControllerDialog.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

using uitest::child;
using uitest::waitFor;

namespace {

class VirtualControllerTest : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormMain &main = windows.main();
    VirtualController *launcher = main.findChild<VirtualController *>();

    void SetUp() override
    {
        ASSERT_NE(launcher, nullptr);
        main.show();
    }

    void TearDown() override
    {
        QLMCConnection &connection = windows.paramIP().connection();
        if (connection.isConnected() || connection.isTcpActive()) {
            main.closeCommunication();
            waitFor([&] { return !launcher->isRunning(); }, 3000);
        }
    }

    /// The menu item, then the dialog filled by \a fill and accepted.
    void openFromMenu(const std::function<void(VirtualControllerDialog &)> &fill)
    {
        child<QAction>(main, "MenuComVirtual")->trigger();
        VirtualControllerDialog *dialog = launcher->dialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(dialog->isVisible());
        fill(*dialog);
        QPushButton *start = child<QPushButton>(*dialog, "BVirtualStart");
        ASSERT_TRUE(start->isEnabled());
        start->click();
        EXPECT_FALSE(dialog->isVisible());
    }

    /// True when 127.0.0.\a host's TCP port 8010 can be bound again.
    static bool portFree(const QString &host)
    {
        SimServerConfig config;
        config.bindAddress = host.toStdString();
        config.tcpPort = VirtualController::TcpPort;
        SimServer probe(config, std::make_shared<SimController>(SimModel{}, SimIdentity{}));
        const bool started = probe.start();
        probe.stop();
        return started;
    }
};

} // namespace

TEST(VirtualControllerDialog, ModuleListsAndDefaults)
{
    using Modules = std::optional<std::vector<int>>;
    EXPECT_EQ(VirtualControllerDialog::parseModules("16,17"), Modules({16, 17}));
    EXPECT_EQ(VirtualControllerDialog::parseModules(" 1 127 "), Modules({1, 127}));
    for (const char *bad : {"", ",", "0", "128", "16,16", "16;17", "x", "-5"})
        EXPECT_EQ(VirtualControllerDialog::parseModules(QLatin1String(bad)), std::nullopt) << bad;
    QStringList seventeen;
    for (int i = 1; i <= 17; ++i)
        seventeen << QString::number(i);
    EXPECT_EQ(VirtualControllerDialog::parseModules(seventeen.join(',')), std::nullopt);

    VirtualControllerDialog dialog;
    QPushButton *start = child<QPushButton>(dialog, "BVirtualStart");
    // A module model goes behind a gateway; a bad module list blocks the start.
    ASSERT_TRUE(dialog.selectModel("BUSDC-A"));
    EXPECT_TRUE(child<QRadioButton>(dialog, "RBVirtualGateway")->isChecked());
    dialog.setModulesText("16,300");
    EXPECT_FALSE(start->isEnabled());
    EXPECT_EQ(dialog.choice(), std::nullopt);
    dialog.setModulesText("20, 21");
    ASSERT_TRUE(dialog.choice());
    EXPECT_EQ(dialog.choice()->modules, std::vector<int>({20, 21}));
    EXPECT_EQ(dialog.choice()->model.name, "BUSDC-A");
    ASSERT_TRUE(dialog.selectModel("netec-a"));
    EXPECT_TRUE(child<QRadioButton>(dialog, "RBVirtualTcp")->isChecked());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(dialog.selectModel("NOPE"));
}

TEST_F(VirtualControllerTest, MenuOpensIdentifiesChartsAndCloseStopsTheController)
{
    openFromMenu([](VirtualControllerDialog &dialog) { dialog.selectModel("NETEC-A"); });
    ASSERT_TRUE(launcher->isRunning());
    const QString host = launcher->address();
    EXPECT_TRUE(host.startsWith(QLatin1String("127.0.0."))) << host.toStdString();
    EXPECT_EQ(windows.paramIP().ipText(), host);
    EXPECT_EQ(launcher->server()->tcpPort(), 8010);
    EXPECT_EQ(launcher->server()->udpPort(), 7010);

    ASSERT_TRUE(waitFor([this] { return main.windowTitle().contains(QLatin1String("NETEC-A")); }))
        << main.windowTitle().toStdString();
    EXPECT_EQ(main.statusText(0), QStringLiteral("TCP open"));
    EXPECT_EQ(main.statusText(1), host);
    EXPECT_FALSE(child<QAction>(main, "MenuComVirtual")->isEnabled());
    LiveChart *position = main.findChild<LiveChart *>(QStringLiteral("ChartPosition"));
    ASSERT_TRUE(waitFor([position] { return position->lastKey() > 10; }));
    EXPECT_EQ(position->series(1)->data()->size(), LiveChart::DefaultHistorySamples);
    EXPECT_TRUE(boxes.boxes().empty());

    child<QAction>(main, "MenuComClose")->trigger();
    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP closed"; }));
    EXPECT_TRUE(waitFor([this] { return !launcher->isRunning(); }, 2000));
    EXPECT_TRUE(portFree(host));
    EXPECT_TRUE(child<QAction>(main, "MenuComVirtual")->isEnabled());
}

TEST_F(VirtualControllerTest, GatewayOpensTheFirstModuleAndUdpOpensAtOnce)
{
    openFromMenu([](VirtualControllerDialog &dialog) {
        dialog.selectModel("BUSDC-A");
        dialog.setModulesText("17,18");
    });
    ASSERT_TRUE(launcher->isRunning());
    EXPECT_TRUE(launcher->server()->isGateway());
    ASSERT_TRUE(waitFor([this] { return main.windowTitle().contains(QLatin1String("BUSDC-A")); }))
        << main.windowTitle().toStdString();
    EXPECT_EQ(main.statusText(2), QStringLiteral("I2C 0x11 - 17"));
    main.closeCommunication();
    ASSERT_TRUE(waitFor([this] { return !launcher->isRunning(); }));

    openFromMenu([](VirtualControllerDialog &dialog) {
        dialog.selectModel("NETDC-A");
        dialog.selectComMode(ComModes::Udp);
    });
    EXPECT_EQ(main.statusText(0), QStringLiteral("UDP open"));
    ASSERT_TRUE(waitFor([this] { return main.windowTitle().contains(QLatin1String("NETDC-A")); }));
    const QString host = launcher->address();
    child<QAction>(main, "MenuComClose")->trigger();
    EXPECT_FALSE(launcher->isRunning());
    EXPECT_TRUE(portFree(host));
}

TEST_F(VirtualControllerTest, SaysSoWhenEveryAddressIsTaken)
{
    launcher->setHostRange(231, 232);
    std::vector<std::unique_ptr<SimServer>> squatters;
    for (const char *host : {"127.0.0.231", "127.0.0.232"}) {
        SimServerConfig config;
        config.bindAddress = host;
        config.tcpPort = VirtualController::TcpPort;
        squatters.push_back(std::make_unique<SimServer>(
            config, std::make_shared<SimController>(SimModel{}, SimIdentity{})));
        ASSERT_TRUE(squatters.back()->start()) << host;
    }

    openFromMenu([](VirtualControllerDialog &) {});
    EXPECT_FALSE(launcher->isRunning());
    const auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Virtual controller"));
    EXPECT_TRUE(shown[0].text.contains(QLatin1String("127.0.0.231 to 127.0.0.232")))
        << shown[0].text.toStdString();
    EXPECT_EQ(main.statusText(0), QStringLiteral("Com. closed"));

    // One address free again: that one is taken.
    squatters[1]->stop();
    openFromMenu([](VirtualControllerDialog &) {});
    EXPECT_EQ(launcher->address(), QStringLiteral("127.0.0.232"));
}
