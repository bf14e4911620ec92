// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/CommStatistics.h"

#include <algorithm>
#include <cmath>

void CommStatistics::clearCounters()
{
    readRequestsSent = 0;
    writeRequestsSent = 0;
    answersDecoded = 0;
    receiveChunks = 0;
    checksumErrors = 0;
    acknowledgeErrors = 0;
    datagramsDropped = 0;
    staleAnswers = 0;
    answerTimeouts = 0;
    identifyRetries = 0;
    registersReasked = 0;
    registersGivenUp = 0;
    registersReadBack = 0;
    scanRequestsSent = 0;
    inputOverruns = 0;
    lateAnswers = 0;
    waitsCutShort = 0;
    clearAnswerTimes();
    std::lock_guard guard(m_timesMutex);
    m_recent.fill(SentRequest{});
}

void CommStatistics::clearShownCounters()
{
    shown.readRequestsSent = 0;
    shown.writeRequestsSent = 0;
    shown.answersDecoded = 0;
    shown.lostPackets = 0;
    shown.receiveChunks = 0;
    shown.lastTransactionReceived = 0;
    shown.lastTransactionSent = 0;
    shown.answerTimeMs = 0.0f;
    shown.answerTimeMaxMs = 0.0f;
    clearAnswerTimes();
}

void CommStatistics::requestSent(bool write, int32_t transactionId, int64_t now)
{
    if (write)
        shown.writeRequestsSent = ++writeRequestsSent;
    else
        shown.readRequestsSent = ++readRequestsSent;
    sendTime = now;
    shown.lastTransactionSent = transactionId;
    std::lock_guard guard(m_timesMutex);
    m_recent[m_recentNext] = {transactionId, now};
    m_recentNext = (m_recentNext + 1) % RecentRequests;
}

void CommStatistics::chunkReceived()
{
    shown.receiveChunks = ++receiveChunks;
}

void CommStatistics::answerFramed(int32_t transactionId)
{
    shown.lastTransactionReceived = transactionId;
}

CommStatistics::LostPackets CommStatistics::answerDecoded(int64_t now, int64_t frequency)
{
    const int32_t answers = ++answersDecoded;
    shown.answersDecoded = answers;
    const int32_t lost = readRequestsSent.load() + writeRequestsSent.load() - answers;
    const int32_t previous = shown.lostPackets.exchange(lost);
    receiveTime = now;
    const float ms = float(double(now - sendTime.load()) / double(frequency) * 1000.0);
    shown.answerTimeMs = ms;
    if (ms > shown.answerTimeMaxMs.load())
        shown.answerTimeMaxMs = ms;
    keepAnswerTime(ms);
    return {lost, previous};
}

void CommStatistics::lateAnswer(int32_t transactionId, int64_t now, int64_t frequency)
{
    ++lateAnswers;
    int64_t sent = -1;
    {
        std::lock_guard guard(m_timesMutex);
        for (const SentRequest &request : m_recent)
            if (request.transactionId == transactionId)
                sent = request.time;
    }
    if (sent >= 0 && now >= sent)
        keepAnswerTime(float(double(now - sent) / double(frequency) * 1000.0));
}

void CommStatistics::keepAnswerTime(float ms)
{
    std::lock_guard guard(m_timesMutex);
    m_times[m_timeNext] = ms;
    m_timeNext = (m_timeNext + 1) % AnswerTimeWindow;
    m_timeCount = std::min(m_timeCount + 1, AnswerTimeWindow);
}

float CommStatistics::answerTimeP99Ms() const
{
    std::array<float, AnswerTimeWindow> times{};
    size_t count;
    {
        std::lock_guard guard(m_timesMutex);
        count = m_timeCount;
        std::copy_n(m_times.begin(), count, times.begin());
    }
    if (count == 0)
        return 0.0f;
    // Nearest rank: the smallest time that at least 99 % of the answers reach.
    const size_t rank = size_t(std::ceil(0.99 * double(count)));
    const auto nth = times.begin() + std::ptrdiff_t(rank - 1);
    std::nth_element(times.begin(), nth, times.begin() + std::ptrdiff_t(count));
    return *nth;
}

size_t CommStatistics::answerTimeCount() const
{
    std::lock_guard guard(m_timesMutex);
    return m_timeCount;
}

void CommStatistics::clearAnswerTimes()
{
    std::lock_guard guard(m_timesMutex);
    m_timeCount = 0;
    m_timeNext = 0;
}
