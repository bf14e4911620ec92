// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/AnswerAssembler.h"
#include "protocol/PacketChecksum.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <random>

using testsupport::hexBytes;
using testsupport::hexText;

namespace {

struct Received
{
    int function;
    int transaction;
    std::string payload;
};

class RecordingSink : public AnswerSink
{
public:
    std::vector<Received> answers;
    int checksumErrors = 0;
    int oversized = 0;

    void answerFramed(const QLMCIPPacket &answer) override
    {
        answers.push_back({answer.Function, answer.TransactionId,
                           hexText(std::vector<uint8_t>(answer.Data.begin(),
                                                        answer.Data.begin() + answer.Length))});
    }
    int datagrams = 0;

    void frameDropped(FrameError error) override
    {
        (error == FrameError::Checksum   ? checksumErrors
         : error == FrameError::Datagram ? datagrams
                                         : oversized)++;
    }
};

std::vector<uint8_t> frame(int function, int transaction, const std::string &payloadHex)
{
    const auto payload = hexBytes(payloadHex);
    std::vector<uint8_t> bytes{uint8_t(function >> 8),       uint8_t(function),
                               uint8_t(transaction >> 8),    uint8_t(transaction),
                               uint8_t(payload.size() >> 8), uint8_t(payload.size())};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    const uint16_t cs = PacketChecksum(bytes.data(), bytes.size());
    bytes.push_back(uint8_t(cs >> 8));
    bytes.push_back(uint8_t(cs));
    return bytes;
}

class Assembler : public ::testing::Test
{
protected:
    RecordingSink sink;
    AnswerAssembler assembler{&sink};

    void feed(const std::vector<uint8_t> &bytes) { assembler.feed(bytes.data(), bytes.size()); }
};

TEST_F(Assembler, SplitAndMergedChunks)
{
    const auto a = frame(0x23, 1, "26 00 00 01 00");
    const auto b = frame(0x23, 2, "28 FF FF FF 9C");
    // An answer split across two chunks is decoded once both halves are in.
    feed({a.begin(), a.begin() + 4});
    EXPECT_TRUE(sink.answers.empty());
    feed({a.begin() + 4, a.end()});
    ASSERT_EQ(sink.answers.size(), 1u);
    EXPECT_EQ(sink.answers[0].payload, "26 00 00 01 00");

    // Two answers in one chunk are both decoded.
    std::vector<uint8_t> both = a;
    both.insert(both.end(), b.begin(), b.end());
    feed(both);
    ASSERT_EQ(sink.answers.size(), 3u);
    EXPECT_EQ(sink.answers[2].transaction, 2);
    EXPECT_EQ(sink.answers[2].payload, "28 FF FF FF 9C");
}

TEST_F(Assembler, AnyChunkingGivesTheSameAnswers)
{
    std::vector<uint8_t> stream;
    for (int i = 0; i < 50; ++i) {
        const auto f = frame(0x23, i, i % 3 ? "26 00 00 00 2A" : "");
        stream.insert(stream.end(), f.begin(), f.end());
    }
    std::mt19937 random(7);
    size_t pos = 0;
    while (pos < stream.size()) {
        const size_t n = std::min<size_t>(1 + random() % 17, stream.size() - pos);
        assembler.feed(stream.data() + pos, n);
        pos += n;
    }
    ASSERT_EQ(sink.answers.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(sink.answers[i].transaction, i);
    EXPECT_EQ(sink.answers[0].payload, "");
}

TEST_F(Assembler, ChecksumErrorDropsTheRestOfTheChunk)
{
    auto bad = frame(0x23, 1, "26 00 00 01 00");
    bad.back() ^= 0x01;
    const auto good = frame(0x23, 2, "26 00 00 00 01");
    std::vector<uint8_t> chunk = bad;
    chunk.insert(chunk.end(), good.begin(), good.end());
    feed(chunk);
    EXPECT_EQ(sink.checksumErrors, 1);
    EXPECT_TRUE(sink.answers.empty());
    EXPECT_EQ(assembler.bytesHeld(), 0u);
    EXPECT_EQ(assembler.bytesExpected(), 6u);

    // The next answer, starting in a later chunk, is decoded normally.
    feed(good);
    ASSERT_EQ(sink.answers.size(), 1u);
    EXPECT_EQ(sink.answers[0].transaction, 2);
}

TEST_F(Assembler, ZeroChecksumAcceptedWhereTheAlgorithmGivesAllOnes)
{
    // 00 21 00 00 00 02 FF DC sums to a multiple of 0xFFFF.
    feed(hexBytes("00 21 00 00 00 02 FF DC 00 00"));
    feed(hexBytes("00 21 00 00 00 02 FF DC FF FF"));
    EXPECT_EQ(sink.answers.size(), 2u);
    EXPECT_EQ(sink.checksumErrors, 0);
}

TEST_F(Assembler, OversizedAnswerIsDroppedWithoutOverrun)
{
    // Header announcing 1001 payload bytes, followed by plenty of bytes.
    std::vector<uint8_t> chunk = hexBytes("00 23 00 01 03 E9");
    chunk.resize(70000, 0xAB);
    feed(chunk);
    EXPECT_EQ(sink.oversized, 1);
    EXPECT_TRUE(sink.answers.empty());
    EXPECT_EQ(assembler.bytesHeld(), 0u);

    // The largest payload a packet holds is still accepted.
    std::string payload;
    for (int i = 0; i < 1000; ++i)
        payload += "01 ";
    feed(frame(0x23, 3, payload));
    ASSERT_EQ(sink.answers.size(), 1u);
    EXPECT_EQ(sink.answers[0].payload.size(), 1000u * 3 - 1);
}

TEST_F(Assembler, EachDatagramIsOneWholeFrameOrDropped)
{
    const auto good = frame(0x23, 7, "26 00 00 01 00");
    auto twice = good;
    twice.insert(twice.end(), good.begin(), good.end());
    auto badChecksum = good;
    badChecksum.back() ^= 0x01;
    struct Row
    {
        const char *what;
        std::vector<uint8_t> datagram;
        int datagramErrors;
        int checksumErrors;
    };
    const Row rows[] = {
        {"truncated", {good.begin(), good.end() - 1}, 1, 0},
        {"one byte too many",
         [&] {
             auto d = good;
             d.push_back(0);
             return d;
         }(),
         1, 0},
        {"two frames", twice, 1, 0},
        {"shorter than a header", {good.begin(), good.begin() + 3}, 1, 0},
        {"empty", {}, 1, 0},
        {"bad checksum", badChecksum, 0, 1},
    };
    for (const Row &row : rows) {
        RecordingSink rowSink;
        AnswerAssembler datagrams(&rowSink);
        datagrams.feedDatagram(row.datagram.data(), row.datagram.size());
        // The next good datagram is decoded whatever came before it.
        datagrams.feedDatagram(good.data(), good.size());
        EXPECT_EQ(rowSink.datagrams, row.datagramErrors) << row.what;
        EXPECT_EQ(rowSink.checksumErrors, row.checksumErrors) << row.what;
        ASSERT_EQ(rowSink.answers.size(), 1u) << row.what;
        EXPECT_EQ(rowSink.answers[0].transaction, 7) << row.what;
    }
}

TEST_F(Assembler, AfterATimeOutOnlyAFrameBegunBeforeTheRequestIsDropped)
{
    const auto a = frame(0x23, 1, "26 00 00 01 00");
    const auto b = frame(0x23, 2, "28 FF FF FF 9C");
    const auto before = std::chrono::steady_clock::now();
    feed({a.begin(), a.begin() + 8}); // a slow answer, still arriving
    EXPECT_FALSE(assembler.resetIfHeldSince(before));
    feed({a.begin() + 8, a.end()});
    ASSERT_EQ(sink.answers.size(), 1u);

    // A damaged header announcing more than comes: dropped at the time-out of
    // a request sent after it, so the next answer is framed on its own.
    const auto stuck = frame(0x23, 3, "26 00 00 01 00");
    feed({stuck.begin(), stuck.begin() + 8});
    EXPECT_TRUE(assembler.resetIfHeldSince(std::chrono::steady_clock::now()));
    EXPECT_FALSE(assembler.resetIfHeldSince(std::chrono::steady_clock::now())); // nothing held
    feed(b);
    ASSERT_EQ(sink.answers.size(), 2u);
    EXPECT_EQ(sink.answers[1].transaction, 2);
}

TEST_F(Assembler, RandomGarbageNeverCrashes)
{
    std::mt19937 random(42);
    std::vector<uint8_t> chunk(4096);
    for (int round = 0; round < 500; ++round) {
        for (auto &b : chunk)
            b = uint8_t(random());
        assembler.feed(chunk.data(), 1 + random() % chunk.size());
        EXPECT_LE(assembler.bytesHeld(), size_t(6 + 1000 + 2));
    }
}

} // namespace
