// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimOutputQueue.h"

#include <cstring>

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>

void SimOutputQueue::push(std::vector<uint8_t> bytes, Clock::time_point due,
                          const sockaddr_in *destination, Order order)
{
    // Chunks in turn never overtake earlier ones, whatever their delay.
    if (order == Order::InTurn) {
        due = std::max(due, m_lastDue);
        m_lastDue = due;
    }
    Chunk chunk{due, std::move(bytes), {}, 0};
    if (destination)
        chunk.destination = *destination;
    // The queue stays sorted by due time (an out-of-turn chunk lets later ones
    // pass); a chunk partly sent stays first.
    auto first = m_chunks.begin();
    if (first != m_chunks.end() && first->sent > 0)
        ++first;
    const auto at = std::upper_bound(first, m_chunks.end(), chunk.due,
                                     [](Clock::time_point t, const Chunk &c) { return t < c.due; });
    m_chunks.insert(at, std::move(chunk));
}

std::optional<SimOutputQueue::Clock::time_point> SimOutputQueue::nextDue() const
{
    if (m_chunks.empty())
        return std::nullopt;
    return m_chunks.front().due;
}

SimOutputQueue::FlushResult SimOutputQueue::flushStream(int fd, Clock::time_point now)
{
    m_blocked = false;
    while (!m_chunks.empty() && m_chunks.front().due <= now) {
        Chunk &chunk = m_chunks.front();
        while (chunk.sent < chunk.bytes.size()) {
            const ssize_t n = ::send(fd, chunk.bytes.data() + chunk.sent,
                                     chunk.bytes.size() - chunk.sent, MSG_NOSIGNAL);
            if (n > 0) {
                chunk.sent += size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                m_blocked = true;
                return FlushResult::Blocked;
            }
            return FlushResult::Failed;
        }
        m_chunks.pop_front();
    }
    return FlushResult::Done;
}

void SimOutputQueue::flushDatagrams(int fd, Clock::time_point now, const in_addr *source)
{
    m_blocked = false;
    while (!m_chunks.empty() && m_chunks.front().due <= now) {
        const Chunk &chunk = m_chunks.front();
        ssize_t n = -1;
        if (source) {
            // The source address of the answer is the device's identity address.
            iovec part{const_cast<uint8_t *>(chunk.bytes.data()), chunk.bytes.size()};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
            msghdr message{};
            message.msg_name = const_cast<sockaddr_in *>(&chunk.destination);
            message.msg_namelen = sizeof chunk.destination;
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            cmsghdr *header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = IPPROTO_IP;
            header->cmsg_type = IP_PKTINFO;
            header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            info.ipi_spec_dst = *source;
            std::memcpy(CMSG_DATA(header), &info, sizeof info);
            do {
                n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
            } while (n < 0 && errno == EINTR);
        }
        if (!source || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            do {
                n = ::sendto(fd, chunk.bytes.data(), chunk.bytes.size(), MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr *>(&chunk.destination),
                             sizeof chunk.destination);
            } while (n < 0 && errno == EINTR);
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_blocked = true;
            return;
        }
        m_chunks.pop_front();
    }
}
