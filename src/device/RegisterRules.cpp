// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/RegisterRules.h"

#include "base/Diagnostics.h"
#include "device/ChangeHistory.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "protocol/ConnectionState.h"

#include <cmath>

namespace RegisterRules {

namespace {

QString hex2(int value)
{
    return QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

int64_t signedOf(std::span<const uint8_t> bytes)
{
    uint64_t value = 0;
    for (uint8_t byte : bytes)
        value = (value << 8) | byte;
    if (bytes.size() == 4)
        return int32_t(uint32_t(value));
    if (bytes.size() == 1)
        return int8_t(uint8_t(value));
    return int64_t(value);
}

uint64_t unsignedOf(std::span<const uint8_t> bytes)
{
    uint64_t value = 0;
    for (uint8_t byte : bytes)
        value = (value << 8) | byte;
    return value;
}

QString amperes(double raw)
{
    return QString::number(raw / 65536.0, 'f', 5) + QStringLiteral(" A");
}

QString volts(int64_t raw)
{
    return QString::number(double(raw) / 65536.0, 'f', 1) + QStringLiteral(" V");
}

QString modelText(const ModelProfile &profile)
{
    return profile.modelName.isEmpty() ? QStringLiteral("this model") : profile.modelName;
}

/// The other value of a pair: from the batch when written with it, else the
/// device's value in this connection.
std::optional<int64_t> companion(const RuleContext &context, std::span<const RegisterWrite> batch,
                                 int address)
{
    for (const RegisterWrite &w : batch)
        if (w.address == address && w.bytes.size() == 4)
            return signedOf(w.bytes);
    if (context.deviceValue)
        if (const auto bytes = context.deviceValue(address); bytes && bytes->size() == 4)
            return signedOf(*bytes);
    return std::nullopt;
}

std::optional<QString> optionsRefusal(const RuleContext &context, const ModelProfile &profile,
                                      uint32_t value)
{
    if (value & OptionUnusedMask)
        return QStringLiteral("bits 25..31 are not used and must be 0");
    // A bit the model does not offer keeps the value the device holds (0 when
    // that is not known): the options window writes all 25 bits at every click.
    uint32_t inForce = 0;
    if (context.deviceValue)
        if (const auto bytes = context.deviceValue(Reg::Options); bytes && bytes->size() == 4)
            inForce = uint32_t(unsignedOf(*bytes));
    for (int bit = 0; bit < 25; ++bit) {
        const uint32_t mask = 1u << bit;
        if (!profile.optionBoxes.test(size_t(bit)) && ((value ^ inForce) & mask))
            return QStringLiteral("option bit %1 is not offered on %2").arg(bit).arg(
                modelText(profile));
    }
    return std::nullopt;
}

std::optional<QString> enhancedRefusal(const ModelProfile &profile, std::span<const uint8_t> b)
{
    const uint8_t options = b[0];
    const int function = int8_t(b[1]);
    if ((options & 0x04) && !profile.enhanced.noLoopsOptionEnabled)
        return QStringLiteral("the absolute-value option (bit 2) is not offered on %1")
            .arg(modelText(profile));
    if ((options & 0x08) && !profile.enhanced.peakCurrentEnabled)
        return QStringLiteral("the peak-current option (bit 3) is not offered on %1")
            .arg(modelText(profile));
    if (!(function >= -100 && function <= 117))
        return QStringLiteral("function %1 is neither a loop count -100..100 nor a command "
                              "101..117")
            .arg(function);
    const int64_t goal = signedOf(b.subspan(2, 4));
    if (options & 0x10) {
        if (b[2] != 0)
            return QStringLiteral("a percentage goal has no sign byte (B3 must be 0)");
    } else if (goal < -GoalPulsesLimit || goal > GoalPulsesLimit) {
        return QStringLiteral("goal %1 pulses is outside -1000000000..1000000000").arg(goal);
    }
    return std::nullopt;
}

std::optional<QString> homingRefusal(const ModelProfile &profile, uint32_t value)
{
    if (value & 0xFF000070u)
        return QStringLiteral("bits 4..6 and 24..31 are not used and must be 0");
    const int type = int(value & 0x0F);
    if (profile.homing.types[size_t(type)] == QLatin1String("-"))
        return QStringLiteral("homing type %1 is not offered on %2").arg(type).arg(
            modelText(profile));
    return std::nullopt;
}

/// 0x49 starts the homing type in force: the one written with it, else the
/// one the device sent in this connection (unknown: nothing to judge).
std::optional<QString> homingStartRefusal(const RuleContext &context, const ModelProfile &profile,
                                          std::span<const RegisterWrite> batch)
{
    std::optional<uint32_t> options;
    for (const RegisterWrite &w : batch)
        if (w.address == Reg::HomingOption && w.bytes.size() == 4)
            options = uint32_t(unsignedOf(w.bytes));
    if (!options && context.deviceValue)
        if (const auto bytes = context.deviceValue(Reg::HomingOption); bytes && bytes->size() == 4)
            options = uint32_t(unsignedOf(*bytes));
    if (!options)
        return std::nullopt;
    const int type = int(*options & 0x0F);
    if (profile.homing.types[size_t(type)] == QLatin1String("-"))
        return QStringLiteral("the homing type %1 in 0x48 is not offered on %2").arg(type).arg(
            modelText(profile));
    return std::nullopt;
}

std::optional<QString> ioConfigRefusal(uint16_t value)
{
    if (value & 0xFF00)
        return QStringLiteral("the high byte is not used and must be 0");
    for (int line = 1; line <= 2; ++line) {
        const int code = line == 1 ? value & 0x0F : (value >> 4) & 0x0F;
        if (code > IoConfigLastCode)
            return QStringLiteral("I/O %1 code %2 is reserved (0..%3)").arg(line).arg(code).arg(
                IoConfigLastCode);
    }
    return std::nullopt;
}

std::optional<QString> peakRefusal(const ModelProfile &profile, std::span<const uint8_t> b)
{
    // Bytes 6..7: the peak current in 1/256 A; the model's maximum is 16.16 A.
    const int64_t peak = int64_t(unsignedOf(b.subspan(6, 2)));
    if (peak * 256 > int64_t(profile.maxPeakCurrent))
        return QStringLiteral("the peak current %1 is above the maximum peak current %2 of %3")
            .arg(amperes(double(peak * 256)))
            .arg(amperes(profile.maxPeakCurrent))
            .arg(modelText(profile));
    return std::nullopt;
}

std::optional<QString> ruleRefusal(const RuleContext &context, const ModelProfile &profile,
                                   const RegisterWrite &w, std::span<const RegisterWrite> batch)
{
    const std::span<const uint8_t> b(w.bytes);
    const int64_t value = signedOf(b);
    switch (w.address) {
    case Reg::CurrentMax:
        if (!currentMaxAllowed(double(value), profile.maxPeakCurrent))
            return value < 0 ? QStringLiteral("%1 is negative").arg(amperes(double(value)))
                             : QStringLiteral("%1 is above the maximum peak current %2 of %3")
                                   .arg(amperes(double(value)))
                                   .arg(amperes(profile.maxPeakCurrent))
                                   .arg(modelText(profile));
        break;
    case Reg::TcpWatchdog:
        if (!watchdogAllowed(int64_t(b[0])))
            return QStringLiteral("%1 s: the watchdog is 0 (off) or 30..60 s").arg(b[0]);
        break;
    case Reg::StandbyTimer:
        if (!standbyAllowed(int64_t(unsignedOf(b))))
            return QStringLiteral("%1 ms is outside 0..32767 ms").arg(unsignedOf(b));
        break;
    case Reg::InputMin:
    case Reg::InputMax: {
        const bool isMin = w.address == Reg::InputMin;
        const std::optional<int64_t> other =
            companion(context, batch, isMin ? Reg::InputMax : Reg::InputMin);
        if (other && !inputLimitsAllowed(isMin ? value : *other, isMin ? *other : value))
            return QStringLiteral("the input minimum %1 is above the maximum %2")
                .arg(isMin ? value : *other)
                .arg(isMin ? *other : value);
        break;
    }
    case Reg::Options:
        return optionsRefusal(context, profile, uint32_t(unsignedOf(b)));
    case Reg::MaxOutputVoltage:
        if (!profile.outputVoltageMaxEnabled)
            return QStringLiteral("the output-voltage limit is not offered on %1")
                .arg(modelText(profile));
        if (!outputVoltageAllowed(value))
            return QStringLiteral("%1 is outside 5.0..50.0 V (or FFFFFFFF: no limit)")
                .arg(volts(value));
        break;
    case Reg::DissipationVoltage:
        if (!dissipationAllowed(value))
            return QStringLiteral("%1 is outside 5.0..55.0 V").arg(volts(value));
        break;
    case Reg::AddressIp:
        if (context.comMode != ComModes::TcpGateway && !hostAddressAllowed(b))
            return QStringLiteral("%1.%2.%3.%4 is not a host address (first field 1..223, last "
                                  "1..254)")
                .arg(b[0])
                .arg(b[1])
                .arg(b[2])
                .arg(b[3]);
        break;
    case Reg::RegulationMode:
        if (value < 0 || value > 6 || !profile.modeButtons[size_t(value)])
            return QStringLiteral("mode %1 is not offered on %2").arg(value).arg(
                modelText(profile));
        break;
    case Reg::LoopTimeOption:
        if (value < 0 || value > 6)
            return QStringLiteral("%1 is not a loop-time option 0..6").arg(value);
        break;
    case Reg::EnhancedInput:
        return enhancedRefusal(profile, b);
    case Reg::LoopsConfig: {
        const uint64_t denominator = unsignedOf(b.subspan(0, 4));
        const uint64_t numerator = unsignedOf(b.subspan(4, 4));
        if (denominator == 0)
            return QStringLiteral("the loop denominator must not be 0");
        if (numerator >= denominator)
            return QStringLiteral("the loop numerator %1 is not below the denominator %2")
                .arg(numerator)
                .arg(denominator);
        break;
    }
    case Reg::EnhancedParams:
        if (!profile.enhanced.enhancedParamsEnabled)
            return QStringLiteral("the enhanced parameters are not offered on %1")
                .arg(modelText(profile));
        return peakRefusal(profile, b);
    case Reg::HomingStart:
        return homingStartRefusal(context, profile, batch);
    case Reg::IoConfig:
        return ioConfigRefusal(uint16_t(unsignedOf(b)));
    case Reg::HomingOption:
        return homingRefusal(profile, uint32_t(unsignedOf(b)));
    case Reg::Limit1ControlMode:
    case Reg::Limit2ControlMode:
        if (value < 0 || value > 5)
            return QStringLiteral("%1 is not a limit control mode 0..5").arg(value);
        break;
    default:
        if (isNonNegativeParameter(w.address) && value < 0)
            return QStringLiteral("%1 is negative (0..2147483647)").arg(value);
        break;
    }
    return std::nullopt;
}

} // namespace

bool currentMaxAllowed(double raw, int32_t maxPeakCurrent)
{
    return std::isfinite(raw) && raw >= 0 && raw <= double(maxPeakCurrent);
}

bool watchdogAllowed(int64_t seconds)
{
    return seconds == 0 || (seconds >= WatchdogMin && seconds <= WatchdogMax);
}

bool standbyAllowed(int64_t milliseconds)
{
    return milliseconds >= 0 && milliseconds <= StandbyMax;
}

bool inputLimitsAllowed(int64_t minimum, int64_t maximum)
{
    return minimum <= maximum;
}

bool outputVoltageAllowed(int64_t raw)
{
    return raw == VoltageOff || (raw >= OutputVoltageMinRaw && raw <= OutputVoltageMaxRaw);
}

bool dissipationAllowed(int64_t raw)
{
    return raw >= DissipationMinRaw && raw <= DissipationMaxRaw;
}

bool isNonNegativeParameter(int address)
{
    switch (address) {
    case Reg::Kp:
    case Reg::Ki:
    case Reg::Kd:
    case Reg::AntiResetWindup:
    case Reg::Acceleration:
    case Reg::Deceleration:
    case Reg::SpeedMax:
    case Reg::DeadZone:
    case Reg::EncoderRatio:
    case Reg::Kvff:
    case Reg::Kaff:
    case Reg::Kdff:
        return true;
    default:
        return false;
    }
}

bool hostAddressAllowed(std::span<const uint8_t> b)
{
    return b.size() == 4 && b[0] >= 1 && b[0] <= 223 && b[3] >= 1 && b[3] <= 254;
}

QString registerLabel(int address)
{
    QString label = QStringLiteral("0x") + hex2(address);
    if (address >= 0 && address < RegisterCount) {
        const RegisterInfo &info = registerTable()[size_t(address)];
        if (!info.name.empty())
            label += QLatin1Char(' ')
                     + QString::fromLatin1(info.name.data(), qsizetype(info.name.size()));
    }
    return label;
}

std::optional<QString> sizeRefusal(int address, size_t count)
{
    if (address < 0 || address >= RegisterCount || registerTable()[size_t(address)].address < 0)
        return QStringLiteral("0x%1 is not a register").arg(hex2(address & 0xFF));
    const int size = registerTable()[size_t(address)].size;
    if (size_t(size) != count)
        return QStringLiteral("%1 takes %2 bytes, not %3")
            .arg(registerLabel(address))
            .arg(size)
            .arg(count);
    return std::nullopt;
}

std::optional<QString> refusal(const RuleContext &context, const RegisterWrite &write,
                               std::span<const RegisterWrite> batch)
{
    if (const std::optional<QString> size = sizeRefusal(write.address, write.bytes.size()))
        return size;
    if (!context.profile)
        return std::nullopt;
    const ModelProfile &profile = *context.profile;
    if (!profile.isWritable(write.address))
        return registerLabel(write.address) + QStringLiteral(" is not writable on ")
               + modelText(profile);
    // Writing back the value the device holds changes nothing and breaks no rule
    // (a file sent to the controller it was saved from).
    if (!write.bytes.empty() && context.deviceValue
        && context.deviceValue(write.address) == write.bytes)
        return std::nullopt;
    if (const std::optional<QString> reason = ruleRefusal(context, profile, write, batch))
        return registerLabel(write.address) + QStringLiteral(": ") + *reason;
    return std::nullopt;
}

std::vector<RegisterRefusal> refusals(const RuleContext &context,
                                      std::span<const RegisterWrite> batch)
{
    std::vector<RegisterRefusal> result;
    for (const RegisterWrite &w : batch)
        if (std::optional<QString> reason = refusal(context, w, batch))
            result.push_back({w.address, *reason});
    return result;
}

RuleContext contextOf(QLMCSession &session)
{
    RuleContext context;
    context.profile = session.profile();
    context.comMode = session.connection().ComMode.load();
    context.deviceValue = [&session](int address) -> std::optional<std::vector<uint8_t>> {
        RegisterLockGuard guard(session.lock());
        const QLMCRegister *reg = session.motor().registerAt(address);
        if (!reg || !reg->received())
            return std::nullopt;
        return reg->Value;
    };
    return context;
}

std::vector<RegisterRefusal> requestWrites(QLMCSession &session,
                                           std::span<const RegisterWrite> batch, bool force)
{
    std::vector<RegisterRefusal> refused;
    RegisterLockGuard guard(session.lock());
    if (force) {
        for (const RegisterWrite &w : batch)
            if (std::optional<QString> reason = sizeRefusal(w.address, w.bytes.size()))
                refused.push_back({w.address, *reason});
    } else {
        refused = refusals(contextOf(session), batch);
    }
    if (!refused.empty())
        return refused;
    for (const RegisterWrite &w : batch)
        session.motor().RequestWriteBytes(w.address, w.bytes);
    return refused;
}

std::optional<QString> requestExplained(QLMCSession &session,
                                        std::span<const RegisterWrite> batch,
                                        const char *function, const char *source)
{
    const ChangeSource named(QString::fromUtf8(source));
    const std::vector<RegisterRefusal> refused = requestWrites(session, batch);
    for (const RegisterRefusal &r : refused)
        LogMessage("RegisterRules", __LINE__, function, LogOutput::File, LogLevelError,
                   LogActionNone, QStringLiteral("Write refused: ") + r.reason);
    if (refused.empty())
        return std::nullopt;
    return refused.front().reason;
}

bool requestChecked(QLMCSession &session, std::span<const RegisterWrite> batch,
                    const char *function, const char *source)
{
    return !requestExplained(session, batch, function, source);
}

std::vector<uint8_t> bytesOf(int address, int64_t value)
{
    const int size =
        address >= 0 && address < RegisterCount ? registerTable()[size_t(address)].size : 0;
    std::vector<uint8_t> bytes(size_t(size > 0 ? size : 0));
    for (int i = size - 1; i >= 0; --i) {
        bytes[size_t(i)] = uint8_t(value & 0xFF);
        value >>= 8;
    }
    return bytes;
}

RegisterWrite write(int address, int64_t value)
{
    return {address, bytesOf(address, value)};
}

} // namespace RegisterRules
