#include "protocol/CommStatistics.h"

void CommStatistics::clearCounters()
{
    readRequestsSent = 0;
    writeRequestsSent = 0;
    answersDecoded = 0;
    receiveChunks = 0;
    checksumErrors = 0;
    datagramsDropped = 0;
    staleAnswers = 0;
    answerTimeouts = 0;
    identifyRetries = 0;
    registersReasked = 0;
    registersReadBack = 0;
}

void CommStatistics::clearShownCounters()
{
    shown.readRequestsSent = 0;
    shown.writeRequestsSent = 0;
    shown.answersDecoded = 0;
    shown.receiveChunks = 0;
}

void CommStatistics::requestSent(bool write, int32_t transactionId, int64_t now)
{
    if (write)
        shown.writeRequestsSent = ++writeRequestsSent;
    else
        shown.readRequestsSent = ++readRequestsSent;
    sendTime = now;
    shown.lastTransactionSent = transactionId;
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
    return {lost, previous};
}
