// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/PeerAllowance.h"
#include "protocol/QLMCIPPacket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

class AnswerAssembler;
class CommStatistics;
class ConnectionState;
class PacketTransport;

/// Turns the sender thread's packet into a frame for the current connection
/// mode (direct or gateway) and sends it; for UDP it also receives the answer.
class RequestEncoder
{
public:
    RequestEncoder(ConnectionState &state, CommStatistics &statistics, AnswerAssembler &assembler);

    /// Encodes and sends a read request of the DataCount addresses in Data.
    /// Returns true when a request went out (an answer is then awaited).
    bool sendRead(QLMCIPPacket &packet, PacketTransport &transport);
    /// Encodes and sends a write request of Data (address, value bytes, ...).
    bool sendWrite(QLMCIPPacket &packet, PacketTransport &transport);
    /// Sends the gateway bus scan request (gateway mode only).
    bool sendScanRequest(PacketTransport &transport);
    /// Datagram transports: waits up to \a timeoutMs for one answer datagram
    /// and feeds it to the reassembly as a datagram of the connection of
    /// \a generation (it is decoded on this thread). The caller does not hold
    /// the RegisterLock while it waits. Returns true when a datagram arrived.
    /// Returns false without waiting once the request brought more datagrams
    /// than one request may (datagramOverrun()).
    bool receiveDatagramAnswer(PacketTransport &transport, int timeoutMs = UdpAnswerTimeoutMs,
                               uint32_t generation = 0xFFFFFFFF);
    /// Datagram transports: the request last sent brought more datagrams (late
    /// ones waiting before it went out, and those after) than one request may.
    bool datagramOverrun() const { return m_datagrams.overrun(); }

    /// The last frame built, for diagnostics and tests.
    std::span<const uint8_t> lastFrame() const { return {m_frame.data(), m_frameSize}; }

    /// How long the sender waits for a UDP answer datagram.
    static constexpr int UdpAnswerTimeoutMs = 1000;

private:
    bool transmit(bool write, QLMCIPPacket &packet, PacketTransport &transport);
    int32_t nextTransaction();
    void writeHeader(int function, int transaction, size_t payload);
    uint16_t finishFrame(size_t payload);

    // A gateway read item is 4 bytes per address, a write item S + 4 bytes.
    static constexpr size_t FrameCapacity = 6 + 4 * Frame::MaxPayload + 2;

    ConnectionState &m_state;
    CommStatistics &m_statistics;
    AnswerAssembler &m_assembler;
    std::array<uint8_t, FrameCapacity> m_frame{};
    size_t m_frameSize = 0;
    std::array<uint8_t, 65536> m_datagram{};
    DatagramAllowance m_datagrams; ///< taken for the request in flight
};
