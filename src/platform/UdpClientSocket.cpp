// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/UdpClientSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

UdpClientSocket::UdpClientSocket() = default;

UdpClientSocket::~UdpClientSocket()
{
    setPeer(QString(), 0);
}

bool UdpClientSocket::setPeer(const QString &address, quint16 port)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    ++m_epoch;
    if (m_fd >= 0) {
        // The receive() in progress polls a duplicate of the descriptor: shut
        // the socket itself down so that its wait ends now, not at its time-out.
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_fd = -1;
    }
    m_port = 0;
    if (port == 0)
        return true;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (inet_pton(AF_INET, address.toLatin1().constData(), &peer.sin_addr) != 1)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A connected datagram socket only receives from its peer.
    if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_port = port;
    return true;
}

quint16 UdpClientSocket::port() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_port;
}

bool UdpClientSocket::isOpen() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_fd >= 0 && m_port != 0;
}

bool UdpClientSocket::send(const uint8_t *data, size_t size)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_fd < 0)
        return false;
    return ::send(m_fd, data, size, MSG_NOSIGNAL) == ssize_t(size);
}

UdpClientSocket::Discarded UdpClientSocket::discardWaiting(size_t maxDatagrams, size_t maxBytes)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    Discarded discarded;
    if (m_fd < 0)
        return discarded;
    uint8_t stale[16];
    while (discarded.datagrams < maxDatagrams && discarded.bytes < maxBytes) {
        const ssize_t n = ::recv(m_fd, stale, sizeof stale, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return discarded; // nothing more waiting (or a refused earlier send)
        ++discarded.datagrams;
        discarded.bytes += size_t(n);
    }
    pollfd p{m_fd, POLLIN, 0};
    discarded.more = ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
    return discarded;
}

int UdpClientSocket::receive(uint8_t *buffer, size_t capacity, int timeoutMs)
{
    int fd;
    uint64_t epoch;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        fd = m_fd < 0 ? -1 : ::dup(m_fd);
        epoch = m_epoch;
    }
    if (fd < 0)
        return -1;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int result = -1;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0)
            break;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = ::recv(fd, buffer, capacity, MSG_TRUNC);
        if (n >= 0) {
            result = int(std::min<ssize_t>(n, 0x7FFFFFFF));
            break;
        }
        if (errno != EINTR && errno != ECONNREFUSED)
            break;
    }
    ::close(fd);
    // Closed or re-opened meanwhile: whatever came belongs to the old peer.
    std::lock_guard<std::mutex> guard(m_mutex);
    return epoch == m_epoch ? result : -1;
}
