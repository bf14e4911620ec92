// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The STOP at hand (the main window's button, Esc in every window) and the
// space bar of the main window, which toggles "Refresh" and never presses the
// focused button.
#include "ModesFixture.h"

#include "link/QLMCThreadSendPacket.h"
#include "sim/SimFaults.h"
#include "ui/features/TFormLimits.h"
#include "ui/main/RefreshPanel.h"

#include <chrono>

namespace {

using SteadyClock = std::chrono::steady_clock;

class StopTest : public ModesWireTest
{
protected:
    /// When the first write of \a payload (hex bytes "20 00") reached the wire.
    std::optional<SteadyClock::time_point> written(const std::vector<uint8_t> &payload) const
    {
        for (const SimWireEvent &request : wire->requests())
            if (request.function == Function::Write && request.payload == payload)
                return request.received;
        return std::nullopt;
    }
};

} // namespace

TEST_F(StopTest, EscInAToolWindowStopsAtOnceWhileAnAnswerIsLost)
{
    // Every window but the modal "Saving..." box carries the STOP (Esc there
    // closes the box as usual); disabled while disconnected.
    QAction *stop = main.context().driverStopAction();
    for (QWidget *window : windows.all())
        if (window != &windows.time()) {
            EXPECT_TRUE(window->actions().contains(stop)) << window->objectName().toStdString();
        }
    EXPECT_FALSE(windows.time().actions().contains(stop));
    EXPECT_EQ(stop->shortcut(), QKeySequence(Qt::Key_Escape));
    QPushButton *button = get<QPushButton>("BDriverStop");
    EXPECT_EQ(button->text(), QStringLiteral("STOP"));
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(stop->isEnabled());

    open(85);
    EXPECT_TRUE(button->isEnabled());
    get<QRadioButton>("RBSpePID")->click();
    enter("ETimerAutoChange", QStringLiteral("100000"));
    get<QRadioButton>("RBAutoChangeStep")->click();
    main.refreshPanel()->refreshTrack()->setValue(1); // RefreshRatio 2
    if (!main.pollingCheckBox()->isChecked())
        main.pollingCheckBox()->click();

    // Each lost answer now holds the sender for the full 3 s.
    TFormParamIP &paramIP = windows.paramIP();
    paramIP.connection().setAnswerTimeoutFloorMs(QLMCThreadSendPacket::AnswerTimeoutMs);
    waitFor([] { return false; }, 100);
    server->faults().setDrop(SimFaultRate::always());
    ASSERT_TRUE(waitFor([&] { return paramIP.connection().sender().awaitingAnswer(); }));
    waitFor([] { return false; }, 100);
    wire->clear();

    TFormLimits &limits = windows.limits();
    limits.show();
    QApplication::setActiveWindow(&limits);
    // Esc while typing in one of its edits.
    QLineEdit *edit = limits.findChild<QLineEdit *>();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    const auto pressed = SteadyClock::now();
    QTest::keyClick(edit, Qt::Key_Escape);
    std::optional<SteadyClock::time_point> stopped;
    ASSERT_TRUE(waitFor([&] { return (stopped = written({0x20, 0x00})).has_value(); }, 2500));
    EXPECT_LT(*stopped - pressed, std::chrono::milliseconds(1000));
    EXPECT_TRUE(limits.isVisible()); // Esc stops; it does not close the window
    EXPECT_EQ(checkedMode(), QStringLiteral("RBDrvStop"));
    EXPECT_TRUE(get<QRadioButton>("RBAutoChangeNo")->isChecked());
    EXPECT_EQ(main.context().consignModel().autoChange(), AutoChange::No);
    EXPECT_TRUE(main.context().inputTimer().isSuspended());
    EXPECT_EQ(wireWrites(Reg::Input), std::vector<int64_t>{}); // no consign after it

    // The main window's button takes the same path.
    wire->clear();
    button->click();
    EXPECT_TRUE(waitFor([&] { return written({0x20, 0x00}).has_value(); }, 2500));
    limits.close();
}

TEST_F(ModesTest, SpaceTogglesRefreshAndNeverPressesTheFocusedButton)
{
    switchConnected();
    QCheckBox *refresh = get<QCheckBox>("CBReadData");
    const bool polling = refresh->isChecked();
    enter("ECons", QStringLiteral("100"));
    ASSERT_EQ(takeWrite(Reg::Input), 100);

    // "GO" keeps the focus after its click; the consign is edited meanwhile.
    QPushButton *go = get<QPushButton>("BSendCons");
    go->setFocus();
    get<QLineEdit>("ECons")->setText(QStringLiteral("3000"));
    ASSERT_TRUE(go->hasFocus());
    QTest::keyClick(go, Qt::Key_Space);
    EXPECT_EQ(takeWrite(Reg::Input), std::nullopt);
    EXPECT_NE(refresh->isChecked(), polling);
    EXPECT_EQ(session.PollingEnabled.load(), refresh->isChecked());

    // The same on other buttons of the window and on the track bar.
    for (const char *name : {"BReadInput", "BResetPos", "RBOpenLoop", "TBCons"}) {
        clearRequests();
        auto *control = get<QWidget>(name);
        control->setFocus();
        const bool before = refresh->isChecked();
        QTest::keyClick(control, Qt::Key_Space);
        EXPECT_NE(refresh->isChecked(), before) << name;
        EXPECT_EQ(takeWrite(Reg::Input), std::nullopt) << name;
        EXPECT_EQ(takeWrite(Reg::Position), std::nullopt) << name;
        EXPECT_EQ(takeWrite(Reg::RegulationMode), std::nullopt) << name;
        EXPECT_FALSE(readRequested(Reg::Input)) << name;
    }

    // In a text edit the space is typed.
    QLineEdit *cons = get<QLineEdit>("ECons");
    cons->setFocus();
    const bool before = refresh->isChecked();
    QTest::keyClick(cons, Qt::Key_Space);
    EXPECT_EQ(refresh->isChecked(), before);
    EXPECT_EQ(cons->text(), QStringLiteral("3000 "));
}
