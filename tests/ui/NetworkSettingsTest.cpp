// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The "Change parameters" boxes, the bus scan, Reset ARP and the About
// window's display test against the virtual controller on loopback.
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "platform/RecordingCommandRunner.h"
#include "sim/SimRequestLog.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormInformation.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/connection/TFormParamIPChangeBoxes.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/TFormAbout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QThread>

#include <memory>
#include <mutex>

using uitest::child;
using uitest::waitFor;

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> out;
    for (int b : list)
        out.push_back(uint8_t(b));
    return out;
}

class NetworkSettingsTest : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    std::unique_ptr<SimServer> server;
    std::shared_ptr<SimRequestLog> log = std::make_shared<SimRequestLog>();
    mutable std::mutex mutex;
    std::vector<SimWireEvent> requests;
    AppWindows windows;
    TFormMain &main = windows.main();
    TFormParamIP &paramIP = windows.paramIP();

    void SetUp() override
    {
        main.show();
        log->setCallback([this](const SimWireEvent &event) {
            std::lock_guard guard(mutex);
            if (event.kind == SimWireEvent::Kind::Request)
                requests.push_back(event);
        });
    }

    void TearDown() override
    {
        if (paramIP.connection().isTcpActive()) {
            paramIP.connection().close();
            waitFor([this] { return !paramIP.connection().isTcpActive(); }, 2000);
        }
        // The server's thread records into this fixture: stop it first.
        server.reset();
    }

    void startServer(int host, bool gateway = false)
    {
        SimServerConfig config;
        config.bindAddress = "127.0.0." + std::to_string(host);
        const std::optional<SimModel> model = parseSimModel("NETEC-A");
        ASSERT_TRUE(model);
        if (gateway) {
            std::map<int, std::shared_ptr<SimController>> modules;
            modules[16] = std::make_shared<SimController>(*model, SimIdentity{});
            modules[17] = std::make_shared<SimController>(*model, SimIdentity{});
            server = std::make_unique<SimServer>(config, SimGatewayIdentity{}, std::move(modules));
        } else {
            auto controller = std::make_shared<SimController>(*model, SimIdentity{});
            // The address write is acknowledged, never applied: no re-binding.
            controller->setRegisterFaults({}, {0x12});
            server = std::make_unique<SimServer>(config, controller);
        }
        server->setLog(log);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        paramIP.connection().setPorts(server->tcpPort(), server->udpPort());
    }

    void typeAddress(const char *name, const QStringList &fields)
    {
        for (int i = 0; i < 4; ++i)
            child<QLineEdit>(paramIP, QString::fromLatin1(name).arg(i).toLatin1().constData())
                ->setText(fields[i]);
    }

    void openDirect(int host)
    {
        startServer(host);
        typeAddress("EAdd%1", {"127", "0", "0", QString::number(host)});
        child<QPushButton>(paramIP, "BOpen")->click();
        ASSERT_TRUE(waitFor([this] { return main.windowTitle().contains("NETEC-A"); }));
        ASSERT_TRUE(waitFor([this] { return paramIP.connection().isSettled(); }, 5000));
    }

    int addressWrites() const
    {
        std::lock_guard guard(mutex);
        return int(std::count_if(requests.begin(), requests.end(), [](const SimWireEvent &e) {
            return e.payload.size() == 5 && e.payload[0] == 0x12;
        }));
    }

    /// True once a write request carrying \a payload reached the device.
    bool wrote(const std::vector<uint8_t> &payload, int ms = 3000)
    {
        return waitFor(
            [&] {
                std::lock_guard guard(mutex);
                for (const SimWireEvent &event : requests)
                    if (std::search(event.payload.begin(), event.payload.end(), payload.begin(),
                                    payload.end())
                        != event.payload.end())
                        return true;
                return false;
            },
            ms);
    }
};

} // namespace

TEST_F(NetworkSettingsTest, BoxesShowTheirControlsAndFollowTheDevice)
{
    openDirect(71);
    EXPECT_EQ(child<QPushButton>(paramIP, "BChangeTCPWatchDog")->text(), "Change ");
    EXPECT_EQ(child<QPushButton>(paramIP, "BChangeIP")->text(), "Change ");
    EXPECT_EQ(child<QPushButton>(paramIP, "BChangeNameIPMod")->text(), "Change");
    EXPECT_TRUE(child<QPushButton>(paramIP, "BChangeIP")->isEnabled());
    EXPECT_FALSE(child<QSpinBox>(paramIP, "SpinEAddI2C")->isEnabled());
    uint8_t watchdog;
    QString name;
    {
        RegisterLockGuard guard(main.context().session().lock());
        watchdog = main.context().session().Device.TcpWatchdog;
        name = main.context().session().Device.DeviceName.trimmed();
    }
    EXPECT_EQ(child<QSpinBox>(paramIP, "SpinETCPWatchDog")->value(), std::min<int>(watchdog, 60));
    EXPECT_EQ(child<QLineEdit>(paramIP, "ENameIPMod")->text(), name);
}

TEST_F(NetworkSettingsTest, WritesReachTheWireByteExact)
{
    openDirect(72);
    QLineEdit *name = child<QLineEdit>(paramIP, "ENameIPMod");
    name->setText("AB");
    child<QPushButton>(paramIP, "BChangeNameIPMod")->click();
    EXPECT_TRUE(wrote(bytes({0x15, 0x41, 0x42, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
                             0x20, 0x20, 0x20, 0x20, 0x20})));
    EXPECT_EQ(main.statusText(9), "AB");

    QSpinBox *watchdog = child<QSpinBox>(paramIP, "SpinETCPWatchDog");
    watchdog->setValue(45);
    child<QPushButton>(paramIP, "BChangeTCPWatchDog")->click();
    EXPECT_TRUE(wrote(bytes({0x14, 0x2D})));
    // The controller logs a request before it applies it: 45 must be in
    // force before the 0 below, or the late write would put 45 back.
    ASSERT_TRUE(waitFor([&] {
        return server->controller()->imageBytes(Reg::TcpWatchdog) == std::vector<uint8_t>{0x2D};
    }));

    // A watchdog that is off (0) shows so, and "Change" keeps it off.
    const uint8_t off[1] = {0};
    server->controller()->writeRegister(Reg::TcpWatchdog, off);
    {
        RegisterLockGuard guard(main.context().session().lock());
        main.context().session().motor().RequestRead(Reg::TcpWatchdog);
    }
    ASSERT_TRUE(waitFor([&] { return watchdog->value() == 0; }));
    EXPECT_EQ(watchdog->text(), "off");
    child<QPushButton>(paramIP, "BChangeTCPWatchDog")->click();
    EXPECT_TRUE(wrote(bytes({0x14, 0x00})));
    // The arrows step between off and the device's 30..60.
    watchdog->stepBy(1);
    EXPECT_EQ(watchdog->value(), 30);
    watchdog->stepBy(-1);
    EXPECT_EQ(watchdog->value(), 0);

    typeAddress("EAdd%1Change", {"10", "0", "0", "44"});
    child<QPushButton>(paramIP, "BChangeIP")->click();
    EXPECT_TRUE(wrote(bytes({0x12, 0x0A, 0x00, 0x00, 0x2C})));

    // 300 is no byte: the box names the field, nothing is written.
    ASSERT_TRUE(waitFor([this] { return addressWrites() == 1; }));
    typeAddress("EAdd%1Change", {"10", "0", "0", "300"});
    child<QPushButton>(paramIP, "BChangeIP")->click();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].title, "Error");
    EXPECT_TRUE(boxes.boxes()[0].text.contains("field 4"));
    QCoreApplication::processEvents();
    QThread::msleep(200);
    EXPECT_EQ(addressWrites(), 1);

    // A name outside the 8-bit set turns the edit red and writes nothing.
    name->setText(QString::fromUtf8("Motor \xe2\x82\xac"));
    child<QPushButton>(paramIP, "BChangeNameIPMod")->click();
    EXPECT_TRUE(isEditMarkedInvalid(name));
    EXPECT_EQ(main.statusText(9), "AB");

    // Renaming reads back into the edit and panel 9.
    name->setText("Bench-1");
    child<QPushButton>(paramIP, "BChangeNameIPMod")->click();
    EXPECT_TRUE(wrote(bytes({0x15, 'B', 'e', 'n', 'c', 'h', '-', '1', 0x20})));
    EXPECT_EQ(main.statusText(9), "Bench-1");
    {
        RegisterLockGuard guard(main.context().session().lock());
        main.context().session().motor().RequestRead(0x15);
    }
    EXPECT_TRUE(waitFor([this] {
        RegisterLockGuard guard(main.context().session().lock());
        return main.context().session().Device.DeviceName == "Bench-1         ";
    }));
}

TEST_F(NetworkSettingsTest, BusScanListsModulesAndAClickSwitchesThem)
{
    startServer(73, true);
    typeAddress("EAdd%1", {"127", "0", "0", "73"});
    child<QRadioButton>(paramIP, "RBPort8010_I2C")->click();
    paramIP.show();
    QListWidget *list = child<QListWidget>(paramIP, "ListBScanI2C");
    child<QPushButton>(paramIP, "BScanI2CBus")->click();
    ASSERT_TRUE(waitFor([list] { return list->count() == 2; }));
    EXPECT_EQ(list->item(0)->text(), "Mod. 0x10 - 16");
    EXPECT_EQ(list->item(1)->text(), "Mod. 0x11 - 17");
    EXPECT_EQ(child<QSpinBox>(paramIP, "SpinEAddI2C")->value(), 16);
    EXPECT_TRUE(waitFor([this] { return main.statusText(0) == "TCP closed"; }));
    EXPECT_TRUE(child<QPushButton>(paramIP, "BScanI2CBus")->isEnabled());
    {
        std::lock_guard guard(mutex);
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.front().function, 0x0005);
        EXPECT_TRUE(requests.front().payload.empty());
    }

    child<QPushButton>(paramIP, "BOpen")->click();
    ASSERT_TRUE(waitFor([this] { return main.statusText(2) == "I2C 0x10 - 16"; }));
    ASSERT_TRUE(waitFor([this] { return main.windowTitle().contains("NETEC-A"); }));
    list->setCurrentRow(1);
    emit list->itemClicked(list->item(1));
    EXPECT_TRUE(waitFor([this] { return main.statusText(2) == "I2C 0x11 - 17"; }, 3000));
    EXPECT_EQ(paramIP.connection().i2cAddress(), 17);
}

TEST_F(NetworkSettingsTest, BusScanFaultsLeaveTheWindowUsable)
{
    // Nobody at the gateway address: the error ends the scan, and the next
    // direct open polls and identifies.
    typeAddress("EAdd%1", {"127", "0", "0", "74"});
    paramIP.connection().setPorts(1, 1);
    child<QRadioButton>(paramIP, "RBPort8010_I2C")->click();
    child<QPushButton>(paramIP, "BScanI2CBus")->click();
    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP Error"; }));
    // The panel keeps its text; its tool tip tells the typed failure.
    EXPECT_EQ(child<QLabel>(main, "StatusPanel0")->toolTip(), QStringLiteral("connection refused"));
    EXPECT_TRUE(child<QPushButton>(paramIP, "BScanI2CBus")->isEnabled());
    EXPECT_TRUE(child<QListWidget>(paramIP, "ListBScanI2C")->isEnabled());
    EXPECT_FALSE(main.context().session().connection().ScanningI2C.load());
    child<QRadioButton>(paramIP, "RBPort8010_IP")->click();
    openDirect(74);
    EXPECT_TRUE(main.pollingCheckBox()->isChecked());
}

TEST_F(NetworkSettingsTest, LostAndMisshapenScanAnswers)
{
    startServer(78, true);
    typeAddress("EAdd%1", {"127", "0", "0", "78"});
    child<QRadioButton>(paramIP, "RBPort8010_I2C")->click();
    QPushButton *scan = child<QPushButton>(paramIP, "BScanI2CBus");
    QListWidget *list = child<QListWidget>(paramIP, "ListBScanI2C");

    // A lost answer: closing ends the scan and gives the button back.
    SimFaultSettings faults;
    faults.dropScanAnswer = true;
    server->faults().setSettings(faults);
    scan->click();
    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP open"; }));
    EXPECT_FALSE(scan->isEnabled());
    child<QAction>(main, "MenuComClose")->trigger();
    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP closed"; }));
    EXPECT_TRUE(scan->isEnabled());
    EXPECT_TRUE(list->isEnabled());
    EXPECT_FALSE(main.context().session().connection().ScanningI2C.load());

    // Bytes 0 and 0x80.. are never offered.
    faults = {};
    faults.scanAnswer = bytes({0x00, 0x10, 0x80, 0xFF});
    server->faults().setSettings(faults);
    scan->click();
    ASSERT_TRUE(waitFor([list] { return list->count() > 0; }));
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "Mod. 0x10 - 16");
    ASSERT_TRUE(waitFor([this] { return main.statusText(0) == "TCP closed"; }));

    // An empty bus lists nothing and leaves the address alone.
    faults.scanAnswer = std::vector<uint8_t>{};
    server->faults().setSettings(faults);
    scan->click();
    ASSERT_TRUE(waitFor([this, scan] {
        return scan->isEnabled() && !main.context().session().connection().ScanningI2C.load()
               && main.statusText(0) == "TCP closed";
    }));
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(paramIP.connection().i2cAddress(), 16);
}

TEST_F(NetworkSettingsTest, ResetArpRunsOnlyOnTheOpenedAddress)
{
    RecordingCommandRunner runner;
    main.setCommandRunner(&runner);
    typeAddress("EAdd%1", {"0", "0", "0", "0/0"});
    paramIP.resetArp(runner);
    EXPECT_TRUE(runner.commands().isEmpty());
    openDirect(75);
    child<QAction>(main, "MenuComResetARP")->trigger();
    ASSERT_EQ(runner.commands().size(), 1);
    EXPECT_EQ(runner.commands()[0], (QStringList{"ip", "neigh", "flush", "to", "127.0.0.75"}));
    main.setCommandRunner(nullptr);
}

TEST_F(NetworkSettingsTest, AboutDisplayTestIdentifiesWithoutHardware)
{
    TFormAbout &about = windows.about();
    const char *names[6] = {"ETypeHigh", "ETypeLow",  "EHardHigh",
                            "EHardLow",  "EFirmHigh", "EFirmLow"};
    const char *values[6] = {"2", "1", "0", "3", "0", "2"};
    for (int i = 0; i < 6; ++i)
        child<QLineEdit>(about, names[i])->setText(values[i]);
    child<QPushButton>(about, "BDisplayTest")->click();
    EXPECT_EQ(main.windowTitle(), "Ethernet Motor Controller - NETDC-A  (TYPE = 2.1)");

    child<QLineEdit>(about, "EHardLow")->setText("256");
    EXPECT_FALSE(child<QPushButton>(about, "BDisplayTest")->isEnabled());
    EXPECT_TRUE(isEditMarkedInvalid(child<QLineEdit>(about, "EHardLow")));
    child<QLineEdit>(about, "EHardLow")->setText("3");
    child<QLineEdit>(about, "ETypeHigh")->setText("7");
    emit child<QLineEdit>(about, "ETypeLow")->returnPressed();
    EXPECT_FALSE(boxes.boxes().empty());

    openDirect(76);
    EXPECT_FALSE(child<QGroupBox>(about, "GBDisplayTest")->isEnabled());
}

TEST_F(NetworkSettingsTest, StatisticsCountLossesAndTimeAnswers)
{
    openDirect(77);
    TFormInformation &information = windows.information();
    child<QAction>(main, "MenuComStatistics")->trigger();
    const auto label = [&information](const char *name) {
        return information.findChild<QLabel *>(QLatin1String(name))->text();
    };
    information.Refresh();
    const int diff = label("LDiff").toInt();
    SimFaultSettings faults;
    faults.drop = SimFaultRate::first(3);
    server->faults().setSettings(faults);
    // Each lost answer ends the sender's 3000 ms wait.
    EXPECT_TRUE(waitFor([this] { return main.statusText(3) == "Com error : 3 (PKT)"; }, 15000))
        << main.statusText(3).toStdString();
    EXPECT_TRUE(waitFor(
        [&] {
            information.Refresh();
            return label("LDiff").toInt() == diff + 3;
        },
        15000))
        << label("LDiff").toStdString() << " from " << diff;
    EXPECT_GE(label("LAnswerTimeouts").toInt(), 3);

    faults = {};
    faults.delayMs = 100;
    server->faults().setSettings(faults);
    EXPECT_TRUE(waitFor(
        [&] {
            information.Refresh();
            return uitest::local(label("LAnswerTime")).toDouble() >= 100.0
                   || label("LAnswerTime").replace(',', '.').toDouble() >= 100.0;
        },
        5000))
        << label("LAnswerTime").toStdString();
    EXPECT_GE(label("LAnswerTimeP99").replace(',', '.').toDouble(), 0.0);
    // The time-out in force follows the link, within its floor and ceiling.
    const int timeout = label("LAnswerTimeout").toInt();
    EXPECT_GE(timeout, 20);
    EXPECT_LE(timeout, 3000);
}

// Run by hand with --gtest_also_run_disabled_tests: saves the windows to
// $TARVINE_SCREENSHOTS (default: the working folder).
TEST_F(NetworkSettingsTest, DISABLED_Screenshots)
{
    const QString folder = qEnvironmentVariable("TARVINE_SCREENSHOTS", QStringLiteral("."));
    openDirect(79);
    paramIP.show();
    QCoreApplication::processEvents();
    paramIP.grab().save(folder + "/change-parameters-tcp.png");

    TFormInformation &information = windows.information();
    child<QAction>(main, "MenuComStatistics")->trigger();
    waitFor([this] { return main.context().session().statistics().answerTimeP99Ms() > 0; });
    QThread::msleep(300);
    information.Refresh();
    information.grab().save(folder + "/statistics.png");
    child<QAction>(main, "MenuComClose")->trigger();
    waitFor([this] { return !paramIP.connection().isTcpActive(); });

    server.reset();
    startServer(80, true);
    typeAddress("EAdd%1", {"127", "0", "0", "80"});
    child<QRadioButton>(paramIP, "RBPort8010_I2C")->click();
    paramIP.show();
    child<QPushButton>(paramIP, "BScanI2CBus")->click();
    QListWidget *list = child<QListWidget>(paramIP, "ListBScanI2C");
    waitFor([list] { return list->count() == 2; });
    waitFor([this] { return !paramIP.connection().isTcpActive(); });
    QCoreApplication::processEvents();
    paramIP.grab().save(folder + "/change-parameters-i2c.png");

    TFormAbout &about = windows.about();
    about.show();
    child<QLineEdit>(about, "ETypeHigh")->setText("43");
    child<QLineEdit>(about, "ETypeLow")->setText("102");
    QCoreApplication::processEvents();
    about.grab().save(folder + "/about.png");
    about.BDisplayTestClick();
    QCoreApplication::processEvents();
    main.grab().save(folder + "/about-display-test-main.png");
}

TEST_F(NetworkSettingsTest, UdpOpenStartsTheShownCountersAtZero)
{
    openDirect(81);
    const CommStatistics &statistics = main.context().session().statistics();
    ASSERT_TRUE(waitFor([&] { return statistics.shown.answersDecoded.load() > 5; }));
    child<QAction>(main, "MenuComClose")->trigger();
    ASSERT_TRUE(waitFor([this] { return !paramIP.connection().isTcpActive(); }));
    const int32_t shown = statistics.shown.answersDecoded.load();
    child<QRadioButton>(paramIP, "RBPort7010")->click();
    child<QPushButton>(paramIP, "BOpen")->click();
    ASSERT_EQ(main.statusText(0), "UDP open");
    EXPECT_LT(statistics.shown.answersDecoded.load(), shown); // this connection's answers only
    paramIP.connection().close();
}
