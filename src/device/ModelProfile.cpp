// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/ModelProfile.h"

#include "device/QLMCIPMotor.h"
#include "device/RegisterLock.h"

#include <initializer_list>

namespace {

constexpr uint32_t EthernetDCType = 2;
constexpr uint32_t BusDCType = 3;
constexpr uint32_t EthernetECType = 6;
constexpr uint32_t BusECType = 25;

constexpr int32_t Amperes15 = 0xF0000;  // 15.0 A in 16.16
constexpr int32_t Amperes3 = 0x30000;   // 3.0 A
constexpr int32_t Amperes2_5 = 0x28000; // 2.5 A
constexpr int32_t Amperes2 = 0x20000;   // 2.0 A
constexpr int32_t Amperes1_5 = 0x18000; // 1.5 A
constexpr int32_t Amperes0_15 = 0x2666; // 0.15 A, truncated

void grantRead(ModelProfile &p, std::initializer_list<int> addresses)
{
    for (int a : addresses)
        p.access[static_cast<size_t>(a)] = {true, false};
}

void grantReadWrite(ModelProfile &p, std::initializer_list<int> addresses)
{
    for (int a : addresses)
        p.access[static_cast<size_t>(a)] = {true, true};
}

// 0x33..0x37: Kp, Ki, Kd, anti-reset windup and integral delta.
void grantRegulatorGains(ModelProfile &p)
{
    grantReadWrite(p, {Reg::Kp, Reg::Ki, Reg::Kd, Reg::AntiResetWindup, Reg::IntegralDelta});
}

// 0x4D..0x4F: enhanced command, loops configuration and enhanced parameters.
void grantEnhanced(ModelProfile &p)
{
    grantReadWrite(p, {Reg::EnhancedInput, Reg::LoopsConfig, Reg::EnhancedParams});
}

// Firmware 7 and later counts power-ups and service time and has the I/O registers.
void grantFirmware7Counters(ModelProfile &p)
{
    if (p.identity.major >= 7) {
        grantRead(p, {Reg::PowerUpCount, Reg::TimeInService});
        grantReadWrite(p, {Reg::IoConfig, Reg::IoState});
    }
}

void enableWarnings(ModelProfile &p, std::initializer_list<int> bits, bool on = true)
{
    for (int b : bits)
        p.warningCaptions.set(static_cast<size_t>(b), on);
}

void enableOptions(ModelProfile &p, std::initializer_list<int> bits, bool on = true)
{
    for (int b : bits)
        p.optionBoxes.set(static_cast<size_t>(b), on);
}

void clearHomingTypes(ModelProfile &p, std::initializer_list<int> indexes)
{
    for (int i : indexes)
        p.homing.types[static_cast<size_t>(i)] = QStringLiteral("-");
}

// The access every model has, from the register table. 0x55 and 0x56 start
// without access; only models with the I/O feature grant them.
void applyCommonAccess(ModelProfile &p)
{
    for (const RegisterInfo &info : registerTable()) {
        if (info.address < 0)
            continue;
        RegisterAccess &acc = p.access[static_cast<size_t>(info.address)];
        switch (info.access) {
        case BaseAccess::None:
            acc = {false, false};
            break;
        case BaseAccess::Read:
            acc = {true, false};
            break;
        case BaseAccess::ReadWrite:
            acc = {true, true};
            break;
        case BaseAccess::Command:
            acc = {false, true};
            break;
        case BaseAccess::FeedForward:
            acc = {p.feedForward, p.feedForward};
            break;
        }
    }
    p.access[Reg::IoConfig] = {false, false};
    p.access[Reg::IoState] = {false, false};
}

// Type 2: Ethernet DC controller.
void identifyEthernetDC(ModelProfile &p)
{
    const DeviceIdentity &id = p.identity;
    p.family = ModelFamily::EthernetDC;
    p.modelName = QStringLiteral("NETDC-A");
    p.maxPeakCurrent = Amperes3;
    p.showWarning = id.subType > 2;

    grantReadWrite(p, {Reg::EthernetMac, Reg::SubnetMask, Reg::TcpWatchdog, Reg::LoopTimeOption,
                       Reg::MaxOutputVoltage});
    grantRead(p, {Reg::Feedback, Reg::Command});
    grantRegulatorGains(p);
    grantRead(p, {Reg::DerivationOfDelta});
    grantReadWrite(p, {Reg::DeadZone});

    enableWarnings(p, {0});
    clearHomingTypes(p, {12, 13, 14, 15});
}

// Type 6: Ethernet EC controller; sub-type 3 is the older B model.
void identifyEthernetEC(ModelProfile &p)
{
    const DeviceIdentity &id = p.identity;
    p.family = ModelFamily::EthernetEC;
    p.maxPeakCurrent = Amperes15;
    p.showWarning = id.subType > 5;

    enableWarnings(p, {0});
    clearHomingTypes(p, {12, 13, 14, 15});
    if (id.versionAbove(7, 2)) {
        enableOptions(p, {12});
        enableWarnings(p, {26});
    }
    if (id.versionAbove(7, 17))
        p.enhanced.noLoopsOptionEnabled = true;

    if (id.subType == 3) {
        p.modelName = QStringLiteral("NETEC-B");
        grantFirmware7Counters(p);
        grantReadWrite(p, {Reg::EthernetMac, Reg::SubnetMask, Reg::TcpWatchdog});
        grantRead(p, {Reg::Temperature});
        grantReadWrite(p, {Reg::LoopTimeOption, Reg::MaxOutputVoltage});
        grantRead(p, {Reg::Feedback, Reg::Command});
        grantRegulatorGains(p);
        grantRead(p, {Reg::DerivationOfDelta});
        grantReadWrite(p, {Reg::AutoTuning, Reg::DeadZone});
        if (id.major >= 3)
            grantEnhanced(p);
        if (id.versionAbove(5, 12))
            grantReadWrite(p, {Reg::StandbyTimer});

        p.menus.autoTuning = true;
        if (id.major >= 3) {
            p.menus.loopsInput = true;
            enableWarnings(p, {20});
        }
        enableWarnings(p, {12, 18});
        if (id.versionAbove(5, 7))
            enableWarnings(p, {24});
        if (id.versionAbove(7, 13))
            enableWarnings(p, {28});
        enableOptions(p, {8, 9});
    } else if (id.subType >= 4) {
        p.modelName = QStringLiteral("NETEC-A");
        grantRead(p, {Reg::PowerUpCount, Reg::TimeInService});
        grantReadWrite(p, {Reg::StandbyTimer, Reg::EthernetMac, Reg::SubnetMask, Reg::TcpWatchdog});
        grantRead(p, {Reg::Temperature, Reg::CurrentSense});
        grantReadWrite(p, {Reg::LoopTimeOption, Reg::MaxOutputVoltage, Reg::DissipationVoltage});
        grantRead(p, {Reg::Feedback, Reg::Command});
        grantRegulatorGains(p);
        grantRead(p, {Reg::DerivationOfDelta});
        grantReadWrite(p, {Reg::AutoTuning, Reg::DeadZone, Reg::EncoderRatio});
        grantEnhanced(p);
        grantReadWrite(p, {Reg::IoConfig, Reg::IoState});

        p.currentSenseTabVisible = true;
        p.dissipationVoltageEnabled = true;
        p.menus.autoTuning = true;
        p.menus.loopsInput = true;
        enableWarnings(p, {12, 18, 20, 22, 24});
        if (id.versionAbove(7, 13))
            enableWarnings(p, {28});
        enableOptions(p, {8, 9, 10, 11, 16});
    }
    // Sub-types 0..2 are not models of this type: no grant of their own.
}

// Type 3: DC modules on the I2C bus.
void identifyBusDC(ModelProfile &p)
{
    const DeviceIdentity &id = p.identity;
    const uint32_t sub = id.subType;
    const bool c = sub >= 5 && sub <= 99;
    const bool a = sub >= 100 && sub <= 199;
    const bool b = sub >= 200 && sub <= 299;
    p.family = ModelFamily::BusDC;
    if (c) {
        p.modelName = QStringLiteral("BUSDC-C");
        p.maxPeakCurrent = Amperes2;
    } else if (a) {
        p.modelName = QStringLiteral("BUSDC-A");
        p.maxPeakCurrent = Amperes2;
    } else if (b) {
        p.modelName = QStringLiteral("BUSDC-B");
        p.maxPeakCurrent = Amperes2_5;
    }
    p.showWarning = (sub >= 7 && sub <= 99) || (sub >= 101 && sub <= 199) || sub >= 201;

    grantFirmware7Counters(p);
    grantReadWrite(p, {Reg::StandbyTimer, Reg::LoopTimeOption, Reg::MaxOutputVoltage,
                       Reg::DissipationVoltage});
    grantRead(p, {Reg::Feedback, Reg::Command});
    grantRegulatorGains(p);
    grantRead(p, {Reg::DerivationOfDelta});
    if (sub >= 5)
        grantReadWrite(p, {Reg::AutoTuning, Reg::DeadZone});
    if ((c && id.major >= 4) || sub >= 100)
        grantEnhanced(p);
    if (b)
        grantRead(p, {Reg::Temperature});

    if (id.versionAbove(7, 17))
        p.enhanced.noLoopsOptionEnabled = true;
    if (id.versionAbove(7, 13))
        enableWarnings(p, {28});
    // Below sub-type 200 the modules have no index input.
    if (sub < 200)
        clearHomingTypes(p, {2, 3, 6, 7, 10, 11, 12, 13, 14, 15});
    else if (b)
        clearHomingTypes(p, {12, 13, 14, 15});

    if (c) {
        p.menus.autoTuning = true;
        if (id.major >= 4) {
            p.menus.loopsInput = true;
            enableWarnings(p, {20});
        }
        if (id.versionAbove(7, 2))
            enableOptions(p, {12, 13});
    } else if (a) {
        p.modeButtons[6] = true;
        p.menus.autoTuning = true;
        p.menus.loopsInput = true;
        enableWarnings(p, {20});
        enableOptions(p, {17, 18});
        if (id.versionAbove(7, 2))
            enableOptions(p, {12});
    } else if (b) {
        p.menus.autoTuning = true;
        p.menus.loopsInput = true;
        enableWarnings(p, {18, 20, 26});
        enableOptions(p, {12});
    }
}

// Type 25: EC module on the I2C bus.
void identifyBusEC(ModelProfile &p)
{
    const DeviceIdentity &id = p.identity;
    p.family = ModelFamily::BusEC;
    p.modelName = QStringLiteral("BUSEC-A");
    p.maxPeakCurrent = Amperes15;
    p.showWarning = id.subType > 1;
    // This model's warning is shown as one line.
    p.warningText = QStringLiteral("Your device model is not completely supported by this "
                                   "application.Please download last version from Quelmo website.");

    grantFirmware7Counters(p);
    grantReadWrite(p, {Reg::StandbyTimer});
    grantRead(p, {Reg::Temperature});
    grantReadWrite(p, {Reg::LoopTimeOption, Reg::MaxOutputVoltage, Reg::DissipationVoltage});
    grantRead(p, {Reg::Feedback, Reg::Command});
    grantRegulatorGains(p);
    grantRead(p, {Reg::DerivationOfDelta});
    grantReadWrite(p, {Reg::AutoTuning, Reg::DeadZone});
    grantEnhanced(p);

    enableWarnings(p, {0});
    clearHomingTypes(p, {12, 13, 14, 15});
    if (id.versionAbove(7, 17))
        p.enhanced.noLoopsOptionEnabled = true;

    if (id.subType >= 1) {
        if (id.major >= 3) {
            p.dissipationVoltageEnabled = true;
            enableWarnings(p, {22});
            enableOptions(p, {16});
        }
        p.menus.autoTuning = true;
        p.menus.loopsInput = true;
        enableWarnings(p, {12, 18, 20});
        if (id.versionAbove(3, 1))
            enableWarnings(p, {24});
        if (id.versionAbove(7, 13))
            enableWarnings(p, {28});
        enableOptions(p, {8, 9});
        if (id.versionAbove(7, 2)) {
            enableOptions(p, {12, 13});
            enableWarnings(p, {26});
        }
    }
}

// Type 43: stepper modules, positions in micro-steps.
void identifyStepper(ModelProfile &p)
{
    const DeviceIdentity &id = p.identity;
    const uint32_t sub = id.subType;
    p.family = ModelFamily::Stepper;
    switch (sub) {
    case 1:
        p.modelName = QStringLiteral("BUSST-A");
        p.maxPeakCurrent = Amperes1_5;
        break;
    case 2:
    case 102:
        p.modelName = QStringLiteral("BUSST-B");
        p.maxPeakCurrent = Amperes0_15;
        break;
    case 3:
    case 5:
        p.modelName = QStringLiteral("BUSST-C");
        p.maxPeakCurrent = Amperes1_5;
        break;
    case 4:
        p.modelName = QStringLiteral("BUSST-D");
        p.maxPeakCurrent = Amperes1_5;
        break;
    default:
        break;
    }
    p.showWarning = sub > 5 && sub != 102;
    const bool listed = !p.modelName.isEmpty();
    const bool withIo = sub >= 3 && sub <= 5;

    if (id.major >= 3)
        grantRead(p, {Reg::PowerUpCount, Reg::TimeInService});
    grantReadWrite(p, {Reg::StandbyTimer, Reg::LoopRest, Reg::HomingStartInput});
    grantEnhanced(p);
    if (withIo)
        grantReadWrite(p, {Reg::IoConfig, Reg::IoState});

    p.stepperUnits = true;
    p.titles.acceleration = QStringLiteral("0x40-Acc [\u00B5Step/s\u00B2]");
    p.titles.deceleration = QStringLiteral("0x41-Dec [\u00B5Step/s\u00B2]");
    p.titles.topSpeed = QStringLiteral("0x42-Top spd [\u00B5Step/s]");
    p.titles.position = QStringLiteral("0x26-Pos [\u00B5Step]");
    p.titles.speed = QStringLiteral("0x28-Speed [\u00B5Step/s]");
    p.titles.desired = QStringLiteral("0x30-Pos [step]");
    p.enhanced.goalInPulsesText = QStringLiteral("EnGoal in \u00B5Step [B0 to B3]");
    p.enhanced.pulsesLabel = QStringLiteral("\u00B5Step :");
    p.enhanced.totalPulsesLabel = QStringLiteral("Total \u00B5Step per loop :");

    if (listed) {
        // Open-loop drive: no regulator, no loop time; standby is available.
        p.menus.loopTime = false;
        p.modeButtons[6] = true;
        p.regulation.kp = false;
        p.regulation.ki = false;
        p.regulation.kd = false;
        p.regulation.antiResetWindup = false;
        p.regulation.deadZone = false;
        p.regulation.encoderRatio = false;
        clearHomingTypes(p, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 15});
    }

    p.menus.ioState = withIo;
    p.homing.startInputEnabled = true;
    p.menus.loopsInput = true;
    if (id.versionAbove(3, 17))
        p.enhanced.noLoopsOptionEnabled = true;
    enableWarnings(p, {8}, false);
    enableWarnings(p, {20});
    if (id.versionAbove(3, 13))
        enableWarnings(p, {28});
    enableOptions(p, {0, 2, 3, 4, 7}, false);
    enableOptions(p, {17, 18, 19, 20, 21});
    if (id.versionAbove(3, 8))
        enableOptions(p, {22});
    p.outputVoltageMaxEnabled = false;
}

} // namespace

std::array<QString, 16> defaultHomingTypes()
{
    return {QStringLiteral("Already at home, stay"),
            QStringLiteral("Already at home, set input"),
            QStringLiteral("- with index'"),
            QStringLiteral("+ with index'"),
            QStringLiteral("Current -"),
            QStringLiteral("Current +"),
            QStringLiteral("Current - with index"),
            QStringLiteral("Current + with index"),
            QStringLiteral("Limit 1 -"),
            QStringLiteral("Limit 1 +"),
            QStringLiteral("Limit 1 - with index"),
            QStringLiteral("Limit 1 + with index"),
            QStringLiteral("Step pos"),
            QStringLiteral("Step pos + Limit 1"),
            QStringLiteral("-"),
            QStringLiteral("-")};
}

ModelProfile::ModelProfile()
{
    for (int bit : {2, 4, 6, 8, 10, 14, 16})
        warningCaptions.set(static_cast<size_t>(bit));
    for (int bit : {0, 1, 2, 3, 4, 5, 6, 7, 14, 15, 23, 24})
        optionBoxes.set(static_cast<size_t>(bit));
}

bool ModelProfile::isReadable(int address) const
{
    return address >= 0 && address < RegisterCount && access[static_cast<size_t>(address)].readable;
}

bool ModelProfile::isWritable(int address) const
{
    return address >= 0 && address < RegisterCount && access[static_cast<size_t>(address)].writable;
}

ModelProfile identifyDevice(uint32_t deviceType, uint32_t deviceVersion)
{
    ModelProfile p;
    p.identity = DeviceIdentity::decode(deviceType, deviceVersion);
    const DeviceIdentity &id = p.identity;
    p.feedForward = id.feedForward();
    p.known = true;
    p.warningTitle = QStringLiteral("Warning");
    p.warningText = QStringLiteral("Your device model is not completely supported by this "
                                   "application.\r\nPlease download last version from Quelmo "
                                   "website.");

    applyCommonAccess(p);

    // Pulse-based defaults that depend on the firmware.
    p.regulation.feedForward = p.feedForward;
    p.autoTuningPredictiveEnabled = p.feedForward;
    p.menus.ioState = id.major > 6;

    switch (id.typeCode) {
    case EthernetDCType:
        identifyEthernetDC(p);
        break;
    case EthernetECType:
        identifyEthernetEC(p);
        break;
    case BusDCType:
        identifyBusDC(p);
        break;
    case BusECType:
        identifyBusEC(p);
        break;
    case StepperTypeCode:
        identifyStepper(p);
        break;
    default:
        p.known = false;
        p.refusalTitle = QStringLiteral("Error");
        p.refusalText = QStringLiteral("This application does not support this device type !");
        break;
    }

    p.firstGraphPage = 0;
    p.caption = QStringLiteral("Ethernet Motor Controller - ") + p.modelName
                + QStringLiteral("  (TYPE = ") + QString::number(id.typeCode) + QLatin1Char('.')
                + QString::number(id.subType) + QLatin1Char(')');
    return p;
}

void applyRegisterAccess(const ModelProfile &profile, QLMCIPMotor &motor)
{
    RegisterLockGuard guard(motor.lock());
    for (int address = 0; address < RegisterCount; ++address) {
        const RegisterAccess &acc = profile.access[static_cast<size_t>(address)];
        motor.setAccess(address, acc.readable, acc.writable);
    }
}
