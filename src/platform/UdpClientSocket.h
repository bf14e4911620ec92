// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <mutex>

/// A UDP client for one peer: sends datagrams and receives the answer with a
/// time-out. Host and port are set on the user-interface thread, sending and
/// receiving happen on the sender thread.
class UdpClientSocket
{
public:
    UdpClientSocket();
    ~UdpClientSocket();
    UdpClientSocket(const UdpClientSocket &) = delete;
    UdpClientSocket &operator=(const UdpClientSocket &) = delete;

    /// Sets the peer; a port of 0 closes the client (nothing can be sent).
    /// A receive() waiting on the previous socket ends at once and returns -1.
    /// Returns false when the address is not a dotted IPv4 address.
    bool setPeer(const QString &address, quint16 port);
    quint16 port() const;
    /// True while a peer with a non-zero port is set.
    bool isOpen() const;

    /// Sends one datagram to the peer. False when closed or on failure.
    bool send(const uint8_t *data, size_t size);

    /// What discardWaiting() threw away.
    struct Discarded
    {
        size_t datagrams = 0;
        size_t bytes = 0;   ///< their full sizes
        bool more = false;  ///< it stopped at a limit with datagrams still waiting
    };
    /// Throws away datagrams already waiting (late answers to earlier
    /// requests), at most \a maxDatagrams of them and none once \a maxBytes
    /// were thrown away, so a peer that floods cannot keep the caller here.
    Discarded discardWaiting(size_t maxDatagrams, size_t maxBytes);
    /// Waits up to \a timeoutMs for one datagram from the peer and stores at
    /// most \a capacity bytes of it. Returns its size, or -1 when none came or
    /// the peer was changed or closed meanwhile. A datagram longer than
    /// \a capacity returns its full size (only \a capacity bytes are stored).
    int receive(uint8_t *buffer, size_t capacity, int timeoutMs);

private:
    mutable std::mutex m_mutex;
    int m_fd = -1;
    quint16 m_port = 0;
    uint64_t m_epoch = 0; ///< raised by every setPeer(): a waiting receive() gives up
};
