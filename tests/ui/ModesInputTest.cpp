// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The regulation-mode buttons, the input group with its auto-change thread,
// the device command buttons, the saving window, the loop-time menu and the
// main menu commands that read registers: against the register image with the
// controls switched as if connected, and on the wire of the virtual controller.
#include "ModesFixture.h"

TEST_F(ModesTest, ModeClickWritesTheModeAndAdaptsInputGroupTitlesAndAxis)
{
    switchConnected();
    {
        RegisterLockGuard guard(session.lock());
        session.Received.SpeedMax = 2000;
    }
    QGroupBox *input = get<QGroupBox>("GBInput");
    EXPECT_EQ(input->title(), QStringLiteral("0x21-Input (PWM Consign)"));
    EXPECT_FALSE(get<QRadioButton>("RBStandBy")->isEnabled());

    get<QRadioButton>("RBSpePID")->click();
    EXPECT_EQ(takeWrite(Reg::RegulationMode), 4);
    EXPECT_FALSE(session.ModeSync.load());
    EXPECT_EQ(input->title(), QStringLiteral("0x21-Input (Speed Consign [p/s])"));
    EXPECT_EQ(get<QLineEdit>("ETBConsMin")->text(), QStringLiteral("-2000"));
    EXPECT_EQ(get<QLineEdit>("ETBConsMax")->text(), QStringLiteral("2000"));
    EXPECT_EQ(redTitles, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(automaticAxis, 1);

    // An edited range is kept for its mode.
    enter("ETBConsMax", QStringLiteral("1500"));
    get<QRadioButton>("RBOpenLoop")->click();
    EXPECT_EQ(get<QLineEdit>("ETBConsMin")->text(), QStringLiteral("-65536"));
    EXPECT_TRUE(redTitles.isEmpty());
    get<QRadioButton>("RBSpePID")->click();
    EXPECT_EQ(get<QLineEdit>("ETBConsMin")->text(), QStringLiteral("-2000"));
    EXPECT_EQ(get<QLineEdit>("ETBConsMax")->text(), QStringLiteral("1500"));
    EXPECT_TRUE(axisEnds.empty()); // speed traj. leaves the position axis alone

    // Position traj. before the input limits were read: 0 .. 0, axis fixed to it.
    get<QRadioButton>("RBTraj")->click();
    EXPECT_EQ(takeWrite(Reg::RegulationMode), 5);
    EXPECT_EQ(input->title(), QStringLiteral("0x21-Input (Position Consign [p])"));
    EXPECT_EQ(redTitles.size(), 13);
    ASSERT_TRUE(fixedAxis);
    EXPECT_EQ(fixedAxis->minimum, 0);
    EXPECT_EQ(fixedAxis->maximum, 0);
    EXPECT_EQ(main.context().consignModel().checkedMode(), RegulationMode::PositionTraj);

    // A confirmed range end moves the position axis end in this mode.
    enter("ETBConsMax", QStringLiteral("400"));
    ASSERT_EQ(axisEnds.size(), 1u);
    EXPECT_EQ(std::get<0>(axisEnds[0]), false);
    EXPECT_EQ(std::get<1>(axisEnds[0]), 400);
    EXPECT_EQ(std::get<2>(axisEnds[0]), 400);
}

// What the wavelength remote asks of the mode group: an enabled click of the
// mode's button; a disabled or ticked button does nothing.
TEST_F(ModesTest, SelectModeIsAnEnabledClickOfTheButton)
{
    RegulationModePanel *modes = main.context().panels().regulationMode;
    ASSERT_NE(modes, nullptr);
    modes->selectMode(RegulationMode::DriverOpen);
    EXPECT_FALSE(get<QRadioButton>("RBDrvOpen")->isChecked());
    EXPECT_EQ(takeWrite(Reg::RegulationMode), std::nullopt);

    switchConnected();
    modes->selectMode(RegulationMode::DriverOpen);
    EXPECT_TRUE(get<QRadioButton>("RBDrvOpen")->isChecked());
    EXPECT_EQ(takeWrite(Reg::RegulationMode), 1);
    EXPECT_EQ(main.context().consignModel().checkedMode(), RegulationMode::DriverOpen);
    modes->selectMode(RegulationMode::DriverOpen);
    EXPECT_EQ(takeWrite(Reg::RegulationMode), std::nullopt);

    modes->selectMode(RegulationMode::PositionTraj);
    EXPECT_EQ(takeWrite(Reg::RegulationMode), 5);
    EXPECT_EQ(get<QGroupBox>("GBInput")->title(),
              QStringLiteral("0x21-Input (Position Consign [p])"));
    EXPECT_TRUE(fixedAxis.has_value());
}

TEST_F(ModesTest, ReceivedModesMoveTheButtonsWithoutWriting)
{
    switchConnected();
    get<QRadioButton>("RBOpenLoop")->click();
    ASSERT_EQ(takeWrite(Reg::RegulationMode), 2);

    // The first answer after the click may carry the old mode: not shown.
    answerByte(Reg::RegulationMode, 5);
    EXPECT_EQ(checkedMode(), QStringLiteral("RBOpenLoop"));
    answerByte(Reg::RegulationMode, 5);
    EXPECT_EQ(checkedMode(), QStringLiteral("RBTraj"));
    EXPECT_TRUE(get<QRadioButton>("RBTraj")->isEnabled());
    EXPECT_EQ(get<QGroupBox>("GBInput")->title(),
              QStringLiteral("0x21-Input (Position Consign [p])"));
    EXPECT_EQ(takeWrite(Reg::RegulationMode), std::nullopt);
    // Checking the button ran its click behaviour, which skips the next answer too.
    EXPECT_FALSE(session.ModeSync.load());

    answerByte(Reg::RegulationMode, 5);
    answerByte(Reg::RegulationMode, 7);
    EXPECT_TRUE(session.ModeSync.load());
    EXPECT_EQ(checkedMode(), QStringLiteral("RBTraj"));

    // Standby is shown but keeps its disabled state (the model does not offer it).
    answerByte(Reg::RegulationMode, 6);
    EXPECT_EQ(checkedMode(), QStringLiteral("RBStandBy"));
    EXPECT_FALSE(get<QRadioButton>("RBStandBy")->isEnabled());
    EXPECT_EQ(takeWrite(Reg::RegulationMode), std::nullopt);
}

TEST_F(ModesTest, ConsignEditsTrackBarAndRangeEdits)
{
    switchConnected();
    enter("ECons", QStringLiteral("-250"));
    EXPECT_EQ(takeWrite(Reg::Input), -250);
    EXPECT_EQ(main.context().consignModel().consignValue(), -250);

    QLineEdit *cons1 = get<QLineEdit>("ECons1");
    cons1->setText(QStringLiteral("2147483648"));
    EXPECT_TRUE(isEditMarkedInvalid(cons1));
    EXPECT_FALSE(get<QPushButton>("BSendCons1")->isEnabled());
    QTest::keyClick(cons1, Qt::Key_Return);
    EXPECT_EQ(takeWrite(Reg::Input), std::nullopt);
    cons1->setText(QStringLiteral("-2147483648"));
    EXPECT_FALSE(isEditMarkedInvalid(cons1));
    get<QLineEdit>("ECons2")->setText(QStringLiteral("77"));
    get<QPushButton>("BSendCons2")->click(); // GO2 is Enter in ECons2
    EXPECT_EQ(takeWrite(Reg::Input), 77);

    // The track bar maps its position onto 0 .. 1000, its right end onto Max.
    QSlider *track = get<QSlider>("TBCons");
    track->setValue(1000);
    EXPECT_EQ(takeWrite(Reg::Input), 1000);
    EXPECT_EQ(get<QLineEdit>("ECons")->text(), QStringLiteral("1000"));
    QCheckBox *active = get<QCheckBox>("CBActiveTBCons");
    active->click();
    track->setValue(0);
    EXPECT_EQ(get<QLineEdit>("ECons")->text(), QStringLiteral("0"));
    EXPECT_EQ(takeWrite(Reg::Input), std::nullopt);
    active->click();
    EXPECT_EQ(takeWrite(Reg::Input), 0);

    // A minimum above the maximum is red and ignored; leaving resets the text.
    QLineEdit *minimum = get<QLineEdit>("ETBConsMin");
    enter("ETBConsMin", QStringLiteral("2000"));
    EXPECT_TRUE(isEditMarkedInvalid(minimum));
    EXPECT_EQ(main.context().consignModel().consignMin(), 0);
    get<QLineEdit>("ECons")->setFocus();
    EXPECT_EQ(minimum->text(), QStringLiteral("0"));
    EXPECT_FALSE(isEditMarkedInvalid(minimum));

    // "Read": the next Input value goes to ECons, once.
    get<QPushButton>("BReadInput")->click();
    EXPECT_TRUE(readRequested(Reg::Input));
    {
        RegisterLockGuard guard(session.lock());
        session.Received.Input = 1234;
        session.Flags.raise(ValueFlag::Input);
    }
    main.runDisplay();
    EXPECT_EQ(get<QLineEdit>("ECons")->text(), QStringLiteral("1234"));
    {
        RegisterLockGuard guard(session.lock());
        session.Received.Input = 99;
        session.Flags.raise(ValueFlag::Input);
    }
    main.runDisplay();
    EXPECT_EQ(get<QLineEdit>("ECons")->text(), QStringLiteral("1234"));
}

TEST_F(ModesTest, StepAndTimerEditsAndAutoChangeOff)
{
    switchConnected();
    QLineEdit *timer = get<QLineEdit>("ETimerAutoChange");
    timer->setText(QStringLiteral("9"));
    EXPECT_TRUE(isEditMarkedInvalid(timer));
    enter("ETimerAutoChange", QStringLiteral("25"));
    EXPECT_EQ(main.context().inputTimer().periodMs(), 25);
    EXPECT_TRUE(main.context().inputTimer().isSuspended());

    enter("EAutoChangeStep", QStringLiteral("1.5"));
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("'1.5' is not a valid integer value"));
    EXPECT_EQ(main.context().consignModel().autoStep(), 100);
    timer->setFocus();
    EXPECT_EQ(get<QLineEdit>("EAutoChangeStep")->text(), QStringLiteral("100"));

    get<QRadioButton>("RBAutoChangeMinMax")->click();
    EXPECT_FALSE(main.context().inputTimer().isSuspended());
    // Opening the homing window switches the auto change off first.
    child<QAction>(main, "MenuHoming")->trigger();
    EXPECT_TRUE(get<QRadioButton>("RBAutoChangeNo")->isChecked());
    EXPECT_TRUE(main.context().inputTimer().isSuspended());
    EXPECT_TRUE(readRequested(Reg::HomingOption));
    EXPECT_TRUE(readRequested(Reg::HomingPosition));
    EXPECT_TRUE(readRequested(Reg::HomingInput));
    EXPECT_TRUE(readRequested(Reg::HomingStartInput));
}

TEST_F(ModesTest, EmptyRangeStepPutsTheTrackBarAtItsMinimum)
{
    switchConnected();
    get<QRadioButton>("RBTraj")->click(); // input limits not read: 0 .. 0
    ASSERT_EQ(main.context().consignModel().consignMax(), 0);
    enter("ETimerAutoChange", QStringLiteral("10"));
    get<QRadioButton>("RBAutoChangeStep")->click();
    const uint64_t start = main.context().inputTimer().ticks();
    ASSERT_TRUE(waitFor([&] { return main.context().inputTimer().ticks() >= start + 3; }, 2000));
    QSlider *track = get<QSlider>("TBCons");
    EXPECT_TRUE(waitFor([&] { return track->value() == 0; }, 1000));
    EXPECT_EQ(get<QLineEdit>("ECons")->text(), QStringLiteral("0"));
    EXPECT_EQ(takeWrite(Reg::Input), 0);

    // Min-Max over the empty range: the ends give 0 and 1. The windows are then
    // destroyed with the thread still running and updates queued.
    get<QRadioButton>("RBAutoChangeMinMax")->click();
    const uint64_t ticks = main.context().inputTimer().ticks();
    ASSERT_TRUE(waitFor([&] { return main.context().inputTimer().ticks() >= ticks + 3; }, 2000));
    QApplication::processEvents();
    const std::optional<int64_t> written = takeWrite(Reg::Input);
    ASSERT_TRUE(written);
    EXPECT_TRUE(*written == 0 || *written == 1) << *written;
}

TEST_F(ModesTest, CommandButtonsAndTheSavingWindow)
{
    switchConnected();
    TFormTime &time = windows.time();
    QLabel *label = time.label();
    QStringList texts;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (time.isVisible() && (texts.isEmpty() || texts.back() != label->text()))
            texts.append(label->text());
    });
    sampler.start(10);
    QElapsedTimer elapsed;
    elapsed.start();
    get<QPushButton>("BSaveParam")->click(); // returns when the window closed
    const qint64 shownMs = elapsed.elapsed();
    sampler.stop();
    EXPECT_EQ(takeWrite(Reg::SaveParams), 0);
    EXPECT_FALSE(time.isVisible());
    EXPECT_GE(shownMs, 900);
    EXPECT_LE(shownMs, 2500);
    EXPECT_EQ(texts, (QStringList{"Saving parameters", "Saving parameters.", "Saving parameters..",
                                  "Saving parameters..."}));

    // A plain show keeps the last text.
    time.show();
    EXPECT_EQ(label->text(), QStringLiteral("Saving parameters..."));
    EXPECT_NEAR(time.frameGeometry().center().x(), main.frameGeometry().center().x(), 2);
    EXPECT_NEAR(time.frameGeometry().center().y(), main.frameGeometry().center().y(), 2);
    time.close();

    elapsed.restart();
    time.ShowFor(0);
    EXPECT_GE(elapsed.elapsed(), 200);
    EXPECT_LE(elapsed.elapsed(), 1000);

    get<QPushButton>("BRestoreFactoryParam")->click();
    EXPECT_EQ(takeWrite(Reg::RestoreFactoryParams), 0);
    EXPECT_TRUE(session.RestorePending.load());
    get<QPushButton>("BResetDevice")->click();
    EXPECT_EQ(takeWrite(Reg::ResetProc), 0);
}

TEST_F(ModesTest, MenusReadTheirRegistersAndLoopTimeShowsTheAnswer)
{
    RecordingCommandRunner runner;
    main.setCommandRunner(&runner);
    clearRequests();

    child<QAction>(main, "MenuOptions")->trigger();
    for (int address : {Reg::Options, Reg::InputMax, Reg::InputMin, Reg::CurrentMax,
                        Reg::MaxOutputVoltage, Reg::DissipationVoltage, Reg::StandbyTimer})
        EXPECT_TRUE(readRequested(address)) << address;
    clearRequests();
    child<QAction>(main, "MenuLimits")->trigger();
    for (int address : {0x50, 0x51, 0x52, 0x53, 0x58, 0x59, 0x5A, 0x5B})
        EXPECT_TRUE(readRequested(address)) << address;
    clearRequests();
    child<QAction>(main, "MenuAutotuning")->setEnabled(true);
    child<QAction>(main, "MenuAutotuning")->trigger();
    EXPECT_TRUE(readRequested(Reg::CurrentMax));
    EXPECT_TRUE(readRequested(Reg::MaxOutputVoltage));

    // The loop-time title asks for 0x2D; its answer moves the check mark.
    emit child<QMenu>(main, "MenuLoopTime")->aboutToShow();
    EXPECT_TRUE(readRequested(Reg::LoopTimeOption));
    answerByte(Reg::LoopTimeOption, 3);
    EXPECT_TRUE(child<QAction>(main, "MenuLoopTime5ms")->isChecked());
    EXPECT_FALSE(child<QAction>(main, "MenuLoopTime50ms")->isChecked());
    answerByte(Reg::LoopTimeOption, 9);
    for (QAction *item : child<QMenu>(main, "MenuLoopTime")->actions())
        EXPECT_FALSE(item->isChecked()) << item->objectName().toStdString();

    EXPECT_FALSE(child<QAction>(main, "MenuFileSave")->isEnabled()); // until a connection opens

    child<QAction>(main, "MenuComResetARP")->trigger();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(boxes.boxes()[0].text,
              QStringLiteral("Reset ARP only works if application runs as administrator"));
    // No connection was opened yet: there is no address to flush, so nothing
    // runs (the flush on an opened address is tested with the network settings).
    EXPECT_TRUE(runner.commands().empty());
    main.setCommandRunner(nullptr);
}

// --- On the wire of the virtual controller ----------------------------------------------


TEST_F(ModesWireTest, MinMaxAlternatesTheEndsUntilNo)
{
    open(81);
    enter("ETimerAutoChange", QStringLiteral("100"));
    wire->clear();
    get<QRadioButton>("RBAutoChangeMinMax")->click();
    ASSERT_TRUE(waitFor([this] { return wireWrites(Reg::Input).size() >= 4; }, 3000));
    const std::vector<int64_t> written = wireWrites(Reg::Input);
    // Exactly the ends of 0..1000, never Max + 1.
    EXPECT_TRUE(containsRun(written, {1000, 0, 1000, 0})) << written.size();
    EXPECT_TRUE(std::all_of(written.begin(), written.end(),
                            [](int64_t value) { return value == 0 || value == 1000; }));

    get<QRadioButton>("RBAutoChangeNo")->click();
    waitFor([] { return false; }, 50); // a write already on its way leaves
    const size_t count = wireWrites(Reg::Input).size();
    waitFor([] { return false; }, 350);
    EXPECT_EQ(wireWrites(Reg::Input).size(), count);
}

TEST_F(ModesWireTest, StepWalksTheRangeOnTheWire)
{
    open(82);
    enter("ECons", QStringLiteral("0"));
    enter("EAutoChangeStep", QStringLiteral("300"));
    enter("ETimerAutoChange", QStringLiteral("40"));
    ASSERT_TRUE(waitFor([this] { return !wireWrites(Reg::Input).empty(); }));
    wire->clear();
    get<QRadioButton>("RBAutoChangeStep")->click();
    ASSERT_TRUE(waitFor([this] { return wireWrites(Reg::Input).size() >= 10; }, 4000));
    get<QRadioButton>("RBAutoChangeNo")->click();
    const std::vector<int64_t> written = wireWrites(Reg::Input);
    QStringList seen;
    for (int64_t value : written)
        seen.append(QString::number(value));
    EXPECT_TRUE(containsRun(written, {300, 600, 900, 1000, 700, 400, 100, 0, 300}))
        << seen.join(' ').toStdString();
}

TEST_F(ModesWireTest, RestoreReadsTheParametersBackAndLoopTimeWritesOverTcp)
{
    open(83);
    wire->clear();
    get<QPushButton>("BRestoreParam")->click();
    const auto readBack = [this] {
        const std::vector<int> reads = wireReads();
        for (int address :
             {0x33, 0x34, 0x35, 0x40, 0x41, 0x42, 0x43, 0x44, 0x36, 0x61, 0x62, 0x63, 0x64})
            if (std::find(reads.begin(), reads.end(), address) == reads.end())
                return false;
        return true;
    };
    EXPECT_TRUE(waitFor(readBack, 3000));
    EXPECT_FALSE(session.RestorePending.load());
    EXPECT_EQ(wireWrites(Reg::RestoreParams).size(), 1u);

    child<QAction>(main, "MenuLoopTime05ms")->trigger();
    EXPECT_TRUE(child<QAction>(main, "MenuLoopTime05ms")->isChecked());
    EXPECT_TRUE(waitFor([this] { return !wireWrites(Reg::LoopTimeOption).empty(); }));
    EXPECT_EQ(wireWrites(Reg::LoopTimeOption), (std::vector<int64_t>{6}));

    get<QRadioButton>("RBOpenLoop")->click();
    get<QRadioButton>("RBTraj")->click();
    enter("ECons", QStringLiteral("250"));
    EXPECT_TRUE(waitFor([this] { return containsRun(wireWrites(Reg::Input), {250}); }));
    // Both clicks fall between two write packets: the image sends the last mode.
    EXPECT_TRUE(waitFor([this] {
        const std::vector<int64_t> modes = wireWrites(Reg::RegulationMode);
        return !modes.empty() && modes.back() == 5;
    }));
    if (const char *path = std::getenv("TARVINE_MODES_SCREENSHOT")) {
        waitFor([] { return false; }, 1500);
        main.grab().save(QString::fromLocal8Bit(path));
        windows.time().show();
        windows.time().grab().save(QString::fromLocal8Bit(path) + QStringLiteral(".time.png"));
        windows.time().close();
    }
}

TEST_F(ModesWireTest, LoopTimeDoesNothingOverUdpAndSaveMenuIsReady)
{
    open(84, ComModes::Udp);
    wire->clear();
    QAction *item = child<QAction>(main, "MenuLoopTime05ms");
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    waitFor([] { return false; }, 100);
    EXPECT_TRUE(wireWrites(Reg::LoopTimeOption).empty());
    {
        RegisterLockGuard guard(session.lock());
        EXPECT_FALSE(session.motor().registerAt(Reg::LoopTimeOption)->WriteRequest);
    }

    child<QAction>(main, "MenuFileSave")->trigger();
    EXPECT_TRUE(child<QPushButton>(windows.file(), "BSave")->isEnabled());
    EXPECT_EQ(child<QLabel>(windows.file(), "LSaveStatusVal")->text(), QStringLiteral("Ready"));
}
