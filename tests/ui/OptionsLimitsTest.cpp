// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The options and limits windows by objectName: display without writes, bit
// clicks from either window, edit checks, received output limits, the model's
// disabled groups, limit routing; and both windows against the virtual
// controller over UDP with a lossy link.
#include "UiTestSupport.h"
#include "integration/SimFixture.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "sim/SimServer.h"
#include "support/Bytes.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/features/TFormLimits.h"
#include "ui/features/TFormRegOption.h"
#include "ui/widgets/EditColour.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <cstdlib>

using uitest::child;
using uitest::local;
using uitest::waitFor;

namespace {

class WindowsTest : public ::testing::Test
{
protected:
    TFormMain main;
    QLMCSession &session = main.context().session();
    TFormRegOption options{main.context()};
    TFormLimits limits{main.context()};

    void SetUp() override
    {
        limits.attachOptions(options);
        main.context().connectedControls().setConnected(true);
        options.show();
        limits.show();
    }

    template<typename T>
    T *opt(const char *name)
    {
        return child<T>(options, name);
    }
    template<typename T>
    T *lim(const char *name)
    {
        return child<T>(limits, name);
    }

    /// The pending write of \a address as hex bytes, or "none"; clears it.
    std::string takeWrite(int address)
    {
        RegisterLockGuard guard(session.lock());
        QLMCRegister *reg = session.motor().registerAt(address);
        if (!reg->WriteRequest)
            return "none";
        reg->WriteRequest = false;
        return testsupport::hexText(reg->WriteValue);
    }
    int pendingWrites()
    {
        RegisterLockGuard guard(session.lock());
        int n = 0;
        for (const QLMCRegister &reg : session.motor().registers())
            n += reg.WriteRequest;
        return n;
    }
    void type(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void showOptions(uint32_t bits, uint16_t standby = 0, int32_t min = 0, int32_t max = 0)
    {
        {
            RegisterLockGuard guard(session.lock());
            session.Options.OptionBits = bits;
            session.Options.StandbyTimer = standby;
            session.Options.InputMin = min;
            session.Options.InputMax = max;
        }
        main.context().sessionBridge().startWindowDisplay(SessionListener::Display::Options);
        ASSERT_TRUE(waitFor([&] {
            return opt<QCheckBox>("CBBit0")->isChecked() == bool(bits & 1)
                   && opt<QLineEdit>("EInputMax")->text() == QString::number(max);
        }));
    }
    void receive(SessionListener::DirectValue value, int32_t raw)
    {
        {
            RegisterLockGuard guard(session.lock());
            if (value == SessionListener::DirectValue::CurrentMax)
                session.Options.CurrentMaxRaw = raw;
            else if (value == SessionListener::DirectValue::OutputVoltageMax)
                session.Options.OutputVoltageRaw = raw;
            else
                session.Options.DissipationRaw = raw;
        }
        main.context().sessionBridge().directValueReceived(value);
        QTest::qWait(20);
    }
};

TEST_F(WindowsTest, DisplayWritesNothingAndBitClicksWriteOnce)
{
    showOptions(0xFE000021, 1500, -10, 10);
    EXPECT_EQ(pendingWrites(), 0);
    EXPECT_TRUE(opt<QCheckBox>("CBBit5")->isChecked());
    EXPECT_TRUE(lim<QCheckBox>("CBRegOptBit5")->isChecked());
    EXPECT_TRUE(opt<QLabel>("LOptionNote")->isVisibleTo(&options)); // bits 25..31 read
    EXPECT_EQ(opt<QLineEdit>("EStandbyTimer")->text(), QStringLiteral("1500"));
    EXPECT_FALSE(opt<QLineEdit>("EStandbyTimer")->isEnabled()); // bit 17 clear

    // The limits window's box: one write of the whole value, bits 25..31 cleared.
    lim<QCheckBox>("CBRegOptBit5")->click();
    EXPECT_FALSE(opt<QCheckBox>("CBBit5")->isChecked());
    EXPECT_EQ(takeWrite(0x2C), "00 00 00 01");
    EXPECT_EQ(pendingWrites(), 0);

    opt<QCheckBox>("CBBit5")->click();
    EXPECT_TRUE(lim<QCheckBox>("CBRegOptBit5")->isChecked());
    EXPECT_EQ(takeWrite(0x2C), "00 00 00 21");
    // Bit 17 ("Standby after pos. reached") enables the standby timer.
    showOptions(1u << 17);
    EXPECT_TRUE(opt<QLineEdit>("EStandbyTimer")->isEnabled());
    EXPECT_TRUE(opt<QPushButton>("BWriteStandbyTimer")->isEnabled());

    // Bit 16 (auto dissipation, NETEC-A) takes the dissipation Write and bar away.
    emit main.context().deviceIdentified(identifyDevice(0x00060004, 0x00070012));
    EXPECT_TRUE(opt<QPushButton>("BWriteDissipationVoltage")->isEnabled());
    opt<QCheckBox>("CBBit16")->click();
    EXPECT_EQ(takeWrite(0x2C), "00 03 00 00");
    EXPECT_FALSE(opt<QPushButton>("BWriteDissipationVoltage")->isEnabled());
    EXPECT_FALSE(opt<QSlider>("TBDissipationVoltage")->isEnabled());
}

TEST_F(WindowsTest, BitClickCarriesProfileDisabledBits)
{
    // Stepper: bits 0, 2, 3, 4 and 7 disabled by the profile, but a read 0x9D
    // is written back whole.
    emit main.context().deviceIdentified(identifyDevice(0x002B0001, 0x00030005));
    showOptions(0x9D);
    EXPECT_FALSE(opt<QCheckBox>("CBBit0")->isEnabled());
    opt<QCheckBox>("CBBit1")->click();
    EXPECT_EQ(takeWrite(0x2C), "00 00 00 9F");
}

TEST_F(WindowsTest, CurrentEditChecksAndWrite)
{
    QLineEdit *current = opt<QLineEdit>("ECurrentMax");
    QPushButton *write = opt<QPushButton>("BWriteOutputsMax");
    type(current, local("15.00002"));
    EXPECT_TRUE(isEditMarkedInvalid(current));
    EXPECT_FALSE(write->isEnabled());
    QTest::keyClick(current, Qt::Key_Return);
    EXPECT_EQ(pendingWrites(), 0);
    type(current, local("99999999"));
    EXPECT_FALSE(write->isEnabled());
    type(current, local("1.123456"));
    EXPECT_EQ(current->text(), local("1.12345"));
    EXPECT_FALSE(isEditMarkedInvalid(current));

    // "Active" unchecked: 0x2E gets -1.
    write->click();
    EXPECT_EQ(takeWrite(0x2A), "00 01 1F 9A"); // trunc(1.12345 x 65536)
    EXPECT_EQ(takeWrite(0x2E), "FF FF FF FF");

    // The model's maximum: NETDC-A takes 3 A, not 3.00002 A.
    emit main.context().deviceIdentified(identifyDevice(0x00020001, 0x00070012));
    type(current, local("3.00002"));
    EXPECT_FALSE(write->isEnabled());
    type(current, local("3"));
    EXPECT_TRUE(write->isEnabled());
}

TEST_F(WindowsTest, ReceivedOutputLimitsAndMirrorSignals)
{
    QString mirroredText;
    int mirroredPosition = 0;
    bool mirroredActive = false;
    QObject::connect(&options, &TFormRegOption::currentMaxArrived,
                     [&](const QString &t) { mirroredText = t; });
    QObject::connect(&options, &TFormRegOption::outputVoltagePositionChanged,
                     [&](int p) { mirroredPosition = p; });
    QObject::connect(&options, &TFormRegOption::outputVoltageActiveChanged,
                     [&](bool a) { mirroredActive = a; });

    receive(SessionListener::DirectValue::CurrentMax, 0x18000);
    EXPECT_EQ(opt<QLineEdit>("ECurrentMax")->text(), local("1.50000"));
    EXPECT_EQ(mirroredText, local("1.50000"));
    EXPECT_TRUE(opt<QPushButton>("BWriteOutputsMax")->isEnabled());
    // A negative 0x2A shows red and is not written.
    receive(SessionListener::DirectValue::CurrentMax, -65536);
    EXPECT_TRUE(isEditMarkedInvalid(opt<QLineEdit>("ECurrentMax")));

    receive(SessionListener::DirectValue::OutputVoltageMax, 0x00054000);
    QSlider *bar = opt<QSlider>("TBOutVoltageMax");
    EXPECT_EQ(bar->value(), 52);
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_TRUE(opt<QCheckBox>("CBOutVoltageMax")->isChecked());
    EXPECT_EQ(opt<QLabel>("LOutVoltageMaxVal")->text(), local("5.2"));
    EXPECT_EQ(mirroredPosition, 52);
    EXPECT_TRUE(mirroredActive);
    receive(SessionListener::DirectValue::OutputVoltageMax, 0x7FFFFFFF); // beyond the bar
    EXPECT_EQ(bar->value(), 500);
    receive(SessionListener::DirectValue::OutputVoltageMax, -1);
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_FALSE(mirroredActive);

    // The auto-tuning side drives the bar and "Active" through the slots.
    options.setOutputVoltageActive(true);
    options.setOutputVoltagePosition(123);
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(pendingWrites(), 0);
    opt<QPushButton>("BWriteOutputsMax")->setEnabled(true);
    opt<QLineEdit>("ECurrentMax")->setText(local("1"));
    opt<QPushButton>("BWriteOutputsMax")->click();
    EXPECT_EQ(takeWrite(0x2E), "00 0C 4C CC");

    receive(SessionListener::DirectValue::DissipationVoltage, 0x001E0000);
    EXPECT_EQ(opt<QSlider>("TBDissipationVoltage")->value(), 300);

    // A stepper's output-voltage group stays off, whatever 0x2E says.
    emit main.context().deviceIdentified(identifyDevice(0x002B0001, 0x00030005));
    receive(SessionListener::DirectValue::OutputVoltageMax, 0x000C0000);
    EXPECT_FALSE(bar->isEnabled());
    main.context().connectedControls().setConnected(false);
    main.context().connectedControls().setConnected(true);
    EXPECT_FALSE(bar->isEnabled());
}

TEST_F(WindowsTest, InputLimitsAndStandbyChecks)
{
    showOptions(1u << 17, 5, 0, 5);
    QLineEdit *min = opt<QLineEdit>("EInputMin");
    QLineEdit *max = opt<QLineEdit>("EInputMax");
    type(min, QStringLiteral("10"));
    EXPECT_TRUE(isEditMarkedInvalid(max));
    EXPECT_FALSE(isEditMarkedInvalid(min));
    EXPECT_FALSE(opt<QPushButton>("BWriteInputLimit")->isEnabled());
    QTest::keyClick(min, Qt::Key_Return);
    EXPECT_EQ(pendingWrites(), 0);
    type(max, QStringLiteral("20"));
    EXPECT_FALSE(isEditMarkedInvalid(max));
    opt<QPushButton>("BWriteInputLimit")->click();
    EXPECT_EQ(takeWrite(0x24), "00 00 00 0A");
    EXPECT_EQ(takeWrite(0x25), "00 00 00 14");
    RegisterLockGuard guard(session.lock());
    EXPECT_EQ(session.Options.InputMin, 10); // the consign range reads them
    EXPECT_EQ(session.Options.InputMax, 20);

    QLineEdit *standby = opt<QLineEdit>("EStandbyTimer");
    type(standby, QStringLiteral("32768"));
    EXPECT_TRUE(isEditMarkedInvalid(standby));
    EXPECT_FALSE(opt<QPushButton>("BWriteStandbyTimer")->isEnabled());
    type(standby, QStringLiteral("0"));
    QTest::keyClick(standby, Qt::Key_Return);
    EXPECT_EQ(takeWrite(0x0D), "00 00");
}

TEST_F(WindowsTest, LimitsRouteIntoTheShownLimitOnly)
{
    {
        RegisterLockGuard guard(session.lock());
        session.Limits.Setup = {0x75, 0};
        session.Limits.ControlMode = {7, 3};
        session.Limits.Position = {-5000, 0};
    }
    main.context().sessionBridge().limitsReceived();
    ASSERT_TRUE(waitFor([&] { return lim<QCheckBox>("CBUsed")->isChecked(); }));
    EXPECT_TRUE(lim<QCheckBox>("CBControlMode")->isChecked());
    EXPECT_FALSE(lim<QCheckBox>("CBActiveOn1")->isChecked());
    EXPECT_EQ(lim<QComboBox>("ComboBXInput")->currentIndex(), 3);
    EXPECT_EQ(lim<QSpinBox>("SpinEPosition")->value(), -5000);
    EXPECT_EQ(lim<QLabel>("LSetupVal")->text(), QStringLiteral("[0x00 00 00 75]"));
    EXPECT_EQ(lim<QLabel>("LCtrlModeVal")->text(), QStringLiteral("[0x07]"));
    EXPECT_TRUE(lim<QRadioButton>("RBCtrlMode1")->isChecked()); // mode 7: radios kept
    EXPECT_EQ(pendingWrites(), 0);
    lim<QPushButton>("BUpdate")->click();
    EXPECT_EQ(takeWrite(0x50), "00 00 00 75"); // bit 4 carried
    EXPECT_EQ(takeWrite(0x51), "07");
    EXPECT_EQ(takeWrite(0x52), "FF FF EC 78"); // -5000, not clamped
    EXPECT_EQ(takeWrite(0x53), "00 00 00 00");

    lim<QRadioButton>("RBLimit2")->click();
    EXPECT_EQ(lim<QGroupBox>("GBLimit")->title(), QStringLiteral("Limit 2"));
    EXPECT_EQ(lim<QLabel>("LSetup")->text(), QStringLiteral("0x58 - Setup :"));
    EXPECT_TRUE(lim<QRadioButton>("RBCtrlMode4")->isChecked());
    lim<QCheckBox>("CBUsed")->click();
    lim<QRadioButton>("RBCtrlMode1")->click();
    EXPECT_EQ(lim<QLabel>("LSetupVal")->text(), QStringLiteral("[0x00 00 00 01]"));
    {
        RegisterLockGuard guard(session.lock());
        EXPECT_EQ(session.Limits.Setup[0], 0x75u);
        EXPECT_EQ(session.Limits.ControlMode[0], 7);
        EXPECT_EQ(session.Limits.ControlMode[1], 0);
    }
    lim<QPushButton>("BUpdate")->click();
    EXPECT_EQ(takeWrite(0x58), "00 00 00 01");
    EXPECT_EQ(takeWrite(0x59), "00");
    EXPECT_EQ(takeWrite(0x50), "none");
    EXPECT_EQ(pendingWrites(), 2); // 0x5A and 0x5B
}

/// Options and limits against the virtual controller (NETEC-A) over UDP with
/// a lossy link: bit 5 from the limits window, 0.5 A, and limit 2 "Driver
/// Stop" halting a speed move at the switch.
TEST(OptionsLimitsWireTest, NewcomerTourOverUdp)
{
    testsupport::WireRecorder wire;
    AppWindows windows;
    TFormMain &main = windows.main();
    main.show();
    SimServerConfig config;
    config.bindAddress = "127.0.0.93";
    auto controller = std::make_shared<SimController>(*parseSimModel("NETEC-A"), SimIdentity{});
    controller->setLimitSwitchPositions(-30000, 3000);
    SimServer server(config, controller);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    server.setLog(wire.log);

    TFormParamIP &paramIP = windows.paramIP();
    paramIP.connection().setPorts(server.tcpPort(), server.udpPort());
    child<QRadioButton>(paramIP, "RBPort7010")->click();
    const QStringList fields{"127", "0", "0", "93"};
    for (int i = 0; i < 4; ++i)
        child<QLineEdit>(paramIP, QStringLiteral("EAdd%1").arg(i).toLatin1().constData())
            ->setText(fields[i]);
    paramIP.BOpenClick();
    ASSERT_TRUE(waitFor([&] { return main.windowTitle().contains("NETEC-A"); }, 8000));

    TFormRegOption &options = windows.regOption();
    TFormLimits &limits = windows.limits();
    child<QAction>(main, "MenuOptions")->trigger();
    child<QAction>(main, "MenuLimits")->trigger();
    ASSERT_TRUE(waitFor(
        [&] {
            return child<QLineEdit>(options, "ECurrentMax")->text() != QStringLiteral("0.0")
                   && child<QLabel>(limits, "LSetupVal")->text()
                          == QStringLiteral("[0x00 00 00 02]");
        },
        8000));
    // From here on the link loses and corrupts answers (the writes still arrive).
    SimFaultSettings faults;
    faults.drop = SimFaultRate::every(9);
    faults.corrupt = SimFaultRate::every(13);
    server.faults().setSettings(faults);

    // Bit 5 from the limits window reaches the controller.
    child<QCheckBox>(limits, "CBRegOptBit5")->click();
    EXPECT_TRUE(child<QCheckBox>(options, "CBBit5")->isChecked());
    auto optionsValue = [&] {
        std::vector<uint8_t> out;
        controller->readRegister(Reg::Options, out);
        return out;
    };
    EXPECT_TRUE(waitFor(
        [&] {
            return optionsValue() == std::vector<uint8_t>{0, 0, 0, 0x20};
        },
        5000));

    // Limit 2: used, active on 0 with the pull-up (a closed switch), change
    // mode to "Driver Stop".
    child<QRadioButton>(limits, "RBLimit2")->click();
    ASSERT_TRUE(child<QCheckBox>(limits, "CBActiveOn1")->isChecked());
    child<QCheckBox>(limits, "CBActiveOn1")->click();
    child<QCheckBox>(limits, "CBUsed")->click();
    child<QCheckBox>(limits, "CBControlMode")->click();
    child<QRadioButton>(limits, "RBCtrlMode1")->click();
    child<QPushButton>(limits, "BUpdate")->click();
    auto limit2Written = [&] {
        for (const SimWireEvent &r : wire.requests())
            if (r.function == Function::Write && !r.payload.empty() && r.payload[0] == 0x58)
                return true;
        return false;
    };
    ASSERT_TRUE(waitFor(limit2Written, 5000));
    // The written registers are read back: the lines the device took lose their mark.
    EXPECT_TRUE(waitFor(
        [&] {
            for (const char *name : {"LSetupVal", "LCtrlModeVal", "LPositionVal", "LXInputVal"})
                if (!child<QLabel>(limits, name)->styleSheet().isEmpty())
                    return false;
            return true;
        },
        5000))
        << child<QLabel>(limits, "LSetupVal")->styleSheet().toStdString();
    for (const SimWireEvent &r : wire.requests())
        if (r.function == Function::Write && !r.payload.empty() && r.payload[0] == 0x58) {
            // Only the limit-2 registers: 0x58 (4), 0x59 (1), 0x5A (4), 0x5B (4).
            EXPECT_EQ(r.payload.size(), 17u);
            EXPECT_EQ(r.payload[5], 0x59);
            EXPECT_EQ(r.payload[7], 0x5A);
            EXPECT_EQ(r.payload[12], 0x5B);
        }

    // A speed move runs into limit 2 at 3000 pulses and stops there.
    {
        const uint8_t speed[4] = {0, 0, 0x07, 0xD0}; // 2000 p/s
        const uint8_t mode[1] = {4};
        controller->writeRegister(Reg::Input, speed);
        controller->writeRegister(Reg::RegulationMode, mode);
    }
    EXPECT_TRUE(waitFor(
        [&] {
            std::vector<uint8_t> out;
            controller->readRegister(Reg::RegulationMode, out);
            return out == std::vector<uint8_t>{0};
        },
        8000));
    std::vector<uint8_t> warnings;
    controller->readRegister(Reg::Warning, warnings);
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_TRUE(warnings[1] & 0x01); // bit 16: limit 2 present
    EXPECT_TRUE(waitFor(
        [&] { return child<QLabel>(limits, "LLimit2Lamp")->styleSheet().contains("#e00000"); },
        5000));

    // 0.5 A.
    QLineEdit *current = child<QLineEdit>(options, "ECurrentMax");
    current->setText(local("0.5"));
    child<QPushButton>(options, "BWriteOutputsMax")->click();
    EXPECT_TRUE(waitFor(
        [&] {
            std::vector<uint8_t> out;
            controller->readRegister(Reg::CurrentMax, out);
            return out == std::vector<uint8_t>{0x00, 0x00, 0x80, 0x00};
        },
        5000));

    if (const char *dir = std::getenv("TARVINE_OPTIONS_SCREENSHOTS")) {
        // One edit red: a current above the model's 15 A.
        QLineEdit *edit = child<QLineEdit>(options, "ECurrentMax");
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("99"));
        QTest::qWait(300);
        options.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/options.png"));
        limits.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/limits.png"));
    }
    paramIP.connection().close();
    waitFor([&] { return !paramIP.connection().isTcpActive(); }, 2000);
    server.stop();
}

} // namespace
