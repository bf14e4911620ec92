// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/RequestEncoder.h"
#include "protocol/AnswerAssembler.h"
#include "protocol/CommStatistics.h"
#include "protocol/ConnectionState.h"
#include "protocol/PacketChecksum.h"
#include "protocol/PacketTransport.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <deque>

using testsupport::hexBytes;
using testsupport::hexText;

namespace {

class FakeTransport : public PacketTransport
{
public:
    bool open = true;
    bool datagram = false;
    std::vector<std::vector<uint8_t>> sent;
    std::deque<std::vector<uint8_t>> answers;

    bool canSend() const override { return open; }
    bool sendFrame(const uint8_t *data, size_t size) override
    {
        sent.emplace_back(data, data + size);
        return true;
    }
    bool isDatagram() const override { return datagram; }
    size_t late = 0; ///< datagrams waiting before the next request
    Discarded discardWaiting(size_t maxDatagrams, size_t) override
    {
        const size_t taken = std::min(late, maxDatagrams);
        Discarded d{taken, taken * 100, late > maxDatagrams};
        late = 0;
        return d;
    }
    int receiveDatagram(uint8_t *buffer, size_t capacity, int) override
    {
        if (answers.empty())
            return -1;
        auto answer = answers.front();
        answers.pop_front();
        const size_t n = std::min(capacity, answer.size());
        std::copy_n(answer.begin(), n, buffer);
        return int(n);
    }
};

class RecordingSink : public AnswerSink
{
public:
    std::vector<int> transactions;
    void answerFramed(const QLMCIPPacket &answer) override
    {
        transactions.push_back(answer.TransactionId);
    }
    void frameDropped(FrameError) override {}
};

std::string withChecksum(const std::string &hex)
{
    auto bytes = hexBytes(hex);
    const uint16_t cs = PacketChecksum(bytes.data(), bytes.size());
    bytes.push_back(uint8_t(cs >> 8));
    bytes.push_back(uint8_t(cs));
    return hexText(bytes);
}

class Encoder : public ::testing::Test
{
protected:
    ConnectionState state;
    CommStatistics statistics;
    RecordingSink sink;
    AnswerAssembler assembler{&sink};
    RequestEncoder encoder{state, statistics, assembler};
    FakeTransport transport;
    QLMCIPPacket packet;

    void setData(const std::string &hex)
    {
        const auto bytes = hexBytes(hex);
        std::copy(bytes.begin(), bytes.end(), packet.Data.begin());
        packet.DataCount = int(bytes.size());
    }
    std::string lastSent() const { return hexText(transport.sent.back()); }
};

TEST_F(Encoder, DirectReadAndWriteFrames)
{
    state.ComMode = ComModes::TcpDirect;
    state.TransactionCounter = 5;
    setData("26 28");
    ASSERT_TRUE(encoder.sendRead(packet, transport));
    EXPECT_EQ(lastSent(), withChecksum("00 21 00 05 00 02 26 28"));
    EXPECT_EQ(statistics.readRequestsSent, 1);
    EXPECT_EQ(statistics.shown.lastTransactionSent, 5);

    setData("33 00 02 80 00");
    ASSERT_TRUE(encoder.sendWrite(packet, transport));
    EXPECT_EQ(lastSent(), withChecksum("00 22 00 06 00 05 33 00 02 80 00"));
    EXPECT_EQ(statistics.writeRequestsSent, 1);

    setData("26");
    state.TransactionCounter = 0;
    encoder.sendRead(packet, transport);
    EXPECT_EQ(lastSent(), "00 21 00 00 00 01 26 D9 DD");
}

TEST_F(Encoder, GatewayItems)
{
    state.ComMode = ComModes::TcpGateway;
    state.I2CAddress = 0x10;
    setData("26");
    ASSERT_TRUE(encoder.sendRead(packet, transport));
    EXPECT_EQ(lastSent(), withChecksum("00 07 00 00 00 04 10 01 26 04"));
    EXPECT_EQ(state.RequestedAddresses[0], 0x26);
    EXPECT_EQ(state.RequestedAddresses[1], 0xFF);

    setData("20 03");
    ASSERT_TRUE(encoder.sendWrite(packet, transport));
    EXPECT_EQ(lastSent(), withChecksum("00 07 00 01 00 05 10 02 20 03 00"));

    // Several writes, one of them a command without value bytes.
    setData("03 21 00 00 01 F4 20 05");
    ASSERT_TRUE(encoder.sendWrite(packet, transport));
    EXPECT_EQ(lastSent(), withChecksum("00 07 00 02 00 11 10 01 03 00 10 05 21 00 00 01 F4 00 "
                                       "10 02 20 05 00"));

    // A truncated last entry is not sent.
    setData("20 03 21 00 00");
    ASSERT_TRUE(encoder.sendWrite(packet, transport));
    EXPECT_EQ(lastSent(), withChecksum("00 07 00 03 00 05 10 02 20 03 00"));

    setData("07 0C 2B");
    ASSERT_TRUE(encoder.sendRead(packet, transport));
    EXPECT_EQ(lastSent(), withChecksum("00 07 00 04 00 0C 10 01 07 04 10 01 0C 04 10 01 2B 06"));
    EXPECT_EQ(hexText(std::vector<uint8_t>(state.RequestedAddresses.begin(),
                                           state.RequestedAddresses.begin() + 4)),
              "07 0C 2B FF");
}

TEST_F(Encoder, TransactionCounterWrapsAfter65535)
{
    state.ComMode = ComModes::TcpDirect;
    state.TransactionCounter = 65535;
    setData("26");
    encoder.sendRead(packet, transport);
    EXPECT_EQ(packet.TransactionId, 65535);
    encoder.sendWrite(packet, transport);
    EXPECT_EQ(packet.TransactionId, 0);
    EXPECT_EQ(transport.sent.back()[2], 0);
    EXPECT_EQ(transport.sent.back()[3], 0);
}

TEST_F(Encoder, NothingMovesWithoutAnOpenTransport)
{
    state.ComMode = ComModes::TcpDirect;
    transport.open = false;
    setData("26");
    EXPECT_FALSE(encoder.sendRead(packet, transport));
    EXPECT_FALSE(encoder.sendWrite(packet, transport));
    EXPECT_TRUE(transport.sent.empty());
    EXPECT_EQ(state.TransactionCounter, 0);
    EXPECT_EQ(statistics.readRequestsSent + statistics.writeRequestsSent, 0);
}

TEST_F(Encoder, ScanRequestOnlyThroughTheGateway)
{
    state.ComMode = ComModes::TcpDirect;
    EXPECT_FALSE(encoder.sendScanRequest(transport));
    state.ComMode = ComModes::TcpGateway;
    state.TransactionCounter = 77;
    ASSERT_TRUE(encoder.sendScanRequest(transport));
    EXPECT_EQ(lastSent(), withChecksum("00 05 00 00 00 00"));
    EXPECT_EQ(state.TransactionCounter, 77);
}

TEST_F(Encoder, UdpAnswerIsReceivedAndAssembled)
{
    state.ComMode = ComModes::Udp;
    transport.datagram = true;
    transport.answers.push_back(hexBytes(withChecksum("00 23 00 09 00 05 26 00 00 01 00")));
    setData("26");
    state.TransactionCounter = 9;
    ASSERT_TRUE(encoder.sendRead(packet, transport));
    EXPECT_TRUE(encoder.receiveDatagramAnswer(transport));
    EXPECT_EQ(sink.transactions, std::vector<int>{9});
    EXPECT_EQ(statistics.receiveChunks, 1);

    // No datagram within the wait: still a request that went out.
    EXPECT_TRUE(encoder.sendRead(packet, transport));
    EXPECT_FALSE(encoder.receiveDatagramAnswer(transport));
    EXPECT_EQ(statistics.receiveChunks, 1);
    EXPECT_EQ(statistics.readRequestsSent, 2);
}

TEST_F(Encoder, OneUdpRequestTakesABoundedNumberOfDatagrams)
{
    // Late datagrams thrown away before the request and those received after
    // it count together; beyond the bound nothing more is read or fed.
    struct Row
    {
        size_t late;
        size_t after;
        size_t fed;
        bool overrun;
    };
    constexpr size_t Bound = PeerBounds::DatagramsPerRequest;
    state.ComMode = ComModes::Udp;
    transport.datagram = true;
    setData("26");
    for (const Row &row : {Row{0, 3, 3, false}, Row{Bound - 2, 5, 2, true},
                           Row{Bound + 1, 1, 0, true}, Row{0, Bound + 20, Bound, true}}) {
        transport.late = row.late;
        transport.answers.assign(row.after, std::vector<uint8_t>(40, 0xAB));
        ASSERT_TRUE(encoder.sendRead(packet, transport));
        size_t fed = 0;
        while (encoder.receiveDatagramAnswer(transport))
            ++fed;
        EXPECT_EQ(fed, row.fed) << row.late << " late, " << row.after << " after";
        EXPECT_EQ(encoder.datagramOverrun(), row.overrun) << row.late << " late";
        EXPECT_LE(row.after - transport.answers.size(), row.fed + 1); // read no further
    }
}

} // namespace
