// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/DiscoveryNetwork.h"

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

std::string ipv4Text(const Ipv4Bytes &address)
{
    return std::to_string(address[0]) + '.' + std::to_string(address[1]) + '.'
           + std::to_string(address[2]) + '.' + std::to_string(address[3]);
}

ReceiveStatus receiveDatagramOn(int fd, std::span<uint8_t> buffer, int timeoutMs, size_t *size,
                                Ipv4Bytes *sender, std::string *error)
{
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0)
        return ReceiveStatus::TimedOut;
    if (ready < 0) {
        if (error)
            *error = std::strerror(errno);
        return ReceiveStatus::Failed;
    }
    sockaddr_in from{};
    socklen_t length = sizeof from;
    // MSG_TRUNC: a datagram longer than the buffer is cut, not kept for the next read.
    const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr *>(&from), &length);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return ReceiveStatus::TimedOut;
        if (error)
            *error = std::strerror(errno);
        return ReceiveStatus::Failed;
    }
    *size = size_t(n);
    std::memcpy(sender->data(), &from.sin_addr.s_addr, 4);
    return ReceiveStatus::Datagram;
}
