// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/QLMCIPPacket.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

/// What a device may send: the answers to the requests it was sent, and not
/// much more. One request is in flight at a time and each gets one answer of
/// at most a header, 1000 payload bytes and a checksum; a peer that sends
/// beyond that is streaming bytes, and its connection is closed.
namespace PeerBounds {
inline constexpr size_t LargestAnswer =
    size_t(Frame::HeaderSize) + size_t(Frame::MaxPayload) + size_t(Frame::ChecksumSize);
/// Answers a device may send beyond those asked for.
inline constexpr size_t SpareAnswers = 4;
/// TCP: the most bytes one receive event reads before the event loop runs again.
inline constexpr size_t ReadPerEvent = 65536;
/// TCP: the most bytes held between the socket and the reassembly.
inline constexpr size_t PendingBytes = SpareAnswers * LargestAnswer;
/// UDP: the most datagrams, and bytes, taken for one request (late ones
/// thrown away before it is sent and those received after).
inline constexpr size_t DatagramsPerRequest = 32;
inline constexpr size_t DatagramBytesPerRequest = DatagramsPerRequest * LargestAnswer;
} // namespace PeerBounds

/// The bytes of one TCP connection against what the answers to its requests
/// could hold.
class StreamAllowance
{
public:
    void reset() { m_received = 0; }
    /// Takes \a bytes received. False once the connection brought more than
    /// the answers to \a requestsSent requests, and the spare ones, could hold.
    bool take(size_t bytes, int64_t requestsSent)
    {
        m_received += bytes;
        return m_received <= allowed(requestsSent);
    }
    uint64_t received() const { return m_received; }
    static uint64_t allowed(int64_t requestsSent)
    {
        return (uint64_t(std::max<int64_t>(0, requestsSent)) + PeerBounds::SpareAnswers)
               * PeerBounds::LargestAnswer;
    }

private:
    uint64_t m_received = 0;
};

/// The datagrams taken for the UDP request in flight.
class DatagramAllowance
{
public:
    void reset() { *this = DatagramAllowance(); }
    /// Takes \a datagrams of \a bytes in all. False (and overrun from then on)
    /// once they go beyond what one request may bring.
    bool take(size_t datagrams, size_t bytes)
    {
        m_datagrams += datagrams;
        m_bytes += bytes;
        if (m_datagrams > PeerBounds::DatagramsPerRequest
            || m_bytes > PeerBounds::DatagramBytesPerRequest)
            m_overrun = true;
        return !m_overrun;
    }
    void setOverrun() { m_overrun = true; }
    bool overrun() const { return m_overrun; }
    size_t datagramsLeft() const
    {
        return PeerBounds::DatagramsPerRequest - std::min(m_datagrams, PeerBounds::DatagramsPerRequest);
    }
    size_t bytesLeft() const
    {
        return PeerBounds::DatagramBytesPerRequest
               - std::min(m_bytes, PeerBounds::DatagramBytesPerRequest);
    }

private:
    size_t m_datagrams = 0;
    size_t m_bytes = 0;
    bool m_overrun = false;
};
