// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/QLMCThreadSendPacket.h"

#include "base/Diagnostics.h"
#include "device/QLMCSession.h"
#include "link/RequestEncoder.h"
#include "platform/SharedPacer.h"
#include "protocol/PacketTransport.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace {
const char *const ExecuteName = "QLMCThreadSendPacket::Execute";
const QString TimerEventName = QStringLiteral("TimerEvent SendPacket");
const QString AnswerEventName = QStringLiteral("AnswerEvent SendPacket");

// The live registers read once per cycle while polling is on.
constexpr int LiveRegisters[] = {
    Reg::Position,       Reg::Desired, Reg::Speed,       Reg::Input,        Reg::Voltage,
    Reg::RegulationMode, Reg::Command, Reg::Temperature, Reg::CurrentSense, Reg::TimeInService};
} // namespace

QLMCThreadSendPacket::QLMCThreadSendPacket(QLMCSession &session, RequestEncoder &encoder,
                                           PacketTransport &tcp, PacketTransport &udp)
    : m_session(session)
    , m_encoder(encoder)
    , m_tcp(tcp)
    , m_udp(udp)
{
    // An urgent write wakes the thread from its tick wait and from an answer wait.
    m_session.setSenderWake([this] {
        m_timerEvent.set();
        m_answerEvent.set();
    });
}

QLMCThreadSendPacket::~QLMCThreadSendPacket()
{
    terminate();
    m_session.setSenderWake(nullptr);
}

void QLMCThreadSendPacket::start()
{
    if (m_thread.joinable())
        return;
    m_terminated = false;
    m_idle = false;
    m_thread = std::thread([this] { Execute(); });
    m_pacerKey = SharedPacer::instance().add([this] { return due(); }, m_timerEvent);
}

void QLMCThreadSendPacket::terminate()
{
    m_terminated = true;
    if (m_pacerKey != 0) {
        SharedPacer::instance().remove(m_pacerKey);
        m_pacerKey = 0;
    }
    m_timerEvent.set();
    m_answerEvent.set();
    if (m_thread.joinable())
        m_thread.join();
}

void QLMCThreadSendPacket::setAnswerTimeoutMs(int milliseconds)
{
    m_answerTimeoutMs = std::max(1, milliseconds);
}

void QLMCThreadSendPacket::setAnswerTimeoutFloorMs(int milliseconds)
{
    m_answerTimeoutFloorMs = std::max(1, milliseconds);
}

void QLMCThreadSendPacket::setUnansweredIdentificationHandler(std::function<void()> handler)
{
    m_unansweredIdentification = std::move(handler);
}

void QLMCThreadSendPacket::setInputOverrunHandler(std::function<void(uint32_t)> handler)
{
    m_inputOverrun = std::move(handler);
}

void QLMCThreadSendPacket::Execute()
{
    while (!m_terminated.load()) {
        ReportThreadEventWait(m_timerEvent.wait(WaitResult::Infinite), TimerEventName, ExecuteName);
        if (m_terminated.load())
            break;
        if (m_idle.load()) {
            // Woken from idle: the ticks slept through were empty passes.
            const uint64_t slept = SharedPacer::instance().ticks() - m_idleTick;
            RegisterLockGuard guard(m_session.lock());
            if (!m_idleClosed.load() && slept > 1)
                catchUpCycle(slept - 1);
            m_idle = false;
        }
        m_passes.fetch_add(1, std::memory_order_relaxed);
        if (!runPass() || m_terminated.load())
            continue;
        const WaitEnd end = awaitAnswer();
        if (m_terminated.load())
            break;
        answerOutcome(end == WaitEnd::Answered, end == WaitEnd::CutShort);
    }
    m_awaiting = false;
}

namespace {
// Milliseconds from \a now until \a until, rounded up (0 once it passed).
int msUntil(std::chrono::steady_clock::time_point until, std::chrono::steady_clock::time_point now)
{
    if (until <= now)
        return 0;
    return int(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
}
} // namespace

void QLMCThreadSendPacket::armAnswerWait(Clock::time_point sentAt)
{
    m_inFlightSentAt = sentAt;
    m_inFlightTransaction = m_session.connection().AwaitedTransaction.load();
    CommStatistics &statistics = m_session.statistics();
    const size_t measured = statistics.answerTimeCount();
    const double p99 = measured > 0 ? double(statistics.answerTimeP99Ms()) : 0.0;
    const int ceiling = m_answerTimeoutMs.load();
    const int adaptive =
        AnswerTimeout::adaptiveMs(p99, measured, m_answerTimeoutFloorMs.load(), ceiling);
    statistics.shown.answerTimeoutMs = adaptive;
    // A command the controller may take long over keeps the whole wait.
    bool longCommand = m_inFlightScan;
    if (m_inFlightPhase != Phases::Read)
        for (uint8_t address : m_inFlight)
            longCommand = longCommand || AnswerTimeout::isLongCommand(address);
    m_inFlightTimeoutMs = longCommand ? ceiling : adaptive;
    // An answer is late once it is past what 99 % of the recent ones took
    // (with nothing measured yet, at once).
    m_inFlightLateAfter =
        measured >= AnswerTimeout::MeasuredAnswers
            ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(p99))
            : Clock::duration::zero();
}

QLMCThreadSendPacket::WaitEnd QLMCThreadSendPacket::awaitAnswer()
{
    const ConnectionState &connection = m_session.connection();
    const auto deadline = m_inFlightSentAt + std::chrono::milliseconds(m_inFlightTimeoutMs);
    // A UDP answer is received and decoded here, with the RegisterLock
    // released while the datagram is awaited so the windows never freeze on an
    // unreachable device. A datagram that is dropped (not one whole frame, bad
    // checksum, an earlier connection's, a late answer) does not end the wait.
    const bool udp = connection.ComMode.load() == ComModes::Udp && !m_inFlightScan;
    const auto datagramDeadline =
        m_inFlightSentAt
        + std::chrono::milliseconds(std::min(m_inFlightTimeoutMs, RequestEncoder::UdpAnswerTimeoutMs));
    std::optional<Clock::time_point> cutAt;
    bool overrunReported = false;
    for (;;) {
        // Open and Close change the generation and set the event: the wait ends.
        if (m_terminated.load() || connection.Generation.load() != m_inFlightGeneration)
            return WaitEnd::Ended;
        // The decoder took the answer carrying our transaction number.
        if (connection.AwaitedTransaction.load() != m_inFlightTransaction)
            return WaitEnd::Answered;
        const auto now = Clock::now();
        if (!cutAt && m_session.urgentWritePending())
            cutAt = m_inFlightSentAt + m_inFlightLateAfter;
        if (cutAt && now >= *cutAt)
            return WaitEnd::CutShort;
        if (now >= deadline) {
            ReportThreadEventWait(WaitResult::Timeout, AnswerEventName, ExecuteName);
            // A frame that began before this request went out and is still not
            // whole had a damaged header (it announced more bytes than came) or
            // lost its rest: waiting on would take the next answers as its body.
            m_session.assembler().resetIfHeldSince(m_inFlightSentAt);
            return WaitEnd::TimedOut;
        }
        Clock::time_point until = cutAt ? std::min(deadline, *cutAt) : deadline;
        if (udp && now < datagramDeadline && !m_encoder.datagramOverrun()) {
            // In slices, so that an urgent write does not wait out the datagram wait.
            until = std::min({until, datagramDeadline, now + std::chrono::milliseconds(DatagramSliceMs)});
            m_encoder.receiveDatagramAnswer(m_udp, msUntil(until, now), m_inFlightGeneration);
            if (m_encoder.datagramOverrun() && !overrunReported) {
                overrunReported = true;
                if (m_inputOverrun)
                    m_inputOverrun(m_inFlightGeneration);
            }
            continue;
        }
        m_answerEvent.wait(msUntil(until, now));
    }
}

bool QLMCThreadSendPacket::isPolled(int address) const
{
    if (!m_session.PollingEnabled.load() || m_session.connection().ScanningI2C.load())
        return false;
    for (int live : LiveRegisters)
        if (live == address)
            return true;
    return (address == Reg::Warning && m_session.WarningWindowVisible.load())
           || (address == Reg::AutoTuning && m_session.AutoTuningActive.load())
           || (address == Reg::IoState && m_session.IOWindowVisible.load());
}

bool QLMCThreadSendPacket::inFlightOnlyPolled() const
{
    if (m_inFlightScan || m_inFlightPhase != Phases::Read)
        return false;
    for (uint8_t address : m_inFlight)
        if (!isPolled(address))
            return false;
    return true;
}

void QLMCThreadSendPacket::answerOutcome(bool answered, bool cutShort)
{
    bool unidentified = false;
    {
        RegisterLockGuard guard(m_session.lock());
        ConnectionState &connection = m_session.connection();
        if (m_inFlightTransaction != ConnectionState::NoTransaction) {
            // Taken by the decoder while the wait was ending: answered. Else
            // given up: its answer, should it still come, is late from now on.
            if (connection.AwaitedTransaction.load() != m_inFlightTransaction)
                answered = true;
            else
                connection.AwaitedTransaction = ConnectionState::NoTransaction;
        }
        m_inFlightTransaction = ConnectionState::NoTransaction;
        if (m_inFlightGeneration != connection.Generation.load()) {
            // Closed or opened again meanwhile (which also ended the wait).
            m_reasked.reset();
        } else if (answered) {
            for (uint8_t address : m_inFlight)
                m_reasked.reset(address);
            // A write is answered with no values: the answer itself (acknowledged
            // at a gateway) is all that tells it arrived.
            const bool refused = m_session.takeWriteRefused();
            if (!m_inFlightScan && m_inFlightPhase != Phases::Read && !refused)
                m_session.writeAnswered(m_inFlight);
        } else {
            CommStatistics &statistics = m_session.statistics();
            ++(cutShort ? statistics.waitsCutShort : statistics.answerTimeouts);
            QLMCIPMotor &motor = m_session.motor();
            if (m_inFlightScan) {
                // The scan is not repeated on its own.
            } else if (!m_session.Identified.load()) {
                // No identification without Type and Version: ask again.
                motor.RequestRead(Reg::Type);
                motor.RequestRead(Reg::Version);
                ++statistics.identifyRetries;
                unidentified = !cutShort; // a STOP does not make the device silent
            } else if (m_inFlightPhase == Phases::Read) {
                for (uint8_t address : m_inFlight) {
                    if (isPolled(address))
                        continue; // the next poll brings it back
                    if (m_reasked.test(address)) {
                        // Asked once more already: given up. It keeps its
                        // received mark (none, or an older answer's), so a
                        // caller that asked for it sees it did not come.
                        m_reasked.reset(address);
                        ++statistics.registersGivenUp;
                        continue;
                    }
                    m_reasked.set(address);
                    motor.RequestRead(address);
                    ++statistics.registersReasked;
                }
            } else {
                // A write may have arrived with only its answer lost: never
                // repeat it, read back what the device now holds.
                for (uint8_t address : m_inFlight) {
                    const QLMCRegister *reg = motor.registerAt(address);
                    if (!reg || !reg->Readable || reg->Size == 0 || isPolled(address))
                        continue;
                    motor.RequestRead(address);
                    ++statistics.registersReadBack;
                }
            }
        }
        m_inFlight.clear();
        m_inFlightScan = false;
        m_awaiting = false;
    }
    if (unidentified && m_unansweredIdentification)
        m_unansweredIdentification();
}

void QLMCThreadSendPacket::requestLiveRegisters()
{
    QLMCIPMotor &motor = m_session.motor();
    for (int address : LiveRegisters)
        motor.RequestRead(address);
    if (m_session.WarningWindowVisible.load())
        motor.RequestRead(Reg::Warning);
    // The auto-tuning state is polled unless a write of it is still pending.
    if (m_session.AutoTuningActive.load() && !motor.registerAt(Reg::AutoTuning)->WriteRequest)
        motor.RequestRead(Reg::AutoTuning);
    if (m_session.IOWindowVisible.load())
        motor.RequestRead(Reg::IoState);
}

bool QLMCThreadSendPacket::due() const
{
    const ConnectionState &connection = m_session.connection();
    if (connection.ComMode.load() == ComModes::Closed)
        return false;
    // Idle since a pass found the link closed: the first tick after it opened.
    return !m_idle.load() || m_idleClosed.load() || m_session.requestStamp() != m_idleStamp.load()
           || m_session.PollingEnabled.load() || connection.SendScanRequest.load()
           || m_session.urgentWritePending();
}

void QLMCThreadSendPacket::idleIfNothingPending()
{
    if (m_session.PollingEnabled.load() || m_session.connection().SendScanRequest.load()
        || m_session.urgentWritePending())
        return;
    for (const QLMCRegister &reg : m_session.motor().registers())
        if (reg.ReadRequest || reg.WriteRequest)
            return;
    m_idleStamp = m_session.requestStamp(); // stable: requests raise it under the lock
    m_idleClosed = false;
    m_idleTick = SharedPacer::instance().ticks();
    m_idle = true;
}

int QLMCThreadSendPacket::advanceCycle()
{
    ConnectionState &connection = m_session.connection();
    connection.GatewayWriteItems = 0;
    if (m_resumePhase >= 0) {
        connection.Phase = m_resumePhase;
        m_resumePhase = -1;
    }
    // One read packet, one full write packet, then input-only packets.
    ++m_cycle;
    int phase = connection.Phase.load();
    if (phase == Phases::Read) {
        phase = Phases::Write;
    } else if (m_cycle < m_session.RefreshRatio.load()) {
        phase = Phases::InputOnly;
    } else {
        m_cycle = 0;
        phase = Phases::Read;
    }
    connection.Phase = phase;
    return phase;
}

void QLMCThreadSendPacket::catchUpCycle(uint64_t passes)
{
    // Within period + 2 passes the cycle is at its read packet; from there it
    // repeats every `period` passes, so a long sleep costs a few steps only.
    const uint64_t period = uint64_t(std::max(2, m_session.RefreshRatio.load()));
    if (passes > 2 * period + 2) {
        for (uint64_t i = 0; i < period + 2; ++i)
            advanceCycle();
        passes = (passes - period - 2) % period;
    }
    for (uint64_t i = 0; i < passes; ++i)
        advanceCycle();
}

bool QLMCThreadSendPacket::runPass()
{
    ConnectionState &connection = m_session.connection();
    if (connection.ComMode.load() == ComModes::Closed) {
        // Closed: nothing moves until it opens (no catch-up for this time).
        m_idleClosed = true;
        m_idle = true;
        return false;
    }
    RegisterLockGuard guard(m_session.lock());
    if (m_session.PollingEnabled.load() && !connection.ScanningI2C.load())
        requestLiveRegisters();
    // An answer cannot come before its request: a set left over from Open,
    // Close or an urgent write must not end the wait for this one.
    m_answerEvent.reset();
    m_inFlight.clear();
    m_inFlightScan = false;
    m_inFlightTransaction = ConnectionState::NoTransaction;
    m_inFlightGeneration = connection.Generation.load();
    const Clock::time_point sentAt = Clock::now();
    bool sent = false;
    if (m_session.urgentWritePending() && sendUrgent(sent)) {
        // The urgent writes went first; the cycle goes on at the next pass.
    } else if (connection.SendScanRequest.exchange(false)) {
        m_inFlightScan = true;
        sent = m_encoder.sendScanRequest(m_tcp);
    } else {
        sent = buildAndSend();
    }
    if (sent)
        armAnswerWait(sentAt);
    else
        idleIfNothingPending();
    m_awaiting = sent;
    return sent;
}

bool QLMCThreadSendPacket::sendUrgent(bool &sent)
{
    ConnectionState &connection = m_session.connection();
    const bool gateway = connection.ComMode.load() == ComModes::TcpGateway;
    const bool identified = m_session.Identified.load();
    QLMCIPMotor &motor = m_session.motor();
    std::vector<QLMCSession::UrgentWrite> writes = m_session.takeUrgentWrites();
    int count = 0;
    for (auto write = writes.begin(); write != writes.end();) {
        const QLMCRegister *reg = motor.registerAt(write->address);
        // Before the identification nothing is granted yet; after it, a
        // register the model does not write is dropped as any write is.
        if (!reg || (identified && !reg->Writable)) {
            write = writes.erase(write);
            continue;
        }
        m_packet.Data[size_t(count++)] = uint8_t(write->address);
        const auto raw = static_cast<uint64_t>(write->value);
        for (int i = 0; i < reg->Size; ++i) {
            const int shift = 8 * (reg->Size - 1 - i);
            m_packet.Data[size_t(count++)] = shift < 64 ? uint8_t(raw >> shift) : 0;
        }
        m_inFlight.push_back(uint8_t(write->address));
        ++write;
    }
    if (writes.empty())
        return false;
    // Outside the send cycle: the cycle's phase is taken up again afterwards.
    if (m_resumePhase < 0)
        m_resumePhase = connection.Phase.load();
    connection.Phase = Phases::Write;
    connection.GatewayWriteItems = gateway ? int(writes.size()) : 0;
    m_inFlightPhase = Phases::Write;
    m_packet.DataCount = count;
    PacketTransport &transport = connection.ComMode.load() == ComModes::Udp ? m_udp : m_tcp;
    sent = m_encoder.sendWrite(m_packet, transport);
    if (!sent) {
        // Nowhere to send yet (a socket still connecting): they go next time.
        m_session.restoreUrgentWrites(writes);
        m_inFlight.clear();
    }
    return true;
}

bool QLMCThreadSendPacket::buildAndSend()
{
    ConnectionState &connection = m_session.connection();
    const bool gateway = connection.ComMode.load() == ComModes::TcpGateway;
    const int perRegister = gateway ? 3 : 1; // gateway: status byte and 2 spare bytes
    int budget = 0;
    int gatewayItems = 0;
    const int phase = advanceCycle();

    QLMCIPMotor &motor = m_session.motor();
    int count = 0;
    auto append = [&](const QLMCRegister &reg, bool withValue) {
        m_packet.Data[size_t(count++)] = uint8_t(reg.Address);
        if (withValue)
            for (uint8_t byte : reg.WriteValue)
                m_packet.Data[size_t(count++)] = byte;
    };

    if (phase != Phases::InputOnly) {
        for (QLMCRegister &reg : motor.registers()) {
            if (phase == Phases::Read && reg.ReadRequest) {
                // A register whose write is still pending is read after it
                // (the write packet follows this one): read now, it would
                // bring back the value being replaced.
                if (reg.WriteRequest && reg.Writable && reg.Readable)
                    continue;
                if (reg.Readable) {
                    budget += reg.Size + perRegister;
                    if (budget > AnswerBudget)
                        break; // stays pending for a later read packet
                    append(reg, false);
                }
                reg.ReadRequest = false; // a register the model does not read is dropped
            } else if (phase == Phases::Write && reg.WriteRequest) {
                if (reg.Writable) {
                    budget += reg.Size + perRegister;
                    if (budget > AnswerBudget)
                        break;
                    append(reg, true);
                    gatewayItems += gateway;
                }
                reg.WriteRequest = false;
            }
        }
    } else {
        // Between two full write packets only the consign goes out.
        QLMCRegister &input = *motor.registerAt(Reg::Input);
        if (input.WriteRequest) {
            if (input.Writable) {
                append(input, true);
                gatewayItems += gateway;
            }
            input.WriteRequest = false;
        }
    }
    connection.GatewayWriteItems = gatewayItems;
    m_packet.DataCount = count;
    if (count == 0)
        return false;
    // Remember the registers of the packet in case its answer is lost.
    m_inFlightPhase = phase;
    for (int i = 0; i < count;) {
        const uint8_t address = m_packet.Data[size_t(i)];
        m_inFlight.push_back(address);
        i += 1 + (phase == Phases::Read ? 0 : QLMCIPMotor::RegisterSize(address));
    }

    PacketTransport &transport = connection.ComMode.load() == ComModes::Udp ? m_udp : m_tcp;
    if (phase == Phases::Read)
        return m_encoder.sendRead(m_packet, transport);
    const bool sent = m_encoder.sendWrite(m_packet, transport);
    // A parameter file's read-back follows the full write packet that went out
    // and left no write pending (a file takes two or more packets).
    if (sent && phase == Phases::Write && m_session.ReadBackAfterSend.load()) {
        bool pending = false;
        for (const QLMCRegister &reg : motor.registers())
            pending |= reg.WriteRequest && reg.Writable;
        if (!pending && m_session.ReadBackAfterSend.exchange(false))
            m_session.AskRegistersFromModule();
    }
    return sent;
}
