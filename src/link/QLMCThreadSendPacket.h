// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/RegisterTable.h"
#include "platform/AutoResetEvent.h"
#include "protocol/AnswerTimeout.h"
#include "protocol/QLMCIPPacket.h"

#include <atomic>
#include <bitset>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

class PacketTransport;
class QLMCSession;
class RequestEncoder;

/// The sender thread: woken every millisecond, it turns the pending request
/// flags of the register image into one read or write packet, sends it and
/// waits for its answer. One request is in flight at a time.
///
/// The millisecond comes from the process's one SharedPacer, which wakes only
/// the senders that have work: an idle sender (its link closed, or nothing
/// pending in the image, no poll, no bus scan, no urgent write) sleeps until a
/// request raises the session's request stamp, the poll or a bus scan is
/// asked, or an urgent write comes; the next tick then wakes it. The send
/// cycle goes on as if the idle ticks had run (a pass with nothing to send
/// only moves the cycle on), so a request waits as long for its phase as it
/// would have with a pass on every tick.
///
/// A send cycle is RefreshRatio packets long: one read packet, one full write
/// packet, then input-only write packets that carry nothing but a changed
/// consign (0x21).
///
/// Lost answers (no answer within the answer time-out):
/// - before the device is identified, Type and Version are asked again, so the
///   identification runs as soon as one answer arrives;
/// - the registers of a lost read packet are asked once more, except those the
///   poll asks for anyway;
/// - a write is never repeated (it may have arrived with only its answer lost,
///   and a reset or EEPROM save must not run twice): the readable registers of
///   a lost write packet are read back instead.
/// Each of these is counted in CommStatistics.
///
/// The answer time-out follows the link (AnswerTimeout::adaptiveMs): a few
/// times the recent p99 answer time, within a floor and the ceiling set by
/// setAnswerTimeoutMs(); a packet carrying a long command (reset, EEPROM save
/// or restore) and the bus scan wait the ceiling. Only the answer carrying the
/// transaction number of the request in flight ends the wait; one that comes
/// after its request was given up is counted late and never decoded.
///
/// Urgent writes (QLMCSession::requestUrgentWrite: a STOP, an auto-tuning
/// abort) go out as the next packet, ahead of the poll and every pending
/// request, outside the send cycle. They wake the thread at once and end an
/// answer wait as soon as the awaited answer is late by the link's measure
/// (past the recent p99 answer time since its request went out): that request
/// is then given up as a lost one (counted in waitsCutShort).
class QLMCThreadSendPacket
{
public:
    /// Answers are bounded to this many bytes; registers that would overflow
    /// wait for a later packet of the same kind.
    static constexpr int AnswerBudget = 110;
    static constexpr int AnswerTimeoutMs = AnswerTimeout::CeilingMs;
    /// While an urgent write may come, a UDP answer datagram is awaited in
    /// slices of at most this long.
    static constexpr int DatagramSliceMs = 2;

    /// \a tcp carries direct and gateway requests, \a udp datagram requests.
    QLMCThreadSendPacket(QLMCSession &session, RequestEncoder &encoder, PacketTransport &tcp,
                         PacketTransport &udp);
    /// Terminates the thread: any wait ends at once.
    ~QLMCThreadSendPacket();
    QLMCThreadSendPacket(const QLMCThreadSendPacket &) = delete;
    QLMCThreadSendPacket &operator=(const QLMCThreadSendPacket &) = delete;

    /// Starts the thread and joins the shared 1 ms pacer.
    void start();
    /// Asks the thread to end, sets both events and waits for it.
    void terminate();

    /// Set by the reassembly after every decoded answer, and by Open and Close
    /// so that a pending wait ends at once.
    AutoResetEvent &answerEvent() { return m_answerEvent; }

    /// The longest wait for an answer, the ceiling of the adaptive time-out
    /// (AnswerTimeoutMs by default; a UDP answer datagram is awaited for at
    /// most RequestEncoder::UdpAnswerTimeoutMs of it).
    void setAnswerTimeoutMs(int milliseconds);
    int answerTimeoutMs() const { return m_answerTimeoutMs.load(); }
    /// The shortest wait once the link is measured (AnswerTimeout::FloorMs by
    /// default; equal to the ceiling, the time-out stays fixed).
    void setAnswerTimeoutFloorMs(int milliseconds);
    /// Called on the sender thread when an answer was lost before the device
    /// was identified (Type and Version have just been asked again).
    void setUnansweredIdentificationHandler(std::function<void()> handler);
    /// Called on the sender thread when a UDP request brought more datagrams
    /// than one request may (a flood), with the generation of the connection
    /// it was sent on. The wait for its answer goes on (a close ends it).
    void setInputOverrunHandler(std::function<void(uint32_t generation)> handler);

    /// True from a request sent until its answer arrived or was given up.
    bool awaitingAnswer() const { return m_awaiting.load(); }
    /// True when the poll asks for \a address in every read packet anyway.
    bool isPolled(int address) const;
    /// True when the request in flight asks only for what the poll asks anyway
    /// (nothing a one-shot read waits for). Call under the RegisterLock.
    bool inFlightOnlyPolled() const;
    /// What became of the request in flight: handles a lost answer (see the
    /// class comment). \a cutShort: an urgent write ended the wait. Called by
    /// the thread after each wait; tests call it. An answer the decoder took
    /// meanwhile counts as answered whatever \a answered says.
    void answerOutcome(bool answered, bool cutShort = false);

    /// One pass of the thread body without the waits: builds and sends at most
    /// one packet. Returns true when an answer is awaited. Tests drive it directly.
    bool runPass();

    /// Packets counted in the current cycle.
    int cycleCounter() const { return m_cycle; }
    /// Passes run by the thread since it started (for measurements).
    uint64_t passes() const { return m_passes.load(std::memory_order_relaxed); }
    /// True while the sender sleeps with nothing to do (its link closed or
    /// nothing pending): the pacer does not wake it, and passes() stands.
    bool idle() const { return m_idle.load(); }

private:
    enum class WaitEnd { Answered, TimedOut, CutShort, Ended };
    using Clock = std::chrono::steady_clock;

    void Execute();
    /// Asked by the pacer on every tick (atomics only): true when a pass may
    /// have something to do.
    bool due() const;
    /// One pass that sends nothing moves the send cycle on: the phase of this
    /// pass (the caller holds the RegisterLock).
    int advanceCycle();
    /// Moves the cycle on by \a passes empty passes (the idle ticks).
    void catchUpCycle(uint64_t passes);
    /// After a pass that sent nothing: goes idle when nothing at all is
    /// pending (under the RegisterLock).
    void idleIfNothingPending();
    WaitEnd awaitAnswer();
    void requestLiveRegisters();
    bool buildAndSend();
    /// Builds and sends the urgent writes; false when there was none to send.
    bool sendUrgent(bool &sent);
    /// Sets the wait of the request just sent.
    void armAnswerWait(Clock::time_point sentAt);

    QLMCSession &m_session;
    RequestEncoder &m_encoder;
    PacketTransport &m_tcp;
    PacketTransport &m_udp;
    QLMCIPPacket m_packet;
    AutoResetEvent m_timerEvent;
    AutoResetEvent m_answerEvent;
    int m_pacerKey = 0; ///< the membership in SharedPacer while running
    std::thread m_thread;
    std::atomic<bool> m_terminated{false};
    std::atomic<uint64_t> m_passes{0};
    std::atomic<int> m_answerTimeoutMs{AnswerTimeoutMs};
    std::atomic<int> m_answerTimeoutFloorMs{AnswerTimeout::FloorMs};
    std::atomic<bool> m_awaiting{false};
    // Idle state: set by the sender thread, read by the pacer's due test.
    std::atomic<bool> m_idle{false};
    std::atomic<uint64_t> m_idleStamp{0}; ///< the request stamp when it went idle
    std::atomic<bool> m_idleClosed{false}; ///< idle because the link was closed
    uint64_t m_idleTick = 0;              ///< the pacer's tick when it went idle
    std::function<void()> m_unansweredIdentification;
    std::function<void(uint32_t)> m_inputOverrun;
    int m_cycle = 0;

    // The request in flight (sender thread only).
    std::vector<uint8_t> m_inFlight; ///< its register addresses
    int m_inFlightPhase = 0;         ///< Phases::Read, Write or InputOnly
    bool m_inFlightScan = false;     ///< the gateway bus scan
    uint32_t m_inFlightGeneration = 0;
    int32_t m_inFlightTransaction = -1; ///< ConnectionState::NoTransaction: none
    Clock::time_point m_inFlightSentAt{};
    int m_inFlightTimeoutMs = AnswerTimeoutMs;
    /// An urgent write ends the wait once the answer is this late.
    Clock::duration m_inFlightLateAfter{};
    /// The cycle's phase to go on with after an urgent packet (-1: none).
    int m_resumePhase = -1;
    /// Registers already asked once more after a lost read: not asked again.
    std::bitset<RegisterCount> m_reasked;
};
