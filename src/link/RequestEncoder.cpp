// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/RequestEncoder.h"

#include "device/QLMCIPMotor.h"
#include "platform/HighResCounter.h"
#include "protocol/AnswerAssembler.h"
#include "protocol/CommStatistics.h"
#include "protocol/ConnectionState.h"
#include "protocol/PacketChecksum.h"
#include "protocol/PacketTransport.h"

#include <algorithm>

RequestEncoder::RequestEncoder(ConnectionState &state, CommStatistics &statistics,
                               AnswerAssembler &assembler)
    : m_state(state)
    , m_statistics(statistics)
    , m_assembler(assembler)
{}

int32_t RequestEncoder::nextTransaction()
{
    // Read and write requests share the counter; after 65535 it starts at 0.
    if (m_state.TransactionCounter > 65535)
        m_state.TransactionCounter = 0;
    return m_state.TransactionCounter++;
}

void RequestEncoder::writeHeader(int function, int transaction, size_t payload)
{
    m_frame[0] = uint8_t(function >> 8);
    m_frame[1] = uint8_t(function);
    m_frame[2] = uint8_t(transaction >> 8);
    m_frame[3] = uint8_t(transaction);
    m_frame[4] = uint8_t(payload >> 8);
    m_frame[5] = uint8_t(payload);
}

uint16_t RequestEncoder::finishFrame(size_t payload)
{
    const size_t end = Frame::HeaderSize + payload;
    const uint16_t checksum = PacketChecksum(m_frame.data(), end);
    m_frame[end] = uint8_t(checksum >> 8);
    m_frame[end + 1] = uint8_t(checksum);
    m_frameSize = end + Frame::ChecksumSize;
    return checksum;
}

bool RequestEncoder::sendRead(QLMCIPPacket &packet, PacketTransport &transport)
{
    if (!transport.canSend())
        return false;
    const size_t count = std::clamp<int32_t>(packet.DataCount, 0, Frame::MaxPayload);
    const bool gateway = m_state.ComMode == ComModes::TcpGateway;
    packet.TransactionId = nextTransaction();
    size_t payload = 0;
    if (gateway) {
        // One transfer item per register: module, 1 byte to write (the
        // address), the address, Size bytes to read.
        packet.Function = Function::GatewayTransfer;
        m_state.RequestedAddresses.fill(0xFF);
        const auto module = uint8_t(m_state.I2CAddress);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t address = packet.Data[i];
            uint8_t *item = m_frame.data() + Frame::HeaderSize + payload;
            item[0] = module;
            item[1] = 0x01;
            item[2] = address;
            item[3] = uint8_t(QLMCIPMotor::RegisterSize(address));
            payload += 4;
            if (i < m_state.RequestedAddresses.size())
                m_state.RequestedAddresses[i] = address;
        }
    } else {
        packet.Function = Function::Read;
        std::copy_n(packet.Data.begin(), count, m_frame.begin() + Frame::HeaderSize);
        payload = count;
    }
    writeHeader(packet.Function, packet.TransactionId, payload);
    packet.Length = static_cast<int32_t>(payload);
    packet.Checksum = finishFrame(payload);
    return transmit(false, packet, transport);
}

bool RequestEncoder::sendWrite(QLMCIPPacket &packet, PacketTransport &transport)
{
    if (!transport.canSend())
        return false;
    const size_t count = std::clamp<int32_t>(packet.DataCount, 0, Frame::MaxPayload);
    const bool gateway = m_state.ComMode == ComModes::TcpGateway;
    packet.TransactionId = nextTransaction();
    size_t payload = 0;
    if (gateway) {
        // Walk Data (address, Size value bytes, ...) and expand each entry into
        // a transfer item: module, S + 1 bytes to write, address, the S value
        // bytes, 0 bytes to read.
        packet.Function = Function::GatewayTransfer;
        const auto module = uint8_t(m_state.I2CAddress);
        size_t i = 0;
        while (i < count) {
            const uint8_t address = packet.Data[i++];
            const size_t size = size_t(QLMCIPMotor::RegisterSize(address));
            if (i + size > count)
                break; // a truncated entry is never sent
            uint8_t *item = m_frame.data() + Frame::HeaderSize + payload;
            item[0] = module;
            item[1] = uint8_t(size + 1);
            item[2] = address;
            std::copy_n(packet.Data.begin() + static_cast<ptrdiff_t>(i), size, item + 3);
            item[3 + size] = 0x00;
            payload += size + 4;
            i += size;
        }
    } else {
        packet.Function = Function::Write;
        std::copy_n(packet.Data.begin(), count, m_frame.begin() + Frame::HeaderSize);
        payload = count;
    }
    writeHeader(packet.Function, packet.TransactionId, payload);
    packet.Length = static_cast<int32_t>(payload);
    packet.Checksum = finishFrame(payload);
    return transmit(true, packet, transport);
}

bool RequestEncoder::sendScanRequest(PacketTransport &transport)
{
    if (m_state.ComMode != ComModes::TcpGateway || !transport.canSend())
        return false;
    ++m_statistics.scanRequestsSent; // its answer may come back
    // Fixed request 00 05 00 00 00 00 + checksum; it does not use the counter.
    writeHeader(Function::GatewayScan, 0, 0);
    finishFrame(0);
    m_state.AwaitedTransaction = 0;
    if (transport.sendFrame(m_frame.data(), m_frameSize))
        return true;
    m_state.AwaitedTransaction = ConnectionState::NoTransaction;
    return false;
}

bool RequestEncoder::transmit(bool write, QLMCIPPacket &packet, PacketTransport &transport)
{
    if (transport.isDatagram()) {
        // Late answers to earlier requests are thrown away so that none is
        // taken for this one; they count against what this request may bring.
        m_datagrams.reset();
        const PacketTransport::Discarded late =
            transport.discardWaiting(m_datagrams.datagramsLeft(), m_datagrams.bytesLeft());
        m_datagrams.take(late.datagrams, late.bytes);
        if (late.more)
            m_datagrams.setOverrun();
    }
    // Counted before sending: a TCP answer may be decoded on the other thread
    // before send() returns, and its answer time needs this send time.
    m_statistics.requestSent(write, packet.TransactionId, HighResCounter::now());
    // Only the answer that carries this number is taken from now on.
    m_state.AwaitedTransaction = packet.TransactionId;
    if (transport.sendFrame(m_frame.data(), m_frameSize))
        return true;
    m_state.AwaitedTransaction = ConnectionState::NoTransaction;
    return false;
}

bool RequestEncoder::receiveDatagramAnswer(PacketTransport &transport, int timeoutMs,
                                           uint32_t generation)
{
    if (!transport.isDatagram() || m_datagrams.overrun())
        return false;
    const int received =
        transport.receiveDatagram(m_datagram.data(), m_datagram.size(), std::max(0, timeoutMs));
    if (received < 0)
        return false;
    m_statistics.chunkReceived();
    // A flood is cut here: beyond what one request may bring nothing is fed.
    if (!m_datagrams.take(1, size_t(received)))
        return false;
    // A datagram larger than the buffer cannot be one answer: fed as empty, it
    // is dropped and counted like any datagram that is not one whole frame.
    const size_t length = size_t(received) <= m_datagram.size() ? size_t(received) : 0;
    m_assembler.feedDatagram(m_datagram.data(), length, generation);
    return true;
}
