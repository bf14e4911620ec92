// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Each fault mode of the virtual controller, observed on the wire.
#include "SimWireClient.h"

#include "sim/SimController.h"
#include "sim/SimFrame.h"
#include "sim/SimOutputQueue.h"
#include "sim/SimServer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

using simtest::Bytes;
using simtest::frame;

namespace {

constexpr int NoAnswerMs = 150;
const Bytes KpValue{0x00, 0x02, 0x80, 0x00};

class FaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto controller = std::make_shared<SimController>(
            *parseSimModel("NETDC-A"),
            SimIdentity{{0x00, 0x50, 0xC2, 0x00, 0x00, 0x01}, {127, 0, 0, 1}, {255, 0, 0, 0}, "F"});
        ASSERT_TRUE(controller->writeRegister(0x33, KpValue));
        server = std::make_unique<SimServer>(SimServerConfig{}, controller);
        ASSERT_TRUE(server->start());
        ASSERT_TRUE(client.connect("127.0.0.1", server->tcpPort()));
    }

    static Bytes request(uint16_t transaction) { return frame(0x0021, transaction, {0x33}); }
    /// The answer to request() as the device sends it without faults.
    static Bytes clean(uint16_t transaction)
    {
        Bytes payload{0x33};
        payload.insert(payload.end(), KpValue.begin(), KpValue.end());
        return frame(0x0023, transaction, payload);
    }

    SimFaults &faults() { return server->faults(); }

    std::unique_ptr<SimServer> server;
    simtest::TcpClient client;
};

TEST_F(FaultTest, DropWithholdsAnswersUntilSwitchedOff)
{
    faults().setDrop(SimFaultRate::always());
    ASSERT_TRUE(client.send(request(1)));
    EXPECT_TRUE(client.receiveChunk(NoAnswerMs).empty());
    EXPECT_EQ(server->stats().dropped, 1u);

    faults().clear();
    EXPECT_EQ(client.exchange(request(2)), clean(2));

    simtest::UdpClient udp;
    faults().setDrop(SimFaultRate::every(2));
    udp.sendTo("127.0.0.1", server->udpPort(), request(3));
    EXPECT_EQ(udp.receive(2000), clean(3));
    udp.sendTo("127.0.0.1", server->udpPort(), request(4));
    EXPECT_TRUE(udp.receive(NoAnswerMs).empty());
}

TEST_F(FaultTest, CorruptInvertsTheChecksumOfEveryNthAnswer)
{
    faults().setCorrupt(SimFaultRate::every(2));
    EXPECT_EQ(client.exchange(request(1)), clean(1));
    const Bytes corrupted = client.exchange(request(2));
    const Bytes expected = clean(2);
    ASSERT_EQ(corrupted.size(), expected.size());
    EXPECT_FALSE(simtest::checksumValid(corrupted));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end() - 1, corrupted.begin()));
    EXPECT_EQ(client.exchange(request(3)), clean(3));
}

TEST_F(FaultTest, SplitSendsTheAnswerInSeparateSegments)
{
    faults().setSplit(SimFaultRate::always(), 3, 60);
    ASSERT_TRUE(client.send(request(1)));
    const Bytes expected = clean(1);
    Bytes received;
    int chunks = 0;
    while (received.size() < expected.size()) {
        const Bytes chunk = client.receiveChunk(2000);
        ASSERT_FALSE(chunk.empty());
        received.insert(received.end(), chunk.begin(), chunk.end());
        ++chunks;
    }
    EXPECT_EQ(received, expected);
    EXPECT_EQ(chunks, 3);
}

TEST_F(FaultTest, MergeHoldsAnAnswerAndSendsItWithTheNextInOneSegment)
{
    faults().setMerge(SimFaultRate::always());
    ASSERT_TRUE(client.send(request(1)));
    EXPECT_TRUE(client.receiveChunk(NoAnswerMs).empty());
    ASSERT_TRUE(client.send(request(2)));
    Bytes both = clean(1);
    const Bytes second = clean(2);
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(client.receiveChunk(2000), both);
}

TEST_F(FaultTest, CloseAfterEndsTheConnectionOnceTheNthRequestIsAnswered)
{
    faults().setCloseAfter(2);
    EXPECT_EQ(client.exchange(request(1)), clean(1));
    EXPECT_EQ(client.exchange(request(2)), clean(2));
    EXPECT_TRUE(client.closedByPeer(2000));

    // Every connection gets its own count.
    simtest::TcpClient next("127.0.0.1", server->tcpPort());
    EXPECT_EQ(next.exchange(request(3)), clean(3));
}

TEST_F(FaultTest, OversizeAnnouncesMorePayloadThanAPacketHolds)
{
    faults().setOversize(SimFaultRate::always());
    ASSERT_TRUE(client.send(request(7)));
    const Bytes answer = client.receiveBytes(6 + 1024 + 2, 2000);
    ASSERT_EQ(answer.size(), 6u + 1024 + 2);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 6),
              (Bytes{0x00, 0x23, 0x00, 0x07, 0x04, 0x00}));
    EXPECT_GT(simtest::announcedLength(answer), 1000u);
    EXPECT_TRUE(simtest::checksumValid(answer));
}

TEST_F(FaultTest, MalformedAndGarbageAnswersKeepTheirLengthOnTheWire)
{
    const Bytes expected = clean(1);
    faults().setMalformed(SimFaultRate::always());
    ASSERT_TRUE(client.send(request(1)));
    const Bytes malformed = client.receiveBytes(expected.size(), 2000);
    ASSERT_EQ(malformed.size(), expected.size());
    EXPECT_EQ(simtest::announcedLength(malformed), simtest::announcedLength(expected) + 1);
    EXPECT_TRUE(std::equal(expected.begin() + 6, expected.end() - 2, malformed.begin() + 6));

    faults().clear();
    faults().setGarbage(SimFaultRate::always());
    ASSERT_TRUE(client.send(request(1)));
    const Bytes garbage = client.receiveBytes(expected.size(), 2000);
    ASSERT_EQ(garbage.size(), expected.size());
    EXPECT_NE(garbage, expected);
}

TEST_F(FaultTest, DelayHoldsEveryAnswerBackAndKeepsTheirOrder)
{
    faults().setDelayMs(150);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.send(request(1)));
    ASSERT_TRUE(client.send(request(2)));
    EXPECT_EQ(client.receiveFrame(), clean(1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(145));
    EXPECT_EQ(client.receiveFrame(), clean(2));
}

TEST(SimFaultRate, ParsesCountsAndProbabilities)
{
    EXPECT_EQ(SimFaultRate::parse("")->everyNth, 1u);
    EXPECT_EQ(SimFaultRate::parse("10")->everyNth, 10u);
    EXPECT_FALSE(SimFaultRate::parse("0")->active());
    EXPECT_DOUBLE_EQ(SimFaultRate::parse("0.25")->probability, 0.25);
    EXPECT_EQ(SimFaultRate::parse("0.25")->everyNth, 0u);
    EXPECT_EQ(SimFaultRate::parse("first2")->firstN, 2u);
    EXPECT_EQ(SimFaultRate::parse("after3")->afterN, 3u);
    for (const char *bad : {"-1", "1.5", "abc", "0.2x", "3x", ".", "first", "first0", "firstx",
                            "after", "after0"})
        EXPECT_FALSE(SimFaultRate::parse(bad)) << bad;
}

TEST(SimFaults, FirstNStrikesTheFirstAnswersOnlyAndAfterNAllButThem)
{
    for (const auto &[rate, expected] : {std::pair{SimFaultRate::first(2), "DD..."},
                                         std::pair{SimFaultRate::after(2), "..DDD"}}) {
        SimFaults faults;
        faults.setDrop(rate);
        std::string fates;
        for (int i = 0; i < 5; ++i)
            fates += faults.plan().drop ? 'D' : '.';
        EXPECT_EQ(fates, expected);
    }
}

TEST(SimFaultSettings, CommandLineTextsSetAndClearFaults)
{
    SimFaultSettings settings;
    std::string error;
    for (const char *text :
         {"drop=0.1", "delay=50", "corrupt=10", "split", "split-pieces=4", "split-pause=5",
          "merge=3", "close-after=100", "oversize=7", "malformed=0.5", "garbage",
          "nack-status-only", "late=first1", "late-ms=1500", "late-on=0x03,4"})
        EXPECT_TRUE(SimFaults::applyTo(settings, text, &error)) << text << ": " << error;
    EXPECT_DOUBLE_EQ(settings.drop.probability, 0.1);
    EXPECT_EQ(settings.delayMs, 50);
    EXPECT_EQ(settings.corrupt.everyNth, 10u);
    EXPECT_EQ(settings.split.everyNth, 1u);
    EXPECT_EQ(settings.splitPieces, 4);
    EXPECT_EQ(settings.closeAfter, 100);
    EXPECT_TRUE(settings.nackStatusOnly);
    EXPECT_EQ(settings.late.firstN, 1u);
    EXPECT_EQ(settings.lateMs, 1500);
    EXPECT_EQ(settings.lateOn, (std::vector<int>{0x03, 0x04}));
    EXPECT_TRUE(settings.any());
    // ignore-write: the listed registers, or every one without a list.
    EXPECT_TRUE(SimFaults::applyTo(settings, "ignore-write=0x40,51", &error)) << error;
    EXPECT_EQ(settings.ignoreWrite, (std::vector<int>{0x40, 0x33}));
    EXPECT_TRUE(SimFaults::applyTo(settings, "ignore-write", &error)) << error;
    EXPECT_EQ(settings.ignoreWrite.size(), 0x65u);
    EXPECT_FALSE(SimFaults::applyTo(settings, "no-answer", &error));

    for (const char *bad : {"drop=", "delay", "delay=-5", "split-pieces=1", "close-after=x",
                            "teleport", "corrupt=2.5"})
        EXPECT_FALSE(SimFaults::applyTo(settings, bad, &error)) << bad;
    EXPECT_TRUE(SimFaults::applyTo(settings, "none", &error));
    EXPECT_FALSE(settings.any());
}

TEST(SimFaults, LateOnFindsTheRegisterInEveryRequestKind)
{
    struct Row
    {
        uint16_t function;
        std::vector<uint8_t> payload;
        bool carries;
    };
    const std::vector<int> eeprom{0x03};
    for (const Row &row : {Row{0x21, {0x26, 0x03}, true}, Row{0x21, {0x26, 0x28}, false},
                           Row{0x22, {0x33, 0x00, 0x03, 0x00, 0x00, 0x03}, true},
                           Row{0x22, {0x33, 0x00, 0x03, 0x00, 0x00}, false}, // 03 is a value byte
                           Row{0x07, {0x10, 0x01, 0x03, 0x00}, true},
                           Row{0x07, {0x10, 0x05, 0x33, 0x00, 0x03, 0x00, 0x00, 0x00}, false}}) {
        SimFrame request;
        request.function = row.function;
        request.payload = row.payload;
        EXPECT_EQ(SimFaults::carriesRegister(request, eeprom), row.carries)
            << std::hex << row.function << " " << simHexText(row.payload);
    }
}

TEST(SimOutputQueue, AnAnswerOutOfTurnIsOvertaken)
{
    SimOutputQueue out;
    const auto now = SimOutputQueue::Clock::now();
    out.push({1}, now + std::chrono::milliseconds(300), nullptr, SimOutputQueue::Order::OutOfTurn);
    out.push({2}, now);
    out.push({3}, now + std::chrono::milliseconds(10));
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    auto sentBy = [&](int ms) {
        out.flushStream(fds[0], now + std::chrono::milliseconds(ms));
        uint8_t bytes[8];
        const ssize_t n = ::recv(fds[1], bytes, sizeof bytes, MSG_DONTWAIT);
        return n > 0 ? simHexText({bytes, size_t(n)}) : std::string();
    };
    EXPECT_EQ(sentBy(20), "02 03"); // the late one does not hold the others back
    EXPECT_EQ(sentBy(400), "01");
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(SimFaults, TheSameSeedGivesTheSameDecisions)
{
    auto decisions = [](uint64_t seed) {
        SimFaults faults(seed);
        faults.setDrop(SimFaultRate::chance(0.3));
        faults.setCorrupt(SimFaultRate::chance(0.1));
        std::vector<int> out;
        for (int i = 0; i < 1000; ++i) {
            const SimFaultPlan plan = faults.plan();
            out.push_back(int(plan.drop) + 2 * int(plan.corrupt));
        }
        return out;
    };
    const auto first = decisions(42);
    EXPECT_EQ(first, decisions(42));
    EXPECT_NE(first, decisions(43));
    const auto drops = std::count_if(first.begin(), first.end(), [](int d) { return d & 1; });
    EXPECT_GT(drops, 220);
    EXPECT_LT(drops, 380);
}

} // namespace
