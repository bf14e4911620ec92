// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The "Enhanced cmd / Loops" window by objectName: captions, greyed labels,
// reads at show, the model profile, decoded answers, a "," locale, and the
// virtual motor obeying the window with polling on.
#include "ui/AppWindowsFixture.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "features/EnhancedCmdModel.h"
#include "features/EnhancedCommandCodec.h"
#include "link/QLMCConnection.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/features/EnhancedCmdWidgets.h"
#include "ui/features/TFormEnhancedCmd.h"
#include "ui/main/GraphsPanel.h"
#include "ui/widgets/ChartMarkers.h"
#include "ui/widgets/EditColour.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

using uitest::child;
using uitest::local;
using uitest::waitFor;
namespace Codec = EnhancedCommandCodec;

namespace {

class EnhancedWindow : public AppWindowsFixture
{
protected:
    TFormEnhancedCmd &form = windows.enhancedCmd();

    template<typename T>
    T *get(const char *name)
    {
        return child<T>(form, name);
    }
    void type(const char *edit, const QString &text)
    {
        QLineEdit *line = get<QLineEdit>(edit);
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Delete);
        QTest::keyClicks(line, text);
    }
    /// A direct read answer carrying \a address with \a bytes; waits for its display.
    void answer(int address, const std::vector<uint8_t> &bytes)
    {
        QLMCIPPacket packet;
        packet.Function = Function::ReadAnswer;
        packet.Data[0] = uint8_t(address);
        std::copy(bytes.begin(), bytes.end(), packet.Data.begin() + 1);
        packet.Length = int(bytes.size()) + 1;
        session.DataReceived(packet);
        QTimer *timer = address == Reg::EnhancedInput ? &form.timerDisplayEnhancedCmd()
                        : address == Reg::LoopsConfig ? &form.timerDisplayEnhancedRangeConfig()
                                                      : &form.timerDisplayEnhancedParam();
        waitFor([timer] { return timer->isActive(); }, 500);
        waitFor([timer] { return !timer->isActive(); }, 500);
    }
    /// The connection up, with \a writable access to 0x4D..0x4F as the
    /// identification grants it.
    void connectWithAccess(bool writable = true)
    {
        {
            RegisterLockGuard guard(session.lock());
            for (int a : {Reg::EnhancedInput, Reg::LoopsConfig, Reg::EnhancedParams})
                session.motor().setAccess(a, true, writable);
        }
        main.context().connectedControls().setConnected(true);
    }
    void save(const QString &name)
    {
        const QString dir = qEnvironmentVariable("TARVINE_SCREENSHOTS");
        if (!dir.isEmpty() && QDir(dir).exists())
            form.grab().save(dir + QLatin1Char('/') + name);
    }
};

} // namespace

TEST_F(EnhancedWindow, ShowingReadsTheThreeRegistersAndHidesTheWrittenValues)
{
    clearRequests();
    main.show();
    form.show();
    EXPECT_TRUE(readRequested(Reg::EnhancedInput));
    EXPECT_TRUE(readRequested(Reg::LoopsConfig));
    EXPECT_TRUE(readRequested(Reg::EnhancedParams));
    EXPECT_FALSE(get<QGroupBox>("GBECValuesWritten")->isVisible());
    EXPECT_EQ(form.pos(), main.pos() + ToolWindow::Offset);
    EXPECT_EQ(get<QRadioButton>("RBECOptionEnGoalInPulses")->text(), "EnGoal in pulses [B0 to B3]");
    EXPECT_EQ(get<QLabel>("LECCounterLoops2")->text(), "+               loops [-99 ; 99]");
    EXPECT_TRUE(get<QRadioButton>("RBECCounterLoops")->isChecked());
    EXPECT_FALSE(get<QCheckBox>("CBECOptionNoLoopsMode")->isEnabled());
    for (int code = 101; code <= 117; ++code) {
        const QByteArray name = "RBEC" + QByteArray::number(code);
        EXPECT_NE(form.findChild<QRadioButton *>(QLatin1String(name)), nullptr) << code;
    }
}

TEST_F(EnhancedWindow, AbsoluteModeGreysAndRewordsAndLabelsClickTheirButtons)
{
    main.applyIdentification(identifyDevice(0x00060004, 0x00070012)); // NETEC-A 7.18
    form.show();
    QCheckBox *absolute = get<QCheckBox>("CBECOptionNoLoopsMode");
    ASSERT_TRUE(absolute->isEnabled());
    absolute->click();
    EXPECT_TRUE(EnhancedCmdWidgets::isTextGreyed(get<QLabel>("LEC101")));
    EXPECT_TRUE(EnhancedCmdWidgets::isTextGreyed(get<QLabel>("LECCounterLoops1")));
    EXPECT_FALSE(EnhancedCmdWidgets::isTextGreyed(get<QLabel>("LEC110")));
    EXPECT_EQ(get<QLabel>("LEC110")->text(), "[S] Infinite positive movement with EnGoal as speed");
    EXPECT_TRUE(get<QLabel>("LEC101")->isEnabled()); // greyed, still clickable
    QTest::mouseClick(get<QLabel>("LEC101"), Qt::LeftButton);
    EXPECT_TRUE(get<QRadioButton>("RBEC101")->isChecked());
    EXPECT_FALSE(get<QLineEdit>("EECCounterLoops")->isEnabled());
    QTest::mouseClick(get<QLabel>("LEC112"), Qt::LeftButton);
    EXPECT_FALSE(get<QLineEdit>("EECEnhancedGoal")->isEnabled());
    EXPECT_EQ(get<QGroupBox>("GBEnhancedCmd")->title(),
              "0x4D-Enhanced cmd : [0x84 70 00 00 00 00]");
    absolute->click();
    EXPECT_EQ(get<QLabel>("LEC110")->text(), "[S] Infinite positive loops with EnGoal as speed");
    QTest::mouseClick(get<QLabel>("LECCounterLoops1"), Qt::LeftButton);
    EXPECT_TRUE(get<QRadioButton>("RBECCounterLoops")->isChecked());
    EXPECT_TRUE(get<QLineEdit>("EECCounterLoops")->isEnabled());

    // Typing: a red edit disables Write; the caption turns to "--".
    type("EECEnhancedGoal", "1000000001");
    EXPECT_TRUE(isEditMarkedInvalid(get<QLineEdit>("EECEnhancedGoal")));
    EXPECT_FALSE(get<QPushButton>("BWriteEnhancedCmd")->isEnabled());
    EXPECT_EQ(get<QGroupBox>("GBEnhancedCmd")->title(),
              "0x4D-Enhanced cmd : [0x-- -- -- -- -- --]");
}

TEST_F(EnhancedWindow, ButtonsFollowTheConnectionAndTheModelsAccess)
{
    form.show();
    const char *const reads[] = {"BReadEnhancedCmd", "BReadLoopsConfig", "BReadEnhancedParam"};
    const char *const writes[] = {"BWriteEnhancedCmd", "BWriteEnhancedParam"};
    struct Row
    {
        bool connected;
        bool granted;  ///< the identification granted 0x4D..0x4F
        bool writable;
    };
    for (const Row r : {Row{false, true, true}, Row{true, false, false}, Row{true, true, false},
                        Row{true, true, true}, Row{false, true, true}}) {
        SCOPED_TRACE(testing::Message() << r.connected << r.granted << r.writable);
        {
            RegisterLockGuard guard(session.lock());
            for (int a : {Reg::EnhancedInput, Reg::LoopsConfig, Reg::EnhancedParams})
                session.motor().setAccess(a, r.granted, r.granted && r.writable);
        }
        main.context().connectedControls().setConnected(r.connected);
        if (r.granted)
            main.applyIdentification(identifyDevice(0x00060004, 0x00070012));
        for (const char *name : reads)
            EXPECT_EQ(get<QPushButton>(name)->isEnabled(), r.connected && r.granted) << name;
        for (const char *name : writes)
            EXPECT_EQ(get<QPushButton>(name)->isEnabled(), r.connected && r.granted && r.writable)
                << name;
        EXPECT_TRUE(get<QPushButton>("BCopyEnhancedCmd")->isEnabled());
    }

    // Granted when the window looked, gone when the click comes: nothing is
    // sent, and nothing shows it as written (no trace, no chart marker).
    connectWithAccess();
    ASSERT_TRUE(get<QPushButton>("BWriteEnhancedCmd")->isEnabled());
    {
        RegisterLockGuard guard(session.lock());
        session.motor().setAccess(Reg::EnhancedInput, true, false);
    }
    get<QPushButton>("BWriteEnhancedCmd")->click();
    EXPECT_TRUE(get<QLabel>("LEnhancedCmdWritten")->text().isEmpty());
    for (int page = 0; page < GraphsPanel::PageCount; ++page)
        EXPECT_EQ(
            ChartMarkers::count(main.context().panels().graphs->chart(GraphsPanel::Page(page))), 0);
    RegisterLockGuard guard(session.lock());
    EXPECT_FALSE(session.motor().registerAt(Reg::EnhancedInput)->WriteRequest);
}

TEST_F(EnhancedWindow, AnInvalidEditBlanksTheCaptionCopyAndWrite)
{
    connectWithAccess();
    form.show();
    type("EECEnhancedGoal", "1000000001");
    type("EECCounterLoops", "5");
    EXPECT_EQ(get<QGroupBox>("GBEnhancedCmd")->title(),
              "0x4D-Enhanced cmd : [0x-- -- -- -- -- --]");
    EXPECT_FALSE(get<QPushButton>("BWriteEnhancedCmd")->isEnabled());
    EXPECT_FALSE(get<QPushButton>("BCopyEnhancedCmd")->isEnabled());
    type("EECTimePeakCurrent", "70000");
    type("EECPeakCurrent", local("1.5"));
    EXPECT_EQ(get<QGroupBox>("GBEnhancedParam")->title(),
              "0x4F-Enhanced parameters : [0x-- -- -- -- -- -- -- --]");
    EXPECT_FALSE(get<QPushButton>("BWriteEnhancedParam")->isEnabled());
    EXPECT_FALSE(get<QPushButton>("BCopyEnhancedParam")->isEnabled());
    type("EECEnhancedGoal", "1000");
    EXPECT_TRUE(get<QPushButton>("BCopyEnhancedCmd")->isEnabled());
    EXPECT_EQ(get<QGroupBox>("GBEnhancedCmd")->title(),
              "0x4D-Enhanced cmd : [0x80 05 00 00 03 E8]");
}

TEST_F(EnhancedWindow, AbsoluteValueNotOfferedIsNeitherShownNorSent)
{
    main.applyIdentification(identifyDevice(0x00060004, 0x00070011)); // NETEC-A 7.17
    connectWithAccess();
    form.show();
    answer(Reg::EnhancedInput, {0x84, 0x05, 0x00, 0x00, 0x03, 0xE8});
    EXPECT_FALSE(get<QCheckBox>("CBECOptionNoLoopsMode")->isEnabled());
    EXPECT_FALSE(get<QCheckBox>("CBECOptionNoLoopsMode")->isChecked());
    EXPECT_FALSE(EnhancedCmdWidgets::isTextGreyed(get<QLabel>("LEC101")));
    get<QPushButton>("BWriteEnhancedCmd")->click();
    EXPECT_EQ(get<QLabel>("LEnhancedCmdWritten")->text(),
              "0x4D-Enhanced cmd :          [0x80 05 00 00 03 E8]");
}

TEST_F(EnhancedWindow, DecodedAnswersFillTheThreeGroups)
{
    main.applyIdentification(identifyDevice(0x00060004, 0x00070012)); // 7.18 offers "Absolute value"
    connectWithAccess();
    form.show();
    answer(Reg::EnhancedInput, {0x94, 0x05, 0x00, 0x7F, 0xFF, 0xFF});
    EXPECT_TRUE(get<QRadioButton>("RBECOptionEnGoalInPercent")->isChecked());
    EXPECT_TRUE(get<QCheckBox>("CBECOptionNoLoopsMode")->isChecked());
    EXPECT_FALSE(get<QCheckBox>("CBECOptionPeakCurrent")->isChecked());
    EXPECT_EQ(get<QLineEdit>("EECEnhancedGoal")->text(), local("50.000"));
    EXPECT_EQ(get<QLineEdit>("EECCounterLoops")->text(), "5");
    EXPECT_EQ(get<QGroupBox>("GBEnhancedCmd")->title(),
              "0x4D-Enhanced cmd : [0x94 05 00 7F FF FF]");
    get<QPushButton>("BCopyEnhancedCmd")->click();
    EXPECT_TRUE(
        QGuiApplication::clipboard()->text().endsWith(" write '0x4D=[0x94 05 00 7F FF FF]'"))
        << QGuiApplication::clipboard()->text().toStdString();

    answer(Reg::LoopsConfig, {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x07, 0xD0});
    EXPECT_EQ(get<QLabel>("LLCPlusesFloat")->text(), local("2'000.0"));
    EXPECT_EQ(get<QLineEdit>("ELCDenominator")->text(), "1");
    answer(Reg::LoopsConfig, {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0x07, 0xD0}); // denominator 0
    EXPECT_EQ(get<QLabel>("LLCPlusesFloat")->text(), "---");
    EXPECT_TRUE(isEditMarkedInvalid(get<QLineEdit>("ELCDenominator")));
    EXPECT_FALSE(get<QPushButton>("BWriteLoopsConfig")->isEnabled());

    answer(Reg::EnhancedParams, {0, 0, 0, 0, 0x00, 0x64, 0x01, 0x01});
    EXPECT_EQ(get<QLineEdit>("EECPeakCurrent")->text(), local("1.004"));
    EXPECT_EQ(get<QLineEdit>("EECTimePeakCurrent")->text(), "100");
    EXPECT_EQ(get<QGroupBox>("GBEnhancedParam")->title(),
              "0x4F-Enhanced parameters : [0x00 00 00 00 00 64 01 01]");

    // A function byte of 118: logged, the selection kept, the caption shows the bytes.
    answer(Reg::EnhancedInput, {0x80, 0x76, 0, 0, 0, 1});
    EXPECT_TRUE(get<QRadioButton>("RBECCounterLoops")->isChecked());
    EXPECT_EQ(get<QGroupBox>("GBEnhancedCmd")->title(),
              "0x4D-Enhanced cmd : [0x80 76 00 00 00 01]");

    // Writing: the written label is set and both traces coloured while the box stays hidden.
    type("EECTimePeakCurrent", "200");
    get<QPushButton>("BWriteEnhancedParam")->click();
    EXPECT_EQ(get<QLabel>("LEnhancedParamWritten")->text(),
              "0x4F-Enhanced parameters :   [0x00 00 00 00 00 C8 01 01]");
    EXPECT_FALSE(EnhancedCmdWidgets::isTraceRed(get<QGroupBox>("GBEnhancedParam")));
    EXPECT_FALSE(get<QGroupBox>("GBECValuesWritten")->isVisible());
}

TEST_F(EnhancedWindow, ModelProfileCaptionsAndTheParamsGroup)
{
    main.applyIdentification(identifyDevice(0x002B0004, 0x00040001)); // stepper BUSST-D 4.1
    form.show();
    EXPECT_EQ(get<QRadioButton>("RBECOptionEnGoalInPulses")->text(),
              QString::fromUtf8("EnGoal in \u00B5Step [B0 to B3]"));
    EXPECT_EQ(get<QLabel>("LLCPulses")->text(), QString::fromUtf8("\u00B5Step :"));
    EXPECT_EQ(get<QLabel>("LLCTotal")->text(), QString::fromUtf8("Total \u00B5Step per loop :"));
    answer(Reg::LoopsConfig, {0, 0, 0, 3, 0, 0, 0, 1, 0, 0x0F, 0x42, 0x40});
    answer(Reg::EnhancedInput, {0x80, 0x02, 0, 0, 0x01, 0x2C});
    save(QStringLiteral("enhanced-stepper-microsteps.png"));

    ModelProfile noParams = identifyDevice(0x00060004, 0x00070012);
    noParams.enhanced.enhancedParamsEnabled = false;
    main.applyIdentification(noParams);
    EXPECT_FALSE(get<QGroupBox>("GBEnhancedParam")->isEnabled());
    answer(Reg::EnhancedParams, {0, 0, 0, 0, 0x00, 0x64, 0x01, 0x01});
    QPushButton *write = get<QPushButton>("BWriteEnhancedParam");
    EXPECT_FALSE(write->isEnabledTo(get<QGroupBox>("GBEnhancedParam")));
}

TEST_F(EnhancedWindow, CommaLocaleReadsAndWritesDecimals)
{
    if (localeDecimalSeparator() != QLatin1Char(','))
        GTEST_SKIP() << "runs as test_features_enhanced_comma";
    connectWithAccess();
    form.show();
    get<QRadioButton>("RBECOptionEnGoalInPercent")->click();
    type("EECEnhancedGoal", "1,23456");
    EXPECT_EQ(get<QLineEdit>("EECEnhancedGoal")->text(), "1,234");
    type("EECEnhancedGoal", "50");
    EXPECT_EQ(get<QGroupBox>("GBEnhancedCmd")->title(),
              "0x4D-Enhanced cmd : [0x90 00 00 7F FF FF]");
    type("EECEnhancedGoal", "1.5");
    EXPECT_TRUE(isEditMarkedInvalid(get<QLineEdit>("EECEnhancedGoal")));
    type("EECPeakCurrent", "1,0039");
    type("EECTimePeakCurrent", "100");
    get<QPushButton>("BWriteEnhancedParam")->click();
    EXPECT_EQ(get<QLineEdit>("EECPeakCurrent")->text(), "1,004");
    answer(Reg::LoopsConfig, {0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0x03, 0xE8});
    EXPECT_EQ(get<QLabel>("LLCPlusesFloat")->text(), "1'000,50000");
}

// --- On the wire of the virtual controller, polling on ------------------------------

namespace {

class EnhancedWire : public WithVirtualController<EnhancedWindow>
{
protected:
    void open(int host)
    {
        ASSERT_NO_FATAL_FAILURE(startAndOpen(host, "NETEC-A"));
        ASSERT_TRUE(waitFor([this] { return main.windowTitle().contains("NETEC-A"); }));
        ASSERT_TRUE(waitFor([this] { return session.statistics().answersDecoded.load() > 10; }));
        main.show();
        form.show();
        ASSERT_TRUE(waitFor([this] { return get<QLabel>("LLCPlusesFloat")->text() != "0.000"; }));
    }
    /// The virtual controller's own register value (signed 32 bits, or smaller unsigned).
    int64_t device(int address)
    {
        std::vector<uint8_t> b;
        server->controller()->readRegister(address, b);
        uint32_t v = 0;
        for (const uint8_t x : b)
            v = (v << 8) | x;
        return b.size() == 4 ? int64_t(int32_t(v)) : int64_t(v);
    }
    std::vector<uint8_t> deviceBytes(int address)
    {
        std::vector<uint8_t> b;
        server->controller()->readRegister(address, b);
        return b;
    }
    double liveCurrent()
    {
        std::vector<uint8_t> b;
        server->controller()->readRegister(Reg::CurrentSense, b);
        return b.size() == 6 ? int16_t(uint16_t((b[0] << 8) | b[1])) / 256.0 : -1.0;
    }
    QString title(const char *group) { return get<QGroupBox>(group)->title(); }
    /// The main window with its charts and the enhanced window side by side.
    void saveBesideCharts(const QString &name)
    {
        const QString dir = qEnvironmentVariable("TARVINE_SCREENSHOTS");
        if (dir.isEmpty())
            return;
        const QPixmap left = main.grab();
        const QPixmap right = form.grab();
        QPixmap both(left.width() + right.width(), std::max(left.height(), right.height()));
        both.fill(Qt::white);
        QPainter painter(&both);
        painter.drawPixmap(0, 0, left);
        painter.drawPixmap(left.width(), 0, right);
        painter.end();
        both.save(dir + QLatin1Char('/') + name);
    }
    /// "Read" until a displayed answer puts \a bytes in the caption.
    bool readsBack(const char *group, const char *readButton, const QString &bytes)
    {
        const QString name = QLatin1String(group);
        QTimer &timer = name == "GBEnhancedCmd"   ? form.timerDisplayEnhancedCmd()
                        : name == "GBLoopsConfig" ? form.timerDisplayEnhancedRangeConfig()
                                                  : form.timerDisplayEnhancedParam();
        int displays = 0;
        const QMetaObject::Connection counting =
            QObject::connect(&timer, &QTimer::timeout, [&displays] { ++displays; });
        const bool shown = waitFor(
            [&] {
                const int before = displays;
                get<QPushButton>(readButton)->click();
                waitFor([&] { return displays > before; }, 1000);
                return displays > before && Codec::byteList(title(group)) == bytes;
            },
            8000);
        QObject::disconnect(counting);
        return shown;
    }
};

} // namespace

TEST_F(EnhancedWire, TheMotorObeysTheWindow)
{
    open(141);
    ASSERT_TRUE(main.pollingCheckBox()->isChecked());
    EXPECT_EQ(get<QLabel>("LLCPlusesFloat")->text(), local("2'000.0"));

    // 1000 + 1/2 pulses per loop, then EnGoal 300 plus two loops: 2301.
    type("ELCPulses", "1000");
    type("ELCNumerator", "1");
    type("ELCDenominator", "2");
    get<QPushButton>("BWriteLoopsConfig")->click();
    // Pending writes go out in address order: let 0x4E arrive before 0x4D is written.
    ASSERT_TRUE(waitFor([this] { return deviceBytes(Reg::LoopsConfig)[3] == 2; }, 3000));
    ASSERT_TRUE(
        readsBack("GBLoopsConfig", "BReadLoopsConfig", "0x00 00 00 02 00 00 00 01 00 00 03 E8"));
    type("EECEnhancedGoal", "300");
    type("EECCounterLoops", "2");
    get<QPushButton>("BWriteEnhancedCmd")->click();
    EXPECT_EQ(get<QLabel>("LEnhancedCmdWritten")->text(),
              "0x4D-Enhanced cmd :          [0x80 02 00 00 01 2C]");
    // The written command marks the main window's charts.
    for (int page = 0; page < GraphsPanel::PageCount; ++page)
        EXPECT_EQ(
            ChartMarkers::count(main.context().panels().graphs->chart(GraphsPanel::Page(page))), 1)
            << page;
    ASSERT_TRUE(waitFor([this] { return device(Reg::RegulationMode) == 5; }, 3000));
    // The polling does not write the panel's consign over the command's.
    ASSERT_TRUE(waitFor([this] { return std::abs(device(Reg::Position) - 2301) <= 3; }, 6000))
        << device(Reg::Position);
    EXPECT_EQ(device(Reg::Input), 2301);

    // [S] 110 at 1500: the speed chart rises to 1500; the read-back shows the bytes.
    QTest::mouseClick(get<QLabel>("LEC110"), Qt::LeftButton);
    type("EECEnhancedGoal", "1500");
    get<QPushButton>("BWriteEnhancedCmd")->click();
    ASSERT_TRUE(waitFor([this] { return std::abs(device(Reg::Speed) - 1500) < 30; }, 5000));
    EXPECT_EQ(device(Reg::RegulationMode), 4);
    ASSERT_TRUE(readsBack("GBEnhancedCmd", "BReadEnhancedCmd", "0x80 6E 00 00 05 DC"));
    EXPECT_EQ(title("GBEnhancedCmd"), "0x4D-Enhanced cmd : [0x80 6E 00 00 05 DC]");
    main.graphPages()->setCurrentIndex(1); // the speed chart
    waitFor([] { return false; }, 1500);
    saveBesideCharts(QStringLiteral("enhanced-window-beside-charts.png"));

    // Peak current over a low current maximum: lifted for its duration, warning bit 20.
    {
        RegisterLockGuard guard(session.lock());
        session.motor().RequestWrite(Reg::CurrentMax, 16384); // 0.25 A
        session.motor().RequestWrite(Reg::Acceleration, 2'000'000);
        session.motor().RequestWrite(Reg::SpeedMax, 100'000);
    }
    type("EECPeakCurrent", local("6"));
    type("EECTimePeakCurrent", "600");
    get<QPushButton>("BWriteEnhancedParam")->click();
    ASSERT_TRUE(waitFor([this] { return deviceBytes(Reg::EnhancedParams)[5] == 0x58; }, 3000));
    ASSERT_TRUE(readsBack("GBEnhancedParam", "BReadEnhancedParam", "0x00 00 00 00 02 58 06 00"));
    get<QCheckBox>("CBECOptionPeakCurrent")->click();
    type("EECEnhancedGoal", "50000");
    get<QPushButton>("BWriteEnhancedCmd")->click();
    double highest = 0;
    bool warned = false;
    waitFor(
        [&] {
            highest = std::max(highest, liveCurrent());
            warned = warned || (device(Reg::Warning) & (1 << 20));
            return highest > 0.5 && warned;
        },
        500);
    EXPECT_GT(highest, 0.5);
    EXPECT_TRUE(warned);
    ASSERT_TRUE(waitFor([this] { return (device(Reg::Warning) & (1 << 20)) == 0; }, 3000));
    EXPECT_LT(liveCurrent(), 0.3);
}

TEST_F(EnhancedWire, CommandsGetThroughABadLink)
{
    open(142);
    SimFaultSettings faults;
    faults.split = SimFaultRate::every(2);
    faults.merge = SimFaultRate::every(5);
    faults.corrupt = SimFaultRate::every(7);
    faults.drop = SimFaultRate::every(11);
    server->faults().setSettings(faults);
    QTest::mouseClick(get<QLabel>("LEC111"), Qt::LeftButton);
    type("EECEnhancedGoal", "700");
    get<QPushButton>("BWriteEnhancedCmd")->click();
    ASSERT_TRUE(waitFor([this] { return std::abs(device(Reg::Speed) + 700) < 30; }, 8000));
    EXPECT_TRUE(readsBack("GBEnhancedCmd", "BReadEnhancedCmd", "0x80 6F 00 00 02 BC"));
    server->faults().clear();
}
