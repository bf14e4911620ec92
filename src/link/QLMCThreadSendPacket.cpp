#include "link/QLMCThreadSendPacket.h"

#include "base/Diagnostics.h"
#include "device/QLMCSession.h"
#include "link/RequestEncoder.h"
#include "protocol/PacketTransport.h"

#include <algorithm>
#include <chrono>

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
    , m_timer([this] { m_timerEvent.set(); })
{}

QLMCThreadSendPacket::~QLMCThreadSendPacket()
{
    terminate();
}

void QLMCThreadSendPacket::start()
{
    if (m_thread.joinable())
        return;
    m_terminated = false;
    m_thread = std::thread([this] { Execute(); });
    m_timer.start(std::chrono::milliseconds(1));
}

void QLMCThreadSendPacket::terminate()
{
    m_terminated = true;
    m_timer.stop();
    m_timerEvent.set();
    m_answerEvent.set();
    if (m_thread.joinable())
        m_thread.join();
}

void QLMCThreadSendPacket::setAnswerTimeoutMs(int milliseconds)
{
    m_answerTimeoutMs = std::max(1, milliseconds);
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
        m_passes.fetch_add(1, std::memory_order_relaxed);
        if (!runPass() || m_terminated.load())
            continue;
        const bool answered = awaitAnswer();
        if (m_terminated.load())
            break;
        answerOutcome(answered);
    }
    m_awaiting = false;
}

bool QLMCThreadSendPacket::awaitAnswer()
{
    using Clock = std::chrono::steady_clock;
    const int timeoutMs = m_answerTimeoutMs.load();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto leftMs = [&deadline](Clock::time_point until) {
        return int(std::max<int64_t>(
            0,
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count()));
    };
    if (m_session.connection().ComMode.load() == ComModes::Udp && !m_inFlightScan) {
        // A UDP answer is received and decoded here, with the RegisterLock
        // released while the datagram is awaited so the windows never freeze
        // on an unreachable device. A datagram that is dropped (not one whole
        // frame, bad checksum, an earlier connection's) does not end the wait.
        const auto datagramDeadline =
            Clock::now()
            + std::chrono::milliseconds(std::min(timeoutMs, RequestEncoder::UdpAnswerTimeoutMs));
        while (!m_terminated.load()
               && m_encoder.receiveDatagramAnswer(m_udp, leftMs(datagramDeadline),
                                                  m_inFlightGeneration)) {
            if (m_answerEvent.wait(0) == WaitResult::Signalled)
                return true;
            if (leftMs(datagramDeadline) == 0)
                break;
        }
        if (m_encoder.datagramOverrun() && m_inputOverrun)
            m_inputOverrun(m_inFlightGeneration);
    }
    const int result = m_answerEvent.wait(leftMs(deadline));
    ReportThreadEventWait(result, AnswerEventName, ExecuteName);
    if (result != WaitResult::Signalled) {
        // A whole answer time went by: any part of a frame still held had a
        // damaged header (it announced more bytes than came) or lost its rest.
        // Waiting on would take the next answers as its body, so the stream
        // starts afresh with the next request.
        m_session.assembler().reset();
    }
    return result == WaitResult::Signalled;
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

void QLMCThreadSendPacket::answerOutcome(bool answered)
{
    bool unidentified = false;
    {
        RegisterLockGuard guard(m_session.lock());
        ConnectionState &connection = m_session.connection();
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
            ++statistics.answerTimeouts;
            QLMCIPMotor &motor = m_session.motor();
            if (m_inFlightScan) {
                // The scan is not repeated on its own.
            } else if (!m_session.Identified.load()) {
                // No identification without Type and Version: ask again.
                motor.RequestRead(Reg::Type);
                motor.RequestRead(Reg::Version);
                ++statistics.identifyRetries;
                unidentified = true;
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

bool QLMCThreadSendPacket::runPass()
{
    ConnectionState &connection = m_session.connection();
    if (connection.ComMode.load() == ComModes::Closed)
        return false;
    RegisterLockGuard guard(m_session.lock());
    if (m_session.PollingEnabled.load() && !connection.ScanningI2C.load())
        requestLiveRegisters();
    // An answer cannot come before its request: a set left over from Open,
    // Close or a late answer must not end the wait for this one.
    m_answerEvent.reset();
    m_inFlight.clear();
    m_inFlightScan = false;
    m_inFlightGeneration = connection.Generation.load();
    bool sent;
    if (connection.SendScanRequest.exchange(false)) {
        m_inFlightScan = true;
        sent = m_encoder.sendScanRequest(m_tcp);
    } else {
        sent = buildAndSend();
    }
    m_awaiting = sent;
    return sent;
}

bool QLMCThreadSendPacket::buildAndSend()
{
    ConnectionState &connection = m_session.connection();
    const bool gateway = connection.ComMode.load() == ComModes::TcpGateway;
    const int perRegister = gateway ? 3 : 1; // gateway: status byte and 2 spare bytes
    int budget = 0;
    int gatewayItems = 0;
    connection.GatewayWriteItems = 0;

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
