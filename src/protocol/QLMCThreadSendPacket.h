#pragma once

#include "platform/AutoResetEvent.h"
#include "platform/PeriodicTimer.h"
#include "protocol/QLMCIPPacket.h"

#include <atomic>
#include <thread>

class PacketTransport;
class QLMCSession;
class RequestEncoder;

/// The sender thread: woken every millisecond, it turns the pending request
/// flags of the register image into one read or write packet, sends it and
/// waits for its answer. One request is in flight at a time.
///
/// A send cycle is RefreshRatio packets long: one read packet, one full write
/// packet, then input-only write packets that carry nothing but a changed
/// consign (0x21).
class QLMCThreadSendPacket
{
public:
    /// Answers are bounded to this many bytes; registers that would overflow
    /// wait for a later packet of the same kind.
    static constexpr int AnswerBudget = 110;
    static constexpr int AnswerTimeoutMs = 3000;

    /// \a tcp carries direct and gateway requests, \a udp datagram requests.
    QLMCThreadSendPacket(QLMCSession &session, RequestEncoder &encoder, PacketTransport &tcp,
                         PacketTransport &udp);
    /// Terminates the thread: any wait ends at once.
    ~QLMCThreadSendPacket();
    QLMCThreadSendPacket(const QLMCThreadSendPacket &) = delete;
    QLMCThreadSendPacket &operator=(const QLMCThreadSendPacket &) = delete;

    /// Starts the thread and its 1 ms timer.
    void start();
    /// Asks the thread to end, sets both events and waits for it.
    void terminate();

    /// Set by the reassembly after every decoded answer.
    AutoResetEvent &answerEvent() { return m_answerEvent; }

    /// One pass of the thread body without the waits: builds and sends at most
    /// one packet. Returns true when an answer is awaited. Tests drive it directly.
    bool runPass();

    /// Packets counted in the current cycle.
    int cycleCounter() const { return m_cycle; }
    /// Passes run by the thread since it started (for measurements).
    uint64_t passes() const { return m_passes.load(std::memory_order_relaxed); }

private:
    void Execute();
    void requestLiveRegisters();
    bool buildAndSend();

    QLMCSession &m_session;
    RequestEncoder &m_encoder;
    PacketTransport &m_tcp;
    PacketTransport &m_udp;
    QLMCIPPacket m_packet;
    AutoResetEvent m_timerEvent;
    AutoResetEvent m_answerEvent;
    PeriodicTimer m_timer;
    std::thread m_thread;
    std::atomic<bool> m_terminated{false};
    std::atomic<uint64_t> m_passes{0};
    int m_cycle = 0;
};
