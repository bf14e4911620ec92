// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The warning, I/O, homing and auto-tuning windows on the virtual controller
// (NETEC-A, in-process on a loopback address): what they put on the wire and
// what they show, the mended faults, and their screenshots when
// TARVINE_FEATURE_SCREENSHOTS names a folder.
#include "MessageBoxRecorder.h"
#include "BuiltInVirtual.h"
#include "UiTestSupport.h"
#include "integration/SimFixture.h"
#include "support/Bytes.h"

#include <qcustomplot.h>

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "features/StepComparison.h"
#include "features/AutoTuningWizard.h"
#include "link/QLMCConnection.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/features/AutoTuningResultView.h"
#include "ui/features/TFormAutoTuning.h"
#include "ui/features/TFormCalibration.h"
#include "ui/features/TFormIOState.h"
#include "ui/features/TFormRegWarning.h"
#include "ui/widgets/VirtualController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <cstdlib>

using uitest::child;
using uitest::local;
using uitest::waitFor;

namespace {

class FeatureWindows : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormMain &main = windows.main();
    testsupport::WireRecorder wire;
    uitest::BuiltInVirtual virtualController{windows};

    void connectTo(SimAutoTuneOutcome outcome = SimAutoTuneOutcome::Success)
    {
        ASSERT_TRUE(virtualController.connect(&wire, outcome));
    }
    void TearDown() override { virtualController.close(); }
    SimController &sim() { return virtualController.sim(); }
    /// True once a write request carrying \a entry (hex) reached the device.
    bool written(const std::string &entry, int timeoutMs = 3000)
    {
        return waitFor(
            [&] {
                for (const SimWireEvent &e : wire.requests())
                    if (e.function == 0x22
                        && testsupport::hexText(e.payload).find(entry) != std::string::npos)
                        return true;
                return false;
            },
            timeoutMs);
    }
    bool readOf(int address)
    {
        for (const SimWireEvent &e : wire.requests())
            if (e.function == 0x21)
                for (uint8_t b : e.payload)
                    if (b == address)
                        return true;
        return false;
    }
    static void shoot(QWidget &window, const char *name)
    {
        if (const char *dir = std::getenv("TARVINE_FEATURE_SCREENSHOTS")) {
            EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/')
                                           + QLatin1String(name)));
        }
    }
    /// Write requests that carried \a address.
    size_t writesOf(int address)
    {
        size_t count = 0;
        for (const SimWireEvent &e : wire.requests())
            if (e.function == 0x22 && !e.payload.empty() && e.payload[0] == address)
                ++count;
        return count;
    }
    void QSessionWrite(int address, int64_t value)
    {
        QLMCSession &session = main.context().session();
        RegisterLockGuard guard(session.lock());
        session.motor().RequestWrite(address, value);
    }
    QPlainTextEdit *memo(TFormAutoTuning &w) { return child<QPlainTextEdit>(w, "MemoAutoTuning"); }
    /// Opens the wizard and walks to step 4 with 1.5 A and 12.0 V.
    TFormAutoTuning &wizardOnStart()
    {
        child<QAction>(main, "MenuAutotuning")->trigger();
        TFormAutoTuning &w = windows.autoTuning();
        QPushButton *next = child<QPushButton>(w, "BNext");
        next->click();
        next->click();
        QLineEdit *current = child<QLineEdit>(w, "ECurrentMax");
        // The page's controls sit at its top, not under an empty page.
        EXPECT_LT(current->y(), child<QGroupBox>(w, "GBStep2")->height() / 3);
        current->selectAll();
        QTest::keyClicks(current, local(QStringLiteral("1.5")));
        next->click();
        QCheckBox *active = child<QCheckBox>(w, "CBOutVoltageMax");
        if (!active->isChecked())
            active->click();
        child<QSlider>(w, "TBOutVoltageMax")->setValue(120);
        next->click();
        EXPECT_EQ(w.wizard().step(), AutoTuningWizard::StartStep);
        return w;
    }
};

} // namespace

TEST_F(FeatureWindows, WarningPolledWhileShownAndCleared)
{
    connectTo();
    sim().setForcedWarnings(1u << 16); // "Limit 2" present, then latched
    child<QAction>(main, "MenuWarning")->trigger();
    TFormRegWarning &w = windows.regWarning();
    QCheckBox *latched = child<QCheckBox>(w, "CBBit17");
    EXPECT_FALSE(latched->isEnabled());
    ASSERT_TRUE(waitFor([&] { return latched->isChecked(); }, 3000));
    EXPECT_TRUE(child<QCheckBox>(w, "CBBit16")->isChecked());
    EXPECT_TRUE(latched->toolTip().startsWith(QStringLiteral("First seen")));
    // Read-only, yet plain to see: a dark tick on a tinted box, a bold caption.
    QLabel *caption = child<QLabel>(w, "LBit16");
    EXPECT_TRUE(caption->font().bold());
    EXPECT_EQ(latched->palette().color(QPalette::Disabled, QPalette::Text), QColor(Qt::black));
    EXPECT_NE(latched->palette().color(QPalette::Disabled, QPalette::Base),
              child<QCheckBox>(w, "CBBit19")->palette().color(QPalette::Disabled, QPalette::Base));
    EXPECT_NE(child<QGroupBox>(w, "GBWarning")->title(), WarningRegister::initialGroupTitle());
    EXPECT_TRUE(readOf(0x08));
    shoot(w, "warning-window.png");

    sim().setForcedWarnings(0);
    child<QPushButton>(w, "ClearB")->click();
    EXPECT_TRUE(written("08 00 00 00 00"));
    EXPECT_TRUE(waitFor([&] { return !latched->isChecked(); }, 3000));
    EXPECT_FALSE(caption->font().bold());

    w.hide();
    EXPECT_FALSE(main.context().session().WarningWindowVisible.load());
    QTest::qWait(200);
    wire.clear();
    QTest::qWait(400);
    EXPECT_FALSE(readOf(0x08));
}

TEST_F(FeatureWindows, IOLinesChosenByTheUserOnly)
{
    connectTo();
    sim().setInputLevel(2, true);
    child<QAction>(main, "MenuIOstate")->trigger();
    TFormIOState &w = windows.ioState();
    QComboBox *line1 = child<QComboBox>(w, "CBIOConfig1");
    QLabel *state1 = child<QLabel>(w, "LIOState1");
    QLabel *state2 = child<QLabel>(w, "LIOState2");
    EXPECT_TRUE(waitFor([&] { return state2->text() == QStringLiteral("1"); }, 3000));
    EXPECT_TRUE(readOf(0x55));
    // Two quick choices compose: line 1 "1 - Out 1 (5V)", then line 2 "7".
    line1->activated(1);
    child<QComboBox>(w, "CBIOConfig2")->activated(7);
    EXPECT_TRUE(written("55 00 71"));
    EXPECT_TRUE(waitFor([&] { return state1->text() == QStringLiteral("1"); }, 3000));
    // A selection made by code writes nothing.
    wire.clear();
    line1->setCurrentIndex(2);
    QTest::qWait(300);
    EXPECT_FALSE(written("55 00", 100));
    shoot(w, "io-state-window.png");
}

TEST_F(FeatureWindows, HomesOnLimitOneMinus)
{
    connectTo();
    sim().setLimitSwitchPositions(-2000, 30000);
    child<QAction>(main, "MenuHoming")->trigger();
    TFormCalibration &w = windows.calibration();
    QComboBox *type = child<QComboBox>(w, "ComboBHomingType");
    ASSERT_TRUE(waitFor([&] { return type->currentIndex() >= 0; }, 3000));
    // A type the model lists as "-": the window says why and nothing goes out.
    QLabel *refused = child<QLabel>(w, "LWriteRefused");
    type->setCurrentIndex(14);
    wire.clear();
    child<QPushButton>(w, "BWriteValueSet")->click();
    EXPECT_TRUE(refused->text().startsWith(QStringLiteral("Not sent: 0x48 Homing option: homing "
                                                          "type 14 is not offered on")))
        << refused->text().toStdString();
    QTest::qWait(200);
    for (const SimWireEvent &e : wire.requests())
        EXPECT_NE(e.function, 0x22) << testsupport::hexText(e.payload);
    type->setCurrentIndex(8);
    EXPECT_EQ(type->currentText(), QStringLiteral("Limit 1 -"));
    for (const char *name : {"ComboBCurrentMaxRatio", "ComboBSpeedMaxRatio",
                             "ComboBAccelerationRatio", "ComboBTimeMax"})
        child<QComboBox>(w, name)->setCurrentIndex(11); // 100 %
    QLineEdit *position = child<QLineEdit>(w, "EPosition");
    QPushButton *write = child<QPushButton>(w, "BWriteValueSet");
    position->setText(QStringLiteral("2147483648"));
    EXPECT_FALSE(write->isEnabled());
    position->setText(QStringLiteral("-2147483648"));
    EXPECT_TRUE(write->isEnabled());
    position->setText(QStringLiteral("500"));
    child<QLineEdit>(w, "EInput")->setText(QStringLiteral("700"));
    write->click();
    EXPECT_TRUE(written("48 00 BB BB 08 4B 00 00 01 F4 4C 00 00 02 BC"));
    EXPECT_TRUE(refused->text().isEmpty());
    child<QPushButton>(w, "BStart")->click();
    ASSERT_TRUE(written("49"));
    // Home found on limit 1 (position 500 there), then the motor goes to the input 700.
    EXPECT_TRUE(waitFor(
        [&] {
            RegisterLockGuard guard(main.context().session().lock());
            return std::abs(main.context().session().motor().LastPosition - 700) < 30;
        },
        15000));
    shoot(w, "homing-window.png");
}

TEST_F(FeatureWindows, SuccessfulRunShowsTheNewGains)
{
    connectTo();
    TFormAutoTuning &w = wizardOnStart();
    EXPECT_TRUE(written("2A 00 01 80 00"));
    EXPECT_TRUE(written("2E 00 0C 00 00"));
    QPushButton *pred = child<QPushButton>(w, "BStartPIDPred");
    ASSERT_TRUE(pred->isEnabled());
    pred->click();
    EXPECT_EQ(pred->text(), QStringLiteral("Abort"));
    EXPECT_FALSE(child<QPushButton>(w, "BBack")->isEnabled());
    // Reopening mid-run keeps step 4 and "Abort".
    w.hide();
    w.show();
    EXPECT_EQ(w.wizard().step(), AutoTuningWizard::StartStep);
    EXPECT_EQ(pred->text(), QStringLiteral("Abort"));
    ASSERT_TRUE(waitFor([&] { return w.wizard().step() == AutoTuningWizard::ResultStep; }, 15000));
    EXPECT_EQ(memo(w)->toPlainText(), QStringLiteral("Auto-tuning finished correctly."));
    QTableWidget *changes = child<QTableWidget>(w, "TVAutoTuningChanges");
    auto kpRow = [&]() -> int {
        for (int r = 0; r < changes->rowCount(); ++r)
            if (changes->item(r, 0)->text().startsWith(QStringLiteral("0x33")))
                return r;
        return -1;
    };
    ASSERT_TRUE(waitFor(
        [&] {
            return kpRow() >= 0
                   && changes->item(kpRow(), 2)->text() == local(QStringLiteral("1.25000"));
        },
        5000));
    EXPECT_TRUE(changes->item(kpRow(), 0)->font().bold());
    QCustomPlot *plot = w.resultView()->plot();
    EXPECT_GT(plot->graph(0)->dataCount(), 10);
    QTest::qWait(300);
    shoot(w, "autotuning-success.png");
    // The legend keeps off the traces; the command axis has its unit.
    EXPECT_FALSE(plot->axisRect()->rect().intersects(plot->legend->outerRect()));
    EXPECT_EQ(plot->yAxis->label(), QStringLiteral("Command [%]"));
    // Back: step 4, "Start PID only" enabled again.
    child<QPushButton>(w, "BBack")->click();
    EXPECT_TRUE(child<QPushButton>(w, "BStartPIDOnly")->isEnabled());
    EXPECT_EQ(pred->text(), QStringLiteral("Start PID + Predictive"));
}

TEST_F(FeatureWindows, MeasureStepComparesTheGainsOnClickOnlyAndStopsOnEsc)
{
    connectTo();
    TFormAutoTuning &w = wizardOnStart();
    QPushButton *pid = child<QPushButton>(w, "BStartPIDOnly");
    pid->setFocus();
    pid->click();
    // The run's response is drawn while it goes, without taking the focus.
    ASSERT_TRUE(waitFor([&] { return w.livePlot()->graph(0)->dataCount() > 5; }, 5000));
    EXPECT_EQ(QApplication::focusWidget(), pid);
    ASSERT_TRUE(waitFor([&] { return w.wizard().step() == AutoTuningWizard::ResultStep; }, 15000));
    QPushButton *measure = child<QPushButton>(w, "BMeasureStep");
    ASSERT_TRUE(waitFor([&] { return measure->isEnabled(); }, 3000));
    QSessionWrite(Reg::RegulationMode, 5); // position trajectory
    QTest::qWait(500);
    // Nothing moves before the click.
    EXPECT_FALSE(w.stepComparison()->running());
    const size_t consignWrites = writesOf(Reg::Input);

    child<QSpinBox>(w, "SEStepSize")->setValue(2000);
    measure->click();
    EXPECT_FALSE(measure->isEnabled());
    ASSERT_TRUE(waitFor([&] { return !w.stepComparison()->running(); }, 15000));
    QTableWidget *figures = child<QTableWidget>(w, "TVStepFigures");
    EXPECT_EQ(child<QLabel>(w, "LMeasureStep")->text(),
              QStringLiteral("Measured with the previous and the new gains"));
    // The previous gains may not move the motor at all; the new ones do.
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < 4; ++row) {
            ASSERT_TRUE(figures->item(row, column)) << row << column;
            EXPECT_FALSE(figures->item(row, column)->text().isEmpty()) << row << column;
        }
        const QString settling = figures->item(2, column)->text();
        EXPECT_TRUE(settling.endsWith(QStringLiteral(" s"))
                    || settling == QStringLiteral("does not settle"));
    }
    EXPECT_TRUE(figures->item(0, 1)->text().endsWith(QStringLiteral(" s")));
    EXPECT_EQ(writesOf(Reg::Input), consignWrites + 4); // out and back, twice
    EXPECT_TRUE(measure->isEnabled());
    QTest::qWait(300);
    shoot(w, "autotuning-measure-step.png");

    // Esc stops it: no further consign, the run's gains back in force.
    measure->click();
    ASSERT_TRUE(waitFor(
        [&] {
            return child<QLabel>(w, "LMeasureStep")->text()
                   == QStringLiteral("Step with the previous gains...");
        },
        5000));
    ASSERT_TRUE(waitFor([&] { return writesOf(Reg::Input) == consignWrites + 5; }, 3000));
    QApplication::setActiveWindow(&w);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.stepComparison()->running());
    EXPECT_EQ(child<QLabel>(w, "LMeasureStep")->text(),
              QStringLiteral("Step measurement stopped"));
    QTest::qWait(1500);
    EXPECT_EQ(writesOf(Reg::Input), consignWrites + 5);
    ASSERT_TRUE(waitFor(
        [&] {
            RegisterLockGuard guard(main.context().session().lock());
            return main.context().session().Received.Kp == 1.25;
        },
        3000));
}

TEST_F(FeatureWindows, OscillationShowsItsLinesAndResets)
{
    connectTo(SimAutoTuneOutcome::Oscillation);
    TFormAutoTuning &w = wizardOnStart();
    child<QPushButton>(w, "BStartPIDOnly")->click();
    ASSERT_TRUE(written("39 01"));
    ASSERT_TRUE(waitFor([&] { return w.wizard().step() == AutoTuningWizard::ResultStep; }, 15000));
    EXPECT_EQ(memo(w)->toPlainText(),
              QStringLiteral("Error - Oscillation measured\nEC motor - Hall sensors detected\n"
                             "=> swap Hall sensors lines"));
    EXPECT_TRUE(written("39 00"));
    QTest::qWait(500);
    shoot(w, "autotuning-oscillation.png");
    // The predictive button stays off after a PID-only run.
    child<QPushButton>(w, "BBack")->click();
    EXPECT_FALSE(child<QPushButton>(w, "BStartPIDPred")->isEnabled());
}

TEST_F(FeatureWindows, PredictiveAbortThenReset)
{
    connectTo();
    TFormAutoTuning &w = wizardOnStart();
    QPushButton *pred = child<QPushButton>(w, "BStartPIDPred");
    pred->click();
    ASSERT_TRUE(written("39 11"));
    ASSERT_TRUE(waitFor(
        [&] { return child<QLabel>(w, "LRunning")->text() == QStringLiteral("Running..."); },
        3000));
    ASSERT_EQ(pred->text(), QStringLiteral("Abort"));
    ASSERT_TRUE(pred->isEnabled());
    pred->click();
    EXPECT_TRUE(written("39 12"));
    ASSERT_TRUE(waitFor([&] { return w.wizard().step() == AutoTuningWizard::ResultStep; }, 5000));
    EXPECT_EQ(memo(w)->toPlainText(), QStringLiteral("Error - Auto-tuning aborted."));
    EXPECT_TRUE(written("39 00"));
}

TEST_F(FeatureWindows, ClosingTheConnectionAbortsTheRun)
{
    connectTo();
    TFormAutoTuning &w = wizardOnStart();
    child<QPushButton>(w, "BStartPIDOnly")->click();
    ASSERT_TRUE(written("39 01"));
    main.closeCommunication();
    ASSERT_TRUE(waitFor([&] { return !main.context().connectedControls().isConnected(); }, 3000));
    EXPECT_FALSE(w.wizard().running());
    EXPECT_EQ(w.wizard().step(), AutoTuningWizard::ResultStep);
    EXPECT_EQ(memo(w)->toPlainText(), AutoTuningWizard::connectionClosedLine());
    EXPECT_EQ(child<QTableWidget>(w, "TVAutoTuningChanges")->rowCount(), 0);
    EXPECT_FALSE(main.context().session().AutoTuningActive.load());
    QPushButton *back = child<QPushButton>(w, "BBack");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(w.wizard().step(), AutoTuningWizard::StartStep);
    EXPECT_EQ(child<QLabel>(w, "LRunning")->text(), QStringLiteral("----------"));
    EXPECT_FALSE(child<QPushButton>(w, "BStartPIDOnly")->isEnabled());
}
