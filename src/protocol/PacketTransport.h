// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>

/// What the request encoders send through: the TCP client, the UDP client, or
/// a test double.
class PacketTransport
{
public:
    virtual ~PacketTransport() = default;

    /// True when a frame can go out now (TCP connected; UDP with a port set).
    virtual bool canSend() const = 0;
    /// Sends one whole frame (one send call, or one datagram). False on failure.
    virtual bool sendFrame(const uint8_t *data, size_t size) = 0;
    /// True for a datagram transport, whose answer the sender receives itself.
    virtual bool isDatagram() const { return false; }
    /// Datagram transports: waits up to \a timeoutMs for one datagram and
    /// returns its size (at most \a capacity bytes are stored), or -1 when none came.
    virtual int receiveDatagram(uint8_t *buffer, size_t capacity, int timeoutMs) { return -1; }

    /// What discardWaiting() threw away.
    struct Discarded
    {
        size_t datagrams = 0;
        size_t bytes = 0;
        bool more = false; ///< stopped at a limit with more still waiting
    };
    /// Datagram transports: throws away datagrams already waiting before a
    /// request goes out (late answers), within the limits given.
    virtual Discarded discardWaiting(size_t maxDatagrams, size_t maxBytes) { return {}; }
};
