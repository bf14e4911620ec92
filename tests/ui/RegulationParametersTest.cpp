// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The "Regulation parameters" group: edit checks, Enter, track bars, received
// values, "Write", "Calc 40%", the PID and feed-forward switches and the
// model's enabled states, against the register image with the controls
// switched as if connected; and one Enter on the wire of the virtual controller.
#include "AppWindowsFixture.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/main/RegulationParametersPanel.h"
#include "ui/widgets/EditColour.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

using uitest::child;
using uitest::local;
using uitest::waitFor;
using Id = RegulationParameterId;

namespace {

RegulationParametersPanel *panelOf(const TFormMain &main)
{
    return qobject_cast<RegulationParametersPanel *>(
        main.panelAt(MainPanelSlot::RegulationParameters));
}

/// Type 0x002B0001 (BUSST-A), version 3.5: a stepper without PID controls.
ModelProfile stepperProfile()
{
    return identifyDevice(0x002B0001, 0x00030005);
}

/// Type 0x00020001 (NETDC-A), version 7.18: with feed-forward.
ModelProfile dcProfile()
{
    return identifyDevice(0x00020001, 0x00070012);
}

class RegulationTest : public ::testing::Test
{
protected:
    TFormMain main;
    QLMCSession &session = main.context().session();
    RegulationParametersPanel *panel = panelOf(main);

    void SetUp() override
    {
        ASSERT_NE(panel, nullptr);
        main.show();
        main.context().connectedControls().setConnected(true);
    }

    QLineEdit *edit(Id id) const { return panel->edit(id); }
    QSlider *track(Id id) const { return panel->trackBar(id); }

    void type(Id id, const QString &text)
    {
        QLineEdit *line = edit(id);
        line->setFocus();
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Delete);
        QTest::keyClicks(line, text);
    }
    void enter(Id id, const QString &text)
    {
        type(id, text);
        QTest::keyClick(edit(id), Qt::Key_Return);
    }

    std::optional<int64_t> takeWrite(int address) { return uitest::takeWrite(session, address); }
    std::vector<int> pendingWrites()
    {
        RegisterLockGuard guard(session.lock());
        std::vector<int> addresses;
        for (const QLMCRegister &reg : session.motor().registers())
            if (reg.WriteRequest)
                addresses.push_back(reg.Address);
        return addresses;
    }
    bool readRequested(int address) { return uitest::readRequested(session, address); }
    void clearRequests() { uitest::clearRequests(session); }

    /// An answer of the controller carrying the 32-bit registers \a values,
    /// then one display run.
    void answer(std::initializer_list<std::pair<int, uint32_t>> values)
    {
        QLMCIPPacket packet;
        packet.Function = Function::ReadAnswer;
        int at = 0;
        for (const auto &[address, value] : values) {
            packet.Data[size_t(at++)] = uint8_t(address);
            for (int shift = 24; shift >= 0; shift -= 8)
                packet.Data[size_t(at++)] = uint8_t(value >> shift);
        }
        packet.Length = at;
        session.DataReceived(packet);
        main.runDisplay();
    }
};

} // namespace

TEST_F(RegulationTest, BuildsTheGroupLegiblyInItsPlace)
{
    EXPECT_EQ(panel->size(), reservedSize(MainPanelSlot::RegulationParameters));
    // Every control lies inside the group, every title and the longest value
    // of every edit fit.
    const QRect inside = panel->contentsRect();
    QList<QWidget *> widgets{panel->pidActive(), panel->predictiveActive(),
                             panel->calculateButton(), panel->readButton(), panel->writeButton()};
    for (const RegulationParameter &p : regulationParameters()) {
        SCOPED_TRACE(p.editName);
        QLabel *title = panel->titleLabel(p.id);
        QLineEdit *e = child<QLineEdit>(main, p.editName);
        widgets << title << e << child<QSlider>(main, p.trackBarName);
        EXPECT_GE(title->width(), title->sizeHint().width());
        const QString longest =
            p.kind == ParameterKind::Fixed16 ? local("32767.00000") : QStringLiteral("-2000000000");
        EXPECT_LT(e->fontMetrics().horizontalAdvance(longest), e->width() - 6);
        EXPECT_GE(e->height(), e->fontMetrics().height() + 2);
    }
    for (QWidget *widget : widgets)
        EXPECT_TRUE(inside.contains(QRect(widget->mapTo(panel, QPoint(0, 0)), widget->size())))
            << widget->objectName().toStdString();

    EXPECT_EQ(child<QSlider>(main, "TBArw")->singleStep(), 10);
    EXPECT_EQ(child<QSlider>(main, "TBDeadZone")->tickInterval(), 16383);
    EXPECT_EQ(child<QLineEdit>(main, "EVffOffset")->maxLength(), 16);
    EXPECT_TRUE(panel->pidActive()->isChecked() && panel->pidActive()->text().isEmpty());
    EXPECT_EQ(panel->timerReadPIDPredictive().interval(), 100);
    // Shown: the acceleration titles carry a superscript two.
    EXPECT_EQ(panel->titleLabel(Id::Acceleration)->text(), QStringLiteral("0x40-Acc [p/s\u00B2]"));
    EXPECT_EQ(panel->titleLabel(Id::Deceleration)->text(), QStringLiteral("0x41-Dec [p/s\u00B2]"));
}

TEST_F(RegulationTest, EditChangeCutsDecimalsAndRefusesTextsOutOfRange)
{
    type(Id::Kp, local("1.1234567"));
    EXPECT_EQ(edit(Id::Kp)->text(), local("1.12345"));
    EXPECT_EQ(edit(Id::Kp)->cursorPosition(), 7);
    EXPECT_FALSE(isEditMarkedInvalid(edit(Id::Kp)));
    EXPECT_TRUE(panel->writeButton()->isEnabled());
    type(Id::Kaff, local("0.0039062599"));
    EXPECT_EQ(edit(Id::Kaff)->text(), local("0.00390625"));

    // 40000 x 65536 is beyond 32 bits: red, "Write" off, Enter writes nothing.
    type(Id::Kp, QStringLiteral("40000"));
    EXPECT_TRUE(isEditMarkedInvalid(edit(Id::Kp)));
    EXPECT_FALSE(panel->writeButton()->isEnabled());
    QTest::keyClick(edit(Id::Kp), Qt::Key_Return);
    EXPECT_EQ(takeWrite(Reg::Kp), std::nullopt);
    EXPECT_EQ(track(Id::Kp)->value(), 0);

    // "Write" follows the last edit that changed; the closed connection keeps it off.
    type(Id::Acceleration, QStringLiteral("0"));
    EXPECT_FALSE(isEditMarkedInvalid(edit(Id::Acceleration)));
    EXPECT_TRUE(panel->writeButton()->isEnabled());
    type(Id::Kd, QStringLiteral("abc"));
    EXPECT_FALSE(panel->writeButton()->isEnabled());
    main.context().connectedControls().setConnected(false);
    edit(Id::Kd)->setText(QStringLiteral("2"));
    EXPECT_FALSE(panel->writeButton()->isEnabled());
    main.context().connectedControls().setConnected(true);
    EXPECT_TRUE(panel->writeButton()->isEnabled());
    EXPECT_TRUE(pendingWrites().empty());
}

TEST_F(RegulationTest, EnterWritesTheValueAndMovesTheTrackBarWithoutWritingAgain)
{
    enter(Id::Kp, local("2.5"));
    EXPECT_EQ(takeWrite(Reg::Kp), 163840); // 00 02 80 00
    EXPECT_EQ(track(Id::Kp)->value(), 8);
    EXPECT_EQ(edit(Id::Kp)->text(), local("2.50000"));
    EXPECT_TRUE(track(Id::Kp)->isEnabled());

    enter(Id::SpeedMax, QStringLiteral("5000000"));
    EXPECT_EQ(takeWrite(Reg::SpeedMax), 5000000);
    EXPECT_EQ(track(Id::SpeedMax)->value(), 0);

    enter(Id::VffOffset, QStringLiteral("100000"));
    EXPECT_EQ(takeWrite(Reg::VffOffset), 100000);
    EXPECT_EQ(track(Id::VffOffset)->value(), 65536);

    enter(Id::Kaff, local("0.5"));
    EXPECT_EQ(takeWrite(Reg::Kaff), 8388608);
    EXPECT_EQ(edit(Id::Kaff)->text(), local("0.50000000"));
    EXPECT_TRUE(pendingWrites().empty());

    // A disabled edit takes no Enter.
    edit(Id::Kd)->setEnabled(false);
    edit(Id::Kd)->setText(QStringLiteral("3"));
    QTest::keyClick(edit(Id::Kd), Qt::Key_Return);
    EXPECT_EQ(takeWrite(Reg::Kd), std::nullopt);
}

TEST_F(RegulationTest, MovingATrackBarWritesItsValue)
{
    track(Id::Kp)->setValue(100);
    EXPECT_EQ(takeWrite(Reg::Kp), 2147418112);
    EXPECT_EQ(edit(Id::Kp)->text(), local("32767.00000"));

    track(Id::Acceleration)->setValue(-200);
    EXPECT_EQ(takeWrite(Reg::Acceleration), 0);
    EXPECT_EQ(edit(Id::Acceleration)->text(), QStringLiteral("0"));

    // A wheel passing over an unfocused track bar moves nothing.
    const auto turnWheel = [this] {
        QWheelEvent wheel(QPointF(5, 5), track(Id::Kd)->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(track(Id::Kd), &wheel);
    };
    turnWheel();
    EXPECT_EQ(track(Id::Kd)->value(), 0);
    EXPECT_EQ(takeWrite(Reg::Kd), std::nullopt);
    QApplication::setActiveWindow(&main);
    track(Id::Kd)->setFocus();
    ASSERT_TRUE(track(Id::Kd)->hasFocus());
    turnWheel();
    EXPECT_NE(track(Id::Kd)->value(), 0);
    EXPECT_TRUE(takeWrite(Reg::Kd).has_value());

    // Disabled (closed connection): nothing at all.
    main.context().connectedControls().setConnected(false);
    track(Id::Kp)->setValue(0);
    EXPECT_EQ(takeWrite(Reg::Kp), std::nullopt);
    EXPECT_EQ(edit(Id::Kp)->text(), local("32767.00000"));
}

TEST_F(RegulationTest, ReceivedValuesAreShownWithoutWriting)
{
    answer({{Reg::Kp, 0x00028000},
            {Reg::Kaff, 0x00010000},
            {Reg::AntiResetWindup, 1000000000},
            {Reg::VffOffset, uint32_t(-70000)}});
    EXPECT_EQ(edit(Id::Kp)->text(), local("2.50000"));
    EXPECT_EQ(track(Id::Kp)->value(), 8);
    EXPECT_EQ(edit(Id::AntiResetWindup)->text(), QStringLiteral("1000000000"));
    EXPECT_EQ(track(Id::AntiResetWindup)->value(), -6);
    EXPECT_EQ(edit(Id::VffOffset)->text(), QStringLiteral("-70000"));
    EXPECT_EQ(track(Id::VffOffset)->value(), -65536);
    EXPECT_TRUE(edit(Id::Kp)->isEnabled());
    EXPECT_TRUE(track(Id::Kp)->isEnabled());
    EXPECT_TRUE(pendingWrites().empty());

    // Shown only once per arrival; other edits keep their texts.
    edit(Id::Kp)->setText(QStringLiteral("7"));
    main.runDisplay();
    EXPECT_EQ(edit(Id::Kp)->text(), QStringLiteral("7"));
    EXPECT_EQ(edit(Id::Ki)->text(), QStringLiteral("1.000"));
}

TEST_F(RegulationTest, WriteConfirmsEveryEnabledEditAndReadAsksForAll)
{
    type(Id::Kp, local("0.5"));
    type(Id::DeadZone, QStringLiteral("12"));
    edit(Id::Kd)->setEnabled(false);
    panel->writeButton()->click();
    EXPECT_EQ(takeWrite(Reg::Kp), 32768);
    EXPECT_EQ(takeWrite(Reg::Kd), std::nullopt);
    EXPECT_EQ(takeWrite(Reg::AntiResetWindup), 2000000000);
    EXPECT_EQ(takeWrite(Reg::DeadZone), 12);
    EXPECT_EQ(pendingWrites().size(), 9u);
    EXPECT_EQ(edit(Id::Ki)->text(), local("1.00000"));
    clearRequests();

    panel->readButton()->click();
    for (int address : regulationReadAddresses())
        EXPECT_TRUE(readRequested(address)) << address;
}

TEST_F(RegulationTest, CalculatesFortyPercentAntiResetWindup)
{
    type(Id::Kvff, QStringLiteral("0"));
    panel->calculateButton()->click();
    EXPECT_EQ(edit(Id::AntiResetWindup)->text(), QStringLiteral("1000000000"));
    EXPECT_EQ(takeWrite(Reg::AntiResetWindup), 1000000000);
    EXPECT_EQ(track(Id::AntiResetWindup)->value(), -6);

    type(Id::Kvff, local("0.5"));
    type(Id::Ki, QStringLiteral("2"));
    panel->calculateButton()->click();
    EXPECT_EQ(edit(Id::AntiResetWindup)->text(), QStringLiteral("13107"));
    EXPECT_EQ(takeWrite(Reg::AntiResetWindup), 13107);

    // Ki 0 gives no finite limit: red, "Write" off, nothing written.
    type(Id::Ki, QStringLiteral("0"));
    panel->calculateButton()->click();
    EXPECT_TRUE(isEditMarkedInvalid(edit(Id::AntiResetWindup)));
    EXPECT_FALSE(panel->writeButton()->isEnabled());
    EXPECT_EQ(takeWrite(Reg::AntiResetWindup), std::nullopt);

    // The same limit as before, now valid, clears the red.
    type(Id::Kvff, QStringLiteral("0"));
    panel->calculateButton()->click();
    panel->calculateButton()->click();
    EXPECT_FALSE(isEditMarkedInvalid(edit(Id::AntiResetWindup)));
    EXPECT_TRUE(panel->writeButton()->isEnabled());
}

TEST_F(RegulationTest, PidSwitchZeroesTheGainsAndRestoresThem)
{
    answer({{Reg::Kp, 0x00028000}, {Reg::Ki, 0x00008000}, {Reg::Kd, 0x00004000}});
    clearRequests();

    panel->pidActive()->click();
    EXPECT_TRUE(readRequested(Reg::Kp) && readRequested(Reg::Ki) && readRequested(Reg::Kd));
    EXPECT_TRUE(panel->timerReadPID().isActive());
    EXPECT_TRUE(pendingWrites().empty());
    ASSERT_TRUE(waitFor([this] { return !panel->timerReadPID().isActive(); }, 1000));
    EXPECT_EQ(takeWrite(Reg::Kp), 0);
    EXPECT_EQ(takeWrite(Reg::Ki), 0);
    EXPECT_EQ(takeWrite(Reg::Kd), 0);
    EXPECT_EQ(panel->model().savedGains().Kp, 2.5f);
    for (Id id : {Id::Kp, Id::Ki, Id::Kd})
        EXPECT_FALSE(edit(id)->isEnabled() || track(id)->isEnabled());
    EXPECT_TRUE(edit(Id::Acceleration)->isEnabled());
    EXPECT_TRUE(panel->titleLabel(Id::Kp)->isEnabled());

    // The zero gains read back are shown; the controls stay disabled, also
    // when the connection switches again.
    answer({{Reg::Kp, 0}});
    EXPECT_EQ(edit(Id::Kp)->text(), local("0.00000"));
    EXPECT_EQ(track(Id::Kp)->value(), -100);
    EXPECT_FALSE(edit(Id::Kp)->isEnabled() || track(Id::Kp)->isEnabled());
    main.context().connectedControls().setConnected(false);
    main.context().connectedControls().setConnected(true);
    EXPECT_FALSE(edit(Id::Kp)->isEnabled() || track(Id::Kp)->isEnabled());
    EXPECT_TRUE(pendingWrites().empty());

    clearRequests();
    panel->pidActive()->click();
    EXPECT_EQ(takeWrite(Reg::Kp), 163840);
    EXPECT_EQ(takeWrite(Reg::Ki), 32768);
    EXPECT_EQ(takeWrite(Reg::Kd), 16384);
    EXPECT_TRUE(readRequested(Reg::Kp));
    for (Id id : {Id::Kp, Id::Ki, Id::Kd})
        EXPECT_TRUE(edit(id)->isEnabled() && track(id)->isEnabled());

    // Checked again before the switch-off took place: the gains are never zeroed.
    panel->pidActive()->click();
    panel->pidActive()->click();
    EXPECT_FALSE(panel->timerReadPID().isActive());
    QTest::qWait(150);
    EXPECT_EQ(takeWrite(Reg::Kp), std::nullopt);
    EXPECT_TRUE(edit(Id::Kp)->isEnabled());
}

TEST_F(RegulationTest, FeedForwardSwitchZeroesAndRestoresTheFourTerms)
{
    answer({{Reg::VffOffset, uint32_t(-300)}, {Reg::Kaff, 0x00800000}});
    panel->predictiveActive()->click();
    ASSERT_TRUE(waitFor([this] { return !panel->timerReadPIDPredictive().isActive(); }, 1000));
    for (int address : {Reg::VffOffset, Reg::Kaff})
        EXPECT_EQ(takeWrite(address), 0) << address;
    // Kvff and Kdff never came from the device: neither zeroed nor written back.
    for (int address : {Reg::Kvff, Reg::Kdff})
        EXPECT_EQ(takeWrite(address), std::nullopt) << address;
    EXPECT_FALSE(edit(Id::Kdff)->isEnabled() || track(Id::VffOffset)->isEnabled());
    EXPECT_TRUE(edit(Id::Kp)->isEnabled());

    panel->predictiveActive()->click();
    EXPECT_EQ(takeWrite(Reg::VffOffset), -300);
    EXPECT_EQ(takeWrite(Reg::Kaff), 0x00800000);
    EXPECT_EQ(takeWrite(Reg::Kvff), std::nullopt);
    EXPECT_TRUE(edit(Id::Kdff)->isEnabled());
}

// What the parameter-file and auto-tuning windows ask: an enabled, unticked
// switch is clicked (its switch-on writes run), any other is left alone.
TEST_F(RegulationTest, SwitchingPidAndFeedForwardOnClicksOnlyEnabledUntickedSwitches)
{
    answer({{Reg::Kp, 0x00028000}});
    panel->pidActive()->click();
    ASSERT_TRUE(waitFor([this] { return !panel->timerReadPID().isActive(); }, 1000));
    clearRequests();

    panel->switchPidAndFeedForwardOn();
    EXPECT_TRUE(panel->pidActive()->isChecked() && panel->predictiveActive()->isChecked());
    EXPECT_EQ(takeWrite(Reg::Kp), 163840);
    EXPECT_EQ(takeWrite(Reg::Kvff), std::nullopt);
    clearRequests();
    panel->switchPidAndFeedForwardOn();
    EXPECT_TRUE(pendingWrites().empty());

    panel->predictiveActive()->click();
    ASSERT_TRUE(waitFor([this] { return !panel->timerReadPIDPredictive().isActive(); }, 1000));
    main.context().connectedControls().setConnected(false);
    clearRequests();
    panel->switchPidAndFeedForwardOn();
    EXPECT_FALSE(panel->predictiveActive()->isChecked());
    EXPECT_TRUE(pendingWrites().empty());
}

TEST_F(RegulationTest, ModelProfileDisablesControlsAcrossConnectionSwitches)
{
    main.applyIdentification(stepperProfile());
    const auto offered = [this](Id id) {
        return panel->titleLabel(id)->isEnabled() && edit(id)->isEnabled()
               && track(id)->isEnabled();
    };
    const auto withdrawn = [this](Id id) {
        return !panel->titleLabel(id)->isEnabled() && !edit(id)->isEnabled()
               && !track(id)->isEnabled();
    };
    const std::vector<Id> off{Id::Kp,       Id::Ki,           Id::Kd,        Id::AntiResetWindup,
                              Id::DeadZone, Id::EncoderRatio, Id::VffOffset, Id::Kvff,
                              Id::Kaff,     Id::Kdff};
    const std::vector<Id> on{Id::Acceleration, Id::Deceleration, Id::SpeedMax};
    const auto check = [&] {
        for (Id id : off)
            EXPECT_TRUE(withdrawn(id)) << indexOf(id);
        for (Id id : on)
            EXPECT_TRUE(offered(id)) << indexOf(id);
        EXPECT_FALSE(panel->predictiveActive()->isEnabled());
        EXPECT_TRUE(panel->pidActive()->isEnabled());
    };
    check();
    EXPECT_EQ(panel->titleLabel(Id::Acceleration)->text(),
              QStringLiteral("0x40-Acc [\u00B5Step/s\u00B2]"));
    EXPECT_EQ(panel->titleLabel(Id::SpeedMax)->text(),
              QStringLiteral("0x42-Top spd [\u00B5Step/s]"));

    main.context().connectedControls().setConnected(false);
    for (Id id : on)
        EXPECT_FALSE(edit(id)->isEnabled());
    main.context().connectedControls().setConnected(true);
    check();

    // The PID switch gives back only what the model offers.
    panel->pidActive()->click();
    ASSERT_TRUE(waitFor([this] { return !panel->timerReadPID().isActive(); }, 1000));
    panel->pidActive()->click();
    check();

    // The next identification offers them again; the titles follow its units.
    main.applyIdentification(dcProfile());
    for (const RegulationParameter &p : regulationParameters())
        EXPECT_TRUE(offered(p.id)) << p.editName;
    EXPECT_TRUE(panel->predictiveActive()->isEnabled());
    EXPECT_EQ(panel->titleLabel(Id::Acceleration)->text(), QStringLiteral("0x40-Acc [p/s\u00B2]"));
}

TEST_F(RegulationTest, ModeColoursTheTitles)
{
    const auto colour = [this](Id id) {
        return panel->titleLabel(id)->palette().color(QPalette::Active, QPalette::WindowText);
    };
    emit main.context().parameterTitlesColoured({0, 1, 2, 12, 40, -1});
    EXPECT_EQ(colour(Id::Kd), QColor(Qt::red));
    EXPECT_EQ(colour(Id::EncoderRatio), QColor(Qt::red));
    EXPECT_NE(colour(Id::VffOffset), QColor(Qt::red));
    emit main.context().parameterTitlesColoured({});
    EXPECT_NE(colour(Id::Kp), QColor(Qt::red));
}

// Against the virtual controller: the connection window opens it, the
// identification offers the controls, Enter in EKp goes out on the wire.
TEST(RegulationWireTest, EnterInKpReachesTheController)
{
    testsupport::WireRecorder wire;
    AppWindows windows;
    TFormMain &main = windows.main();
    RegulationParametersPanel *panel = panelOf(main);
    ASSERT_NE(panel, nullptr);
    main.show();

    SimServerConfig config;
    config.bindAddress = "127.0.0.91";
    SimServer server(config,
                     std::make_shared<SimController>(*parseSimModel("NETDC-A"), SimIdentity{}));
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    server.setLog(wire.log);
    TFormParamIP &paramIP = windows.paramIP();
    uitest::openFromParamIP(paramIP, server, 91);
    ASSERT_TRUE(waitFor([&] { return main.windowTitle().contains("NETDC-A"); }));
    // The identification's read-back fills the group.
    ASSERT_TRUE(waitFor([&] { return panel->edit(Id::Kp)->text() != QStringLiteral("1.000"); }));
    EXPECT_TRUE(panel->edit(Id::Kvff)->isEnabled());

    QLineEdit *kp = panel->edit(Id::Kp);
    kp->setFocus();
    kp->selectAll();
    QTest::keyClick(kp, Qt::Key_Delete);
    QTest::keyClicks(kp, local("2.5"));
    QTest::keyClick(kp, Qt::Key_Return);
    const std::vector<uint8_t> item{0x33, 0x00, 0x02, 0x80, 0x00};
    const auto written = [&] {
        for (const SimWireEvent &request : wire.requests())
            if (request.function == Function::Write
                && std::search(request.payload.begin(), request.payload.end(), item.begin(),
                               item.end())
                       != request.payload.end())
                return true;
        return false;
    };
    EXPECT_TRUE(waitFor(written, 3000));

    // "Read" brings the value back into the edit and the track bar.
    kp->setText(QStringLiteral("1"));
    panel->readButton()->click();
    EXPECT_TRUE(waitFor([&] { return kp->text() == local("2.50000"); }, 3000));
    EXPECT_EQ(panel->trackBar(Id::Kp)->value(), 8);

    // TARVINE_REG_SCREENSHOT=<file.png> keeps the window polling a little and saves it.
    if (const char *path = std::getenv("TARVINE_REG_SCREENSHOT")) {
        QTest::qWait(1500);
        EXPECT_TRUE(main.grab().save(QString::fromLocal8Bit(path)));
    }
    paramIP.connection().close();
    waitFor([&] { return !paramIP.connection().isTcpActive(); }, 2000);
}
