// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/TcpClientSocket.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

TcpClientSocket::TcpClientSocket(QObject *parent)
    : QObject(parent)
{}

TcpClientSocket::~TcpClientSocket()
{
    shutdownSocket(false);
}

bool TcpClientSocket::open(const QString &address, quint16 port)
{
    shutdownSocket(false);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (inet_pton(AF_INET, address.toLatin1().constData(), &peer.sin_addr) != 1) {
        emit errorOccurred(EINVAL);
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        emit errorOccurred(errno);
        return false;
    }
    // Requests are small and answered one at a time: send them at once.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) != 0
        && errno != EINPROGRESS) {
        const int error = errno;
        ::close(fd);
        emit errorOccurred(error);
        return false;
    }
    m_fd = fd;
    m_largestPending = 0;
    m_writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, [this] { onWritable(); });
    return true;
}

void TcpClientSocket::onWritable()
{
    // The non-blocking connect finished: success or failure.
    m_writeNotifier.reset();
    const int fd = m_fd.load();
    int error = 0;
    socklen_t length = sizeof error;
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno ? errno : EBADF;
    if (error != 0) {
        shutdownSocket(false);
        emit errorOccurred(error);
        return;
    }
    m_connected = true;
    m_readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, [this] { onReadable(); });
    emit connected();
}

void TcpClientSocket::onReadable()
{
    const int fd = m_fd.load();
    if (fd < 0)
        return;
    // A bounded amount of work per event: a peer that streams without pause
    // must not keep this thread from its event loop, nor fill the memory.
    const size_t held = size_t(m_pending.size());
    if (held >= m_pendingLimit) {
        // Nothing is taken until readAll() makes room (it enables us again).
        m_readNotifier->setEnabled(false);
        return;
    }
    size_t budget = std::min(m_readPerEvent, m_pendingLimit - held);
    char buffer[16384];
    ssize_t n = 0;
    bool received = false;
    while (budget > 0) {
        const size_t asked = std::min(sizeof buffer, budget);
        n = ::recv(fd, buffer, asked, MSG_DONTWAIT);
        if (n <= 0)
            break;
        m_pending.append(buffer, qsizetype(n));
        budget -= size_t(n);
        received = true;
        if (size_t(n) < asked)
            break; // nothing more waiting now
    }
    if (received) {
        m_largestPending = std::max(m_largestPending, size_t(m_pending.size()));
        if (size_t(m_pending.size()) >= m_pendingLimit)
            m_readNotifier->setEnabled(false);
        // The receiver may close or abort the socket from here: nothing of
        // this object is touched after the signal.
        emit readyRead();
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    // Orderly shutdown by the peer (0), or a connection error: a reset by the
    // peer (ECONNRESET, EPIPE) is a lost connection too and takes the error path.
    const int error = n < 0 ? errno : 0;
    if (error != 0) {
        shutdownSocket(false);
        emit errorOccurred(error);
        return;
    }
    shutdownSocket(true);
}

QByteArray TcpClientSocket::readAll()
{
    if (m_readNotifier && !m_readNotifier->isEnabled())
        m_readNotifier->setEnabled(true);
    return std::exchange(m_pending, QByteArray());
}

void TcpClientSocket::setReceiveLimits(size_t perEvent, size_t pending)
{
    m_readPerEvent = std::max<size_t>(1, perEvent);
    m_pendingLimit = std::max<size_t>(1, pending);
}

void TcpClientSocket::abort(int error)
{
    shutdownSocket(false);
    emit errorOccurred(error);
}

bool TcpClientSocket::send(const uint8_t *data, size_t size)
{
    std::lock_guard<std::mutex> guard(m_sendMutex);
    const int fd = m_fd.load();
    if (fd < 0 || !m_connected.load())
        return false;
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) > 0)
                continue;
        }
        return false;
    }
    return true;
}

void TcpClientSocket::close()
{
    shutdownSocket(true);
}

void TcpClientSocket::shutdownSocket(bool notify)
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
    m_pending.clear();
    int fd;
    {
        std::lock_guard<std::mutex> guard(m_sendMutex);
        fd = m_fd.exchange(-1);
        m_connected = false;
    }
    if (fd < 0)
        return;
    ::close(fd);
    if (notify)
        emit disconnected();
}
