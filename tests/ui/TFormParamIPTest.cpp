// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The connection window against the virtual controller on loopback: address
// check, port radios, opening and closing in the three modes, the status bar,
// the connected-state switch and the statistics window.
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormInformation.h"
#include "ui/connection/TFormParamIP.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <memory>

using uitest::child;
using uitest::waitFor;

namespace {

const QColor Navy(0x00, 0x00, 0x80);

class ParamIPTest : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    std::unique_ptr<SimServer> server;
    AppWindows windows;
    TFormMain &main = windows.main();
    TFormParamIP &paramIP = windows.paramIP();

    void SetUp() override { main.show(); }

    void TearDown() override
    {
        if (paramIP.connection().isTcpActive()) {
            paramIP.connection().close();
            waitFor([this] { return !paramIP.connection().isTcpActive(); }, 2000);
        }
    }

    /// A virtual NETDC-A controller at 127.0.0.\a host, or a gateway with a
    /// NETDC-A module at 16, on ephemeral ports the connection then uses.
    void startServer(int host, bool gateway = false)
    {
        SimServerConfig config;
        config.bindAddress = "127.0.0." + std::to_string(host);
        const std::optional<SimModel> model = parseSimModel("NETDC-A");
        ASSERT_TRUE(model);
        if (gateway) {
            std::map<int, std::shared_ptr<SimController>> modules;
            modules[16] = std::make_shared<SimController>(*model, SimIdentity{});
            server = std::make_unique<SimServer>(config, SimGatewayIdentity{}, std::move(modules));
        } else {
            server = std::make_unique<SimServer>(
                config, std::make_shared<SimController>(*model, SimIdentity{}));
        }
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        paramIP.connection().setPorts(server->tcpPort(), server->udpPort());
    }

    void typeAddress(const QStringList &fields)
    {
        for (int i = 0; i < 4; ++i)
            child<QLineEdit>(paramIP, QStringLiteral("EAdd%1").arg(i).toLatin1().constData())
                ->setText(fields[i]);
    }

    QColor indicator() const
    {
        return main.findChild<QWidget *>(QStringLiteral("PanelCom"))
            ->palette()
            .color(QPalette::Window);
    }
    bool enabled(const char *name) const
    {
        if (QWidget *widget = paramIP.findChild<QWidget *>(QLatin1String(name)))
            return widget->isEnabled();
        return main.findChild<QAction *>(QLatin1String(name))->isEnabled();
    }
};

} // namespace

TEST_F(ParamIPTest, StartsWithItsDefaults)
{
    EXPECT_EQ(paramIP.ipText(), QStringLiteral("192.168.16.100"));
    EXPECT_TRUE(child<QRadioButton>(paramIP, "RBPort8010_IP")->isChecked());
    EXPECT_EQ(child<QRadioButton>(paramIP, "RBPort8010_I2C")->text(),
              QStringLiteral("8010 - Zelm-TCP xx <=> I2C"));
    EXPECT_EQ(child<QRadioButton>(paramIP, "RBPort7010")->text(),
              QStringLiteral("7010 - Zelm-NETxx"));
    QSpinBox *spin = child<QSpinBox>(paramIP, "SpinEAddI2C");
    EXPECT_EQ(spin->minimum(), 1);
    EXPECT_EQ(spin->maximum(), 127);
    EXPECT_EQ(child<QGroupBox>(paramIP, "GBComTCP")->title(), QStringLiteral("Change parameters"));
    EXPECT_EQ(child<QGroupBox>(paramIP, "GBComI2C")->title(), QStringLiteral("Change parameters"));
    EXPECT_EQ(paramIP.connection().comMode(), ComModes::Closed);
    EXPECT_TRUE(enabled("BOpen"));
    EXPECT_FALSE(enabled("BClose"));
}

TEST_F(ParamIPTest, WrongAddressShowsTheErrorBoxAndOpensNothing)
{
    paramIP.show();
    typeAddress({"192", "168", "16", "300"});
    child<QPushButton>(paramIP, "BOpen")->click();
    const auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(shown[0].text, QStringLiteral("Wrong IP address"));
    EXPECT_EQ(shown[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(paramIP.connection().isTcpActive());
    EXPECT_EQ(main.statusText(0), QStringLiteral("Com. closed"));
    EXPECT_FALSE(paramIP.isVisible());
}

TEST_F(ParamIPTest, PortRadiosChooseModeAndChangeBox)
{
    paramIP.show();
    QGroupBox *tcp = child<QGroupBox>(paramIP, "GBComTCP");
    QGroupBox *i2c = child<QGroupBox>(paramIP, "GBComI2C");
    EXPECT_TRUE(tcp->isVisible());
    EXPECT_FALSE(i2c->isVisible());

    child<QRadioButton>(paramIP, "RBPort8010_I2C")->click();
    EXPECT_EQ(paramIP.connection().comMode(), ComModes::TcpGateway);
    EXPECT_FALSE(tcp->isVisible());
    EXPECT_TRUE(i2c->isVisible());

    child<QRadioButton>(paramIP, "RBPort7010")->click();
    EXPECT_EQ(paramIP.connection().comMode(), ComModes::Udp);
    EXPECT_TRUE(tcp->isVisible());
    EXPECT_FALSE(i2c->isVisible());

    child<QRadioButton>(paramIP, "RBPort8010_IP")->click();
    EXPECT_EQ(paramIP.connection().comMode(), ComModes::TcpDirect);

    child<QSpinBox>(paramIP, "SpinEAddI2C")->setValue(16);
    EXPECT_EQ(paramIP.connection().i2cAddress(), 16);
}

// What the scan window and the virtual controller ask of the connection
// window: the same state as the user's typing and clicking.
TEST_F(ParamIPTest, SetTargetFillsTheWindowAsTheUserWould)
{
    struct Case
    {
        int comMode;
        const char *address;
        int module; // 0 leaves the I2C address as it is
        const char *radio;
    };
    const Case cases[] = {
        {ComModes::TcpGateway, "10.1.2.3", 17, "RBPort8010_I2C"},
        {ComModes::Udp, "127.0.0.9", 0, "RBPort7010"},
        {ComModes::TcpDirect, "192.168.16.200", 0, "RBPort8010_IP"},
    };
    ASSERT_NE(paramIP.connection().i2cAddress(), 17);
    paramIP.show();
    for (const Case &c : cases) {
        paramIP.setTarget(c.comMode, QLatin1String(c.address), c.module);
        EXPECT_EQ(paramIP.ipText(), QLatin1String(c.address));
        EXPECT_TRUE(child<QRadioButton>(paramIP, c.radio)->isChecked()) << c.radio;
        EXPECT_EQ(paramIP.connection().comMode(), c.comMode);
        EXPECT_EQ(paramIP.comI2CBox()->isVisible(), c.comMode == ComModes::TcpGateway);
        EXPECT_EQ(paramIP.connection().i2cAddress(), 17);
        EXPECT_EQ(child<QSpinBox>(paramIP, "SpinEAddI2C")->value(), 17);
    }
}

TEST_F(ParamIPTest, TcpOpenIdentifiesTheVirtualControllerAndCloseReturnsToClosed)
{
    startServer(61);
    paramIP.show();
    typeAddress({"127", "0", "0", "61"});
    child<QPushButton>(paramIP, "BOpen")->click();
    EXPECT_FALSE(paramIP.isVisible());

    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP open"; }));
    EXPECT_EQ(main.statusText(1), QStringLiteral("127.0.0.61"));
    EXPECT_EQ(main.statusText(2), QStringLiteral("-"));
    EXPECT_EQ(main.statusText(3), QStringLiteral("Com error : 0"));
    EXPECT_EQ(indicator(), Navy);
    EXPECT_FALSE(enabled("BOpen"));
    EXPECT_FALSE(enabled("RBPort7010"));
    EXPECT_TRUE(enabled("BClose"));
    EXPECT_FALSE(enabled("MenuComOpen"));
    EXPECT_TRUE(enabled("MenuComClose"));
    EXPECT_TRUE(enabled("MenuFileSave"));
    EXPECT_EQ(child<QAction>(main, "MenuFileOpen")->text(), QStringLiteral("Open..."));
    EXPECT_TRUE(main.pollingCheckBox()->isChecked());
    EXPECT_TRUE(main.pollingCheckBox()->isEnabled());
    EXPECT_TRUE(main.graphicCheckBox()->isChecked());

    // Identification, then the display routine fed by the polling.
    EXPECT_TRUE(waitFor([this] {
        return main.windowTitle() == "Ethernet Motor Controller - NETDC-A  (TYPE = 2.1)";
    })) << main.windowTitle().toStdString();
    EXPECT_TRUE(waitFor([this] { return main.statusText(4) == "Ver 7.18"; }))
        << main.statusText(4).toStdString();
    EXPECT_TRUE(boxes.boxes().empty());

    child<QAction>(main, "MenuComClose")->trigger();
    EXPECT_FALSE(main.pollingCheckBox()->isChecked());
    EXPECT_FALSE(main.context().session().PollingEnabled.load());
    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP closed"; }));
    EXPECT_NE(indicator(), Navy);
    EXPECT_TRUE(enabled("BOpen"));
    EXPECT_FALSE(enabled("BClose"));
    EXPECT_FALSE(enabled("MenuComClose"));
    EXPECT_EQ(child<QAction>(main, "MenuFileOpen")->text(), QStringLiteral("View..."));
}

TEST_F(ParamIPTest, LostFirstAnswerStillIdentifiesAndShowsTheModel)
{
    startServer(63);
    server->faults().setDrop(SimFaultRate::first(1));
    paramIP.connection().setAnswerTimeoutMs(200);
    typeAddress({"127", "0", "0", "63"});
    QElapsedTimer clock;
    clock.start();
    child<QPushButton>(paramIP, "BOpen")->click();
    // Until the device answers, panel 0 says so; then the caption shows the model.
    EXPECT_TRUE(waitFor([this] { return main.statusText(0) == "TCP no answer"; }, 1000));
    if (qEnvironmentVariableIsSet("TARVINE_SHOT"))
        main.grab(QRect(0, main.height() - 28, 420, 28)).save(qEnvironmentVariable("TARVINE_SHOT"));
    ASSERT_TRUE(waitFor(
        [this] {
            return main.windowTitle() == "Ethernet Motor Controller - NETDC-A  (TYPE = 2.1)";
        },
        1000))
        << main.windowTitle().toStdString();
    EXPECT_LT(clock.elapsed(), 200 + 300);
    EXPECT_EQ(main.statusText(0), QStringLiteral("TCP open"));
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ParamIPTest, UdpOpenShowsUdpOpenAtOnce)
{
    startServer(62);
    typeAddress({"127", "0", "0", "62"});
    child<QRadioButton>(paramIP, "RBPort7010")->click();
    child<QAction>(main, "MenuComOpen")->trigger(); // the menu's "Open" is BOpenClick
    EXPECT_EQ(main.statusText(0), QStringLiteral("UDP open"));
    EXPECT_EQ(main.statusText(1), QStringLiteral("127.0.0.62"));
    EXPECT_EQ(main.statusText(2), QStringLiteral("-"));
    EXPECT_EQ(indicator(), Navy);
    EXPECT_TRUE(enabled("BClose"));

    child<QPushButton>(paramIP, "BClose")->click();
    EXPECT_EQ(main.statusText(0), QStringLiteral("UDP closed"));
    EXPECT_NE(indicator(), Navy);
    EXPECT_TRUE(enabled("BOpen"));
}

TEST_F(ParamIPTest, GatewayOpenShowsTheModuleAddress)
{
    startServer(63, true);
    typeAddress({"127", "0", "0", "63"});
    child<QRadioButton>(paramIP, "RBPort8010_I2C")->click();
    child<QSpinBox>(paramIP, "SpinEAddI2C")->setValue(16);
    child<QPushButton>(paramIP, "BOpen")->click();
    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP open"; }));
    EXPECT_EQ(main.statusText(2), QStringLiteral("I2C 0x10 - 16"));
}

TEST_F(ParamIPTest, ClosingTheMainWindowWhileConnectedClosesTheConnection)
{
    startServer(64);
    typeAddress({"127", "0", "0", "64"});
    child<QPushButton>(paramIP, "BOpen")->click();
    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP open"; }));
    ASSERT_TRUE(main.pollingCheckBox()->isChecked());

    main.close();
    EXPECT_FALSE(main.pollingCheckBox()->isChecked());
    EXPECT_FALSE(main.context().session().PollingEnabled.load());
    EXPECT_TRUE(waitFor([this] { return main.statusText(0) == "TCP closed"; }));
    EXPECT_EQ(paramIP.connection().comMode(), ComModes::Closed);
}

TEST_F(ParamIPTest, StatisticsWindowShowsTheCountersOnlyWhileVisible)
{
    startServer(65);
    typeAddress({"127", "0", "0", "65"});
    child<QPushButton>(paramIP, "BOpen")->click();
    QLMCSession &session = main.context().session();
    ASSERT_TRUE(
        waitFor([&session] { return session.statistics().shown.answersDecoded.load() > 5; }));

    TFormInformation &information = windows.information();
    const auto label = [&information](const char *name) {
        return information.findChild<QLabel *>(QLatin1String(name))->text();
    };
    information.Refresh();
    EXPECT_EQ(label("LPacketReceived"), QStringLiteral("0")); // hidden: nothing shown

    child<QAction>(main, "MenuComStatistics")->trigger();
    ASSERT_TRUE(information.isVisible());
    // The display routine refreshes it while answers come in.
    ASSERT_TRUE(waitFor([&] { return label("LPacketReceived").toInt() > 5; }));
    EXPECT_GT(label("LPacketAskRead").toInt(), 0);
    EXPECT_GT(label("LPacketTCP").toInt(), 0);
    EXPECT_GT(label("LTransactionIDSent").toInt(), 0);
    EXPECT_TRUE(label("LAnswerTime").contains(localeDecimalSeparator()));

    session.statistics().shown.answerTimeMaxMs = 12.5f;
    const QString received = label("LPacketReceived");
    child<QPushButton>(information, "BResetAnswerTime")->click();
    EXPECT_EQ(label("LAnswerTimeMax"), QStringLiteral("0"));
    EXPECT_EQ(session.statistics().shown.answerTimeMaxMs.load(), 0.0f);
    EXPECT_EQ(label("LPacketReceived"), received);
    EXPECT_EQ(label("LRegistersGivenUp"), QStringLiteral("0"));
    EXPECT_EQ(label("LInputOverruns"), QStringLiteral("0"));

    // Reopened to a device that never answers: nothing of the last connection
    // is shown, and the requests going out are, without waiting for an answer.
    const auto close = [&] {
        child<QAction>(main, "MenuComClose")->trigger();
        return waitFor([&] { return !main.context().connectedControls().isConnected(); });
    };
    for (const bool udp : {false, true}) {
        SCOPED_TRACE(udp);
        child<QRadioButton>(paramIP, udp ? "RBPort7010" : "RBPort8010_IP")->click();
        if (udp) { // answered first, as the TCP connection above was
            server->faults().setSettings({});
            child<QPushButton>(paramIP, "BOpen")->click();
            ASSERT_TRUE(waitFor([&] { return label("LPacketReceived").toInt() > 5; }));
        }
        ASSERT_TRUE(close());
        SimFaultSettings silent;
        silent.drop = SimFaultRate::always();
        server->faults().setSettings(silent);
        child<QPushButton>(paramIP, "BOpen")->click();
        EXPECT_TRUE(waitFor([&] {
            return label("LPacketReceived") == QStringLiteral("0")
                   && label("LTransactionIDRec") == QStringLiteral("0")
                   && label("LPacketAskRead").toInt() > 0;
        }));
        ASSERT_TRUE(close());
    }
}

TEST_F(ParamIPTest, ResetArpWarnsFirst)
{
    child<QAction>(main, "MenuComResetARP")->trigger();
    const auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(shown[0].text,
              QStringLiteral("Reset ARP only works if application runs as administrator"));
}
