// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

/// The communication counters of one connection and the copies the statistics
/// window shows. Counters are written by the sender thread (requests, UDP
/// answers) and the user-interface thread (TCP answers) and read by the
/// display; each is one atomic 32-bit word.
class CommStatistics
{
public:
    // Counters of the connection, cleared at every open.
    std::atomic<int32_t> readRequestsSent{0};
    std::atomic<int32_t> writeRequestsSent{0};
    std::atomic<int32_t> answersDecoded{0};
    std::atomic<int32_t> receiveChunks{0};

    // What the link's recovery did, cleared at every open.
    std::atomic<int32_t> checksumErrors{0};     ///< frames dropped by the checksum or size check
    std::atomic<int32_t> acknowledgeErrors{0};  ///< gateway answers without the module's acknowledge
    std::atomic<int32_t> datagramsDropped{0};   ///< datagrams that were not one whole frame
    std::atomic<int32_t> staleAnswers{0};       ///< answers of an earlier connection, not decoded
    std::atomic<int32_t> unaskedScanAnswers{0}; ///< module lists outside a bus scan, ignored
    std::atomic<int32_t> answerTimeouts{0};     ///< requests whose answer did not come in time
    std::atomic<int32_t> identifyRetries{0};    ///< Type and Version asked again before identification
    std::atomic<int32_t> registersReasked{0};   ///< registers of lost read packets asked once more
    std::atomic<int32_t> registersReadBack{0};  ///< registers of lost write packets read back
    std::atomic<int32_t> registersGivenUp{0};   ///< registers lost again after being asked once more
    std::atomic<int32_t> scanRequestsSent{0};   ///< gateway bus scans sent
    /// Peers that sent more than the answers to the requests could hold (a
    /// stream of bytes, a flood of datagrams): the connection was closed.
    std::atomic<int32_t> inputOverruns{0};
    /// Answers that came after their request was given up (or with no request
    /// awaited): told apart by their transaction number, never decoded.
    std::atomic<int32_t> lateAnswers{0};
    /// Answer waits an urgent write (a STOP, an auto-tuning abort) ended before
    /// their time-out; the request counts as given up.
    std::atomic<int32_t> waitsCutShort{0};

    // High-resolution counter values of the last request sent and answer decoded.
    std::atomic<int64_t> sendTime{0};
    std::atomic<int64_t> receiveTime{0};

    /// Copies written by the transport and shown by the statistics window.
    struct Shown
    {
        std::atomic<int32_t> readRequestsSent{0};
        std::atomic<int32_t> writeRequestsSent{0};
        std::atomic<int32_t> answersDecoded{0};
        std::atomic<int32_t> lostPackets{0};
        std::atomic<int32_t> receiveChunks{0};
        std::atomic<int32_t> lastTransactionReceived{0};
        std::atomic<int32_t> lastTransactionSent{0};
        std::atomic<float> answerTimeMs{0.0f};
        std::atomic<float> answerTimeMaxMs{0.0f};
        /// The answer time-out in force for an ordinary request (it follows the
        /// link: see adaptiveAnswerTimeoutMs); written at every request sent.
        std::atomic<int32_t> answerTimeoutMs{0};
    } shown;

    /// Clears the four counters, the recovery counters and the kept answer
    /// times (every open: the time-out follows this connection's answers).
    void clearCounters();
    /// Clears every shown copy, the answer times with their maximum and the
    /// kept answer times (every open: nothing of an earlier connection is shown).
    void clearShownCounters();

    /// Bookkeeping for one request sent.
    void requestSent(bool write, int32_t transactionId, int64_t now);
    /// Requests of this connection that an answer may come back for.
    int64_t requestsAnswerable() const
    {
        return int64_t(readRequestsSent.load()) + writeRequestsSent.load() + scanRequestsSent.load();
    }
    /// Bookkeeping for one receive chunk (TCP receive event or UDP datagram).
    void chunkReceived();
    /// Bookkeeping for one answer that passed its checksum.
    void answerFramed(int32_t transactionId);
    struct LostPackets
    {
        int32_t now;      ///< requests sent minus answers decoded
        int32_t previous; ///< the value shown before this answer
    };
    /// Bookkeeping for one decoded answer: counts it, updates the answer time
    /// and the lost-packet count.
    LostPackets answerDecoded(int64_t now, int64_t frequency);
    /// Bookkeeping for an answer whose request was given up: counts it and,
    /// when its request is among the last RecentRequests sent, keeps its answer
    /// time too (a link that slowed down raises the percentile and with it
    /// the time-out, although none of its answers is decoded any more).
    void lateAnswer(int32_t transactionId, int64_t now, int64_t frequency);

    /// Answers kept for the percentile.
    static constexpr size_t AnswerTimeWindow = 1000;
    /// The 99th percentile of the last 1000 answer times (nearest rank), 0 with none.
    float answerTimeP99Ms() const;
    /// Answer times kept for the percentile (at most AnswerTimeWindow).
    size_t answerTimeCount() const;
    /// Forgets the kept answer times (with the maximum).
    void clearAnswerTimes();

    /// Send times remembered for late answers.
    static constexpr size_t RecentRequests = 64;

private:
    void keepAnswerTime(float ms);

    struct SentRequest
    {
        int32_t transactionId = -1;
        int64_t time = 0;
    };

    mutable std::mutex m_timesMutex;
    std::array<float, AnswerTimeWindow> m_times{};
    size_t m_timeCount = 0;
    size_t m_timeNext = 0;
    std::array<SentRequest, RecentRequests> m_recent{}; ///< under m_timesMutex
    size_t m_recentNext = 0;
};
