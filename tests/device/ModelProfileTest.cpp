// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/ModelProfile.h"
#include "device/DeviceIdentity.h"
#include "device/QLMCIPMotor.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using Bits = std::set<int>;

constexpr uint32_t type(uint32_t code, uint32_t sub)
{
    return (code << 16) | sub;
}
constexpr uint32_t version(uint32_t major, uint32_t minor)
{
    return (major << 16) | minor;
}

std::string label(uint32_t deviceType, uint32_t deviceVersion)
{
    return std::to_string(deviceType >> 16) + "/" + std::to_string(deviceType & 0xFFFF) + " v"
           + std::to_string(deviceVersion >> 16) + "." + std::to_string(deviceVersion & 0xFFFF);
}

Bits setBits(const std::bitset<32> &bits)
{
    Bits out;
    for (int i = 0; i < 32; ++i)
        if (bits.test(static_cast<size_t>(i)))
            out.insert(i);
    return out;
}

Bits with(Bits base, const Bits &add, const Bits &remove = {})
{
    for (int b : remove)
        base.erase(b);
    base.insert(add.begin(), add.end());
    return base;
}

Bits range(int first, int last)
{
    Bits out;
    for (int i = first; i <= last; ++i)
        out.insert(i);
    return out;
}

const Bits DefaultWarnings{2, 4, 6, 8, 10, 14, 16};
const Bits DefaultOptions{0, 1, 2, 3, 4, 5, 6, 7, 14, 15, 23, 24};

TEST(DeviceIdentity, DecodesTypeAndBothVersionForms)
{
    struct Case
    {
        uint32_t type, version, code, sub, major, minor;
    };
    const Case cases[] = {
        {0x00020001, 0x00030002, 2, 1, 3, 2},           {0x002B0066, 0x00070012, 43, 102, 7, 18},
        {0xFFFF0000, 0x01020304, 0xFFFF, 0, 3, 4}, // four-byte form: bytes 2 and 3
        {0x0003012C, 0x00FFFFFF, 3, 300, 0xFF, 0xFFFF}, {0x00060004, 0x01000000, 6, 4, 0, 0},
        {0x00060004, 0xFFFFFFFF, 6, 4, 0xFF, 0xFF},
    };
    for (const Case &c : cases) {
        const DeviceIdentity id = DeviceIdentity::decode(c.type, c.version);
        EXPECT_EQ(id.typeCode, c.code) << std::hex << c.type;
        EXPECT_EQ(id.subType, c.sub) << std::hex << c.type;
        EXPECT_EQ(id.major, c.major) << std::hex << c.version;
        EXPECT_EQ(id.minor, c.minor) << std::hex << c.version;
    }

    const DeviceIdentity v713 = DeviceIdentity::decode(0, version(7, 13));
    EXPECT_FALSE(v713.versionAbove(7, 13));
    EXPECT_TRUE(v713.versionAbove(7, 12));
    EXPECT_TRUE(v713.versionAbove(6, 99));
    EXPECT_FALSE(v713.versionAbove(8, 0));
}

TEST(ModelProfile, ModelRowsNamesCurrentsWarningsAndCaption)
{
    struct Row
    {
        uint32_t type;
        const char *name;
        ModelFamily family;
        int32_t maxPeak;
        bool warning;
    };
    using F = ModelFamily;
    const Row rows[] = {
        {type(2, 1), "NETDC-A", F::EthernetDC, 0x30000, false},
        {type(2, 2), "NETDC-A", F::EthernetDC, 0x30000, false},
        {type(2, 3), "NETDC-A", F::EthernetDC, 0x30000, true},
        {type(6, 2), "", F::EthernetEC, 0xF0000, false},
        {type(6, 3), "NETEC-B", F::EthernetEC, 0xF0000, false},
        {type(6, 4), "NETEC-A", F::EthernetEC, 0xF0000, false},
        {type(6, 5), "NETEC-A", F::EthernetEC, 0xF0000, false},
        {type(6, 6), "NETEC-A", F::EthernetEC, 0xF0000, true},
        {type(3, 4), "", F::BusDC, 0xF0000, false},
        {type(3, 5), "BUSDC-C", F::BusDC, 0x20000, false},
        {type(3, 6), "BUSDC-C", F::BusDC, 0x20000, false},
        {type(3, 7), "BUSDC-C", F::BusDC, 0x20000, true},
        {type(3, 99), "BUSDC-C", F::BusDC, 0x20000, true},
        {type(3, 100), "BUSDC-A", F::BusDC, 0x20000, false},
        {type(3, 101), "BUSDC-A", F::BusDC, 0x20000, true},
        {type(3, 199), "BUSDC-A", F::BusDC, 0x20000, true},
        {type(3, 200), "BUSDC-B", F::BusDC, 0x28000, false},
        {type(3, 201), "BUSDC-B", F::BusDC, 0x28000, true},
        {type(3, 300), "", F::BusDC, 0xF0000, true},
        {type(25, 0), "BUSEC-A", F::BusEC, 0xF0000, false},
        {type(25, 1), "BUSEC-A", F::BusEC, 0xF0000, false},
        {type(25, 2), "BUSEC-A", F::BusEC, 0xF0000, true},
        {type(43, 1), "BUSST-A", F::Stepper, 0x18000, false},
        {type(43, 2), "BUSST-B", F::Stepper, 0x2666, false},
        {type(43, 102), "BUSST-B", F::Stepper, 0x2666, false},
        {type(43, 3), "BUSST-C", F::Stepper, 0x18000, false},
        {type(43, 5), "BUSST-C", F::Stepper, 0x18000, false},
        {type(43, 4), "BUSST-D", F::Stepper, 0x18000, false},
        {type(43, 6), "", F::Stepper, 0xF0000, true},
        {type(43, 101), "", F::Stepper, 0xF0000, true},
        {type(43, 103), "", F::Stepper, 0xF0000, true},
    };
    for (const Row &row : rows) {
        const ModelProfile p = identifyDevice(row.type, version(3, 2));
        const std::string where = label(row.type, version(3, 2));
        EXPECT_TRUE(p.known) << where;
        EXPECT_EQ(p.modelName, QString::fromLatin1(row.name)) << where;
        EXPECT_EQ(p.family, row.family) << where;
        EXPECT_EQ(p.maxPeakCurrent, row.maxPeak) << where;
        EXPECT_EQ(p.showWarning, row.warning) << where;
        const QString caption = QStringLiteral("Ethernet Motor Controller - %1  (TYPE = %2.%3)")
                                    .arg(QString::fromLatin1(row.name))
                                    .arg(row.type >> 16)
                                    .arg(row.type & 0xFFFF);
        EXPECT_EQ(p.caption, caption) << where;
    }
}

TEST(ModelProfile, WarningAndRefusalTexts)
{
    const ModelProfile netdc = identifyDevice(type(2, 3), version(3, 2));
    EXPECT_EQ(netdc.warningTitle, "Warning");
    EXPECT_EQ(netdc.warningText, "Your device model is not completely supported by this "
                                 "application.\r\nPlease download last version from Quelmo "
                                 "website.");
    EXPECT_TRUE(netdc.refusalText.isEmpty());

    const ModelProfile busec = identifyDevice(type(25, 2), version(3, 2));
    EXPECT_EQ(busec.warningText, "Your device model is not completely supported by this "
                                 "application.Please download last version from Quelmo "
                                 "website.");

    const ModelProfile refused = identifyDevice(type(7, 1), version(7, 0));
    EXPECT_FALSE(refused.known);
    EXPECT_FALSE(refused.showWarning);
    EXPECT_EQ(refused.family, ModelFamily::Unknown);
    EXPECT_EQ(refused.refusalTitle, "Error");
    EXPECT_EQ(refused.refusalText, "This application does not support this device type !");
    EXPECT_EQ(refused.caption, "Ethernet Motor Controller -   (TYPE = 7.1)");
    EXPECT_EQ(refused.maxPeakCurrent, 0xF0000);
    EXPECT_EQ(setBits(refused.warningCaptions), DefaultWarnings);
    EXPECT_EQ(setBits(refused.optionBoxes), DefaultOptions);
}

TEST(ModelProfile, FeedForwardNeedsFirmware7AndNoStepper)
{
    struct Case
    {
        uint32_t type, version;
        bool ff;
    };
    const Case cases[] = {
        {type(2, 1), version(7, 0), true},
        {type(2, 1), version(6, 99), false},
        {type(6, 4), 0x00070012, true},
        {type(3, 200), version(8, 1), true},
        {type(25, 1), version(7, 0), true},
        {type(43, 1), version(9, 0), false},
        {type(43, 102), version(7, 18), false},
        {type(6, 4), 0x07000600, false}, // four-byte form: major 6
        {type(6, 4), 0x01000701, true},  // four-byte form: major 7
        {type(7, 0), version(7, 0), true},
    };
    for (const Case &c : cases) {
        const ModelProfile p = identifyDevice(c.type, c.version);
        const std::string where = label(c.type, c.version);
        EXPECT_EQ(p.feedForward, c.ff) << where;
        EXPECT_EQ(p.regulation.feedForward, c.ff) << where;
        EXPECT_EQ(p.autoTuningPredictiveEnabled, c.ff) << where;
        for (int a = Reg::VffOffset; a <= Reg::Kdff; ++a) {
            EXPECT_EQ(p.isReadable(a), c.ff) << where << " reg " << a;
            EXPECT_EQ(p.isWritable(a), c.ff) << where << " reg " << a;
        }
    }
}

// Registers every model reads (R), reads and writes (RW) or only writes (commands).
const Bits CommonRead{0x00, 0x01, 0x07, 0x28, 0x30};
const Bits CommonReadWrite =
    with(range(0x20, 0x27), {0x08, 0x10, 0x12, 0x15, 0x2A, 0x2C, 0x40, 0x41, 0x42, 0x48,
                             0x4B, 0x4C, 0x50, 0x51, 0x52, 0x53, 0x58, 0x59, 0x5A, 0x5B});
const Bits CommonWriteOnly{0x02, 0x03, 0x04, 0x05, 0x06, 0x49, 0x4A};
const Bits FeedForwardRegs{0x61, 0x62, 0x63, 0x64};
const Bits Gains = range(0x33, 0x37);
const Bits Enhanced{0x4D, 0x4E, 0x4F};
const Bits Io{0x55, 0x56};

TEST(ModelProfile, RegisterGrantsPerModelAndFirmware)
{
    struct Case
    {
        uint32_t type, version;
        Bits read;      // read-only grants of the model
        Bits readWrite; // read-write grants of the model (feed-forward included)
    };
    const Bits ethEc3Rw = with(Gains, {0x11, 0x13, 0x14, 0x2D, 0x2E, 0x39, 0x43});
    const Bits busDcRw = with(Gains, {0x0D, 0x2D, 0x2E, 0x2F});
    const Bits busEcRw = with(with(Gains, Enhanced), {0x0D, 0x2D, 0x2E, 0x2F, 0x39, 0x43});
    const Bits stepperRw = with(Enhanced, {0x0D, 0x46, 0x47});
    const Case cases[] = {
        {type(2, 1),
         version(3, 2),
         {0x31, 0x32, 0x38},
         with(Gains, {0x11, 0x13, 0x14, 0x2D, 0x2E, 0x43})},
        {type(6, 2), version(7, 0), {}, FeedForwardRegs},
        {type(6, 3), version(2, 0), {0x29, 0x31, 0x32, 0x38}, ethEc3Rw},
        {type(6, 3), version(3, 0), {0x29, 0x31, 0x32, 0x38}, with(ethEc3Rw, Enhanced)},
        {type(6, 3), version(5, 12), {0x29, 0x31, 0x32, 0x38}, with(ethEc3Rw, Enhanced)},
        {type(6, 3),
         version(5, 13),
         {0x29, 0x31, 0x32, 0x38},
         with(ethEc3Rw, {0x0D, 0x4D, 0x4E, 0x4F})},
        {type(6, 3),
         version(7, 0),
         {0x0B, 0x0C, 0x29, 0x31, 0x32, 0x38},
         with(with(with(ethEc3Rw, Enhanced), with(Io, FeedForwardRegs)), {0x0D})},
        {type(6, 4),
         version(3, 0),
         {0x0B, 0x0C, 0x29, 0x2B, 0x31, 0x32, 0x38},
         with(with(Gains, Enhanced),
              {0x0D, 0x11, 0x13, 0x14, 0x2D, 0x2E, 0x2F, 0x39, 0x43, 0x44, 0x55, 0x56})},
        {type(3, 4), version(4, 0), {0x31, 0x32, 0x38}, busDcRw},
        {type(3, 5), version(3, 0), {0x31, 0x32, 0x38}, with(busDcRw, {0x39, 0x43})},
        {type(3, 5),
         version(4, 0),
         {0x31, 0x32, 0x38},
         with(with(busDcRw, Enhanced), {0x39, 0x43})},
        {type(3, 5),
         version(7, 0),
         {0x0B, 0x0C, 0x31, 0x32, 0x38},
         with(with(busDcRw, Enhanced), with(with(Io, FeedForwardRegs), {0x39, 0x43}))},
        {type(3, 100),
         version(1, 0),
         {0x31, 0x32, 0x38},
         with(with(busDcRw, Enhanced), {0x39, 0x43})},
        {type(3, 200),
         version(1, 0),
         {0x29, 0x31, 0x32, 0x38},
         with(with(busDcRw, Enhanced), {0x39, 0x43})},
        {type(3, 300),
         version(1, 0),
         {0x31, 0x32, 0x38},
         with(with(busDcRw, Enhanced), {0x39, 0x43})},
        {type(25, 1), version(2, 0), {0x29, 0x31, 0x32, 0x38}, busEcRw},
        {type(25, 1),
         version(7, 0),
         {0x0B, 0x0C, 0x29, 0x31, 0x32, 0x38},
         with(busEcRw, with(Io, FeedForwardRegs))},
        {type(43, 1), version(2, 0), {}, stepperRw},
        {type(43, 3), version(3, 0), {0x0B, 0x0C}, with(stepperRw, Io)},
        {type(43, 6), version(8, 0), {0x0B, 0x0C}, stepperRw},
        {type(7, 1), version(7, 0), {}, FeedForwardRegs},
    };
    for (const Case &c : cases) {
        const ModelProfile p = identifyDevice(c.type, c.version);
        const std::string where = label(c.type, c.version);
        Bits readOnly, readWrite, writeOnly;
        for (int a = 0; a < RegisterCount; ++a) {
            const bool r = p.isReadable(a);
            const bool w = p.isWritable(a);
            if (r && w)
                readWrite.insert(a);
            else if (r)
                readOnly.insert(a);
            else if (w)
                writeOnly.insert(a);
        }
        EXPECT_EQ(readOnly, with(CommonRead, c.read)) << where;
        EXPECT_EQ(readWrite, with(CommonReadWrite, c.readWrite)) << where;
        EXPECT_EQ(writeOnly, CommonWriteOnly) << where;
    }
}

TEST(ModelProfile, ApplyingReplacesTheWholeAccessOfTheImage)
{
    RegisterLock lock;
    QLMCIPMotor motor(lock);
    for (int a = 0; a < RegisterCount; ++a)
        motor.setAccess(a, true, true);

    const ModelProfile p = identifyDevice(type(43, 1), version(2, 0));
    applyRegisterAccess(p, motor);
    for (int a = 0; a < RegisterCount; ++a) {
        EXPECT_EQ(motor.registers()[a].Readable, p.isReadable(a)) << a;
        EXPECT_EQ(motor.registers()[a].Writable, p.isWritable(a)) << a;
    }
    EXPECT_FALSE(motor.registers()[Reg::Kp].Readable);
    EXPECT_FALSE(motor.registers()[Reg::IoState].Writable);
    EXPECT_TRUE(motor.registers()[Reg::LoopRest].Writable);
    EXPECT_FALSE(p.isReadable(-1));
    EXPECT_FALSE(p.isWritable(RegisterCount));
}

// The switches a window reads from the profile, named for compact expectations.
std::string enabledSwitches(const ModelProfile &p)
{
    const std::pair<const char *, bool> switches[] = {
        {"loopTime", p.menus.loopTime},
        {"autoTuning", p.menus.autoTuning},
        {"loopsInput", p.menus.loopsInput},
        {"ioState", p.menus.ioState},
        {"noLoops", p.enhanced.noLoopsOptionEnabled},
        {"standBy", p.modeButtons[6]},
        {"currentSense", p.currentSenseTabVisible},
        {"dissipation", p.dissipationVoltageEnabled},
        {"outputVoltageMax", p.outputVoltageMaxEnabled},
    };
    std::string out;
    for (const auto &[name, on] : switches)
        if (on)
            out += (out.empty() ? "" : " ") + std::string(name);
    return out;
}

TEST(ModelProfile, WindowEnablesPerModelAndFirmware)
{
    struct Case
    {
        uint32_t type, version;
        Bits warnings, options;
        const char *switches;
    };
    const Bits stepperWarnings = with(DefaultWarnings, {20}, {8});
    const Bits stepperOptions = with(DefaultOptions, range(17, 21), {0, 2, 3, 4, 7});
    // clang-format off
    const Case cases[] = {
        {type(7, 1), version(3, 2), DefaultWarnings, DefaultOptions,
         "loopTime outputVoltageMax"},
        {type(2, 1), version(7, 18), with(DefaultWarnings, {0}), DefaultOptions,
         "loopTime ioState outputVoltageMax"},
        {type(6, 3), version(2, 0), with(DefaultWarnings, {0, 12, 18}),
         with(DefaultOptions, {8, 9}),
         "loopTime autoTuning outputVoltageMax"},
        {type(6, 3), version(5, 8), with(DefaultWarnings, {0, 12, 18, 20, 24}),
         with(DefaultOptions, {8, 9}),
         "loopTime autoTuning loopsInput outputVoltageMax"},
        {type(6, 3), version(7, 14), with(DefaultWarnings, {0, 12, 18, 20, 24, 26, 28}),
         with(DefaultOptions, {8, 9, 12}),
         "loopTime autoTuning loopsInput ioState outputVoltageMax"},
        {type(6, 4), version(7, 18), with(DefaultWarnings, {0, 12, 18, 20, 22, 24, 26, 28}),
         with(DefaultOptions, {8, 9, 10, 11, 12, 16}),
         "loopTime autoTuning loopsInput ioState noLoops currentSense dissipation "
         "outputVoltageMax"},
        {type(3, 5), version(3, 0), DefaultWarnings, DefaultOptions,
         "loopTime autoTuning outputVoltageMax"},
        {type(3, 5), version(7, 3), with(DefaultWarnings, {20}), with(DefaultOptions, {12, 13}),
         "loopTime autoTuning loopsInput ioState outputVoltageMax"},
        {type(3, 100), version(1, 0), with(DefaultWarnings, {20}), with(DefaultOptions, {17, 18}),
         "loopTime autoTuning loopsInput standBy outputVoltageMax"},
        {type(3, 200), version(7, 18), with(DefaultWarnings, {18, 20, 26, 28}),
         with(DefaultOptions, {12}),
         "loopTime autoTuning loopsInput ioState noLoops outputVoltageMax"},
        {type(25, 0), version(7, 18), with(DefaultWarnings, {0}), DefaultOptions,
         "loopTime ioState noLoops outputVoltageMax"},
        {type(25, 1), version(2, 0), with(DefaultWarnings, {0, 12, 18, 20}),
         with(DefaultOptions, {8, 9}),
         "loopTime autoTuning loopsInput outputVoltageMax"},
        {type(25, 1), version(3, 2), with(DefaultWarnings, {0, 12, 18, 20, 22, 24}),
         with(DefaultOptions, {8, 9, 16}),
         "loopTime autoTuning loopsInput dissipation outputVoltageMax"},
        {type(25, 1), version(7, 14), with(DefaultWarnings, {0, 12, 18, 20, 22, 24, 26, 28}),
         with(DefaultOptions, {8, 9, 12, 13, 16}),
         "loopTime autoTuning loopsInput ioState dissipation outputVoltageMax"},
        {type(43, 1), version(3, 8), stepperWarnings, stepperOptions,
         "loopsInput standBy"},
        {type(43, 3), version(3, 18), with(stepperWarnings, {28}), with(stepperOptions, {22}),
         "loopsInput ioState noLoops standBy"},
        {type(43, 6), version(7, 0), with(stepperWarnings, {28}), with(stepperOptions, {22}),
         "loopTime loopsInput noLoops"},
    };
    // clang-format on
    for (const Case &c : cases) {
        const ModelProfile p = identifyDevice(c.type, c.version);
        const std::string where = label(c.type, c.version);
        EXPECT_EQ(setBits(p.warningCaptions), c.warnings) << where;
        EXPECT_EQ(setBits(p.optionBoxes), c.options) << where;
        EXPECT_EQ(enabledSwitches(p), c.switches) << where;
        for (int mode = 0; mode < 6; ++mode)
            EXPECT_TRUE(p.modeButtons[static_cast<size_t>(mode)]) << where << " mode " << mode;
        EXPECT_TRUE(p.enhanced.peakCurrentEnabled) << where;
        EXPECT_TRUE(p.enhanced.enhancedParamsEnabled) << where;
        EXPECT_EQ(p.firstGraphPage, 0) << where;
    }
}

TEST(ModelProfile, StepperUnitsTitlesAndRegulatorControls)
{
    const ModelProfile dc = identifyDevice(type(3, 5), version(4, 0));
    EXPECT_FALSE(dc.stepperUnits);
    EXPECT_EQ(dc.titles.acceleration, QString::fromUtf8("0x40-Acc [p/s²]"));
    EXPECT_EQ(dc.titles.deceleration, QString::fromUtf8("0x41-Dec [p/s²]"));
    EXPECT_EQ(dc.titles.topSpeed, "0x42-Top spd [p/s]");
    EXPECT_EQ(dc.titles.position, "0x26-Position [p]");
    EXPECT_EQ(dc.titles.speed, "0x28-Speed [p/s]");
    EXPECT_EQ(dc.titles.desired, "0x30-Desired state [p/s]");
    EXPECT_EQ(dc.enhanced.goalInPulsesText, "EnGoal in pulses [B0 to B3]");
    EXPECT_EQ(dc.enhanced.pulsesLabel, "Pulses :");
    EXPECT_EQ(dc.enhanced.totalPulsesLabel, "Total pulses per loop :");
    EXPECT_EQ(dc.statusTexts.timeInService, "-- [s]");
    EXPECT_EQ(dc.statusTexts.powerUps, "#PUp : -");
    EXPECT_EQ(dc.statusTexts.temperature, QString::fromUtf8("-- [°C]"));

    const ModelProfile st = identifyDevice(type(43, 102), version(3, 0));
    EXPECT_TRUE(st.stepperUnits);
    EXPECT_EQ(st.titles.acceleration, QString::fromUtf8("0x40-Acc [µStep/s²]"));
    EXPECT_EQ(st.titles.deceleration, QString::fromUtf8("0x41-Dec [µStep/s²]"));
    EXPECT_EQ(st.titles.topSpeed, QString::fromUtf8("0x42-Top spd [µStep/s]"));
    EXPECT_EQ(st.titles.position, QString::fromUtf8("0x26-Pos [µStep]"));
    EXPECT_EQ(st.titles.speed, QString::fromUtf8("0x28-Speed [µStep/s]"));
    EXPECT_EQ(st.titles.desired, "0x30-Pos [step]");
    EXPECT_EQ(st.enhanced.goalInPulsesText, QString::fromUtf8("EnGoal in µStep [B0 to B3]"));
    EXPECT_EQ(st.enhanced.pulsesLabel, QString::fromUtf8("µStep :"));
    EXPECT_EQ(st.enhanced.totalPulsesLabel, QString::fromUtf8("Total µStep per loop :"));
    // MICRO SIGN and SUPERSCRIPT TWO, not the Greek mu.
    EXPECT_EQ(st.titles.acceleration.at(10), QChar(0x00B5));
    EXPECT_EQ(st.titles.acceleration.at(17), QChar(0x00B2));

    struct Case
    {
        uint32_t type;
        bool regulatorControls;
    };
    const Case cases[] = {
        {type(43, 1), false}, {type(43, 2), false}, {type(43, 102), false},
        {type(43, 3), false}, {type(43, 4), false}, {type(43, 5), false},
        {type(43, 6), true},  {type(43, 0), true},  {type(3, 5), true},
    };
    for (const Case &c : cases) {
        const ModelProfile p = identifyDevice(c.type, version(3, 0));
        const std::string where = label(c.type, version(3, 0));
        EXPECT_EQ(p.regulation.kp, c.regulatorControls) << where;
        EXPECT_EQ(p.regulation.ki, c.regulatorControls) << where;
        EXPECT_EQ(p.regulation.kd, c.regulatorControls) << where;
        EXPECT_EQ(p.regulation.antiResetWindup, c.regulatorControls) << where;
        EXPECT_EQ(p.regulation.deadZone, c.regulatorControls) << where;
        EXPECT_EQ(p.regulation.encoderRatio, c.regulatorControls) << where;
        EXPECT_TRUE(p.regulation.acceleration) << where;
        EXPECT_TRUE(p.regulation.deceleration) << where;
        EXPECT_TRUE(p.regulation.topSpeed) << where;
    }
}

TEST(ModelProfile, HomingTypeListsPerModel)
{
    const auto defaults = defaultHomingTypes();
    EXPECT_EQ(defaults[0], "Already at home, stay");
    EXPECT_EQ(defaults[2], "- with index'");
    EXPECT_EQ(defaults[3], "+ with index'");
    EXPECT_EQ(defaults[11], "Limit 1 + with index");
    EXPECT_EQ(defaults[12], "Step pos");
    EXPECT_EQ(defaults[13], "Step pos + Limit 1");

    struct Case
    {
        uint32_t type;
        Bits dashes;
        bool startInput;
    };
    const Case cases[] = {
        {type(7, 1), {14, 15}, false},
        {type(2, 1), {12, 13, 14, 15}, false},
        {type(6, 4), {12, 13, 14, 15}, false},
        {type(25, 1), {12, 13, 14, 15}, false},
        {type(3, 4), {2, 3, 6, 7, 10, 11, 12, 13, 14, 15}, false},
        {type(3, 150), {2, 3, 6, 7, 10, 11, 12, 13, 14, 15}, false},
        {type(3, 200), {12, 13, 14, 15}, false},
        {type(3, 300), {14, 15}, false},
        {type(43, 1), with(range(2, 11), {14, 15}), true},
        {type(43, 102), with(range(2, 11), {14, 15}), true},
        {type(43, 7), {14, 15}, true},
    };
    for (const Case &c : cases) {
        const ModelProfile p = identifyDevice(c.type, version(3, 0));
        const std::string where = label(c.type, version(3, 0));
        for (int i = 0; i < 16; ++i) {
            const QString expected = c.dashes.count(i) ? QStringLiteral("-") : defaults[size_t(i)];
            EXPECT_EQ(p.homing.types[size_t(i)], expected) << where << " item " << i;
        }
        EXPECT_EQ(p.homing.selectedType, 0) << where;
        EXPECT_EQ(p.homing.startInputEnabled, c.startInput) << where;
    }
}

TEST(DisplayTest, ComposesTypeAndVersionFromSixFields)
{
    const auto values = displayTestValues("43", "102", "1", "2", "3", "4");
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->first, 0x002B0066u);
    EXPECT_EQ(values->second, 0x01020304u);

    const auto top = displayTestValues("65535", "65535", "255", "255", "255", "255");
    ASSERT_TRUE(top.has_value());
    EXPECT_EQ(top->first, 0xFFFFFFFFu);
    EXPECT_EQ(top->second, 0xFFFFFFFFu);

    // Without a hardware-high byte the short form decodes: major 7, minor 0x0012.
    const auto shortForm = displayTestValues("6", "4", "0", "7", "0", "18");
    ASSERT_TRUE(shortForm.has_value());
    const ModelProfile p = identifyDevice(shortForm->first, shortForm->second);
    EXPECT_EQ(p.modelName, "NETEC-A");
    EXPECT_TRUE(p.feedForward);
    EXPECT_TRUE(p.enhanced.noLoopsOptionEnabled);

    const QStringList bad = {
        "", "-1", "1.5", " 1", "1 ", "abc", "+1", "0x1", "99999999999999999999999"};
    for (const QString &text : bad) {
        EXPECT_FALSE(displayTestValues("2", "1", "0", "3", "0", text)) << text.toStdString();
        EXPECT_FALSE(displayTestValues(text, "1", "0", "3", "0", "2")) << text.toStdString();
    }
    EXPECT_TRUE(displayTestValues("65535", "0", "0", "0", "0", "0"));
    EXPECT_FALSE(displayTestValues("65536", "0", "0", "0", "0", "0"));
    EXPECT_FALSE(displayTestValues("0", "65536", "0", "0", "0", "0"));
    EXPECT_FALSE(displayTestValues("0", "0", "256", "0", "0", "0"));
}

} // namespace
