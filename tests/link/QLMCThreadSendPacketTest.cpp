// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/QLMCThreadSendPacket.h"
#include "device/QLMCSession.h"
#include "link/RequestEncoder.h"
#include "protocol/PacketChecksum.h"
#include "protocol/PacketTransport.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>

using testsupport::hexText;

namespace {

// Records every frame; payload bytes start at offset 6.
class FakeTransport : public PacketTransport
{
public:
    bool open = true;
    mutable std::mutex mutex;
    std::vector<std::vector<uint8_t>> frames;

    bool canSend() const override { return open; }
    bool sendFrame(const uint8_t *data, size_t size) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        frames.emplace_back(data, data + size);
        return true;
    }
    std::string payload(size_t i) const
    {
        const auto &f = frames.at(i);
        return hexText(std::vector<uint8_t>(f.begin() + 6, f.end() - 2));
    }
    int function(size_t i) const { return (frames.at(i)[0] << 8) | frames.at(i)[1]; }
};

class Sender : public ::testing::Test
{
protected:
    QLMCSession session;
    RequestEncoder encoder{session.connection(), session.statistics(), session.assembler()};
    FakeTransport tcp;
    FakeTransport udp;
    QLMCThreadSendPacket sender{session, encoder, tcp, udp};

    void SetUp() override { session.connection().ComMode = ComModes::TcpDirect; }

    void grantAll()
    {
        for (int a = 0; a < RegisterCount; ++a)
            if (isRegisterAddress(a))
                session.motor().setAccess(a, true, true);
    }
    // Runs passes until one sends a packet of \a phase; returns its frame index.
    size_t runUntil(int phase)
    {
        for (int i = 0; i < 100; ++i) {
            const size_t before = tcp.frames.size();
            sender.runPass();
            if (tcp.frames.size() > before && session.connection().Phase == phase)
                return tcp.frames.size() - 1;
        }
        ADD_FAILURE() << "no packet of phase " << phase;
        return 0;
    }
    // Runs passes until a pass of \a phase has run, sent or not.
    void advanceTo(int phase)
    {
        for (int i = 0; i < 100; ++i) {
            sender.runPass();
            if (session.connection().Phase == phase)
                return;
        }
        ADD_FAILURE() << "phase " << phase << " never came";
    }
};

TEST_F(Sender, PollingReadsTheLiveRegistersInAddressOrder)
{
    grantAll();
    session.PollingEnabled = true;
    const size_t read = runUntil(Phases::Read);
    EXPECT_EQ(tcp.function(read), 0x21);
    EXPECT_EQ(tcp.payload(read), "07 0C 20 21 26 28 29 2B 30 32");

    // Watching windows add their registers.
    session.WarningWindowVisible = true;
    session.IOWindowVisible = true;
    session.AutoTuningActive = true;
    const size_t next = runUntil(Phases::Read);
    EXPECT_EQ(tcp.payload(next), "07 08 0C 20 21 26 28 29 2B 30 32 39 56");
}

TEST_F(Sender, OneReadPerCycleOfRefreshRatioPasses)
{
    grantAll();
    session.RefreshRatio = 20;
    session.PollingEnabled = true;
    runUntil(Phases::Read);
    int reads = 0;
    for (int pass = 0; pass < 200; ++pass) {
        sender.runPass();
        reads += session.connection().Phase == Phases::Read;
    }
    // Passes with nothing to send still count in the cycle.
    EXPECT_EQ(reads, 10);
}

TEST_F(Sender, WritesGoInFullWritePacketsAndTheConsignInEveryPacket)
{
    grantAll();
    session.RefreshRatio = 20;
    advanceTo(Phases::Write); // nothing pending yet
    session.motor().RequestWrite(Reg::Input, 500);
    session.motor().RequestWrite(Reg::Kp, 163840);
    const size_t before = tcp.frames.size();
    sender.runPass(); // input-only: only 0x21 goes out
    ASSERT_EQ(tcp.frames.size(), before + 1);
    EXPECT_EQ(tcp.function(before), 0x22);
    EXPECT_EQ(tcp.payload(before), "21 00 00 01 F4");
    EXPECT_TRUE(session.motor().registerAt(Reg::Kp)->WriteRequest);
    const size_t write = runUntil(Phases::Write);
    EXPECT_EQ(tcp.payload(write), "33 00 02 80 00");
}

TEST_F(Sender, RequestsTheModelDoesNotGrantAreDropped)
{
    session.motor().setAccess(Reg::Position, true, false);
    session.motor().RequestRead(Reg::Temperature);
    session.motor().RequestRead(Reg::Position);
    session.motor().RequestWrite(Reg::Position, 0);
    const size_t read = runUntil(Phases::Read);
    EXPECT_EQ(tcp.payload(read), "26");
    EXPECT_FALSE(session.motor().registerAt(Reg::Temperature)->ReadRequest);
    for (int i = 0; i < 40; ++i)
        sender.runPass();
    EXPECT_FALSE(session.motor().registerAt(Reg::Position)->WriteRequest);
    EXPECT_EQ(tcp.frames.size(), read + 1);
}

TEST_F(Sender, AnswersAreBoundedTo110Bytes)
{
    grantAll();
    session.motor().RequestAllReadable();
    std::vector<int> packetSizes;
    std::set<int> seen;
    for (int i = 0; i < 200; ++i) {
        const size_t before = tcp.frames.size();
        sender.runPass();
        if (tcp.frames.size() == before || session.connection().Phase != Phases::Read)
            continue;
        int answerBytes = 0;
        for (uint8_t address : testsupport::hexBytes(tcp.payload(before))) {
            answerBytes += 1 + QLMCIPMotor::RegisterSize(address);
            seen.insert(address);
        }
        EXPECT_LE(answerBytes, 110);
        packetSizes.push_back(answerBytes);
    }
    EXPECT_GE(packetSizes.size(), 4u);
    for (int a = 2; a < RegisterCount; ++a)
        EXPECT_EQ(seen.count(a), size_t(isRegisterAddress(a))) << a;
}

TEST_F(Sender, GatewayBudgetCountsStatusAndSpareBytes)
{
    grantAll();
    session.connection().ComMode = ComModes::TcpGateway;
    session.connection().I2CAddress = 0x10;
    for (int a : {0x40, 0x41, 0x42, 0x43, 0x44, 0x47, 0x48, 0x4B, 0x4C, 0x50, 0x52, 0x53, 0x58,
                  0x5A, 0x5B, 0x61, 0x62, 0x63, 0x64})
        session.motor().RequestRead(a);
    const size_t read = runUntil(Phases::Read);
    // 4 value bytes + 3 per register: at most 15 registers (105 bytes).
    EXPECT_EQ(tcp.payload(read).size(), size_t(15 * 4 * 3 - 1));
    EXPECT_EQ(session.connection().RequestedAddresses[14], 0x5B);
    EXPECT_EQ(session.connection().RequestedAddresses[15], 0xFF);

    session.motor().RequestWrite(Reg::RegulationMode, 3);
    session.motor().RequestWrite(Reg::Kp, 65536);
    const size_t write = runUntil(Phases::Write);
    EXPECT_EQ(tcp.payload(write), "10 02 20 03 00 10 05 33 00 01 00 00 00");
    EXPECT_EQ(session.connection().GatewayWriteItems, 2);
}

TEST_F(Sender, NothingIsConsumedWhileClosed)
{
    grantAll();
    session.connection().ComMode = ComModes::Closed;
    session.motor().RequestRead(Reg::Position);
    session.PollingEnabled = true;
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(sender.runPass());
    EXPECT_TRUE(session.motor().registerAt(Reg::Position)->ReadRequest);
    EXPECT_TRUE(tcp.frames.empty());
}

// The addresses that have a read request pending.
std::string pendingReads(QLMCSession &session)
{
    std::string text;
    for (const QLMCRegister &reg : session.motor().registers())
        if (reg.ReadRequest)
            text += (text.empty() ? "" : " ") + hexText(std::vector<uint8_t>{uint8_t(reg.Address)});
    return text;
}

TEST_F(Sender, LostAnswerBeforeIdentificationAsksTypeAndVersionAgain)
{
    session.motor().RequestRead(Reg::Type);
    session.motor().RequestRead(Reg::Version);
    const size_t read = runUntil(Phases::Read);
    EXPECT_EQ(tcp.payload(read), "00 01");
    EXPECT_TRUE(sender.awaitingAnswer());
    for (int attempt = 1; attempt <= 3; ++attempt) {
        sender.answerOutcome(false);
        EXPECT_FALSE(sender.awaitingAnswer());
        EXPECT_EQ(pendingReads(session), "00 01");
        EXPECT_EQ(session.statistics().identifyRetries, attempt);
        EXPECT_EQ(tcp.payload(runUntil(Phases::Read)), "00 01");
    }
    // Once identified, a lost Type and Version read is asked once more like any other.
    session.Identified = true;
    sender.answerOutcome(false);
    EXPECT_EQ(session.statistics().identifyRetries, 3);
    EXPECT_EQ(session.statistics().registersReasked, 2);
}

TEST_F(Sender, LostReadIsAskedOnceMoreExceptWhatThePollReads)
{
    grantAll();
    session.Identified = true;
    session.PollingEnabled = true;
    session.motor().RequestRead(Reg::Kp);
    session.motor().RequestRead(Reg::Options);
    EXPECT_EQ(tcp.payload(runUntil(Phases::Read)), "07 0C 20 21 26 28 29 2B 2C 30 32 33");
    sender.answerOutcome(false);
    // Only the one-shot reads come again; the poll brings the live values back.
    EXPECT_EQ(tcp.payload(runUntil(Phases::Read)), "07 0C 20 21 26 28 29 2B 2C 30 32 33");
    EXPECT_EQ(session.statistics().registersReasked, 2);
    sender.answerOutcome(false); // lost again: given up
    EXPECT_EQ(tcp.payload(runUntil(Phases::Read)), "07 0C 20 21 26 28 29 2B 30 32");
    EXPECT_EQ(session.statistics().registersReasked, 2);
    EXPECT_EQ(session.statistics().answerTimeouts, 2);

    // An answered read clears the mark: a later loss is asked again.
    sender.answerOutcome(true);
    session.motor().RequestRead(Reg::Kp);
    runUntil(Phases::Read);
    sender.answerOutcome(false);
    EXPECT_EQ(tcp.payload(runUntil(Phases::Read)), "07 0C 20 21 26 28 29 2B 30 32 33");
}

TEST_F(Sender, WhatIsGivenUpOrLostStaysUnmarked)
{
    grantAll();
    session.Identified = true;
    const uint64_t mark = session.answerSequence();
    const auto kp = [this] { return *session.motor().registerAt(Reg::Kp); };

    // Lost, asked once more, lost again: given up, and still not received.
    session.motor().RequestRead(Reg::Kp);
    runUntil(Phases::Read);
    sender.answerOutcome(false);
    runUntil(Phases::Read);
    sender.answerOutcome(false);
    EXPECT_EQ(session.statistics().registersGivenUp, 1);
    EXPECT_EQ(pendingReads(session), "");
    EXPECT_FALSE(kp().received());

    // Only an answered write packet marks its registers as written.
    session.motor().RequestWrite(Reg::Kp, 0x28000);
    runUntil(Phases::Write);
    sender.answerOutcome(false);
    EXPECT_EQ(kp().WriteAnsweredSequence, 0u);
    session.motor().RequestWrite(Reg::Kp, 0x28000);
    runUntil(Phases::Write);
    sender.answerOutcome(true);
    EXPECT_GT(kp().WriteAnsweredSequence, mark);
    EXPECT_FALSE(kp().received()); // a write answer carries no value

    // A gateway that does not acknowledge the write: not marked.
    const uint64_t written = kp().WriteAnsweredSequence;
    session.connection().ComMode = ComModes::TcpGateway;
    session.motor().RequestWrite(Reg::Kp, 0x30000);
    runUntil(Phases::Write);
    QLMCIPPacket nack;
    nack.Length = 1;
    nack.Data[0] = 0x20;
    session.DataReceived(nack);
    sender.answerOutcome(true);
    EXPECT_EQ(kp().WriteAnsweredSequence, written);
}

TEST_F(Sender, LostWriteIsReadBackNeverRepeated)
{
    grantAll();
    session.Identified = true;
    advanceTo(Phases::Read);
    session.motor().RequestWrite(Reg::Kp, 163840);
    session.motor().RequestWrite(Reg::SaveParams, 0); // a command: no value to read back
    session.motor().RequestWrite(Reg::RegulationMode, 3);
    const size_t write = runUntil(Phases::Write);
    EXPECT_EQ(tcp.function(write), 0x22);
    sender.answerOutcome(false);
    EXPECT_EQ(session.statistics().registersReadBack, 2);
    EXPECT_EQ(tcp.payload(runUntil(Phases::Read)), "20 33");
    for (int i = 0; i < 60; ++i)
        sender.runPass();
    int writes = 0;
    for (size_t i = 0; i < tcp.frames.size(); ++i)
        writes += tcp.function(i) == 0x22;
    EXPECT_EQ(writes, 1);
}

TEST_F(Sender, NothingIsAskedAgainForAConnectionThatIsGone)
{
    grantAll();
    session.Identified = true;
    session.motor().RequestRead(Reg::Kp);
    runUntil(Phases::Read);
    ++session.connection().Generation; // closed (or reopened) during the wait
    sender.answerOutcome(false);
    EXPECT_EQ(pendingReads(session), "");
    EXPECT_EQ(session.statistics().answerTimeouts, 0);
}

struct UrgentRow
{
    const char *name;
    int comMode;
    bool identified;
    const char *payload; ///< of the urgent write frame; "" when none goes out
};

class UrgentWrite : public Sender, public ::testing::WithParamInterface<UrgentRow>
{};

TEST_P(UrgentWrite, GoesNextAheadOfThePollAndThePendingWrites)
{
    const UrgentRow &row = GetParam();
    session.connection().ComMode = row.comMode;
    session.connection().I2CAddress = 0x10;
    session.Identified = row.identified;
    if (row.identified) {
        grantAll();
        session.motor().setAccess(Reg::RegulationMode, true, false); // a model without it
    } else {
        session.motor().setAccess(Reg::Kp, true, true); // granted by hand; 0x20 is not
    }
    session.PollingEnabled = true;
    advanceTo(Phases::Read);
    session.motor().RequestWrite(Reg::Kp, 163840);
    session.motor().RequestWrite(Reg::RegulationMode, 5); // a mode clicked just before
    ASSERT_TRUE(session.requestDriverStop());
    const size_t before = tcp.frames.size();
    sender.runPass();
    if (*row.payload == 0) {
        // Not granted: dropped like any write; the cycle goes on.
        EXPECT_FALSE(session.urgentWritePending());
        EXPECT_EQ(session.connection().Phase, Phases::Write);
        return;
    }
    ASSERT_EQ(tcp.frames.size(), before + 1);
    EXPECT_EQ(tcp.function(before), row.comMode == ComModes::TcpGateway ? 0x07 : 0x22);
    EXPECT_EQ(tcp.payload(before), row.payload);
    // The pending mode would undo the STOP: dropped. Kp waits for its packet.
    EXPECT_FALSE(session.motor().registerAt(Reg::RegulationMode)->WriteRequest);
    EXPECT_TRUE(session.motor().registerAt(Reg::Kp)->WriteRequest);
    sender.answerOutcome(true);
    // Outside the cycle: after the read comes the full write packet.
    const size_t write = runUntil(Phases::Write);
    EXPECT_EQ(write, before + 1);
    EXPECT_NE(tcp.payload(write).find("33 00 02 80 00"), std::string::npos);
    EXPECT_EQ(session.statistics().writeRequestsSent, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, UrgentWrite,
    ::testing::Values(UrgentRow{"Direct", ComModes::TcpDirect, false, "20 00"},
                      UrgentRow{"GatewayModule", ComModes::TcpGateway, false, "10 02 20 00 00"},
                      UrgentRow{"NotGranted", ComModes::TcpDirect, true, ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Sender, NoUrgentWriteWhileClosed)
{
    session.connection().ComMode = ComModes::Closed;
    EXPECT_FALSE(session.requestDriverStop());
    EXPECT_FALSE(session.urgentWritePending());
}

// A framed answer to transaction \a transaction carrying \a payloadHex.
std::vector<uint8_t> answerFrame(int function, int transaction, const std::string &payloadHex)
{
    const auto payload = testsupport::hexBytes(payloadHex);
    std::vector<uint8_t> bytes{uint8_t(function >> 8),    uint8_t(function),
                               uint8_t(transaction >> 8), uint8_t(transaction),
                               0x00,                      uint8_t(payload.size())};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    const uint16_t cs = PacketChecksum(bytes.data(), bytes.size());
    bytes.push_back(uint8_t(cs >> 8));
    bytes.push_back(uint8_t(cs));
    return bytes;
}

TEST_F(Sender, LateAnswerIsCountedAndNeverTakenForTheNextRequest)
{
    grantAll();
    session.Identified = true;
    AutoResetEvent answered;
    session.setAnswerEvent(&answered);
    const uint32_t generation = session.connection().Generation;
    auto feed = [&](const std::vector<uint8_t> &frame) {
        session.feedAnswerBytes(frame.data(), frame.size(), generation, false);
    };

    session.motor().RequestRead(Reg::Kp);
    runUntil(Phases::Read);
    const int32_t read = session.connection().AwaitedTransaction;
    sender.answerOutcome(false); // given up: Kp is asked once more
    session.motor().RequestWrite(Reg::Ki, 65536);
    runUntil(Phases::Write);
    const int32_t write = session.connection().AwaitedTransaction;
    ASSERT_NE(read, write);

    // The read's answer comes now, while the write waits for its own.
    feed(answerFrame(0x23, read, "33 00 02 80 00"));
    EXPECT_EQ(session.statistics().lateAnswers, 1);
    EXPECT_EQ(session.statistics().answersDecoded, 0);
    EXPECT_FALSE(session.motor().registerAt(Reg::Kp)->received());
    EXPECT_EQ(answered.wait(0), WaitResult::Timeout);
    EXPECT_EQ(session.connection().AwaitedTransaction, write);

    // The write's answer is lost too: read back, not taken as written.
    sender.answerOutcome(false);
    EXPECT_EQ(session.motor().registerAt(Reg::Ki)->WriteAnsweredSequence, 0u);
    EXPECT_EQ(session.statistics().registersReadBack, 1);

    // The next request's own answer is taken.
    runUntil(Phases::Read);
    feed(answerFrame(0x23, session.connection().AwaitedTransaction, "33 00 02 80 00 34 00 01 00 00"));
    EXPECT_EQ(answered.wait(0), WaitResult::Signalled);
    EXPECT_TRUE(session.motor().registerAt(Reg::Kp)->received());
    EXPECT_EQ(session.statistics().answersDecoded, 1);
    session.setAnswerEvent(nullptr);
}

TEST_F(Sender, TheThreadSendsAndWaitsForEachAnswer)
{
    grantAll();
    session.PollingEnabled = true;
    session.setAnswerEvent(&sender.answerEvent());
    sender.start();
    // Without answers the sender waits 3 s after its first request.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    size_t sent;
    {
        std::lock_guard<std::mutex> guard(tcp.mutex);
        sent = tcp.frames.size();
    }
    EXPECT_EQ(sent, 1u);
    // Each answer (carrying the awaited transaction number) lets one more packet go.
    for (int i = 0; i < 5; ++i) {
        QLMCIPPacket answer;
        answer.Function = 0x21;
        answer.TransactionId = session.connection().AwaitedTransaction;
        session.answerFramed(answer);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    {
        std::lock_guard<std::mutex> guard(tcp.mutex);
        sent = tcp.frames.size();
    }
    EXPECT_GE(sent, 2u);
    EXPECT_LE(sent, 6u);
    sender.terminate();
    session.setAnswerEvent(nullptr);
}

TEST_F(Sender, AnIdleSenderSleepsUntilWorkComes)
{
    grantAll();
    session.setAnswerEvent(&sender.answerEvent());
    sender.start();
    // Nothing pending, no poll: after one pass the pacer no longer wakes it.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(sender.idle());
    const uint64_t passes = sender.passes();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(sender.passes(), passes);

    // A request wakes it at the next tick; the write goes in its phase.
    session.motor().RequestWrite(Reg::Kp, 7);
    auto sentFrames = [&] {
        std::lock_guard<std::mutex> guard(tcp.mutex);
        return tcp.frames.size();
    };
    for (int i = 0; i < 200 && sentFrames() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(sentFrames(), 1u);
    EXPECT_EQ(tcp.function(0), 0x22);
    EXPECT_EQ(tcp.payload(0).substr(0, 2), "33");
    QLMCIPPacket answer;
    answer.Function = 0x22;
    answer.TransactionId = session.connection().AwaitedTransaction;
    session.answerFramed(answer);
    for (int i = 0; i < 200 && !sender.idle(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(sender.idle());

    // Closed, it stays asleep; opened with the poll on, it polls again.
    session.connection().ComMode = ComModes::Closed;
    session.PollingEnabled = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(sentFrames(), 1u);
    session.connection().ComMode = ComModes::TcpDirect;
    for (int i = 0; i < 200 && sentFrames() == 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(sentFrames(), 2u);
    sender.terminate();
    session.setAnswerEvent(nullptr);
}

} // namespace
