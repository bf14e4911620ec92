// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/QLMCSession.h"

#include "base/Diagnostics.h"
#include "device/DeviceNetworkSettings.h"
#include "device/ModelProfile.h"
#include "device/ReadCycleObserver.h"
#include "device/SessionListener.h"
#include "platform/AutoResetEvent.h"
#include "platform/HighResCounter.h"

#include <algorithm>
#include <chrono>
#include <thread>

QLMCSession::QLMCSession(SessionListener *listener)
    : m_motor(std::make_unique<QLMCIPMotor>(m_lock, &m_requestStamp))
    , m_assembler(this)
    , m_listener(listener)
{
    m_connection.RequestedAddresses.fill(0xFF);
    installWriteHook();
}

QLMCSession::~QLMCSession()
{
    RegisterLockGuard guard(m_lock);
    m_motor.reset();
}

void QLMCSession::replaceMotor()
{
    auto fresh = std::make_unique<QLMCIPMotor>(m_lock, &m_requestStamp);
    RegisterLockGuard guard(m_lock);
    m_motor.swap(fresh);
    // The old image is destroyed while the lock is still held.
    fresh.reset();
    resetRecords();
    // An urgent write was meant for the device of the previous connection.
    m_urgent.reset();
    m_urgentPending = false;
    m_profile.reset();
    m_changed.reset();
    installWriteHook();
}

std::shared_ptr<const ModelProfile> QLMCSession::profile()
{
    RegisterLockGuard guard(m_lock);
    return m_profile;
}

void QLMCSession::setProfile(std::shared_ptr<const ModelProfile> profile)
{
    RegisterLockGuard guard(m_lock);
    m_profile = std::move(profile);
}

void QLMCSession::resetRecords()
{
    // Until the new device's answers arrive, the windows show defaults rather
    // than the previous controller's bits (which a click could write to it).
    Options = OptionsRecord{};
    AutoTuning = AutoTuningRecord{};
    Warning = WarningRecord{};
    Calibration = CalibrationRecord{};
    EnhancedCmd = EnhancedCmdRecord{};
    Limits = LimitsRecord{};
    IO = IORecord{};
    Device = ConnectionRecord{};
    // The live values too: none of them was received in the new connection,
    // and a flag the previous one raised must not show its value afterwards.
    Received = ReceivedValues{};
    Flags.clear();
}

void QLMCSession::addReadCycleObserver(ReadCycleObserver *observer)
{
    RegisterLockGuard guard(m_lock);
    if (std::find(m_readCycleObservers.begin(), m_readCycleObservers.end(), observer)
        == m_readCycleObservers.end())
        m_readCycleObservers.push_back(observer);
}

void QLMCSession::removeReadCycleObserver(ReadCycleObserver *observer)
{
    RegisterLockGuard guard(m_lock);
    std::erase(m_readCycleObservers, observer);
}

bool QLMCSession::isCurrentGeneration(uint32_t generation) const
{
    return generation == AnswerAssembler::CurrentGeneration
           || generation == m_connection.Generation.load();
}

void QLMCSession::feedAnswerBytes(const uint8_t *bytes, size_t length, uint32_t generation,
                                  bool datagram)
{
    if (datagram)
        m_assembler.feedDatagram(bytes, length, generation);
    else
        m_assembler.feed(bytes, length, generation);
}

void QLMCSession::showStatus(int panel, const QString &text)
{
    if (m_listener)
        m_listener->statusText(panel, text);
}

void QLMCSession::raiseCommError(SessionListener::CommError kind, bool capped)
{
    int value = m_commErrors.load();
    int next;
    do {
        next = capped ? std::min(value + 1, 999) : value + 1;
    } while (!m_commErrors.compare_exchange_weak(value, next));
    const bool acknowledge = kind == SessionListener::CommError::Acknowledge;
    if (acknowledge)
        ++m_statistics.acknowledgeErrors;
    if (m_listener)
        m_listener->communicationError(kind);
    showStatus(3, QStringLiteral("Com error : %1 (%2)")
                      .arg(next)
                      .arg(acknowledge ? QLatin1String("ACK") : QLatin1String("CS")));
}

void QLMCSession::answerFramed(const QLMCIPPacket &answer)
{
    const uint32_t generation = m_assembler.generation();
    if (!isCurrentGeneration(generation)) {
        // A late answer of a closed connection: never decoded, and the sender
        // of the current one goes on waiting for its own answer.
        ++m_statistics.staleAnswers;
        return;
    }
    m_statistics.answerFramed(answer.TransactionId);
    if (answer.Function == 0x0006) {
        // A module list is taken only as the answer of a scan; only addresses
        // 1..127 can be chosen, other bytes are logged.
        if (!connection().ScanningI2C.load()) {
            ++m_statistics.unaskedScanAnswers;
            LogMessage("QLMCSession", __LINE__, "QLMCSession::answerFramed", LogOutput::Default,
                       LogLevelInfo, LogActionNone,
                       QStringLiteral("module list received outside a bus scan, ignored"));
            return;
        }
        {
            RegisterLockGuard guard(m_lock);
            if (!claimAnswer(answer.TransactionId))
                return;
        }
        const size_t length = std::min<size_t>(answer.Length, answer.Data.size());
        int rejected = 0;
        const std::vector<uint8_t> modules = DeviceNetworkSettings::validModules(
            std::span<const uint8_t>(answer.Data.data(), length), &rejected);
        if (rejected > 0)
            LogMessage("QLMCSession", __LINE__, "QLMCSession::answerFramed", LogOutput::Default,
                       LogLevelInfo, LogActionNone,
                       QStringLiteral("bus scan: %1 byte(s) outside 1..127 not listed")
                           .arg(rejected));
        if (m_listener)
            m_listener->scanResult(modules);
    } else if (!decode(answer, generation, true)) {
        return;
    }
    if (m_answerEvent)
        m_answerEvent->set();
}

bool QLMCSession::claimAnswer(int32_t transactionId)
{
    RegisterLockGuard guard(m_lock);
    const int32_t awaited = m_connection.AwaitedTransaction.load();
    if (awaited != ConnectionState::NoTransaction && awaited == transactionId) {
        m_connection.AwaitedTransaction = ConnectionState::NoTransaction;
        return true;
    }
    // Its request was given up (or none is awaited): decoding it now would
    // take it for the answer of the request in flight (at a gateway, whose
    // answers carry no addresses, its values would land in other registers).
    m_statistics.lateAnswer(transactionId, HighResCounter::now(), HighResCounter::frequency());
    return false;
}

void QLMCSession::frameDropped(FrameError error)
{
    if (!isCurrentGeneration(m_assembler.generation())) {
        ++m_statistics.staleAnswers;
        return;
    }
    // A checksum error, a frame too long to hold and a datagram that is not
    // one whole frame count alike. The answer event is not set: the sender's
    // wait runs into its time-out.
    ++m_statistics.checksumErrors;
    if (error == FrameError::Datagram)
        ++m_statistics.datagramsDropped;
    raiseCommError(SessionListener::CommError::Checksum, true);
}

void QLMCSession::takeDisplayValues(ReceivedValues &values, NewValueFlags &flags,
                                    std::bitset<RegisterCount> *received)
{
    RegisterLockGuard guard(m_lock);
    values = Received;
    flags = Flags;
    Flags.clear();
    if (received) {
        received->reset();
        const auto &registers = m_motor->registers();
        for (size_t a = 0; a < registers.size(); ++a)
            received->set(a, registers[a].received());
    }
}

uint64_t QLMCSession::answerSequence()
{
    RegisterLockGuard guard(m_lock);
    return m_answerSequence;
}

void QLMCSession::writeAnswered(std::span<const uint8_t> addresses)
{
    RegisterLockGuard guard(m_lock);
    const uint64_t sequence = ++m_answerSequence;
    for (uint8_t address : addresses)
        if (QLMCRegister *reg = m_motor->registerAt(address))
            reg->WriteAnsweredSequence = sequence;
}

void QLMCSession::requestRegulationParameters()
{
    RegisterLockGuard guard(m_lock);
    for (int address : {Reg::Kp, Reg::Ki, Reg::Kd, Reg::Acceleration, Reg::Deceleration,
                        Reg::SpeedMax, Reg::DeadZone, Reg::EncoderRatio, Reg::AntiResetWindup,
                        Reg::VffOffset, Reg::Kvff, Reg::Kaff, Reg::Kdff})
        m_motor->RequestRead(address);
}

void QLMCSession::AskRegistersFromModule()
{
    {
        RegisterLockGuard guard(m_lock);
        for (int address = 0x00; address <= 0x63; ++address) {
            QLMCRegister *reg = m_motor->registerAt(address);
            if (address != Reg::Limit2XInput && reg->Readable)
                reg->ReadRequest = true;
        }
        m_motor->noteRequest();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    RegisterLockGuard guard(m_lock);
    QLMCRegister *last = m_motor->registerAt(Reg::Limit2XInput);
    if (last->Readable)
        last->ReadRequest = true;
    m_motor->noteRequest();
}
