// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Plain-socket clients for the virtual controller's wire tests: they build and
// read frames byte by byte, independent of the tool's own connection code.

#include "protocol/PacketChecksum.h"
#include "support/Bytes.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {

using Bytes = std::vector<uint8_t>;
using testsupport::hexBytes;
using testsupport::hexText;

/// Header (function, transaction, length), payload and checksum.
inline Bytes frame(uint16_t function, uint16_t transaction, const Bytes &payload)
{
    Bytes out{uint8_t(function >> 8),       uint8_t(function),
              uint8_t(transaction >> 8),    uint8_t(transaction),
              uint8_t(payload.size() >> 8), uint8_t(payload.size())};
    out.insert(out.end(), payload.begin(), payload.end());
    const uint16_t checksum = PacketChecksum(out.data(), out.size());
    out.push_back(uint8_t(checksum >> 8));
    out.push_back(uint8_t(checksum));
    return out;
}

/// True when the last two bytes are the checksum of the rest.
inline bool checksumValid(const Bytes &bytes)
{
    if (bytes.size() < 8)
        return false;
    const uint16_t computed = PacketChecksum(bytes.data(), bytes.size() - 2);
    const uint16_t received = uint16_t((bytes[bytes.size() - 2] << 8) | bytes.back());
    return checksumAccepted(computed, received);
}

/// Payload length announced by a frame's header.
inline size_t announcedLength(const Bytes &bytes)
{
    return bytes.size() < 6 ? 0 : (size_t(bytes[4]) << 8) | bytes[5];
}

inline Bytes payloadOf(const Bytes &bytes)
{
    if (bytes.size() < 8)
        return {};
    return Bytes(bytes.begin() + 6, bytes.end() - 2);
}

inline sockaddr_in endpoint(const std::string &address, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

/// Waits until \a fd is readable; false on time-out.
inline bool readable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

/// A blocking TCP client with time-outs on every receive.
class TcpClient
{
public:
    TcpClient() = default;
    TcpClient(const std::string &address, uint16_t port) { connect(address, port); }
    ~TcpClient() { close(); }
    TcpClient(const TcpClient &) = delete;
    TcpClient &operator=(const TcpClient &) = delete;

    bool connect(const std::string &address, uint16_t port)
    {
        close();
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const sockaddr_in a = endpoint(address, port);
        if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
            close();
            return false;
        }
        return true;
    }
    bool isOpen() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    bool send(const Bytes &bytes)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += size_t(n);
        }
        return true;
    }

    /// One chunk as a single recv() returns it; empty on time-out or close.
    Bytes receiveChunk(int timeoutMs, size_t maximum = 65536)
    {
        m_closed = false;
        if (!readable(m_fd, timeoutMs))
            return {};
        Bytes buffer(maximum);
        const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            m_closed = true;
            return {};
        }
        buffer.resize(size_t(n));
        return buffer;
    }

    /// Exactly \a count bytes, or what arrived before the deadline.
    Bytes receiveBytes(size_t count, int timeoutMs)
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        Bytes out;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            const Bytes chunk = receiveChunk(int(left), count - out.size());
            if (chunk.empty())
                break;
            out.insert(out.end(), chunk.begin(), chunk.end());
        }
        return out;
    }

    /// One whole frame, cut by its header's length; empty on time-out.
    Bytes receiveFrame(int timeoutMs = 2000)
    {
        Bytes header = receiveBytes(6, timeoutMs);
        if (header.size() < 6)
            return {};
        const Bytes rest = receiveBytes(announcedLength(header) + 2, timeoutMs);
        header.insert(header.end(), rest.begin(), rest.end());
        return header;
    }

    /// Sends \a request and returns the answer frame.
    Bytes exchange(const Bytes &request, int timeoutMs = 2000)
    {
        return send(request) ? receiveFrame(timeoutMs) : Bytes{};
    }

    /// True when the server closed the connection within \a timeoutMs.
    bool closedByPeer(int timeoutMs)
    {
        const Bytes chunk = receiveChunk(timeoutMs);
        return chunk.empty() && m_closed;
    }

    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    bool m_closed = false;
};

/// A UDP client bound to an ephemeral loopback port.
class UdpClient
{
public:
    explicit UdpClient(const std::string &localAddress = "127.0.0.1")
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const sockaddr_in local = endpoint(localAddress, 0);
        ::bind(m_fd, reinterpret_cast<const sockaddr *>(&local), sizeof local);
    }
    ~UdpClient() { ::close(m_fd); }
    UdpClient(const UdpClient &) = delete;
    UdpClient &operator=(const UdpClient &) = delete;

    bool sendTo(const std::string &address, uint16_t port, const Bytes &bytes)
    {
        const sockaddr_in to = endpoint(address, port);
        return ::sendto(m_fd, bytes.data(), bytes.size(), 0,
                        reinterpret_cast<const sockaddr *>(&to), sizeof to)
               == ssize_t(bytes.size());
    }

    /// One datagram; empty on time-out. \a from receives the sender's address.
    Bytes receive(int timeoutMs, std::string *from = nullptr)
    {
        if (!readable(m_fd, timeoutMs))
            return {};
        Bytes buffer(65536);
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr *>(&peer), &length);
        if (n < 0)
            return {};
        buffer.resize(size_t(n));
        if (from) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
            *from = text;
        }
        return buffer;
    }

    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

} // namespace simtest
