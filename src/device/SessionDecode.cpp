// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The session's decoding side: the answer of a read or write request is
// walked register by register under the lock, each value lands in its
// register and in the live records, and the listener hears what changed once
// the lock is released.
#include "device/QLMCSession.h"

#include "base/Diagnostics.h"
#include "device/OptionValues.h"
#include "device/ReadCycleObserver.h"
#include "device/SessionListener.h"
#include "platform/HighResCounter.h"

#include <algorithm>

namespace {

const char *const SourceName = "TMotor";
const char *const DecoderFunction = "QLMCIPMotor::DataReceived";

uint32_t u32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
int32_t s32(const uint8_t *p)
{
    return static_cast<int32_t>(u32(p));
}
uint16_t u16(const uint8_t *p)
{
    return uint16_t((p[0] << 8) | p[1]);
}
int16_t s16(const uint8_t *p)
{
    return static_cast<int16_t>(u16(p));
}
float fixed16(const uint8_t *p)
{
    return float(double(s32(p)) / 65536.0);
}
float fixed24(const uint8_t *p)
{
    return float(double(s32(p)) / 16777216.0);
}

QString unknownVariable(int address)
{
    return QStringLiteral("Unknown variable ADD=0x")
           + QString::number(address, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

// Notifications collected during the walk and sent once the lock is released.
struct Pending
{
    uint32_t displays = 0;
    uint32_t directValues = 0;
    bool limits = false;

    void display(SessionListener::Display d) { displays |= 1u << unsigned(d); }
    void direct(SessionListener::DirectValue v) { directValues |= 1u << unsigned(v); }
};

} // namespace

void QLMCSession::DataReceived(const QLMCIPPacket &answer)
{
    decode(answer, AnswerAssembler::CurrentGeneration, false);
}

bool QLMCSession::decode(const QLMCIPPacket &answer, uint32_t generation, bool claim)
{
    CommStatistics::LostPackets lost{0, 0};
    bool gatewayWrite = false;
    bool writeRefused = false;
    bool typeArrived = false;
    bool versionArrived = false;
    bool decoded = false;
    Pending pending;
    int unknownAddress = -1;
    bool ackError = false;
    ReceivedValues sample;
    int64_t sampleTicks = 0;
    bool commandDecoded = false;
    bool positionDecoded = false;
    {
        // One hold from the claim to the end of the walk: the sender cannot
        // build its next request (and overwrite what this answer is decoded
        // against: the phase, the gateway's requested addresses) in between.
        RegisterLockGuard guard(m_lock);
        // Open and Close raise the generation under this lock: an answer that
        // lost the race against them is not decoded into the next connection.
        if (!isCurrentGeneration(generation))
            return false;
        if (claim && !claimAnswer(answer.TransactionId))
            return false;

        // 1. Statistics; lost packets show when their count grows.
        lost = m_statistics.answerDecoded(HighResCounter::now(), HighResCounter::frequency());

        const int comMode = m_connection.ComMode.load();
        const int length = std::clamp<int32_t>(answer.Length, 0, Frame::MaxPayload);
        const uint8_t *payload = answer.Data.data();

        // 2. A gateway write answer carries one acknowledge (0x87) per write item.
        if (comMode == ComModes::TcpGateway && m_connection.Phase.load() != Phases::Read) {
            gatewayWrite = true;
            bool acknowledged = length == m_connection.GatewayWriteItems.load();
            for (int i = 0; i < length && acknowledged; ++i)
                acknowledged = payload[i] == 0x87;
            if (!acknowledged) {
                m_writeRefused = true;
                writeRefused = true;
            }
        } else {
            // 3. After a restore command the regulation parameters are read back.
            if (RestorePending.exchange(false))
                requestRegulationParameters();

            // 4. Walk the payload.
            // Every register this answer stores is marked with its number: only
            // marked registers hold a value the device sent in this connection.
            const uint64_t sequence = ++m_answerSequence;
            const bool gateway = comMode == ComModes::TcpGateway;
            if (!gateway && comMode != ComModes::TcpDirect && comMode != ComModes::Udp
                && comMode != ComModes::Closed)
                return true;
            int i = 0;
            size_t k = 0;
            while (i < length) {
                int address;
                if (gateway) {
                    // Gateway answers carry no addresses: take them from the request.
                    address = k < m_connection.RequestedAddresses.size()
                                  ? m_connection.RequestedAddresses[k]
                                  : 0xFF;
                    ++k;
                } else {
                    address = payload[i++];
                }
                if (!isRegisterAddress(address)) {
                    unknownAddress = address;
                    break;
                }
                QLMCRegister *reg = m_motor->registerAt(address);
                if (i + reg->Size > length) {
                    // The value would run past the payload: not decoded. A gateway
                    // whose module did not acknowledge may answer with status
                    // bytes only: the byte there is then the status byte.
                    if (gateway && i < length && payload[i] != 0x87)
                        ackError = true;
                    break;
                }
                std::copy_n(payload + i, reg->Size, reg->Value.begin());
                ++reg->AnswerCount;
                reg->ReceivedSequence = sequence;
                decoded = true;
                deliver(address, payload + i, typeArrived, versionArrived);
                commandDecoded = commandDecoded || address == Reg::Command;
                positionDecoded = positionDecoded || address == Reg::Position;
                switch (address) {
                case Reg::Options:
                case Reg::InputMin:
                case Reg::InputMax:
                case Reg::StandbyTimer:
                    pending.display(SessionListener::Display::Options);
                    break;
                case Reg::AutoTuning:
                    pending.display(SessionListener::Display::AutoTuning);
                    break;
                case Reg::HomingStartInput:
                case Reg::HomingOption:
                case Reg::HomingPosition:
                case Reg::HomingInput:
                    pending.display(SessionListener::Display::Calibration);
                    break;
                case Reg::EnhancedInput:
                    pending.display(SessionListener::Display::EnhancedCmd);
                    break;
                case Reg::LoopsConfig:
                    pending.display(SessionListener::Display::EnhancedRangeConfig);
                    break;
                case Reg::EnhancedParams:
                    pending.display(SessionListener::Display::EnhancedParam);
                    break;
                case Reg::TcpWatchdog:
                    pending.direct(SessionListener::DirectValue::TcpWatchdog);
                    break;
                case Reg::Name:
                    pending.direct(SessionListener::DirectValue::DeviceName);
                    break;
                case Reg::CurrentMax:
                    pending.direct(SessionListener::DirectValue::CurrentMax);
                    break;
                case Reg::MaxOutputVoltage:
                    pending.direct(SessionListener::DirectValue::OutputVoltageMax);
                    break;
                case Reg::DissipationVoltage:
                    pending.direct(SessionListener::DirectValue::DissipationVoltage);
                    break;
                case Reg::Limit2XInput:
                    pending.limits = true;
                    break;
                default:
                    break;
                }
                i += reg->Size;
                if (gateway) {
                    // Each gateway read item ends with the module's status byte.
                    if (i >= length || payload[i] != 0x87) {
                        ackError = true;
                        break;
                    }
                    ++i;
                }
            }
            if (decoded && GraphicEnabled.load()) {
                sample = Received;
                sampleTicks = HighResCounter::now();
            }
            if (typeArrived && versionArrived)
                Device.TypeVersionGeneration = m_connection.Generation.load();
            // A live read cycle: one line of a running recording (never waits).
            if (positionDecoded && !m_readCycleObservers.empty()) {
                const int64_t now = HighResCounter::now();
                for (ReadCycleObserver *observer : m_readCycleObservers)
                    observer->readCycleDecoded(Received, now, *m_motor);
            }
            if (commandDecoded && TuningRecorder.recording())
                TuningRecorder.record(HighResCounter::now(), Received.Position, Received.Speed,
                                      Received.Command);
        }
    }
    if (lost.now > 0 && lost.now > lost.previous)
        showStatus(3, QStringLiteral("Com error : %1 (PKT)").arg(lost.now));
    if (writeRefused)
        raiseCommError(SessionListener::CommError::Acknowledge, true);
    if (gatewayWrite)
        return true;

    if (ackError)
        raiseCommError(SessionListener::CommError::Acknowledge, false);
    if (unknownAddress >= 0) {
        LogMessage(SourceName, __LINE__, DecoderFunction, LogOutput::Default, LogLevelError,
                   LogActionNone, unknownVariable(unknownAddress));
    }
    if (m_listener) {
        for (unsigned d = 0; d < 32; ++d)
            if (pending.displays & (1u << d))
                m_listener->startWindowDisplay(SessionListener::Display(d));
        for (unsigned v = 0; v < 32; ++v)
            if (pending.directValues & (1u << v))
                m_listener->directValueReceived(SessionListener::DirectValue(v));
        if (pending.limits)
            m_listener->limitsReceived();
        if (typeArrived && versionArrived)
            m_listener->identificationReady();
    }
    // An unknown address ends the answer: nothing after it, no display.
    if (unknownAddress >= 0 || !decoded)
        return true;

    // 6. Graph sample, 7. display arming every DisplayDivider answers.
    if (GraphicEnabled.load() && m_listener)
        m_listener->graphSample(sample, sampleTicks);
    if (++AnswerCounter >= DisplayDivider.load()) {
        AnswerCounter = 0;
        if (m_listener)
            m_listener->armMainDisplay();
    }
    return true;
}

bool QLMCSession::deliver(int address, const uint8_t *v, bool &typeArrived, bool &versionArrived)
{
    ReceivedValues &r = Received;
    switch (address) {
    case Reg::Type:
        Device.DeviceType = u32(v);
        typeArrived = true;
        break;
    case Reg::Version:
        Device.DeviceVersion = u32(v);
        r.Version = u32(v);
        Flags.raise(ValueFlag::Version);
        versionArrived = true;
        break;
    case Reg::Voltage:
        r.Voltage = fixed16(v);
        Flags.raise(ValueFlag::Voltage);
        break;
    case Reg::Warning:
        Warning.Bits = u32(v);
        Flags.raise(ValueFlag::Warning);
        break;
    case Reg::PowerUpCount:
        r.PowerUpCount = u32(v);
        Flags.raise(ValueFlag::PowerUpCount);
        break;
    case Reg::TimeInService:
        r.TimeInService = u32(v);
        Flags.raise(ValueFlag::TimeInService);
        break;
    case Reg::StandbyTimer:
        Options.StandbyTimer = u16(v);
        break;
    case Reg::TcpWatchdog:
        Device.TcpWatchdog = v[0];
        break;
    case Reg::Name:
        // 16 bytes taken as 16 characters.
        Device.DeviceName = QString::fromLatin1(reinterpret_cast<const char *>(v), 16);
        break;
    case Reg::RegulationMode:
        r.RegulationMode = v[0];
        // Right after a mode click the first mode answer may still carry the
        // old mode: it only re-arms the synchronisation.
        if (ModeSync.load())
            Flags.raise(ValueFlag::RegulationMode);
        else
            ModeSync = true;
        break;
    case Reg::Input:
        r.Input = s32(v);
        Flags.raise(ValueFlag::Input);
        break;
    case Reg::InputMin:
        Options.InputMin = s32(v);
        break;
    case Reg::InputMax:
        Options.InputMax = s32(v);
        break;
    case Reg::Position:
        m_motor->LastPosition = r.Position = s32(v);
        Flags.raise(ValueFlag::Position);
        break;
    case Reg::Speed:
        m_motor->LastSpeed = r.Speed = s32(v);
        Flags.raise(ValueFlag::Speed);
        break;
    case Reg::Temperature:
        r.Temperature = fixed16(v);
        Flags.raise(ValueFlag::Temperature);
        break;
    case Reg::CurrentMax:
        // The text the edit's own check accepts (locale separator).
        Options.CurrentMaxRaw = s32(v);
        Options.CurrentMaxText = OptionValues::currentText(s32(v));
        Options.CurrentMaxReceived = true;
        break;
    case Reg::CurrentSense:
        // Three 8.8 values; the first goes into the last slot.
        r.CurrentLive = float(s16(v) / 256.0);
        r.CurrentMin = float(s16(v + 2) / 256.0);
        r.CurrentMax = float(s16(v + 4) / 256.0);
        break;
    case Reg::Options:
        Options.OptionBits = u32(v);
        break;
    case Reg::LoopTimeOption:
        r.LoopTimeOption = v[0];
        Flags.raise(ValueFlag::LoopTimeOption);
        break;
    case Reg::MaxOutputVoltage:
        // All bits set means no limit.
        Options.OutputVoltageRaw = s32(v);
        Options.OutputVoltageLimited = s32(v) != -1;
        if (Options.OutputVoltageLimited)
            Options.OutputVoltageTenths = OptionValues::voltagePosition(s32(v));
        Options.OutputVoltageReceived = true;
        break;
    case Reg::DissipationVoltage:
        Options.DissipationRaw = s32(v);
        Options.DissipationTenths = OptionValues::voltagePosition(s32(v));
        Options.DissipationReceived = true;
        break;
    case Reg::Desired:
        m_motor->LastDesired = r.Desired = s32(v);
        Flags.raise(ValueFlag::Desired);
        break;
    case Reg::Command:
        m_motor->LastCommand = r.Command = s32(v);
        Flags.raise(ValueFlag::Command);
        break;
    case Reg::Kp:
        r.Kp = fixed16(v);
        Flags.raise(ValueFlag::Kp);
        break;
    case Reg::Ki:
        r.Ki = fixed16(v);
        Flags.raise(ValueFlag::Ki);
        break;
    case Reg::Kd:
        r.Kd = fixed16(v);
        Flags.raise(ValueFlag::Kd);
        break;
    case Reg::AntiResetWindup:
        r.AntiResetWindup = s32(v);
        Flags.raise(ValueFlag::AntiResetWindup);
        break;
    case Reg::AutoTuning:
        AutoTuning.State = v[0];
        break;
    case Reg::Acceleration:
        r.Acceleration = s32(v);
        Flags.raise(ValueFlag::Acceleration);
        break;
    case Reg::Deceleration:
        r.Deceleration = s32(v);
        Flags.raise(ValueFlag::Deceleration);
        break;
    case Reg::SpeedMax:
        r.SpeedMax = s32(v);
        Flags.raise(ValueFlag::SpeedMax);
        break;
    case Reg::DeadZone:
        r.DeadZone = s32(v);
        Flags.raise(ValueFlag::DeadZone);
        break;
    case Reg::EncoderRatio:
        r.EncoderRatio = fixed16(v);
        Flags.raise(ValueFlag::EncoderRatio);
        break;
    case Reg::HomingStartInput:
        Calibration.StartInput = s32(v);
        break;
    case Reg::HomingOption:
        Calibration.HomingOptions = u32(v);
        break;
    case Reg::HomingPosition:
        Calibration.HomingPosition = s32(v);
        break;
    case Reg::HomingInput:
        Calibration.HomingInput = s32(v);
        break;
    case Reg::EnhancedInput:
        EnhancedCmd.Options = v[0];
        EnhancedCmd.Function = v[1];
        EnhancedCmd.Goal = u32(v + 2);
        break;
    case Reg::LoopsConfig:
        EnhancedCmd.RangeConfig = {u32(v), u32(v + 4), u32(v + 8)};
        break;
    case Reg::EnhancedParams:
        EnhancedCmd.ParamWord = u32(v);
        EnhancedCmd.ParamHigh = u16(v + 4);
        EnhancedCmd.ParamLow = u16(v + 6);
        break;
    case Reg::Limit1Setup:
    case Reg::Limit2Setup:
        Limits.Setup[address == Reg::Limit2Setup] = u32(v);
        break;
    case Reg::Limit1ControlMode:
    case Reg::Limit2ControlMode:
        Limits.ControlMode[address == Reg::Limit2ControlMode] = v[0];
        break;
    case Reg::Limit1Position:
    case Reg::Limit2Position:
        Limits.Position[address == Reg::Limit2Position] = s32(v);
        break;
    case Reg::Limit1XInput:
    case Reg::Limit2XInput:
        Limits.XInput[address == Reg::Limit2XInput] = s32(v);
        break;
    case Reg::IoConfig:
        IO.Config = u16(v);
        Flags.raise(ValueFlag::IOConfig);
        break;
    case Reg::IoState:
        IO.State = {v[3], v[2], v[1], v[0]};
        Flags.raise(ValueFlag::IOState);
        break;
    case Reg::VffOffset:
        r.VffOffset = s32(v);
        Flags.raise(ValueFlag::VffOffset);
        break;
    case Reg::Kvff:
        r.Kvff = fixed16(v);
        Flags.raise(ValueFlag::Kvff);
        break;
    case Reg::Kaff:
        r.Kaff = fixed24(v);
        Flags.raise(ValueFlag::Kaff);
        break;
    case Reg::Kdff:
        r.Kdff = fixed24(v);
        Flags.raise(ValueFlag::Kdff);
        break;
    default:
        // Stored in Value only.
        return false;
    }
    return true;
}
