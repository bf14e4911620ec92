#include "protocol/QLMCThreadSendPacket.h"

#include "app/Diagnostics.h"
#include "device/QLMCSession.h"
#include "protocol/PacketTransport.h"
#include "protocol/RequestEncoder.h"

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

void QLMCThreadSendPacket::Execute()
{
    while (!m_terminated.load()) {
        ReportThreadEventWait(m_timerEvent.wait(WaitResult::Infinite), TimerEventName, ExecuteName);
        if (m_terminated.load())
            break;
        m_passes.fetch_add(1, std::memory_order_relaxed);
        if (!runPass() || m_terminated.load())
            continue;
        // A UDP answer is received and decoded here, with the RegisterLock
        // released while the datagram is awaited so the windows never freeze
        // on an unreachable device.
        if (m_session.connection().ComMode.load() == ComModes::Udp)
            m_encoder.receiveDatagramAnswer(m_udp);
        ReportThreadEventWait(m_answerEvent.wait(AnswerTimeoutMs), AnswerEventName, ExecuteName);
    }
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
    if (connection.SendScanRequest.exchange(false))
        return m_encoder.sendScanRequest(m_tcp);
    return buildAndSend();
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
