// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A TCP peer on loopback that misbehaves in one plain way for every
// connection it accepts: it never answers, closes the connection at once, or
// resets it. It runs its own thread until destroyed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace testsupport {

class TcpPeer
{
public:
    enum class Kind {
        Silent,   ///< accepts and reads, never writes
        Closing,  ///< accepts and closes its side at once (an orderly close)
        Resetting ///< accepts and resets the connection
    };

    /// Listens on \a address (a 127.x.y.z address) at an ephemeral port.
    TcpPeer(Kind kind, const std::string &address)
        : m_kind(kind)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, address.c_str(), &local.sin_addr);
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
            || ::listen(m_fd, 4) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&local), &length);
        m_port = ntohs(local.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~TcpPeer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TcpPeer(const TcpPeer &) = delete;
    TcpPeer &operator=(const TcpPeer &) = delete;

    bool listening() const { return m_fd >= 0; }
    uint16_t port() const { return m_port; }

    /// A loopback port where nothing listens: a socket bound to it (kept by
    /// the caller) without listen(), so a connect is refused.
    static int boundPort(const std::string &address, uint16_t &port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, address.c_str(), &local.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
        port = ntohs(local.sin_port);
        return fd;
    }

private:
    static bool readable(int fd, int timeoutMs)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) > 0;
    }

    void run()
    {
        while (!m_stop) {
            if (!readable(m_fd, 20))
                continue;
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                continue;
            if (m_kind == Kind::Resetting) {
                const linger abort{1, 0};
                ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                ::close(client);
                continue;
            }
            if (m_kind == Kind::Closing)
                ::shutdown(client, SHUT_WR); // FIN; reading on keeps it from becoming a reset
            // Read (and drop) the requests until the tool closes its side.
            char buffer[2048];
            while (!m_stop) {
                if (!readable(client, 20))
                    continue;
                if (::recv(client, buffer, sizeof buffer, 0) <= 0)
                    break;
            }
            ::close(client);
        }
    }

    Kind m_kind;
    int m_fd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace testsupport
