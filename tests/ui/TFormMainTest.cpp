// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The main window's display routine, polling controls, identification
// adaptation, main-panel slots and the connected-controls registry.
#include "UiTestSupport.h"

#include "app/DesktopApplication.h"
#include "app/TFormMain.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "panel/DisplayText.h"
#include "ui/main/DisplayPanel.h"
#include "ui/main/RefreshPanel.h"
#include "ui/widgets/ConnectedControls.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>

#include <memory>
#include <thread>

using uitest::child;
using uitest::local;

namespace {

void raise(TFormMain &main, const std::function<void(ReceivedValues &)> &set,
           std::initializer_list<ValueFlag> flags)
{
    QLMCSession &session = main.context().session();
    RegisterLockGuard guard(session.lock());
    set(session.Received);
    for (ValueFlag flag : flags)
        session.Flags.raise(flag);
}

QString text(const TFormMain &main, const char *name)
{
    const QLabel *label = main.findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

} // namespace

TEST(TFormMainDisplay, ShowsRaisedValuesOnceAndKeepsTheOthers)
{
    TFormMain main;
    raise(main,
          [](ReceivedValues &v) {
              v.Position = -1234;
              v.Speed = 500;
              v.Desired = 77;
              v.Version = 0x01020304;
              v.Voltage = 24.25f;
              v.TimeInService = 3600;
              v.PowerUpCount = 17;
              v.Temperature = 35.5f;
          },
          {ValueFlag::Position, ValueFlag::Speed, ValueFlag::Desired, ValueFlag::Version,
           ValueFlag::Voltage, ValueFlag::TimeInService, ValueFlag::PowerUpCount,
           ValueFlag::Temperature});
    main.runDisplay();
    EXPECT_EQ(text(main, "LPositionBig"), QStringLiteral("-1234"));
    EXPECT_EQ(text(main, "LSpeedBig"), QStringLiteral("500"));
    EXPECT_EQ(text(main, "LDesiredBig"), QStringLiteral("77"));
    EXPECT_EQ(main.statusText(4), QStringLiteral("Hw 1.2 Fw 3.4"));
    EXPECT_EQ(main.statusText(5), local("24.3 [V]"));
    EXPECT_EQ(main.statusText(6), QStringLiteral("3600 [s]"));
    EXPECT_EQ(main.statusText(7), QStringLiteral("#PUp : 17"));
    EXPECT_EQ(main.statusText(8), local("35.5") + QString::fromUtf8(" [\u00B0C]"));
    EXPECT_EQ(main.displayedValues().Position, -1234);

    // New values without their flags are not shown; the flags were taken.
    raise(main,
          [](ReceivedValues &v) {
              v.Position = 1;
              v.Version = 0x00030012;
          },
          {});
    main.runDisplay();
    EXPECT_EQ(text(main, "LPositionBig"), QStringLiteral("-1234"));
    EXPECT_EQ(main.statusText(4), QStringLiteral("Hw 1.2 Fw 3.4"));
    raise(main, [](ReceivedValues &) {}, {ValueFlag::Version});
    main.runDisplay();
    EXPECT_EQ(main.statusText(4), QStringLiteral("Ver 3.18"));
}

TEST(TFormMainDisplay, StepperShowsFullStepsInTheThirdReadOut)
{
    TFormMain main;
    main.context().setStepperUnits(true);
    raise(main,
          [](ReceivedValues &v) {
              v.Position = 1000;
              v.Desired = 5;
          },
          {ValueFlag::Position, ValueFlag::Desired});
    main.runDisplay();
    EXPECT_EQ(text(main, "LPositionBig"), QStringLiteral("1000"));
    EXPECT_EQ(text(main, "LDesiredBig"), local("3.906"));
}

TEST(TFormMainDisplay, RunsTheHooksOfOtherGroupsInOrderWhenDue)
{
    TFormMain main;
    std::vector<DisplayStep> order;
    for (DisplayStep step : {DisplayStep::IOState, DisplayStep::ConsignEdit, DisplayStep::Warning,
                             DisplayStep::RegulationParameters, DisplayStep::RegulationMode})
        main.setDisplayHook(step, [&order, step](const DisplayUpdate &, const ReceivedValues &) {
            order.push_back(step);
        });

    raise(main, [](ReceivedValues &v) { v.Speed = 3; }, {ValueFlag::Speed});
    main.runDisplay();
    EXPECT_TRUE(order.empty());

    raise(main,
          [](ReceivedValues &v) {
              v.Input = 9;
              v.RegulationMode = 5;
              v.Kp = 2.0f;
          },
          {ValueFlag::Input, ValueFlag::ShowInput, ValueFlag::RegulationMode, ValueFlag::Kp,
           ValueFlag::Warning, ValueFlag::IOState});
    main.runDisplay();
    EXPECT_EQ(order,
              std::vector<DisplayStep>({DisplayStep::ConsignEdit, DisplayStep::RegulationMode,
                                        DisplayStep::RegulationParameters, DisplayStep::Warning,
                                        DisplayStep::IOState}));
}

TEST(TFormMainDisplay, LoopTimeMenuShowsTheReceivedOption)
{
    TFormMain main;
    const auto checked = [&main] {
        QStringList names;
        for (QAction *item : child<QMenu>(main, "MenuLoopTime")->actions())
            if (item->isChecked())
                names << item->objectName();
        return names;
    };
    raise(main, [](ReceivedValues &v) { v.LoopTimeOption = 3; }, {ValueFlag::LoopTimeOption});
    main.runDisplay();
    EXPECT_EQ(checked(), QStringList({"MenuLoopTime5ms"}));
    raise(main, [](ReceivedValues &v) { v.LoopTimeOption = 7; }, {ValueFlag::LoopTimeOption});
    main.runDisplay();
    EXPECT_TRUE(checked().isEmpty());

    // Without a TCP connection a chosen item changes nothing.
    child<QAction>(main, "MenuLoopTime05ms")->trigger();
    EXPECT_TRUE(checked().isEmpty());
    RegisterLockGuard guard(main.context().session().lock());
    EXPECT_FALSE(main.context().session().motor().registerAt(Reg::LoopTimeOption)->WriteRequest);
}

TEST(TFormMainDisplay, ArmingFromTheSenderThreadRunsTheDisplayOnTheWindowThread)
{
    TFormMain main;
    raise(main, [](ReceivedValues &v) { v.Position = 42; }, {ValueFlag::Position});
    std::thread sender([&main] { main.context().session().listener()->armMainDisplay(); });
    sender.join();
    EXPECT_EQ(text(main, "LPositionBig"), QStringLiteral("-")); // not on the sender thread
    EXPECT_TRUE(uitest::waitFor([&main] { return text(main, "LPositionBig") == "42"; }, 2000));
    EXPECT_FALSE(main.displayTimer().isActive());
}

TEST(TFormMainDisplay, ReadOutsShowADashUntilTheirRegisterArrives)
{
    TFormMain main;
    const auto dashes = [&main] {
        for (const char *name : {"LPositionBig", "LSpeedBig", "LDesiredBig"})
            EXPECT_EQ(text(main, name), QStringLiteral("-")) << name;
        EXPECT_EQ(main.statusText(5), QStringLiteral("-- [V]"));
    };
    dashes(); // before the first answer

    // The first answer shows its own values only.
    QLMCIPPacket answer;
    const uint8_t payload[] = {0x26, 0x00, 0x00, 0x00, 0x2A, 0x07, 0x00, 0x18, 0x00, 0x00};
    std::copy(std::begin(payload), std::end(payload), answer.Data.begin());
    answer.Length = int(sizeof payload);
    main.context().session().DataReceived(answer);
    main.runDisplay();
    EXPECT_EQ(text(main, "LPositionBig"), QStringLiteral("42"));
    EXPECT_EQ(text(main, "LSpeedBig"), QStringLiteral("-"));
    EXPECT_EQ(main.statusText(5), local("24.0 [V]"));

    // Every open: nothing of the previous connection is shown as the new one's.
    main.context().session().replaceMotor();
    emit main.context().consignStateResetRequested();
    main.runDisplay();
    dashes();

    // Every close: voltage, firmware, uptime, temperature... are no longer live.
    const QLMCIPPacket status = [] {
        QLMCIPPacket p;
        const uint8_t bytes[] = {0x07, 0x00, 0x18, 0x00, 0x00};
        std::copy(std::begin(bytes), std::end(bytes), p.Data.begin());
        p.Length = int(sizeof bytes);
        return p;
    }();
    main.context().connectedControls().setConnected(true);
    main.context().session().DataReceived(status);
    main.runDisplay();
    main.setStatusText(4, QStringLiteral("Ver 7.18"));
    main.setStatusText(6, QStringLiteral("1234 [Sec]"));
    main.setStatusText(8, QStringLiteral("31 [\u00B0C]"));
    ASSERT_EQ(main.statusText(5), local("24.0 [V]"));
    main.context().connectedControls().setConnected(false);
    dashes();
    const QString placeholders[] = {"Version", "-- [V]", "-- [Sec]", "#PUp : -",
                                    QString::fromUtf8("-- [\u00B0C]"), "0x15-Name : ---"};
    for (int panel = 4; panel <= 9; ++panel)
        EXPECT_EQ(main.statusText(panel), placeholders[panel - 4]) << panel;
}

TEST(TFormMainRefresh, TrackBarSetsCycleDividerAndLabel)
{
    TFormMain main;
    QSlider *track = child<QSlider>(main, "TBRefresh");
    EXPECT_EQ(track->minimum(), 1);
    EXPECT_EQ(track->maximum(), 100);
    EXPECT_EQ(track->value(), 10);
    EXPECT_EQ(track->tickInterval(), 10);
    EXPECT_EQ(text(main, "LRefresh"), QStringLiteral("20"));
    EXPECT_EQ(main.context().session().RefreshRatio.load(), 20);
    EXPECT_EQ(main.context().session().DisplayDivider.load(), 5);

    std::vector<int> positions;
    QObject::connect(&main.context(), &WindowContext::refreshTrackChanged,
                     [&](int p) { positions.push_back(p); });
    track->setValue(1);
    EXPECT_EQ(text(main, "LRefresh"), QStringLiteral("2"));
    EXPECT_EQ(main.context().session().RefreshRatio.load(), 2);
    EXPECT_EQ(main.context().session().DisplayDivider.load(), 50);
    track->setValue(100);
    EXPECT_EQ(text(main, "LRefresh"), QStringLiteral("200"));
    EXPECT_EQ(main.context().session().RefreshRatio.load(), 200);
    EXPECT_EQ(main.context().session().DisplayDivider.load(), 0);
    EXPECT_EQ(positions, std::vector<int>({1, 100}));
}

TEST(TFormMainRefresh, CheckBoxesAndTheSpaceBarSwitchPollingAndGraphs)
{
    TFormMain main;
    main.context().connectedControls().setConnected(true);
    QCheckBox *refresh = child<QCheckBox>(main, "CBReadData");
    EXPECT_EQ(refresh->text(), QStringLiteral("Refresh       (or space bar)"));
    refresh->click();
    EXPECT_TRUE(main.context().session().PollingEnabled.load());
    refresh->click();
    EXPECT_FALSE(main.context().session().PollingEnabled.load());

    child<QCheckBox>(main, "CBGraphic")->click();
    EXPECT_TRUE(main.context().session().GraphicEnabled.load());

    // The space bar on the input track bar toggles "Refresh" (as anywhere in
    // the window but in a text edit); other keys do not.
    main.show();
    QApplication::setActiveWindow(&main);
    QSlider *consign = child<QSlider>(main, "TBCons");
    consign->setFocus();
    QTest::keyClick(consign, Qt::Key_Space);
    EXPECT_TRUE(refresh->isChecked());
    EXPECT_TRUE(main.context().session().PollingEnabled.load());
    QTest::keyClick(consign, Qt::Key_A);
    EXPECT_TRUE(refresh->isChecked());

    // The "Close" command unchecks it and stops the polling.
    child<QAction>(main, "MenuComClose")->trigger();
    EXPECT_FALSE(refresh->isChecked());
    EXPECT_FALSE(main.context().session().PollingEnabled.load());

    // Another window's "switch Refresh on": a click when enabled and unticked only.
    main.refreshPanel()->switchRefreshOn();
    EXPECT_TRUE(refresh->isChecked());
    EXPECT_TRUE(main.context().session().PollingEnabled.load());
    main.refreshPanel()->switchRefreshOn();
    EXPECT_TRUE(refresh->isChecked());
    refresh->click();
    main.context().connectedControls().setConnected(false);
    main.refreshPanel()->switchRefreshOn();
    EXPECT_FALSE(refresh->isChecked());
    EXPECT_FALSE(main.context().session().PollingEnabled.load());
}

TEST(TFormMainPanels, PanelsReplaceTheirPlaceholders)
{
    TFormMain main;
    const std::vector<std::tuple<MainPanelSlot, const char *, QString>> places = {
        {MainPanelSlot::RegulationParameters, "GBRegulationParameters", "Regulation parameters"},
        {MainPanelSlot::RegulationMode, "GBRegulationMode", "0x20-Regul. mode"},
        {MainPanelSlot::Input, "GBInput", "0x21-Input (PWM Consign)"},
        {MainPanelSlot::Eeprom, "GBEeprom", "Save and restore (EEprom)"},
    };
    // Each slot holds its installed panel: the group itself or a panel around it.
    for (const auto &[slot, name, title] : places) {
        QWidget *content = main.panelAt(slot);
        ASSERT_NE(content, nullptr) << name;
        auto *group = content->objectName() == QLatin1String(name)
                          ? qobject_cast<QGroupBox *>(content)
                          : content->findChild<QGroupBox *>(QLatin1String(name));
        ASSERT_NE(group, nullptr) << name;
        EXPECT_EQ(group->title(), title);
        EXPECT_EQ(content->size(), reservedSize(slot)) << name;
    }

    QPointer<QWidget> placeholder = main.panelAt(MainPanelSlot::Input);
    auto *panel = new QGroupBox(QStringLiteral("0x21-Input (PWM Consign)"));
    panel->setObjectName(QStringLiteral("GBInput"));
    main.installPanel(MainPanelSlot::Input, panel);
    EXPECT_TRUE(placeholder.isNull());
    EXPECT_EQ(main.panelAt(MainPanelSlot::Input), panel);
    EXPECT_EQ(main.findChild<QGroupBox *>(QStringLiteral("GBInput")), panel);
}

TEST(TFormMain, IdentificationAdaptsCaptionTitlesAndStatusTexts)
{
    TFormMain main;
    const ModelProfile stepper = identifyDevice((43u << 16) | 1u, 0x00070012);
    ASSERT_TRUE(stepper.known);
    int identified = 0;
    QObject::connect(&main.context(), &WindowContext::deviceIdentified,
                     [&](const ModelProfile &) { ++identified; });
    main.applyIdentification(stepper);
    EXPECT_EQ(main.windowTitle(), stepper.caption);
    EXPECT_TRUE(main.context().stepperUnits());
    EXPECT_EQ(text(main, "LPositionTitle"), stepper.titles.position);
    EXPECT_EQ(text(main, "LDesiredTitle"), stepper.titles.desired);
    EXPECT_EQ(main.statusText(6), QStringLiteral("-- [s]"));
    EXPECT_EQ(main.statusText(7), QStringLiteral("#PUp : -"));
    EXPECT_EQ(identified, 1);

    main.applyIdentification(identifyDevice((2u << 16) | 1u, 0x00070012));
    EXPECT_EQ(main.windowTitle(),
              QStringLiteral("Ethernet Motor Controller - NETDC-A  (TYPE = 2.1)"));
    EXPECT_FALSE(main.context().stepperUnits());
}

TEST(ConnectedControls, SwitchesBothSetsRunsHooksAndForgetsDestroyedControls)
{
    ConnectedControls controls;
    QWidget owner;
    QPushButton open(&owner), close(&owner);
    auto *device = new QSlider(&owner);
    QAction save(&owner);
    controls.addWhileClosed(&open);
    controls.addWhileConnected(&close);
    controls.addWhileConnected(device);
    controls.addWhileConnected(&save);
    std::vector<bool> seen;
    controls.addHook(&owner, [&seen](bool connected) { seen.push_back(connected); });
    EXPECT_TRUE(open.isEnabled());
    EXPECT_FALSE(close.isEnabled());
    EXPECT_FALSE(save.isEnabled());

    controls.setConnected(true);
    EXPECT_FALSE(open.isEnabled());
    EXPECT_TRUE(close.isEnabled());
    EXPECT_TRUE(device->isEnabled());
    EXPECT_TRUE(save.isEnabled());

    // A control registered later takes the state in force.
    QPushButton late(&owner);
    controls.addWhileConnected(&late);
    EXPECT_TRUE(late.isEnabled());

    delete device;
    controls.setConnected(false);
    EXPECT_TRUE(open.isEnabled());
    EXPECT_FALSE(close.isEnabled());
    EXPECT_FALSE(late.isEnabled());
    EXPECT_EQ(seen, std::vector<bool>({false, true, false}));
}

TEST(TFormMain, HelpAndReadmeNameTheMenuItemsThereAre)
{
    TFormMain main;
    // Menu title (without its "&") -> the texts of its items.
    QMap<QString, QStringList> items;
    for (QAction *bar : main.menuBar()->actions())
        if (QMenu *menu = bar->menu())
            for (QAction *action : menu->actions())
                items[bar->text().remove(QLatin1Char('&'))] << action->text();
    QStringList texts{QString::fromUtf8(desktopHelpText())};
    const QDir root(QStringLiteral(TARVINE_SOURCE_DIR));
    for (const char *name : {"README.md", "docs/architecture.md"}) {
        QFile file(root.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        texts << QString::fromUtf8(file.readAll());
    }
    // "Menu > Item", the same with an arrow, and "Menu > \"Item\"".
    const QRegularExpression mention(
        QStringLiteral("\\b(%1)\\s*(?:>|\u2192)\\s*\"?([A-Z][A-Za-z ]*(?:\\.\\.\\.)?)")
            .arg(items.keys().join(QLatin1Char('|'))));
    int mentions = 0;
    for (const QString &text : texts) {
        for (auto it = mention.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            ++mentions;
            EXPECT_TRUE(items.value(m.captured(1)).contains(m.captured(2)))
                << m.captured(0).toStdString();
        }
    }
    EXPECT_GE(mentions, 4);
    EXPECT_TRUE(QString::fromUtf8(desktopHelpText()).contains(
        QStringLiteral("Communication > Parameters...")));
}
