// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Peers that flood the tool on loopback: a TCP listener that writes random
// bytes without pause to every connection it accepts, and a UDP socket that
// answers the first datagram it gets with datagrams of random bytes without
// pause. Each runs its own thread until stop() (or destruction).
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class FloodPeer
{
public:
    enum class Kind { Tcp, Udp };

    /// Binds on \a address (a 127.x.y.z address) at an ephemeral port.
    FloodPeer(Kind kind, const std::string &address)
        : m_kind(kind)
    {
        m_fd = ::socket(AF_INET, kind == Kind::Tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, address.c_str(), &local.sin_addr);
        const int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
            || (kind == Kind::Tcp && ::listen(m_fd, 4) != 0)) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&local), &length);
        m_port = ntohs(local.sin_port);
        m_thread = std::thread([this] { m_kind == Kind::Tcp ? runTcp() : runUdp(); });
    }
    ~FloodPeer()
    {
        stop();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FloodPeer(const FloodPeer &) = delete;
    FloodPeer &operator=(const FloodPeer &) = delete;

    bool listening() const { return m_fd >= 0; }
    uint16_t port() const { return m_port; }
    /// Bytes written so far.
    uint64_t bytesSent() const { return m_sent.load(); }
    /// TCP connections accepted so far.
    int connections() const { return m_connections.load(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    static bool readable(int fd, int timeoutMs)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0;
    }
    void fill(std::vector<uint8_t> &bytes)
    {
        for (uint8_t &b : bytes)
            b = uint8_t(m_random());
    }

    void runTcp()
    {
        std::vector<uint8_t> bytes(16384);
        while (!m_stop) {
            if (!readable(m_fd, 20))
                continue;
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                continue;
            ++m_connections;
            while (!m_stop) {
                fill(bytes);
                pollfd p{client, POLLOUT, 0};
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::send(client, bytes.data(), bytes.size(),
                                         MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n > 0)
                    m_sent += uint64_t(n);
                else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    break; // the tool closed the connection: wait for the next one
            }
            ::close(client);
        }
    }

    void runUdp()
    {
        std::vector<uint8_t> bytes(512);
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        // The first request tells where the tool listens; then it gets datagrams without pause.
        while (!m_stop) {
            if (!readable(m_fd, 20))
                continue;
            uint8_t request[2048];
            length = sizeof peer;
            if (::recvfrom(m_fd, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&peer),
                           &length)
                >= 0)
                break;
        }
        while (!m_stop) {
            fill(bytes);
            const ssize_t n = ::sendto(m_fd, bytes.data(), bytes.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr *>(&peer), length);
            if (n > 0)
                m_sent += uint64_t(n);
            else
                std::this_thread::yield(); // the socket buffer is full
            uint8_t request[2048];
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            // A new socket of the tool (a reopen) asks again: flood that one.
            if (::recvfrom(m_fd, request, sizeof request, MSG_DONTWAIT,
                           reinterpret_cast<sockaddr *>(&from), &fromLength)
                >= 0) {
                peer = from;
                length = fromLength;
            }
        }
    }

    Kind m_kind;
    int m_fd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_sent{0};
    std::atomic<int> m_connections{0};
    std::mt19937_64 m_random{7};
    std::thread m_thread;
};

} // namespace testsupport
