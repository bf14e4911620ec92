// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include <netinet/in.h>

/// Bytes waiting to leave one socket. Each chunk leaves no earlier than its due
/// time and only after the chunk before it went out completely; on a stream
/// socket with TCP_NODELAY every chunk becomes its own segment.
class SimOutputQueue
{
public:
    using Clock = std::chrono::steady_clock;

    struct Chunk
    {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
        sockaddr_in destination{}; ///< datagram sockets only
        size_t sent = 0;
    };

    enum class FlushResult {
        Done,    ///< nothing left that is due
        Blocked, ///< the socket is full; wait until it is writable
        Failed   ///< the connection is gone
    };

    enum class Order {
        InTurn,   ///< never before anything queued earlier in turn
        OutOfTurn ///< at its due time; later chunks may overtake it
    };
    /// Queues \a bytes to leave at \a due (in turn: but not before anything
    /// queued earlier in turn).
    void push(std::vector<uint8_t> bytes, Clock::time_point due,
              const sockaddr_in *destination = nullptr, Order order = Order::InTurn);

    bool empty() const { return m_chunks.empty(); }
    /// Due time of the next chunk, nullopt when the queue is empty.
    std::optional<Clock::time_point> nextDue() const;
    /// True after a flush found the socket full.
    bool blocked() const { return m_blocked; }

    /// Sends due chunks on the connected stream socket \a fd.
    FlushResult flushStream(int fd, Clock::time_point now);
    /// Sends due chunks as datagrams on \a fd; a datagram the socket refuses is lost.
    /// With \a source (a socket bound to 0.0.0.0), they leave from that address
    /// when it is one of the host's.
    void flushDatagrams(int fd, Clock::time_point now, const in_addr *source = nullptr);

private:
    std::deque<Chunk> m_chunks;
    Clock::time_point m_lastDue{};
    bool m_blocked = false;
};
